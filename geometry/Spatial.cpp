#include "geometry/Spatial.h"

#include "geometry/Calculations.h"
#include "geometry/PointPool.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

namespace quorvalis
{

namespace
{

constexpr const char* kIndexOutOfRange = "The specified point index is out of range";

// Bytes a nested point occupies in the stream form (class code, X, Y) and bytes StreamSize
// reserves for it.
constexpr std::uint64_t kPointFormBytes = 17;
constexpr std::uint64_t kPointReserveBytes = 25;
constexpr std::uint64_t kCountBytes = 4;

std::uint32_t ClampToUInt32(std::uint64_t value)
{
    constexpr std::uint64_t limit = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(value > limit ? limit : value);
}

// Reads a count and refuses it when it is negative or when the bytes left could not hold that
// many items of at least itemBytes each, so that a corrupt blob never makes us allocate.
std::int32_t ReadCount(GStream& stream, const char* what, std::uint64_t itemBytes)
{
    const std::size_t offset = stream.Position();
    const std::int32_t count = stream.ReadInt32();
    if (count < 0 || static_cast<std::uint64_t>(count) * itemBytes > stream.Remaining())
        throw GSpatialException("Invalid shape stream: " + std::string(what) + " " +
                                std::to_string(count) + " at byte " + std::to_string(offset));
    return count;
}

// An empty slot in a point list is a caller's mistake; it is reported like a bad index rather
// than dereferenced.
GPoint& Vertex(const std::unique_ptr<GPoint>& point)
{
    if (!point)
        throw GSpatialException(kIndexOutOfRange);
    return *point;
}

bool SamePoint(const GPoint& a, const GPoint& b)
{
    return a.X == b.X && a.Y == b.Y && a.Z == b.Z && a.M == b.M;
}

// Grows r to hold e. Unlike GRectangle::Union this never treats a rectangle at the origin as
// "no extent", so a vertex at (0, 0) is never dropped from an extent.
void Grow(GRectangle& r, const GRectangle& e)
{
    r.SetLeft(Min(r.Left(), e.Left()));
    r.SetBottom(Min(r.Bottom(), e.Bottom()));
    r.SetRight(Max(r.Right(), e.Right()));
    r.SetTop(Max(r.Top(), e.Top()));
}

void SetSides(GRectangle& r, const GRectangle& source)
{
    r.SetLeft(source.Left());
    r.SetTop(source.Top());
    r.SetRight(source.Right());
    r.SetBottom(source.Bottom());
}

std::uint64_t PartsStreamSize(const GPartList& parts)
{
    std::uint64_t size = kCountBytes;
    for (const auto& part : parts)
        size += kCountBytes +
                (part ? kPointReserveBytes * static_cast<std::uint64_t>(part->Count()) : 0);
    return size;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// GShape

void GShape::GetCentre(double& x, double& y) const
{
    x = 0.0;
    y = 0.0;
}

std::uint32_t GShape::StreamSize() const
{
    return 0;
}

std::uint8_t GShape::ClassCode() const
{
    return scNone;
}

GPoint& GShape::GetPoint(int index)
{
    CheckPointIndex(index);
    // A shape that reports vertices must override GetPoint.
    throw GSpatialException(kIndexOutOfRange);
}

int GShape::PointCount() const
{
    return 0;
}

std::unique_ptr<GRectangle> GShape::GetExtent() const
{
    return nullptr;
}

double GShape::DistanceTo(const GShape& other) const
{
    double x1 = 0.0;
    double y1 = 0.0;
    double x2 = 0.0;
    double y2 = 0.0;
    GetCentre(x1, y1);
    other.GetCentre(x2, y2);
    return Distance(x1, y1, x2, y2);
}

void GShape::LoadFromStream(GStream& stream)
{
    stream.ReadByte();
}

void GShape::SaveToStream(GStream& stream) const
{
    stream.WriteByte(ClassCode());
}

void GShape::ClipTo(const GRectangle& /*rectangle*/) {}

void GShape::ForEachPoint(const std::function<void(GPoint&)>& visit)
{
    const int count = PointCount();
    for (int i = 0; i < count; ++i)
        visit(GetPoint(i));
}

void GShape::ForEachPoint(const std::function<void(const GPoint&)>& visit) const
{
    // The mutable walk is the one each class implements; this one only hands out const access.
    const_cast<GShape*>(this)->ForEachPoint(
        std::function<void(GPoint&)>([&visit](GPoint& point) { visit(point); }));
}

std::unique_ptr<GShape> GShape::Clone() const
{
    GStream stream;
    stream.Reserve(StreamSize());
    SaveToStream(stream);
    stream.Rewind();
    return ReadShape(stream);
}

namespace
{

// As bytes, like every carried height: a signalling NaN stays as it was.
std::unique_ptr<GPoint> CopyVertex(const GPoint& point)
{
    auto copy = std::make_unique<GPoint>();
    std::memcpy(&copy->X, &point.X, sizeof point.X);
    std::memcpy(&copy->Y, &point.Y, sizeof point.Y);
    std::memcpy(&copy->Z, &point.Z, sizeof point.Z);
    std::memcpy(&copy->M, &point.M, sizeof point.M);
    return copy;
}

// The stream form's copy of a point list: an empty slot is refused as the stream form refuses it.
void CopyPoints(const GPointList& from, GPointList& to)
{
    to.Reserve(from.Count());
    for (const auto& point : from)
        to.Add(CopyVertex(Vertex(point)));
}

} // namespace

std::unique_ptr<GShape> GShape::Duplicate() const
{
    // Points, lines, polygons and multipoints, the shapes of every run, are copied directly: the
    // stream form would write and read every vertex once more. A missing part becomes an empty
    // one, as it does through the stream.
    const std::type_info& type = typeid(*this);
    if (type == typeid(GPoint))
        return CopyVertex(static_cast<const GPoint&>(*this));
    if (type == typeid(GLine) || type == typeid(GPolygon))
    {
        const auto& self = static_cast<const GLine&>(*this);
        std::unique_ptr<GLine> copy;
        if (type == typeid(GLine))
            copy = std::make_unique<GLine>();
        else
            copy = std::make_unique<GPolygon>();
        copy->Parts.Reserve(self.Parts.Count());
        for (const auto& part : self.Parts)
        {
            auto points = std::make_unique<GPointList>();
            if (part)
                CopyPoints(*part, *points);
            copy->Parts.Add(std::move(points));
        }
        return copy;
    }
    if (type == typeid(GPoints))
    {
        auto copy = std::make_unique<GPoints>();
        CopyPoints(static_cast<const GPoints&>(*this).Points, copy->Points);
        return copy;
    }
    std::unique_ptr<GShape> copy = Clone();
    CarryHeightsAndMeasures(*this, *copy);
    return copy;
}

void GShape::CopyFrom(const GShape& source)
{
    GStream stream;
    stream.Reserve(source.StreamSize());
    source.SaveToStream(stream);
    stream.Rewind();
    LoadFromStream(stream);
}

bool GShape::IsEqual(const GShape& other) const
{
    if (PointCount() != other.PointCount())
        return false;
    // Collect the other's vertices once: indexing a line vertex by vertex would walk its parts
    // for every index.
    std::vector<const GPoint*> theirs;
    theirs.reserve(static_cast<std::size_t>(other.PointCount()));
    other.ForEachPoint([&theirs](const GPoint& point) { theirs.push_back(&point); });
    std::size_t index = 0;
    bool equal = theirs.size() == static_cast<std::size_t>(PointCount());
    ForEachPoint(
        [&](const GPoint& point)
        {
            if (!equal)
                return;
            if (index >= theirs.size() || !SamePoint(point, *theirs[index]))
                equal = false;
            ++index;
        });
    return equal && index == theirs.size();
}

void GShape::CheckPointIndex(int index) const
{
    if (index < 0 || index >= PointCount())
        throw GSpatialException(kIndexOutOfRange);
}

std::unique_ptr<GShape> ReadShape(GStream& stream)
{
    const std::size_t start = stream.Position();
    const std::uint8_t code = stream.ReadByte();
    stream.Seek(start);
    std::unique_ptr<GShape> shape;
    switch (code)
    {
    case scPoint:
        shape = std::make_unique<GPoint>();
        break;
    case scLine:
        shape = std::make_unique<GLine>();
        break;
    case scPolygon:
        shape = std::make_unique<GPolygon>();
        break;
    case scRectangle:
        shape = std::make_unique<GRectangle>();
        break;
    case scEllipse:
        shape = std::make_unique<GEllipse>();
        break;
    case scText:
        shape = std::make_unique<GText>();
        break;
    case scPoints:
        shape = std::make_unique<GPoints>();
        break;
    default:
        throw GSpatialException("Cannot identify class : " + std::to_string(code) + ".");
    }
    shape->LoadFromStream(stream);
    return shape;
}

std::unique_ptr<GPoint> CentrePoint(const GShape& shape)
{
    double x = 0.0;
    double y = 0.0;
    shape.GetCentre(x, y);
    return std::make_unique<GPoint>(x, y, 0.0);
}

bool SameLayout(const GShape& a, const GShape& b)
{
    if (a.ClassCode() != b.ClassCode() || a.PointCount() != b.PointCount())
        return false;
    const auto* lineA = dynamic_cast<const GLine*>(&a);
    const auto* lineB = dynamic_cast<const GLine*>(&b);
    if ((lineA == nullptr) != (lineB == nullptr))
        return false;
    if (lineA == nullptr)
        return true;
    if (lineA->Parts.Count() != lineB->Parts.Count())
        return false;
    for (int k = 0; k < lineA->Parts.Count(); ++k)
    {
        const GPointList* partA = lineA->Parts.GetItem(k);
        const GPointList* partB = lineB->Parts.GetItem(k);
        if ((partA ? partA->Count() : 0) != (partB ? partB->Count() : 0))
            return false;
    }
    return true;
}

namespace
{

// Copied as bytes: a signalling NaN must not be quietened on the way.
void CarryVertex(const GPoint& from, GPoint& to)
{
    std::memcpy(&to.Z, &from.Z, sizeof to.Z);
    std::memcpy(&to.M, &from.M, sizeof to.M);
}

} // namespace

bool CarryHeightsAndMeasures(const GShape& source, GShape& target)
{
    // Points and lines, walked directly: every shape of a run passes here several times.
    if (typeid(source) == typeid(GPoint) && typeid(target) == typeid(GPoint))
    {
        CarryVertex(static_cast<const GPoint&>(source), static_cast<GPoint&>(target));
        return true;
    }
    if (!SameLayout(source, target))
        return false;
    if (const auto* line = dynamic_cast<const GLine*>(&source))
    {
        auto& to = dynamic_cast<GLine&>(target);
        for (int k = 0; k < line->Parts.Count(); ++k)
        {
            const GPointList* partFrom = line->Parts.GetItem(k);
            GPointList* partTo = to.Parts.GetItem(k);
            if (partFrom == nullptr || partTo == nullptr)
                continue; // empty on both sides (SameLayout)
            for (int i = 0; i < partFrom->Count(); ++i)
            {
                const GPoint* from = partFrom->GetItem(i);
                GPoint* into = partTo->GetItem(i);
                if (from != nullptr && into != nullptr)
                    CarryVertex(*from, *into);
            }
        }
        return true;
    }
    std::vector<const GPoint*> from;
    from.reserve(static_cast<std::size_t>(source.PointCount()));
    source.ForEachPoint([&from](const GPoint& point) { from.push_back(&point); });
    std::size_t index = 0;
    target.ForEachPoint([&](GPoint& point) { CarryVertex(*from[index++], point); });
    return true;
}

// ---------------------------------------------------------------------------------------------
// GPoint

void* GPoint::operator new(std::size_t size)
{
    return size == kPointBlockSize ? AllocatePointBlock() : ::operator new(size);
}

void GPoint::operator delete(void* pointer, std::size_t size) noexcept
{
    if (size == kPointBlockSize)
        FreePointBlock(pointer);
    else
        ::operator delete(pointer);
}

void GPoint::GetCentre(double& x, double& y) const
{
    x = X;
    y = Y;
}

std::uint32_t GPoint::StreamSize() const
{
    return static_cast<std::uint32_t>(kPointReserveBytes);
}

std::uint8_t GPoint::ClassCode() const
{
    return scPoint;
}

GPoint& GPoint::GetPoint(int index)
{
    CheckPointIndex(index);
    return *this;
}

int GPoint::PointCount() const
{
    return 1;
}

std::unique_ptr<GRectangle> GPoint::GetExtent() const
{
    return std::make_unique<GRectangle>(X, Y, X, Y);
}

void GPoint::LoadFromStream(GStream& stream)
{
    GShape::LoadFromStream(stream);
    X = stream.ReadDouble();
    Y = stream.ReadDouble();
    Z = 0.0;
    M = 0.0;
}

void GPoint::SaveToStream(GStream& stream) const
{
    GShape::SaveToStream(stream);
    stream.WriteDouble(X);
    stream.WriteDouble(Y);
}

void GPoint::ForEachPoint(const std::function<void(GPoint&)>& visit)
{
    visit(*this);
}

// ---------------------------------------------------------------------------------------------
// GPointList

std::uint32_t GPointList::StreamSize() const
{
    return ClampToUInt32(kPointReserveBytes * static_cast<std::uint64_t>(Count()) + kCountBytes);
}

void GPointList::SaveToStream(GStream& stream) const
{
    stream.WriteInt32(Count());
    for (const auto& point : *this)
        Vertex(point).SaveToStream(stream);
}

void GPointList::LoadFromStream(GStream& stream)
{
    Clear();
    const std::int32_t count = ReadCount(stream, "point count", kPointFormBytes);
    Reserve(count);
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto point = std::make_unique<GPoint>();
        point->LoadFromStream(stream);
        Add(std::move(point));
    }
}

std::unique_ptr<GRectangle> GPointList::GetExtent() const
{
    if (IsEmpty())
        return nullptr;
    const GPoint& first = Vertex(*begin());
    double left = first.X;
    double right = first.X;
    double bottom = first.Y;
    double top = first.Y;
    for (const auto& item : *this)
    {
        const GPoint& point = Vertex(item);
        left = Min(left, point.X);
        right = Max(right, point.X);
        bottom = Min(bottom, point.Y);
        top = Max(top, point.Y);
    }
    return std::make_unique<GRectangle>(left, bottom, right, top);
}

double GPointList::MaximumDistance(const GShape& shape) const
{
    if (IsEmpty())
        throw GSpatialException("No points in the list");
    double cx = 0.0;
    double cy = 0.0;
    shape.GetCentre(cx, cy);
    double maximum = 0.0;
    bool first = true;
    for (const auto& item : *this)
    {
        const GPoint& point = Vertex(item);
        const double d = Distance(cx, cy, point.X, point.Y);
        maximum = first ? d : Max(d, maximum);
        first = false;
    }
    return maximum;
}

// ---------------------------------------------------------------------------------------------
// GRectangle

GRectangle::GRectangle(double left, double bottom, double right, double top)
    : TopLeft(left, top), BottomRight(right, bottom)
{
}

double GRectangle::Width() const
{
    return static_cast<double>(std::fabs(static_cast<long double>(Right()) - Left()));
}

double GRectangle::Height() const
{
    return static_cast<double>(std::fabs(static_cast<long double>(Top()) - Bottom()));
}

bool GRectangle::IsEmpty() const
{
    return Width() == 0.0 && Height() == 0.0 && Left() == 0.0 && Top() == 0.0;
}

std::unique_ptr<GRectangle> GRectangle::Intersection(const GRectangle& other) const
{
    if (other.Left() > Right() || other.Bottom() > Top() || other.Right() < Left() ||
        other.Top() < Bottom())
        return nullptr;
    return std::make_unique<GRectangle>(Max(Left(), other.Left()), Max(Bottom(), other.Bottom()),
                                        Min(Right(), other.Right()), Min(Top(), other.Top()));
}

bool GRectangle::ContainsPoint(const GPoint& point) const
{
    return Left() <= point.X && point.X <= Right() && Bottom() <= point.Y && point.Y <= Top();
}

bool GRectangle::Contains(const GShape& shape) const
{
    const auto extent = shape.GetExtent();
    if (!extent)
        return false;
    // Containment in the normalised rectangle, so that a reversed or zero-width rectangle holds
    // only what lies between its sides.
    const double low_x = Min(Left(), Right());
    const double high_x = Max(Left(), Right());
    const double low_y = Min(Bottom(), Top());
    const double high_y = Max(Bottom(), Top());
    return low_x <= extent->Left() && high_x >= extent->Right() && low_y <= extent->Bottom() &&
           high_y >= extent->Top();
}

void GRectangle::Union(const GRectangle& other)
{
    if (IsEmpty())
    {
        CopyFrom(other);
        return;
    }
    Grow(*this, other);
}

void GRectangle::ScaleAboutCentre(double factor)
{
    double cx = 0.0;
    double cy = 0.0;
    GetCentre(cx, cy);
    const long double w = static_cast<long double>(Width()) * factor;
    const long double h = static_cast<long double>(Height()) * factor;
    const auto low_x = static_cast<double>(cx - w / 2);
    const auto high_x = static_cast<double>(w / 2 + cx);
    const auto low_y = static_cast<double>(cy - h / 2);
    const auto high_y = static_cast<double>(h / 2 + cy);
    if (Right() > Left())
    {
        SetLeft(low_x);
        SetRight(high_x);
    }
    else
    {
        SetRight(low_x);
        SetLeft(high_x);
    }
    if (Top() > Bottom())
    {
        SetBottom(low_y);
        SetTop(high_y);
    }
    else
    {
        SetTop(low_y);
        SetBottom(high_y);
    }
}

void GRectangle::Normalize()
{
    if (Right() < Left())
        std::swap(TopLeft.X, BottomRight.X);
    if (Top() < Bottom())
        std::swap(TopLeft.Y, BottomRight.Y);
}

void GRectangle::GetCentre(double& x, double& y) const
{
    const long double left = Left();
    const long double bottom = Bottom();
    x = static_cast<double>(left + (Right() - left) / 2);
    y = static_cast<double>(bottom + (Top() - bottom) / 2);
}

std::uint32_t GRectangle::StreamSize() const
{
    return static_cast<std::uint32_t>(kPointReserveBytes + 1 + kPointReserveBytes);
}

std::uint8_t GRectangle::ClassCode() const
{
    return scRectangle;
}

GPoint& GRectangle::GetPoint(int index)
{
    CheckPointIndex(index);
    return index == 0 ? TopLeft : BottomRight;
}

int GRectangle::PointCount() const
{
    return 2;
}

std::unique_ptr<GRectangle> GRectangle::GetExtent() const
{
    auto extent = NewOfSameClass();
    SetSides(*extent, *this);
    extent->Normalize();
    return extent;
}

void GRectangle::LoadFromStream(GStream& stream)
{
    GShape::LoadFromStream(stream);
    TopLeft.LoadFromStream(stream);
    BottomRight.LoadFromStream(stream);
}

void GRectangle::SaveToStream(GStream& stream) const
{
    GShape::SaveToStream(stream);
    TopLeft.SaveToStream(stream);
    BottomRight.SaveToStream(stream);
}

void GRectangle::ClipTo(const GRectangle& rectangle)
{
    if (const auto overlap = Intersection(rectangle))
    {
        CopyFrom(*overlap);
        return;
    }
    SetLeft(0.0);
    SetTop(0.0);
    SetRight(0.0);
    SetBottom(0.0);
}

void GRectangle::ForEachPoint(const std::function<void(GPoint&)>& visit)
{
    visit(TopLeft);
    visit(BottomRight);
}

std::unique_ptr<GRectangle> GRectangle::NewOfSameClass() const
{
    return std::make_unique<GRectangle>();
}

// ---------------------------------------------------------------------------------------------
// GEllipse

std::uint8_t GEllipse::ClassCode() const
{
    return scEllipse;
}

std::unique_ptr<GRectangle> GEllipse::NewOfSameClass() const
{
    return std::make_unique<GEllipse>();
}

// ---------------------------------------------------------------------------------------------
// GPoints

void GPoints::GetCentre(double& x, double& y) const
{
    x = 0.0;
    y = 0.0;
    if (const auto extent = GetExtent())
        extent->GetCentre(x, y);
}

std::uint32_t GPoints::StreamSize() const
{
    return ClampToUInt32(static_cast<std::uint64_t>(Points.StreamSize()) + 1);
}

std::uint8_t GPoints::ClassCode() const
{
    return scPoints;
}

GPoint& GPoints::GetPoint(int index)
{
    CheckPointIndex(index);
    return Vertex(*(Points.begin() + index));
}

int GPoints::PointCount() const
{
    return Points.Count();
}

std::unique_ptr<GRectangle> GPoints::GetExtent() const
{
    return Points.GetExtent();
}

void GPoints::LoadFromStream(GStream& stream)
{
    GShape::LoadFromStream(stream);
    Points.LoadFromStream(stream);
}

void GPoints::SaveToStream(GStream& stream) const
{
    GShape::SaveToStream(stream);
    Points.SaveToStream(stream);
}

void GPoints::ClipTo(const GRectangle& rectangle)
{
    for (int i = 0; i < Points.Count(); ++i)
        if (!rectangle.ContainsPoint(Vertex(*(Points.begin() + i))))
            Points.Extract(i); // freed here; the slot is packed below
    Points.Pack();
}

void GPoints::ForEachPoint(const std::function<void(GPoint&)>& visit)
{
    for (const auto& point : Points)
        visit(Vertex(point));
}

// ---------------------------------------------------------------------------------------------
// GLine

void GLine::GetCentre(double& x, double& y) const
{
    x = 0.0;
    y = 0.0;
    if (const auto extent = GetExtent())
        extent->GetCentre(x, y);
}

std::uint32_t GLine::StreamSize() const
{
    return ClampToUInt32(1 + PartsStreamSize(Parts));
}

std::uint8_t GLine::ClassCode() const
{
    return scLine;
}

GPoint& GLine::GetPoint(int index)
{
    CheckPointIndex(index);
    for (const auto& part : Parts)
    {
        if (!part)
            continue;
        if (index < part->Count())
            return Vertex(*(part->begin() + index));
        index -= part->Count();
    }
    throw GSpatialException(kIndexOutOfRange);
}

int GLine::PointCount() const
{
    std::int64_t count = 0;
    for (const auto& part : Parts)
        if (part)
            count += part->Count();
    return static_cast<int>(count);
}

std::unique_ptr<GRectangle> GLine::GetExtent() const
{
    std::unique_ptr<GRectangle> extent;
    for (const auto& part : Parts)
    {
        if (!part)
            continue;
        const auto partExtent = part->GetExtent();
        if (!partExtent)
            continue;
        if (!extent)
        {
            extent = std::make_unique<GRectangle>();
            SetSides(*extent, *partExtent);
        }
        else
            Grow(*extent, *partExtent);
    }
    return extent;
}

void GLine::LoadFromStream(GStream& stream)
{
    GShape::LoadFromStream(stream);
    Parts.Clear();
    const std::int32_t count = ReadCount(stream, "part count", kCountBytes);
    Parts.Reserve(count);
    for (std::int32_t i = 0; i < count; ++i)
    {
        auto part = std::make_unique<GPointList>();
        part->LoadFromStream(stream);
        Parts.Add(std::move(part));
    }
}

void GLine::SaveToStream(GStream& stream) const
{
    GShape::SaveToStream(stream);
    stream.WriteInt32(Parts.Count());
    for (const auto& part : Parts)
    {
        if (part)
            part->SaveToStream(stream);
        else
            stream.WriteInt32(0);
    }
}

namespace
{

// Cohen-Sutherland outcode bits.
constexpr int kLeftOf = 1;
constexpr int kRightOf = 2;
constexpr int kBelow = 4;
constexpr int kAbove = 8;

struct Sides
{
    double left;
    double bottom;
    double right;
    double top;
};

int OutCode(double x, double y, const Sides& r)
{
    int code = 0;
    if (x < r.left)
        code |= kLeftOf;
    else if (x > r.right)
        code |= kRightOf;
    if (y < r.bottom)
        code |= kBelow;
    else if (y > r.top)
        code |= kAbove;
    return code;
}

struct SegmentEnd
{
    double x;
    double y;
    bool moved = false;
};

// Cuts the segment a-b to r; false when nothing of it is visible. Each round moves one end onto
// one side; rounding may leave an end a hair outside another side, so the rounds are bounded.
bool ClipSegment(SegmentEnd& a, SegmentEnd& b, const Sides& r)
{
    int codeA = OutCode(a.x, a.y, r);
    int codeB = OutCode(b.x, b.y, r);
    for (int round = 0; round < 8; ++round)
    {
        if ((codeA | codeB) == 0)
            return true;
        if ((codeA & codeB) != 0)
            return false;
        const bool moveA = codeA != 0;
        const int code = moveA ? codeA : codeB;
        const long double x0 = a.x;
        const long double y0 = a.y;
        const long double dx = static_cast<long double>(b.x) - a.x;
        const long double dy = static_cast<long double>(b.y) - a.y;
        long double x = 0;
        long double y = 0;
        // Whenever an end is outside a side and the other is not, the difference across that
        // side is non-zero, so none of these divisions is by zero.
        if ((code & kAbove) != 0)
        {
            x = x0 + dx * (r.top - y0) / dy;
            y = r.top;
        }
        else if ((code & kBelow) != 0)
        {
            x = x0 + dx * (r.bottom - y0) / dy;
            y = r.bottom;
        }
        else if ((code & kRightOf) != 0)
        {
            y = y0 + dy * (r.right - x0) / dx;
            x = r.right;
        }
        else
        {
            y = y0 + dy * (r.left - x0) / dx;
            x = r.left;
        }
        SegmentEnd& end = moveA ? a : b;
        end.x = static_cast<double>(x);
        end.y = static_cast<double>(y);
        end.moved = true;
        (moveA ? codeA : codeB) = OutCode(end.x, end.y, r);
    }
    return false;
}

std::unique_ptr<GPoint> EndPoint(const SegmentEnd& end, const GPoint& original)
{
    if (end.moved)
        return std::make_unique<GPoint>(end.x, end.y, 0.0);
    return std::make_unique<GPoint>(original.X, original.Y, original.Z, original.M);
}

std::unique_ptr<GPointList> CopyPart(const GPointList& part)
{
    auto copy = std::make_unique<GPointList>();
    copy->Reserve(part.Count());
    for (const auto& item : part)
    {
        const GPoint& point = Vertex(item);
        copy->Add(std::make_unique<GPoint>(point.X, point.Y, point.Z, point.M));
    }
    return copy;
}

} // namespace

void GLine::ClipTo(const GRectangle& rectangle)
{
    const Sides r{rectangle.Left(), rectangle.Bottom(), rectangle.Right(), rectangle.Top()};
    GPartList clipped;
    for (const auto& part : Parts)
    {
        if (!part || part->IsEmpty())
            continue;
        const auto extent = part->GetExtent();
        if (!extent->Intersection(rectangle))
            continue;
        if (part->Count() < 2 || rectangle.Contains(*extent))
        {
            clipped.Add(CopyPart(*part));
            continue;
        }
        GPointList* current = nullptr;
        for (int k = 1; k < part->Count(); ++k)
        {
            const GPoint& p0 = Vertex(*(part->begin() + (k - 1)));
            const GPoint& p1 = Vertex(*(part->begin() + k));
            SegmentEnd a{p0.X, p0.Y};
            SegmentEnd b{p1.X, p1.Y};
            if (!ClipSegment(a, b, r))
            {
                current = nullptr;
                continue;
            }
            auto first = EndPoint(a, p0);
            auto second = EndPoint(b, p1);
            if (current != nullptr && !current->IsEmpty() &&
                SamePoint(Vertex(*(current->end() - 1)), *first))
            {
                current->Add(std::move(second));
                continue;
            }
            auto output = std::make_unique<GPointList>();
            output->Add(std::move(first));
            output->Add(std::move(second));
            current = output.get();
            clipped.Add(std::move(output));
        }
    }
    Parts.Clear();
    Parts.AppendFrom(clipped);
}

void GLine::ForEachPoint(const std::function<void(GPoint&)>& visit)
{
    for (const auto& part : Parts)
        if (part)
            for (const auto& point : *part)
                visit(Vertex(point));
}

// ---------------------------------------------------------------------------------------------
// GPolygon

std::uint8_t GPolygon::ClassCode() const
{
    return scPolygon;
}

namespace
{

struct DirectedEdge
{
    double ax;
    double ay;
    double bx;
    double by;
};

// Strictly left of the directed edge; a vertex on the edge counts as outside.
bool Inside(const DirectedEdge& e, const GPoint& v)
{
    const long double cross =
        (static_cast<long double>(e.bx) - e.ax) * (static_cast<long double>(v.Y) - e.ay) -
        (static_cast<long double>(e.by) - e.ay) * (static_cast<long double>(v.X) - e.ax);
    return cross > 0;
}

// Where previous->current crosses the edge's line. The two ends lie on different sides (one
// strictly inside), so the difference divided by is never zero.
std::unique_ptr<GPoint> Crossing(const DirectedEdge& e, const GPoint& previous,
                                 const GPoint& current)
{
    const long double px = previous.X;
    const long double py = previous.Y;
    const long double dx = static_cast<long double>(current.X) - px;
    const long double dy = static_cast<long double>(current.Y) - py;
    if (e.ax == e.bx)
        return std::make_unique<GPoint>(e.ax, static_cast<double>(py + dy * (e.ax - px) / dx), 0.0);
    return std::make_unique<GPoint>(static_cast<double>(px + dx * (e.ay - py) / dy), e.ay, 0.0);
}

} // namespace

void GPolygon::ClipTo(const GRectangle& rectangle)
{
    const double left = rectangle.Left();
    const double bottom = rectangle.Bottom();
    const double right = rectangle.Right();
    const double top = rectangle.Top();
    const DirectedEdge edges[4] = {{left, bottom, right, bottom},
                                   {right, bottom, right, top},
                                   {right, top, left, top},
                                   {left, top, left, bottom}};
    for (const auto& part : Parts)
    {
        if (!part)
            continue;
        std::vector<std::unique_ptr<GPoint>> input;
        input.reserve(static_cast<std::size_t>(part->Count()));
        for (int i = 0; i < part->Count(); ++i)
        {
            Vertex(*(part->begin() + i));
            input.push_back(part->Extract(i));
        }
        part->Clear();
        for (const DirectedEdge& edge : edges)
        {
            if (input.empty())
                break;
            std::vector<std::unique_ptr<GPoint>> output;
            output.reserve(input.size() + 4);
            // Raw pointers stay valid: every vertex is owned by input or output until the end
            // of this pass.
            const GPoint* previous = input.back().get();
            bool previousInside = Inside(edge, *previous);
            for (auto& slot : input)
            {
                const GPoint* current = slot.get();
                const bool currentInside = Inside(edge, *current);
                if (currentInside)
                {
                    if (!previousInside)
                        output.push_back(Crossing(edge, *previous, *current));
                    output.push_back(std::move(slot));
                }
                else if (previousInside)
                    output.push_back(Crossing(edge, *previous, *current));
                previous = current;
                previousInside = currentInside;
            }
            input = std::move(output);
        }
        part->Reserve(static_cast<int>(input.size()));
        for (auto& vertex : input)
            part->Add(std::move(vertex));
    }
}

// ---------------------------------------------------------------------------------------------
// GText

std::uint32_t GText::StreamSize() const
{
    std::uint64_t size = 1 + PartsStreamSize(Parts) + kCountBytes;
    for (const auto& line : Lines)
        size += kCountBytes + line.size();
    return ClampToUInt32(size);
}

std::uint8_t GText::ClassCode() const
{
    return scText;
}

void GText::LoadFromStream(GStream& stream)
{
    Lines.clear();
    GLine::LoadFromStream(stream);
    const std::int32_t count = ReadCount(stream, "line count", kCountBytes);
    Lines.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
    {
        const std::int32_t length = ReadCount(stream, "line length", 1);
        std::string line(static_cast<std::size_t>(length), '\0');
        stream.Read(line.data(), line.size());
        Lines.push_back(std::move(line));
    }
}

void GText::SaveToStream(GStream& stream) const
{
    GLine::SaveToStream(stream);
    stream.WriteInt32(static_cast<std::int32_t>(Lines.size()));
    for (const auto& line : Lines)
    {
        stream.WriteInt32(static_cast<std::int32_t>(line.size()));
        stream.Write(line.data(), line.size());
    }
}

// ---------------------------------------------------------------------------------------------
// GShapeList

std::unique_ptr<GRectangle> GShapeList::GetExtent() const
{
    auto result = std::make_unique<GRectangle>();
    bool any = false;
    for (const auto& shape : *this)
    {
        if (!shape)
            continue;
        const auto extent = shape->GetExtent();
        if (!extent)
            continue;
        if (!any)
            SetSides(*result, *extent);
        else
            Grow(*result, *extent);
        any = true;
    }
    return result;
}

} // namespace quorvalis
