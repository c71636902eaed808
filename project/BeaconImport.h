// Importers of control beacons whose positions on both datums are Lo plane coordinates: the pair
// of survey-office e-mail files, a comma-delimited text file, and two record sets of any kind.
// Each builds a GTrigBeaconList; after the user's review the list is converted to geographic
// degrees (GTrigBeaconList::ConvertToGeographic) and appended to the control file with
// AddToControlFile. Files are single-byte text; LF, CR LF and CR line ends are all accepted.
#pragma once

#include "project/ControlBeacons.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis
{

class GRecordSet;

/// The lines of a single-byte text file without their line ends (LF, CR LF or CR; a last line
/// without one counts). Raises GFileException naming the file when it cannot be read.
std::vector<std::string> ReadTextFileLines(const std::string& fileName);
/// The lines of a text held in memory, split as ReadTextFileLines splits a file.
std::vector<std::string> SplitTextLines(std::string_view text);

/// One beacon line of a survey-office e-mail file (1-based columns: 1-10 number, 11-30 name,
/// 33-42 Y, 44-53 X, each trimmed; a comma in a coordinate is the decimal point).
struct GEmailBeaconLine
{
    std::string Number;
    std::string Name;
    double Y = 0.0; ///< Lo metres
    double X = 0.0;
};

/// The beacon of a line, or nothing when the number is not a whole number or a coordinate does
/// not read.
std::optional<GEmailBeaconLine> ParseEmailBeaconLine(std::string_view line);
/// The Lo of a Lo line: a line whose upper-case text holds "LO."; the two characters after the
/// first "/" that follows it, read as a whole number. Nothing for other lines (or when those
/// characters are not a number).
std::optional<std::int32_t> ParseEmailLoLine(std::string_view line);
/// A delimited beacon "name,clarke y,clarke x,wgs y,wgs x" (the line trimmed first, fields not
/// trimmed, no quoting); nothing unless the name is not empty and all four numbers read.
std::optional<GTrigBeacon> ParseDelimitedBeaconLine(std::string_view line);

/// Appends the beacons of the list that are Selected to the control file under the class
/// beaconClass ("TRIG", "TSM"), leaving out (and unselecting) every beacon whose name is already
/// there with both positions within 0.000001 degrees. Positions must be geographic. A control
/// file that cannot be opened raises (see OpenControlFile). All rows are written together at the
/// end, or none; other writers of the control file wait meanwhile, so that two imports at once
/// add each beacon once. Progress: reading the control file, then "Adding Information to Control
/// File...".
/// Returns the number of rows appended.
int AddBeaconsToControlFile(GTrigBeaconList& beacons, const std::string& beaconClass);

/// Clears the Selected flag of every beacon the import review refuses: one without a Clarke
/// position (0, 0), one without a WGS position, or one whose two plane positions lie more than
/// maxShift metres apart. Never selects a beacon.
void ApplyImportSelectionRules(GTrigBeaconList& beacons, double maxShift);

/// The line the import review lists for a beacon: the name's first 20 characters, the plane
/// positions (Y before X, as in kImportReviewHeading) and the shift between them in metres.
std::string ImportReviewLine(const GTrigBeacon& beacon);
/// The column heading of those lines (three characters of room for a tick box first).
inline constexpr char kImportReviewHeading[] =
    "   Beacon Name          Clarke Y    Clarke X     WGS'84 Y   WGS'84 X   Dstnce";

/// What every importer has: the beacons it builds, its progress, and the append to the control
/// file. Not copyable: the list reports progress through the importer that owns it.
class GBeaconImporter
{
public:
    virtual ~GBeaconImporter() = default;
    GBeaconImporter(const GBeaconImporter&) = delete;
    GBeaconImporter& operator=(const GBeaconImporter&) = delete;

    GTrigBeaconList Beacons; ///< Lo plane coordinates until converted
    /// Progress of every operation (the user interface's progress display).
    GProgressEvent OnProgress;

    /// AddBeaconsToControlFile on Beacons; the number of rows appended.
    int AddToControlFile(const std::string& beaconClass);

protected:
    GBeaconImporter();
    void ProgressHandler(int position, const std::string& text, int total);
    /// Hands every line to take, with progress after each.
    void TakeLines(const std::vector<std::string>& lines, const std::string& caption,
                   const std::function<void(const std::string&)>& take);
};

/// The survey-office e-mail pair: one file per datum.
class GTrigBeaconImport : public GBeaconImporter
{
public:
    GTrigBeaconImport(std::string clarkeFileName = {}, std::string wgsFileName = {});

    std::string ClarkeFileName;
    std::string WGSFileName;
    double LocalOrigin = 0.0; ///< the last Lo line read in either file

    /// Reads the Cape file's beacons, then pairs the Hartebeesthoek file's lines with them by
    /// name and number (paired: Selected). Nothing is read unless both files exist. True when
    /// the list holds a beacon. Raises GFileException for a file that exists but cannot be read.
    bool ReadBeacons();
    /// ReadBeacons on the lines of the two files (Cape first), already read.
    bool ReadBeaconLines(const std::vector<std::string>& clarkeLines,
                         const std::vector<std::string>& wgsLines);
    /// Removes every beacon not paired. Progress "Removing Unmatched Control Coordinates...".
    void RemoveUnmatched();
    int MatchedCount() const;
};

/// A comma-delimited file with both positions on each line.
class GDelimitedTrigBeaconImport : public GBeaconImporter
{
public:
    explicit GDelimitedTrigBeaconImport(std::string fileName = {});

    std::string FileName;

    /// Every taken line becomes a Selected beacon; nothing when the file does not exist. True
    /// when the list holds a beacon.
    bool ReadBeacons();
    /// ReadBeacons on the lines of the file, already read.
    bool ReadBeaconLines(const std::vector<std::string>& lines);
};

/// Two open record sets, one per datum, paired by the text of an identity field. Each beacon's
/// position is the centre of its shape's bounding rectangle.
class GDataSourceTrigBeaconImport : public GBeaconImporter
{
public:
    std::string ClarkeCaption;
    std::string WGSCaption;
    GRecordSet* ClarkeRecordSet = nullptr; ///< not owned, open
    GRecordSet* WGSRecordSet = nullptr;    ///< not owned, open
    std::string ClarkeIdentityField;
    std::string WGSIdentityField;

    /// Records without a shape (or with a shape without points) are skipped. Hartebeesthoek
    /// records whose identity matches no Cape beacon are ignored; Cape beacons without a partner
    /// stay unselected. Returns true.
    bool ReadBeacons();
};

} // namespace quorvalis
