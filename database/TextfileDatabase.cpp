#include "database/TextfileDatabase.h"

#include "database/DataSourceDialog.h"
#include "database/engine/Text.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <numeric>

namespace quorvalis
{

namespace
{

constexpr std::uint8_t kFixedWidth = 0;
constexpr std::uint8_t kDelimited = 1;
constexpr std::uint8_t kTypeInteger = 1;
constexpr std::uint8_t kTypeFloat = 2;
constexpr std::uint8_t kLastFieldType = 8;
// Smallest field record: two empty-but-terminated blocks and the fixed members.
constexpr std::size_t kSmallestFieldRecord = 4 + 1 + 4 + 1 + 4 + 4 + 1 + 1;

std::string FieldLabel(const std::string& source, int number)
{
    return source + ": field " + std::to_string(number);
}

std::int32_t ReadCheckedInt32(GStream& stream, const std::string& where, const char* what)
{
    if (stream.Remaining() < 4)
        throw GTextfileException(where + ": the file ends inside the " + what);
    return stream.ReadInt32();
}

std::uint8_t ReadCheckedByte(GStream& stream, const std::string& where, const char* what)
{
    if (stream.Remaining() < 1)
        throw GTextfileException(where + ": the file ends inside the " + what);
    return stream.ReadByte();
}

// A name or format block: its length, then the characters and a zero byte.
std::string ReadBlock(GStream& stream, const std::string& where, const char* what)
{
    const std::int32_t length = ReadCheckedInt32(stream, where, what);
    if (length < 1 || length > kTextFileMaximumBlock)
        throw GTextfileException(where + ": " + what + " of " + std::to_string(length) +
                                 " bytes is not between 1 and " +
                                 std::to_string(kTextFileMaximumBlock));
    if (stream.Remaining() < static_cast<std::size_t>(length))
        throw GTextfileException(where + ": the file ends inside the " + what + " (" +
                                 std::to_string(length) + " bytes announced, " +
                                 std::to_string(stream.Remaining()) + " left)");
    std::string block(static_cast<std::size_t>(length), '\0');
    stream.Read(block.data(), block.size());
    const std::size_t zero = block.find('\0');
    if (zero == std::string::npos)
        throw GTextfileException(where + ": " + what + " of " + std::to_string(length) +
                                 " bytes has no zero byte");
    block.resize(zero);
    return block;
}

bool HasLineBreak(std::string_view text)
{
    return text.find('\r') != std::string_view::npos || text.find('\n') != std::string_view::npos;
}

} // namespace

// ---- helpers ----------------------------------------------------------------------------------

std::int32_t TextToInteger(std::string_view text)
{
    text = engine::TrimBlanks(text);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return 0;
    std::int64_t value = 0;
    for (; i < text.size(); ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return 0;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(value);
}

std::string FormatFieldFloat(double value, const std::string& format)
{
    if (!format.empty())
        return FormatPicture(value, format);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    std::string text(buffer);
    std::replace(text.begin(), text.end(), '.', DecimalSeparator());
    return text;
}

// ---- definition -------------------------------------------------------------------------------

void GTextFileField::LoadFromStream(GStream& stream, const std::string& source, int number)
{
    const std::string where = FieldLabel(source, number);
    std::string name = ReadBlock(stream, where, "name block");
    std::string format = ReadBlock(stream, where, "format block");
    const std::int32_t startColumn = ReadCheckedInt32(stream, where, "start column");
    const std::int32_t width = ReadCheckedInt32(stream, where, "width");
    const std::uint8_t alignment = ReadCheckedByte(stream, where, "alignment");
    const std::uint8_t fieldType = ReadCheckedByte(stream, where, "field type");
    if (fieldType > kLastFieldType)
        throw GTextfileException(where + " (" + name + "): field type code " +
                                 std::to_string(fieldType) + " is not one of 0 to 8");
    Name = std::move(name);
    Format = std::move(format);
    StartColumn = startColumn;
    Width = width;
    Alignment = alignment;
    FieldType = fieldType;
}

void GTextFileFieldList::LoadFromStream(GStream& stream, const std::string& source)
{
    Clear();
    const std::int32_t count = ReadCheckedInt32(stream, source, "field count");
    if (count < 0 || static_cast<std::uint64_t>(count) * kSmallestFieldRecord > stream.Remaining())
        throw GTextfileException(source + ": field count " + std::to_string(count) +
                                 " does not fit in the " + std::to_string(stream.Remaining()) +
                                 " bytes that follow it");
    Reserve(count);
    for (int k = 0; k < count; ++k)
    {
        auto field = std::make_unique<GTextFileField>();
        field->LoadFromStream(stream, source, k + 1);
        Add(std::move(field));
    }
}

void GTextFileDefinition::LoadFromBytes(std::span<const std::uint8_t> bytes,
                                        const std::string& source)
{
    GStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (stream.Size() < 3)
        throw GTextfileException(source + ": the file ends inside the definition header (" +
                                 std::to_string(stream.Size()) + " bytes)");
    const std::uint8_t fileType = stream.ReadByte();
    const char delimiter = static_cast<char>(stream.ReadByte());
    const bool hasHeader = stream.ReadByte() != 0;
    // Read into a fresh list so that a refused file leaves this definition as it was.
    GTextFileFieldList fields;
    fields.LoadFromStream(stream, source);
    FileType = fileType;
    Delimiter = delimiter;
    HasHeader = hasHeader;
    Fields.Clear();
    Fields.AppendFrom(fields);
}

void GTextFileDefinition::LoadFromFile(const std::string& fileName)
{
    if (const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(fileName))
        LoadFromBytes(*bytes, fileName);
}

void GTextFileDefinition::Assign(const GTextFileDefinition& source)
{
    if (&source == this)
        return;
    Fields.Clear();
    Fields.Reserve(source.Fields.Count());
    for (const auto& field : source.Fields)
        Fields.Add(std::make_unique<GTextFileField>(*field));
    Delimiter = source.Delimiter;
    HasHeader = source.HasHeader;
    FileType = source.FileType;
}

std::string GTextFileDefinition::FieldText(std::string_view line, int field) const
{
    const GTextFileField& definition = *Fields.GetItem(field);
    std::string_view text;
    if (FileType == kFixedWidth)
    {
        // 64-bit arithmetic: start and width come from the file and may be anything.
        const std::int64_t start = std::max<std::int64_t>(definition.StartColumn, 1) - 1;
        const std::int64_t width = std::max<std::int32_t>(definition.Width, 0);
        if (start < static_cast<std::int64_t>(line.size()))
            text = line.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(width));
    }
    else if (FileType == kDelimited)
    {
        std::size_t begin = 0;
        bool found = true;
        for (int k = 0; k < field; ++k)
        {
            const std::size_t next = line.find(Delimiter, begin);
            if (next == std::string_view::npos)
            {
                found = false;
                break;
            }
            begin = next + 1;
        }
        if (found)
        {
            const std::size_t end = line.find(Delimiter, begin);
            text = line.substr(begin, end == std::string_view::npos ? std::string_view::npos
                                                                    : end - begin);
        }
    }
    text = engine::TrimBlanks(text);
    switch (definition.FieldType)
    {
    case kTypeInteger:
        return std::to_string(TextToInteger(text));
    case kTypeFloat:
        return FormatFieldFloat(TextToFloat(text), definition.Format);
    default:
        return std::string(text);
    }
}

std::string GTextFileDefinition::BuildLine(const std::vector<std::string>& texts, int record) const
{
    if (static_cast<int>(texts.size()) != Fields.Count())
        throw GTextfileException("Item index is out of bounds");
    const std::string where = "record " + std::to_string(record + 1);
    for (int j = 0; j < Fields.Count(); ++j)
        if (HasLineBreak(texts[static_cast<std::size_t>(j)]))
            throw GTextfileException(where + ": the value of field " + Fields.GetItem(j)->Name +
                                     " holds a line break and cannot be written");

    std::string line;
    if (FileType == kFixedWidth)
    {
        // Each field goes to its own columns, so that gaps and the order of the definition do
        // not move any field away from where it is read.
        std::vector<int> order(static_cast<std::size_t>(Fields.Count()));
        std::iota(order.begin(), order.end(), 0);
        auto column = [this](int j)
        { return std::max<std::int64_t>(Fields.GetItem(j)->StartColumn, 1) - 1; };
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return column(a) < column(b); });
        std::int64_t end = 0;
        int previous = -1;
        for (int j : order)
        {
            const GTextFileField& field = *Fields.GetItem(j);
            const std::int64_t width = std::max<std::int32_t>(field.Width, 0);
            if (width == 0)
                continue;
            const std::int64_t start = column(j);
            if (start < end)
                throw GTextfileException(where + ": fields " + Fields.GetItem(previous)->Name +
                                         " and " + field.Name +
                                         " overlap in the definition; the file was not written");
            if (start + width > (std::int64_t{1} << 24))
                throw GTextfileException(where + ": field " + field.Name + " at column " +
                                         std::to_string(field.StartColumn) +
                                         " lies beyond any sensible line length");
            line.append(static_cast<std::size_t>(start - end), ' ');
            std::string text =
                texts[static_cast<std::size_t>(j)].substr(0, static_cast<std::size_t>(width));
            const std::size_t pad = static_cast<std::size_t>(width) - text.size();
            if (field.Alignment == 0)
                text.append(pad, ' ');
            else
                text.insert(0, pad, ' ');
            line += text;
            end = start + width;
            previous = j;
        }
    }
    else if (FileType == kDelimited)
    {
        if (Fields.Count() > 1 && HasLineBreak(std::string_view(&Delimiter, 1)))
            throw GTextfileException(where + ": the delimiter is a line break; the file was not "
                                             "written");
        for (int j = 0; j < Fields.Count(); ++j)
        {
            const std::string_view text = engine::TrimBlanks(texts[static_cast<std::size_t>(j)]);
            if (text.find(Delimiter) != std::string_view::npos)
                throw GTextfileException(where + ": the value \"" + std::string(text) +
                                         "\" of field " + Fields.GetItem(j)->Name +
                                         " holds the delimiter \"" + std::string(1, Delimiter) +
                                         "\" and cannot be written");
            if (j > 0)
                line += Delimiter;
            line += text;
        }
    }
    return line;
}

