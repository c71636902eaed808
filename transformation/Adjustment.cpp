#include "transformation/Adjustment.h"

#include "geometry/Calculations.h"
#include "transformation/Transformation.h"

#include <cmath>

namespace quorvalis
{

bool GAdjustment::IsValid() const
{
    return true;
}
std::string GAdjustment::Name() const
{
    return "Basic Adjustment";
}
std::uint8_t GAdjustment::AdjustmentType() const
{
    return 0;
}
void GAdjustment::Adjust(GPoint&) {}

void GAdjustment::AdjustShape(GShape& shape)
{
    shape.ForEachPoint([this](GPoint& point) { Adjust(point); });
}

bool GDistanceWeightingAdjustment::IsValid() const
{
    return ControlPoints.Count() >= 1;
}
std::string GDistanceWeightingAdjustment::Name() const
{
    return "Distance Weighting Adjustment";
}
std::uint8_t GDistanceWeightingAdjustment::AdjustmentType() const
{
    return 1;
}

void GDistanceWeightingAdjustment::AddControl(std::unique_ptr<GPoint> point, double correctionX,
                                              double correctionY)
{
    if (point == nullptr)
        throw GTransformationException("A control needs a point");
    ControlPoints.Add(std::move(point));
    Corrections.Add(std::make_unique<GPoint>(correctionX, correctionY, 0.0));
}

int GDistanceWeightingAdjustment::ControlCount() const
{
    return ControlPoints.Count();
}

GPoint& GDistanceWeightingAdjustment::ControlPoint(int index)
{
    return *ControlPoints.GetItem(index);
}

double GDistanceWeightingAdjustment::CorrectionX(int index) const
{
    return Corrections.GetItem(index)->X;
}

double GDistanceWeightingAdjustment::CorrectionY(int index) const
{
    return Corrections.GetItem(index)->Y;
}

void GDistanceWeightingAdjustment::Adjust(GPoint& point)
{
    if (!IsValid())
        return;
    const int count = ControlPoints.Count();
    // One pass for the distances (and their maximum), one for the sums: the same values as taking
    // MaximumDistance first and the distances again, with half the square roots.
    distances_.resize(static_cast<std::size_t>(count));
    double dmax = 0;
    for (int j = 0; j < count; ++j)
    {
        const GPoint& control = *ControlPoints.GetItem(j);
        const double d = Distance(point.X, point.Y, control.X, control.Y);
        if (d == 0)
            return; // a point on a beacon keeps its position
        distances_[static_cast<std::size_t>(j)] = d;
        if (j == 0 || d > dmax)
            dmax = d;
    }
    // The weights are 64-bit reals; the sums stay in extended precision.
    long double sx = 0, sy = 0, sw = 0;
    for (int j = 0; j < count; ++j)
    {
        const GPoint& correction = *Corrections.GetItem(j);
        const double w = static_cast<double>(static_cast<long double>(dmax) /
                                             distances_[static_cast<std::size_t>(j)]);
        sx += correction.X * static_cast<long double>(w);
        sy += correction.Y * static_cast<long double>(w);
        sw += w;
    }
    const double x = static_cast<double>(point.X + sx / sw);
    const double y = static_cast<double>(point.Y + sy / sw);
    if ((!std::isfinite(x) || !std::isfinite(y)) && std::isfinite(point.X) &&
        std::isfinite(point.Y))
        throw GTransformationException("Floating-point error in " + Name());
    point.X = x;
    point.Y = y;
}

} // namespace quorvalis
