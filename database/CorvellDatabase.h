// Coordinate list files (".crd") of a surveying product: reader, writer and the in-memory record
// set over them.
//
// Layout: a 512-byte header (a 5-byte lead text; the Y, X and Z offsets as 23-character number
// fields; a 236-byte body text at 100; "Lo." and the zone at 337; a 10-byte tail text at 356),
// then 48-byte records: name (11 bytes), Y and X relative to the offsets (IEEE 754 doubles,
// little-endian, in the file's unit, metres for Lo coordinates), survey record (11) and mask (10).
// Y comes before X throughout. A text field shorter than its width is followed by one zero byte
// and spaces; it is read up to the first zero byte. Number fields are written with the picture
// "0.0000000000000" right-aligned in 23 characters ("%23s"), with the decimal separator of
// DecimalSeparator(); they are read accepting "." or "," (files travel between locales).
//
// A rewrite changes only what changed: the bytes of the header and of each record that was read
// are written back as they were read (areas the format does not read, bytes after a text field's
// zero byte, a number's spelling), and only the fields whose values changed are written anew.
// Files are rewritten crash-safely (a complete new file beside the old one, made durable, then
// renamed over it), together with a ".prj" beside the file when one is rewritten (see
// GFileSetCommit); a link is followed and the file it points to replaced.
#pragma once

#include "database/BorlandDatabase.h"
#include "geometry/Containers.h"
#include "geometry/Spatial.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{

/// Errors of the coordinate list unit: a file too short for its header, a header or record that
/// cannot be read (naming the file, the offset or record and the value), files left torn by an
/// interrupted run.
class GCorvellException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kCorvellHeaderSize = 512;
inline constexpr std::size_t kCorvellRecordSize = 48;

using GCorvellRecordBytes = std::array<std::uint8_t, kCorvellRecordSize>;

/// A named coordinate: X, Y (Z is not stored in the file) and two texts.
class GCorvellCoordinate : public GPoint
{
public:
    std::string Name;
    std::string SurveyRecord;
    std::string Mask;
    /// The record as read, written back with only the changed fields replaced; empty for a new
    /// coordinate.
    std::optional<GCorvellRecordBytes> Raw;
};

/// The coordinates of a file, in file order.
class GCorvellCoordinateList : public GContainer<GCorvellCoordinate>
{
};

/// The header of a coordinate list file: its texts, the offsets of the coordinates (in the
/// file's unit) and the zone.
class GCorvellHeader
{
public:
    std::string HeaderLead;
    double XOffset = 0.0;
    double YOffset = 0.0;
    double ZOffset = 0.0;
    std::string HeaderBody;
    std::int32_t Lo = 0;
    std::string HeaderTail;
    /// The 512 header bytes as read, written back with only the changed members replaced;
    /// empty for a new file.
    std::vector<std::uint8_t> RawHeader;
};

/// A coordinate list file: its header and its coordinates. The coordinates hold the values as
/// stored (relative to the offsets); the record set adds and removes the offsets.
class GCorvellCoordinateFile : public GCorvellHeader
{
public:
    std::string FileName;
    GCorvellCoordinateList Coordinates;

    /// Returns false when FileName does not exist; otherwise fills the header members and
    /// Coordinates from it. A partial record at the end is ignored. Raises GCorvellException for
    /// a file shorter than its header, a header number field holding text that is neither empty
    /// (read as 0) nor a number ("x.crd: offset 28: \"12 345.5\" is not a number"), a Lo that
    /// cannot be held, or a record coordinate that is not a finite number; the members are then
    /// left as they were.
    bool LoadFromFile();
    /// The same for a file image held in memory (FileName only names it in messages).
    void LoadFromBytes(std::span<const std::uint8_t> bytes);

    /// Creates or replaces FileName crash-safely with the header and every coordinate.
    void SaveToFile() const;
    /// The bytes SaveToFile writes.
    std::vector<std::uint8_t> SaveToBytes() const;
};

