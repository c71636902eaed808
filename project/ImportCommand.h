// The import commands: trig beacons ("TRIG") or town survey marks ("TSM") from survey-office
// e-mail files, a comma-delimited text file or two data sources into the control file, driving the
// user interface. Shared by every front end.
#pragma once

#include "project/TransformCommand.h"

#include <string>

namespace quorvalis
{

class GProject;
class GUserInterface;

/// Messages of the import commands.
inline constexpr char kNoMatchedBeaconsMessage[] =
    "There are no matched beacons between the two files.";
inline constexpr char kNoBeaconsInFileMessage[] = "There are no beacons in the file.";
inline constexpr char kUnableToOpenRecordSetMessage[] = "Unable to open the record set.";
inline constexpr char kImportNoSpatialComponentMessage[] =
    "The record set must contain a spatial\rcomponent to be used in this operation.";

/// Captions of the data source dialogs and titles of the identity field choices of the import
/// from two data sources.
inline constexpr char kClarkeDataSourceCaption[] = "Clarke RecordSet DataSource";
inline constexpr char kWGSDataSourceCaption[] = "WGS`84 RecordSet DataSource";
inline constexpr char kClarkeFieldTitle[] = "Clarke Identity Field";
inline constexpr char kWGSFieldTitle[] = "WGS`84 Identity Field";

/// The file dialogs of the imports ("Clarke 1880 Data File...", "WGS'84 Data File...",
/// "Text File...").
GFileDialog ClarkeEmailFileDialog();
GFileDialog WGSEmailFileDialog();
GFileDialog DelimitedFileDialog();

/// How an import ended. Completed: beacons were offered and the review accepted (Imported:
/// rows appended to the control file).
struct GImportResult
{
    GCommandOutcome Outcome = GCommandOutcome::Cancelled;
    int Imported = 0;
    std::string ErrorMessage;
};

/// The import file format dialog, then the flow of the chosen format. beaconClass: "TRIG" or
/// "TSM". Errors are caught and shown with ShowError.
GImportResult RunImportCommand(GProject& project, GUserInterface& ui,
                               const std::string& beaconClass);
/// The three flows on their own.
GImportResult RunEmailImport(GProject& project, GUserInterface& ui, const std::string& beaconClass);
GImportResult RunDelimitedImport(GProject& project, GUserInterface& ui,
                                 const std::string& beaconClass);
GImportResult RunDataSourceImport(GProject& project, GUserInterface& ui,
                                  const std::string& beaconClass);

} // namespace quorvalis
