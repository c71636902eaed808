// The shape model: points, rectangles, ellipses, multipoints, lines, polygons, text and lists of
// shapes, with their byte stream form.
//
// Coordinates are 64-bit reals in whatever unit the caller's stage uses: a geographic point holds
// the longitude (degrees, east positive) in X and the latitude (degrees, south positive) in Y; a Lo
// point holds the meridional coordinate (metres from the equator, "southing") in X and the
// transverse coordinate (metres, positive west of the central meridian) in Y.
//
// Stream form (all integers little-endian 32-bit signed, reals IEEE 754 64-bit little-endian, no
// alignment), led by a one-byte class code:
//   point      1, X, Y                                  (17 bytes; Z and M are not part of it)
//   line       2, part count, per part: count, points   (each point in point form)
//   polygon    3, as a line
//   rectangle  4, TopLeft, BottomRight in point form     (35 bytes)
//   ellipse    5, as a rectangle
//   text       6, as a line, then line count, per line: byte length, bytes
//   multipoint 7, count, points in point form
// StreamSize() is an upper bound (25 bytes per point) used to size storage buffers.
//
// Arithmetic on coordinates (centres, distances, scaling, clipping intersections) is formed in
// long double and stored as double, so results are the correctly rounded double of the extended
// value in nearly every case (error at most 1 ulp of the stored double). Nothing here checks that
// coordinates are finite; NaN coordinates make comparisons false and propagate through arithmetic.
#pragma once

#include "geometry/Containers.h"
#include "geometry/Stream.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{

/// Errors of the shape model: "The specified point index is out of range",
/// "Cannot identify class : <code>.", "No points in the list", and for stream input whose counts
/// cannot fit in the bytes that remain, "Invalid shape stream: ..." (see ReadShape).
class GSpatialException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class GPoint;
class GRectangle;

/// Class codes of the stream form.
enum GShapeClass : std::uint8_t
{
    scNone = 0,
    scPoint = 1,
    scLine = 2,
    scPolygon = 3,
    scRectangle = 4,
    scEllipse = 5,
    scText = 6,
    scPoints = 7,
};

/// Root of the shape tree. Every vertex is reachable by one flat index 0..PointCount()-1.
class GShape
{
public:
    GShape() = default;
    GShape(const GShape&) = delete;
    GShape& operator=(const GShape&) = delete;
    virtual ~GShape() = default;

    /// Reference point of the shape (base: (0, 0)).
    virtual void GetCentre(double& x, double& y) const;
    /// Bytes to reserve for the stream form; an upper bound, not the written length.
    virtual std::uint32_t StreamSize() const;
    /// Class code of the stream form (base 0).
    virtual std::uint8_t ClassCode() const;
    /// The vertex at a flat index, the object itself. Raises GSpatialException
    /// "The specified point index is out of range" outside 0..PointCount()-1 (and for an empty
    /// slot of a point list, which no shape built by the system has). Lines and polygons walk
    /// their parts for every call (O(number of parts)): loops over all vertices use ForEachPoint.
    virtual GPoint& GetPoint(int index);
    const GPoint& GetPoint(int index) const { return const_cast<GShape*>(this)->GetPoint(index); }
    /// Number of vertices.
    virtual int PointCount() const;
    /// New normalised bounding rectangle owned by the caller; nullptr when there is no vertex.
    virtual std::unique_ptr<GRectangle> GetExtent() const;
    /// Plane distance between the two shapes' GetCentre points, in the unit of the coordinates
    /// (>= 0; see Distance in Calculations.h for accuracy).
    double DistanceTo(const GShape& other) const;
    /// Replaces the geometry from the stream form (base: reads and ignores the class code byte).
    virtual void LoadFromStream(GStream& stream);
    /// Writes the stream form (base: the class code byte).
    virtual void SaveToStream(GStream& stream) const;
    /// Cuts the geometry to a rectangle (base: nothing).
    virtual void ClipTo(const GRectangle& rectangle);

    /// Calls visit on every vertex in flat index order; the same walk as GetPoint(0..n-1) without
    /// the per-index search through the parts (O(1) per vertex).
    virtual void ForEachPoint(const std::function<void(GPoint&)>& visit);
    /// Read-only walk in the same order.
    void ForEachPoint(const std::function<void(const GPoint&)>& visit) const;

    /// A new shape of the same class with the same X and Y everywhere; Z and M are 0 (through
    /// the stream form).
    std::unique_ptr<GShape> Clone() const;
    /// A new shape of the same class with the same X, Y, Z and M at every vertex, bit for bit
    /// (NaN payloads and the sign of zero included).
    std::unique_ptr<GShape> Duplicate() const;
    /// Loads this shape from the source's stream form. Meaningful only between classes with the
    /// same layout (rectangle/ellipse, line/polygon); no error otherwise.
    void CopyFrom(const GShape& source);
    /// Same PointCount and exactly equal X, Y, Z and M at every index.
    bool IsEqual(const GShape& other) const;

protected:
    void CheckPointIndex(int index) const;
};

