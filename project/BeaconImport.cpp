#include "project/BeaconImport.h"

#include "database/BorlandDatabase.h"
#include "database/engine/Text.h"
#include "geometry/Calculations.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "project/WinRegistry.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

namespace quorvalis
{

namespace
{

// Characters first..last (1-based, inclusive) of a line, as many as the line has.
std::string_view Columns(std::string_view line, std::size_t first, std::size_t last)
{
    if (first - 1 >= line.size())
        return {};
    return line.substr(first - 1, last - first + 1);
}

bool ReadWholeNumber(std::string_view text, std::int32_t& value)
{
    return ParseStoredInteger(std::string(text), value);
}

bool ReadCoordinate(std::string_view text, double& value)
{
    std::string copy(engine::TrimBlanks(text));
    for (char& c : copy)
        if (c == ',')
            c = '.';
    return !copy.empty() && ParseNumber(copy, value, '.');
}

bool FileExists(const std::string& fileName)
{
    std::error_code error;
    return !fileName.empty() && std::filesystem::is_regular_file(fileName, error);
}

} // namespace

std::vector<std::string> ReadTextFileLines(const std::string& fileName)
{
    std::ifstream stream(fileName, std::ios::binary);
    if (!stream)
        throw GFileException("Cannot read file \"" + fileName + "\": " + std::strerror(errno));
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad())
        throw GFileException("Cannot read file \"" + fileName + "\": " + std::strerror(errno));
    return SplitTextLines(text);
}

std::vector<std::string> SplitTextLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::optional<GEmailBeaconLine> ParseEmailBeaconLine(std::string_view line)
{
    GEmailBeaconLine beacon;
    std::int32_t number = 0;
    const std::string_view numberText = engine::TrimBlanks(Columns(line, 1, 10));
    if (!ReadWholeNumber(numberText, number))
        return std::nullopt;
    if (!ReadCoordinate(Columns(line, 33, 42), beacon.Y) ||
        !ReadCoordinate(Columns(line, 44, 53), beacon.X))
        return std::nullopt;
    beacon.Number = std::string(numberText);
    beacon.Name = std::string(engine::TrimBlanks(Columns(line, 11, 30)));
    return beacon;
}

std::optional<std::int32_t> ParseEmailLoLine(std::string_view line)
{
    const std::string upper = engine::UpperCase(line);
    const std::size_t lo = upper.find("LO.");
    if (lo == std::string::npos)
        return std::nullopt;
    const std::size_t slash = upper.find('/', lo + 3);
    if (slash == std::string::npos)
        return std::nullopt;
    std::int32_t value = 0;
    if (!ReadWholeNumber(engine::TrimBlanks(std::string_view(line).substr(slash + 1, 2)), value))
        return std::nullopt;
    return value;
}

std::optional<GTrigBeacon> ParseDelimitedBeaconLine(std::string_view line)
{
    line = engine::TrimBlanks(line);
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;)
    {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                            : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (fields.size() < 5 || fields[0].empty())
        return std::nullopt;
    double values[4] = {};
    for (int i = 0; i < 4; ++i)
        if (!ParseNumber(fields[static_cast<std::size_t>(i) + 1], values[i], '.'))
            return std::nullopt;
    GTrigBeacon beacon;
    beacon.Name = std::string(fields[0]);
    beacon.Selected = true;
    beacon.Clarke.Y = values[0];
    beacon.Clarke.X = values[1];
    beacon.WGS.Y = values[2];
    beacon.WGS.X = values[3];
    return beacon;
}

