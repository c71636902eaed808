#include "database/CorvellDatabase.h"

#include "database/DataSourceDialog.h"
#include "database/FileFormat.h"
#include "database/SidecarFiles.h"
#include "database/engine/Text.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

namespace quorvalis
{

namespace
{

constexpr std::size_t kLeadOffset = 0;
constexpr std::size_t kLeadWidth = 5;
constexpr std::size_t kYOffsetOffset = 5;
constexpr std::size_t kXOffsetOffset = 28;
constexpr std::size_t kZOffsetOffset = 51;
constexpr std::size_t kNumberWidth = 23;
constexpr std::size_t kBodyOffset = 100;
constexpr std::size_t kBodyWidth = 236;
constexpr std::size_t kLoOffset = 337;
constexpr std::size_t kLoWidth = 18;
constexpr std::size_t kTailOffset = 356;
constexpr std::size_t kTailWidth = 10;
constexpr std::size_t kNameWidth = 11;
constexpr std::size_t kSurveyRecordWidth = 11;
constexpr std::size_t kMaskWidth = 10;
constexpr const char* kNumberPicture = "0.0000000000000";

std::string ReadTextField(const std::uint8_t* p, std::size_t width)
{
    const auto* begin = reinterpret_cast<const char*>(p);
    const void* zero = std::memchr(begin, 0, width);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - begin) : width;
    return std::string(begin, length);
}

// Text for a message: control characters shown as '?'.
std::string Printable(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t b : bytes)
        text.push_back(b < 32 || b == 127 ? '?' : static_cast<char>(b));
    return text;
}

double ReadNumberField(const std::string& fileName, const std::uint8_t* header, std::size_t offset)
{
    const std::span<const std::uint8_t> field(header + offset, kNumberWidth);
    if (const std::optional<double> value = CorvellNumberValue(field))
        return *value;
    const std::string_view text = engine::TrimBlanks(
        std::string_view(reinterpret_cast<const char*>(field.data()), field.size()));
    throw GCorvellException(
        fileName + ": offset " + std::to_string(offset) + ": \"" +
        Printable({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}) +
        "\" is not a number");
}

bool SameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Puts bytes at offset of out.
void Put(std::vector<std::uint8_t>& out, std::size_t offset, const std::string& bytes)
{
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
}

void AppendDouble(std::vector<std::uint8_t>& out, double value)
{
    out.resize(out.size() + 8);
    PutLittleDouble(out.data() + out.size() - 8, value);
}

