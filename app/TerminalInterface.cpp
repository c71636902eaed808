#include "app/TerminalInterface.h"

#include "app/ProgressBar.h"
#include "database/BorlandDatabase.h"
#include "database/CorvellDatabase.h"
#include "database/Database.h"
#include "database/GisLayerDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/TextfileDatabase.h"
#include "database/engine/Query.h"
#include "database/engine/Session.h"
#include "database/engine/Text.h"
#include "geometry/Calculations.h"
#include "geometry/NumberFormat.h"
#include "project/BeaconReview.h"
#include "project/Guards.h"
#include "project/ImportCommand.h"
#include "project/Project.h"
#include "project/TransformCommand.h"
#include "transformation/Transformation.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <ostream>
#include <set>
#include <system_error>

namespace quorvalis
{

namespace
{

namespace fs = std::filesystem;

// A value the user gave replaces the one the dialog offers; one not given leaves it.
template <class Answer, class Value> void Take(const std::optional<Answer>& answer, Value& value)
{
    if (answer)
        value = *answer;
}

std::string Number(double value, const char* picture)
{
    return FormatPicture(value, picture);
}

std::string Fixed(const char* layout, std::initializer_list<ReportArg> args)
{
    return FormatLayout(layout, args, DecimalSeparator(), ' ');
}

// Why a file named on the command line cannot be used, in the words of the operating system;
// empty when it is an existing file.
std::string MissingFileMessage(const std::string& path)
{
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status))
        return "Cannot open file \"" + path +
               "\": " + std::generic_category().message(error ? error.value() : ENOENT);
    if (fs::is_directory(status))
        return "Cannot open file \"" + path + "\": " + std::generic_category().message(EISDIR);
    return {};
}

// The SQL line the database data-source dialog writes for a table of a driver: the name quoted
// so that it is only ever a name.
std::string TableQuery(const std::string& driver, const std::string& table)
{
    return engine::TableStatement(driver, table);
}

const char* const kCoordinateSystems[] = {"Geodetic (metres)", "Geographic (ddd.mmss)",
                                          "Geographic (decimal degrees)"};

std::string DescribeSource(const GDataSourceSpec& spec)
{
    switch (spec.SourceKind)
    {
    case GDataSourceSpec::Kind::Shapefile:
        return "shapefile " + spec.Path;
    case GDataSourceSpec::Kind::TextFile:
        return "text file " + spec.Path + " (definition " + spec.Definition + ")";
    case GDataSourceSpec::Kind::Corvell:
        return "coordinate list file " + spec.Path;
    case GDataSourceSpec::Kind::Table:
        return "table " + spec.Table + " of " + spec.Alias;
    case GDataSourceSpec::Kind::XYZTable:
        return "table " + spec.Table + " of " + spec.Alias + " (X " + spec.XField + ", Y " +
               spec.YField + (spec.ZField.empty() ? "" : ", Z " + spec.ZField) + ")";
    case GDataSourceSpec::Kind::GisLayer:
        return "layer " + spec.Table + " of " + GisDatasetDisplayName(spec.Path);
    case GDataSourceSpec::Kind::None:
        break;
    }
    return "(none)";
}

} // namespace

GTerminalInterface::GTerminalInterface(GTerminalAnswers answers, std::ostream& out,
                                       std::ostream& err, GProgressBar* progress)
    : answers_(std::move(answers)), out_(out), err_(err), progress_(progress)
{
}

GTerminalInterface::~GTerminalInterface() = default;

bool GTerminalInterface::FindField(const std::vector<std::string>& fields,
                                   const std::string& wanted, std::string& field)
{
    const auto found =
        std::find_if(fields.begin(), fields.end(),
                     [&](const std::string& name) { return engine::EqualsNoCase(name, wanted); });
    if (found == fields.end())
    {
        ShowError("Field " + wanted + " not found");
        return false;
    }
    field = *found;
    return true;
}

void GTerminalInterface::Print(std::ostream& stream, const std::string& text)
{
    if (progress_)
        progress_->Clear();
    std::string lines = text;
    std::replace(lines.begin(), lines.end(), '\r', '\n');
    stream << lines << '\n';
    stream.flush();
}