// ---- text file --------------------------------------------------------------------------------

void GTextFile::LoadFromText(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size())
    {
        std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos)
        {
            lines.emplace_back(text.substr(begin));
            break;
        }
        lines.emplace_back(text.substr(begin, end - begin));
        if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
            ++end;
        begin = end + 1;
    }
    HeaderLine.reset();
    if (Definition.HasHeader && !lines.empty())
    {
        HeaderLine = std::move(lines.front());
        lines.erase(lines.begin());
    }
    std::erase_if(lines, [](const std::string& line) { return engine::TrimBlanks(line).empty(); });
    Lines = std::move(lines);
}

void GTextFile::LoadFromFile(const std::string& fileName)
{
    FileName = fileName;
    if (const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(fileName))
        LoadFromText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::string GTextFile::GetFieldText(int record, int field) const
{
    if (record < 0 || record >= RecordCount() || field < 0 || field >= Definition.Fields.Count())
        throw GTextfileException("Item index is out of bounds");
    return Definition.FieldText(Lines[static_cast<std::size_t>(record)], field);
}

std::string GTextFile::SaveToText() const
{
    std::size_t size = HeaderLine ? HeaderLine->size() + 2 : 0;
    for (const auto& line : Lines)
        size += line.size() + 2;
    std::string text;
    text.reserve(size);
    if (HeaderLine)
        text.append(*HeaderLine).append("\r\n");
    for (const auto& line : Lines)
        text.append(line).append("\r\n");
    return text;
}

void GTextFile::SaveToFile(const std::string& fileName) const
{
    GAtomicFile file(fileName);
    file.Write(SaveToText());
    file.Commit();
}

// ---- record set -------------------------------------------------------------------------------

namespace
{

using DialogHook = GDataSourceDialogHook<GTextFileDataSourceSettings>;

GFieldType TableTypeOf(std::uint8_t code)
{
    // The engine creates no untyped columns; their texts are kept as they were read.
    if (code == fdtNone || code >= fdtUnknown)
        return fdtString;
    return static_cast<GFieldType>(code);
}

} // namespace

bool GTextFileRecordSet::DoOpen()
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(TextFileName, error))
        return false;
    ResetTable();
    GTextFile reader;
    reader.Definition.Assign(Definition);
    for (const auto& field : Definition.Fields)
    {
        const GFieldType type = TableTypeOf(field->FieldType);
        AddFieldDefinition(field->Name, type,
                           type == fdtString ? std::max<std::int32_t>(field->Width, 0) : 0, false);
    }
    reader.LoadFromFile(TextFileName);
    headerLine_ = reader.HeaderLine;
    return FillMemoryTable(
        [&](GInMemoryTable& table)
        {
            const int fieldCount = Definition.Fields.Count();
            for (int record = 0; record < reader.RecordCount(); ++record)
            {
                table.Append();
                for (int j = 0; j < fieldCount; ++j)
                    table.SetText(j, reader.GetFieldText(record, j));
                table.Post();
            }
        });
}