/// A text field of width bytes: the text cut to width, or followed by a zero byte and spaces.
std::string CorvellTextField(const std::string& text, std::size_t width);
/// Reads a number field: trimmed, empty is 0, "." or "," as the decimal separator; nothing for
/// any other text.
std::optional<double> CorvellNumberValue(std::span<const std::uint8_t> field);
/// A number field: the picture "0.0000000000000" right-aligned in 23 characters, cut to 23.
std::string CorvellNumberField(double value);

/// A coordinate list file as an in-memory record set with the fields "Name" (text, 11), "X",
/// "Y", "Z" (absolute coordinates: stored value plus the header's offset), "Survey Record"
/// (text, 11) and "Mask" (text, 10). Open reads the whole file; Flush writes it anew with the
/// header (the GCorvellHeader members) kept from the open.
///
/// Opening first finishes or abandons an interrupted rewrite of the file and its ".prj" (see
/// RecoverDataFiles); a read-only record set changes nothing there, reports what it found in
/// TakeNotices and refuses files that an interrupted rewrite left torn.
class GCorvellRecordSet : public GInMemoryBorlandRecordSet, public GCorvellHeader
{
public:
    std::string FileName;

    /// The file and, when there is one, the ".prj" beside it.
    std::vector<std::string> DataFiles() const override;
    /// After Open, the header's Lo (when it has digits; LocalOrigin only, Source the file); then
    /// what a ".prj" beside the file declares.
    std::vector<GDeclaredSystem> DeclaredSystems() const override;
    /// The next Flush rewrites a recognised ".prj" beside the file for the datum.
    void SetTargetDatum(std::uint8_t datum) override;
    std::vector<std::string> TakeNotices() override;

protected:
    /// False when FileName does not exist or the engine refuses the records; raises
    /// GCorvellException for a damaged file or files an interrupted rewrite left torn.
    bool DoOpen() override;
    /// Writes the file from the records (crash-safely, with a ".prj" to rewrite). A record whose
    /// X and Y are still those read keeps its stored values bit for bit, and every byte of a
    /// record or header field that did not change is written back as read. A read-only record
    /// set writes nothing.
    void DoFlush() override;
    std::unique_ptr<GShape> DoGetShape() override;
    /// Raises "You can only store points in this recordset" for anything but a point.
    void DoSetShape(const GShape& shape) override;
    /// Always true.
    bool DoHasSpatialComponent() override;

private:
    // Per record read: the stored X and Y and the absolute values put into the table, so that
    // an unchanged record is written back exactly (stored + offset - offset need not round
    // back to stored).
    struct Original
    {
        double StoredX, StoredY, X, Y;
        std::optional<GCorvellRecordBytes> Raw;
    };
    std::vector<Original> originals_;
    std::optional<std::uint8_t> targetDatum_;
    std::vector<std::string> notices_;
};

/// What the coordinate list data-source dialog shows and gives back.
struct GCorvellDataSourceSettings
{
    std::string FileName;
    bool ReadOnly = false;
    /// Whether the user may change ReadOnly.
    bool ReadOnlyEditable = true;
};

/// The dialog of the user-interface layer; returns true on OK (false on cancel).
using GCorvellDataSourceDialog = std::function<bool(GCorvellDataSourceSettings& settings)>;
/// Installs the dialog CreateCorvellRecordSet shows; an empty function removes it (a factory
/// asked to show a dialog then behaves as if it was cancelled).
void SetCorvellDataSourceDialog(GCorvellDataSourceDialog dialog);

/// A configured, unopened coordinate list record set, or nullptr when the dialog was cancelled
/// (or there is no dialog).
std::unique_ptr<GCorvellRecordSet> CreateCorvellRecordSet(bool showDialog,
                                                          const std::string& fileName,
                                                          bool readOnly, bool readOnlyEditable);

} // namespace quorvalis
