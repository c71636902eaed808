// Transformations: every change of coordinates of the system, as objects that move a GPoint in
// place in a direction (0 forward, 1 inverse), and compose into groups.
//
// Arithmetic is formed in extended precision (long double) and every stored result is a 64-bit
// double. Floating-point faults (overflow, division by zero, invalid operation) never leave an
// infinity or NaN behind: they raise GTransformationException and the point keeps its old value,
// except in ComputeHelmert, which reports them as a failed fit.
#pragma once

#include "geometry/Containers.h"
#include "geometry/Spatial.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{

/// Errors of the transformation engine. Messages: "World not supported in this transformation",
/// "The transformation in not valid", and for arithmetic faults "Floating-point error in <Name>"
/// or "Division by zero in <Name>: ..." (see the classes).
class GTransformationException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The message of a transformation used before it is valid, worded as users have always seen it.
inline constexpr char kInvalidTransformationMessage[] = "The transformation in not valid";

/// Direction of a transformation. Directions travel as std::uint8_t: any value other than these
/// two leaves a point unchanged (only GExchangeTransformation ignores the direction).
enum GTransformationDirection : std::uint8_t
{
    tdForward = 0,
    tdInverse = 1,
};

/// Result of TransformationType().
enum GTransformationType : std::uint8_t
{
    ttBasic = 0,
    ttGroup = 1,
    ttGeographicToGeodetic = 2,
    ttGeodeticToGeographic = 3,
    ttUnit = 4,
    ttShift = 5,
    ttHelmert = 6,
    ttExchange = 7,
    ttFactor = 8,
    ttCapeToHartebeesthoek = 9,
};

/// Root of the transformation family. The base class does nothing to a point.
class GTransformation
{
public:
    GTransformation() = default;
    GTransformation(const GTransformation&) = delete;
    GTransformation& operator=(const GTransformation&) = delete;
    virtual ~GTransformation() = default;

    /// Whether the transformation can be applied (base: true).
    virtual bool IsValid() const;
    /// Fixed display name (base: "Basic Transformation").
    virtual std::string Name() const;
    /// Type code (base: ttBasic).
    virtual GTransformationType TransformationType() const;
    /// Moves point in place; direction tdForward or tdInverse, anything else leaves it unchanged.
    /// Base: does nothing.
    virtual void Transform(GPoint& point, std::uint8_t direction);

    /// A new point with point's X and Y and Z = 0 (what GShape::Clone gives for a point), moved by
    /// Transform in direction; point itself is not changed. The caller owns the result.
    std::unique_ptr<GPoint> TransformCopy(const GPoint& point, std::uint8_t direction);
    /// Transform on every vertex of shape, in flat index order, in place. A shape without vertices
    /// is left alone. An error stops the walk; earlier vertices stay moved.
    void TransformShape(GShape& shape, std::uint8_t direction);
};

/// Owning list of transformations, in application order.
class GTransformationList : public GContainer<GTransformation>
{
public:
    /// The transformation at index. Outside 0..Count()-1 raises GContainerException
    /// "List index out of bounds (<index>)".
    GTransformation* GetItem(int index) const;
};

/// A chain of transformations applied to the same point one after the other. Forward runs the
/// members forward from the first to the last; inverse runs them inverse from the last to the
/// first. An empty group leaves points unchanged. IsValid: at least one member.
class GGroupTransformation : public GTransformation
{
public:
    GTransformationList Transformations;

    bool IsValid() const override;
    std::string Name() const override; // "Group Transformation"
    GTransformationType TransformationType() const override;
    void Transform(GPoint& point, std::uint8_t direction) override;
};

/// Converts X and Y from FromUnit to ToUnit (forward) or back (inverse) with ConvertUnit; Z is not
/// touched. A coordinate keeps its sign: its magnitude is converted, which for every unit but
/// ddd.mmss is ConvertUnit itself, and keeps a negative packed angle negative on its way back
/// where ConvertUnit would bring its degrees into [0, 360). Units of different kinds raise
/// GCalculationException "Invalid unit type conversion" and leave the point unchanged. Accuracy:
/// that of ConvertUnit (one rounding to double).
class GUnitTransformation : public GTransformation
{
public:
    std::uint8_t FromUnit = 0; ///< unit code (GUnitType), default utMetres
    std::uint8_t ToUnit = 0;   ///< unit code (GUnitType), default utMetres

    std::string Name() const override; // "Unit Transformation"
    GTransformationType TransformationType() const override;
    void Transform(GPoint& point, std::uint8_t direction) override;
};

