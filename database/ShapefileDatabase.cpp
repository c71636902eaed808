#include "database/ShapefileDatabase.h"

#include "database/DataSourceDialog.h"
#include "database/FileFormat.h"
#include "database/SidecarFiles.h"
#include "database/engine/Query.h"
#include "database/engine/Text.h"
#include "geometry/Files.h"
#include "geometry/Platform.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <numeric>
#include <system_error>
#include <typeinfo>
#include <utility>

namespace quorvalis
{

namespace
{

constexpr std::size_t kHeaderSize = 100;
constexpr std::size_t kIndexEntrySize = 8;
constexpr std::size_t kRecordHeaderSize = 8;
constexpr std::uint32_t kFileCode = 9994;
constexpr std::int32_t kVersion = 1000;
constexpr std::size_t kWriteBufferSize = std::size_t{1} << 20;
// Content sizes of the three record kinds (bytes).
constexpr std::int64_t kPointContent = 20;
constexpr std::int64_t kMultiPartFixedContent = 44;
constexpr std::int64_t kMultiPointFixedContent = 40;
// Largest file the 32-bit signed length in 16-bit words can describe.
constexpr std::int64_t kMaximumFileBytes =
    std::int64_t{std::numeric_limits<std::int32_t>::max()} * 2;

// ---- byte order (the little-endian numbers come from FileFormat.h) ---------------------------

std::uint32_t GetBig32(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

void PutBig32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// ---- names ------------------------------------------------------------------------------------

// The ".shp" and ".shx" of a shapefile name.
struct PairPaths
{
    std::string Shp;
    std::string Shx;
};

PairPaths PathsOf(const std::string& fileName)
{
    return {SiblingFile(fileName, ".shp"), SiblingFile(fileName, ".shx")};
}

// The extensions of the files beside a shapefile that a rewrite changes: the declaration and
// the spatial indexes.
constexpr const char* kIndexExtensions[] = {".qix", ".sbn", ".sbx"};

// Every file of the shapefile that a rewrite may replace or remove (whether it exists or not).
std::vector<std::string> RewrittenFiles(const PairPaths& paths)
{
    std::vector<std::string> files{paths.Shp, paths.Shx, SiblingFile(paths.Shp, ".prj")};
    for (const char* ext : kIndexExtensions)
        files.push_back(SiblingFile(paths.Shp, ext));
    return files;
}

// Where GDAL builds a new ".qix" for the staged pair.
std::string IndexWorkFolder(const std::string& shpPath)
{
    return ResolveSymbolicLinks(shpPath) + ".qix~";
}

const char* KindName(std::uint8_t classCode)
{
    switch (classCode)
    {
    case scPoint:
        return "point";
    case scLine:
        return "line";
    case scPolygon:
        return "polygon";
    case scPoints:
        return "multipoint";
    default:
        return "other";
    }
}

std::string RecordText(std::int64_t index)
{
    return "record " + std::to_string(index + 1);
}

[[noreturn]] void Damaged(const std::string& path, const std::string& what)
{
    throw GShapefileException(path + ": " + what);
}

// ---- plain file access ------------------------------------------------------------------------

class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const std::string& path) : path_(path)
    {
        if (const std::error_code error = file_.OpenForReading(path))
            throw std::system_error(error, "Unable to open " + path);
        platform::GFileStatus status;
        if (const std::error_code error = file_.Status(status))
            throw std::system_error(error, "Unable to read " + path);
        size_ = status.Size;
    }

    std::uint64_t Size() const { return size_; }

    // Reads exactly count bytes at offset; a file that shrank meanwhile is reported as damaged.
    void ReadAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count) const
    {
        std::size_t done = 0;
        while (done < count)
        {
            std::size_t n = 0;
            if (const std::error_code error =
                    file_.ReadAt(offset + done, destination + done, count - done, n))
                throw std::system_error(error, "Unable to read " + path_);
            if (n == 0)
                Damaged(path_, "file ended at byte " + std::to_string(offset + done) +
                                   " while reading it");
            done += n;
        }
    }

private:
    std::string path_;
    platform::GNativeFile file_;
    std::uint64_t size_ = 0;
};

// The whole content of a file in memory, read in one go. The buffer is mapped and populated in
// one call, which costs far less than faulting in zeroed pages one by one; it is a private copy,
// so the file changing meanwhile cannot fault the reader (as a mapping of the file could).
class FileImage
{
public:
    explicit FileImage(const std::string& path)
    {
        ReadOnlyFile file(path);
        if (file.Size() > static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()))
            Damaged(path, "file of " + std::to_string(file.Size()) + " bytes is too large");
        size_ = static_cast<std::size_t>(file.Size());
        if (size_ == 0)
            return;
        data_ = static_cast<std::uint8_t*>(platform::MapPages(size_, true));
        if (data_ == nullptr)
            throw std::system_error(std::make_error_code(std::errc::not_enough_memory),
                                    "Unable to allocate memory to read " + path);
        try
        {
            file.ReadAt(0, data_, size_);
        }
        catch (...)
        {
            platform::UnmapPages(data_, size_);
            throw;
        }
    }
    ~FileImage() { platform::UnmapPages(data_, size_); }
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;

    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// Hands out byte ranges of a file through a window of a few MiB that moves forward with the
// reads, so that reading records in file order costs a handful of large reads and the memory of
// one window, not of the whole file.
class WindowReader
{
public:
    explicit WindowReader(const ReadOnlyFile& file) : file_(file) {}

    const std::uint8_t* Get(std::uint64_t offset, std::uint64_t length)
    {
        if (offset >= start_ && offset + length <= start_ + filled_)
            return buffer_.data() + (offset - start_);
        const std::uint64_t wanted =
            std::min(std::max<std::uint64_t>(length, kWindow), file_.Size() - offset);
        if (buffer_.size() < wanted)
            buffer_.resize(static_cast<std::size_t>(wanted));
        file_.ReadAt(offset, buffer_.data(), static_cast<std::size_t>(wanted));
        start_ = offset;
        filled_ = wanted;
        return buffer_.data();
    }

private:
    static constexpr std::uint64_t kWindow = std::uint64_t{4} << 20;
    const ReadOnlyFile& file_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t start_ = 0;
    std::uint64_t filled_ = 0;
};

bool FileExists(const std::string& path)
{
    platform::GFileStatus status;
    return !platform::FileStatusOf(path, status) && status.Regular;
}

void RenameFile(const std::string& from, const std::string& to)
{
    if (const std::error_code error = platform::RenameOver(from, to))
        throw std::system_error(error, "Unable to rename " + from + " to " + to);
}

// Opening a shapefile on a read-only filesystem must not fail for lack of leftovers to clean.
void RemoveIfPresent(const std::string& path)
{
    if (const std::error_code error = platform::RemoveFileIfPresent(path))
        throw std::system_error(error, "Unable to remove " + path);
}

// ---- reading ----------------------------------------------------------------------------------

// Checks the 100-byte header common to ".shp" and ".shx".
void CheckFileHeader(const std::string& path, std::span<const std::uint8_t> header,
                     std::uint64_t fileSize)
{
    if (fileSize < kHeaderSize)
        Damaged(path, "file of " + std::to_string(fileSize) +
                          " bytes is shorter than the 100-byte shapefile header");
    const std::uint32_t code = GetBig32(header.data());
    if (code != kFileCode)
        Damaged(path, "file code " + std::to_string(code) + " is not that of a shapefile (9994)");
}

