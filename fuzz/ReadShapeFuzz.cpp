// Feeds arbitrary bytes to the shape stream reader. Anything it accepts must save, read back to
// the same bytes and the same vertices, and survive extents and both clipping algorithms.
#include "fuzz/FuzzCheck.h"
#include "geometry/Spatial.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace quorvalis;
using quorvalis::fuzz::Check;

namespace
{

// The largest coordinate magnitude of a shape (NaN left out) and whether any coordinate is NaN.
struct Magnitude
{
    double largest = 0.0;
    bool nan = false;

    // Every coordinate a finite number below 1e100.
    bool Tame() const { return !nan && largest < 1e100; }
};

Magnitude MagnitudeOf(const GShape& shape)
{
    Magnitude m;
    shape.ForEachPoint(
        [&m](const GPoint& p)
        {
            m.nan = m.nan || std::isnan(p.X) || std::isnan(p.Y);
            m.largest = std::fmax(m.largest, std::fmax(std::fabs(p.X), std::fabs(p.Y)));
        });
    return m;
}

// After clipping to a finite box, every vertex lies in the box up to rounding. Intersections
// are interpolated along the input's segments, so rounding scales with the input's magnitude.
void CheckInside(const GShape& shape, const GRectangle& box, double inputMagnitude)
{
    const auto near = [inputMagnitude](double v, double low, double high)
    {
        const double slack = 1e-9 * (1.0 + std::fabs(low) + std::fabs(high) + inputMagnitude);
        return v >= low - slack && v <= high + slack;
    };
    shape.ForEachPoint(
        [&](const GPoint& p)
        {
            Check(near(p.X, box.Left(), box.Right()));
            Check(near(p.Y, box.Bottom(), box.Top()));
        });
}

void ClipAndCheck(const GShape& original, const GRectangle& box)
{
    auto copy = original.Clone();
    const Magnitude magnitude = MagnitudeOf(*copy);
    copy->ClipTo(box);
    // A point does not clip, and a rectangle apart from the box becomes the one at the origin.
    const std::uint8_t code = copy->ClassCode();
    if (magnitude.Tame() &&
        (code == scLine || code == scPolygon || code == scText || code == scPoints))
        CheckInside(*copy, box, magnitude.largest);
    // What clipping leaves must still be a valid stream form.
    GStream stream;
    copy->SaveToStream(stream);
    Check(stream.Size() <= copy->StreamSize());
    stream.Rewind();
    ReadShape(stream);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    GStream input(std::vector<std::uint8_t>(data, data + size));
    std::unique_ptr<GShape> shape;
    try
    {
        shape = ReadShape(input);
    }
    catch (const GSpatialException&)
    {
        return 0;
    }

    GStream saved;
    shape->SaveToStream(saved);
    Check(saved.Size() <= shape->StreamSize());
    saved.Rewind();
    const auto again = ReadShape(saved); // a form we wrote must always read back
    Check(again->ClassCode() == shape->ClassCode());
    GStream resaved;
    again->SaveToStream(resaved);
    Check(resaved.Bytes() == saved.Bytes());
    // Everything read has Z = 0, so IsEqual compares X and Y only; NaN never equals itself.
    const Magnitude magnitude = MagnitudeOf(*shape);
    if (!magnitude.nan)
        Check(shape->IsEqual(*again));

    const auto extent = shape->GetExtent();
    Check((extent == nullptr) == (shape->PointCount() == 0));
    if (extent && magnitude.Tame())
    {
        Check(extent->Contains(*shape));
        auto half = extent->Clone();
        auto* box = static_cast<GRectangle*>(half.get());
        box->ScaleAboutCentre(0.5);
        ClipAndCheck(*shape, *box);
    }
    ClipAndCheck(*shape, GRectangle(-1.0, -1.0, 1.0, 1.0));
    return 0;
}
