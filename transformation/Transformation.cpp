#include "transformation/Transformation.h"

#include "geometry/Calculations.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>

namespace quorvalis
{

namespace
{

using Real = long double;
// The series and the fit are accurate to a few ulp of double only with a 64-bit significand.
static_assert(std::numeric_limits<Real>::digits >= 64, "Real must be an extended format");

// 2*pi and 180/pi as the extended values the fit is defined with.
constexpr Real kTwoPi = 6.28318530717958647703L;
constexpr Real kDegreesPerRadian = 57.2957795130823208767L;

bool Finite(double v)
{
    return std::isfinite(v);
}

// A fault is a non-finite value made from finite ones; a NaN already in the data only travels.
void CheckFault(const GTransformation& t, double before, double after)
{
    if (!Finite(after) && Finite(before))
        throw GTransformationException("Floating-point error in " + t.Name());
}

// Stores new coordinates once every one of them has passed CheckFault, so a fault leaves the
// point whole.
void StoreChecked(const GTransformation& t, GPoint& point, double x, double y)
{
    CheckFault(t, point.X, x);
    CheckFault(t, point.Y, y);
    point.X = x;
    point.Y = y;
}

void StoreChecked(const GTransformation& t, GPoint& point, double x, double y, double z)
{
    CheckFault(t, point.Z, z);
    StoreChecked(t, point, x, y);
    point.Z = z;
}

// ---- Lo projection ----------------------------------------------------------------------------

// Everything the series need from one ellipsoid, formed once with the textbook's own expressions
// and power function, so caching changes no bit; only 1/(k A0) is new, replacing a division per
// inverse projection by a multiplication (an ulp of long double at most).
struct Ellipsoid
{
    double n, c, ep2; // third flattening, polar radius of curvature, second eccentricity^2
    Real k;           // a(1-n)^2(1+n)
    Real inverseKA0;  // 1 / (k A0): rectifying latitude per metre of meridian distance
    Real a0;          // meridian distance coefficients: M = k[A0 phi - A2 sin 2phi + ...]
    Real m[5];        // -A2, A4, -A6, A8, -A10 (signs folded in for the Clenshaw sum)
    Real f[5];        // footpoint coefficients of sin 2mu .. sin 10mu
};

Ellipsoid MakeEllipsoid(double semiMajor, double semiMinor)
{
    const Real a = semiMajor;
    const Real b = semiMinor;
    Ellipsoid e{};
    e.n = static_cast<double>((a - b) / (a + b));
    e.c = static_cast<double>(a * a / b);
    e.ep2 = static_cast<double>((a * a - b * b) / (b * b));
    const Real n = e.n;
    e.k = a * powl(1 - n, 2) * (1 + n);
    e.a0 = 1 + 2.25L * powl(n, 2) + 3.515625L * powl(n, 4) + 4.78515625L * powl(n, 6) +
           6.05621337890625L * powl(n, 8);
    const Real a2 = 1.5L * n + 2.8125L * powl(n, 3) + 4.1015625L * powl(n, 5) +
                    5.38330078125L * powl(n, 7) + 6.661834716796875L * powl(n, 9);
    const Real a4 = 0.5L * (1.875L * powl(n, 2) + 3.28125L * powl(n, 4) +
                            4.6142578125L * powl(n, 6) + 5.914306640625L * powl(n, 8));
    const Real a6 =
        (2.1875L * powl(n, 3) + 3.69140625L * powl(n, 5) + 5.07568359375L * powl(n, 7)) / 3;
    const Real a8 = (2.4609375L * powl(n, 4) + 4.060546875L * powl(n, 6)) / 4;
    const Real a10 = 2.70703125L * powl(n, 5) / 5;
    e.m[0] = -a2;
    e.m[1] = a4;
    e.m[2] = -a6;
    e.m[3] = a8;
    e.m[4] = -a10;
    e.inverseKA0 = 1 / (e.k * e.a0);
    e.f[0] = 1.5L * n - 0.84375L * powl(n, 3) + 0.26171875L * powl(n, 5);
    e.f[1] = 1.3125L * powl(n, 2) - 1.71875L * powl(n, 4);
    e.f[2] = 151.0L / 96.0L * powl(n, 3) + 3.2578125L * powl(n, 5);
    e.f[3] = 2.142578125L * powl(n, 4);
    e.f[4] = 8011.0L / 2560.0L * powl(n, 5);
    return e;
}

const Ellipsoid& EllipsoidOf(GWorld world)
{
    static const Ellipsoid ellipsoids[2] = {MakeEllipsoid(6378249.145326, 6356514.966721),
                                            MakeEllipsoid(6378137.0, 6356752.314)};
    if (world != wdClarke1880 && world != wdWGS84)
        throw GTransformationException("World not supported in this transformation");
    return ellipsoids[world];
}

// pi/2 split in two so that pi/2 - x keeps its full precision near pi/2.
constexpr Real kHalfPiHigh = 0xc.90fdaa22168c235p-3L; // kPi / 2
constexpr Real kHalfPiLow = -0xe.ce675d1fc9p-69L;     // pi/2 - kHalfPiHigh

// sin and cos of |x| <= pi/4 by their Taylor series to x^21 and x^20 (truncation below 2^-70),
// summed by Estrin's scheme to keep the dependency chain short.
inline void SinCosKernel(Real x, Real& s, Real& c)
{
    const Real z = x * x, z2 = z * z, z4 = z2 * z2;
    constexpr Real c1 = -1.0L / 2, c2 = 1.0L / 24, c3 = -1.0L / 720, c4 = 1.0L / 40320,
                   c5 = -1.0L / 3628800, c6 = 1.0L / 479001600, c7 = -1.0L / 87178291200,
                   c8 = 1.0L / 20922789888000, c9 = -1.0L / 6402373705728000,
                   c10 = 1.0L / 2432902008176640000;
    constexpr Real s1 = -1.0L / 6, s2 = 1.0L / 120, s3 = -1.0L / 5040, s4 = 1.0L / 362880,
                   s5 = -1.0L / 39916800, s6 = 1.0L / 6227020800, s7 = -1.0L / 1307674368000,
                   s8 = 1.0L / 355687428096000, s9 = -1.0L / 121645100408832000,
                   s10 = 1.0L / 51090942171709440000.0L;
    const Real ca = (1 + c1 * z) + z2 * (c2 + c3 * z);
    const Real cb = (c4 + c5 * z) + z2 * (c6 + c7 * z);
    const Real cc = (c8 + c9 * z) + z2 * c10;
    const Real sa = (1 + s1 * z) + z2 * (s2 + s3 * z);
    const Real sb = (s4 + s5 * z) + z2 * (s6 + s7 * z);
    const Real sc = (s8 + s9 * z) + z2 * s10;
    c = ca + z4 * (cb + z4 * cc);
    s = x * (sa + z4 * (sb + z4 * sc));
}

// sin and cos of x together, within 2^-63 of the library's sinl/cosl for |x| <= 3pi/4 (every
// latitude, and every meridional distance on Earth). Here it takes about 45 ns against 55-65 ns
// for the x87 fsincos instruction and 117 ns for sincosl, and it is plain C++. Anything larger or
// not finite takes the library path.
inline void SinCos(Real x, Real& s, Real& c)
{
    constexpr Real quarter = 0.785398163397448309616L, threeQuarters = 2.35619449019234492885L;
    if (fabsl(x) <= quarter)
        SinCosKernel(x, s, c);
    else if (x > 0 && x <= threeQuarters)
        SinCosKernel((kHalfPiHigh - x) + kHalfPiLow, c, s); // sin x = cos(pi/2 - x)
    else if (x < 0 && x >= -threeQuarters)
    {
        Real sy, cy;
        SinCosKernel((-kHalfPiHigh - x) - kHalfPiLow, sy, cy); // x = -pi/2 - y
        s = -cy;
        c = -sy;
    }
    else
    {
        s = sinl(x);
        c = cosl(x);
    }
}

// Sum of coef[k-1] sin(2k x), k = 1..5, by Clenshaw's recurrence from sin 2x and cos 2x.
inline Real SineSeries(const Real (&coef)[5], Real sin2x, Real cos2x)
{
    const Real t = 2 * cos2x;
    const Real b5 = coef[4];
    const Real b4 = coef[3] + t * b5;
    const Real b3 = coef[2] + t * b4 - b5;
    const Real b2 = coef[1] + t * b3 - b4;
    const Real b1 = coef[0] + t * b2 - b3;
    return b1 * sin2x;
}

// Degrees and radians by one multiplication with the extended ratio rather than a multiplication
// and a division: the same value to within an ulp of long double, and a division less on the
// critical path of every projection.
constexpr Real kRadiansPerDegree = 0.0174532925199432957692L;
Real Radians(double degrees)
{
    return degrees * kRadiansPerDegree;
}
double Degrees(Real radians)
{
    return static_cast<double>(radians * kDegreesPerRadian);
}

// The longitude difference cancels two nearly equal angles, so it is formed exactly as the
// textbook forms them (times pi, over 180): an ulp of either would be a large part of a small l.
Real LongitudeDifference(double meridian, double longitude)
{
    return meridian * kPi / 180 - longitude * kPi / 180;
}

void ProjectLo(const Ellipsoid& e, double meridian, double longitude, double latitude, double& x,
               double& y)
{
    const Real phi = Radians(latitude);
    const Real l = LongitudeDifference(meridian, longitude);
    Real s, cs;
    SinCos(phi, s, cs);
    const Real c2 = cs * cs;
    const double eta2 = static_cast<double>(e.ep2 * c2);
    // Everything below up to nu depends only on phi, l and eta2; the radius of curvature nu comes
    // last, so each coordinate waits for one multiplication after it.
    const Real t = s / cs;
    const Real t2 = t * t;
    const Real t4 = t2 * t2;
    const Real h2 = eta2;
    const Real h4 = h2 * h2;
    const Real l2c2 = l * l * c2;
    const Real x4 = (5 - t2 + 9 * h2 + 4 * h4) * (1.0L / 24);
    const Real x6 = (61 - 58 * t2 + t4 + 270 * h2 - 330 * t2 * h2 + 445 * h4) * (1.0L / 720);
    const Real y3 = (1 - t2 + h2) * (1.0L / 6);
    const Real y5 = (5 - 18 * t2 + t4 + 14 * h2 - 58 * t2 * h2 + 13 * h4) * (1.0L / 120);
    const Real xSeries = (l * l) * (s * cs) * (0.5L + l2c2 * (x4 + l2c2 * x6));
    const Real ySeries = (l * cs) * (1 + l2c2 * (y3 + l2c2 * y5));
    const Real m = e.k * (e.a0 * phi + SineSeries(e.m, 2 * s * cs, (cs - s) * (cs + s)));
    const double v = static_cast<double>(sqrtl(1 + h2));
    const double nu = static_cast<double>(static_cast<Real>(e.c) / v);
    x = static_cast<double>(m + nu * xSeries);
    y = static_cast<double>(nu * ySeries);
}

void UnprojectLo(const Ellipsoid& e, Real meridian, double x, double y, double& longitude,
                 double& latitude)
{
    const Real mu = x * e.inverseKA0;
    Real sm, cm;
    SinCos(mu, sm, cm);
    const double phi1 =
        static_cast<double>(mu + SineSeries(e.f, 2 * sm * cm, (cm - sm) * (cm + sm)));
    // sin and cos of phi1 from those of mu: d = phi1 - mu is exact and below 0.003, so a short
    // Taylor series for sin d and cos d is good to the last bit and saves a second sincos.
    const Real d = phi1 - mu;
    const Real d2 = d * d;
    const Real d4 = d2 * d2;
    const Real sd = d * ((1 - d2 * (1.0L / 6)) + d4 * ((1.0L / 120) - d2 * (1.0L / 5040)));
    const Real cd = (1 - d2 * 0.5L) + d4 * ((1.0L / 24) - d2 * (1.0L / 720));
    const Real s = sm * cd + cm * sd;
    const Real cs = cm * cd - sm * sd;

    const double eta2 = static_cast<double>(e.ep2 * (cs * cs));
    const Real t = s / cs;
    const Real t2 = t * t;
    const Real t4 = t2 * t2;
    const Real h2 = eta2;
    const Real h4 = h2 * h2;
    const Real p4 = (5 + 3 * t2 + h2 - 9 * t2 * h2 - 4 * h4) * (1.0L / 24);
    const Real p6 = (61 + 90 * t2 + 45 * t4 + 46 * h2 - 252 * t2 * h2 - 3 * h4) * (1.0L / 720);
    const Real q3 = (1 + 2 * t2 + h2) * (1.0L / 6);
    const Real q5 = (5 + 28 * t2 + 24 * t4 + 6 * h2 + 8 * t2 * h2 - 3 * h4) * (1.0L / 120);
    const double v = static_cast<double>(sqrtl(1 + h2));
    const double nu = static_cast<double>(static_cast<Real>(e.c) / v);
    const double rho = static_cast<double>(e.c / (static_cast<Real>(v) * v * v));
    const Real u = y / static_cast<Real>(nu);
    const Real u2 = u * u;
    const Real phi = phi1 - (t * u2) * (static_cast<Real>(nu) / rho) * (0.5L - u2 * (p4 - u2 * p6));
    const Real lambda = meridian - y / (nu * cs) * (1 - u2 * (q3 - u2 * q5));
    longitude = Degrees(lambda);
    latitude = Degrees(phi);
}

// ---- Helmert fit ------------------------------------------------------------------------------

struct HelmertFit
{
    double a, b, fromX, fromY, toX, toY, scale, swing;
};

// Least-squares similarity from `from` to `to`; false for anything that is not a sound fit.
bool FitHelmert(const GPointList& from, const GPointList& to, HelmertFit& fit)
{
    const int count = from.Count();
    if (count != to.Count() || count < 2)
        return false;
    // Each sum is a 64-bit real, accumulated in index order.
    double sx = 0, sy = 0, sxt = 0, syt = 0, sxx = 0, syy = 0, sxxt = 0, syyt = 0, sxyt = 0,
           sxty = 0;
    for (int i = 0; i < count; ++i)
    {
        const GPoint* f = from.GetItem(i);
        const GPoint* t = to.GetItem(i);
        if (f == nullptr || t == nullptr)
            return false;
        const Real x = f->X, y = f->Y, xt = t->X, yt = t->Y;
        sx = static_cast<double>(sx + x);
        sy = static_cast<double>(sy + y);
        sxt = static_cast<double>(sxt + xt);
        syt = static_cast<double>(syt + yt);
        sxx = static_cast<double>(sxx + x * x);
        syy = static_cast<double>(syy + y * y);
        sxxt = static_cast<double>(sxxt + x * xt);
        syyt = static_cast<double>(syyt + y * yt);
        sxyt = static_cast<double>(sxyt + x * yt);
        sxty = static_cast<double>(sxty + xt * y);
    }
    const Real n = count;
    const Real spread = static_cast<Real>(sxx) + syy;
    const double d =
        static_cast<double>(spread - (static_cast<Real>(sx) * sx + static_cast<Real>(sy) * sy) / n);
    // D is the from-points' sum of squared distances from their centroid. Its rounding error is
    // about count * 2^-53 of the raw sums of squares; a D no larger than that means the points
    // coincide as far as the arithmetic can tell, and a fit through it would be noise.
    if (!(d > spread * n * 0x1p-51L) || !Finite(d))
        return false;
    const double a =
        static_cast<double>(((static_cast<Real>(sxxt) + syyt) -
                             (static_cast<Real>(sxt) * sx + static_cast<Real>(syt) * sy) / n) /
                            d);
    const double b =
        static_cast<double>(((static_cast<Real>(sxyt) - sxty) +
                             (static_cast<Real>(sxt) * sy - static_cast<Real>(sx) * syt) / n) /
                            d);
    const Real s = sqrtl(static_cast<Real>(a) * a + static_cast<Real>(b) * b);
    Real theta = 0;
    if (s != 0)
    {
        // a/s can exceed 1 by an ulp after rounding; acos would give NaN there.
        theta = acosl(fminl(1.0L, fmaxl(-1.0L, a / s)));
        if (b < 0)
            theta = kTwoPi - theta;
    }
    double swing = static_cast<double>(theta * kDegreesPerRadian);
    if (swing >= 360) // a rotation a hair below 0 rounds to 360
        swing -= 360;
    fit = {a,
           b,
           static_cast<double>(sx / n),
           static_cast<double>(sy / n),
           static_cast<double>(sxt / n),
           static_cast<double>(syt / n),
           static_cast<double>(s),
           swing};
    return Finite(fit.a) && Finite(fit.b) && Finite(fit.scale) && Finite(fit.swing) &&
           Finite(fit.fromX) && Finite(fit.fromY) && Finite(fit.toX) && Finite(fit.toY);
}

// Moves point by a fit; false (point unchanged) when the result would not be finite.
bool ApplyHelmert(double a, double b, double fromX, double fromY, double toX, double toY,
                  GPoint& point)
{
    const Real dx = static_cast<Real>(point.X) - fromX;
    const Real dy = static_cast<Real>(point.Y) - fromY;
    const double y = static_cast<double>(toY + dx * b + dy * a);
    const double x = static_cast<double>(toX + dx * a - dy * b);
    if (!Finite(x) || !Finite(y))
        return false;
    point.X = x;
    point.Y = y;
    return true;
}

std::string FormatValue(const char* what, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s out of range: %g", what, value);
    return text;
}

// A coordinate in another unit of its kind, keeping its sign: the magnitude is converted. For the
// linear units this is ConvertUnit itself; for packed ddd.mmss it keeps a negative coordinate (a
// latitude stored negative, say) negative on its way back, where ConvertUnit would bring its
// degrees into [0, 360) as a bearing wants them.
double ConvertCoordinate(std::uint8_t from, std::uint8_t to, double value)
{
    const double magnitude = ConvertUnit(from, to, std::fabs(value));
    return std::signbit(value) ? -magnitude : magnitude;
}

// Truncation toward zero as an int32, refusing what truncation cannot represent.
std::int32_t Truncate(const char* what, double value)
{
    if (!(std::fabs(value) <= 2e9))
        throw GTransformationException(FormatValue(what, value));
    return static_cast<std::int32_t>(std::trunc(value));
}

} // namespace

// ---- GTransformation --------------------------------------------------------------------------

bool GTransformation::IsValid() const
{
    return true;
}
std::string GTransformation::Name() const
{
    return "Basic Transformation";
}
GTransformationType GTransformation::TransformationType() const
{
    return ttBasic;
}
void GTransformation::Transform(GPoint&, std::uint8_t) {}

std::unique_ptr<GPoint> GTransformation::TransformCopy(const GPoint& point, std::uint8_t direction)
{
    auto copy = std::make_unique<GPoint>(point.X, point.Y); // as Clone: X and Y, Z = 0
    Transform(*copy, direction);
    return copy;
}

void GTransformation::TransformShape(GShape& shape, std::uint8_t direction)
{
    shape.ForEachPoint([this, direction](GPoint& point) { Transform(point, direction); });
}

GTransformation* GTransformationList::GetItem(int index) const
{
    if (index < 0 || index >= Count())
    {
        char text[64];
        std::snprintf(text, sizeof text, "List index out of bounds (%d)", index);
        throw GContainerException(text);
    }
    return GContainer<GTransformation>::GetItem(index);
}

// ---- Elementary transformations ---------------------------------------------------------------

bool GGroupTransformation::IsValid() const
{
    return Transformations.Count() > 0;
}
std::string GGroupTransformation::Name() const
{
    return "Group Transformation";
}
GTransformationType GGroupTransformation::TransformationType() const
{
    return ttGroup;
}

void GGroupTransformation::Transform(GPoint& point, std::uint8_t direction)
{
    if (direction == tdForward)
    {
        for (auto& member : Transformations)
            if (member)
                member->Transform(point, tdForward);
    }
    else if (direction == tdInverse)
    {
        for (int i = Transformations.Count() - 1; i >= 0; --i)
            if (GTransformation* member = Transformations.GetItem(i))
                member->Transform(point, tdInverse);
    }
}

std::string GUnitTransformation::Name() const
{
    return "Unit Transformation";
}
GTransformationType GUnitTransformation::TransformationType() const
{
    return ttUnit;
}

void GUnitTransformation::Transform(GPoint& point, std::uint8_t direction)
{
    if (direction != tdForward && direction != tdInverse)
        return;
    const std::uint8_t from = direction == tdForward ? FromUnit : ToUnit;
    const std::uint8_t to = direction == tdForward ? ToUnit : FromUnit;
    // Both converted before either is stored, so a failure leaves the point whole.
    const double x = ConvertCoordinate(from, to, point.X);
    const double y = ConvertCoordinate(from, to, point.Y);
    StoreChecked(*this, point, x, y);
}

std::string GShiftTransformation::Name() const
{
    return "Shift Transformation";
}
GTransformationType GShiftTransformation::TransformationType() const
{
    return ttShift;
}

void GShiftTransformation::Transform(GPoint& point, std::uint8_t direction)
{
    if (direction != tdForward && direction != tdInverse)
        return;
    const Real sign = direction == tdForward ? 1 : -1;
    const double x = static_cast<double>(point.X + sign * DX);
    const double y = static_cast<double>(point.Y + sign * DY);
    const double z = static_cast<double>(point.Z + sign * DZ);
    StoreChecked(*this, point, x, y, z);
}

std::string GExchangeTransformation::Name() const
{
    return "Exchange Transformation";
}
GTransformationType GExchangeTransformation::TransformationType() const
{
    return ttExchange;
}

void GExchangeTransformation::Transform(GPoint& point, std::uint8_t)
{
    std::swap(point.X, point.Y);
}

std::string GFactorTransformation::Name() const
{
    return "Factor Transformation";
}
GTransformationType GFactorTransformation::TransformationType() const
{
    return ttFactor;
}

void GFactorTransformation::Transform(GPoint& point, std::uint8_t direction)
{
    double x, y, z;
    if (direction == tdForward)
    {
        x = static_cast<double>(static_cast<Real>(point.X) * FX);
        y = static_cast<double>(static_cast<Real>(point.Y) * FY);
        z = static_cast<double>(static_cast<Real>(point.Z) * FZ);
    }
    else if (direction == tdInverse)
    {
        if (FX == 0 || FY == 0 || FZ == 0)
            throw GTransformationException("Division by zero in " + Name() + ": a factor is 0");
        x = static_cast<double>(static_cast<Real>(point.X) / FX);
        y = static_cast<double>(static_cast<Real>(point.Y) / FY);
        z = static_cast<double>(static_cast<Real>(point.Z) / FZ);
    }
    else
        return;
    StoreChecked(*this, point, x, y, z);
}

// ---- Geographic and Lo ------------------------------------------------------------------------

std::string GGeographicToGeodeticTransformation::Name() const
{
    return "Geographic to Geodetic Transformation";
}

GTransformationType GGeographicToGeodeticTransformation::TransformationType() const
{
    return ttGeographicToGeodetic;
}

void GGeographicToGeodeticTransformation::Transform(GPoint& point, std::uint8_t direction)
{
    double first, second;
    if (direction == tdForward)
        Project(first, second, point.X, point.Y);
    else if (direction == tdInverse)
        Unproject(first, second, point.X, point.Y);
    else
        return;
    point.X = first;
    point.Y = second;
}

void GGeographicToGeodeticTransformation::Project(double& x, double& y, double longitude,
                                                  double latitude)
{
    double px, py;
    ProjectLo(EllipsoidOf(World), LoMeridian, longitude, latitude, px, py);
    if (!Finite(px) || !Finite(py))
        throw GTransformationException("Floating-point error in " + Name());
    x = px;
    y = py;
}

void GGeographicToGeodeticTransformation::Unproject(double& longitude, double& latitude, double x,
                                                    double y)
{
    double lon, lat;
    UnprojectLo(EllipsoidOf(World), Radians(LoMeridian), x, y, lon, lat);
    if (!Finite(lon) || !Finite(lat))
        throw GTransformationException("Floating-point error in " + Name());
    longitude = lon;
    latitude = lat;
}

std::string GGeodeticToGeographicTransformation::Name() const
{
    return "Geodetic to Geographic Transformation";
}

GTransformationType GGeodeticToGeographicTransformation::TransformationType() const
{
    return ttGeodeticToGeographic;
}

void GGeodeticToGeographicTransformation::Project(double& x, double& y, double longitude,
                                                  double latitude)
{
    GGeographicToGeodeticTransformation::Unproject(x, y, longitude, latitude);
}

void GGeodeticToGeographicTransformation::Unproject(double& longitude, double& latitude, double x,
                                                    double y)
{
    GGeographicToGeodeticTransformation::Project(longitude, latitude, x, y);
}

std::int32_t LoZone(double longitude)
{
    const std::int32_t t = Truncate("Longitude", longitude);
    return t % 2 != 0 ? t : t + 1;
}

std::string SheetName(double latitude, double longitude)
{
    const std::int32_t lat = Truncate("Position", latitude);
    const std::int32_t lon = Truncate("Position", longitude);
    std::string name = std::to_string(lat) + std::to_string(lon);
    // Halving twice: each step picks the half (north/south, west/east) of the current square.
    double f = latitude - std::trunc(latitude);
    double g = longitude - std::trunc(longitude);
    for (int step = 0; step < 2; ++step)
    {
        const int r = static_cast<int>(std::trunc(2 * f));
        const int k = static_cast<int>(std::trunc(2 * g));
        name += static_cast<char>('A' + 2 * r + k);
        f = 2 * f - r;
        g = 2 * g - k;
    }
    return name;
}

// ---- Helmert ----------------------------------------------------------------------------------

bool ComputeHelmert(GPoint& point, const GPointList& fromPoints, const GPointList& toPoints,
                    double& scale, double& swing)
{
    HelmertFit fit;
    if (!FitHelmert(fromPoints, toPoints, fit))
        return false;
    if (!ApplyHelmert(fit.a, fit.b, fit.fromX, fit.fromY, fit.toX, fit.toY, point))
        return false;
    scale = fit.scale;
    swing = fit.swing;
    return true;
}

bool GHelmertTransformation::IsValid() const
{
    if (PairCount() < 2)
        return false;
    if (!SnapshotMatches())
        TakeSnapshot();
    // Each fit refuses coincident from-positions, so both together ask for two distinct
    // positions on either side; the inverse also catches targets that coincide only up to
    // rounding, where the forward fit would give a scale of almost nothing.
    const Fit& forward = FitFor(tdForward);
    const Fit& inverse = FitFor(tdInverse);
    return forward.Ok && inverse.Ok && forward.Scale > 0;
}
std::string GHelmertTransformation::Name() const
{
    return "Helmert Transformation";
}
GTransformationType GHelmertTransformation::TransformationType() const
{
    return ttHelmert;
}

void GHelmertTransformation::AddPair(const std::string& name, std::unique_ptr<GPoint> source,
                                     std::unique_ptr<GPoint> target)
{
    if (source == nullptr || target == nullptr)
        throw GTransformationException("A Helmert pair needs a source and a target point");
    Names.push_back(name);
    SourcePoints.Add(std::move(source));
    TargetPoints.Add(std::move(target));
    snapshotValid_ = false;
}

void GHelmertTransformation::Clear()
{
    Names.clear();
    SourcePoints.Clear();
    TargetPoints.Clear();
    snapshotValid_ = false;
}

int GHelmertTransformation::PairCount() const
{
    return SourcePoints.Count();
}

const std::string& GHelmertTransformation::PairName(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= Names.size())
        throw GContainerException("Container index out of bounds.");
    return Names[static_cast<std::size_t>(index)];
}