int AddBeaconsToControlFile(GTrigBeaconList& beacons, const std::string& beaconClass)
{
    // The control file is locked against other writers before it is read, so that a beacon
    // another workstation adds meanwhile is seen here and skipped, not added twice.
    GBorlandXYZRecordSet recordSet;
    OpenControlFile(recordSet, kControlFileTable, false, true);
    GTrigBeaconList present;
    present.OnProgress = beacons.OnProgress;
    present.ReadControlFile(dtCape, kControlFileTable);
    // Rows of the control file by name, for the duplicate test of each imported beacon.
    std::unordered_multimap<std::string, const GTrigBeacon*> byName;
    for (const auto& beacon : present)
        if (beacon)
            byName.emplace(beacon->Name, beacon.get());

    const GFieldList& fields = recordSet.Fields();
    GField& name = fields.FieldByName("Name", false);
    GField& clarkeLatitude = fields.FieldByName("Clarke Latitude", false);
    GField& clarkeLongitude = fields.FieldByName("Clarke Longitude", false);
    GField& wgsLatitude = fields.FieldByName("WGS Latitude", false);
    GField& wgsLongitude = fields.FieldByName("WGS Longitude", false);
    GField& source = fields.FieldByName("Source", false);

    int appended = 0;
    const int count = beacons.Count();
    for (int i = 0; i < count; ++i)
    {
        GTrigBeacon* beacon = beacons.GetItem(i);
        if (beacon)
        {
            const auto [first, last] = byName.equal_range(beacon->Name);
            for (auto it = first; it != last; ++it)
            {
                const GTrigBeacon& existing = *it->second;
                const double clarke = Distance(existing.Clarke.X, existing.Clarke.Y,
                                               beacon->Clarke.X, beacon->Clarke.Y);
                const double wgs =
                    Distance(existing.WGS.X, existing.WGS.Y, beacon->WGS.X, beacon->WGS.Y);
                if (clarke <= 0.000001 && wgs <= 0.000001)
                    beacon->Selected = false;
            }
            if (beacon->Selected)
            {
                recordSet.Append();
                name.SetValue(GVariant(beacon->Name));
                clarkeLatitude.SetValue(GVariant(beacon->Clarke.Y));
                clarkeLongitude.SetValue(GVariant(beacon->Clarke.X));
                wgsLatitude.SetValue(GVariant(beacon->WGS.Y));
                wgsLongitude.SetValue(GVariant(beacon->WGS.X));
                source.SetValue(GVariant(beaconClass));
                recordSet.Post();
                ++appended;
            }
        }
        if (beacons.OnProgress)
            beacons.OnProgress(i + 1, "Adding Information to Control File...", count);
    }
    recordSet.Flush();
    recordSet.Close();
    return appended;
}

void ApplyImportSelectionRules(GTrigBeaconList& beacons, double maxShift)
{
    for (int i = 0; i < beacons.Count(); ++i)
    {
        GTrigBeacon& beacon = beacons.Beacon(i);
        const bool noClarke = beacon.Clarke.X == 0.0 && beacon.Clarke.Y == 0.0;
        const bool noWGS = beacon.WGS.X == 0.0 && beacon.WGS.Y == 0.0;
        if (noClarke || noWGS ||
            Distance(beacon.Clarke.X, beacon.Clarke.Y, beacon.WGS.X, beacon.WGS.Y) > maxShift)
            beacon.Selected = false;
    }
}

std::string ImportReviewLine(const GTrigBeacon& beacon)
{
    return FormatLayout("%-20s %10.3f %12.3f %10.3f %12.3f %6.3f",
                        {beacon.Name.substr(0, 20), beacon.Clarke.Y, beacon.Clarke.X, beacon.WGS.Y,
                         beacon.WGS.X,
                         Distance(beacon.Clarke.X, beacon.Clarke.Y, beacon.WGS.X, beacon.WGS.Y)},
                        DecimalSeparator(), ' ');
}

// --- What the importers share ---

GBeaconImporter::GBeaconImporter()
{
    Beacons.OnProgress = [this](int position, const std::string& text, int total)
    { ProgressHandler(position, text, total); };
}

void GBeaconImporter::ProgressHandler(int position, const std::string& text, int total)
{
    if (OnProgress)
        OnProgress(position, text, total);
}

void GBeaconImporter::TakeLines(const std::vector<std::string>& lines, const std::string& caption,
                                const std::function<void(const std::string&)>& take)
{
    const int count = static_cast<int>(lines.size());
    for (int i = 0; i < count; ++i)
    {
        take(lines[static_cast<std::size_t>(i)]);
        ProgressHandler(i + 1, caption, count);
    }
}

int GBeaconImporter::AddToControlFile(const std::string& beaconClass)
{
    return AddBeaconsToControlFile(Beacons, beaconClass);
}

// --- Survey-office e-mail pair ---

GTrigBeaconImport::GTrigBeaconImport(std::string clarkeFileName, std::string wgsFileName)
    : ClarkeFileName(std::move(clarkeFileName)), WGSFileName(std::move(wgsFileName))
{
}

bool GTrigBeaconImport::ReadBeacons()
{
    Beacons.Clear();
    if (!FileExists(ClarkeFileName) || !FileExists(WGSFileName))
        return false;
    const std::vector<std::string> clarke = ReadTextFileLines(ClarkeFileName);
    return ReadBeaconLines(clarke, ReadTextFileLines(WGSFileName));
}