using FileHeader = std::array<std::uint8_t, kHeaderSize>;

// Reads and checks the header of an open ".shp" or ".shx".
FileHeader ReadFileHeader(const std::string& path, const ReadOnlyFile& file)
{
    FileHeader header{};
    if (file.Size() >= kHeaderSize)
        file.ReadAt(0, header.data(), kHeaderSize);
    CheckFileHeader(path, header, file.Size());
    return header;
}

// Number of index entries of a ".shx" of the given size; the size must be 100 + 8n.
std::int32_t IndexCount(const std::string& shxPath, std::uint64_t size)
{
    if ((size - kHeaderSize) % kIndexEntrySize != 0)
        Damaged(shxPath,
                "index of " + std::to_string(size) + " bytes is not 100 + 8 bytes per record");
    const std::uint64_t count = (size - kHeaderSize) / kIndexEntrySize;
    if (count > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        Damaged(shxPath, "index of " + std::to_string(count) + " records is too large");
    return static_cast<std::int32_t>(count);
}

struct RecordLocation
{
    std::uint64_t ContentOffset = 0; // in ".shp", after the record header
    std::uint64_t ContentBytes = 0;
};

// Where record index lies in ".shp", from its 8-byte index entry, checked against the sizes.
RecordLocation LocateRecord(const std::string& shxPath, const std::string& shpPath,
                            std::int32_t index, const std::uint8_t* entry, std::uint64_t shpSize)
{
    const std::uint32_t offsetWords = GetBig32(entry);
    const std::uint32_t lengthWords = GetBig32(entry + 4);
    const std::uint64_t offset = std::uint64_t{offsetWords} * 2;
    const std::uint64_t length = std::uint64_t{lengthWords} * 2;
    if (offsetWords > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()) ||
        offset < kHeaderSize || offset + kRecordHeaderSize > shpSize)
        Damaged(shxPath, RecordText(index) + ": offset " + std::to_string(offset) +
                             " lies outside " + shpPath + " (" + std::to_string(shpSize) +
                             " bytes)");
    if (length < 4 || offset + kRecordHeaderSize + length > shpSize)
        Damaged(shxPath, RecordText(index) + ": content length " + std::to_string(length) +
                             " at offset " + std::to_string(offset) + " does not fit in " +
                             shpPath + " (" + std::to_string(shpSize) + " bytes)");
    return {offset + kRecordHeaderSize, length};
}

double CheckedCoordinate(const std::string& shpPath, std::int32_t index, const std::uint8_t* p)
{
    const double value = GetLittleDouble(p);
    if (!std::isfinite(value))
        Damaged(shpPath, RecordText(index) + ": coordinate " + std::to_string(value) +
                             " is not a finite number");
    return value;
}

// The shape type of a shapefile and what its records hold.
struct ShapeKind
{
    std::int32_t Type = 0;      // 1, 3, 5, 8, each also + 10 (with Z) or + 20 (with M)
    std::uint8_t ClassCode = 0; // 1 point, 2 line, 3 polygon, 7 multipoint
    bool HasZ = false;          // the Z types: every record has Z values
    bool HasM = false;          // the Z and M types: a record may have M values
};

ShapeKind KindOfType(std::int32_t type)
{
    const std::uint8_t classCode = ShapeTypeToSpatialType(type);
    return {type, classCode, type > 10 && type<20, type> 10};
}

// A record as read: its shape, and whether it carried M values (which it then gets written with
// again).
struct ParsedRecord
{
    std::unique_ptr<GShape> Shape;
    bool Measured = false;
};

[[noreturn]] void WrongRecordType(std::uint8_t classCode)
{
    switch (classCode)
    {
    case scPoint:
        throw GShapefileException("Not a point shapefile");
    case scLine:
        throw GShapefileException("Not a line shapefile");
    case scPoints:
        throw GShapefileException("Not a multipoint shapefile");
    default:
        throw GShapefileException("Not a polygon shapefile");
    }
}

// Where the Z and M values of a record of pointCount vertices lie, the X/Y part ending at
// xyBytes; a record too short for its Z values, or holding part of its M values, is refused.
struct HeightsAndMeasures
{
    const std::uint8_t* Z = nullptr; // the Z values, or nullptr
    const std::uint8_t* M = nullptr; // the M values, or nullptr
};

HeightsAndMeasures LocateHeightsAndMeasures(const std::string& shpPath, const ShapeKind& kind,
                                            std::int32_t index, const std::uint8_t* content,
                                            std::uint64_t length, std::uint64_t xyBytes,
                                            std::int32_t pointCount)
{
    HeightsAndMeasures found;
    // Multi-vertex records lead each array with its range; a point's value stands alone.
    const bool single = kind.ClassCode == scPoint;
    const std::uint64_t arrayBytes = (single ? 0 : 16) + 8 * static_cast<std::uint64_t>(pointCount);
    std::uint64_t end = xyBytes;
    if (kind.HasZ)
    {
        if (end + arrayBytes > length)
            Damaged(shpPath, RecordText(index) + ": the Z values of its " +
                                 std::to_string(pointCount) + " points need " +
                                 std::to_string(end + arrayBytes) + " bytes, the record holds " +
                                 std::to_string(length));
        found.Z = content + end + (single ? 0 : 16);
        end += arrayBytes;
    }
    if (kind.HasM)
    {
        // M values are optional in every type but PointM, whose M is its only value past X/Y.
        const bool required = single && !kind.HasZ;
        if (end + arrayBytes <= length)
            found.M = content + end + (single ? 0 : 16);
        else if (required || length > end)
            Damaged(shpPath, RecordText(index) + ": the M values of its " +
                                 std::to_string(pointCount) + " points need " +
                                 std::to_string(end + arrayBytes) + " bytes, the record holds " +
                                 std::to_string(length));
    }
    return found;
}