void GTextFileRecordSet::DoFlush()
{
    // Without fields nothing can have changed, and the lines written would all be empty.
    if (GetReadOnly() || Definition.Fields.Count() == 0)
        return;
    if (Definition.FileType > 1)
        throw GTextfileException(TextFileName + ": the definition's file type " +
                                 std::to_string(Definition.FileType) +
                                 " is neither fixed width (0) nor delimited (1); the file was not "
                                 "written");
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(RecordCount()));
    const int fieldCount = std::min(Fields().Count(), Definition.Fields.Count());
    First();
    while (!Eof())
    {
        std::vector<std::string> texts;
        texts.reserve(static_cast<std::size_t>(fieldCount));
        for (int j = 0; j < fieldCount; ++j)
        {
            const GField& field = *Fields().GetItem(j);
            const GTextFileField& layout = *Definition.Fields.GetItem(j);
            switch (layout.FieldType)
            {
            case fdtInteger:
                texts.push_back(std::to_string(field.GetValue().AsInteger()));
                break;
            case fdtFloat:
                texts.push_back(FormatFieldFloat(field.GetValue().AsDouble(), layout.Format));
                break;
            case fdtDateTime:
            case fdtString:
            case fdtBoolean:
                texts.push_back(field.AsString());
                break;
            default:
                throw GDatabaseException("Incompatible field type");
            }
        }
        texts.resize(static_cast<std::size_t>(Definition.Fields.Count()));
        lines.push_back(Definition.BuildLine(texts, RecordIndex()));
        Next();
    }
    First();
    GTextFile writer;
    writer.HeaderLine = headerLine_;
    writer.Lines = std::move(lines);
    writer.SaveToFile(TextFileName);
}

