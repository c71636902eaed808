// Helpers shared by the database tests: scratch folders, sample files, whole-file access, messages,
// shape builders and definition files.
#pragma once

#include "database/Database.h"
#include "geometry/Spatial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace quorvalis::testing
{

/// Names of the plain files in a folder, sorted (to find leftovers).
inline std::vector<std::string> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// A fresh folder under the build tree, removed at the end of the test.
class ScratchFolder
{
public:
    ScratchFolder()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        path_ = std::filesystem::path(QUORVALIS_BINARY_DIR) / "test-scratch" / "database" / name;
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

    std::vector<std::string> Files() const { return FilesIn(path_); }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text)
{
    WriteBytes(path, {text.begin(), text.end()});
}

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    const std::string text = ReadText(path);
    return {text.begin(), text.end()};
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

/// The point a record set handed out.
inline const GPoint& AsPoint(const std::unique_ptr<GShape>& shape)
{
    return dynamic_cast<const GPoint&>(*shape);
}

/// Moves every point of the record set by (dx, dy) and flushes: the transform run's walk. spoil
/// changes each point further (as a careless chain might); beforeFlush runs just before the flush.
inline void MoveAll(GRecordSet& recordSet, double dx, double dy,
                    const std::function<void(GPoint&)>& spoil = {},
                    const std::function<void()>& beforeFlush = {})
{
    for (recordSet.First(); !recordSet.Eof(); recordSet.Next())
    {
        std::unique_ptr<GShape> shape = recordSet.GetShape();
        if (!shape)
            continue;
        shape->ForEachPoint(
            [&](GPoint& p)
            {
                p.X += dx;
                p.Y += dy;
                if (spoil)
                    spoil(p);
            });
        recordSet.Edit();
        recordSet.SetShape(*shape);
        recordSet.Post();
    }
    if (beforeFlush)
        beforeFlush();
    recordSet.Flush();
}

/// The message of the Exception that action raises ("no error" when it raises none; an exception
/// of another class escapes and fails the test).
template <class Exception = std::exception, class F> std::string MessageOf(F&& action)
{
    try
    {
        action();
    }
    catch (const Exception& e)
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

/// Puts a shapefile's big-endian word at the offset.
inline void PutBig(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

/// Puts a shapefile's little-endian number at the offset (this machine's order too).
template <class T> void PutLittle(std::vector<std::uint8_t>& bytes, std::size_t at, T value)
{
    static_assert(std::endian::native == std::endian::little);
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

/// Copies sample files of the repository into the folder; false when one is not there.
inline bool CopySamples(const ScratchFolder& folder, std::initializer_list<std::string> names)
{
    const auto samples = std::filesystem::path(QUORVALIS_SOURCE_DIR) / "samples";
    for (const std::string& name : names)
    {
        if (!std::filesystem::exists(samples / name))
            return false;
        std::filesystem::copy_file(samples / name, folder.Path() / name);
    }
    return true;
}

/// One field of a text definition file (type 4 is a string, 2 a float, 1 an integer, 6 a blob).
struct FieldLayout
{
    FieldLayout(std::string name, std::uint8_t type = 4, std::int32_t start = 0,
                std::int32_t width = 0, std::string format = "", std::uint8_t alignment = 0)
        : Name(std::move(name)), Type(type), Start(start), Width(width), Format(std::move(format)),
          Alignment(alignment)
    {
    }
    std::string Name;
    std::uint8_t Type;
    std::int32_t Start;
    std::int32_t Width;
    std::string Format;
    std::uint8_t Alignment;
};

inline void PutInt(std::vector<std::uint8_t>& out, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void PutBlock(std::vector<std::uint8_t>& out, const std::string& text)
{
    PutInt(out, static_cast<std::int32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

/// A text definition file as the other tool writes it (file type 0 fixed width, 1 delimited).
inline std::vector<std::uint8_t> DefinitionBytes(std::uint8_t fileType, char delimiter, bool header,
                                                 const std::vector<FieldLayout>& fields)
{
    std::vector<std::uint8_t> out{fileType, static_cast<std::uint8_t>(delimiter),
                                  static_cast<std::uint8_t>(header ? 1 : 0)};
    PutInt(out, static_cast<std::int32_t>(fields.size()));
    for (const auto& f : fields)
    {
        PutBlock(out, f.Name);
        PutBlock(out, f.Format);
        PutInt(out, f.Start);
        PutInt(out, f.Width);
        out.push_back(f.Alignment);
        out.push_back(f.Type);
    }
    return out;
}

} // namespace quorvalis::testing