/// Reads one shape from the stream: peeks the class code, creates the class (1 point, 2 line,
/// 3 polygon, 4 rectangle, 5 ellipse, 6 text, 7 multipoint) and loads it; the caller owns it.
/// Any other code raises "Cannot identify class : <code>.". A stream that ends early yields zeros
/// (short reads); a count that is negative or larger than the bytes left could ever hold raises
/// GSpatialException "Invalid shape stream: <what> <value> at byte <offset>" before anything is
/// allocated for it.
std::unique_ptr<GShape> ReadShape(GStream& stream);

/// A new point at the shape's GetCentre, Z = 0.
std::unique_ptr<GPoint> CentrePoint(const GShape& shape);

/// Whether the two shapes have the same class and the same vertices part by part (the same
/// number of parts with the same number of points each): one is then the other with moved
/// coordinates.
bool SameLayout(const GShape& a, const GShape& b);

/// Gives every vertex of target the Z and M of the vertex at the same flat index of source, bit
/// for bit, when the two have the same layout (SameLayout); returns whether it did. Stores use it
/// so that a shape written back over a record keeps the heights and measures read from it
/// whatever happened to them meanwhile: this system moves positions on the plane only.
bool CarryHeightsAndMeasures(const GShape& source, GShape& target);

/// A vertex or point shape: X, Y, Z and the measure M (64-bit reals, 0 after construction).
/// Z (a height) and M (a measure along a line, as shapefiles and GIS layers keep them; a
/// shapefile's "no data" is any value below -1e38) are carried as given: no transformation of
/// the run changes M, and stores write back the Z and M they read. Class code 1.
class GPoint : public GShape
{
public:
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
    double M = 0.0;

    GPoint() = default;
    GPoint(double x, double y, double z = 0.0, double m = 0.0) : X(x), Y(y), Z(z), M(m) {}

    /// Points come from the vertex pool (geometry/PointPool.h); objects of derived classes,
    /// which are larger, from the ordinary heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* pointer, std::size_t size) noexcept;

    using GShape::ForEachPoint;
    using GShape::GetPoint;

    void GetCentre(double& x, double& y) const override;
    std::uint32_t StreamSize() const override; // 25
    std::uint8_t ClassCode() const override;   // 1
    GPoint& GetPoint(int index) override;      // index 0: the point itself
    int PointCount() const override;           // 1
    std::unique_ptr<GRectangle> GetExtent() const override;
    /// Reads the class code byte (ignored), X and Y; Z and M become 0 since the form has none.
    void LoadFromStream(GStream& stream) override;
    void SaveToStream(GStream& stream) const override;
    void ForEachPoint(const std::function<void(GPoint&)>& visit) override;
};

/// Owning list of points, with the point-list stream form (count, points).
class GPointList : public GContainer<GPoint>
{
public:
    std::uint32_t StreamSize() const; // 25 * count + 4
    void SaveToStream(GStream& stream) const;
    /// Clears, reads the count (checked against the bytes left), appends one point per entry.
    void LoadFromStream(GStream& stream);
    /// nullptr when empty; otherwise the smallest rectangle holding every point.
    std::unique_ptr<GRectangle> GetExtent() const;
    /// Largest DistanceTo from shape to any point (>= 0, unit of the coordinates); raises
    /// GSpatialException "No points in the list" when empty.
    double MaximumDistance(const GShape& shape) const;
};

/// Axis-aligned rectangle given by two corner points. Class code 4.
/// TopLeft.X = Left (smallest X), TopLeft.Y = Top (largest Y), BottomRight.X = Right,
/// BottomRight.Y = Bottom, when normalised.
class GRectangle : public GShape
{
public:
    GPoint TopLeft;
    GPoint BottomRight;

    GRectangle() = default;
    GRectangle(double left, double bottom, double right, double top);

    using GShape::ForEachPoint;
    using GShape::GetPoint;

    double Left() const { return TopLeft.X; }
    double Top() const { return TopLeft.Y; }
    double Right() const { return BottomRight.X; }
    double Bottom() const { return BottomRight.Y; }
    void SetLeft(double v) { TopLeft.X = v; }
    void SetTop(double v) { TopLeft.Y = v; }
    void SetRight(double v) { BottomRight.X = v; }
    void SetBottom(double v) { BottomRight.Y = v; }

    double Width() const;  // |Right - Left|
    double Height() const; // |Top - Bottom|
    /// All four sides at 0 (the state after construction).
    bool IsEmpty() const;
    /// Overlap of the two, or nullptr when they are apart; touching edges give a degenerate one.
    std::unique_ptr<GRectangle> Intersection(const GRectangle& other) const;
    /// Left <= X <= Right and Bottom <= Y <= Top.
    bool ContainsPoint(const GPoint& point) const;
    /// Whether the shape's extent lies within this rectangle, edges included, whatever the
    /// orientation of this rectangle (a zero-width one holds only extents of that same X). False
    /// for a shape without vertices.
    bool Contains(const GShape& shape) const;
    /// Grows to include other; an empty rectangle (IsEmpty) becomes a copy of other.
    void Union(const GRectangle& other);
    /// Keeps the centre and orientation, multiplies width and height by factor (a factor of 1.2
    /// turns 0..10 into -1..11). A negative factor mirrors the sides about the centre.
    void ScaleAboutCentre(double factor);
    /// Swaps Left and Right if Right < Left, Top and Bottom if Top < Bottom.
    void Normalize();

