// Text files of points described by a binary definition file (".def"): the definition model and
// its reader, the reader that cuts lines into field texts, the writer of whole files, and the
// in-memory record set over them.
//
// A definition file is written by another tool and only read here. Its integers are 32-bit
// signed little-endian; a name or format block is at most 1025 bytes (1024 characters and a zero
// byte). Damaged definitions (negative or oversized lengths, blocks without a zero byte, a file
// ending inside a field record, unknown field type codes) are refused with a message that names
// the file and the field.
//
// A flush rewrites the text file in place, field by field: in every line only the text of the
// fields whose values changed (the coordinates a run moved) is replaced; every other byte of the
// file (other fields as they were spelled, empty values, columns no field covers, delimited
// fields the definition does not name, the header and blank lines, the line breaks) is written
// back exactly as read. Records appended are built from their fields and added at the end.
//
// Encodings: a UTF-8 byte-order mark is skipped when reading and kept when writing; a file that
// starts with one, or is valid UTF-8 holding non-ASCII characters, has its fixed-width columns
// counted in characters; anything else is single-byte text with columns counted in bytes.
//
// Files are rewritten crash-safely (a complete new file beside the old one, made durable, then
// renamed over it), together with a ".prj" beside the file when one is rewritten (see
// GFileSetCommit); a link is followed and the file it points to replaced.
#pragma once

