#include "LiteralSeries.h"

#include "geometry/Calculations.h"

#include <cmath>

namespace quorvalis::literal
{
namespace
{
using R = long double;

struct Series
{
    R a, n, A0, A2, A4, A6, A8, A10;
    double c, ep2;
};

Series Make(Axes axes)
{
    Series s{};
    const R a = axes.a, b = axes.b;
    s.a = a;
    const double n = static_cast<double>((a - b) / (a + b));
    s.n = n;
    s.c = static_cast<double>(a * a / b);
    s.ep2 = static_cast<double>((a * a - b * b) / (b * b));
    s.A0 = 1 + 2.25L * powl(n, 2) + 3.515625L * powl(n, 4) + 4.78515625L * powl(n, 6) +
           6.05621337890625L * powl(n, 8);
    s.A2 = 1.5L * n + 2.8125L * powl(n, 3) + 4.1015625L * powl(n, 5) + 5.38330078125L * powl(n, 7) +
           6.661834716796875L * powl(n, 9);
    s.A4 = 0.5L * (1.875L * powl(n, 2) + 3.28125L * powl(n, 4) + 4.6142578125L * powl(n, 6) +
                   5.914306640625L * powl(n, 8));
    s.A6 = (2.1875L * powl(n, 3) + 3.69140625L * powl(n, 5) + 5.07568359375L * powl(n, 7)) / 3;
    s.A8 = (2.4609375L * powl(n, 4) + 4.060546875L * powl(n, 6)) / 4;
    s.A10 = 2.70703125L * powl(n, 5) / 5;
    return s;
}

// The constants depend on the axes alone; forming them once per ellipsoid keeps the million-point
// comparison quick without changing a bit.
Series Of(Axes axes)
{
    static const Series clarke = Make(kClarke1880), wgs = Make(kWGS84);
    if (axes.a == kClarke1880.a && axes.b == kClarke1880.b)
        return clarke;
    if (axes.a == kWGS84.a && axes.b == kWGS84.b)
        return wgs;
    return Make(axes);
}
} // namespace

void Project(Axes axes, double meridian, double longitude, double latitude, double& x, double& y)
{
    const Series e = Of(axes);
    const R n = e.n;
    const R phi = latitude * kPi / 180;
    const R lambda = longitude * kPi / 180;
    const R l = meridian * kPi / 180 - lambda;
    const double eta2 = static_cast<double>(e.ep2 * powl(cosl(phi), 2));
    const double V = static_cast<double>(sqrtl(1 + static_cast<R>(eta2)));
    const R N = static_cast<double>(static_cast<R>(e.c) / V);
    const R t = tanl(phi);
    const R h2 = eta2;
    const R M = e.a * powl(1 - n, 2) * (1 + n) *
                (e.A0 * phi - e.A2 * sinl(2 * phi) + e.A4 * sinl(4 * phi) - e.A6 * sinl(6 * phi) +
                 e.A8 * sinl(8 * phi) - e.A10 * sinl(10 * phi));
    x = static_cast<double>(M + powl(l, 2) * N * sinl(phi) * cosl(phi) / 2 +
                            powl(l, 4) * N * sinl(phi) * powl(cosl(phi), 3) * (1.0L / 24) *
                                (5 - powl(t, 2) + 9 * h2 + 4 * powl(h2, 2)) +
                            powl(l, 6) * N * sinl(phi) * powl(cosl(phi), 5) * (1.0L / 720) *
                                (61 - 58 * powl(t, 2) + powl(t, 4) + 270 * h2 -
                                 330 * powl(t, 2) * h2 + 445 * powl(h2, 2)));
    y = static_cast<double>(
        l * N * cosl(phi) +
        powl(l, 3) * N * powl(cosl(phi), 3) * (1.0L / 6) * (1 - powl(t, 2) + h2) +
        powl(l, 5) * N * powl(cosl(phi), 5) * (1.0L / 120) *
            (5 - 18 * powl(t, 2) + powl(t, 4) + 14 * h2 - 58 * powl(t, 2) * h2 + 13 * powl(h2, 2)));
}

void Unproject(Axes axes, double meridian, double x, double y, double& longitude, double& latitude)
{
    const Series e = Of(axes);
    const R n = e.n;
    const R mu = x / (e.a * powl(1 - n, 2) * (1 + n) * e.A0);
    const double phi1 = static_cast<double>(
        mu + (1.5L * n - 0.84375L * powl(n, 3) + 0.26171875L * powl(n, 5)) * sinl(2 * mu) +
        (1.3125L * powl(n, 2) - 1.71875L * powl(n, 4)) * sinl(4 * mu) +
        (151.0L / 96.0L * powl(n, 3) + 3.2578125L * powl(n, 5)) * sinl(6 * mu) +
        2.142578125L * powl(n, 4) * sinl(8 * mu) + 8011.0L / 2560.0L * powl(n, 5) * sinl(10 * mu));
    const double eta2 = static_cast<double>(e.ep2 * powl(cosl(phi1), 2));
    const double V1 = static_cast<double>(sqrtl(1 + static_cast<R>(eta2)));
    const R N1 = static_cast<double>(static_cast<R>(e.c) / V1);
    const R M1 = static_cast<double>(e.c / powl(V1, 3));
    const R t = tanl(phi1);
    const R h2 = eta2;
    const R Y = y;
    const R phi = phi1 - powl(Y, 2) * t / (2 * M1 * N1) +
                  powl(Y, 4) * t / (24 * M1 * powl(N1, 3)) *
                      (5 + 3 * powl(t, 2) + h2 - 9 * powl(t, 2) * h2 - 4 * powl(h2, 2)) -
                  powl(Y, 6) * t / (720 * M1 * powl(N1, 5)) *
                      (61 + 90 * powl(t, 2) + 45 * powl(t, 4) + 46 * h2 - 252 * powl(t, 2) * h2 -
                       3 * powl(h2, 2));
    const R lambda = meridian * kPi / 180 - Y / (N1 * cosl(phi1)) +
                     powl(Y, 3) * (1 + 2 * powl(t, 2) + h2) / (6 * powl(N1, 3) * cosl(phi1)) -
                     powl(Y, 5) *
                         (5 + 28 * powl(t, 2) + 24 * powl(t, 4) + 6 * h2 + 8 * powl(t, 2) * h2 -
                          3 * powl(h2, 2)) /
                         (120 * powl(N1, 5) * cosl(phi1));
    longitude = static_cast<double>(lambda * 180 / kPi);
    latitude = static_cast<double>(phi * 180 / kPi);
}

void Weighting(GPoint& point, const GPointList& controls, const GPointList& corrections)
{
    if (controls.Count() < 1)
        return;
    const double dmax = controls.MaximumDistance(point);
    for (const auto& control : controls)
        if (Distance(point.X, point.Y, control->X, control->Y) == 0)
            return;
    R sx = 0, sy = 0, sw = 0;
    for (int j = 0; j < controls.Count(); ++j)
    {
        const GPoint& control = *controls.GetItem(j);
        const double w = static_cast<double>(static_cast<R>(dmax) /
                                             Distance(point.X, point.Y, control.X, control.Y));
        sx += static_cast<R>(corrections.GetItem(j)->X) * w;
        sy += static_cast<R>(corrections.GetItem(j)->Y) * w;
        sw += w;
    }
    point.X = static_cast<double>(point.X + sx / sw);
    point.Y = static_cast<double>(point.Y + sy / sw);
}

} // namespace quorvalis::literal
