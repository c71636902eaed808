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
// Text files are rewritten whole and crash-safely (a complete new file beside the old one, made
// durable, then renamed over it). A header line read from the file is written back unchanged.
#pragma once

#include "database/BorlandDatabase.h"
#include "database/FileFormat.h"
#include "geometry/Containers.h"
#include "geometry/Stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
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

    /// Cuts one line into the text of field index (trimmed; integer and float fields normalised).
    /// The field index must be valid.
    std::string FieldText(std::string_view line, int field) const;

    /// Builds one line from the texts of every field, in field order (texts.size() must equal
    /// the field count). Fixed width: each text is cut to its Width, padded on the side opposite
    /// its alignment and placed at its StartColumn (gaps filled with spaces); fields that overlap
    /// are refused. Delimited: the trimmed texts joined by the delimiter; a text holding the
    /// delimiter is refused, since it could not be read back as one field. A text holding a line
    /// break is refused in either form. record (0-based) names the record in messages.
    std::string BuildLine(const std::vector<std::string>& texts, int record) const;
};

/// Reads a decimal integer (optional sign, digits, 32-bit range); 0 when the text is not one.
std::int32_t TextToInteger(std::string_view text);

/// Formats a float with a field's picture (empty picture: general format, 15 digits).
std::string FormatFieldFloat(double value, const std::string& format);

/// The data lines of a text file.
class GTextFile
{
public:
    std::string FileName;
    GTextFileDefinition Definition;
    /// The data lines: header and blank lines removed.
    std::vector<std::string> Lines;
    /// The header line read (when the definition has one and the file had a line), written back
    /// by SaveToFile.
    std::optional<std::string> HeaderLine;

    /// Stores fileName; when the file exists, replaces Lines (and HeaderLine) by its lines. Line
    /// breaks are CR LF, LF or a lone CR.
    void LoadFromFile(const std::string& fileName);
    /// The same for text held in memory.
    void LoadFromText(std::string_view text);

    int RecordCount() const { return static_cast<int>(Lines.size()); }

    /// The normalised text of one field of one line; "Item index is out of bounds" for an index
    /// outside the data.
    std::string GetFieldText(int record, int field) const;

    /// Writes HeaderLine (if any) and Lines to fileName, each ending with CR LF, crash-safely.
    void SaveToFile(const std::string& fileName) const;
    /// The bytes SaveToFile writes.
    std::string SaveToText() const;
};

/// A text file of points as an in-memory record set: Open reads the whole file into the table
/// (one record per data line, in line order), Flush writes the whole file from the records. Each
/// record's point takes X, Y and Z from the fields named XFieldName, YFieldName and ZFieldName.
class GTextFileRecordSet : public GInMemoryBorlandRecordSet
{
public:
    std::string XFieldName;
    std::string YFieldName;
    std::string ZFieldName;
    std::string TextFileName;
    /// The layout, filled from the definition file by the factory.
    GTextFileDefinition Definition;

protected:
    /// False when TextFileName does not exist or the engine refuses the records. Columns of
    /// type 0 or 8, which the engine cannot create untyped, are held as text.
    bool DoOpen() override;
    /// Rewrites the whole file from the records (crash-safely, keeping a header line read at
    /// open). Raises GDatabaseException "Incompatible field type" for a field of type 0, 6, 7
    /// or 8, and GTextfileException for a value the layout cannot hold or a file type other than
    /// 0 and 1 (whose lines would all be empty); the file is then not written. A read-only record
    /// set, or one without fields, writes nothing.
    void DoFlush() override;
    /// A new point from the X, Y and Z fields (0 where a name finds no field or the field holds
    /// null).
    std::unique_ptr<GShape> DoGetShape() override;
    /// Raises "You can only store points in this recordset" for anything but a point; stores X,
    /// Y and Z into the fields that exist.
    void DoSetShape(const GShape& shape) override;
    /// At least one of the three names finds a field.
    bool DoHasSpatialComponent() override;

private:
    std::optional<std::string> headerLine_;
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