// Builds the shape of one record from its content bytes (type first).
ParsedRecord ParseRecord(const std::string& shpPath, const ShapeKind& kind, std::int32_t index,
                         const std::uint8_t* content, std::uint64_t length)
{
    const std::int32_t type = GetLittle32(content);
    if (type != kind.Type)
        WrongRecordType(kind.ClassCode);
    if (kind.ClassCode == scPoint)
    {
        if (length < static_cast<std::uint64_t>(kPointContent))
            Damaged(shpPath, RecordText(index) + ": point content of " + std::to_string(length) +
                                 " bytes is shorter than 20");
        const HeightsAndMeasures extra = LocateHeightsAndMeasures(
            shpPath, kind, index, content, length, static_cast<std::uint64_t>(kPointContent), 1);
        auto point = std::make_unique<GPoint>(CheckedCoordinate(shpPath, index, content + 4),
                                              CheckedCoordinate(shpPath, index, content + 12));
        if (extra.Z)
            std::memcpy(&point->Z, extra.Z, 8);
        if (extra.M)
            std::memcpy(&point->M, extra.M, 8);
        return {std::move(point), extra.M != nullptr};
    }

    // A multipoint is a line of one part without its part table.
    const bool multipoint = kind.ClassCode == scPoints;
    const std::uint64_t fixed = multipoint ? static_cast<std::uint64_t>(kMultiPointFixedContent)
                                           : static_cast<std::uint64_t>(kMultiPartFixedContent);
    if (length < fixed)
        Damaged(shpPath, RecordText(index) + ": " + KindName(kind.ClassCode) + " content of " +
                             std::to_string(length) + " bytes is shorter than " +
                             std::to_string(fixed));
    const std::int32_t partCount = multipoint ? 0 : GetLittle32(content + 36);
    const std::int32_t pointCount = GetLittle32(content + (multipoint ? 36 : 40));
    if (partCount < 0)
        Damaged(shpPath,
                RecordText(index) + ": negative number of parts " + std::to_string(partCount));
    if (pointCount < 0)
        Damaged(shpPath,
                RecordText(index) + ": negative number of points " + std::to_string(pointCount));
    const std::uint64_t needed = fixed + 4 * static_cast<std::uint64_t>(partCount) +
                                 16 * static_cast<std::uint64_t>(pointCount);
    if (needed > length)
        Damaged(shpPath,
                RecordText(index) + ": " +
                    (multipoint ? std::string() : std::to_string(partCount) + " parts and ") +
                    std::to_string(pointCount) + " points need " + std::to_string(needed) +
                    " bytes, the record holds " + std::to_string(length));
    if (!multipoint && partCount == 0 && pointCount > 0)
        Damaged(shpPath,
                RecordText(index) + ": " + std::to_string(pointCount) + " points but no parts");

    const std::uint8_t* starts = content + fixed;
    std::int32_t previous = -1;
    for (std::int32_t k = 0; k < partCount; ++k)
    {
        const std::int32_t start = GetLittle32(starts + 4 * static_cast<std::size_t>(k));
        if (start < 0 || start >= pointCount || start <= previous || (k == 0 && start != 0))
            Damaged(shpPath, RecordText(index) + ": part " + std::to_string(k + 1) +
                                 " starts at point " + std::to_string(start) + " (of " +
                                 std::to_string(pointCount) + ")");
        previous = start;
    }
    const HeightsAndMeasures extra =
        LocateHeightsAndMeasures(shpPath, kind, index, content, length, needed, pointCount);

    const std::uint8_t* points = starts + 4 * static_cast<std::size_t>(partCount);
    const auto vertex = [&](std::int32_t i)
    {
        const std::uint8_t* p = points + 16 * static_cast<std::size_t>(i);
        auto point = std::make_unique<GPoint>(CheckedCoordinate(shpPath, index, p),
                                              CheckedCoordinate(shpPath, index, p + 8));
        if (extra.Z)
            std::memcpy(&point->Z, extra.Z + 8 * static_cast<std::size_t>(i), 8);
        if (extra.M)
            std::memcpy(&point->M, extra.M + 8 * static_cast<std::size_t>(i), 8);
        return point;
    };
    if (multipoint)
    {
        auto shape = std::make_unique<GPoints>();
        shape->Points.Reserve(pointCount);
        for (std::int32_t i = 0; i < pointCount; ++i)
            shape->Points.Add(vertex(i));
        return {std::move(shape), extra.M != nullptr};
    }

    std::unique_ptr<GLine> line;
    if (kind.ClassCode == scLine)
        line = std::make_unique<GLine>();
    else
        line = std::make_unique<GPolygon>();
    line->Parts.Reserve(partCount);
    for (std::int32_t k = 0; k < partCount; ++k)
    {
        const std::int32_t first = GetLittle32(starts + 4 * static_cast<std::size_t>(k));
        const std::int32_t last = k + 1 < partCount
                                      ? GetLittle32(starts + 4 * static_cast<std::size_t>(k + 1))
                                      : pointCount;
        auto part = std::make_unique<GPointList>();
        part->Reserve(last - first);
        for (std::int32_t i = first; i < last; ++i)
            part->Add(vertex(i));
        line->Parts.Add(std::move(part));
    }
    return {std::move(line), extra.M != nullptr};
}

// The shape kind of a ".shp" from its header.
ShapeKind HeaderKind(const std::string& shpPath, std::span<const std::uint8_t> shpHeader)
{
    const std::int32_t type = GetLittle32(shpHeader.data() + 32);
    if (type == 31)
        throw GShapefileException("That shapefile type is not a valid spatial type: " + shpPath +
                                  " holds MultiPatch shapes (type 31), surfaces of triangles "
                                  "that this program does not transform");
    return KindOfType(type);
}

// Reads record `record` given the whole ".shx" image; fetch(offset, length) gives the bytes of
// the ".shp" (already checked to lie inside it).
template <class Fetch>
ParsedRecord ReadRecord(const std::string& shxPath, const std::string& shpPath,
                        const ShapeKind& kind, std::int32_t record,
                        std::span<const std::uint8_t> shx, std::uint64_t shpSize, Fetch&& fetch)
{
    const RecordLocation where = LocateRecord(
        shxPath, shpPath, record,
        shx.data() + kHeaderSize + kIndexEntrySize * static_cast<std::size_t>(record), shpSize);
    return ParseRecord(shpPath, kind, record, fetch(where.ContentOffset, where.ContentBytes),
                       where.ContentBytes);
}

// The slots of an open shapefile: the shapes, and per slot whether it is written with M values
// and which file record still has to be read into it (-1 once it holds its shape).
struct Slots
{
    GShapeList Shapes;
    std::vector<bool> Measured;
    std::vector<std::int32_t> PendingRecord;
};

// Reads the first count records (every entry of the ".shx" image), in file order.
template <class Fetch>
Slots ReadAllRecords(const std::string& shxPath, const std::string& shpPath, const ShapeKind& kind,
                     std::span<const std::uint8_t> shx, std::int32_t count, std::uint64_t shpSize,
                     Fetch&& fetch)
{
    Slots slots;
    slots.Shapes.Reserve(count);
    slots.Measured.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
    {
        ParsedRecord read = ReadRecord(shxPath, shpPath, kind, i, shx, shpSize, fetch);
        slots.Shapes.Add(std::move(read.Shape));
        slots.Measured.push_back(read.Measured);
    }
    slots.PendingRecord.assign(static_cast<std::size_t>(count), -1);
    return slots;
}

// ---- writing ----------------------------------------------------------------------------------

struct Extent
{
    bool Any = false;
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;

    void Add(double x, double y)
    {
        if (!Any)
        {
            MinX = MaxX = x;
            MinY = MaxY = y;
            Any = true;
            return;
        }
        MinX = std::min(MinX, x);
        MaxX = std::max(MaxX, x);
        MinY = std::min(MinY, y);
        MaxY = std::max(MaxY, y);
    }
    void Add(const Extent& other)
    {
        if (other.Any)
        {
            Add(other.MinX, other.MinY);
            Add(other.MaxX, other.MaxY);
        }
    }
};

// The range of Z or M values, formed as GDAL's shapefile writer forms it (the comparisons taken
// in the same order), so that a file GDAL wrote is written back with the very same bytes. "No
// data" measures count like any other value, as they do there.
struct Range
{
    bool Any = false;
    double Min = 0, Max = 0;

    void Add(double low, double high)
    {
        if (!Any)
        {
            Min = low;
            Max = high;
            Any = true;
            return;
        }
        Min = Min < low ? Min : low;
        Max = Max > high ? Max : high;
    }
    void Add(double value) { Add(value, value); }
    void Add(const Range& other)
    {
        if (other.Any)
            Add(other.Min, other.Max);
    }
};