/// Adds (DX, DY, DZ) forward, subtracts it inverse; each sum rounded once to double, so forward
/// then inverse restores a coordinate to within 1 ulp (exactly when no rounding occurs).
class GShiftTransformation : public GTransformation
{
public:
    double DX = 0.0; ///< added to X, in the unit of X; any finite value
    double DY = 0.0; ///< added to Y
    double DZ = 0.0; ///< added to Z

    std::string Name() const override; // "Shift Transformation"
    GTransformationType TransformationType() const override;
    void Transform(GPoint& point, std::uint8_t direction) override;
};

/// Swaps X and Y whatever the direction; its own inverse, exact.
class GExchangeTransformation : public GTransformation
{
public:
    std::string Name() const override; // "Exchange Transformation"
    GTransformationType TransformationType() const override;
    void Transform(GPoint& point, std::uint8_t direction) override;
};

/// Multiplies X, Y, Z by (FX, FY, FZ) forward and divides by them inverse, each result rounded
/// once to double. The inverse with any factor 0 raises GTransformationException "Division by
/// zero in Factor Transformation: a factor is 0" and leaves the point unchanged.
class GFactorTransformation : public GTransformation
{
public:
    double FX = 1.0; ///< factor on X, dimensionless; -1 negates
    double FY = 1.0; ///< factor on Y
    double FZ = 1.0; ///< factor on Z

    std::string Name() const override; // "Factor Transformation"
    GTransformationType TransformationType() const override;
    void Transform(GPoint& point, std::uint8_t direction) override;
};

/// Ellipsoid of the geographic/Lo conversions (the same codes as the datums).
///   wdClarke1880  a = 6378249.145326 m, b = 6356514.966721 m (Cape datum)
///   wdWGS84       a = 6378137.0 m,      b = 6356752.314 m    (Hartebeesthoek94 datum)
/// These are the system's own axes; they differ from published Clarke 1880 (Arc) and from the
/// full-precision WGS84 minor axis by fractions of a millimetre, enough to move X by up to 0.25 mm.
enum GWorld : std::uint8_t
{
    wdClarke1880 = 0,
    wdWGS84 = 1,
};

/// Geographic coordinates to the Lo system (Gauss-conformal transverse Mercator, scale factor 1,
/// central meridian LoMeridian, no false origin) on the ellipsoid World.
///
/// Geographic point: X = longitude, degrees, east positive; Y = latitude, degrees, positive
/// SOUTH. Lo point: X = meridional distance from the equator along the central meridian, metres,
/// positive south ("southing"); Y = transverse coordinate, metres, positive WEST of the central
/// meridian (a point east of it gets a negative Y). Z is never touched.
///
/// The conversion is the classic power series in the longitude difference l (to l^6 in X, l^5 in
/// Y) with the meridian distance to n^9 and the footpoint latitude to n^5, evaluated in extended
/// precision; n, e'^2, c, eta^2, V, N (and in the inverse phi1, eta1^2, V1, N1, M1) are rounded to
/// double where they are formed, and the results are doubles. The evaluation (cached ellipsoid
/// constants, Clenshaw sums, products for powers, one polynomial sine/cosine per call) stays
/// within 2 ulp of the same formulas evaluated term by term with powl/sinl/tanl.
///
/// Accuracy, measured against an exact transverse Mercator (PROJ tmerc) with the same axes on a
/// grid over South Africa (latitude 22 to 35 degrees south, every Lo zone 17 to 33, both
/// ellipsoids):
///   Project:    0.00005 mm within 1 degree of the meridian, 0.0034 mm at 2 degrees;
///   Unproject:  0.00045 mm as a ground distance within 1 degree, 0.016 mm at 2 degrees;
///   Project then Unproject returns a position to 0.00045 mm within 1 degree, 0.019 mm at 2.
/// The truncation error grows roughly as l^6 beyond 2 degrees: the series are meant for the
/// 2-degree-wide Lo zones. Inputs are not range checked; latitudes up to about 89 degrees and
/// longitudes a few degrees from the meridian give finite results. A result that is not a finite
/// number (NaN or infinite input, overflow) raises GTransformationException "Floating-point error
/// in <Name>" and leaves the point unchanged.
class GGeographicToGeodeticTransformation : public GTransformation
{
public:
    GWorld World = wdClarke1880; ///< ellipsoid; any code other than 0 or 1 raises on use
    double LoMeridian = 31.0;    ///< central meridian, degrees east (an odd integer for Lo zones)