bool GTrigBeaconImport::ReadBeaconLines(const std::vector<std::string>& clarkeLines,
                                        const std::vector<std::string>& wgsLines)
{
    Beacons.Clear();
    // Both files: the last Lo line of either is the Lo of the pair.
    const auto read =
        [this](const std::vector<std::string>& lines, const std::string& caption, const auto& take)
    {
        TakeLines(lines, caption,
                  [&](const std::string& line)
                  {
                      if (const auto lo = ParseEmailLoLine(line))
                          LocalOrigin = *lo;
                      if (const auto parsed = ParseEmailBeaconLine(line))
                          take(*parsed);
                  });
    };
    read(clarkeLines, "Reading Clarke 1880 Beacons...",
         [this](const GEmailBeaconLine& parsed)
         {
             auto beacon = std::make_unique<GTrigBeacon>();
             beacon->Name = parsed.Name;
             beacon->Number = parsed.Number;
             beacon->Selected = false;
             beacon->Clarke.Y = parsed.Y;
             beacon->Clarke.X = parsed.X;
             Beacons.Add(std::move(beacon));
         });
    read(wgsLines, "Reading WGS'84 Beacons...",
         [this](const GEmailBeaconLine& parsed)
         {
             const int index = Beacons.IndexOfBeacon(parsed.Name, parsed.Number);
             if (index < 0)
                 return;
             GTrigBeacon& beacon = Beacons.Beacon(index);
             beacon.Selected = true;
             beacon.WGS.Y = parsed.Y;
             beacon.WGS.X = parsed.X;
         });
    return Beacons.Count() > 0;
}

void GTrigBeaconImport::RemoveUnmatched()
{
    const int count = Beacons.Count();
    for (int i = 0; i < count; ++i)
    {
        const GTrigBeacon* beacon = Beacons.GetItem(i);
        if (beacon && !beacon->Selected)
            Beacons.Extract(i);
        ProgressHandler(i + 1, "Removing Unmatched Control Coordinates...", count);
    }
    Beacons.Pack();
}

int GTrigBeaconImport::MatchedCount() const
{
    return Beacons.SelectedCount();
}

// --- Comma-delimited file ---

GDelimitedTrigBeaconImport::GDelimitedTrigBeaconImport(std::string fileName)
    : FileName(std::move(fileName))
{
}

bool GDelimitedTrigBeaconImport::ReadBeacons()
{
    Beacons.Clear();
    if (!FileExists(FileName))
        return false;
    return ReadBeaconLines(ReadTextFileLines(FileName));
}

bool GDelimitedTrigBeaconImport::ReadBeaconLines(const std::vector<std::string>& lines)
{
    Beacons.Clear();
    TakeLines(lines, "Reading Beacon Information...",
              [this](const std::string& line)
              {
                  if (auto parsed = ParseDelimitedBeaconLine(line))
                      Beacons.Add(std::make_unique<GTrigBeacon>(std::move(*parsed)));
              });
    return Beacons.Count() > 0;
}

// --- Two data sources ---

bool GDataSourceTrigBeaconImport::ReadBeacons()
{
    Beacons.Clear();
    if (!ClarkeRecordSet || !WGSRecordSet)
        return false;

    // Walks a record set, handing each record's identity text and the centre of its shape's
    // bounding rectangle to take; records without one are skipped.
    const auto walk = [this](GRecordSet& recordSet, const std::string& fieldName,
                             const std::string& caption, const auto& take)
    {
        GField& identity = recordSet.Fields().FieldByName(fieldName, false);
        const std::int32_t count = recordSet.RecordCount();
        recordSet.First();
        for (std::int32_t record = 0; record < count && !recordSet.Eof(); ++record)
        {
            if (const auto shape = recordSet.GetShape())
            {
                if (const auto extent = shape->GetExtent())
                {
                    double x = 0.0;
                    double y = 0.0;
                    extent->GetCentre(x, y);
                    take(identity.AsString(), x, y);
                }
            }
            recordSet.Next();
            ProgressHandler(record + 1, caption, count);
        }
        recordSet.First();
    };

    walk(*ClarkeRecordSet, ClarkeIdentityField, "Reading Clarke 1880 Beacons...",
         [this](const std::string& name, double x, double y)
         {
             auto beacon = std::make_unique<GTrigBeacon>();
             beacon->Name = name;
             beacon->Selected = false;
             beacon->Clarke.X = x;
             beacon->Clarke.Y = y;
             Beacons.Add(std::move(beacon));
         });
    walk(*WGSRecordSet, WGSIdentityField, "Reading WGS`84 Beacons...",
         [this](const std::string& name, double x, double y)
         {
             const int index = Beacons.IndexOfBeacon(name, std::string());
             if (index < 0)
                 return;
             GTrigBeacon& beacon = Beacons.Beacon(index);
             beacon.Selected = true;
             beacon.WGS.X = x;
             beacon.WGS.Y = y;
         });
    return true;
}

} // namespace quorvalis
