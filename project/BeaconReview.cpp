#include "project/BeaconReview.h"

#include "database/engine/Text.h"
#include "geometry/Calculations.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"
#include "project/BeaconImport.h"
#include "project/WinRegistry.h"
#include "transformation/Transformation.h"

#include <cmath>
#include <unordered_set>

namespace quorvalis
{

namespace
{

// Metres: the offset of the second point that gives the fit's rotation and scale, long enough
// that rounding of plane coordinates does not show in them.
constexpr double kProbe = 10000.0;

// The misclosure at the beacon left out (index k of the fit's pairs) of the fit of the others, and
// its expected size (GBeaconRow::Expected; 0 with fewer than kLeastOthersForSuspect others); false
// when the others make no valid fit.
bool LeaveOneOut(GHelmertTransformation& all, int k, double& misclosure, double& expected)
{
    GHelmertTransformation others;
    double centreX = 0.0;
    double centreY = 0.0;
    for (int j = 0; j < all.PairCount(); ++j)
        if (j != k)
        {
            const GPoint& source = all.SourcePoint(j);
            const GPoint& target = all.TargetPoint(j);
            others.AddPair(all.PairName(j), std::make_unique<GPoint>(source.X, source.Y, 0.0),
                           std::make_unique<GPoint>(target.X, target.Y, 0.0));
            centreX += source.X;
            centreY += source.Y;
        }
    if (!others.IsValid())
        return false;
    const GPoint& source = all.SourcePoint(k);
    GPoint fitted(source.X, source.Y, 0.0);
    others.Transform(fitted, tdForward);
    const GPoint& target = all.TargetPoint(k);
    misclosure = Distance(fitted.X, fitted.Y, target.X, target.Y);

    expected = 0.0;
    const auto m = static_cast<std::size_t>(others.PairCount());
    if (m < kLeastOthersForSuspect)
        return true;
    centreX /= static_cast<double>(m);
    centreY /= static_cast<double>(m);
    // The fit is a similarity: two transformed points give it whole, and each other's residual
    // then costs no call that compares every pair again (which made a refresh cubic in the
    // number of beacons).
    GPoint origin(centreX, centreY, 0.0);
    GPoint east(centreX + kProbe, centreY, 0.0);
    others.Transform(origin, tdForward);
    others.Transform(east, tdForward);
    const double a = (east.X - origin.X) / kProbe;
    const double b = (east.Y - origin.Y) / kProbe;
    double squares = 0.0;
    double spread = 0.0;
    for (int j = 0; j < others.PairCount(); ++j)
    {
        const GPoint& other = others.SourcePoint(j);
        const GPoint& otherTarget = others.TargetPoint(j);
        const double dx = other.X - centreX;
        const double dy = other.Y - centreY;
        const double x = otherTarget.X - (origin.X + dx * a - dy * b);
        const double y = otherTarget.Y - (origin.Y + dx * b + dy * a);
        squares += x * x + y * y;
        spread += dx * dx + dy * dy;
    }
    // Two coordinates per beacon, four parameters: 2m - 4 degrees of freedom, and a misclosure
    // has two coordinates.
    const double misfit = squares / static_cast<double>(m - 2);
    const double reach =
        1.0 + 1.0 / static_cast<double>(m) +
        (std::pow(source.X - centreX, 2) + std::pow(source.Y - centreY, 2)) / spread;
    expected = std::sqrt(misfit * reach);
    return true;
}

} // namespace

GBeaconReview::GBeaconReview(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                             const GRectangle* extent)
    : beacons_(&beacons), lo_(lo), helmert_(std::make_unique<GHelmertTransformation>())
{
    GGeographicToGeodeticTransformation cape;
    cape.World = wdClarke1880;
    cape.LoMeridian = lo;
    centre_.X = centre.X;
    centre_.Y = centre.Y;
    cape.Transform(centre_, tdForward);
    if (extent)
    {
        // The four corners, each projected: the extent's outline on the plane is no rectangle.
        const double xs[] = {extent->Left(), extent->Right(), extent->Right(), extent->Left()};
        const double ys[] = {extent->Top(), extent->Top(), extent->Bottom(), extent->Bottom()};
        for (int i = 0; i < 4; ++i)
        {
            GPoint corner(xs[i], ys[i], 0.0);
            cape.Transform(corner, tdForward);
            outline_.push_back({corner.X, corner.Y});
        }
    }
}

GBeaconReview::~GBeaconReview() = default;

void GBeaconReview::Refresh()
{
    // Always Clarke to WGS84 on the Cape plane, whatever the direction of the run.
    GGeographicToGeodeticTransformation cape;
    cape.World = wdClarke1880;
    cape.LoMeridian = lo_;
    GGeographicToGeodeticTransformation wgs;
    wgs.World = wdWGS84;
    wgs.LoMeridian = lo_;

    helmert_->Clear();
    available_.clear();
    selected_.clear();
    for (int i = 0; i < beacons_->Count(); ++i)
    {
        GTrigBeacon* beacon = beacons_->GetItem(i);
        if (!beacon)
            continue;
        GPoint clarke(beacon->Clarke.X, beacon->Clarke.Y, 0.0);
        cape.Transform(clarke, tdForward);
        GBeaconRow row;
        row.Beacon = beacon;
        row.Index = i;
        row.Name = beacon->Name;
        row.Distance = Distance(centre_.X, centre_.Y, clarke.X, clarke.Y);
        row.DistanceText = FormatPicture(row.Distance, "0.000");
        row.PlaneX = clarke.X;
        row.PlaneY = clarke.Y;
        if (beacon->Selected)
        {
            auto target = std::make_unique<GPoint>(beacon->WGS.X, beacon->WGS.Y, 0.0);
            wgs.Transform(*target, tdForward);
            helmert_->AddPair(beacon->Name, std::make_unique<GPoint>(clarke.X, clarke.Y, 0.0),
                              std::move(target));
            selected_.push_back(std::move(row));
        }
        else
            available_.push_back(std::move(row));
    }

    valid_ = helmert_->IsValid();
    double squares = 0.0;
    for (std::size_t k = 0; k < selected_.size(); ++k)
    {
        GBeaconRow& row = selected_[k];
        if (valid_)
        {
            const int pair = static_cast<int>(k);
            row.ResidualX = helmert_->ResidualX(pair);
            row.ResidualY = helmert_->ResidualY(pair);
            row.Misclosure =
                std::sqrt(row.ResidualX * row.ResidualX + row.ResidualY * row.ResidualY);
            squares += row.Misclosure * row.Misclosure;
            row.HasLeaveOneOut = LeaveOneOut(*helmert_, pair, row.LeaveOneOut, row.Expected);
            if (row.HasLeaveOneOut)
                row.LeaveOneOutText = FormatPicture(row.LeaveOneOut, "0.000");
            if (row.Expected > 0.0)
            {
                row.ExpectedText = FormatPicture(row.Expected, "0.000");
                row.Suspect = row.LeaveOneOut > kSuspectFactor * row.Expected;
            }
        }
        row.MisclosureText = FormatPicture(row.Misclosure, "0.000");
    }
    rms_ = valid_ ? std::sqrt(squares / static_cast<double>(selected_.size())) : 0.0;
    rmsText_ = valid_ ? FormatPicture(rms_, "0.000") : std::string("N/A");
    // A list that becomes empty keeps its last counter text; its grid is hidden anyway.
    if (!available_.empty())
        availableCounter_ = std::to_string(available_.size()) + " Beacons Available";
    if (!selected_.empty())
        selectedCounter_ = std::to_string(selected_.size()) + " Beacons Selected";

    scale_ = 0.0;
    swing_ = 0.0;
    if (valid_)
    {
        double scale = 0.0;
        double swing = 0.0;
        helmert_->ComputeParameters(scale, swing, tdForward);
        scale_ = scale;
        swing_ = ConvertUnit(utDecimalDegrees, utDDDMMSS, swing);
        scaleText_ = FormatLayout("%14.11f", {scale_}, DecimalSeparator(), ' ') + "  ";
        swingText_ =
            FormatLayout("%14.6f", {ReportArg::PackedAngle(swing_)}, DecimalSeparator(), ' ') +
            "  ";
    }
    else
    {
        scaleText_ = "N/A  ";
        swingText_ = "N/A  ";
    }
}

std::vector<const GBeaconRow*> GBeaconReview::Suspects() const
{
    std::vector<const GBeaconRow*> rows;
    for (const GBeaconRow& row : selected_)
        if (row.Suspect)
            rows.push_back(&row);
    return rows;
}

std::string LeaveOneOutDescription(const GBeaconRow& row)
{
    std::string text = row.Name + "\rMisclosure: " + row.MisclosureText + " m";
    if (!row.HasLeaveOneOut)
        return text + "\rMisclosure without this beacon: N/A";
    text += "\rMisclosure without this beacon: " + row.LeaveOneOutText + " m";
    if (row.Expected > 0.0)
        text += "\rExpected from the other beacons: " + row.ExpectedText + " m";
    if (row.Suspect)
        text += "\rSuspect: more than 3 times what the other beacons lead one to expect.";
    return text;
}

void GBeaconReview::Add(GTrigBeacon& beacon)
{
    beacon.Selected = true;
    Refresh();
}

void GBeaconReview::Remove(GTrigBeacon& beacon)
{
    beacon.Selected = false;
    Refresh();
}

void GBeaconReview::AddAll()
{
    for (const GBeaconRow& row : available_)
        row.Beacon->Selected = true;
    Refresh();
}

void GBeaconReview::RemoveAll()
{
    for (const GBeaconRow& row : selected_)
        row.Beacon->Selected = false;
    Refresh();
}

void SaveSelection(const std::string& fileName, const GTrigBeaconList& beacons)
{
    std::string text;
    for (const auto& beacon : beacons)
        if (beacon && beacon->Selected)
            text += beacon->Name + "\r\n";
    WriteFileAtomically(fileName, text);
}

void RecallSelection(const std::string& fileName, GTrigBeaconList& beacons)
{
    // Read completely before anything changes, so a failed read leaves the selection alone.
    std::unordered_set<std::string> names;
    for (const std::string& line : ReadTextFileLines(fileName))
        names.insert(engine::UpperCase(line));
    for (const auto& beacon : beacons)
        if (beacon)
            beacon->Selected = names.count(engine::UpperCase(beacon->Name)) != 0;
}

double ParseStrategyBuffer(const std::string& text)
{
    // Either separator, as a number edit takes it.
    double value = 0.0;
    if (!ParseNumberEitherSeparator(text, value) || !std::isfinite(value))
        return 25.0;
    return value;
}

std::int32_t ParseStrategyCount(const std::string& text)
{
    std::int32_t value = 0;
    if (!ParseStoredInteger(text, value))
        return 10;
    return value;
}

} // namespace quorvalis