    std::string Name() const override; // "Geographic to Geodetic Transformation"
    GTransformationType TransformationType() const override;
    /// Forward: (X, Y) := Project(X, Y). Inverse: (X, Y) := Unproject(X, Y). Other directions: no
    /// change.
    void Transform(GPoint& point, std::uint8_t direction) override;

    /// Geographic (longitude, latitude in degrees, latitude positive south) to Lo (x southing,
    /// y westing in metres). On the central meridian y = 0 and x is the meridian distance; on the
    /// equator x = 0. Raises GTransformationException "World not supported in this
    /// transformation" for an unknown World before computing anything.
    virtual void Project(double& x, double& y, double longitude, double latitude);
    /// Lo (x southing, y westing in metres) to geographic (longitude, latitude in degrees, latitude
    /// positive south). Same errors as Project.
    virtual void Unproject(double& longitude, double& latitude, double x, double y);
};

/// The mirror of GGeographicToGeodeticTransformation: Project performs its parent's Unproject and
/// Unproject its parent's Project, so Transform maps Lo to geographic forward and geographic to Lo
/// inverse. Same fields, conventions and accuracy.
class GGeodeticToGeographicTransformation : public GGeographicToGeodeticTransformation
{
public:
    std::string Name() const override; // "Geodetic to Geographic Transformation"
    GTransformationType TransformationType() const override;
    void Project(double& x, double& y, double longitude, double latitude) override;
    void Unproject(double& longitude, double& latitude, double x, double y) override;
};

/// The Lo zone (odd central meridian, degrees east) holding a longitude in degrees east: the
/// longitude truncated toward zero if odd, otherwise that plus 1 (28.0 -> 29, 29.7 -> 29,
/// 30.0 -> 31). A longitude that is not finite or beyond +-2e9 degrees raises
/// GTransformationException "Longitude out of range: <value>".
std::int32_t LoZone(double longitude);

/// Name of the degree sheet holding a position (latitude positive south, longitude east, both in
/// degrees): the truncated latitude and longitude digits followed by two letters A-D, the
/// half-degree square (A north-west, B north-east, C south-west, D south-east) and the
/// quarter-degree square inside it. SheetName(26.3, 28.8) = "2628BD". A value that is not finite or
/// beyond +-2e9 degrees raises GTransformationException "Position out of range: <value>".
std::string SheetName(double latitude, double longitude);

/// Fits a two-dimensional similarity (Helmert) transformation by least squares to the matched
/// points of from and to, and moves point by it:
///   X' = mean(x') + (X - mean(x)) a - (Y - mean(y)) b
///   Y' = mean(y') + (X - mean(x)) b + (Y - mean(y)) a
/// scale = sqrt(a^2 + b^2) (dimensionless, >= 0); swing = the rotation angle, decimal degrees in
/// [0, 360), turning +X towards +Y (in Lo: south towards west), 0 when the scale is 0. Only X and Y
/// take part; Z is unchanged. Returns false and changes nothing (point, scale, swing) when the
/// lists differ in length, hold fewer than 2 pairs, hold an empty slot, when the from-points
/// coincide (their spread is 0 or lost in rounding) or when any quantity would not be a finite
/// number. The sums are 64-bit and taken in index order, so the result is reproducible bit for bit;
/// being raw sums of squares they cost precision far from the origin. With Lo coordinates (~3e6 m)
/// and ten beacons of an exact similarity spread over 200 m, 5 km and 50 km, the scale comes out
/// within 1e-6, 2e-9 and 2e-11 and a point at the edge of the spread within 0.16 mm, 0.006 mm and
/// 0.0006 mm.
bool ComputeHelmert(GPoint& point, const GPointList& fromPoints, const GPointList& toPoints,
                    double& scale, double& swing);