// What a flush will write, worked out before any byte goes to disk so that a refusal leaves the
// files untouched and the headers can be written first.
struct Layout
{
    std::vector<std::uint32_t> ContentWords; // per record
    std::vector<Extent> Boxes;               // per record of a multi-vertex type
    std::vector<Range> ZRanges;              // per record of a multi-vertex Z type
    std::vector<Range> MRanges;              // per record of a multi-vertex Z or M type
    Extent Box;
    Range Z;
    Range M;
    std::uint64_t ShpBytes = kHeaderSize;
    std::uint64_t ShxBytes = kHeaderSize;
};

// The vertices of a shape as written: a point alone, a multipoint's points, a line's parts
// (empty parts left out: the format has none).
template <class Visit> void ForEachWrittenPoint(const GShape& shape, Visit&& visit)
{
    // A point alone, the commonest record, is handed on without a search of the class tree.
    if (typeid(shape) == typeid(GPoint))
        visit(static_cast<const GPoint&>(shape));
    else if (const auto* line = dynamic_cast<const GLine*>(&shape))
    {
        for (const auto& part : line->Parts)
            if (part)
                for (const auto& point : *part)
                    visit(*point);
    }
    else
        shape.ForEachPoint([&visit](const GPoint& point) { visit(point); });
}

std::uint64_t PartPointCount(const GLine& line, std::int32_t& writtenParts)
{
    std::uint64_t points = 0;
    writtenParts = 0;
    for (const auto& part : line.Parts)
    {
        if (part && part->Count() > 0)
        {
            points += static_cast<std::uint64_t>(part->Count());
            ++writtenParts;
        }
    }
    return points;
}

void CheckFinite(const std::string& shpPath, std::int32_t index, double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        throw GShapefileException(shpPath + ": " + RecordText(index) + ": coordinate (" +
                                  std::to_string(x) + ", " + std::to_string(y) +
                                  ") is not a finite number; nothing was written");
}

// Whether the shape is of the class the file holds (and of the C++ type its writer reads).
bool OfKind(const GShape& shape, const ShapeKind& kind)
{
    if (shape.ClassCode() != kind.ClassCode)
        return false;
    switch (kind.ClassCode)
    {
    case scPoint:
        return typeid(shape) == typeid(GPoint) || dynamic_cast<const GPoint*>(&shape) != nullptr;
    case scPoints:
        return dynamic_cast<const GPoints*>(&shape) != nullptr;
    default:
        return dynamic_cast<const GLine*>(&shape) != nullptr;
    }
}

Layout PlanLayout(const std::string& shpPath, const ShapeKind& kind, const GShapeList& shapes,
                  const std::vector<bool>& measured)
{
    Layout layout;
    const auto count = static_cast<std::size_t>(shapes.Count());
    layout.ContentWords.reserve(count);
    const bool single = kind.ClassCode == scPoint;
    if (!single)
    {
        layout.Boxes.resize(count);
        if (kind.HasZ)
            layout.ZRanges.resize(count);
        if (kind.HasM)
            layout.MRanges.resize(count);
    }
    std::int32_t index = 0;
    for (const auto& shape : shapes)
    {
        const auto slot = static_cast<std::size_t>(index);
        std::uint64_t bytes = 4; // null record: the type only
        if (shape)
        {
            if (!OfKind(*shape, kind))
                throw GShapefileException(
                    "The shape is not of the required type: " + RecordText(index) + " of " +
                    shpPath + " holds a " + KindName(shape->ClassCode()) + " shape");
            const bool withM = kind.HasM && measured[slot];
            Extent box;
            Range z;
            Range m;
            std::uint64_t points = 0;
            ForEachWrittenPoint(*shape,
                                [&](const GPoint& point)
                                {
                                    CheckFinite(shpPath, index, point.X, point.Y);
                                    box.Add(point.X, point.Y);
                                    z.Add(point.Z);
                                    m.Add(point.M);
                                    ++points;
                                });
            layout.Box.Add(box);
            if (kind.HasZ)
                layout.Z.Add(z);
            if (withM)
                layout.M.Add(m);
            if (single)
                bytes = kPointContent + (kind.HasZ ? 8 : 0) + (withM ? 8 : 0);
            else
            {
                layout.Boxes[slot] = box;
                if (kind.HasZ)
                    layout.ZRanges[slot] = z;
                if (withM)
                    layout.MRanges[slot] = m;
                std::int32_t parts = 0;
                if (kind.ClassCode == scPoints)
                    bytes = kMultiPointFixedContent + 16 * points;
                else
                {
                    PartPointCount(static_cast<const GLine&>(*shape), parts);
                    bytes = kMultiPartFixedContent + 4 * std::uint64_t(parts) + 16 * points;
                }
                bytes += (kind.HasZ ? 16 + 8 * points : 0) + (withM ? 16 + 8 * points : 0);
            }
        }
        if (bytes / 2 > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
            throw GShapefileException(shpPath + ": " + RecordText(index) + " needs " +
                                      std::to_string(bytes) +
                                      " bytes, more than a shapefile record can hold");
        layout.ContentWords.push_back(static_cast<std::uint32_t>(bytes / 2));
        layout.ShpBytes += kRecordHeaderSize + bytes;
        layout.ShxBytes += kIndexEntrySize;
        if (layout.ShpBytes > static_cast<std::uint64_t>(kMaximumFileBytes) ||
            layout.ShxBytes > static_cast<std::uint64_t>(kMaximumFileBytes))
            throw GShapefileException(
                shpPath + ": the shapes need more than " + std::to_string(kMaximumFileBytes) +
                " bytes, more than a shapefile can hold; nothing was written");
        ++index;
    }
    return layout;
}

void PutRange(std::uint8_t* p, const Range& range)
{
    PutLittleDouble(p, range.Any ? range.Min : 0.0);
    PutLittleDouble(p + 8, range.Any ? range.Max : 0.0);
}

void FillHeader(std::uint8_t* header, std::uint64_t fileBytes, std::int32_t shapeType,
                const Layout& layout)
{
    std::memset(header, 0, kHeaderSize);
    PutBig32(header, kFileCode);
    PutBig32(header + 24, static_cast<std::uint32_t>(fileBytes / 2));
    PutLittle32(header + 28, kVersion);
    PutLittle32(header + 32, shapeType);
    const Extent& box = layout.Box;
    if (box.Any)
    {
        PutLittleDouble(header + 36, box.MinX);
        PutLittleDouble(header + 44, box.MinY);
        PutLittleDouble(header + 52, box.MaxX);
        PutLittleDouble(header + 60, box.MaxY);
    }
    // Files without Z (or without any M) have zero ranges there.
    PutRange(header + 68, layout.Z);
    PutRange(header + 84, layout.M);
}

// Collects output in a large buffer and hands it on in big writes. The buffer is not zeroed:
// every byte handed on has been written first.
template <class Sink> class BufferedWriter
{
public:
    BufferedWriter(Sink& sink, std::size_t capacity)
        : sink_(sink), buffer_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity)),
          capacity_(capacity)
    {
    }

    // A pointer to count free bytes in the buffer; count must not exceed the capacity.
    std::uint8_t* Reserve(std::size_t count)
    {
        if (used_ + count > capacity_)
            Drain();
        std::uint8_t* p = buffer_.get() + used_;
        used_ += count;
        return p;
    }

    void Drain()
    {
        if (used_ > 0)
            sink_.Write(buffer_.get(), used_);
        used_ = 0;
    }