void AppendText(std::vector<std::uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// The zone: the first run of decimal digits of the trimmed Lo text; 0 without digits.
std::int32_t ParseLo(const std::string& fileName, const std::string& text)
{
    const std::string_view trimmed = engine::TrimBlanks(text);
    std::size_t i = 0;
    while (i < trimmed.size() && !(trimmed[i] >= '0' && trimmed[i] <= '9'))
        ++i;
    std::int64_t value = 0;
    for (; i < trimmed.size() && trimmed[i] >= '0' && trimmed[i] <= '9'; ++i)
    {
        value = value * 10 + (trimmed[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max())
            throw GCorvellException(fileName + ": the Lo text \"" + std::string(trimmed) +
                                    "\" holds a zone number that is too large");
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

std::string CorvellTextField(const std::string& text, std::size_t width)
{
    if (text.size() >= width)
        return text.substr(0, width);
    std::string field = text;
    field.push_back('\0');
    field.append(width - field.size(), ' ');
    return field;
}

std::optional<double> CorvellNumberValue(std::span<const std::uint8_t> field)
{
    const std::string_view text = engine::TrimBlanks(
        std::string_view(reinterpret_cast<const char*>(field.data()), field.size()));
    double value = 0.0;
    if (text.empty())
        return 0.0;
    if (!ParseNumberEitherSeparator(text, value))
        return std::nullopt;
    return value;
}

std::string CorvellNumberField(double value)
{
    const std::string text = FormatPicture(value, kNumberPicture);
    if (text.size() >= kNumberWidth)
        return text.substr(0, kNumberWidth);
    return std::string(kNumberWidth - text.size(), ' ') + text;
}

void GCorvellCoordinateFile::LoadFromBytes(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kCorvellHeaderSize)
        throw GCorvellException(FileName + ": file of " + std::to_string(bytes.size()) +
                                " bytes is shorter than the 512-byte coordinate list header");
    const std::uint8_t* header = bytes.data();
    GCorvellHeader read;
    read.HeaderLead = ReadTextField(header + kLeadOffset, kLeadWidth);
    read.YOffset = ReadNumberField(FileName, header, kYOffsetOffset);
    read.XOffset = ReadNumberField(FileName, header, kXOffsetOffset);
    read.ZOffset = ReadNumberField(FileName, header, kZOffsetOffset);
    read.HeaderBody = ReadTextField(header + kBodyOffset, kBodyWidth);
    read.Lo = ParseLo(FileName, ReadTextField(header + kLoOffset, kLoWidth));
    read.HeaderTail = ReadTextField(header + kTailOffset, kTailWidth);
    read.RawHeader.assign(header, header + kCorvellHeaderSize);

    // A partial record at the end is ignored.
    const std::size_t count = (bytes.size() - kCorvellHeaderSize) / kCorvellRecordSize;
    if (count > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw GCorvellException(FileName + ": " + std::to_string(count) +
                                " records are more than a list can hold");
    GCorvellCoordinateList coordinates;
    coordinates.Reserve(static_cast<int>(count));
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::uint8_t* record = header + kCorvellHeaderSize + i * kCorvellRecordSize;
        auto coordinate = std::make_unique<GCorvellCoordinate>();
        coordinate->Name = ReadTextField(record, kNameWidth);
        coordinate->Y = GetLittleDouble(record + 11);
        coordinate->X = GetLittleDouble(record + 19);
        if (!std::isfinite(coordinate->X) || !std::isfinite(coordinate->Y))
            throw GCorvellException(FileName + ": record " + std::to_string(i + 1) + " (" +
                                    coordinate->Name + "): coordinate (" +
                                    std::to_string(coordinate->X) + ", " +
                                    std::to_string(coordinate->Y) + ") is not a finite number");
        coordinate->SurveyRecord = ReadTextField(record + 27, kSurveyRecordWidth);
        coordinate->Mask = ReadTextField(record + 38, kMaskWidth);
        coordinate->Raw.emplace();
        std::copy(record, record + kCorvellRecordSize, coordinate->Raw->begin());
        coordinates.Add(std::move(coordinate));
    }

    static_cast<GCorvellHeader&>(*this) = std::move(read);
    Coordinates.Clear();
    Coordinates.AppendFrom(coordinates);
}

bool GCorvellCoordinateFile::LoadFromFile()
{
    const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(FileName);
    if (!bytes)
        return false;
    LoadFromBytes(*bytes);
    return true;
}

std::vector<std::uint8_t> GCorvellCoordinateFile::SaveToBytes() const
{
    std::vector<std::uint8_t> out;
    out.reserve(kCorvellHeaderSize +
                kCorvellRecordSize * static_cast<std::size_t>(Coordinates.Count()));
    if (RawHeader.size() == kCorvellHeaderSize)
    {
        // The header as read, with only the members that changed written anew.
        out = RawHeader;
        const std::uint8_t* raw = RawHeader.data();
        const auto text = [&](const std::string& value, std::size_t offset, std::size_t width)
        {
            if (value != ReadTextField(raw + offset, width))
                Put(out, offset, CorvellTextField(value, width));
        };
        const auto number = [&](double value, std::size_t offset)
        {
            const std::optional<double> read =
                CorvellNumberValue(std::span<const std::uint8_t>(raw + offset, kNumberWidth));
            if (!read || !SameBits(*read, value))
                Put(out, offset, CorvellNumberField(value));
        };
        text(HeaderLead, kLeadOffset, kLeadWidth);
        number(YOffset, kYOffsetOffset);
        number(XOffset, kXOffsetOffset);
        number(ZOffset, kZOffsetOffset);
        text(HeaderBody, kBodyOffset, kBodyWidth);
        std::int32_t lo = -1;
        try
        {
            lo = ParseLo(FileName, ReadTextField(raw + kLoOffset, kLoWidth));
        }
        catch (const GCorvellException&)
        {
        }
        if (lo != Lo)
            Put(out, kLoOffset, CorvellTextField("Lo." + std::to_string(Lo), kLoWidth));
        text(HeaderTail, kTailOffset, kTailWidth);
    }
    else
    {
        AppendText(out, CorvellTextField(HeaderLead, kLeadWidth));
        AppendText(out, CorvellNumberField(YOffset));
        AppendText(out, CorvellNumberField(XOffset));
        AppendText(out, CorvellNumberField(ZOffset));
        out.insert(out.end(), 26, ' ');
        AppendText(out, CorvellTextField(HeaderBody, kBodyWidth));
        out.push_back('.');
        AppendText(out, CorvellTextField("Lo." + std::to_string(Lo), kLoWidth));
        out.push_back('.');
        AppendText(out, CorvellTextField(HeaderTail, kTailWidth));
        out.push_back('.');
        out.insert(out.end(), 145, ' ');
    }

    int index = 0;
    for (const auto& coordinate : Coordinates)
    {
        ++index;
        if (!std::isfinite(coordinate->X) || !std::isfinite(coordinate->Y))
            throw GCorvellException(FileName + ": record " + std::to_string(index) + " (" +
                                    coordinate->Name + "): coordinate is not a finite number; " +
                                    "the file was not written");
        const std::size_t at = out.size();
        if (coordinate->Raw)
        {
            // The record as read, with only the fields that changed written anew.
            out.insert(out.end(), coordinate->Raw->begin(), coordinate->Raw->end());
            const std::uint8_t* raw = coordinate->Raw->data();
            const auto text = [&](const std::string& value, std::size_t offset, std::size_t width)
            {
                if (value != ReadTextField(raw + offset, width))
                    Put(out, at + offset, CorvellTextField(value, width));
            };
            text(coordinate->Name, 0, kNameWidth);
            if (!SameBits(GetLittleDouble(raw + 11), coordinate->Y))
                PutLittleDouble(out.data() + at + 11, coordinate->Y);
            if (!SameBits(GetLittleDouble(raw + 19), coordinate->X))
                PutLittleDouble(out.data() + at + 19, coordinate->X);
            text(coordinate->SurveyRecord, 27, kSurveyRecordWidth);
            text(coordinate->Mask, 38, kMaskWidth);
            continue;
        }
        AppendText(out, CorvellTextField(coordinate->Name, kNameWidth));
        AppendDouble(out, coordinate->Y);
        AppendDouble(out, coordinate->X);
        AppendText(out, CorvellTextField(coordinate->SurveyRecord, kSurveyRecordWidth));
        AppendText(out, CorvellTextField(coordinate->Mask, kMaskWidth));
    }
    return out;
}

void GCorvellCoordinateFile::SaveToFile() const
{
    const std::vector<std::uint8_t> bytes = SaveToBytes();
    GAtomicFile file(FileName);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

// ---- record set -------------------------------------------------------------------------------

namespace
{

using DialogHook = GDataSourceDialogHook<GCorvellDataSourceSettings>;

enum CorvellColumn
{
    ccName,
    ccX,
    ccY,
    ccZ,
    ccSurveyRecord,
    ccMask
};

} // namespace

bool GCorvellRecordSet::DoOpen()
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(FileName, error))
        return false;
    GDataFileRecovery recovery =
        RecoverDataFiles(FileName, {FileName, SiblingFile(FileName, ".prj")}, GetReadOnly());
    if (recovery.Refusal)
        throw GCorvellException(*recovery.Refusal);
    notices_.insert(notices_.end(), recovery.Notices.begin(), recovery.Notices.end());
    ResetTable();
    GCorvellCoordinateFile reader;
    reader.FileName = FileName;
    reader.LoadFromFile();
    static_cast<GCorvellHeader&>(*this) = reader;

    AddFieldDefinition("Name", fdtString, kNameWidth, false);
    AddFieldDefinition("X", fdtFloat, 0, false);
    AddFieldDefinition("Y", fdtFloat, 0, false);
    AddFieldDefinition("Z", fdtFloat, 0, false);
    AddFieldDefinition("Survey Record", fdtString, kSurveyRecordWidth, false);
    AddFieldDefinition("Mask", fdtString, kMaskWidth, false);
    originals_.clear();
    originals_.reserve(static_cast<std::size_t>(reader.Coordinates.Count()));
    return FillMemoryTable(
        [&](GInMemoryTable& table)
        {
            for (const auto& coordinate : reader.Coordinates)
            {
                const double x =
                    static_cast<double>(static_cast<long double>(coordinate->X) + XOffset);
                const double y =
                    static_cast<double>(static_cast<long double>(coordinate->Y) + YOffset);
                table.Append();
                table.SetValue(ccName, engine::Value(coordinate->Name));
                table.SetValue(ccX, engine::Value(x));
                table.SetValue(ccY, engine::Value(y));
                table.SetValue(ccZ, engine::Value(coordinate->Z + ZOffset));
                table.SetValue(ccSurveyRecord, engine::Value(coordinate->SurveyRecord));
                table.SetValue(ccMask, engine::Value(coordinate->Mask));
                table.Post();
                originals_.push_back({coordinate->X, coordinate->Y, x, y, coordinate->Raw});
            }
        });
}

void GCorvellRecordSet::DoFlush()
{
    if (GetReadOnly())
        return;
    GCorvellCoordinateFile writer;
    static_cast<GCorvellHeader&>(writer) = *this;
    writer.FileName = FileName;
    writer.Coordinates.Reserve(RecordCount());

    GField& name = Fields().FieldByName("Name", true);
    GField& survey = Fields().FieldByName("Survey Record", true);
    GField& mask = Fields().FieldByName("Mask", true);
    First();
    while (!Eof())
    {
        const std::unique_ptr<GShape> shape = GetShape();
        const auto& point = static_cast<const GPoint&>(*shape);
        auto coordinate = std::make_unique<GCorvellCoordinate>();
        const std::size_t index = static_cast<std::size_t>(RecordIndex());
        if (index < originals_.size() && originals_[index].X == point.X &&
            originals_[index].Y == point.Y)
        {
            coordinate->X = originals_[index].StoredX;
            coordinate->Y = originals_[index].StoredY;
        }
        else
        {
            coordinate->X = static_cast<double>(static_cast<long double>(point.X) - XOffset);
            coordinate->Y = static_cast<double>(static_cast<long double>(point.Y) - YOffset);
        }
        coordinate->Z = static_cast<double>(static_cast<long double>(point.Z) - ZOffset);
        if (index < originals_.size())
            coordinate->Raw = originals_[index].Raw;
        coordinate->Name = name.AsString();
        coordinate->SurveyRecord = survey.AsString();
        coordinate->Mask = mask.AsString();
        writer.Coordinates.Add(std::move(coordinate));
        Next();
    }
    First();
    const std::vector<std::uint8_t> bytes = writer.SaveToBytes();
    WriteWithDeclaration(
        FileName, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
        targetDatum_, notices_);
    targetDatum_.reset();
}

std::vector<std::string> GCorvellRecordSet::DataFiles() const
{
    return DataFileAndPrj(FileName);
}

std::vector<GDeclaredSystem> GCorvellRecordSet::DeclaredSystems() const
{
    std::vector<GDeclaredSystem> systems;
    if (Active() && Lo != 0)
    {
        GDeclaredSystem header;
        header.Source = FileName;
        header.Description = "Lo." + std::to_string(Lo);
        header.LocalOrigin = Lo;
        systems.push_back(std::move(header));
    }
    for (GDeclaredSystem& declared : PrjDeclarations(FileName))
        systems.push_back(std::move(declared));
    return systems;
}

void GCorvellRecordSet::SetTargetDatum(std::uint8_t datum)
{
    targetDatum_ = datum;
}

std::vector<std::string> GCorvellRecordSet::TakeNotices()
{
    return std::exchange(notices_, {});
}

std::unique_ptr<GShape> GCorvellRecordSet::DoGetShape()
{
    return PointFromFields("X", "Y", "Z");
}

void GCorvellRecordSet::DoSetShape(const GShape& shape)
{
    GRecordSet::DoSetShape(shape); // the edit-mode and spatial checks
    StorePointInFields(shape, "X", "Y", "Z");
}

bool GCorvellRecordSet::DoHasSpatialComponent()
{
    return true;
}

void SetCorvellDataSourceDialog(GCorvellDataSourceDialog dialog)
{
    DialogHook::Instance().Install(std::move(dialog));
}

std::unique_ptr<GCorvellRecordSet> CreateCorvellRecordSet(bool showDialog,
                                                          const std::string& fileName,
                                                          bool readOnly, bool readOnlyEditable)
{
    GCorvellDataSourceSettings settings{fileName, readOnly, readOnlyEditable};
    if (showDialog && !DialogHook::Instance().ShowKeepingReadOnly(settings))
        return nullptr;
    auto recordSet = std::make_unique<GCorvellRecordSet>();
    recordSet->FileName = settings.FileName;
    recordSet->SetReadOnly(settings.ReadOnly);
    return recordSet;
}

} // namespace quorvalis
