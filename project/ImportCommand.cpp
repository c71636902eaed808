#include "project/ImportCommand.h"

#include "database/Database.h"
#include "project/BeaconImport.h"
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

// Runs a flow, showing any error that ends it.
template <class Flow> GImportResult Guarded(GUserInterface& ui, Flow&& flow)
{
    try
    {
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

// The review dialog, then the conversion and the append.
template <class Importer>
GImportResult ReviewAndAdd(GUserInterface& ui, Importer& importer, GImportReview& review,
                           const std::string& beaconClass)
{
    GImportResult result;
    review.Beacons = &importer.Beacons;
    if (!ui.ReviewImport(review))
        return result;
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
    return Guarded(ui,
                   [&]() -> GImportResult
                   {
                       project.LoadDefaults();
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
                       GImportReview review;
                       review.ControlDistance = project.ControlDistance;
                       review.LocalOrigin = importer.LocalOrigin;
                       review.ClarkeSource = clarke.FileName;
                       review.WGSSource = wgs.FileName;
                       return ReviewAndAdd(ui, importer, review, beaconClass);
                   });
}

GImportResult RunDelimitedImport(GProject& project, GUserInterface& ui,
                                 const std::string& beaconClass)
{
    return Guarded(ui,
                   [&]() -> GImportResult
                   {
                       project.LoadDefaults();
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
                       GImportReview review;
                       review.ControlDistance = project.ControlDistance;
                       review.LocalOrigin = 31.0;
                       review.ClarkeSource = file.FileName;
                       return ReviewAndAdd(ui, importer, review, beaconClass);
                   });
}

GImportResult RunDataSourceImport(GProject& project, GUserInterface& ui,
                                  const std::string& beaconClass)
{
    return Guarded(ui,
                   [&]() -> GImportResult
                   {
                       project.LoadDefaults();
                       GImportResult refusal;
                       std::string clarkeField;
                       auto clarke = ChooseSource(ui, "Clarke RecordSet DataSource",
                                                  "Clarke Identity Field", clarkeField, refusal);
                       if (!clarke)
                           return refusal;
                       std::string wgsField;
                       auto wgs = ChooseSource(ui, "WGS`84 RecordSet DataSource",
                                               "WGS`84 Identity Field", wgsField, refusal);
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
                       GImportReview review;
                       review.ControlDistance = project.ControlDistance;
                       review.LocalOrigin = 31.0;
                       review.ClarkeSource = importer.ClarkeCaption;
                       review.WGSSource = importer.WGSCaption;
                       GImportResult result = ReviewAndAdd(ui, importer, review, beaconClass);
                       // Both record sets are closed and freed here, whatever the answer.
                       wgs->Close();
                       clarke->Close();
                       return result;
                   });
}

} // namespace quorvalis
