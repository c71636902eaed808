#include "database/TextfileDatabase.h"

#include "database/DataSourceDialog.h"
#include "database/SidecarFiles.h"
#include "database/engine/Text.h"
#include "geometry/Files.h"
#include "geometry/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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
// Longest line a fixed-width field may make when it is written.
constexpr std::int64_t kLongestLine = std::int64_t{1} << 24;
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

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offset of character index in text (text.size() when it has no more characters).
std::size_t CharacterOffset(std::string_view text, std::int64_t index, bool utf8)
{
    if (!utf8)
        return static_cast<std::size_t>(std::min<std::int64_t>(index, text.size()));
    std::size_t at = 0;
    for (std::int64_t k = 0; k < index && at < text.size(); ++k)
        do
            ++at;
        while (at < text.size() && IsContinuationByte(text[at]));
    return at;
}

// The first count characters of text.
std::string_view CutToCharacters(std::string_view text, std::int64_t count, bool utf8)
{
    return text.substr(0, CharacterOffset(text, count, utf8));
}

// Strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool IsValidUtf8(std::string_view text, bool& nonAscii)
{
    nonAscii = false;
    for (std::size_t i = 0; i < text.size();)
    {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80)
        {
            ++i;
            continue;
        }
        nonAscii = true;
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF)
            length = 2, code = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF)
            length = 3, code = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4)
            length = 4, code = c & 0x07;
        else
            return false;
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
        {
            if (!IsContinuationByte(text[i + k]))
                return false;
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (length == 4 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        i += length;
    }
    return true;
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

bool IsIntegerText(std::string_view text)
{
    text = engine::TrimBlanks(text);
    if (TextToInteger(text) != 0)
        return true;
    // 0 also stands for "not an integer": only a spelled zero is one.
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    return i < text.size() && text.find_first_not_of('0', i) == std::string_view::npos;
}

std::size_t TextLength(std::string_view text, bool utf8)
{
    if (!utf8)
        return text.size();
    // Counted as CharacterOffset steps, so that a stray continuation byte (in a file that starts
    // with a byte-order mark but is not valid UTF-8 throughout) counts the same way in both.
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); ++count)
        do
            ++at;
        while (at < text.size() && IsContinuationByte(text[at]));
    return count;
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

std::optional<std::pair<std::size_t, std::size_t>>
GTextFileDefinition::FieldRange(std::string_view line, int field, bool utf8) const
{
    const GTextFileField& definition = *Fields.GetItem(field);
    if (FileType == kFixedWidth)
    {
        // 64-bit arithmetic: start and width come from the file and may be anything.
        const std::int64_t start = std::max<std::int64_t>(definition.StartColumn, 1) - 1;
        const std::int64_t width = std::max<std::int32_t>(definition.Width, 0);
        const std::size_t begin = CharacterOffset(line, start, utf8);
        if (begin >= line.size())
            return std::nullopt;
        const std::string_view rest = line.substr(begin);
        return std::pair(begin, begin + CharacterOffset(rest, width, utf8));
    }
    if (FileType != kDelimited)
        return std::nullopt;
    std::size_t begin = 0;
    for (int k = 0; k < field; ++k)
    {
        const std::size_t next = line.find(Delimiter, begin);
        if (next == std::string_view::npos)
            return std::nullopt;
        begin = next + 1;
    }
    const std::size_t end = line.find(Delimiter, begin);
    return std::pair(begin, end == std::string_view::npos ? line.size() : end);
}

std::string_view GTextFileDefinition::RawFieldText(std::string_view line, int field,
                                                   bool utf8) const
{
    const auto range = FieldRange(line, field, utf8);
    if (!range)
        return {};
    return engine::TrimBlanks(line.substr(range->first, range->second - range->first));
}

std::string GTextFileDefinition::FieldText(std::string_view line, int field, bool utf8) const
{
    const std::string_view text = RawFieldText(line, field, utf8);
    switch (Fields.GetItem(field)->FieldType)
    {
    case kTypeInteger:
        return std::to_string(TextToInteger(text));
    case kTypeFloat:
        return FormatFieldFloat(TextToFloat(text), Fields.GetItem(field)->Format);
    default:
        return std::string(text);
    }
}

