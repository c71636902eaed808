#include "project/ImportCommand.h"

#include "database/Database.h"
#include "project/BeaconImport.h"
#include "project/Guards.h"
#include "project/Project.h"
#include "project/UserInterface.h"

#include <exception>

namespace quorvalis
{

namespace
{

constexpr char kEmailFilter[] = "EMail Files (*.eml)|*.eml|Text Files (*.txt)|*.txt|ASCII Files "
                                "(*.asc)|*.asc|Data Files (*.dat)|*.dat|All Files (*.*)|*.*";
constexpr char kTextFilter[] =
    "Text Files (*.txt)|*.txt|ASCII Files (*.asc)|*.asc|Data Files (*.dat)|*.dat|All Files "
    "(*.*)|*.*";

GFileDialog OpenDialog(const char* title, const char* extension, const char* filter)
{
    GFileDialog dialog;
    dialog.Title = title;
    dialog.DefaultExtension = extension;
    dialog.Filter = filter;
    dialog.MustExist = true;
    return dialog;
}

GProgressEvent ProgressTo(GUserInterface& ui)
{
    return [&ui](int position, const std::string& text, int total)
    { ui.ShowProgress(position, total, text); };
}

GImportResult Refused(GUserInterface& ui, const std::string& message)
{
    ui.ShowError(message);
    GImportResult result;
    result.Outcome = GCommandOutcome::Failed;
    result.ErrorMessage = message;
    return result;
}

// Runs a flow on the stored defaults (their warnings shown), showing any error that ends it.
template <class Flow> GImportResult Guarded(GProject& project, GUserInterface& ui, Flow&& flow)
{
    struct Attached
    {
        GProject& project;
        GUserInterface* previous;
        ~Attached() { project.SetUserInterface(previous); }
    } attached{project, project.UserInterface()};
    project.SetUserInterface(&ui);
    try
    {
        project.LoadDefaults();
        return flow();
    }
    catch (const std::exception& error)
    {
        GImportResult result;
        result.Outcome = GCommandOutcome::Failed;
        result.ErrorMessage = error.what();
        ui.ShowError(result.ErrorMessage);
        return result;
    }
}

// The review dialog over the importer's beacons (the project's tolerance, the given Lo and source
// names), then the conversion and the append.
GImportResult ReviewAndAdd(const GProject& project, GUserInterface& ui, GBeaconImporter& importer,
                           double localOrigin, const std::string& clarkeSource,
                           const std::string& wgsSource, const std::string& beaconClass)
{
    GImportResult result;
    GImportReview review;
    review.Beacons = &importer.Beacons;
    review.ControlDistance = project.ControlDistance;
    review.LocalOrigin = localOrigin;
    review.ClarkeSource = clarkeSource;
    review.WGSSource = wgsSource;
    if (!ui.ReviewImport(review))
        return result;
    // Plane coordinates of another Lo would land the beacons hundreds of kilometres away.
    CheckLocalOrigin(review.LocalOrigin, kImportLocalOrigin);
    GHourglass hourglass(&ui);
    importer.Beacons.ConvertToGeographic(review.LocalOrigin);
    result.Imported = importer.AddToControlFile(beaconClass);
    result.Outcome = GCommandOutcome::Completed;
    return result;
}

// Asks for a data source and its identity field. Shows the refusals; nullptr when the user
// cancelled or the record set was refused.
std::unique_ptr<GRecordSet> ChooseSource(GUserInterface& ui, const std::string& caption,
                                         const std::string& fieldTitle, std::string& field,
                                         GImportResult& refusal)
{
    auto recordSet = ui.ChooseDataSource(caption);
    if (!recordSet)
        return nullptr;
    if (!recordSet->Open() || !recordSet->Active())
    {
        refusal = Refused(ui, kUnableToOpenRecordSetMessage);
        return nullptr;
    }
    if (!recordSet->HasSpatialComponent())
    {
        refusal = Refused(ui, kImportNoSpatialComponentMessage);
        return nullptr;
    }
    std::vector<std::string> names;
    recordSet->Fields().GetFieldNames(names, false);
    if (!ui.ChooseString(fieldTitle, names, field))
        return nullptr;
    return recordSet;
}

} // namespace

GFileDialog ClarkeEmailFileDialog()
{
    return OpenDialog("Clarke 1880 Data File...", "eml", kEmailFilter);
}

GFileDialog WGSEmailFileDialog()
{
    return OpenDialog("WGS'84 Data File...", "eml", kEmailFilter);
}

GFileDialog DelimitedFileDialog()
{
    return OpenDialog("Text File...", "txt", kTextFilter);
}

GImportResult RunImportCommand(GProject& project, GUserInterface& ui,
                               const std::string& beaconClass)
{
    std::int32_t format = 0;
    if (!ui.ChooseImportFormat(format))
        return {};
    switch (format)
    {
    case 0:
        return RunEmailImport(project, ui, beaconClass);
    case 1:
        return RunDelimitedImport(project, ui, beaconClass);
    case 2:
        return RunDataSourceImport(project, ui, beaconClass);
    default:
        return {};
    }
}

GImportResult RunEmailImport(GProject& project, GUserInterface& ui, const std::string& beaconClass)
{
    return Guarded(project, ui,
                   [&]() -> GImportResult
                   {
                       GFileDialog clarke = ClarkeEmailFileDialog();
                       if (!ui.ChooseOpenFile(clarke))
                           return {};
                       GFileDialog wgs = WGSEmailFileDialog();
                       if (!ui.ChooseOpenFile(wgs))
                           return {};
                       GTrigBeaconImport importer(clarke.FileName, wgs.FileName);
                       importer.OnProgress = ProgressTo(ui);
                       {
                           GHourglass hourglass(&ui);
                           importer.ReadBeacons();
                           importer.RemoveUnmatched();
                       }
                       if (importer.MatchedCount() == 0)
                           return Refused(ui, kNoMatchedBeaconsMessage);
                       return ReviewAndAdd(project, ui, importer, importer.LocalOrigin,
                                           clarke.FileName, wgs.FileName, beaconClass);
                   });
}

GImportResult RunDelimitedImport(GProject& project, GUserInterface& ui,
                                 const std::string& beaconClass)
{
    return Guarded(project, ui,
                   [&]() -> GImportResult
                   {
                       GFileDialog file = DelimitedFileDialog();
                       if (!ui.ChooseOpenFile(file))
                           return {};
                       GDelimitedTrigBeaconImport importer(file.FileName);
                       importer.OnProgress = ProgressTo(ui);
                       {
                           GHourglass hourglass(&ui);
                           importer.ReadBeacons();
                       }
                       if (importer.Beacons.Count() == 0)
                           return Refused(ui, kNoBeaconsInFileMessage);
                       return ReviewAndAdd(project, ui, importer, 31.0, file.FileName, {},
                                           beaconClass);
                   });
}

GImportResult RunDataSourceImport(GProject& project, GUserInterface& ui,
                                  const std::string& beaconClass)
{
    return Guarded(
        project, ui,
        [&]() -> GImportResult
        {
            GImportResult refusal;
            std::string clarkeField;
            auto clarke =
                ChooseSource(ui, kClarkeDataSourceCaption, kClarkeFieldTitle, clarkeField, refusal);
            if (!clarke)
                return refusal;
            std::string wgsField;
            auto wgs = ChooseSource(ui, kWGSDataSourceCaption, kWGSFieldTitle, wgsField, refusal);
            if (!wgs)
                return refusal;

            GDataSourceTrigBeaconImport importer;
            importer.ClarkeCaption = "Clarke 1880 DataSource";
            importer.WGSCaption = "WGS`84 DataSource";
            importer.ClarkeRecordSet = clarke.get();
            importer.WGSRecordSet = wgs.get();
            importer.ClarkeIdentityField = clarkeField;
            importer.WGSIdentityField = wgsField;
            importer.OnProgress = ProgressTo(ui);
            {
                GHourglass hourglass(&ui);
                importer.ReadBeacons();
            }
            if (importer.Beacons.Count() == 0)
                return Refused(ui, kNoBeaconsInFileMessage);
            GImportResult result = ReviewAndAdd(project, ui, importer, 31.0, importer.ClarkeCaption,
                                                importer.WGSCaption, beaconClass);
            // Both record sets are closed and freed here, whatever the answer.
            wgs->Close();
            clarke->Close();
            return result;
        });
}

} // namespace quorvalis