/// Helmert transformation fitted to control beacons known in two datums (source and target Lo
/// coordinates). Forward moves source to target, inverse target to source, by ComputeHelmert on
/// the stored pairs (inverse with the lists exchanged). The fit is made once per set of pair
/// coordinates and reused: the coordinates it used are kept and compared on every call, so
/// changes through AddPair, Clear, the public lists or the points handed out by
/// SourcePoint/TargetPoint are always honoured, and the results are bit for bit those of
/// ComputeHelmert.
///
/// IsValid asks for a sound forward fit, not only for two pairs: at least two distinct source
/// positions and two distinct target positions (a non-zero, finite determinant of the normal
/// equations), and a finite scale above 0 and a finite swing. Beacons imported twice at one
/// position therefore give no valid transformation rather than a scale of 0 that leaves every
/// point where it was. Transform, ResidualX/Y and ComputeParameters raise
/// GTransformationException "The transformation in not valid" unless IsValid; a point the valid
/// fit cannot move finitely is left unchanged.
class GHelmertTransformation : public GTransformation
{
public:
    GPointList SourcePoints;        ///< control coordinates in the source datum (owned)
    GPointList TargetPoints;        ///< the same beacons in the target datum, same index (owned)
    std::vector<std::string> Names; ///< the beacons' names, same index

    bool IsValid() const override;     // two distinct positions each side, a sound fit
    std::string Name() const override; // "Helmert Transformation"
    GTransformationType TransformationType() const override;
    void Transform(GPoint& point, std::uint8_t direction) override;

    /// Appends a named pair; both points are owned from now on. A missing point raises
    /// GTransformationException "A Helmert pair needs a source and a target point".
    void AddPair(const std::string& name, std::unique_ptr<GPoint> source,
                 std::unique_ptr<GPoint> target);
    /// Removes every pair.
    void Clear();
    int PairCount() const;
    /// Out of range: GContainerException "Container index out of bounds.".
    const std::string& PairName(int index) const;
    /// The stored point itself (not a copy); range error as PairName.
    GPoint& SourcePoint(int index);
    GPoint& TargetPoint(int index);
    /// Misclosure of pair index: target X (Y) minus the forward transform of its source point, in
    /// the unit of the coordinates (metres in Lo), positive when the target lies further +X (+Y).
    double ResidualX(int index);
    double ResidualY(int index);
    /// The fitted scale (dimensionless) and swing (degrees in [0, 360)) of the forward fit, or with
    /// tdInverse of the inverse fit (scale 1/s and swing 360 - theta for an exact similarity);
    /// both stay unchanged when the fit fails or direction is neither.
    void ComputeParameters(double& scale, double& swing, std::uint8_t direction);

private:
    struct Fit
    {
        bool Done = false; // fitted for the coordinates in Snapshot
        bool Ok = false;   // the fit succeeded
        double A = 0, B = 0, FromX = 0, FromY = 0, ToX = 0, ToY = 0, Scale = 0, Swing = 0;
    };
    void CheckValid() const; // raises kInvalidTransformationMessage unless IsValid
    // The fit for the snapshot as it stands (made on first use); IsValid takes the snapshot, so
    // the cache below also fills through the const IsValid.
    const Fit& FitFor(std::uint8_t direction) const;
    bool SnapshotMatches() const;
    void TakeSnapshot() const;

    mutable std::vector<std::uint64_t> snapshot_; // bit patterns of sx, sy, tx, ty per pair
    mutable bool snapshotValid_ = false;
    mutable Fit forward_, inverse_;
};

/// The fixed Cape to Hartebeesthoek94 similarity between Lo coordinates:
///   forward  X' = (X - CapeX) a + WGSX - (Y - CapeY) b,  Y' = (Y - CapeY) a + WGSY + (X - CapeX) b
///   inverse  the exact inverse, dividing by a^2 + b^2.
/// Defaults a = b = 1 (scale sqrt 2, swing 45 degrees), so a default object is not the identity.
/// Inverse with a = b = 0 raises GTransformationException "Division by zero in Cape To
/// Hartebeesthoek Transformation: HelmertA and HelmertB are both 0"; the point is unchanged.
/// Forward then inverse returns a point to within a few ulp of its coordinates.
class GCapeToHartebeesthoekTransformation : public GTransformation
{
public:
    double HelmertA = 1.0; ///< a = scale x cos(swing), dimensionless
    double HelmertB = 1.0; ///< b = scale x sin(swing), dimensionless
    double CapeX = 0.0;    ///< centre of gravity on the Cape datum, Lo X, metres
    double CapeY = 0.0;    ///< centre of gravity on the Cape datum, Lo Y, metres
    double WGSX = 0.0;     ///< centre of gravity on Hartebeesthoek94, Lo X, metres
    double WGSY = 0.0;     ///< centre of gravity on Hartebeesthoek94, Lo Y, metres

    std::string Name() const override; // "Cape To Hartebeesthoek Transformation"
    GTransformationType TransformationType() const override;
    void Transform(GPoint& point, std::uint8_t direction) override;
};

} // namespace quorvalis