// --- Messages, cursor, progress ---

void GTerminalInterface::ShowError(const std::string& message)
{
    errorShown_ = true;
    Print(err_, "error: " + message);
}

void GTerminalInterface::ShowInformation(const std::string& message)
{
    Print(out_, message);
}

void GTerminalInterface::ShowWarning(const std::string& message)
{
    Print(err_, "warning: " + message);
}

void GTerminalInterface::SetHourglass(bool) {}

void GTerminalInterface::ShowProgress(int position, int total, const std::string& caption)
{
    if (progress_)
        progress_->Update(position, total, caption);
}

// --- Data sources ---

std::unique_ptr<GRecordSet> GTerminalInterface::CreateRecordSet(const GDataSourceSpec& spec,
                                                                bool readOnly)
{
    using Kind = GDataSourceSpec::Kind;
    switch (spec.SourceKind)
    {
    case Kind::Shapefile:
        // The shapefile dialog's own refusal of a file that is not there.
        if (!MissingFileMessage(spec.Path).empty())
        {
            ShowError("You must select a valid shapefile!");
            return nullptr;
        }
        return CreateShapefileRecordSet(false, spec.Path, readOnly, false);
    case Kind::Corvell:
        if (!MissingFileMessage(spec.Path).empty())
        {
            ShowError("You must select a valid Corvell file!");
            return nullptr;
        }
        return CreateCorvellRecordSet(false, spec.Path, readOnly, false);
    case Kind::TextFile:
        for (const std::string* path : {&spec.Path, &spec.Definition})
            if (const std::string message = MissingFileMessage(*path); !message.empty())
            {
                ShowError(message);
                return nullptr;
            }
        return CreateTextFileRecordSet(false, spec.Path, spec.Definition, spec.XField, spec.YField,
                                       spec.ZField, readOnly, false);
    case Kind::Table:
    case Kind::XYZTable:
    {
        const std::string driver = engine::Session::Default().AliasDriver(spec.Alias);
        // Client-server databases keep a run's changes until the flush applies them at once.
        const bool cached = driver != engine::kDriverStandard;
        const std::vector<std::string> sql{TableQuery(driver, spec.Table)};
        if (spec.SourceKind == Kind::Table)
            return CreateBorlandRecordSet(false, driver, spec.Alias, spec.Table, "", "", readOnly,
                                          false, cached, sql);
        return CreateBorlandXYZRecordSet(false, driver, spec.Alias, spec.Table, spec.XField,
                                         spec.YField, spec.ZField, "", "", readOnly, false, cached,
                                         sql);
    }
    case Kind::GisLayer:
        return CreateGisLayerRecordSet(false, spec.Path, spec.Table, readOnly, false);
    case Kind::None:
        break;
    }
    ShowError("No data source was given.");
    return nullptr;
}

std::unique_ptr<GRecordSet> GTerminalInterface::ChooseDataSource(const std::string& caption)
{
    // A dry run reads the data without the right to change them.
    if (caption == kTransformDataSourceCaption)
        return CreateRecordSet(answers_.Source, !answers_.Yes);
    // The import reads its two sources only.
    if (caption == kClarkeDataSourceCaption)
        return CreateRecordSet(answers_.CapeSource, true);
    if (caption == kWGSDataSourceCaption)
        return CreateRecordSet(answers_.HartSource, true);
    return nullptr;
}

// --- Transform questions ---

bool GTerminalInterface::EditProjectParameters(GProject& project, GProjectParameters& values)
{
    project_ = &project;
    Take(answers_.LocalOrigin, values.LocalOrigin);
    Take(answers_.XConstant, values.XConstant);
    Take(answers_.YConstant, values.YConstant);
    Take(answers_.Exchange, values.Exchange);
    Take(answers_.NegateX, values.NegateX);
    Take(answers_.NegateY, values.NegateY);
    Take(answers_.CoordinateSystem, values.CoordinateSystem);
    return true;
}