private:
    Sink& sink_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
};

struct VectorSink
{
    std::vector<std::uint8_t>& Bytes;
    void Write(const void* data, std::size_t count)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        Bytes.insert(Bytes.end(), p, p + count);
    }
};

// Writes one array of Z or M values of a multi-vertex record, led by its range.
template <class Writer, class Take>
void WriteValues(Writer& shp, const GShape& shape, const Range& range, Take&& take)
{
    PutRange(shp.Reserve(16), range);
    ForEachWrittenPoint(shape,
                        [&](const GPoint& point)
                        {
                            // Copied as bytes: a value is written exactly as it was read.
                            std::memcpy(shp.Reserve(8), &take(point), 8);
                        });
}

// Writes the ".shp" bytes through shpSink and the ".shx" bytes through shxSink.
template <class ShpSink, class ShxSink>
void WriteFiles(ShpSink& shpSink, ShxSink& shxSink, const ShapeKind& kind, const GShapeList& shapes,
                const std::vector<bool>& measured, const Layout& layout)
{
    const std::int32_t shapeType = kind.Type;
    // Large enough for any fixed part written at once (a record header, a point, the header).
    const std::size_t capacity =
        std::clamp<std::size_t>(static_cast<std::size_t>(layout.ShpBytes), 128, kWriteBufferSize);
    BufferedWriter<ShpSink> shp(shpSink, capacity);
    BufferedWriter<ShxSink> shx(shxSink, capacity);
    FillHeader(shp.Reserve(kHeaderSize), layout.ShpBytes, shapeType, layout);
    FillHeader(shx.Reserve(kHeaderSize), layout.ShxBytes, shapeType, layout);
    const auto takeZ = [](const GPoint& point) -> const double& { return point.Z; };
    const auto takeM = [](const GPoint& point) -> const double& { return point.M; };

    std::uint64_t offset = kHeaderSize;
    std::int32_t index = 0;
    for (const auto& shape : shapes)
    {
        const auto slot = static_cast<std::size_t>(index);
        const std::uint32_t words = layout.ContentWords[slot];
        std::uint8_t* entry = shx.Reserve(kIndexEntrySize);
        PutBig32(entry, static_cast<std::uint32_t>(offset / 2));
        PutBig32(entry + 4, words);

        std::uint8_t* head = shp.Reserve(kRecordHeaderSize);
        PutBig32(head, static_cast<std::uint32_t>(index + 1));
        PutBig32(head + 4, words);
        const bool withM = kind.HasM && measured[slot];
        if (!shape)
        {
            PutLittle32(shp.Reserve(4), 0);
        }
        else if (kind.ClassCode == scPoint)
        {
            const auto& point = static_cast<const GPoint&>(*shape);
            std::uint8_t* p = shp.Reserve(kPointContent);
            PutLittle32(p, shapeType);
            PutLittleDouble(p + 4, point.X);
            PutLittleDouble(p + 12, point.Y);
            if (kind.HasZ)
                std::memcpy(shp.Reserve(8), &point.Z, 8);
            if (withM)
                std::memcpy(shp.Reserve(8), &point.M, 8);
        }
        else
        {
            const Extent& box = layout.Boxes[slot];
            const bool multipoint = kind.ClassCode == scPoints;
            const std::size_t fixed = multipoint ? kMultiPointFixedContent : kMultiPartFixedContent;
            std::uint8_t* p = shp.Reserve(fixed);
            std::memset(p, 0, fixed);
            PutLittle32(p, shapeType);
            if (box.Any)
            {
                PutLittleDouble(p + 4, box.MinX);
                PutLittleDouble(p + 12, box.MinY);
                PutLittleDouble(p + 20, box.MaxX);
                PutLittleDouble(p + 28, box.MaxY);
            }
            if (multipoint)
                PutLittle32(p + 36, shape->PointCount());
            else
            {
                const auto& line = static_cast<const GLine&>(*shape);
                std::int32_t parts = 0;
                const std::uint64_t points = PartPointCount(line, parts);
                PutLittle32(p + 36, parts);
                PutLittle32(p + 40, static_cast<std::int32_t>(points));
                std::int32_t start = 0;
                for (const auto& part : line.Parts)
                {
                    if (!part || part->Count() == 0)
                        continue; // the format has no empty parts
                    PutLittle32(shp.Reserve(4), start);
                    start += part->Count();
                }
            }
            ForEachWrittenPoint(*shape,
                                [&](const GPoint& point)
                                {
                                    std::uint8_t* q = shp.Reserve(16);
                                    PutLittleDouble(q, point.X);
                                    PutLittleDouble(q + 8, point.Y);
                                });
            if (kind.HasZ)
                WriteValues(shp, *shape, layout.ZRanges[slot], takeZ);
            if (withM)
                WriteValues(shp, *shape, layout.MRanges[slot], takeM);
        }
        offset += kRecordHeaderSize + std::uint64_t{words} * 2;
        ++index;
    }
    shp.Drain();
    shx.Drain();
}

// A marker of the older two-line form ("<name>.shp", "<name>.shx") names no identities: the pair
// it was written for is rolled forward as that version did, the staged files being complete.
GDataFileRecovery RecoverOlderMarker(const PairPaths& paths, bool inspectOnly)
{
    GDataFileRecovery outcome;
    const std::string marker = CommitMarkerOf(paths.Shp);
    const bool shpStaged = FileExists(StagingPathOf(paths.Shp));
    const bool shxStaged = FileExists(StagingPathOf(paths.Shx));
    const std::string names = "\"" + paths.Shp + "\" and \"" + paths.Shx + "\"";
    if (inspectOnly)
    {
        if (shpStaged != shxStaged)
            outcome.Refusal = paths.Shp + ": a run was interrupted half way through replacing " +
                              names + "; they do not belong together and are not read. A run " +
                              "that writes completes the interrupted one first";
        else
            outcome.Notices.push_back(paths.Shp + ": a run was interrupted while replacing " +
                                      names + "; they are read as they are, and the next run " +
                                      "that writes completes the interrupted one first");
        return outcome;
    }
    for (const std::string& target : {paths.Shp, paths.Shx})
        if (FileExists(StagingPathOf(target)))
            RenameFile(StagingPathOf(target), ResolveSymbolicLinks(target));
    RemoveIfPresent(marker);
    outcome.Notices.push_back(paths.Shp + ": a run that was interrupted while replacing " + names +
                              " was completed; they hold its result");
    return outcome;
}

// Finishes or abandons an interrupted flush of the shapefile (see GFileSetCommit), or with
// inspectOnly only says what it finds.
GDataFileRecovery RecoverShapefile(const PairPaths& paths, bool inspectOnly)
{
    const std::vector<std::string> files = RewrittenFiles(paths);
    if (!inspectOnly)
    {
        std::error_code ignored;
        std::filesystem::remove_all(IndexWorkFolder(paths.Shp), ignored);
        for (const std::string& file : files)
            RemoveIfPresent(StagingPathOf(file) + ".tmp~");
    }
    GDataFileRecovery outcome = RecoverDataFiles(paths.Shp, files, inspectOnly);
    if (outcome.UnknownMarker)
        return RecoverOlderMarker(paths, inspectOnly);
    return outcome;
}