std::string GTextFileDefinition::ReplaceField(std::string_view line, int field,
                                              std::string_view text, bool utf8) const
{
    const auto range = FieldRange(line, field, utf8);
    std::string out(line);
    if (FileType == kFixedWidth)
    {
        const GTextFileField& definition = *Fields.GetItem(field);
        const std::int64_t start = std::max<std::int64_t>(definition.StartColumn, 1) - 1;
        const auto width = static_cast<std::size_t>(std::max<std::int32_t>(definition.Width, 0));
        if (start + static_cast<std::int64_t>(width) > kLongestLine)
            throw GTextfileException("field " + definition.Name + " at column " +
                                     std::to_string(definition.StartColumn) +
                                     " lies beyond any sensible line length");
        const std::size_t length = TextLength(text, utf8);
        const std::size_t pad = width > length ? width - length : 0;
        std::string placed;
        if (definition.Alignment == 0)
            placed = std::string(text) + std::string(pad, ' ');
        else
            placed = std::string(pad, ' ') + std::string(text);
        if (!range)
        {
            // The line ends before the field: spaces up to it, and no trailing ones.
            out.append(static_cast<std::size_t>(start) - TextLength(line, utf8), ' ');
            out +=
                std::string_view(placed).substr(0, placed.find_last_not_of(' ') == std::string::npos
                                                       ? 0
                                                       : placed.find_last_not_of(' ') + 1);
            return out;
        }
        if (range->second == line.size() && definition.Alignment == 0)
        {
            const std::size_t last = placed.find_last_not_of(' ');
            placed.resize(last == std::string::npos ? 0 : last + 1);
            // Padding already in the line after the value stays as it was.
            const std::string_view old = line.substr(range->first);
            const std::size_t oldLength = TextLength(old, utf8);
            if (oldLength > length && oldLength <= width)
                placed.append(oldLength - length, ' ');
        }
        out.replace(range->first, range->second - range->first, placed);
        return out;
    }
    if (FileType != kDelimited)
        return out;
    if (!range)
    {
        const auto present = static_cast<int>(std::count(line.begin(), line.end(), Delimiter));
        out.append(static_cast<std::size_t>(field - present), Delimiter);
        out += text;
        return out;
    }
    std::size_t begin = range->first;
    std::size_t end = range->second;
    while (begin < end && IsBlank(line[begin]))
        ++begin;
    while (end > begin && IsBlank(line[end - 1]))
        --end;
    out.replace(begin, end - begin, text);
    return out;
}

std::string GTextFileDefinition::BuildLine(const std::vector<std::string>& texts, int record,
                                           bool utf8) const
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
            if (start + width > kLongestLine)
                throw GTextfileException(where + ": field " + field.Name + " at column " +
                                         std::to_string(field.StartColumn) +
                                         " lies beyond any sensible line length");
            line.append(static_cast<std::size_t>(start - end), ' ');
            std::string text(CutToCharacters(texts[static_cast<std::size_t>(j)], width, utf8));
            const std::size_t pad = static_cast<std::size_t>(width) - TextLength(text, utf8);
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
    byteOrderMark_ = text.substr(0, 3) == "\xEF\xBB\xBF";
    if (byteOrderMark_)
        text.remove_prefix(3);
    bool nonAscii = false;
    utf8_ = IsValidUtf8(text, nonAscii) && nonAscii;
    utf8_ = utf8_ || byteOrderMark_;
    text_.assign(text);
    lines_.clear();
    header_.reset();
    const std::string_view all(text_);
    std::size_t begin = 0;
    std::int32_t number = 0;
    while (begin < all.size())
    {
        std::size_t end = all.find_first_of("\r\n", begin);
        const std::size_t length = (end == std::string_view::npos ? all.size() : end) - begin;
        const LineSpan span{begin, length, ++number};
        if (Definition.HasHeader && number == 1)
            header_ = span;
        else if (!engine::TrimBlanks(all.substr(begin, length)).empty())
            lines_.push_back(span);
        if (end == std::string_view::npos)
            break;
        if (all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n')
            ++end;
        begin = end + 1;
    }
}