GPoint& GHelmertTransformation::SourcePoint(int index)
{
    return *SourcePoints.GetItem(index);
}
GPoint& GHelmertTransformation::TargetPoint(int index)
{
    return *TargetPoints.GetItem(index);
}

void GHelmertTransformation::CheckValid() const
{
    if (!IsValid())
        throw GTransformationException(kInvalidTransformationMessage);
}

bool GHelmertTransformation::SnapshotMatches() const
{
    const int count = SourcePoints.Count();
    if (!snapshotValid_ || TargetPoints.Count() != count ||
        snapshot_.size() != 4 * static_cast<std::size_t>(count))
        return false;
    const std::uint64_t* s = snapshot_.data();
    for (int i = 0; i < count; ++i, s += 4)
    {
        const GPoint* f = SourcePoints.GetItem(i);
        const GPoint* t = TargetPoints.GetItem(i);
        if (f == nullptr || t == nullptr || std::bit_cast<std::uint64_t>(f->X) != s[0] ||
            std::bit_cast<std::uint64_t>(f->Y) != s[1] ||
            std::bit_cast<std::uint64_t>(t->X) != s[2] ||
            std::bit_cast<std::uint64_t>(t->Y) != s[3])
            return false;
    }
    return true;
}

void GHelmertTransformation::TakeSnapshot() const
{
    snapshot_.clear();
    snapshotValid_ = false;
    forward_ = Fit{};
    inverse_ = Fit{};
    if (TargetPoints.Count() != SourcePoints.Count())
        return; // the fit fails anyway; nothing to remember
    for (int i = 0; i < SourcePoints.Count(); ++i)
    {
        const GPoint* f = SourcePoints.GetItem(i);
        const GPoint* t = TargetPoints.GetItem(i);
        if (f == nullptr || t == nullptr)
            return;
        snapshot_.insert(snapshot_.end(),
                         {std::bit_cast<std::uint64_t>(f->X), std::bit_cast<std::uint64_t>(f->Y),
                          std::bit_cast<std::uint64_t>(t->X), std::bit_cast<std::uint64_t>(t->Y)});
    }
    snapshotValid_ = true;
}

