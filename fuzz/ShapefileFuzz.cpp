// Feeds arbitrary ".shp"/".shx" images to the shapefile reader. The first four bytes
// (little-endian) give the length of the ".shx" image (modulo what is left); the ".shp" image is
// the rest. Anything the reader accepts must write out, read back to the same shapes, and write
// out again to the same bytes, heights and measures included.
#include "database/ShapefileDatabase.h"
#include "fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

using namespace quorvalis;
using quorvalis::fuzz::Check;

namespace
{

// Every vertex's X, Y, Z and M as bit patterns: heights and measures are carried as read, NaN
// included, which no comparison of values would show.
std::vector<std::uint64_t> VertexBits(const GShape& shape)
{
    std::vector<std::uint64_t> bits;
    shape.ForEachPoint(
        [&bits](const GPoint& point)
        {
            for (const double value : {point.X, point.Y, point.Z, point.M})
            {
                std::uint64_t word = 0;
                std::memcpy(&word, &value, sizeof word);
                bits.push_back(word);
            }
        });
    return bits;
}

std::vector<int> PartSizes(const GShape& shape)
{
    std::vector<int> sizes;
    if (const auto* line = dynamic_cast<const GLine*>(&shape))
        for (const auto& part : line->Parts)
            sizes.push_back(part->Count());
    return sizes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint32_t announced = std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) |
                                    (std::uint32_t{data[2]} << 16) | (std::uint32_t{data[3]} << 24);
    const std::size_t rest = size - 4;
    const std::size_t shxSize = announced % (rest + 1);
    const std::span<const std::uint8_t> shx(data + 4, shxSize);
    const std::span<const std::uint8_t> shp(data + 4 + shxSize, rest - shxSize);

    GShapefile file;
    try
    {
        file.OpenImages("fuzz.shp", shp, shx);
    }
    catch (const GShapefileException&)
    {
        Check(!file.IsOpen());
        return 0;
    }
    Check(file.IsOpen() && file.Count() == static_cast<int>((shx.size() - 100) / 8));

    const GShapefileImages first = file.SaveToImages();
    GShapefile again;
    again.OpenImages("fuzz.shp", first.Shp, first.Shx); // must not throw
    Check(again.Count() == file.Count() && again.ShapeType() == file.ShapeType() &&
          again.FileShapeType() == file.FileShapeType());
    for (int i = 0; i < file.Count(); ++i)
    {
        const GShape* a = file.GetShape(i);
        const GShape* b = again.GetShape(i);
        Check(a != nullptr && b != nullptr);
        Check(VertexBits(*a) == VertexBits(*b) && PartSizes(*a) == PartSizes(*b));
    }
    const GShapefileImages second = again.SaveToImages();
    Check(second.Shp == first.Shp && second.Shx == first.Shx);
    return 0;
}
