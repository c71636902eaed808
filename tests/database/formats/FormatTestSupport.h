// Helpers shared by the file format tests: scratch folders, whole-file access, shape builders.
#pragma once

#include "geometry/Spatial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace quorvalis::testing
{

/// A fresh folder under the build tree, removed at the end of the test.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info ? std::string(info->test_suite_name()) + "." + info->name()
                                : std::string("scratch");
        for (char& c : name)
            if (c == '/')
                c = '_';
        path_ = std::filesystem::path(QUORVALIS_BINARY_DIR) / "test-scratch" / "formats" / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

    /// Names of every file in the folder (to find leftovers).
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using PartPoints = std::vector<std::pair<double, double>>;

/// A line (or polygon, when polygon is set) with the given parts.
inline std::unique_ptr<GLine> MakeLine(std::initializer_list<PartPoints> parts,
                                       bool polygon = false)
{
    std::unique_ptr<GLine> line =
        polygon ? std::make_unique<GPolygon>() : std::make_unique<GLine>();
    for (const auto& given : parts)
    {
        auto part = std::make_unique<GPointList>();
        for (const auto& [x, y] : given)
            part->Add(std::make_unique<GPoint>(x, y));
        line->Parts.Add(std::move(part));
    }
    return line;
}

/// A ring of n vertices around (cx, cy), closed (last vertex equals the first), clockwise.
inline PartPoints Ring(double cx, double cy, double radius, int n)
{
    PartPoints ring;
    for (int i = 0; i < n; ++i)
    {
        const double a = -2.0 * 3.14159265358979323846 * i / n;
        ring.emplace_back(cx + radius * std::cos(a), cy + radius * std::sin(a));
    }
    ring.push_back(ring.front());
    return ring;
}

/// Every X and Y of a shape, in flat vertex order.
inline std::vector<double> Coordinates(const GShape& shape)
{
    std::vector<double> values;
    for (int i = 0; i < shape.PointCount(); ++i)
    {
        values.push_back(shape.GetPoint(i).X);
        values.push_back(shape.GetPoint(i).Y);
    }
    return values;
}

/// Point counts of the parts of a line or polygon.
inline std::vector<int> PartSizes(const GShape& shape)
{
    std::vector<int> sizes;
    if (const auto* line = dynamic_cast<const GLine*>(&shape))
        for (const auto& part : line->Parts)
            sizes.push_back(part->Count());
    return sizes;
}

/// The message of the exception action raises ("no error" when it raises none).
template <class F> std::string MessageOf(F&& action)
{
    try
    {
        action();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no error";
}

/// The 100-byte header of an empty ".shp" (and ".shx") of a shapefile shape type (1, 3, 5).
inline std::vector<std::uint8_t> EmptyShapefileHeader(std::uint8_t shapefileType)
{
    std::vector<std::uint8_t> header(100, 0);
    header[2] = 0x27;
    header[3] = 0x0A; // 9994, big-endian
    header[27] = 50;  // 50 words, big-endian
    header[28] = 0xE8;
    header[29] = 0x03; // version 1000, little-endian
    header[32] = shapefileType;
    return header;
}

} // namespace quorvalis::testing