    void GetCentre(double& x, double& y) const override;
    std::uint32_t StreamSize() const override; // 51
    std::uint8_t ClassCode() const override;   // 4
    GPoint& GetPoint(int index) override;      // 0 TopLeft, 1 BottomRight
    int PointCount() const override;           // 2
    std::unique_ptr<GRectangle> GetExtent() const override;
    void LoadFromStream(GStream& stream) override;
    void SaveToStream(GStream& stream) const override;
    /// Becomes the Intersection with rectangle, or the empty rectangle when they are apart.
    void ClipTo(const GRectangle& rectangle) override;
    void ForEachPoint(const std::function<void(GPoint&)>& visit) override;

protected:
    /// A new, empty object of this shape's own class (rectangle or ellipse).
    virtual std::unique_ptr<GRectangle> NewOfSameClass() const;
};

/// An ellipse given by its bounding rectangle. Class code 5.
class GEllipse : public GRectangle
{
public:
    using GRectangle::GRectangle;
    std::uint8_t ClassCode() const override; // 5

protected:
    std::unique_ptr<GRectangle> NewOfSameClass() const override;
};

/// A multipoint (a shapefile's MultiPoint, a GIS layer's multi-point). Class code 7.
class GPoints : public GShape
{
public:
    GPointList Points;

    using GShape::ForEachPoint;
    using GShape::GetPoint;

    /// Centre of GetExtent; (0, 0) when there are no points.
    void GetCentre(double& x, double& y) const override;
    std::uint32_t StreamSize() const override; // 1 + 4 + 25 * points
    std::uint8_t ClassCode() const override;   // 7
    GPoint& GetPoint(int index) override;
    int PointCount() const override;
    std::unique_ptr<GRectangle> GetExtent() const override;
    void LoadFromStream(GStream& stream) override;
    void SaveToStream(GStream& stream) const override;
    /// Removes (and frees) every point not inside the rectangle; edges count as inside.
    void ClipTo(const GRectangle& rectangle) override;
    void ForEachPoint(const std::function<void(GPoint&)>& visit) override;
};

/// Owning list of parts; each part is a point list.
class GPartList : public GContainer<GPointList>
{
};

/// A polyline of one or more parts. Class code 2. The flat vertex index runs through part 0,
/// then part 1, and so on.
class GLine : public GShape
{
public:
    GPartList Parts;

    using GShape::ForEachPoint;
    using GShape::GetPoint;

    /// Centre of GetExtent; (0, 0) when no part has points.
    void GetCentre(double& x, double& y) const override;
    /// 1 + 4 + sum over parts of (4 + 25 * points), at most 2^32 - 1.
    std::uint32_t StreamSize() const override;
    std::uint8_t ClassCode() const override; // 2
    /// Walks the parts: O(number of parts) per call.
    GPoint& GetPoint(int index) override;
    int PointCount() const override;
    /// nullptr when no part has points; otherwise the smallest rectangle holding the points of
    /// every part (a vertex at the origin counts like any other).
    std::unique_ptr<GRectangle> GetExtent() const override;
    void LoadFromStream(GStream& stream) override;
    void SaveToStream(GStream& stream) const override;
    /// Cohen-Sutherland clipping of every segment: a part whose extent lies within the rectangle
    /// is kept whole, the rest is cut into the visible runs of segments. Vertices that survive keep
    /// their Z; vertices made by a cut have Z = 0.
    void ClipTo(const GRectangle& rectangle) override;
    void ForEachPoint(const std::function<void(GPoint&)>& visit) override;
};

/// A polygon: each part is a ring stored as given (no closing vertex added or removed).
/// Class code 3.
class GPolygon : public GLine
{
public:
    std::uint8_t ClassCode() const override; // 3
    /// Sutherland-Hodgman clipping of every ring against the four sides in turn; a vertex on a
    /// side counts as outside. A ring wholly outside stays as an empty part. Vertices that survive
    /// keep their Z; vertices made by a cut have Z = 0.
    void ClipTo(const GRectangle& rectangle) override;
};

/// Text with an anchor geometry: the line form plus the text lines. Class code 6.
class GText : public GLine
{
public:
    /// The text, one entry per line; streamed as bytes (no encoding is imposed), each line at
    /// most 2^31 - 1 bytes.
    std::vector<std::string> Lines;

    /// The line form's size + 4 + sum over lines of (4 + bytes).
    std::uint32_t StreamSize() const override;
    std::uint8_t ClassCode() const override; // 6
    void LoadFromStream(GStream& stream) override;
    void SaveToStream(GStream& stream) const override;
};

/// Owning list of shapes of any class.
class GShapeList : public GContainer<GShape>
{
public:
    /// Smallest rectangle holding the extents of every shape that has one; never nullptr: the
    /// empty rectangle when no shape has an extent.
    std::unique_ptr<GRectangle> GetExtent() const;
};

} // namespace quorvalis
