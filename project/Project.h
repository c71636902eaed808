// The job being transformed: its record set, extent, control beacons and every parameter of a
// run; the stored defaults it loads; the run operations that move every point of every shape from
// one datum to the other in place; and the dialog operations through which a command adjusts the
// parameters before a run.
//
// Point stages of a run: data coordinates -> geographic degrees on the source datum -> Lo plane on
// the source datum -> Lo plane on the target datum -> geographic on the target datum -> data
// coordinates. Geographic points hold X = longitude (degrees east) and Y = latitude (degrees,
// positive south); Lo points X = southing and Y = westing in metres (see transformation/).
#pragma once

#include "geometry/Spatial.h"
#include "project/ControlBeacons.h"
#include "project/UserInterface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvalis
{

class GRecordSet;
class GGroupTransformation;
class GHelmertTransformation;
class GReport;

/// Messages of the run operations.
inline constexpr char kReadOnlyRecordSetMessage[] =
    "The record set cannot be read only beacuse the spatial\rcomponent will be modified by the "
    "application!";
inline constexpr char kUnableToLoadRecordSetMessage[] = "Unable to load the specified record set.";
inline constexpr char kNoSpatialComponentMessage[] =
    "The record set must have a spatial component.";
/// The error box of a degree sheet missing from the sheet table.
std::string MissingSheetMessage(const std::string& sheetName);

/// Every stored setting of the application with the defaults used when a value is missing
/// (these, not a new project's field values, are what a user sees: "Apply Weighting" reads false).
struct GStoredSettings
{
    std::int32_t LocalOrigin = 31;          ///< "Local Origin"
    std::int32_t CoordinateSystem = 0;      ///< "Coordinate System"
    std::int32_t ProjectTransformation = 0; ///< "Project Transformation"
    double XConstant = 0.0;                 ///< "X Constant"
    double YConstant = 0.0;                 ///< "Y Constant"
    bool Exchange = false;                  ///< "Exchange"
    bool NegateX = false;                   ///< "Negate X"
    bool NegateY = false;                   ///< "Negate Y"
    bool ApplyWeighting = false;            ///< "Apply Weighting"
    double ControlDistance = 300.0;         ///< "Control Distance", metres
    double HelmertA = 1.0;                  ///< "Helmert A"
    double HelmertB = 1.0;                  ///< "Helmert B"
    double CapeX = 0.0;                     ///< "Cape X", Lo metres
    double CapeY = 0.0;                     ///< "Cape Y"
    double WGSX = 0.0;                      ///< "WGS X"
    double WGSY = 0.0;                      ///< "WGS Y"
    std::int32_t HelmertMode = 0;           ///< "Helmert Mode"
    bool Output = false;                    ///< "Output"
    std::int32_t OutputMode = 0;            ///< "Output Mode"
    bool ShowMessage = true;                ///< "Show Message"
    /// "Threads": threads of a run, the calling one included, 1 to kMaxRunThreads; 0 one per
    /// core. Not one of the defaults command's values: it is written only by name.
    std::int32_t Threads = 0;
};

/// The most threads a run takes.
inline constexpr std::int32_t kMaxRunThreads = 256;

/// Reads every value above (not "Install") with its default, in the order above. A stored
/// "Local Origin" that is not a Lo (an odd whole number from 15 to 33) reads as 31, like text that
/// is not a whole number, and its warning is added to warnings when given; so does a "Threads"
/// outside 0 to kMaxRunThreads, read as 0.
GStoredSettings ReadStoredSettings(std::vector<std::string>* warnings = nullptr);
/// The defaults command's write-back: "Coordinate System", "Project Transformation", "Local
/// Origin", "X Constant", "Y Constant", "Exchange", "Negate X", "Negate Y", "Apply Weighting",
/// "Control Distance", "Helmert A", "Helmert B", "Cape X", "Cape Y", "WGS X", "WGS Y", "Helmert
/// Mode", "Output" and "Output Mode", in that order ("Show Message" is not written).
void WriteStoredSettings(const GStoredSettings& settings);

/// One row of the degree-sheet table: centres of gravity in Lo metres and the Helmert variables.
struct GSheetRecord
{
    double CX = 0.0, CY = 0.0; ///< Cape datum
    double WX = 0.0, WY = 0.0; ///< Hartebeesthoek94
    double A = 1.0, B = 1.0;
};

/// The read-only degree-sheet table "Sheet" of the alias QUORVALIS, loaded once into memory and
/// looked up by the exact, case-sensitive value of "SHEET".
class GSheetTable
{
public:
    /// Reads every row; raises the engine's error when the table cannot be opened.
    void Load();
    /// The row of that sheet, or nullptr.
    const GSheetRecord* Find(const std::string& sheet) const;
    std::unordered_map<std::string, GSheetRecord> Rows;
};

/// The parameters of one point of a Helmert run.
struct GSheetParameters
{
    std::string SheetName; ///< degree sheet, or "USER DEFINED"
    double Lo = 31.0;      ///< Lo zone of the computation, degrees
    double CX = 0.0, CY = 0.0, WX = 0.0, WY = 0.0;
    double A = 1.0, B = 1.0;

    bool operator==(const GSheetParameters&) const = default;
};

/// How far points moved on the plane of the computation (the Lo plane in which the Helmert
/// transformation or the sheet parameters act): the distance from a point before the
/// transformation to the same point after it (and after the weighting), in metres.
struct GShiftSummary
{
    std::int64_t Count = 0; ///< points measured
    double Least = 0.0;     ///< metres, >= 0; 0 when Count is 0
    double Mean = 0.0;
    double Greatest = 0.0;

    void Add(double distance);
};

/// Result of a run. Shapes: the record count; points: the points transformed; Shift: how far
/// they moved.
struct GRunCounts
{
    std::int32_t Shapes = 0;
    std::int64_t Points = 0;
    GShiftSummary Shift;
};

class GProject
{
public:
    GProject();
    virtual ~GProject();
    GProject(const GProject&) = delete;
    GProject& operator=(const GProject&) = delete;

    // --- Fields (public, as the dialogs and commands read and write them) ---

    std::unique_ptr<GRecordSet> RecordSet; ///< the open data, or none
    /// A dry run only reads the data: OpenRecordSet then accepts a read-only record set (which
    /// finishes or undoes nothing an interrupted run left behind). Not a stored setting.
    bool DryRun = false;
    std::unique_ptr<GRectangle> Extent;      ///< never null; empty rectangle at first
    GTrigBeaconList ControlBeacons;          ///< beacons of a control-coordinate run
    bool ApplyWeighting = true;              ///< 1/distance weighting after the Helmert step
    double LocalOrigin = 31.0;               ///< Lo of plane data, degrees
    double TransformationLocalOrigin = 31.0; ///< Lo of the plane of the computation
    double XConstant = 0.0;                  ///< added to X before the run, removed after
    double YConstant = 0.0;
    double ControlDistance = 300.0;  ///< import control tolerance, metres
    double CapeX = 0.0, CapeY = 0.0; ///< user-defined Helmert centres of gravity, Lo metres
    double WGSX = 0.0, WGSY = 0.0;
    double HelmertA = 1.0, HelmertB = 1.0;
    std::int32_t HelmertMode = 0; ///< 0 degree sheets, 1 user defined
    bool Exchange = false;
    bool NegateX = false;
    bool NegateY = false;
    std::uint8_t CoordinateSystem = 0;      ///< 0 Lo metres, 1 ddd.mmss, 2 decimal degrees
    std::uint8_t ProjectTransformation = 0; ///< 0 control coordinates, 1 Helmert
    bool Output = false;                    ///< write a report
    std::int32_t OutputMode = 0;            ///< 0 standard, 1 verbose
    std::string OutputFileName;
    std::unique_ptr<GReport> OutputFile;     ///< only while a run writes the report
    std::unique_ptr<GSheetTable> SheetTable; ///< only during a Helmert run
    bool ShowMessage = true;                 ///< confirm before a run
    std::string LabelField;                  ///< field labelling report lines; empty: none
    std::uint8_t SourceDatum = dtCape;
    std::uint8_t TargetDatum = dtCape;
    /// Vertices CalculateExtent met; 0 means Extent says nothing about the job (no shapes).
    std::int64_t ExtentPointCount = 0;
    /// Threads of a run from the stored "Threads" (LoadDefaults); 0 one per core.
    std::int32_t Threads = 0;
    /// Threads of a run chosen for this job (the command line's --threads), kept by
    /// LoadDefaults; 0 leaves it to Threads.
    std::int32_t ThreadsOverride = 0;
    /// The threads a run uses, the calling one included: ThreadsOverride, else Threads, else one
    /// per core (std::thread::hardware_concurrency()). Whatever the number, a run gives the same
    /// results bit for bit.
    int RunThreads() const;

    // --- User interface ---

    /// The interface that receives boxes, hourglass, progress and dialog questions (not owned;
    /// nullptr: nothing is shown and every dialog operation returns false).
    void SetUserInterface(GUserInterface* ui) { ui_ = ui; }
    GUserInterface* UserInterface() const { return ui_; }
    /// Forwards to ShowProgress of the interface.
    void ProgressHandler(int position, const std::string& text, int total);

    // --- Settings ---

    /// Reads the stored settings into the fields; TransformationLocalOrigin = LocalOrigin. A
    /// stored "Local Origin" that is not a Lo counts as 31 and is shown as a warning.
    void LoadDefaults();

    // --- Run operations, in the order a transform command uses them ---

    /// Clears ControlBeacons; closes (if active) and frees RecordSet.
    void CloseRecordSet();
    /// Checks, opens and keeps the chosen record set: a read-only one, one that does not open and
    /// one without a spatial component are refused with an error box and freed. True when kept.
    bool OpenRecordSet(std::unique_ptr<GRecordSet> recordSet);
    /// Extent over every shape (records without a shape are left out) and ExtentPointCount;
    /// back to the first record.
    void CalculateExtent();
    /// ControlBeacons from the control file with Direction = SourceDatum.
    void ReadControlBeacons();
    /// Ascending plane distance (source datum, TransformationLocalOrigin) from the job's centre.
    void SortControlBeacons();
    /// Removes classes not to be used, then preselects: strategy 0 inside the geographic extent
    /// grown by buffer percent on every side, 1 the first count beacons, 2 none.
    void SelectControlBeacons(std::int32_t strategy, std::int32_t count, double buffer,
                              bool useTrigBeacons, bool useTownSurveyMarks, bool useOther);
    void SelectControlBeacons(const GSelectionStrategy& strategy);
    /// Method 0: one Helmert transformation from the selected beacons, optional weighting.
    ///
    /// Both runs first check every fault of the job (CheckRun, project/Guards.h: parameters,
    /// area, permissions, report path, declarations, a valid transformation) and raise
    /// GGuardException before anything is written, then ask the record set to make its
    /// declarations say the target datum at the next flush (SetTargetDatum). The report is
    /// written to a temporary file and left pending in OutputFile: FlushRecordSet commits it
    /// after the data. An error during the run discards it (no report; a file already at that
    /// path stays as it was) and leaves the record set unflushed: a file is rewritten only by
    /// the flush, a table with cached updates changed only by it.
    GRunCounts RunControlTransformation();
    /// Method 1: degree-sheet or user-defined parameters. A sheet missing from the table raises
    /// GGuardException with MissingSheetMessage before any record is changed.
    GRunCounts RunHelmertTransformation();
    /// The degree-sheet check of a Helmert run: every point of every record, in geographic
    /// degrees on the source datum, through GetSheetParameters (HelmertMode 0 looks the sheet up)
    /// and, when given, take, in record order. Stops at the first sheet missing from the table and
    /// returns false with missingSheet set to its name. Leaves the shapes alone and ends on the
    /// first record.
    bool CheckSheets(std::string& missingSheet,
                     const std::function<void(const GSheetParameters&)>& take = nullptr);
    /// How far the first maxPoints points would move in a run of the chosen method, computed on
    /// copies: nothing is posted or written. Raises what the run would (a transformation that is
    /// not valid, a missing sheet as GGuardException). Ends on the first record.
    GShiftSummary SampleShift(std::int64_t maxPoints);
    /// The Helmert transformation of the selected beacons (source datum to target datum, on the
    /// Lo plane TransformationLocalOrigin), in list order, named after the beacons.
    std::unique_ptr<GHelmertTransformation> BuildControlHelmert() const;
    /// Makes the changes permanent in the data source and goes back to the first record; then,
    /// and only then, commits the report a run left pending. When the flush fails the report is
    /// discarded.
    void FlushRecordSet();

    // --- Coordinate chains (each applied forward to every vertex of a shape) ---

    /// Data coordinates to geographic degrees: shift by the constants (unless both 0), ddd.mmss
    /// to degrees (system 1), negation (either flag), exchange, Lo to geographic (system 0, on
    /// the ellipsoid datum, central meridian lo).
    void ToGeographic(GShape& shape, std::uint8_t datum, double lo) const;
    /// The exact reverse of ToGeographic.
    void FromGeographic(GShape& shape, std::uint8_t datum, double lo) const;
    /// Geographic degrees to the Lo plane lo on the ellipsoid datum, and back.
    void GeographicToPlane(GShape& shape, std::uint8_t datum, double lo) const;
    void PlaneToGeographic(GShape& shape, std::uint8_t datum, double lo) const;
    /// The chains as objects, for applying one chain to many points (build once per run).
    std::unique_ptr<GGroupTransformation> BuildToGeographic(std::uint8_t datum, double lo) const;
    /// ToGeographic's chain for any coordinate form (values.LocalOrigin is not used: lo is).
    static std::unique_ptr<GGroupTransformation> BuildToGeographic(const GProjectParameters& values,
                                                                   std::uint8_t datum, double lo);
    std::unique_ptr<GGroupTransformation> BuildFromGeographic(std::uint8_t datum, double lo) const;
    static std::unique_ptr<GGroupTransformation> BuildGeographicToPlane(std::uint8_t datum,
                                                                        double lo);
    static std::unique_ptr<GGroupTransformation> BuildPlaneToGeographic(std::uint8_t datum,
                                                                        double lo);

    /// A copy of Extent through ToGeographic with the Cape datum and LocalOrigin.
    std::unique_ptr<GRectangle> GeographicExtent() const;
    /// The parameters at a geographic point. HelmertMode 0: sheet SheetName(p.Y, p.X) with Lo =
    /// LoZone(p.X), looked up in SheetTable (loaded on first use); false with CX..WY = 0, a = b =
    /// 1 when the sheet is missing. HelmertMode 1: "USER DEFINED" with the user's values.
    bool GetSheetParameters(const GPoint& point, GSheetParameters& parameters);
    /// The same without loading SheetTable: HelmertMode 0 finds no sheet until it is loaded.
    /// Changes nothing, so the threads of a run may call it at once.
    bool LookupSheetParameters(const GPoint& point, GSheetParameters& parameters) const;

    // --- Dialog operations (false at once without a record set, except ConfirmRun) ---

    GProjectParameters GetProjectParameters() const;
    /// Writes LocalOrigin and TransformationLocalOrigin, the constants, flags and system.
    void SetProjectParameters(const GProjectParameters& values);
    bool EditProjectParameters();
    bool EditTransformationMethod();
    bool EditTransformationParameters();
    bool EditHelmertParameters();
    /// The beacon selection dialog over ControlBeacons with TransformationLocalOrigin and the
    /// centre of GeographicExtent.
    bool ReviewControlBeacons();
    /// The output dialog, then (with Output) the save dialog; cancelling the save dialog shows
    /// the output dialog again.
    bool ChooseOutput();
    /// The confirmation with the run's doubts. Skipped (true) when ShowMessage is false and
    /// there is no doubt; with doubts it is asked whatever ShowMessage says, its check box
    /// starting as ShowMessage. On OK stores "Show Message" when the box was changed.
    bool ConfirmRun(const std::vector<std::string>& doubts = {});

private:
    GUserInterface* ui_ = nullptr;
};

} // namespace quorvalis