const GHelmertTransformation::Fit& GHelmertTransformation::FitFor(std::uint8_t direction) const
{
    Fit& fit = direction == tdForward ? forward_ : inverse_;
    if (!fit.Done)
    {
        HelmertFit h;
        const bool ok = direction == tdForward ? FitHelmert(SourcePoints, TargetPoints, h)
                                               : FitHelmert(TargetPoints, SourcePoints, h);
        fit = ok ? Fit{snapshotValid_, true,  h.a,   h.b,     h.fromX,
                       h.fromY,        h.toX, h.toY, h.scale, h.swing}
                 : Fit{snapshotValid_, false};
    }
    return fit;
}

void GHelmertTransformation::Transform(GPoint& point, std::uint8_t direction)
{
    CheckValid();
    if (direction != tdForward && direction != tdInverse)
        return;
    // CheckValid has just brought both fits up to date.
    const Fit& fit = FitFor(direction);
    if (fit.Ok)
        ApplyHelmert(fit.A, fit.B, fit.FromX, fit.FromY, fit.ToX, fit.ToY, point);
}

double GHelmertTransformation::ResidualX(int index)
{
    CheckValid();
    const auto copy = TransformCopy(SourcePoint(index), tdForward);
    return static_cast<double>(static_cast<Real>(TargetPoint(index).X) - copy->X);
}