std::unique_ptr<GShape> GTextFileRecordSet::DoGetShape()
{
    return PointFromFields(XFieldName, YFieldName, ZFieldName);
}

void GTextFileRecordSet::DoSetShape(const GShape& shape)
{
    GRecordSet::DoSetShape(shape); // the edit-mode and spatial checks
    StorePointInFields(shape, XFieldName, YFieldName, ZFieldName);
}

bool GTextFileRecordSet::DoHasSpatialComponent()
{
    return FindCoordinateField(XFieldName) || FindCoordinateField(YFieldName) ||
           FindCoordinateField(ZFieldName);
}

void SetTextFileDataSourceDialog(GTextFileDataSourceDialog dialog)
{
    DialogHook::Instance().Install(std::move(dialog));
}

std::unique_ptr<GTextFileRecordSet>
CreateTextFileRecordSet(bool showDialog, const std::string& textFileName,
                        const std::string& definitionFileName, const std::string& xFieldName,
                        const std::string& yFieldName, const std::string& zFieldName, bool readOnly,
                        bool readOnlyEditable)
{
    GTextFileDataSourceSettings settings{textFileName,    definitionFileName, xFieldName,
                                         yFieldName,      zFieldName,         readOnly,
                                         readOnlyEditable};
    if (showDialog && !DialogHook::Instance().ShowKeepingReadOnly(settings))
        return nullptr;
    auto recordSet = std::make_unique<GTextFileRecordSet>();
    recordSet->SetReadOnly(settings.ReadOnly);
    recordSet->Definition.LoadFromFile(settings.DefinitionFileName);
    recordSet->XFieldName = settings.XFieldName;
    recordSet->YFieldName = settings.YFieldName;
    recordSet->ZFieldName = settings.ZFieldName;
    recordSet->TextFileName = settings.TextFileName;
    return recordSet;
}

} // namespace quorvalis
