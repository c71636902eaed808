// Control beacons: survey marks known on both datums, the list that holds them, and the reading,
// thinning, matching and converting of that list. The control file is the table "control.db" of
// the database alias QUORVALIS.
#pragma once

#include "geometry/Containers.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvalis
{

/// Datum codes; they double as the ellipsoid ("world") of the geographic/Lo conversions.
enum GDatum : std::uint8_t
{
    dtCape = 0,           ///< Cape datum, Clarke 1880 ellipsoid
    dtHartebeesthoek = 1, ///< Hartebeesthoek94 datum, WGS84 ellipsoid
};

/// Name of the control file table and of the alias that holds it.
inline constexpr char kControlFileTable[] = "control.db";
inline constexpr char kControlFileDatabase[] = "QUORVALIS";

class GBorlandRecordSet;
class GBorlandXYZRecordSet;

/// The words an unopenable control file is refused with (the store's reason follows).
inline constexpr char kControlFileUnavailableMessage[] = "Unable to open the control file.";

/// Opens the table of the control file database as an X/Y record set on the Clarke longitude and
/// latitude, read-only or for writing (with lockForUpdate: in a transaction that keeps other
/// writers out until the record set's Flush). Raises GDatabaseException "Unable to open the
/// control file." followed by the store's reason when it cannot be opened.
void OpenControlFile(GBorlandXYZRecordSet& recordSet, const std::string& tableName, bool readOnly,
                     bool lockForUpdate = false);

/// Opens the table of the control file database as a plain record set (every column a field),
/// read-only or for writing; raises as OpenControlFile.
void OpenControlTable(GBorlandRecordSet& recordSet, const std::string& tableName, bool readOnly);

/// Whether a control file name matches the search text: equal, or (without wholeWord)
/// containing it; both upper-cased first unless matchCase.
bool ControlNameMatches(const std::string& name, const std::string& text, bool matchCase,
                        bool wholeWord);

/// Removes from the table of the control file database every row whose "Name" equals one of
/// names exactly (letter case counts), in one batch: when the store refuses it, no row is removed.
/// Returns the number of rows removed. Raises the engine's error when the table cannot be opened
/// for writing.
int DeleteFromControlFile(const std::vector<std::string>& names,
                          const std::string& tableName = kControlFileTable);

/// Progress of a long operation: 1-based position, caption, total. Raised after every item.
using GProgressEvent = std::function<void(int position, const std::string& text, int total)>;

/// One position in one datum. Geographic: Y = latitude and X = longitude in decimal degrees
/// (latitude positive south, longitude east). Plane: Y = Lo y (westing) and X = Lo x (southing)
/// in metres. Handed to the geometry layer as GPoint(X, Y, 0).
class GCoordinate
{
public:
    double Y = 0.0;
    double X = 0.0;
};

/// A control beacon with its Cape (Clarke) and Hartebeesthoek94 (WGS) positions. In the control
/// file and in lists read from it both positions are geographic; positions read by an importer
/// are Lo plane coordinates until the import converts them.
class GTrigBeacon
{
public:
    virtual ~GTrigBeacon() = default;

    std::string Name;                ///< the matching key everywhere (case-sensitive)
    std::string Number;              ///< number from survey-office e-mail files; empty otherwise
    GCoordinate Clarke;              ///< position on the Cape datum
    GCoordinate WGS;                 ///< position on Hartebeesthoek94
    bool Selected = false;           ///< chosen for the run; during an import: to be written
    std::string Source;              ///< "TRIG", "TSM" or any other text
    std::uint8_t Direction = dtCape; ///< 0: Clarke is the run's source position; 1: WGS is

    /// Clarke when Direction is 0, WGS when 1, nullptr for any other value.
    GCoordinate* SourceCoordinate();
    const GCoordinate* SourceCoordinate() const;
};

/// Owning list of control beacons.
class GTrigBeaconList : public GContainer<GTrigBeacon>
{
public:
    /// Raised after every item of the long operations below; nothing when empty.
    GProgressEvent OnProgress;

    /// Replaces the contents with every row of the table of the control file database, in the
    /// order of the query result, each beacon with the given Direction. A table that cannot be
    /// opened raises (see OpenControlFile) and leaves the list empty. Progress "Retrieving
    /// Control Coordinates...".
    void ReadControlFile(std::uint8_t direction, const std::string& tableName = kControlFileTable);

    /// Removes and frees the beacons whose Source equals source exactly; with source "*" those
    /// whose Source is neither "TRIG" nor "TSM". Progress "Cleaning Control Coordinates...".
    void RemoveBySource(const std::string& source);

    /// The first beacon matching both name and number, otherwise the last matching the name
    /// only, otherwise -1 (both compared case-sensitively).
    int IndexOfBeacon(const std::string& name, const std::string& number) const;

    /// Converts both positions of every beacon from Lo plane coordinates (central meridian lo,
    /// degrees) to geographic degrees: Clarke on Clarke 1880, WGS on WGS84. Progress
    /// "Geodetic to Geographic Transformation...".
    void ConvertToGeographic(double lo);

    /// Number of beacons with Selected set.
    int SelectedCount() const;

    /// The typed item (GContainer's access, range checked).
    GTrigBeacon& Beacon(int index) const { return *GetItem(index); }

protected:
    void Progress(int position, const std::string& text, int total) const;
};

} // namespace quorvalis