double GHelmertTransformation::ResidualY(int index)
{
    CheckValid();
    const auto copy = TransformCopy(SourcePoint(index), tdForward);
    return static_cast<double>(static_cast<Real>(TargetPoint(index).Y) - copy->Y);
}

void GHelmertTransformation::ComputeParameters(double& scale, double& swing, std::uint8_t direction)
{
    CheckValid();
    if (direction != tdForward && direction != tdInverse)
        return;
    const Fit& fit = FitFor(direction);
    if (!fit.Ok)
        return;
    // The fit moves the first point of its from-list as ComputeHelmert would; a point it cannot
    // move finitely makes that a failed fit.
    const GPoint& from = direction == tdForward ? SourcePoint(0) : TargetPoint(0);
    GPoint first(from.X, from.Y);
    if (!ApplyHelmert(fit.A, fit.B, fit.FromX, fit.FromY, fit.ToX, fit.ToY, first))
        return;
    scale = fit.Scale;
    swing = fit.Swing;
}

// ---- Cape to Hartebeesthoek -------------------------------------------------------------------

std::string GCapeToHartebeesthoekTransformation::Name() const
{
    return "Cape To Hartebeesthoek Transformation";
}

GTransformationType GCapeToHartebeesthoekTransformation::TransformationType() const
{
    return ttCapeToHartebeesthoek;
}

void GCapeToHartebeesthoekTransformation::Transform(GPoint& point, std::uint8_t direction)
{
    const Real a = HelmertA, b = HelmertB;
    double x, y;
    if (direction == tdForward)
    {
        const Real dx = static_cast<Real>(point.X) - CapeX;
        const Real dy = static_cast<Real>(point.Y) - CapeY;
        x = static_cast<double>(dx * a + WGSX - dy * b);
        y = static_cast<double>(dy * a + WGSY + dx * b);
    }
    else if (direction == tdInverse)
    {
        const Real det = a * a + b * b;
        if (det == 0)
            throw GTransformationException("Division by zero in " + Name() +
                                           ": HelmertA and HelmertB are both 0");
        const Real dx = static_cast<Real>(point.X) - WGSX;
        const Real dy = static_cast<Real>(point.Y) - WGSY;
        x = static_cast<double>((dy * b + dx * a) / det + CapeX);
        y = static_cast<double>((dy * a - dx * b) / det + CapeY);
    }
    else
        return;
    if ((!Finite(x) || !Finite(y)) && Finite(point.X) && Finite(point.Y))
        throw GTransformationException("Floating-point error in " + Name());
    point.X = x;
    point.Y = y;
}

} // namespace quorvalis