bool GTerminalInterface::EditTransformationMethod(std::uint8_t& projectTransformation)
{
    Take(answers_.Method, projectTransformation);
    return true;
}

bool GTerminalInterface::EditTransformationParameters(GTransformationParameters& values)
{
    Take(answers_.TransformationLocalOrigin, values.TransformationLocalOrigin);
    Take(answers_.ApplyWeighting, values.ApplyWeighting);
    return true;
}

bool GTerminalInterface::EditHelmertParameters(GHelmertParameters& values)
{
    Take(answers_.HelmertMode, values.HelmertMode);
    Take(answers_.TransformationLocalOrigin, values.TransformationLocalOrigin);
    Take(answers_.HelmertA, values.HelmertA);
    Take(answers_.HelmertB, values.HelmertB);
    Take(answers_.CapeX, values.CapeX);
    Take(answers_.CapeY, values.CapeY);
    Take(answers_.WGSX, values.WGSX);
    Take(answers_.WGSY, values.WGSY);

    PrintJobSummary();
    std::string text = "Method:         Helmert Transformation, ";
    if (values.HelmertMode == 0)
        text += "parameters per degree sheet";
    else
        text += "user defined: Lo " + Number(values.TransformationLocalOrigin, "0.###") + ", a " +
                Number(values.HelmertA, "0.###############") + ", b " +
                Number(values.HelmertB, "0.###############") + "\r                centre (Y, X) " +
                Number(values.CapeY, "0.000") + ", " + Number(values.CapeX, "0.000") + " Cape, " +
                Number(values.WGSY, "0.000") + ", " + Number(values.WGSX, "0.000") +
                " Hartebeesthoek94";
    Print(out_, text);
    return true;
}

bool GTerminalInterface::ChooseSelectionStrategy(GSelectionStrategy& strategy)
{
    Take(answers_.Strategy, strategy.Strategy);
    Take(answers_.Buffer, strategy.Buffer);
    Take(answers_.Count, strategy.Count);
    if (answers_.NoTrig)
        strategy.UseTrigBeacons = false;
    if (answers_.NoTsm)
        strategy.UseTownSurveyMarks = false;
    if (answers_.NoOther)
        strategy.UseOtherCoordinates = false;

    PrintJobSummary();
    if (project_)
        Print(out_, "Method:         Control Coordinate Transformation in Lo " +
                        Number(project_->TransformationLocalOrigin, "0.###") +
                        (project_->ApplyWeighting ? ", with" : ", without") +
                        " 1/distance weighting");
    std::string text = "Preselection:   ";
    if (strategy.Strategy == 0)
        text +=
            "control coordinates within the extent + " + Number(strategy.Buffer, "0.0##") + " %";
    else if (strategy.Strategy == 1)
        text += "the " + std::to_string(strategy.Count) + " closest control coordinates";
    else
        text += "manual";
    std::string classes;
    for (const auto& [use, name] : {std::pair{strategy.UseTrigBeacons, "trig beacons"},
                                    std::pair{strategy.UseTownSurveyMarks, "town survey marks"},
                                    std::pair{strategy.UseOtherCoordinates, "other"}})
        if (use)
            classes += (classes.empty() ? "" : ", ") + std::string(name);
    text += " (" + (classes.empty() ? std::string("no classes") : classes) + ")";
    if (!answers_.SelectionFile.empty())
        text += "\rSelection file: " + answers_.SelectionFile;
    Print(out_, text);
    return true;
}

