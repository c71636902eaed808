// The user interface of the command line: message boxes become lines on the terminal, the
// progress window a bar on stderr, and every dialog question is answered from the options the
// user gave. A value the user did not give is left as the model passed it in (the stored
// default), exactly as an untouched dialog would return it.
//
// Nothing is changed on disk unless the user said --yes: a transform without it stops at the
// review of the run (after every fault was checked and the doubts were found), before the
// confirmation and the run, and an import stops at its review. A run with doubts needs --force
// as well.
#pragma once

#include "project/BeaconImport.h"
#include "project/ControlBeacons.h"
#include "project/UserInterface.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace quorvalis
{

class GProgressBar;

/// A data source named on the command line.
struct GDataSourceSpec
{
    enum class Kind : std::uint8_t
    {
        None,      ///< not given
        Shapefile, ///< Path
        TextFile,  ///< Path with Definition and the X/Y(/Z) fields
        Corvell,   ///< Path (coordinate list file)
        Table,     ///< Alias and Table, shapes in the "SHAPE" column
        XYZTable,  ///< Alias and Table with the X/Y(/Z) fields
        GisLayer,  ///< Path (a dataset file or "PG:" connection string) and Table (the layer)
    };
    Kind SourceKind = Kind::None;
    std::string Path;
    std::string Definition;
    std::string Alias;
    std::string Table;
    std::string XField;
    std::string YField;
    std::string ZField;
};

/// What the user gave for the questions of a transform or import command; every optional left
/// empty keeps the value the model offers.
struct GTerminalAnswers
{
    /// --yes: run (transform) or append (import); without it nothing is written.
    bool Yes = false;
    /// --force: a transform goes ahead in spite of its doubts.
    bool Force = false;

    // --- Transform ---
    GDataSourceSpec Source;
    std::optional<double> LocalOrigin;               ///< --lo
    std::optional<double> TransformationLocalOrigin; ///< --transformation-lo
    std::optional<double> XConstant;                 ///< --x-constant
    std::optional<double> YConstant;                 ///< --y-constant
    std::optional<bool> Exchange;                    ///< --exchange / --no-exchange
    std::optional<bool> NegateX;                     ///< --negate-x / --no-negate-x
    std::optional<bool> NegateY;                     ///< --negate-y / --no-negate-y
    std::optional<std::uint8_t> CoordinateSystem;    ///< --coordinate-system
    std::optional<std::uint8_t> Method;              ///< --method: 0 control, 1 Helmert
    std::optional<bool> ApplyWeighting;              ///< --weighting / --no-weighting
    std::optional<std::int32_t> Strategy;            ///< --strategy: 0 buffer, 1 count, 2 manual
    std::optional<double> Buffer;                    ///< --buffer
    std::optional<std::int32_t> Count;               ///< --count
    std::optional<std::int32_t> Threads;             ///< --threads
    bool NoTrig = false;                             ///< --no-trig
    bool NoTsm = false;                              ///< --no-tsm
    bool NoOther = false;                            ///< --no-other
    std::string SelectionFile;                       ///< --selection (recalled)
    std::optional<std::int32_t> HelmertMode;         ///< --helmert-mode: 0 sheet, 1 user
    std::optional<double> HelmertA, HelmertB;        ///< --helmert-a, --helmert-b
    std::optional<double> CapeX, CapeY;              ///< --cape-x, --cape-y
    std::optional<double> WGSX, WGSY;                ///< --wgs-x, --wgs-y
    std::optional<bool> Output;                      ///< --report FILE (true) / --no-report
    std::string ReportFile;                          ///< --report
    std::optional<std::int32_t> OutputMode;          ///< --verbose-report: 1
    std::optional<std::string> LabelField;           ///< --label-field

    // --- Import ---
    std::int32_t ImportFormat = 0; ///< 0 e-mail pair, 1 delimited file, 2 data sources
    std::string CapeEmail;         ///< --email CAPE HART
    std::string HartEmail;
    std::string DelimitedFile;               ///< --csv
    GDataSourceSpec CapeSource;              ///< --cape-shapefile
    GDataSourceSpec HartSource;              ///< --hart-shapefile
    std::string CapeField;                   ///< --cape-field
    std::string HartField;                   ///< --hart-field
    std::optional<double> ImportLocalOrigin; ///< import --lo
};

class GTerminalInterface : public GUserInterface
{
public:
    /// out: what the user asked to see (reviews, results); err: errors, warnings and the
    /// progress bar (drawn only when progress is enabled).
    GTerminalInterface(GTerminalAnswers answers, std::ostream& out, std::ostream& err,
                       GProgressBar* progress);
    ~GTerminalInterface() override;

    /// An error box was shown during the command (the exit code becomes 1).
    bool ErrorShown() const { return errorShown_; }
    /// The transform stopped at the review of the run because --yes was not given (after
    /// printing everything it would use), or an import stopped at its review for the same
    /// reason.
    bool DryRunStopped() const { return dryRunStopped_; }

    void ShowError(const std::string& message) override;
    void ShowInformation(const std::string& message) override;
    void ShowWarning(const std::string& message) override;
    void SetHourglass(bool on) override;
    void ShowProgress(int position, int total, const std::string& caption) override;

    std::unique_ptr<GRecordSet> ChooseDataSource(const std::string& caption) override;
    bool EditProjectParameters(GProject& project, GProjectParameters& values) override;
    bool EditTransformationMethod(std::uint8_t& projectTransformation) override;
    bool EditTransformationParameters(GTransformationParameters& values) override;
    bool EditHelmertParameters(GHelmertParameters& values) override;
    bool ChooseSelectionStrategy(GSelectionStrategy& strategy) override;
    bool ReviewControlBeacons(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                              const GRectangle& extent) override;
    bool EditTransformationOutput(GOutputChoice& choice) override;
    bool ChooseSaveFile(GFileDialog& dialog) override;
    bool ReviewRun(const GRunAssessment& assessment) override;
    bool ConfirmRun(bool& alwaysShow, const std::vector<std::string>& doubts) override;

    bool ChooseImportFormat(std::int32_t& format) override;
    bool ChooseOpenFile(GFileDialog& dialog) override;
    bool ChooseString(const std::string& title, const std::vector<std::string>& items,
                      std::string& choice) override;
    bool ReviewImport(GImportReview& review) override;

private:
    std::unique_ptr<GRecordSet> CreateRecordSet(const GDataSourceSpec& spec, bool readOnly);
    /// The job and its parameters, printed once before the beacons or the Helmert values.
    void PrintJobSummary();
    /// Dry run of a sheet-mode Helmert transformation: the degree sheets the job's points fall
    /// in, with their parameters; false (after the error box) when one is missing.
    bool PrintSheetParameters();
    /// Sets field to the name among fields that equals wanted ignoring case; otherwise shows the
    /// error "Field <wanted> not found" and returns false.
    bool FindField(const std::vector<std::string>& fields, const std::string& wanted,
                   std::string& field);
    /// Writes a model text to a stream, "\r" becoming a line break.
    void Print(std::ostream& stream, const std::string& text);

    GTerminalAnswers answers_;
    std::ostream& out_;
    std::ostream& err_;
    GProgressBar* progress_;
    GProject* project_ = nullptr;
    bool errorShown_ = false;
    bool dryRunStopped_ = false;
    bool summaryPrinted_ = false;
};

} // namespace quorvalis