// What a flush does besides the pair: the declaration to write (a new ".prj" text), and the
// messages it leaves.
struct SidecarPlan
{
    std::optional<std::string> Prj;
    std::vector<std::string> Notices;
};

// Writes a shapefile pair crash-safely together with what follows it: a rewritten ".prj", a
// ".qix" rebuilt by GDAL (or removed when it cannot be), ".sbn"/".sbx" removed. Either all of it
// happens or none (see GFileSetCommit); the notices are added only once it has.
void WritePair(const PairPaths& paths, const ShapeKind& kind, const GShapeList& shapes,
               const std::vector<bool>& measured, SidecarPlan plan,
               std::vector<std::string>& notices)
{
    const auto& [shpPath, shxPath] = paths;
    const Layout layout = PlanLayout(shpPath, kind, shapes, measured);

    const std::vector<std::string> recovered = RecoverShapefile(paths, false).Notices;
    notices.insert(notices.end(), recovered.begin(), recovered.end());
    GFileSetCommit commit(CommitMarkerOf(shpPath));
    GAtomicFile& shp = commit.Replace(shpPath);
    GAtomicFile& shx = commit.Replace(shxPath);
    WriteFiles(shp, shx, kind, shapes, measured, layout);
    if (plan.Prj)
        commit.Replace(SiblingFile(shpPath, ".prj")).Write(*plan.Prj);

    // An index that disagrees with the data beside it is worse than none.
    if (const std::string qix = ExistingSiblingFile(shpPath, ".qix"); !qix.empty())
    {
        commit.Stage();
        std::string bytes;
        std::string error;
        if (BuildQixIndex(commit.StagedPath(shpPath), commit.StagedPath(shxPath),
                          IndexWorkFolder(shpPath), bytes, error))
        {
            commit.Replace(qix).Write(bytes);
            plan.Notices.push_back("\"" + qix +
                                   "\": the spatial index was rebuilt for the new coordinates");
        }
        else
        {
            commit.Remove(qix);
            plan.Notices.push_back("\"" + qix +
                                   "\": the spatial index was removed, since GDAL could not "
                                   "rebuild it (" +
                                   error + ")");
        }
    }
    std::vector<std::string> removed;
    for (const char* ext : {".sbn", ".sbx"})
        if (const std::string index = ExistingSiblingFile(shpPath, ext); !index.empty())
        {
            commit.Remove(index);
            removed.push_back("\"" + index + "\"");
        }
    if (!removed.empty())
        plan.Notices.push_back(
            (removed.size() == 2 ? removed[0] + " and " + removed[1] : removed[0]) +
            ": the spatial index was removed, since it described the old coordinates and no "
            "tool here rebuilds that format");
    commit.Commit();
    notices.insert(notices.end(), plan.Notices.begin(), plan.Notices.end());
}

} // namespace

// ---- conversions ------------------------------------------------------------------------------

std::int32_t SpatialTypeToShapeType(std::uint8_t spatialType)
{
    switch (spatialType)
    {
    case scPoint:
        return 1;
    case scLine:
        return 3;
    case scPolygon:
        return 5;
    case scPoints:
        return 8;
    default:
        throw GShapefileException("That spatial type is not a valid shapefile type");
    }
}

std::uint8_t ShapeTypeToSpatialType(std::int32_t shapeType)
{
    switch (shapeType)
    {
    case 1:
    case 11:
    case 21:
        return scPoint;
    case 3:
    case 13:
    case 23:
        return scLine;
    case 5:
    case 15:
    case 25:
        return scPolygon;
    case 8:
    case 18:
    case 28:
        return scPoints;
    default:
        throw GShapefileException("That shapefile type is not a valid spatial type");
    }
}

// ---- GShapefile -------------------------------------------------------------------------------

GShapefile::GShapefile() = default;

GShapefile::~GShapefile() = default;

void GShapefile::ResetState()
{
    shapes_.Clear();
    pendingRecord_.clear();
    measured_.clear();
    isOpen_ = false;
    shapeType_ = 0;
    fileShapeType_ = 0;
    fileName_.clear();
}

void GShapefile::Adopt(const std::string& fileName, std::int32_t fileShapeType, GShapeList shapes,
                       std::vector<bool> measured, std::vector<std::int32_t> pendingRecord)
{
    ResetState();
    shapes_ = std::move(shapes);
    measured_ = std::move(measured);
    pendingRecord_ = std::move(pendingRecord);
    fileName_ = fileName;
    fileShapeType_ = fileShapeType;
    shapeType_ = ShapeTypeToSpatialType(fileShapeType);
    isOpen_ = true;
}

void GShapefile::SetLoadShapesOnOpen(bool value)
{
    if (isOpen_)
        throw GShapefileException("Unable to change this parameter while the shapefile is open");
    loadShapesOnOpen_ = value;
}

std::vector<std::string> GShapefile::RecoverInterruptedFlush(const std::string& fileName)
{
    return RecoverShapefile(PathsOf(fileName), false).Notices;
}

void GShapefile::SetRecoverOnOpen(bool value)
{
    recoverOnOpen_ = value;
}

void GShapefile::SetTargetDatum(std::optional<std::uint8_t> datum)
{
    targetDatum_ = datum;
}

std::vector<std::string> GShapefile::TakeNotices()
{
    return std::exchange(notices_, {});
}

bool GShapefile::Open(const std::string& fileName)
{
    if (isOpen_)
        Close();
    const PairPaths paths = PathsOf(fileName);
    GDataFileRecovery recovery = RecoverShapefile(paths, !recoverOnOpen_);
    if (recovery.Refusal)
        throw GShapefileException(*recovery.Refusal);
    notices_.insert(notices_.end(), recovery.Notices.begin(), recovery.Notices.end());
    const auto& [shpPath, shxPath] = paths;
    if (!FileExists(shpPath) || !FileExists(shxPath))
        throw GShapefileException("The specified shapefile does not exist");

    if (loadShapesOnOpen_)
    {
        const FileImage shxImage(shxPath);
        const std::span<const std::uint8_t> shx = shxImage.Bytes();
        CheckFileHeader(shxPath, shx, shx.size());
        const std::int32_t count = IndexCount(shxPath, shx.size());
        const ReadOnlyFile shpFile(shpPath);
        const ShapeKind kind = HeaderKind(shpPath, ReadFileHeader(shpPath, shpFile));
        WindowReader window(shpFile);
        Slots slots = ReadAllRecords(shxPath, shpPath, kind, shx, count, shpFile.Size(),
                                     [&window](std::uint64_t offset, std::uint64_t length)
                                     { return window.Get(offset, length); });
        Adopt(fileName, kind.Type, std::move(slots.Shapes), std::move(slots.Measured),
              std::move(slots.PendingRecord));
        return true;
    }

    // Only the headers now; each record is read when its slot is first asked for.
    const ReadOnlyFile shxFile(shxPath);
    const ReadOnlyFile shpFile(shpPath);
    ReadFileHeader(shxPath, shxFile);
    const std::int32_t count = IndexCount(shxPath, shxFile.Size());
    const ShapeKind kind = HeaderKind(shpPath, ReadFileHeader(shpPath, shpFile));
    GShapeList slots;
    slots.Reserve(count);
    for (std::int32_t i = 0; i < count; ++i)
        slots.Add(nullptr);
    std::vector<std::int32_t> pendingRecord(static_cast<std::size_t>(count));
    std::iota(pendingRecord.begin(), pendingRecord.end(), 0);
    Adopt(fileName, kind.Type, std::move(slots),
          std::vector<bool>(static_cast<std::size_t>(count), false), std::move(pendingRecord));
    return true;
}

