// The Lo series written out term by term (powl, sinl, tanl, every quantity formed where the
// formulas form it) as the reference for the library's faster evaluation, plus the distance
// weighting taken step by step.
#pragma once

#include "geometry/Spatial.h"

namespace quorvalis::literal
{

struct Axes
{
    double a, b;
};
inline constexpr Axes kClarke1880{6378249.145326, 6356514.966721};
inline constexpr Axes kWGS84{6378137.0, 6356752.314};

void Project(Axes axes, double meridian, double longitude, double latitude, double& x, double& y);
void Unproject(Axes axes, double meridian, double x, double y, double& longitude, double& latitude);
/// Distance weighting by the book: MaximumDistance first, then the weights.
void Weighting(GPoint& point, const GPointList& controls, const GPointList& corrections);

} // namespace quorvalis::literal