void GTextFile::LoadFromFile(const std::string& fileName)
{
    FileName = fileName;
    if (const std::optional<std::vector<std::uint8_t>> bytes = ReadFileBytes(fileName))
        LoadFromText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

std::string_view GTextFile::Line(int record) const
{
    const LineSpan& span = lines_.at(static_cast<std::size_t>(record));
    return std::string_view(text_).substr(span.Begin, span.Length);
}

std::int32_t GTextFile::LineNumber(int record) const
{
    return lines_.at(static_cast<std::size_t>(record)).Number;
}

std::optional<std::string_view> GTextFile::HeaderLine() const
{
    if (!header_)
        return std::nullopt;
    return std::string_view(text_).substr(header_->Begin, header_->Length);
}

std::string GTextFile::GetFieldText(int record, int field) const
{
    if (record < 0 || record >= RecordCount() || field < 0 || field >= Definition.Fields.Count())
        throw GTextfileException("Item index is out of bounds");
    return Definition.FieldText(Line(record), field, utf8_);
}

std::string_view GTextFile::GetRawFieldText(int record, int field) const
{
    if (record < 0 || record >= RecordCount() || field < 0 || field >= Definition.Fields.Count())
        throw GTextfileException("Item index is out of bounds");
    return Definition.RawFieldText(Line(record), field, utf8_);
}

std::string GTextFile::Rewrite(const std::vector<std::optional<std::string>>& replaced,
                               const std::vector<std::string>& appended) const
{
    std::string out;
    out.reserve(text_.size() + 3 + 64 * appended.size());
    if (byteOrderMark_)
        out += "\xEF\xBB\xBF";
    std::size_t at = 0;
    const std::size_t count = std::min(replaced.size(), lines_.size());
    for (std::size_t record = 0; record < count; ++record)
    {
        if (!replaced[record])
            continue;
        const LineSpan& span = lines_[record];
        out.append(text_, at, span.Begin - at);
        out += *replaced[record];
        at = span.Begin + span.Length;
    }
    out.append(text_, at, std::string::npos);
    if (appended.empty())
        return out;

    // Appended lines take the line break of the file's last line.
    std::string lineBreak = "\r\n";
    const std::size_t lastBreak = text_.find_last_of("\r\n");
    if (lastBreak != std::string::npos)
        lineBreak = text_[lastBreak] == '\n' && lastBreak > 0 && text_[lastBreak - 1] == '\r'
                        ? "\r\n"
                        : std::string(1, text_[lastBreak]);
    if (!text_.empty() && lastBreak != text_.size() - 1)
        out += lineBreak;
    for (const std::string& line : appended)
        out.append(line).append(lineBreak);
    return out;
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

namespace
{

const char* const kCoordinateNames[3] = {"X", "Y", "Z"};

// The definition index of the field called name (compared without regard to case, as the record
// set finds its fields), or -1.
int DefinitionIndex(const GTextFileDefinition& definition, const std::string& name)
{
    if (name.empty())
        return -1;
    for (int j = 0; j < definition.Fields.Count(); ++j)
        if (engine::EqualsNoCase(definition.Fields.GetItem(j)->Name, name))
            return j;
    return -1;
}

// Whether the text of a coordinate field is a number the field's type reads as such.
bool IsCoordinateNumber(std::string_view text, std::uint8_t fieldType)
{
    if (fieldType == kTypeInteger)
        return IsIntegerText(text);
    double value = 0.0;
    return ParseNumberEitherSeparator(engine::TrimBlanks(text), value);
}

// Bitwise, so that an unchanged value is never taken for a changed one (and -0 for 0).
bool SameValue(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

bool GTextFileRecordSet::DoOpen()
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(TextFileName, error))
        return false;
    const std::string* names[3] = {&XFieldName, &YFieldName, &ZFieldName};
    for (int c = 0; c < 3; ++c)
    {
        coordinateFields_[c] = DefinitionIndex(Definition, *names[c]);
        if (c < 2 && coordinateFields_[c] < 0 && !names[c]->empty())
            throw GTextfileException(TextFileName + ": the definition has no field \"" + *names[c] +
                                     "\" for the " + kCoordinateNames[c] + " coordinate");
    }
    const GDataFileRecovery recovery = RecoverDataFiles(
        TextFileName, {TextFileName, SiblingFile(TextFileName, ".prj")}, GetReadOnly());
    if (recovery.Refusal)
        throw GTextfileException(*recovery.Refusal);
    notices_.insert(notices_.end(), recovery.Notices.begin(), recovery.Notices.end());

    ResetTable();
    auto reader = std::make_unique<GTextFile>();
    reader->Definition.Assign(Definition);
    for (const auto& field : Definition.Fields)
    {
        const GFieldType type = TableTypeOf(field->FieldType);
        AddFieldDefinition(field->Name, type,
                           type == fdtString ? std::max<std::int32_t>(field->Width, 0) : 0, false);
    }
    reader->LoadFromFile(TextFileName);
    read_.assign(static_cast<std::size_t>(reader->RecordCount()), ReadRecord{});
    edited_.clear();
    const bool filled = FillMemoryTable(
        [&](GInMemoryTable& table)
        {
            const int fieldCount = Definition.Fields.Count();
            for (int record = 0; record < reader->RecordCount(); ++record)
            {
                table.Append();
                for (int j = 0; j < fieldCount; ++j)
                    table.SetText(j, reader->GetFieldText(record, j));
                ReadRecord& read = read_[static_cast<std::size_t>(record)];
                for (int c = 0; c < 3; ++c)
                {
                    const int j = coordinateFields_[c];
                    if (j < 0)
                        continue;
                    const std::string_view text = reader->GetRawFieldText(record, j);
                    // An empty height is a height never measured, not a wrong one.
                    if (!(c == 2 && text.empty()) &&
                        !IsCoordinateNumber(text, Definition.Fields.GetItem(j)->FieldType))
                        read.Invalid |= static_cast<std::uint8_t>(1 << c);
                    const GVariant value = table.GetValue(j);
                    read.Coordinates[c] = value.IsNull() ? 0.0 : value.AsDouble();
                }
                table.Post();
            }
        });
    file_ = std::move(reader);
    return filled;
}

void GTextFileRecordSet::MarkEdited(std::int32_t index)
{
    if (Active() && index >= 0 && index < 128 && RecordIndex() < static_cast<int>(read_.size()))
        edited_[RecordIndex()].set(static_cast<std::size_t>(index));
}

void GTextFileRecordSet::SetFieldValue(std::int32_t index, const GVariant& value)
{
    GInMemoryBorlandRecordSet::SetFieldValue(index, value);
    MarkEdited(index);
}

void GTextFileRecordSet::SetFieldAsString(std::int32_t index, const std::string& text)
{
    GInMemoryBorlandRecordSet::SetFieldAsString(index, text);
    MarkEdited(index);
}

std::string GTextFileRecordSet::CoordinateText(int field, const GField& value) const
{
    const GTextFileField& layout = *Definition.Fields.GetItem(field);
    if (layout.FieldType == kTypeInteger)
        return std::to_string(value.GetValue().AsInteger());
    const double number = value.GetValue().AsDouble();
    if (!packedAngles_)
        return FormatFieldFloat(number, layout.Format);
    if (!layout.Format.empty())
        return FormatPackedPicture(number, layout.Format, DecimalSeparator());
    // The general format keeps 15 significant digits: as many decimals as the degrees leave.
    const double degrees = std::fabs(std::trunc(number));
    const int integerDigits = degrees < 1 ? 1 : static_cast<int>(std::log10(degrees)) + 1;
    return FormatFieldFloat(CarriedPackedAngle(number, 15 - integerDigits), layout.Format);
}

std::string GTextFileRecordSet::EditedText(int field, const GField& value) const
{
    const GTextFileField& layout = *Definition.Fields.GetItem(field);
    switch (layout.FieldType)
    {
    case fdtInteger:
        return std::to_string(value.GetValue().AsInteger());
    case fdtFloat:
        return FormatFieldFloat(value.GetValue().AsDouble(), layout.Format);
    case fdtDateTime:
    case fdtString:
    case fdtBoolean:
        return value.AsString();
    default:
        throw GDatabaseException("Incompatible field type");
    }
}

void GTextFileRecordSet::DoFlush()
{
    // Without fields nothing can have changed.
    if (GetReadOnly() || Definition.Fields.Count() == 0 || !file_)
        return;
    if (Definition.FileType > 1)
        throw GTextfileException(TextFileName + ": the definition's file type " +
                                 std::to_string(Definition.FileType) +
                                 " is neither fixed width (0) nor delimited (1); the file was not "
                                 "written");
    const bool utf8 = file_->Utf8();
    const int fieldCount = std::min(Fields().Count(), Definition.Fields.Count());
    std::vector<std::optional<std::string>> replaced(read_.size());
    std::vector<std::string> appended;
    // The coordinates as this flush writes them, for the next one.
    std::vector<ReadRecord> next = read_;
    next.resize(static_cast<std::size_t>(std::max(RecordCount(), 0)));
    First();
    while (!Eof())
    {
        const std::int32_t record = RecordIndex();
        ReadRecord& now = next[static_cast<std::size_t>(record)];
        for (int c = 0; c < 3; ++c)
            if (coordinateFields_[c] >= 0 && coordinateFields_[c] < fieldCount)
            {
                const GVariant value = Fields().GetItem(coordinateFields_[c])->GetValue();
                now.Coordinates[c] = value.IsNull() ? 0.0 : value.AsDouble();
            }
        if (record >= static_cast<std::int32_t>(read_.size()))
        {
            std::vector<std::string> texts;
            for (int j = 0; j < fieldCount; ++j)
            {
                const bool coordinate =
                    std::find(std::begin(coordinateFields_), std::end(coordinateFields_), j) !=
                    std::end(coordinateFields_);
                texts.push_back(coordinate ? CoordinateText(j, *Fields().GetItem(j))
                                           : EditedText(j, *Fields().GetItem(j)));
            }
            texts.resize(static_cast<std::size_t>(Definition.Fields.Count()));
            appended.push_back(Definition.BuildLine(texts, record, utf8));
            Next();
            continue;
        }
        // The fields to write: coordinates whose values changed, and fields set since the open.
        std::vector<std::pair<int, std::string>> changes;
        const ReadRecord& read = read_[static_cast<std::size_t>(record)];
        std::bitset<128> coordinates;
        for (int c = 0; c < 3; ++c)
        {
            const int j = coordinateFields_[c];
            if (j < 0 || j >= fieldCount || coordinates.test(static_cast<std::size_t>(j)))
                continue;
            coordinates.set(static_cast<std::size_t>(j));
            const GField& field = *Fields().GetItem(j);
            if (SameValue(now.Coordinates[c], read.Coordinates[c]))
                continue;
            std::string text = CoordinateText(j, field);
            const GTextFileField& layout = *Definition.Fields.GetItem(j);
            const std::size_t width = static_cast<std::size_t>(std::max(layout.Width, 0));
            if (Definition.FileType == kFixedWidth && TextLength(text, utf8) > width)
                throw GTextfileException(
                    TextFileName + ", line " + std::to_string(file_->LineNumber(record)) +
                    " (record " + std::to_string(record + 1) + "), field " + layout.Name +
                    ": the new value \"" + text + "\" is longer than the field's width of " +
                    std::to_string(width) + "; the file was not written");
            changes.emplace_back(j, std::move(text));
        }
        if (const auto edited = edited_.find(record); edited != edited_.end())
            for (int j = 0; j < fieldCount; ++j)
                if (edited->second.test(static_cast<std::size_t>(j)) &&
                    !coordinates.test(static_cast<std::size_t>(j)))
                {
                    std::string text = EditedText(j, *Fields().GetItem(j));
                    if (Definition.FileType == kFixedWidth)
                        text = std::string(CutToCharacters(
                            text, std::max(Definition.Fields.GetItem(j)->Width, 0), utf8));
                    changes.emplace_back(j, std::move(text));
                }
        if (!changes.empty())
        {
            std::string line(file_->Line(record));
            for (auto& [j, text] : changes)
            {
                const GTextFileField& layout = *Definition.Fields.GetItem(j);
                const std::string where = TextFileName + ", line " +
                                          std::to_string(file_->LineNumber(record)) + ", field " +
                                          layout.Name + ": the value \"" + text + "\"";
                if (HasLineBreak(text))
                    throw GTextfileException(where + " holds a line break; the file was not "
                                                     "written");
                if (Definition.FileType == kDelimited &&
                    text.find(Definition.Delimiter) != std::string::npos)
                    throw GTextfileException(where + " holds the delimiter \"" +
                                             std::string(1, Definition.Delimiter) +
                                             "\"; the file was not written");
                if (Definition.FileType == kDelimited)
                    text = std::string(engine::TrimBlanks(text));
                line = Definition.ReplaceField(line, j, text, utf8);
            }
            replaced[static_cast<std::size_t>(record)] = std::move(line);
        }
        Next();
    }
    First();

    const std::string text = file_->Rewrite(replaced, appended);
    WriteWithDeclaration(TextFileName, text, targetDatum_, notices_);
    // What was written is what the next flush starts from.
    auto written = std::make_unique<GTextFile>();
    written->Definition.Assign(Definition);
    written->LoadFromText(text);
    if (written->RecordCount() == static_cast<int>(next.size()))
    {
        file_ = std::move(written);
        read_ = std::move(next);
    }
    edited_.clear();
    targetDatum_.reset();
}

std::unique_ptr<GShape> GTextFileRecordSet::DoGetShape()
{
    const std::int32_t record = RecordIndex();
    if (file_ && record >= 0 && record < static_cast<std::int32_t>(read_.size()) &&
        record < file_->RecordCount())
    {
        const std::uint8_t invalid = read_[static_cast<std::size_t>(record)].Invalid;
        for (int c = 0; c < 3; ++c)
        {
            if ((invalid & (1 << c)) == 0)
                continue;
            const int j = coordinateFields_[c];
            const std::string_view text = file_->GetRawFieldText(record, j);
            throw GTextfileException(
                TextFileName + ", line " + std::to_string(file_->LineNumber(record)) + ", field " +
                Definition.Fields.GetItem(j)->Name + ": " +
                (text.empty() ? std::string("the field is empty")
                              : "\"" + std::string(text) + "\" is not a finite number"));
        }
    }
    return PointFromFields(XFieldName, YFieldName, ZFieldName);
}

void GTextFileRecordSet::DoSetShape(const GShape& shape)
{
    GRecordSet::DoSetShape(shape); // the edit-mode and spatial checks
    StorePointInFields(shape, XFieldName, YFieldName, ZFieldName);
    const std::int32_t record = RecordIndex();
    if (record >= 0 && record < static_cast<std::int32_t>(read_.size()))
        read_[static_cast<std::size_t>(record)].Invalid = 0;
}

bool GTextFileRecordSet::DoHasSpatialComponent()
{
    return FindCoordinateField(XFieldName) || FindCoordinateField(YFieldName) ||
           FindCoordinateField(ZFieldName);
}

std::vector<std::string> GTextFileRecordSet::DataFiles() const
{
    return DataFileAndPrj(TextFileName);
}

std::vector<GDeclaredSystem> GTextFileRecordSet::DeclaredSystems() const
{
    return PrjDeclarations(TextFileName);
}

void GTextFileRecordSet::SetTargetDatum(std::uint8_t datum)
{
    targetDatum_ = datum;
}

void GTextFileRecordSet::SetPackedAngles(bool packed)
{
    packedAngles_ = packed;
}

std::vector<std::string> GTextFileRecordSet::TakeNotices()
{
    return std::exchange(notices_, {});
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