bool GTerminalInterface::ReviewControlBeacons(GTrigBeaconList& beacons, double lo,
                                              const GPoint& centre, const GRectangle& extent)
{
    if (!answers_.SelectionFile.empty())
        RecallSelection(answers_.SelectionFile, beacons);
    GBeaconReview review(beacons, lo, centre, &extent);
    review.Refresh();

    std::size_t width = 20;
    for (const GBeaconRow& row : review.Selected())
        width = std::max(width, row.Name.size());
    const int nameWidth = static_cast<int>(width);

    std::string text = "\rControl beacons: " + std::to_string(review.Selected().size()) +
                       " selected, " + std::to_string(review.Available().size()) +
                       " available (distances from the centre of the job on the Cape plane, Lo " +
                       Number(lo, "0.###") + ")";
    if (review.Selected().empty())
        text += "\r  No Beacons Currently Selected";
    else
    {
        // "Without it": the misclosure at the beacon of the fit made without it; "Expected": its
        // size when the beacon fits as well as the others.
        text +=
            "\r  " + Fixed("%-*s %12s %12s %12s %10s", {nameWidth, "Beacon Name", "Distance",
                                                        "Misclosure", "Without it", "Expected"});
        for (const GBeaconRow& row : review.Selected())
            text += "\r  " +
                    Fixed("%-*s %12s %12s %12s %10s%s",
                          {nameWidth, row.Name, row.DistanceText, row.MisclosureText,
                           row.LeaveOneOutText, row.ExpectedText, row.Suspect ? "  suspect" : ""});
    }
    if (review.Valid())
        text += "\rScale: " + Fixed("%.11f", {review.Scale()}) +
                "\rSwing: " + Fixed("%.6f", {review.Swing()}) + " (ddd.mmss)" +
                "\rRMS of misclosures: " + review.RmsText() + " m";
    else
        text += "\rScale: N/A\rSwing: N/A\rRMS of misclosures: N/A";
    for (const GBeaconRow* row : review.Suspects())
        text += "\rSuspect: " + row->Name + ": misclosure without it " + row->LeaveOneOutText +
                " m, more than 3 times the " + row->ExpectedText +
                " m the other beacons lead one to expect there";
    if (!review.Available().empty())
    {
        // The nearest ones are the candidates worth naming in a selection file.
        constexpr std::size_t kShown = 10;
        text += "\rNot selected, nearest first:";
        std::vector<const GBeaconRow*> rows;
        for (const GBeaconRow& row : review.Available())
            rows.push_back(&row);
        std::stable_sort(rows.begin(), rows.end(),
                         [](const GBeaconRow* a, const GBeaconRow* b)
                         { return a->Distance < b->Distance; });
        for (std::size_t i = 0; i < rows.size() && i < kShown; ++i)
            text += "\r  " + Fixed("%-*s %12s", {nameWidth, rows[i]->Name, rows[i]->DistanceText});
        if (rows.size() > kShown)
            text += "\r  ... and " + std::to_string(rows.size() - kShown) + " more";
    }
    Print(out_, text);

    // The selection dialog cannot be accepted without a valid transformation.
    if (!review.Valid())
    {
        ShowError(kInvalidTransformationMessage);
        return false;
    }
    return true;
}

bool GTerminalInterface::EditTransformationOutput(GOutputChoice& choice)
{
    if (answers_.LabelField &&
        !FindField(choice.LabelFields, *answers_.LabelField, choice.LabelField))
        return false;
    Take(answers_.Output, choice.Output);
    Take(answers_.OutputMode, choice.OutputMode);

    if (choice.Output)
    {
        const std::string file =
            answers_.ReportFile.empty() ? std::string("Output.txt") : answers_.ReportFile;
        // The save dialog only offers existing folders; saying so now beats failing later.
        const fs::path folder = fs::absolute(fs::path(file)).parent_path();
        std::error_code error;
        if (!fs::is_directory(folder, error))
        {
            ShowError("Cannot create file \"" + file +
                      "\": " + std::generic_category().message(ENOENT));
            return false;
        }
        const bool labelled = !choice.LabelField.empty() && choice.LabelField != "<NONE>";
        Print(out_, "Report:         " + file +
                        (choice.OutputMode == 1 ? " (verbose" : " (standard") +
                        (labelled ? ", labels from " + choice.LabelField + ")" : ")"));
    }
    else
        Print(out_, "Report:         none");

    return true;
}

