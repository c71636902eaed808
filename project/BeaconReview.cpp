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

GBeaconReview::GBeaconReview(GTrigBeaconList& beacons, double lo, const GPoint& centre)
    : beacons_(&beacons), lo_(lo), helmert_(std::make_unique<GHelmertTransformation>())
{
    GGeographicToGeodeticTransformation cape;
    cape.World = wdClarke1880;
    cape.LoMeridian = lo;
    centre_.X = centre.X;
    centre_.Y = centre.Y;
    cape.Transform(centre_, tdForward);
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
    for (std::size_t k = 0; k < selected_.size(); ++k)
    {
        GBeaconRow& row = selected_[k];
        row.Misclosure = 0.0;
        if (valid_)
        {
            const double x = helmert_->ResidualX(static_cast<int>(k));
            const double y = helmert_->ResidualY(static_cast<int>(k));
            row.Misclosure = std::sqrt(x * x + y * y);
        }
        row.MisclosureText = FormatPicture(row.Misclosure, "0.000");
    }
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
    double value = 0.0;
    if (!ParseNumber(text, value) || !std::isfinite(value))
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
