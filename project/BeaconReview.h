// What the beacon selection dialog shows: available and selected beacons with their distances from
// the job's centre, the misclosure of each selected beacon, and the scale and swing of the Helmert
// transformation they give; plus selection files and the strategy dialog's text conversions.
//
// The figures are always computed from Clarke to WGS84 on the Cape plane of the dialog's Lo,
// whatever the direction of the run. Numbers use the application's decimal separator
// (DecimalSeparator(), geometry/NumberFormat.h).
#pragma once

#include "geometry/Spatial.h"
#include "project/ControlBeacons.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvalis
{

class GHelmertTransformation;

/// One row of either grid.
struct GBeaconRow
{
    GTrigBeacon* Beacon = nullptr; ///< the row's object (owned by the list)
    int Index = -1;                ///< its index in the list
    std::string Name;
    double Distance = 0.0;    ///< metres on the Cape plane from the centre
    std::string DistanceText; ///< picture "0.000"
    /// Selected grid only: sqrt(misclosure X^2 + Y^2) in metres, 0 when the fit is not valid.
    double Misclosure = 0.0;
    std::string MisclosureText; ///< picture "0.000"
};

/// The refresh computations of the beacon selection dialog. The dialog holds one object for its
/// life, changes Selected flags (directly or with the helpers) and calls Refresh after each
/// change; rows come in list order (the dialog's grids sort them on their own).
class GBeaconReview
{
public:
    /// beacons: not owned, geographic positions. lo: the dialog's Lo (degrees). centre: the job's
    /// centre in geographic degrees, converted here to the Cape plane (world 0) in lo.
    GBeaconReview(GTrigBeaconList& beacons, double lo, const GPoint& centre);
    ~GBeaconReview();
    GBeaconReview(const GBeaconReview&) = delete;
    GBeaconReview& operator=(const GBeaconReview&) = delete;

    /// Rebuilds the Helmert transformation from the selected beacons and every figure below.
    void Refresh();

    const std::vector<GBeaconRow>& Available() const { return available_; }
    const std::vector<GBeaconRow>& Selected() const { return selected_; }
    /// A grid is shown only when it has a row; otherwise its label ("No Beacons in the Control
    /// File", "No Beacons Currently Selected") shows.
    bool AvailableVisible() const { return !available_.empty(); }
    bool SelectedVisible() const { return !selected_.empty(); }
    /// "<n> Beacons Available" / "<n> Beacons Selected"; "0 ..." at first, and keeping the last
    /// non-zero count when a list becomes empty.
    const std::string& AvailableCounter() const { return availableCounter_; }
    const std::string& SelectedCounter() const { return selectedCounter_; }
    /// At least two selected beacons (the transformation is valid): OK is enabled.
    bool Valid() const { return valid_; }
    /// Scale (dimensionless) and swing (ddd.mmss) of the forward fit; 0 when not valid.
    double Scale() const { return scale_; }
    double Swing() const { return swing_; }
    /// "%14.11f" of the scale and "%14.6f" of the swing, each followed by two spaces; "N/A  "
    /// when not valid.
    const std::string& ScaleText() const { return scaleText_; }
    const std::string& SwingText() const { return swingText_; }
    /// The centre on the Cape plane (metres).
    const GPoint& Centre() const { return centre_; }
    double LocalOrigin() const { return lo_; }
    GTrigBeaconList& Beacons() const { return *beacons_; }

    // Button helpers; each refreshes.
    void Add(GTrigBeacon& beacon);
    void Remove(GTrigBeacon& beacon);
    void AddAll();
    void RemoveAll();

private:
    GTrigBeaconList* beacons_;
    double lo_;
    GPoint centre_;
    std::unique_ptr<GHelmertTransformation> helmert_;
    std::vector<GBeaconRow> available_;
    std::vector<GBeaconRow> selected_;
    std::string availableCounter_ = "0 Beacons Available";
    std::string selectedCounter_ = "0 Beacons Selected";
    bool valid_ = false;
    double scale_ = 0.0;
    double swing_ = 0.0;
    std::string scaleText_ = "N/A  ";
    std::string swingText_ = "N/A  ";
};

/// Error boxes of the Add and Remove buttons without a current row.
inline constexpr char kAddBeaconWithoutRowMessage[] =
    "You must select the trig beacon from the list\rof available trig beacons before trying to "
    "add\rthe trig beacon to the transformation process.";
inline constexpr char kRemoveBeaconWithoutRowMessage[] =
    "You must select the trig beacon from the list\rof selected trig beacons before trying to "
    "remove\rthe trig beacon from the transformation process.";

/// Writes the Name of every selected beacon, in list order, one per line (CR LF), replacing the
/// file completely or not at all. Raises GFileException.
void SaveSelection(const std::string& fileName, const GTrigBeaconList& beacons);
/// Sets each beacon's Selected to whether its Name equals a line of the file, ignoring letter
/// case. Raises GFileException (selection unchanged) when the file cannot be read.
void RecallSelection(const std::string& fileName, GTrigBeaconList& beacons);

/// The strategy dialog's edits: the buffer text as a number (25.0 when it is not one) and the
/// count text as a whole number (10 when it is not one). The application's decimal separator.
double ParseStrategyBuffer(const std::string& text);
std::int32_t ParseStrategyCount(const std::string& text);

} // namespace quorvalis