bool GTerminalInterface::ReviewRun(const GRunAssessment& assessment)
{
    if (!answers_.Yes && project_ && project_->ProjectTransformation == 1 &&
        project_->HelmertMode == 0 && !PrintSheetParameters())
        return false;
    const GShiftSummary& shift = assessment.Shift;
    std::string text;
    if (shift.Count > 0)
        text = "Shift:          first " + std::to_string(shift.Count) +
               (shift.Count == 1 ? " point: " : " points: ") + "least " +
               Number(shift.Least, "0.000") + " m, mean " + Number(shift.Mean, "0.000") +
               " m, greatest " + Number(shift.Greatest, "0.000") + " m";
    if (!assessment.Doubts.empty())
    {
        text += std::string(text.empty() ? "" : "\r") + "Doubts (the run needs --force):";
        for (const std::string& doubt : assessment.Doubts)
            text += "\r  - " + doubt;
    }
    if (!text.empty())
        Print(out_, text);
    if (answers_.Yes)
        return true;
    const std::int32_t records =
        project_ && project_->RecordSet ? project_->RecordSet->RecordCount() : 0;
    Print(out_, "\rDry run: nothing has been changed. Add --yes to transform the " +
                    std::to_string(records) + (records == 1 ? " record." : " records.") +
                    (assessment.Doubts.empty() ? "" : "\rWith the doubts above, add --force too."));
    dryRunStopped_ = true;
    return false;
}

bool GTerminalInterface::ChooseSaveFile(GFileDialog& dialog)
{
    // The save dialog cannot be cancelled here: a refusal would bring the output dialog back.
    if (!answers_.ReportFile.empty())
        dialog.FileName = answers_.ReportFile;
    return true;
}

bool GTerminalInterface::ConfirmRun(bool&, const std::vector<std::string>& doubts)
{
    // --yes is the confirmation, --force the answer to doubts; the box is left as it came, so the
    // stored choice is kept.
    if (!answers_.Yes)
        return false;
    if (!doubts.empty() && !answers_.Force)
    {
        std::string message = "Nothing was transformed: the run goes ahead with doubts only with "
                              "--force:";
        for (const std::string& doubt : doubts)
            message += "\r  - " + doubt;
        ShowError(message);
        return false;
    }
    return true;
}

void GTerminalInterface::PrintJobSummary()
{
    if (summaryPrinted_ || !project_)
        return;
    summaryPrinted_ = true;
    const GProject& project = *project_;
    const std::int32_t records = project.RecordSet ? project.RecordSet->RecordCount() : 0;
    std::string text = "Job:            " + DescribeSource(answers_.Source) + ", " +
                       std::to_string(records) + (records == 1 ? " record" : " records");
    text += std::string("\rDirection:      ") +
            (project.SourceDatum == dtCape ? "Cape (Clarke 1880) to Hartebeesthoek94 (WGS`84)"
                                           : "Hartebeesthoek94 (WGS`84) to Cape (Clarke 1880)");
    text += "\rCoordinates:    " +
            std::string(kCoordinateSystems[std::min<int>(project.CoordinateSystem, 2)]);
    if (project.CoordinateSystem == 0)
    {
        text += ", Lo " + Number(project.LocalOrigin, "0.###");
        const auto declared = project.RecordSet && !answers_.LocalOrigin
                                  ? DeclaredLocalOrigin(*project.RecordSet, project.SourceDatum)
                                  : std::nullopt;
        if (declared && *declared->LocalOrigin == project.LocalOrigin)
            text += " (from \"" + declared->Source + "\")";
    }
    if (project.XConstant != 0.0 || project.YConstant != 0.0)
        text += ", constants X " + Number(project.XConstant, "0.000#######") + " Y " +
                Number(project.YConstant, "0.000#######");
    if (project.NegateX)
        text += ", negate X";
    if (project.NegateY)
        text += ", negate Y";
    if (project.Exchange)
        text += ", exchange X and Y";
    const auto extent = project.GeographicExtent();
    text += "\rExtent:         (" + Number(extent->TopLeft.X, "0.000000") + ";" +
            Number(extent->TopLeft.Y, "0.000000") + ") -> (" +
            Number(extent->BottomRight.X, "0.000000") + ";" +
            Number(extent->BottomRight.Y, "0.000000") + ") (longitude;latitude, Cape)";
    Print(out_, text);
}