bool GShapefile::OpenImages(const std::string& fileName, std::span<const std::uint8_t> shp,
                            std::span<const std::uint8_t> shx)
{
    if (isOpen_)
        Close();
    const auto [shpPath, shxPath] = PathsOf(fileName);
    CheckFileHeader(shxPath, shx, shx.size());
    const std::int32_t count = IndexCount(shxPath, shx.size());
    CheckFileHeader(shpPath, shp, shp.size());
    const ShapeKind kind = HeaderKind(shpPath, shp);
    Slots slots = ReadAllRecords(shxPath, shpPath, kind, shx, count, shp.size(),
                                 [shp](std::uint64_t offset, std::uint64_t)
                                 { return shp.data() + static_cast<std::size_t>(offset); });
    Adopt(fileName, kind.Type, std::move(slots.Shapes), std::move(slots.Measured),
          std::move(slots.PendingRecord));
    return true;
}

void GShapefile::Close()
{
    if (!isOpen_)
        throw GShapefileException("The shapefile is not open");
    ResetState();
}

void GShapefile::Create(const std::string& fileName, std::uint8_t shapeType)
{
    CreateOfType(fileName, SpatialTypeToShapeType(shapeType));
}

void GShapefile::CreateOfType(const std::string& fileName, std::int32_t fileShapeType)
{
    GShapeList none;
    WritePair(PathsOf(fileName), KindOfType(fileShapeType), none, {}, {}, notices_);
}

GShape* GShapefile::GetShape(int index)
{
    GShape* shape = shapes_.GetItem(index);
    const std::int32_t record = pendingRecord_[static_cast<std::size_t>(index)];
    if (record < 0)
        return shape;

    // Both files are opened for this one read and closed again.
    const auto [shpPath, shxPath] = PathsOf(fileName_);
    ReadOnlyFile shxFile(shxPath);
    ReadOnlyFile shpFile(shpPath);
    const std::uint64_t entryOffset =
        kHeaderSize + kIndexEntrySize * static_cast<std::uint64_t>(record);
    if (shxFile.Size() < entryOffset + kIndexEntrySize)
        Damaged(shxPath, RecordText(record) + ": the index of " + std::to_string(shxFile.Size()) +
                             " bytes has no entry for it");
    std::uint8_t entry[kIndexEntrySize];
    shxFile.ReadAt(entryOffset, entry, kIndexEntrySize);
    const RecordLocation where = LocateRecord(shxPath, shpPath, record, entry, shpFile.Size());
    std::vector<std::uint8_t> content(static_cast<std::size_t>(where.ContentBytes));
    shpFile.ReadAt(where.ContentOffset, content.data(), content.size());
    ParsedRecord loaded =
        ParseRecord(shpPath, KindOfType(fileShapeType_), record, content.data(), content.size());
    GShape* result = loaded.Shape.get();
    shapes_.SetItem(index, std::move(loaded.Shape));
    measured_[static_cast<std::size_t>(index)] = loaded.Measured;
    pendingRecord_[static_cast<std::size_t>(index)] = -1;
    return result;
}

const GShape* GShapefile::LoadedShape(int index) const
{
    const GShape* shape = shapes_.GetItem(index);
    if (pendingRecord_[static_cast<std::size_t>(index)] >= 0)
        throw GShapefileException("The shape of " + RecordText(index) + " has not been read");
    return shape;
}

void GShapefile::ReplaceShape(int index, std::unique_ptr<GShape> shape)
{
    const auto slot = static_cast<std::size_t>(index);
    // A record not read yet is read first: whether it has M values is the file's to say.
    if (index >= 0 && index < Count() && pendingRecord_[slot] >= 0)
        GetShape(index);
    shapes_.SetItem(index, std::move(shape));
    pendingRecord_[slot] = -1;
}

void GShapefile::AppendShape(std::unique_ptr<GShape> shape)
{
    if (shape && shape->ClassCode() != shapeType_)
        throw GShapefileException("The shape is not of the required type");
    shapes_.Add(std::move(shape));
    measured_.push_back(KindOfType(fileShapeType_).HasM);
    pendingRecord_.push_back(-1);
}

void GShapefile::DeleteShape(int index)
{
    shapes_.Delete(index);
    measured_.erase(measured_.begin() + index);
    pendingRecord_.erase(pendingRecord_.begin() + index);
}

void GShapefile::LoadAllSlots()
{
    if (std::all_of(pendingRecord_.begin(), pendingRecord_.end(),
                    [](std::int32_t record) { return record < 0; }))
        return;
    // One pass over the files for all the missing records, rather than a pair of opens per slot.
    const auto [shpPath, shxPath] = PathsOf(fileName_);
    const FileImage shxImage(shxPath);
    const std::span<const std::uint8_t> shx = shxImage.Bytes();
    CheckFileHeader(shxPath, shx, shx.size());
    const std::int32_t count = IndexCount(shxPath, shx.size());
    const ReadOnlyFile shpFile(shpPath);
    WindowReader window(shpFile);
    const ShapeKind kind = KindOfType(fileShapeType_);
    for (std::size_t slot = 0; slot < pendingRecord_.size(); ++slot)
    {
        const std::int32_t record = pendingRecord_[slot];
        if (record < 0)
            continue;
        if (record >= count)
            Damaged(shxPath, RecordText(record) + ": the index of " + std::to_string(count) +
                                 " records has no entry for it");
        ParsedRecord read = ReadRecord(shxPath, shpPath, kind, record, shx, shpFile.Size(),
                                       [&window](std::uint64_t offset, std::uint64_t length)
                                       { return window.Get(offset, length); });
        shapes_.SetItem(static_cast<int>(slot), std::move(read.Shape));
        measured_[slot] = read.Measured;
        pendingRecord_[slot] = -1;
    }
}

void GShapefile::Flush()
{
    if (!isOpen_)
        throw GShapefileException("The shapefile is not open");
    LoadAllSlots();
    const PairPaths paths = PathsOf(fileName_);
    SidecarPlan plan;
    if (targetDatum_)
    {
        std::string notice;
        plan.Prj = PrjRewrite(ExistingSiblingFile(paths.Shp, ".prj"), *targetDatum_, notice);
        if (!notice.empty())
            plan.Notices.push_back(notice);
    }
    WritePair(paths, KindOfType(fileShapeType_), shapes_, measured_, std::move(plan), notices_);
    targetDatum_.reset();
}