#include "database/BorlandDatabase.h"
#include "database/FileFormat.h"
#include "geometry/Containers.h"
#include "geometry/Stream.h"

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorvalis
{

/// Errors of the text file unit: "Item index is out of bounds", or a description of a damaged
/// definition file or of a value that cannot be written, naming the file, the record or the field.
class GTextfileException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Largest name or format block of a definition file, the zero byte included.
inline constexpr std::int32_t kTextFileMaximumBlock = 1025;

/// One field of a definition.
class GTextFileField
{
public:
    std::string Name;
    /// First character of a fixed-width field, counted from 1 (values below 1 count as 1).
    std::int32_t StartColumn = 0;
    /// Characters of a fixed-width field; also the size of a string field in the table.
    std::int32_t Width = 0;
    /// Field type code 0..8 (4 = string).
    std::uint8_t FieldType = 4;
    /// Number picture of a float field; empty means the general format (15 significant digits).
    std::string Format;
    /// 0 left-aligned; any other value right-aligned.
    std::uint8_t Alignment = 0;

    /// Reads one field record (name block, format block, start column, width, alignment, type).
    /// source and number (1-based) only name the field in messages.
    void LoadFromStream(GStream& stream, const std::string& source = "definition", int number = 1);
};

/// The fields of a definition in definition order; a field's position is its field index.
class GTextFileFieldList : public GContainer<GTextFileField>
{
public:
    /// Clears the list, then reads the field count and the field records.
    void LoadFromStream(GStream& stream, const std::string& source = "definition");
};

/// How a text file is laid out.
class GTextFileDefinition
{
public:
    /// 0 fixed width, 1 delimited; any other value reads every field as empty and writes empty
    /// lines.
    std::uint8_t FileType = 1;
    char Delimiter = ',';
    GTextFileFieldList Fields;
    /// The first line of the text file is a header line.
    bool HasHeader = false;

    GTextFileDefinition() = default;
    GTextFileDefinition(const GTextFileDefinition&) = delete;
    GTextFileDefinition& operator=(const GTextFileDefinition&) = delete;

    /// Reads the definition file when it exists; a missing file leaves the definition as it was.
    /// A damaged file raises GTextfileException and leaves the definition as it was.
    void LoadFromFile(const std::string& fileName);
    /// Reads a definition held in memory; source names it in messages.
    void LoadFromBytes(std::span<const std::uint8_t> bytes, const std::string& source);
    /// Makes this definition a copy of source.
    void Assign(const GTextFileDefinition& source);

    /// Where field index lies in line: the bytes [first, second) before trimming; nothing when
    /// the line does not reach the field (a fixed-width field beyond its end, a delimited line
    /// with fewer delimiters than the field index) or the file type is neither 0 nor 1. utf8:
    /// fixed-width columns count UTF-8 characters rather than bytes. The field index must be
    /// valid.
    std::optional<std::pair<std::size_t, std::size_t>> FieldRange(std::string_view line, int field,
                                                                  bool utf8 = false) const;

    /// The raw text of field index in line (trimmed; empty when the line does not reach it).
    std::string_view RawFieldText(std::string_view line, int field, bool utf8 = false) const;

    /// Cuts one line into the text of field index (trimmed; integer and float fields normalised).
    /// The field index must be valid.
    std::string FieldText(std::string_view line, int field, bool utf8 = false) const;

    /// Builds one line from the texts of every field, in field order (texts.size() must equal
    /// the field count). Fixed width: each text is cut to its Width, padded on the side opposite
    /// its alignment and placed at its StartColumn (gaps filled with spaces); fields that overlap
    /// are refused. Delimited: the trimmed texts joined by the delimiter; a text holding the
    /// delimiter is refused, since it could not be read back as one field. A text holding a line
    /// break is refused in either form. record (0-based) names the record in messages; utf8
    /// counts widths in UTF-8 characters.
    std::string BuildLine(const std::vector<std::string>& texts, int record,
                          bool utf8 = false) const;

    /// line with the text of field index replaced by text and every other byte kept. Delimited:
    /// the trimmed text between the delimiters is replaced (blanks around it stay); a line too
    /// short for the field gets the delimiters it lacks. Fixed width: the field's columns receive
    /// text padded to its Width on the side opposite its alignment (a line too short is padded
    /// with spaces up to the field; a left-aligned field at the end of the line gets no trailing
    /// spaces). The caller has checked that text fits (fixed width) and holds no delimiter or
    /// line break. Raises GTextfileException for a fixed-width field that ends beyond column
    /// 16777216.
    std::string ReplaceField(std::string_view line, int field, std::string_view text,
                             bool utf8 = false) const;
};

/// Reads a decimal integer (optional sign, digits, 32-bit range); 0 when the text is not one.
std::int32_t TextToInteger(std::string_view text);

/// Whether text (trimmed) is a decimal integer in the 32-bit range, as TextToInteger reads it.
bool IsIntegerText(std::string_view text);

/// Number of characters of text: UTF-8 characters when utf8, bytes otherwise.
std::size_t TextLength(std::string_view text, bool utf8);

/// Formats a float with a field's picture (empty picture: general format, 15 digits).
std::string FormatFieldFloat(double value, const std::string& format);

/// A text file as read: its bytes, its encoding and where its data lines lie. Data lines are all
/// lines but the header (the first line, when the definition has one) and blank lines (empty
/// after trimming); records are data lines in order.
class GTextFile
{
public:
    std::string FileName;
    GTextFileDefinition Definition;

    /// Stores fileName; when the file exists, reads it (otherwise the file stays as it was).
    /// Line breaks are CR LF, LF or a lone CR.
    void LoadFromFile(const std::string& fileName);
    /// The same for text held in memory.
    void LoadFromText(std::string_view text);

    int RecordCount() const { return static_cast<int>(lines_.size()); }
    /// The text of data line record (without its line break); record must be valid.
    std::string_view Line(int record) const;
    /// The number of data line record in the file, from 1, header and blank lines counted.
    std::int32_t LineNumber(int record) const;
    /// The header line, when the definition has one and the file had a line.
    std::optional<std::string_view> HeaderLine() const;
    /// The file starts with a UTF-8 byte-order mark.
    bool HasByteOrderMark() const { return byteOrderMark_; }
    /// Fixed-width columns count UTF-8 characters (a byte-order mark, or valid UTF-8 text
    /// holding non-ASCII characters).
    bool Utf8() const { return utf8_; }

    /// The normalised text of one field of one line; "Item index is out of bounds" for an index
    /// outside the data.
    std::string GetFieldText(int record, int field) const;
    /// The trimmed raw text of one field of one line (empty when the line does not reach it).
    std::string_view GetRawFieldText(int record, int field) const;

    /// The file's bytes with data line r replaced by replaced[r] where that is set (replaced
    /// holds at most one entry per record) and the lines of appended added at the end, each
    /// with the file's line break (that of its last line, CR LF when there is none). Every other
    /// byte is the file's own, the byte-order mark included.
    std::string Rewrite(const std::vector<std::optional<std::string>>& replaced,
                        const std::vector<std::string>& appended) const;

private:
    struct LineSpan
    {
        std::size_t Begin = 0;  // in text_
        std::size_t Length = 0; // without the line break
        std::int32_t Number = 0;
    };
    std::string text_; // without the byte-order mark
    std::vector<LineSpan> lines_;
    std::optional<LineSpan> header_;
    bool byteOrderMark_ = false;
    bool utf8_ = false;
};

/// A text file of points as an in-memory record set: Open reads the whole file into the table
/// (one record per data line, in line order), Flush rewrites the file in place (see the top of
/// this header). Each record's point takes X, Y and Z from the fields named XFieldName,
/// YFieldName and ZFieldName.
///
/// Opening first finishes or abandons an interrupted rewrite of the file and its ".prj" (see
/// RecoverDataFiles); a read-only record set changes nothing there, reports what it found in
/// TakeNotices and refuses files that an interrupted rewrite left torn.
class GTextFileRecordSet : public GInMemoryBorlandRecordSet
{
public:
    std::string XFieldName;
    std::string YFieldName;
    std::string ZFieldName;
    std::string TextFileName;
    /// The layout, filled from the definition file by the factory.
    GTextFileDefinition Definition;

    /// Marks the field of the current record as edited, so that Flush writes its value.
    void SetFieldValue(std::int32_t index, const GVariant& value) override;
    void SetFieldAsString(std::int32_t index, const std::string& text) override;

    /// The text file and, when there is one, the ".prj" beside it (not the definition file,
    /// which is only read).
    std::vector<std::string> DataFiles() const override;
    /// What a ".prj" beside the text file declares.
    std::vector<GDeclaredSystem> DeclaredSystems() const override;
    /// The next Flush rewrites a recognised ".prj" beside the text file for the datum.
    void SetTargetDatum(std::uint8_t datum) override;
    /// Coordinate fields hold packed ddd.mmss angles: the next Flush rounds them in the packed
    /// form (never 60 seconds or minutes).
    void SetPackedAngles(bool packed) override;
    std::vector<std::string> TakeNotices() override;

protected:
    /// False when TextFileName does not exist or the engine refuses the records. Columns of
    /// type 0 or 8, which the engine cannot create untyped, are held as text. Raises
    /// GTextfileException when XFieldName or YFieldName is given but names no field of the
    /// definition ("points.txt: the definition has no field \"XX\" for the X coordinate"; a Z
    /// name may find none), or when files an interrupted rewrite left torn are opened read-only.
    bool DoOpen() override;
    /// Rewrites the file in place from the records (crash-safely). A coordinate field is written
    /// when its value is no longer the one read, with the field's picture (rounded in the packed
    /// form with SetPackedAngles); another field when it was set since the open, by the type
    /// table (integer, picture, text; GDatabaseException "Incompatible field type" for types 0,
    /// 6, 7, 8). Appended records are built from all their fields. Before anything is written,
    /// raises GTextfileException naming the line, the field and the text for a coordinate text
    /// longer than its fixed-width field (string fields are cut as before), a text holding the
    /// delimiter or a line break, or a file type other than 0 and 1. A read-only record set, or
    /// one without fields, writes nothing.
    void DoFlush() override;
    /// A new point from the X, Y and Z fields (a Z name that finds no field gives 0). Raises
    /// GTextfileException "points.txt, line 7, field X: \"abc\" is not a finite number" (or
    /// "...: the field is empty") when the text read for the X or Y field of this record is no
    /// finite number, and likewise for a Z text that is neither empty nor a number, unless the
    /// point was set since.
    std::unique_ptr<GShape> DoGetShape() override;
    /// Raises "You can only store points in this recordset" for anything but a point; stores X,
    /// Y and Z into the fields that exist.
    void DoSetShape(const GShape& shape) override;
    /// At least one of the three names finds a field.
    bool DoHasSpatialComponent() override;

private:
    // What Flush needs of each record read: the coordinate values as read, and which of the X, Y
    // and Z texts were no number (bit 0, 1, 2).
    struct ReadRecord
    {
        double Coordinates[3] = {};
        std::uint8_t Invalid = 0;
    };
    void MarkEdited(std::int32_t index);
    std::string CoordinateText(int field, const GField& value) const;
    std::string EditedText(int field, const GField& value) const;

    std::unique_ptr<GTextFile> file_;
    std::vector<ReadRecord> read_;
    // Definition indexes of the X, Y and Z fields (-1 when there is none).
    int coordinateFields_[3] = {-1, -1, -1};
    // Per record read, the fields set since the open (only records that have any).
    std::unordered_map<std::int32_t, std::bitset<128>> edited_;
    std::optional<std::uint8_t> targetDatum_;
    bool packedAngles_ = false;
    std::vector<std::string> notices_;
};

/// What the text file data-source dialog shows and gives back.
struct GTextFileDataSourceSettings
{
    std::string TextFileName;
    std::string DefinitionFileName;
    std::string XFieldName;
    std::string YFieldName;
    std::string ZFieldName;
    bool ReadOnly = false;
    /// Whether the user may change ReadOnly.
    bool ReadOnlyEditable = true;
};

/// The dialog of the user-interface layer; returns true on OK (false on cancel).
using GTextFileDataSourceDialog = std::function<bool(GTextFileDataSourceSettings& settings)>;
/// Installs the dialog CreateTextFileRecordSet shows; an empty function removes it (a factory
/// asked to show a dialog then behaves as if it was cancelled).
void SetTextFileDataSourceDialog(GTextFileDataSourceDialog dialog);

/// A configured, unopened text file record set (its Definition read from definitionFileName),
/// or nullptr when the dialog was cancelled (or there is no dialog).
std::unique_ptr<GTextFileRecordSet>
CreateTextFileRecordSet(bool showDialog, const std::string& textFileName,
                        const std::string& definitionFileName, const std::string& xFieldName,
                        const std::string& yFieldName, const std::string& zFieldName, bool readOnly,
                        bool readOnlyEditable);

} // namespace quorvalis
