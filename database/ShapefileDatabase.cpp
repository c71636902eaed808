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

// Builds the shape of one record from its content bytes (type first).
std::unique_ptr<GShape> ParseRecord(const std::string& shpPath, std::uint8_t classCode,
                                    std::int32_t index, const std::uint8_t* content,
                                    std::uint64_t length)
{
    const std::int32_t type = GetLittle32(content);
    const std::int32_t expected = SpatialTypeToShapeType(classCode);
    if (type != expected)
    {
        switch (expected)
        {
        case 1:
            throw GShapefileException("Not a point shapefile");
        case 3:
            throw GShapefileException("Not a line shapefile");
        default:
            throw GShapefileException("Not a polygon shapefile");
        }
    }
    if (classCode == scPoint)
    {
        if (length < static_cast<std::uint64_t>(kPointContent))
            Damaged(shpPath, RecordText(index) + ": point content of " + std::to_string(length) +
                                 " bytes is shorter than 20");
        return std::make_unique<GPoint>(CheckedCoordinate(shpPath, index, content + 4),
                                        CheckedCoordinate(shpPath, index, content + 12));
    }

    if (length < static_cast<std::uint64_t>(kMultiPartFixedContent))
        Damaged(shpPath, RecordText(index) + ": " + KindName(classCode) + " content of " +
                             std::to_string(length) + " bytes is shorter than 44");
    const std::int32_t partCount = GetLittle32(content + 36);
    const std::int32_t pointCount = GetLittle32(content + 40);
    if (partCount < 0)
        Damaged(shpPath,
                RecordText(index) + ": negative number of parts " + std::to_string(partCount));
    if (pointCount < 0)
        Damaged(shpPath,
                RecordText(index) + ": negative number of points " + std::to_string(pointCount));
    const std::uint64_t needed = static_cast<std::uint64_t>(kMultiPartFixedContent) +
                                 4 * static_cast<std::uint64_t>(partCount) +
                                 16 * static_cast<std::uint64_t>(pointCount);
    if (needed > length)
        Damaged(shpPath, RecordText(index) + ": " + std::to_string(partCount) + " parts and " +
                             std::to_string(pointCount) + " points need " + std::to_string(needed) +
                             " bytes, the record holds " + std::to_string(length));
    if (partCount == 0 && pointCount > 0)
        Damaged(shpPath,
                RecordText(index) + ": " + std::to_string(pointCount) + " points but no parts");

    const std::uint8_t* starts = content + kMultiPartFixedContent;
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

    std::unique_ptr<GLine> line;
    if (classCode == scLine)
        line = std::make_unique<GLine>();
    else
        line = std::make_unique<GPolygon>();
    line->Parts.Reserve(partCount);
    const std::uint8_t* points = starts + 4 * static_cast<std::size_t>(partCount);
    for (std::int32_t k = 0; k < partCount; ++k)
    {
        const std::int32_t first = GetLittle32(starts + 4 * static_cast<std::size_t>(k));
        const std::int32_t last = k + 1 < partCount
                                      ? GetLittle32(starts + 4 * static_cast<std::size_t>(k + 1))
                                      : pointCount;
        auto part = std::make_unique<GPointList>();
        part->Reserve(last - first);
        for (std::int32_t i = first; i < last; ++i)
        {
            const std::uint8_t* p = points + 16 * static_cast<std::size_t>(i);
            part->Add(std::make_unique<GPoint>(CheckedCoordinate(shpPath, index, p),
                                               CheckedCoordinate(shpPath, index, p + 8)));
        }
        line->Parts.Add(std::move(part));
    }
    return line;
}

// The shape class code of a ".shp" from its header.
std::uint8_t HeaderClassCode(std::span<const std::uint8_t> shpHeader)
{
    return ShapeTypeToSpatialType(GetLittle32(shpHeader.data() + 32));
}

// Reads record `record` given the whole ".shx" image; fetch(offset, length) gives the bytes of
// the ".shp" (already checked to lie inside it).
template <class Fetch>
std::unique_ptr<GShape> ReadRecord(const std::string& shxPath, const std::string& shpPath,
                                   std::uint8_t classCode, std::int32_t record,
                                   std::span<const std::uint8_t> shx, std::uint64_t shpSize,
                                   Fetch&& fetch)
{
    const RecordLocation where = LocateRecord(
        shxPath, shpPath, record,
        shx.data() + kHeaderSize + kIndexEntrySize * static_cast<std::size_t>(record), shpSize);
    return ParseRecord(shpPath, classCode, record, fetch(where.ContentOffset, where.ContentBytes),
                       where.ContentBytes);
}

