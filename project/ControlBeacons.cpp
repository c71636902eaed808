#include "project/ControlBeacons.h"

#include "database/BorlandDatabase.h"
#include "database/engine/Query.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "database/engine/Text.h"
#include "transformation/Transformation.h"

#include <exception>
#include <unordered_set>

namespace quorvalis
{

GCoordinate* GTrigBeacon::SourceCoordinate()
{
    if (Direction == dtCape)
        return &Clarke;
    if (Direction == dtHartebeesthoek)
        return &WGS;
    return nullptr;
}

const GCoordinate* GTrigBeacon::SourceCoordinate() const
{
    return const_cast<GTrigBeacon*>(this)->SourceCoordinate();
}

namespace
{

void OpenControlRecordSet(GBorlandRecordSet& recordSet, const std::string& tableName, bool readOnly,
                          bool lockForUpdate)
{
    recordSet.DatabaseName = kControlFileDatabase;
    recordSet.SetSQL({engine::TableStatement(engine::kDriverStandard, tableName)});
    recordSet.SetReadOnly(readOnly);
    std::string reason;
    try
    {
        if (lockForUpdate)
            recordSet.LockForUpdate();
        if (recordSet.Open() && recordSet.Active())
            return;
        reason = recordSet.OpenFailure();
    }
    catch (const std::exception& error)
    {
        reason = error.what();
    }
    // No beacons would be worse than no answer: a run would find none near the job, an import
    // would say it added none.
    throw GDatabaseException(std::string(kControlFileUnavailableMessage) +
                             (reason.empty() ? "" : "\r" + reason));
}

} // namespace

void OpenControlFile(GBorlandXYZRecordSet& recordSet, const std::string& tableName, bool readOnly,
                     bool lockForUpdate)
{
    recordSet.XFieldName = "Clarke Longitude";
    recordSet.YFieldName = "Clarke Latitude";
    OpenControlRecordSet(recordSet, tableName, readOnly, lockForUpdate);
}

void OpenControlTable(GBorlandRecordSet& recordSet, const std::string& tableName, bool readOnly)
{
    OpenControlRecordSet(recordSet, tableName, readOnly, false);
}

bool ControlNameMatches(const std::string& name, const std::string& text, bool matchCase,
                        bool wholeWord)
{
    const std::string a = matchCase ? name : engine::UpperCase(name);
    const std::string b = matchCase ? text : engine::UpperCase(text);
    return a == b || (!wholeWord && a.find(b) != std::string::npos);
}

int DeleteFromControlFile(const std::vector<std::string>& names, const std::string& tableName)
{
    const std::unordered_set<std::string> wanted(names.begin(), names.end());
    engine::Table table;
    table.SetDatabaseName(kControlFileDatabase);
    table.SetTableName(tableName);
    table.SetCachedUpdates(true);
    table.Open();
    const int name = table.FieldByName("Name");
    std::vector<int> rows;
    int row = 0;
    for (table.First(); !table.Eof(); table.Next(), ++row)
        if (wanted.count(table.GetText(name)) != 0)
            rows.push_back(row);
    // From the last row up, so that each position still names the row found.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    {
        table.First();
        table.MoveBy(*it);
        table.Delete();
    }
    try
    {
        table.ApplyUpdates();
        table.CommitUpdates();
    }
    catch (...)
    {
        table.CancelUpdates();
        throw;
    }
    table.FlushToStorage();
    table.Close();
    return static_cast<int>(rows.size());
}

void GTrigBeaconList::Progress(int position, const std::string& text, int total) const
{
    if (OnProgress)
        OnProgress(position, text, total);
}

void GTrigBeaconList::ReadControlFile(std::uint8_t direction, const std::string& tableName)
{
    Clear();
    GBorlandXYZRecordSet recordSet;
    OpenControlFile(recordSet, tableName, true);

    // The two positions are read straight from their columns: the same values the point of the
    // X/Y record set would carry (0 for a null column), without building two shapes per row.
    const GFieldList& fields = recordSet.Fields();
    GField& name = fields.FieldByName("Name", false);
    GField& source = fields.FieldByName("Source", false);
    GField& clarkeLongitude = fields.FieldByName("Clarke Longitude", false);
    GField& clarkeLatitude = fields.FieldByName("Clarke Latitude", false);
    GField& wgsLongitude = fields.FieldByName("WGS Longitude", false);
    GField& wgsLatitude = fields.FieldByName("WGS Latitude", false);
    const auto number = [](const GField& field)
    {
        const GVariant value = field.GetValue();
        return value.IsNull() ? 0.0 : value.AsDouble();
    };

    const int count = recordSet.RecordCount();
    Reserve(count);
    recordSet.First();
    int position = 0;
    while (!recordSet.Eof())
    {
        auto beacon = std::make_unique<GTrigBeacon>();
        beacon->Direction = direction;
        beacon->Name = name.AsString();
        beacon->Source = source.AsString();
        beacon->Clarke.X = number(clarkeLongitude);
        beacon->Clarke.Y = number(clarkeLatitude);
        beacon->WGS.X = number(wgsLongitude);
        beacon->WGS.Y = number(wgsLatitude);
        Add(std::move(beacon));
        recordSet.Next();
        Progress(++position, "Retrieving Control Coordinates...", count);
    }
    recordSet.Close();
}

void GTrigBeaconList::RemoveBySource(const std::string& source)
{
    const int count = Count();
    for (int i = 0; i < count; ++i)
    {
        const GTrigBeacon* beacon = GetItem(i);
        if (beacon)
        {
            const bool remove = source == "*"
                                    ? (beacon->Source != "TRIG" && beacon->Source != "TSM")
                                    : beacon->Source == source;
            if (remove)
                Extract(i); // freed here; the slot stays empty until Pack
        }
        Progress(i + 1, "Cleaning Control Coordinates...", count);
    }
    Pack();
}

int GTrigBeaconList::IndexOfBeacon(const std::string& name, const std::string& number) const
{
    int result = -1;
    for (int i = 0; i < Count(); ++i)
    {
        const GTrigBeacon* beacon = GetItem(i);
        if (!beacon || beacon->Name != name)
            continue;
        result = i;
        if (beacon->Number == number)
            break;
    }
    return result;
}

void GTrigBeaconList::ConvertToGeographic(double lo)
{
    GGeodeticToGeographicTransformation conversion;
    conversion.LoMeridian = lo;
    const int count = Count();
    for (int i = 0; i < count; ++i)
    {
        GTrigBeacon* beacon = GetItem(i);
        if (beacon)
        {
            for (auto [coordinate, world] :
                 {std::pair{&beacon->Clarke, wdClarke1880}, std::pair{&beacon->WGS, wdWGS84}})
            {
                GPoint point(coordinate->X, coordinate->Y, 0.0);
                conversion.World = world;
                conversion.Transform(point, tdForward);
                coordinate->X = point.X;
                coordinate->Y = point.Y;
            }
        }
        Progress(i + 1, "Geodetic to Geographic Transformation...", count);
    }
}

int GTrigBeaconList::SelectedCount() const
{
    int count = 0;
    for (const auto& beacon : *this)
        if (beacon && beacon->Selected)
            ++count;
    return count;
}

} // namespace quorvalis
