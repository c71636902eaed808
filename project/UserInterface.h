// The one door from the model to the user: message boxes, the hourglass, progress, and the
// questions that the transform and import commands ask. The command line implements it for a
// terminal, the windowed front end with dialogs, tests with a recorder.
//
// Message texts use "\r" as the line break (implementations turn it into their own). Every
// question returns true when the user accepted (OK) and false when the user cancelled; values
// passed by reference arrive filled with what the dialog shows first and are read back by the
// model only after an accept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvalis
{

class GProject;
class GRecordSet;
struct GRunAssessment;
class GTrigBeaconList;
class GPoint;
class GRectangle;

/// Project parameters dialog values (how the job's coordinates become geographic degrees).
struct GProjectParameters
{
    double LocalOrigin = 31.0; ///< Lo of the data, odd whole degrees east
    double XConstant = 0.0;    ///< added to X before the run, unit of the data
    double YConstant = 0.0;    ///< added to Y before the run
    bool Exchange = false;
    bool NegateX = false;
    bool NegateY = false;
    /// 0 "Geodetic (metres)", 1 "Geographic (ddd.mmss)", 2 "Geographic (decimal degrees)".
    std::uint8_t CoordinateSystem = 0;
};

/// Transformation parameters dialog values (control-coordinate method).
struct GTransformationParameters
{
    double TransformationLocalOrigin = 31.0; ///< Lo of the plane of the fit, degrees
    bool ApplyWeighting = false;
};

/// Helmert transformation parameters dialog values.
struct GHelmertParameters
{
    std::int32_t HelmertMode = 0; ///< 0 per degree sheet, 1 user defined
    double TransformationLocalOrigin = 31.0;
    double HelmertA = 1.0;
    double HelmertB = 1.0;
    double CapeX = 0.0; ///< centre of gravity on the Cape datum, Lo metres
    double CapeY = 0.0;
    double WGSX = 0.0; ///< centre of gravity on Hartebeesthoek94, Lo metres
    double WGSY = 0.0;
};

/// Strategy dialog values. The initial values are the dialog's own (count strategy, 10, 25.0,
/// every class); the dialog remembers nothing between runs.
struct GSelectionStrategy
{
    std::int32_t Strategy = 1; ///< 0 buffer, 1 count, 2 manual
    std::int32_t Count = 10;   ///< beacons nearest the centre (count strategy)
    double Buffer = 25.0;      ///< percent of width and height added on every side (buffer)
    bool UseTrigBeacons = true;
    bool UseTownSurveyMarks = true;
    bool UseOtherCoordinates = true;
};

/// Transformation output dialog values.
struct GOutputChoice
{
    /// Entries of the label drop-down: "<NONE>" first, then the record set's field names.
    std::vector<std::string> LabelFields;
    /// The chosen entry's text; empty (or "<NONE>") for no label.
    std::string LabelField;
    bool Output = false;         ///< "&Generate Output"
    std::int32_t OutputMode = 0; ///< 0 standard, 1 verbose
};

/// A standard open or save file dialog.
struct GFileDialog
{
    std::string Title;            ///< e.g. "Transformation Output File..."
    std::string DefaultExtension; ///< without the point, e.g. "txt"
    /// "Description|pattern|Description|pattern..." e.g. "Text Files (*.txt)|*.txt|All Files
    /// (*.*)|*.*".
    std::string Filter;
    std::string FileName;         ///< initial name in, chosen path out
    bool OverwritePrompt = false; ///< save: ask before replacing an existing file
    bool MustExist = false;       ///< open: the file must exist (in an existing folder)
    // Save dialogs always require an existing folder.
};

/// What the control file coordinate import dialog shows and gives back.
struct GImportReview
{
    GTrigBeaconList* Beacons = nullptr; ///< the importer's beacons, Lo plane coordinates
    double ControlDistance = 300.0;     ///< largest accepted shift between a beacon's positions, m
    double LocalOrigin = 31.0;          ///< initial Lo in; the Lo to use out
    std::string ClarkeSource;           ///< name of the Cape source (file path or caption)
    std::string WGSSource;              ///< name of the Hartebeesthoek source (may be empty)
};

class GUserInterface
{
public:
    virtual ~GUserInterface() = default;

    // --- Messages, cursor, progress ---

    /// Modal boxes with one OK button.
    virtual void ShowError(const std::string& message) = 0;
    virtual void ShowInformation(const std::string& message) = 0;
    virtual void ShowWarning(const std::string& message) = 0;
    /// Hourglass cursor on (true) or back to normal (false); calls nest in pairs.
    virtual void SetHourglass(bool on) = 0;
    /// Step position (from 1) of total with a caption; called after every record or line, so an
    /// implementation should be cheap and may throttle what it draws.
    virtual void ShowProgress(int position, int total, const std::string& caption) = 0;
    /// Repaint the main window at once (after a data source dialog closed). Default: nothing.
    virtual void Repaint() {}

    // --- Questions of the transform command ---

    /// The data source dialog with this caption ("RecordSet DataSource"): an unopened record
    /// set, or nullptr when the user cancelled.
    virtual std::unique_ptr<GRecordSet> ChooseDataSource(const std::string& caption) = 0;
    /// Project parameters dialog. Its Refresh button writes the values into the project at once
    /// (project.SetProjectParameters) and shows project.GeographicExtent(); on OK the model
    /// writes them.
    virtual bool EditProjectParameters(GProject& project, GProjectParameters& values) = 0;
    /// Transformation method dialog: 0 control coordinates, 1 Helmert.
    virtual bool EditTransformationMethod(std::uint8_t& projectTransformation) = 0;
    virtual bool EditTransformationParameters(GTransformationParameters& values) = 0;
    virtual bool EditHelmertParameters(GHelmertParameters& values) = 0;
    /// The strategy dialog (caption "Transformation Coordinates").
    virtual bool ChooseSelectionStrategy(GSelectionStrategy& strategy) = 0;
    /// The beacon selection dialog: lets the user change Selected flags of beacons (see
    /// GBeaconReview for every figure it shows). lo: the project's TransformationLocalOrigin;
    /// centre and extent: the centre and the extent of the job in geographic degrees on the Cape
    /// datum. The flags changed stay changed whatever the answer.
    virtual bool ReviewControlBeacons(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                                      const GRectangle& extent) = 0;
    /// The transformation output dialog.
    virtual bool EditTransformationOutput(GOutputChoice& choice) = 0;
    /// A save file dialog; on true dialog.FileName holds the chosen path.
    virtual bool ChooseSaveFile(GFileDialog& dialog) = 0;
    /// What a run will do, just before its confirmation: the shift of its first points, its
    /// doubts and warnings (project/Guards.h). Asked before every run, whether the confirmation
    /// follows or not; false ends the command without running (the command line's dry run stops
    /// here). The windows show the doubts in ConfirmRun instead. Default: true.
    virtual bool ReviewRun(const GRunAssessment& assessment)
    {
        (void)assessment;
        return true;
    }
    /// The confirmation dialog; alwaysShow is its check box. doubts: one text per condition that
    /// is probably a mistake but may be intended (a beacon far from the job, a large misclosure,
    /// a mean shift far from 300 m, a Lo the data declare otherwise...); the dialog lists them
    /// below its own text, and accepting means going ahead in spite of them.
    ///
    /// Asked when "Show Message" is on, and also when it is off but there are doubts: a run with
    /// doubts is always confirmed. alwaysShow arrives as the stored "Show Message" (so it arrives
    /// unticked in that case, and accepting as it stands keeps the confirmation off for runs
    /// without doubts); on OK the model stores what it returns.
    virtual bool ConfirmRun(bool& alwaysShow, const std::vector<std::string>& doubts) = 0;

    // --- Questions of the import commands ---

    /// The import file format dialog: 0 survey-office e-mail files, 1 comma-delimited text file,
    /// 2 data sources.
    virtual bool ChooseImportFormat(std::int32_t& format) = 0;
    /// An open file dialog; on true dialog.FileName holds the chosen path.
    virtual bool ChooseOpenFile(GFileDialog& dialog) = 0;
    /// The string choice dialog with this title over items; on true choice holds the item.
    virtual bool ChooseString(const std::string& title, const std::vector<std::string>& items,
                              std::string& choice) = 0;
    /// The control file coordinate import dialog: may clear Selected flags of review.Beacons and
    /// sets review.LocalOrigin to the Lo to use.
    virtual bool ReviewImport(GImportReview& review) = 0;
};

/// Hourglass for the life of the object (exception-safe); does nothing without an interface.
class GHourglass
{
public:
    explicit GHourglass(GUserInterface* ui) : ui_(ui)
    {
        if (ui_)
            ui_->SetHourglass(true);
    }
    ~GHourglass()
    {
        if (ui_)
            ui_->SetHourglass(false);
    }
    GHourglass(const GHourglass&) = delete;
    GHourglass& operator=(const GHourglass&) = delete;

private:
    GUserInterface* ui_;
};

} // namespace quorvalis