// Reads the first count records (every entry of the ".shx" image), in file order.
template <class Fetch>
GShapeList ReadAllRecords(const std::string& shxPath, const std::string& shpPath,
                          std::uint8_t classCode, std::span<const std::uint8_t> shx,
                          std::int32_t count, std::uint64_t shpSize, Fetch&& fetch)
{
    GShapeList shapes;
    shapes.Reserve(count);
    for (std::int32_t i = 0; i < count; ++i)
        shapes.Add(ReadRecord(shxPath, shpPath, classCode, i, shx, shpSize, fetch));
    return shapes;
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

// What a flush will write, worked out before any byte goes to disk so that a refusal leaves the
// files untouched and the headers can be written first.
struct Layout
{
    std::vector<std::uint32_t> ContentWords; // per record
    std::vector<Extent> LineBoxes;           // per record of a line or polygon file
    Extent Box;
    std::uint64_t ShpBytes = kHeaderSize;
    std::uint64_t ShxBytes = kHeaderSize;
};

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

Layout PlanLayout(const std::string& shpPath, std::uint8_t classCode, const GShapeList& shapes)
{
    Layout layout;
    layout.ContentWords.reserve(static_cast<std::size_t>(shapes.Count()));
    if (classCode != scPoint)
        layout.LineBoxes.resize(static_cast<std::size_t>(shapes.Count()));
    std::int32_t index = 0;
    for (const auto& shape : shapes)
    {
        std::uint64_t bytes = 4; // null record: the type only
        if (shape)
        {
            if (shape->ClassCode() != classCode ||
                (classCode == scPoint && dynamic_cast<const GPoint*>(shape.get()) == nullptr) ||
                (classCode != scPoint && dynamic_cast<const GLine*>(shape.get()) == nullptr))
                throw GShapefileException(
                    "The shape is not of the required type: " + RecordText(index) + " of " +
                    shpPath + " holds a " + KindName(shape->ClassCode()) + " shape");
            if (classCode == scPoint)
            {
                const auto& point = static_cast<const GPoint&>(*shape);
                CheckFinite(shpPath, index, point.X, point.Y);
                layout.Box.Add(point.X, point.Y);
                bytes = kPointContent;
            }
            else
            {
                const auto& line = static_cast<const GLine&>(*shape);
                std::int32_t parts = 0;
                const std::uint64_t points = PartPointCount(line, parts);
                Extent& box = layout.LineBoxes[static_cast<std::size_t>(index)];
                for (const auto& part : line.Parts)
                {
                    if (!part)
                        continue;
                    for (const auto& point : *part)
                    {
                        CheckFinite(shpPath, index, point->X, point->Y);
                        box.Add(point->X, point->Y);
                    }
                }
                layout.Box.Add(box);
                bytes = kMultiPartFixedContent + 4 * std::uint64_t(parts) + 16 * points;
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

void FillHeader(std::uint8_t* header, std::uint64_t fileBytes, std::int32_t shapeType,
                const Extent& box)
{
    std::memset(header, 0, kHeaderSize);
    PutBig32(header, kFileCode);
    PutBig32(header + 24, static_cast<std::uint32_t>(fileBytes / 2));
    PutLittle32(header + 28, kVersion);
    PutLittle32(header + 32, shapeType);
    if (box.Any)
    {
        PutLittleDouble(header + 36, box.MinX);
        PutLittleDouble(header + 44, box.MinY);
        PutLittleDouble(header + 52, box.MaxX);
        PutLittleDouble(header + 60, box.MaxY);
    }
    // Z and M ranges stay zero.
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

// Writes the ".shp" bytes through shpSink and the ".shx" bytes through shxSink.
template <class ShpSink, class ShxSink>
void WriteFiles(ShpSink& shpSink, ShxSink& shxSink, std::uint8_t classCode,
                const GShapeList& shapes, const Layout& layout)
{
    const std::int32_t shapeType = SpatialTypeToShapeType(classCode);
    // Large enough for any fixed part written at once (a record header, a point, the header).
    const std::size_t capacity =
        std::clamp<std::size_t>(static_cast<std::size_t>(layout.ShpBytes), 128, kWriteBufferSize);
    BufferedWriter<ShpSink> shp(shpSink, capacity);
    BufferedWriter<ShxSink> shx(shxSink, capacity);
    FillHeader(shp.Reserve(kHeaderSize), layout.ShpBytes, shapeType, layout.Box);
    FillHeader(shx.Reserve(kHeaderSize), layout.ShxBytes, shapeType, layout.Box);

    std::uint64_t offset = kHeaderSize;
    std::int32_t index = 0;
    for (const auto& shape : shapes)
    {
        const std::uint32_t words = layout.ContentWords[static_cast<std::size_t>(index)];
        std::uint8_t* entry = shx.Reserve(kIndexEntrySize);
        PutBig32(entry, static_cast<std::uint32_t>(offset / 2));
        PutBig32(entry + 4, words);

        std::uint8_t* head = shp.Reserve(kRecordHeaderSize);
        PutBig32(head, static_cast<std::uint32_t>(index + 1));
        PutBig32(head + 4, words);
        if (!shape)
        {
            PutLittle32(shp.Reserve(4), 0);
        }
        else if (classCode == scPoint)
        {
            const auto& point = static_cast<const GPoint&>(*shape);
            std::uint8_t* p = shp.Reserve(kPointContent);
            PutLittle32(p, shapeType);
            PutLittleDouble(p + 4, point.X);
            PutLittleDouble(p + 12, point.Y);
        }
        else
        {
            const auto& line = static_cast<const GLine&>(*shape);
            std::int32_t parts = 0;
            const std::uint64_t points = PartPointCount(line, parts);
            const Extent& box = layout.LineBoxes[static_cast<std::size_t>(index)];
            std::uint8_t* p = shp.Reserve(kMultiPartFixedContent);
            std::memset(p, 0, kMultiPartFixedContent);
            PutLittle32(p, shapeType);
            if (box.Any)
            {
                PutLittleDouble(p + 4, box.MinX);
                PutLittleDouble(p + 12, box.MinY);
                PutLittleDouble(p + 20, box.MaxX);
                PutLittleDouble(p + 28, box.MaxY);
            }
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
            for (const auto& part : line.Parts)
            {
                if (!part)
                    continue;
                for (const auto& point : *part)
                {
                    std::uint8_t* q = shp.Reserve(16);
                    PutLittleDouble(q, point->X);
                    PutLittleDouble(q + 8, point->Y);
                }
            }
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
void WritePair(const PairPaths& paths, std::uint8_t classCode, const GShapeList& shapes,
               SidecarPlan plan, std::vector<std::string>& notices)
{
    const auto& [shpPath, shxPath] = paths;
    const Layout layout = PlanLayout(shpPath, classCode, shapes);

    const std::vector<std::string> recovered = RecoverShapefile(paths, false).Notices;
    notices.insert(notices.end(), recovered.begin(), recovered.end());
    GFileSetCommit commit(CommitMarkerOf(shpPath));
    GAtomicFile& shp = commit.Replace(shpPath);
    GAtomicFile& shx = commit.Replace(shxPath);
    WriteFiles(shp, shx, classCode, shapes, layout);
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
    default:
        throw GShapefileException("That spatial type is not a valid shapefile type");
    }
}

std::uint8_t ShapeTypeToSpatialType(std::int32_t shapeType)
{
    switch (shapeType)
    {
    case 1:
        return scPoint;
    case 3:
        return scLine;
    case 5:
        return scPolygon;
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
    isOpen_ = false;
    shapeType_ = 0;
    fileName_.clear();
}

void GShapefile::Adopt(const std::string& fileName, std::uint8_t classCode, GShapeList shapes,
                       std::vector<std::int32_t> pendingRecord)
{
    ResetState();
    shapes_ = std::move(shapes);
    pendingRecord_ = std::move(pendingRecord);
    fileName_ = fileName;
    shapeType_ = classCode;
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
        const std::uint8_t classCode = HeaderClassCode(ReadFileHeader(shpPath, shpFile));
        WindowReader window(shpFile);
        Adopt(fileName, classCode,
              ReadAllRecords(shxPath, shpPath, classCode, shx, count, shpFile.Size(),
                             [&window](std::uint64_t offset, std::uint64_t length)
                             { return window.Get(offset, length); }),
              std::vector<std::int32_t>(static_cast<std::size_t>(count), -1));
        return true;
    }

    // Only the headers now; each record is read when its slot is first asked for.
    const ReadOnlyFile shxFile(shxPath);
    const ReadOnlyFile shpFile(shpPath);
    ReadFileHeader(shxPath, shxFile);
    const std::int32_t count = IndexCount(shxPath, shxFile.Size());
    const std::uint8_t classCode = HeaderClassCode(ReadFileHeader(shpPath, shpFile));
    GShapeList slots;
    slots.Reserve(count);
    for (std::int32_t i = 0; i < count; ++i)
        slots.Add(nullptr);
    std::vector<std::int32_t> pendingRecord(static_cast<std::size_t>(count));
    std::iota(pendingRecord.begin(), pendingRecord.end(), 0);
    Adopt(fileName, classCode, std::move(slots), std::move(pendingRecord));
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
    const std::uint8_t classCode = HeaderClassCode(shp);
    Adopt(fileName, classCode,
          ReadAllRecords(shxPath, shpPath, classCode, shx, count, shp.size(),
                         [shp](std::uint64_t offset, std::uint64_t)
                         { return shp.data() + static_cast<std::size_t>(offset); }),
          std::vector<std::int32_t>(static_cast<std::size_t>(count), -1));
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
    SpatialTypeToShapeType(shapeType); // refuses a class code without a shapefile type
    GShapeList none;
    WritePair(PathsOf(fileName), shapeType, none, {}, notices_);
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
    auto loaded = ParseRecord(shpPath, shapeType_, record, content.data(), content.size());
    GShape* result = loaded.get();
    shapes_.SetItem(index, std::move(loaded));
    pendingRecord_[static_cast<std::size_t>(index)] = -1;
    return result;
}

void GShapefile::ReplaceShape(int index, std::unique_ptr<GShape> shape)
{
    shapes_.SetItem(index, std::move(shape));
    pendingRecord_[static_cast<std::size_t>(index)] = -1;
}

void GShapefile::AppendShape(std::unique_ptr<GShape> shape)
{
    if (shape && shape->ClassCode() != shapeType_)
        throw GShapefileException("The shape is not of the required type");
    shapes_.Add(std::move(shape));
    pendingRecord_.push_back(-1);
}

void GShapefile::DeleteShape(int index)
{
    shapes_.Delete(index);
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
    for (std::size_t slot = 0; slot < pendingRecord_.size(); ++slot)
    {
        const std::int32_t record = pendingRecord_[slot];
        if (record < 0)
            continue;
        if (record >= count)
            Damaged(shxPath, RecordText(record) + ": the index of " + std::to_string(count) +
                                 " records has no entry for it");
        shapes_.SetItem(static_cast<int>(slot),
                        ReadRecord(shxPath, shpPath, shapeType_, record, shx, shpFile.Size(),
                                   [&window](std::uint64_t offset, std::uint64_t length)
                                   { return window.Get(offset, length); }));
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
    WritePair(paths, shapeType_, shapes_, std::move(plan), notices_);
    targetDatum_.reset();
}

GShapefileImages GShapefile::SaveToImages()
{
    if (!isOpen_)
        throw GShapefileException("The shapefile is not open");
    LoadAllSlots();
    const Layout layout = PlanLayout(SiblingFile(fileName_, ".shp"), shapeType_, shapes_);
    GShapefileImages images;
    images.Shp.reserve(static_cast<std::size_t>(layout.ShpBytes));
    images.Shx.reserve(static_cast<std::size_t>(layout.ShxBytes));
    VectorSink shp{images.Shp};
    VectorSink shx{images.Shx};
    WriteFiles(shp, shx, shapeType_, shapes_, layout);
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
    return shape ? shape->Clone() : nullptr;
}

void GShapefileRecordSet::DoSetShape(const GShape& shape)
{
    pendingShape_ = shape.Clone();
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
            shapefile_->ReplaceShape(RecordIndex(), std::move(pendingShape_));
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