GShapefileImages GShapefile::SaveToImages()
{
    if (!isOpen_)
        throw GShapefileException("The shapefile is not open");
    LoadAllSlots();
    const ShapeKind kind = KindOfType(fileShapeType_);
    const Layout layout = PlanLayout(SiblingFile(fileName_, ".shp"), kind, shapes_, measured_);
    GShapefileImages images;
    images.Shp.reserve(static_cast<std::size_t>(layout.ShpBytes));
    images.Shx.reserve(static_cast<std::size_t>(layout.ShxBytes));
    VectorSink shp{images.Shp};
    VectorSink shx{images.Shx};
    WriteFiles(shp, shx, kind, shapes_, measured_, layout);
    return images;
}

// ---- GShapefileRecordSet ----------------------------------------------------------------------

namespace
{

using DialogHook = GDataSourceDialogHook<GShapefileDataSourceSettings>;

} // namespace

GShapefileRecordSet::GShapefileRecordSet() : shapefile_(std::make_unique<GShapefile>())
{
    shapefile_->SetLoadShapesOnOpen(true);
    SetCachedUpdates(false);
}

GShapefileRecordSet::~GShapefileRecordSet()
{
    // The attribute query is closed by the base destructors; the shapes go here.
    if (shapefile_->IsOpen())
        shapefile_->Close();
}

void GShapefileRecordSet::SetFileName(const std::string& fileName)
{
    if (Active())
        throw GShapefileException("You cannot set this property while the shapefile is active.");
    fileName_ = fileName;
}

bool GShapefileRecordSet::DoOpen()
{
    GetSQL() = {engine::TableStatement("", SiblingFile(fileName_, ".dbf"))};
    DatabaseName.clear();
    // A record set that may not write (a dry run, a read for an import) changes no file: what an
    // interrupted run left is only reported.
    shapefile_->SetRecoverOnOpen(!GetReadOnly());
    if (!GBorlandRecordSet::DoOpen())
        return false;
    const bool opened = shapefile_->Open(fileName_);
    // A ".dbf" and ".shx" of different lengths would pair attributes with the wrong shapes.
    const std::int32_t rows = DoGetRecordCount();
    const std::int32_t shapes = shapefile_->Count();
    if (rows != shapes)
    {
        shapefile_->Close();
        throw GShapefileException(fileName_ + ": the attribute table has " + std::to_string(rows) +
                                  " records and the shape index " + std::to_string(shapes));
    }
    return opened;
}

std::unique_ptr<GShape> GShapefileRecordSet::DoGetShape()
{
    return GetShapeAt(RecordIndex());
}

std::unique_ptr<GShape> GShapefileRecordSet::GetShapeAt(std::int32_t recordIndex)
{
    const GShape* shape = shapefile_->GetShape(recordIndex);
    return shape ? shape->Duplicate() : nullptr;
}

const GShape* GShapefileRecordSet::LentShapeAt(std::int32_t recordIndex) const
{
    return shapefile_->LoadedShape(recordIndex);
}

void GShapefileRecordSet::DoSetShape(const GShape& shape)
{
    pendingShape_ = shape.Duplicate();
}

void GShapefileRecordSet::DoTakeShape(std::unique_ptr<GShape> shape)
{
    pendingShape_ = std::move(shape);
}

void GShapefileRecordSet::DoCancel()
{
    GBorlandRecordSet::DoCancel();
    pendingShape_.reset();
}

void GShapefileRecordSet::DoDelete()
{
    const std::int32_t index = RecordIndex();
    GBorlandRecordSet::DoDelete();
    shapefile_->DeleteShape(index);
}

void GShapefileRecordSet::DoPost()
{
    const bool appending = State() == rsAppend;
    if (appending && !pendingShape_)
        throw GShapefileException("You cannot post a nil shape to a shapefile");
    // Checked before the attribute row is written, so that a refused shape cannot leave the
    // ".dbf" one row ahead of the shapes.
    if (pendingShape_ && pendingShape_->ClassCode() != shapefile_->ShapeType())
        throw GShapefileException("The shape is not of the required type");
    GBorlandRecordSet::DoPost();
    if (pendingShape_)
    {
        if (appending)
            shapefile_->AppendShape(std::move(pendingShape_));
        else
        {
            if (const GShape* read = shapefile_->GetShape(RecordIndex()))
                CarryHeightsAndMeasures(*read, *pendingShape_);
            shapefile_->ReplaceShape(RecordIndex(), std::move(pendingShape_));
        }
    }
    pendingShape_.reset();
}

void GShapefileRecordSet::DoClose()
{
    if (!Active())
        return;
    if (shapefile_->IsOpen())
        shapefile_->Close();
    GBorlandRecordSet::DoClose();
}

void GShapefileRecordSet::DoFlush()
{
    GBorlandRecordSet::DoFlush();
    if (shapefile_->IsOpen() && !GetReadOnly())
        shapefile_->Flush();
}

std::vector<std::string> GShapefileRecordSet::DataFiles() const
{
    std::vector<std::string> files;
    for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg", ".qix", ".sbn", ".sbx"})
        if (std::string file = ExistingSiblingFile(fileName_, ext); !file.empty())
            files.push_back(std::move(file));
    return files;
}

std::vector<GDeclaredSystem> GShapefileRecordSet::DeclaredSystems() const
{
    if (const std::string prj = ExistingSiblingFile(fileName_, ".prj"); !prj.empty())
        return {ReadPrjDeclaration(prj)};
    return {};
}

void GShapefileRecordSet::SetTargetDatum(std::uint8_t datum)
{
    shapefile_->SetTargetDatum(datum);
}

std::vector<std::string> GShapefileRecordSet::TakeNotices()
{
    return shapefile_->TakeNotices();
}

bool GShapefileRecordSet::DoHasSpatialComponent()
{
    return true;
}

std::unique_ptr<GRecordSetDefinition> GShapefileRecordSet::GetDefinition()
{
    std::unique_ptr<GRecordSetDefinition> definition = GBorlandRecordSet::GetDefinition();
    definition->TableName = fileName_;
    return definition;
}

bool GShapefileRecordSet::CreateTable(const GRecordSetDefinition& definition)
{
    GRecordSetDefinition table;
    table.DatabaseName = definition.DatabaseName;
    table.TableName =
        std::filesystem::path(definition.TableName).replace_extension(".dbf").string();
    table.HasSpatialComponent = false;
    table.ShapeType = definition.ShapeType;
    for (const auto& field : definition.FieldDefinitions)
        table.FieldDefinitions.Add(std::make_unique<GFieldDefinition>(*field));
    const bool created = GBorlandRecordSet::CreateTable(table);
    shapefile_->Create(table.TableName, definition.ShapeType);
    return created;
}

void SetShapefileDataSourceDialog(GShapefileDataSourceDialog dialog)
{
    DialogHook::Instance().Install(std::move(dialog));
}

std::unique_ptr<GShapefileRecordSet> CreateShapefileRecordSet(bool showDialog,
                                                              const std::string& fileName,
                                                              bool readOnly, bool readOnlyEditable)
{
    GShapefileDataSourceSettings settings{fileName, readOnly, readOnlyEditable};
    if (showDialog && !DialogHook::Instance().ShowKeepingReadOnly(settings))
        return nullptr;
    auto recordSet = std::make_unique<GShapefileRecordSet>();
    recordSet->SetFileName(settings.FileName);
    recordSet->SetReadOnly(settings.ReadOnly);
    return recordSet;
}

} // namespace quorvalis
