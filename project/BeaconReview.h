// What the beacon selection dialog shows: available and selected beacons with their distances from
// the job's centre, the misclosure of each selected beacon, and the scale and swing of the Helmert
// transformation they give; plus selection files and the strategy dialog's text conversions.
//
// Beside those, what tells a blunder from a fair misfit: the RMS of the misclosures, and for each
// selected beacon its leave-one-out misclosure (the misclosure at the beacon of the fit made
// without it), which a blunder cannot hide by pulling the fit towards itself. A beacon whose
// leave-one-out misclosure exceeds kSuspectFactor times what the others lead one to expect there
// is a suspect: their RMS misclosure (taken over the degrees of freedom of their fit), grown by
// the uncertainty of that fit at the beacon, which is larger the farther the beacon lies from
// them. A smooth distortion of the datum, which grows a beacon's misclosure where the fit must
// reach out to it, is so told from a blunder. The windows and the command line's dry run show
// the same figures.
//
// The figures are always computed from Clarke to WGS84 on the Cape plane of the dialog's Lo,
// whatever the direction of the run. Numbers use the application's decimal separator
// (DecimalSeparator(), geometry/NumberFormat.h).
#pragma once

#include "geometry/Spatial.h"
#include "project/ControlBeacons.h"

#include <cstddef>
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

    /// The Clarke position on the Cape plane of the dialog's Lo (X southing, Y westing, metres).
    double PlaneX = 0.0;
    double PlaneY = 0.0;
    /// Selected grid only, when the fit is valid: the misclosure's components (target minus the
    /// fitted position, metres, +X south, +Y west); 0 otherwise.
    double ResidualX = 0.0;
    double ResidualY = 0.0;

    /// Selected grid only: whether the other selected beacons make a valid fit (the fit of all is
    /// valid and at least two others stand at distinct positions).
    bool HasLeaveOneOut = false;
    /// The misclosure at this beacon of the fit made without it, metres (>= 0).
    double LeaveOneOut = 0.0;
    /// The size that misclosure has when the beacon fits as well as the others, metres:
    /// sqrt(S / (m - 2) * (1 + 1 / m + d^2 / Q)) with S the sum of the m other beacons' squared
    /// misclosures in the fit without it, d the beacon's distance from their centroid and Q the
    /// sum of their squared distances from it (Cape plane positions). 0 with fewer than
    /// kLeastOthersForSuspect others (two others fit exactly and say nothing of their misfit).
    double Expected = 0.0;
    /// LeaveOneOut and Expected with the picture "0.000"; "N/A" when they are not known.
    std::string LeaveOneOutText = "N/A";
    std::string ExpectedText = "N/A";
    /// LeaveOneOut > kSuspectFactor * Expected, with at least kLeastOthersForSuspect others.
    bool Suspect = false;
};

/// A beacon is suspect when its leave-one-out misclosure exceeds this many times its expected
/// size.
inline constexpr double kSuspectFactor = 3.0;
/// Fewest other selected beacons for a suspect.
inline constexpr std::size_t kLeastOthersForSuspect = 3;

/// A point of the plane (metres) without the weight of a shape.
struct GPlanePoint
{
    double X = 0.0;
    double Y = 0.0;
};

/// The refresh computations of the beacon selection dialog. The dialog holds one object for its
/// life, changes Selected flags (directly or with the helpers) and calls Refresh after each
/// change; rows come in list order (the dialog's grids sort them on their own).
class GBeaconReview
{
public:
    /// beacons: not owned, geographic positions. lo: the dialog's Lo (degrees). centre: the job's
    /// centre in geographic degrees, converted here to the Cape plane (world 0) in lo. extent: the
    /// job's extent in geographic degrees on the Cape datum (for the plot), or nullptr.
    GBeaconReview(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                  const GRectangle* extent = nullptr);
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
    /// RMS of the selected beacons' misclosures: sqrt(sum of squared misclosures / count), metres;
    /// 0 when not valid.
    double Rms() const { return rms_; }
    /// The RMS with the picture "0.000"; "N/A" when not valid.
    const std::string& RmsText() const { return rmsText_; }
    /// The selected rows whose beacon is a suspect, in list order.
    std::vector<const GBeaconRow*> Suspects() const;
    /// The centre on the Cape plane (metres).
    const GPoint& Centre() const { return centre_; }
    /// The corners of the job's extent on the Cape plane (metres), in order round the extent;
    /// empty without an extent.
    const std::vector<GPlanePoint>& ExtentOutline() const { return outline_; }
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
    double rms_ = 0.0;
    std::string rmsText_ = "N/A";
    std::vector<GPlanePoint> outline_;
};

/// The tooltip of a selected beacon: its misclosure, its leave-one-out misclosure with the size
/// expected, and whether it is a suspect (lines separated by "\r").
std::string LeaveOneOutDescription(const GBeaconRow& row);

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

/// The strategy dialog's edits: the buffer text as a number (25.0 when it is not one; "." or ","
/// as the decimal separator) and the count text as a whole number (10 when it is not one).
double ParseStrategyBuffer(const std::string& text);
std::int32_t ParseStrategyCount(const std::string& text);

} // namespace quorvalis