bool GTerminalInterface::PrintSheetParameters()
{
    GProject& project = *project_;
    std::vector<GSheetParameters> sheets;
    std::set<std::string> seen;
    std::string missing;
    project.SheetTable.reset();
    const bool found = project.CheckSheets(missing,
                                           [&](const GSheetParameters& parameters)
                                           {
                                               if (seen.insert(parameters.SheetName).second)
                                                   sheets.push_back(parameters);
                                           });
    project.SheetTable.reset();
    if (!found)
    {
        ShowError(MissingSheetMessage(missing));
        return false;
    }
    std::string text = "Degree sheets:  " + std::to_string(sheets.size());
    for (const GSheetParameters& sheet : sheets)
        text += "\r  " + sheet.SheetName + ": Lo " + Number(sheet.Lo, "0") + ", a " +
                Number(sheet.A, "0.###############") + ", b " +
                Number(sheet.B, "0.###############") + ", centre (Y, X) " +
                Number(sheet.CY, "0.000") + ", " + Number(sheet.CX, "0.000") + " Cape, " +
                Number(sheet.WY, "0.000") + ", " + Number(sheet.WX, "0.000") + " Hartebeesthoek94";
    Print(out_, text);
    return true;
}

// --- Import questions ---

bool GTerminalInterface::ChooseImportFormat(std::int32_t& format)
{
    format = answers_.ImportFormat;
    return true;
}

bool GTerminalInterface::ChooseOpenFile(GFileDialog& dialog)
{
    std::string file;
    if (dialog.Title == ClarkeEmailFileDialog().Title)
        file = answers_.CapeEmail;
    else if (dialog.Title == WGSEmailFileDialog().Title)
        file = answers_.HartEmail;
    else if (dialog.Title == DelimitedFileDialog().Title)
        file = answers_.DelimitedFile;
    if (file.empty())
        return false;
    if (dialog.MustExist)
        if (const std::string message = MissingFileMessage(file); !message.empty())
        {
            ShowError(message);
            return false;
        }
    dialog.FileName = file;
    return true;
}

bool GTerminalInterface::ChooseString(const std::string& title,
                                      const std::vector<std::string>& items, std::string& choice)
{
    std::string wanted;
    if (title == kClarkeFieldTitle)
        wanted = answers_.CapeField;
    else if (title == kWGSFieldTitle)
        wanted = answers_.HartField;
    else
        return false;
    return FindField(items, wanted, choice);
}

bool GTerminalInterface::ReviewImport(GImportReview& review)
{
    if (!review.Beacons)
        return false;
    GTrigBeaconList& beacons = *review.Beacons;
    ApplyImportSelectionRules(beacons, review.ControlDistance);
    Take(answers_.ImportLocalOrigin, review.LocalOrigin);

    std::string text;
    if (review.WGSSource.empty())
        text = "Import Filename:      " + review.ClarkeSource;
    else
        text = "Clarke 1880 Filename: " + review.ClarkeSource +
               "\rWGS'84 Filename:      " + review.WGSSource;
    text += "\rImported Coordinates Local Origin: " + Number(review.LocalOrigin, "0.###");
    text += "\rImport Control Tolerance: " + Number(review.ControlDistance, "0.###") + " m";
    text += "\r\rAvailable Coordinates for Importing\r";
    text += kImportReviewHeading;
    for (int i = 0; i < beacons.Count(); ++i)
    {
        const GTrigBeacon& beacon = beacons.Beacon(i);
        text += std::string("\r") + (beacon.Selected ? "[x]" : "[ ]") + ImportReviewLine(beacon);
    }
    text += "\r" + std::to_string(beacons.SelectedCount()) + " of " +
            std::to_string(beacons.Count()) + " beacons ticked.";
    Print(out_, text);
    // The dry run refuses what the import would refuse.
    CheckLocalOrigin(review.LocalOrigin, kImportLocalOrigin);
    if (answers_.Yes)
        return true;
    Print(out_, "\rDry run: the control file is unchanged. Add --yes to import the ticked "
                "beacons.");
    dryRunStopped_ = true;
    return false;
}

} // namespace quorvalis
