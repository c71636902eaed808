// Shapefiles: the ".shp"/".shx" reader and writer, and the record set that joins them to the
// attribute table in the ".dbf".
//
// Every shape type with X/Y coordinates is handled: 1 Point (GPoint), 3 PolyLine (GLine),
// 5 Polygon (GPolygon) and 8 MultiPoint (GPoints), each also with Z (11, 13, 15, 18: Z values and
// optionally M values) and with M (21, 23, 25, 28: optionally M values). MultiPatch (31) and null
// shape files are refused. Coordinates are taken and written as they stand (64-bit reals,
// bit-exact). Z and M values are carried through bit for bit, "no data" measures (below -1e38)
// and NaN included: a record read without M values is written without them, one read with them
// is written with them. Each record's X/Y box is recomputed, and so are its Z and M ranges and
// the header's, exactly as GDAL's writer forms them, so a file GDAL wrote is written back byte
// for byte; files without Z (or without any M values) have zero ranges there.
//
// Reading trusts nothing in the files: every count, offset and length is checked against the
// sizes of the files before it is used, and a refusal names the file, the record (1-based, as the
// record numbers of the format) and the value. A coordinate that is not a finite number is
// refused on reading and on writing. Parts without points are not written (the format has no
// empty parts), and the header's bounding box is that of all vertices written.
//
// Writing is crash-safe (see GFileSetCommit). A flush writes the new ".shp" and ".shx" completely
// beside the old ones (as "<name>.shp.new~" and "<name>.shx.new~", each made durable), with them
// a rewritten ".prj" (SetTargetDatum) and a ".qix" spatial index rebuilt by GDAL; then a commit
// marker "<name>.shp.commit~" naming every file with the identity (size, time, hash) of its old
// and new content; then the renames, the removal of ".sbn"/".sbx" (and of a ".qix" GDAL could
// not rebuild), and the marker goes. So no index is ever left that disagrees with the data.
// Links are followed: the files they point to are replaced, each in its own folder.
//
// Every open for writing (and every flush) first finishes or abandons an interrupted flush: with
// a marker whose files are all still their old content (or already their new one) the renames
// are completed; if any file changed since (restored from a backup, say), nothing is overwritten,
// the staged files and the marker are removed and a notice names them; without a marker the
// staged files are deleted. A crash, a kill or a full disk therefore leaves either the old files
// or the new ones. An open that may not write (SetRecoverOnOpen(false), a read-only record set)
// changes nothing: it reports an interrupted flush in TakeNotices and refuses a pair the
// interruption left torn. What a flush did besides the pair (indexes rebuilt or removed, a .prj
// left as it was) is reported in TakeNotices too.
#pragma once

#include "database/BorlandDatabase.h"
#include "geometry/Spatial.h"

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

/// Errors of the shapefile unit. Messages are fixed texts such as "Not a point shapefile", or a
/// description of a damaged file naming the file, the record and the offending value.
class GShapefileException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Shapefile shape type (1, 3, 5, 8) for a shape class code (1 point, 2 line, 3 polygon,
/// 7 multipoint). Raises "That spatial type is not a valid shapefile type" for any other class
/// code.
std::int32_t SpatialTypeToShapeType(std::uint8_t spatialType);

/// Shape class code (1, 2, 3, 7) for a shapefile shape type (1, 3, 5, 8 and their Z and M forms
/// 11, 13, 15, 18, 21, 23, 25, 28). Raises "That shapefile type is not a valid spatial type" for
/// any other type (Open names the file and, for MultiPatch, the type).
std::uint8_t ShapeTypeToSpatialType(std::int32_t shapeType);

/// Both files of a shapefile held in memory (the image of ".shp" and of ".shx").
struct GShapefileImages
{
    std::vector<std::uint8_t> Shp;
    std::vector<std::uint8_t> Shx;
};

/// Reader and writer of the ".shp" and ".shx" files of one shapefile.
///
/// Shapes() has exactly Count() slots. A slot is filled when its record is read (all of them at
/// Open when LoadShapesOnOpen is set, otherwise on the first GetShape of that slot) and holds the
/// current, possibly replaced shape afterwards. A slot may hold no shape (nullptr) only when one
/// was put there explicitly (AppendShape or ReplaceShape of nullptr); it is written as a null
/// record, which this reader refuses again ("Not a ... shapefile") but other readers skip.
class GShapefile
{
public:
    GShapefile();
    ~GShapefile();
    GShapefile(const GShapefile&) = delete;
    GShapefile& operator=(const GShapefile&) = delete;

    /// Opens the shapefile: ".shp" and ".shx" are found by replacing the extension of fileName
    /// (the case of the extension given is tried first, then the other case). Finishes or undoes
    /// an interrupted flush first. Raises "The specified shapefile does not exist" when either
    /// file is missing, "That shapefile type is not a valid spatial type" for a type without X/Y
    /// shapes (naming the file and the type MultiPatch), "Not a point shapefile" (line, polygon,
    /// multipoint) for a record of another type than the file's, and a description of the
    /// damage for a damaged file. An open shapefile is closed first. On any
    /// error the object stays closed. Returns true.
    bool Open(const std::string& fileName);

    /// Opens images held in memory, with every check of Open; all records are read whatever
    /// LoadShapesOnOpen says. fileName is used in messages and by Flush.
    bool OpenImages(const std::string& fileName, std::span<const std::uint8_t> shp,
                    std::span<const std::uint8_t> shx);

    /// Raises "The shapefile is not open" unless open; empties Shapes and resets every member.
    void Close();

    /// Creates (or replaces, crash-safely) ".shx" and ".shp" for fileName, each holding only the
    /// 100-byte header with the shape type of the class code shapeType (1, 2, 3, 7), a zero
    /// bounding box and a file length of 50 words. Does not open them.
    void Create(const std::string& fileName, std::uint8_t shapeType);
    /// The same for a shapefile shape type (1, 3, 5, 8 or a Z or M form of them).
    void CreateOfType(const std::string& fileName, std::int32_t fileShapeType);

    /// The shape in slot index (reading its record first when the slot was never filled); owned
    /// by the shapefile, nullptr for a null slot. Raises GContainerException for a bad index.
    GShape* GetShape(int index);
    /// The shape in slot index without reading anything: owned by the shapefile, nullptr for a
    /// null slot; callable from several threads at once. Raises GContainerException for a bad
    /// index and "The shape of record <n> has not been read" for a slot never filled.
    const GShape* LoadedShape(int index) const;

    /// Frees the shape in slot index and puts shape there (no type check; Flush refuses a shape
    /// of the wrong class). The slot is written with M values when its record had them; its Z
    /// and M values are those of shape.
    void ReplaceShape(int index, std::unique_ptr<GShape> shape);

    /// Raises "The shape is not of the required type" when shape is not null and its class code
    /// differs from ShapeType(); otherwise adds it as the new last slot, written with the Z and M
    /// values of its vertices where the file's type has them.
    void AppendShape(std::unique_ptr<GShape> shape);

    /// Removes and frees slot index; Count() - 1.
    void DeleteShape(int index);

    /// Rewrites ".shp" and ".shx" from Shapes (crash-safely, see the top of this header). Raises
    /// "The shapefile is not open" unless open, and "The shape is not of the required type"
    /// (naming the record) when a slot holds a shape of another class; nothing is written then.
    /// A failed write raises the file error and leaves the old files in place.
    void Flush();

    /// The two files as Flush would write them (every slot is read first).
    GShapefileImages SaveToImages();

    /// Finishes or abandons (commit marker present) or undoes (no marker) an interrupted flush of
    /// the shapefile fileName, as described at the top of this header, and returns the notices
    /// for the user. Open (for writing), Create and Flush call it; it does nothing when there is
    /// nothing left over.
    static std::vector<std::string> RecoverInterruptedFlush(const std::string& fileName);

    /// Whether Open may finish or undo an interrupted flush (true for a new object); with false
    /// it changes no file, reports what it found (TakeNotices) and raises GShapefileException
    /// naming the files when the interruption left them torn.
    void SetRecoverOnOpen(bool value);
    /// The datum (0 Cape, 1 Hartebeesthoek94) the next Flush makes a recognised ".prj" declare,
    /// with its Lo unchanged; nothing leaves the .prj alone.
    void SetTargetDatum(std::optional<std::uint8_t> datum);
    /// The messages of open and flush for the user since the last call (see the top of this
    /// header).
    std::vector<std::string> TakeNotices();

    const std::string& FileName() const { return fileName_; }
    /// Class code of the shapes (1 point, 2 line, 3 polygon, 7 multipoint); 0 when closed.
    std::uint8_t ShapeType() const { return shapeType_; }
    /// The shapefile shape type of the file (1, 3, 5, 8, 11, ..., 28); 0 when closed.
    std::int32_t FileShapeType() const { return fileShapeType_; }
    int Count() const { return shapes_.Count(); }
    const GShapeList& Shapes() const { return shapes_; }
    bool IsOpen() const { return isOpen_; }
    bool LoadShapesOnOpen() const { return loadShapesOnOpen_; }
    /// Raises "Unable to change this parameter while the shapefile is open" while open.
    void SetLoadShapesOnOpen(bool value);

private:
    void LoadAllSlots();
    void ResetState();
    // Takes the open state: the slots and, per slot, whether it has M values and the record
    // still to be read into it.
    void Adopt(const std::string& fileName, std::int32_t fileShapeType, GShapeList shapes,
               std::vector<bool> measured, std::vector<std::int32_t> pendingRecord);

    std::string fileName_;
    std::uint8_t shapeType_ = 0;
    std::int32_t fileShapeType_ = 0;
    GShapeList shapes_;
    // Per slot: whether it is written with M values (as its record was read, or the type's
    // default for an appended one).
    std::vector<bool> measured_;
    // Per slot: the index of the file record that still has to be read into it, or -1 once the
    // slot holds its shape (read, replaced or appended). Kept apart from the slot's position so
    // that deleting a slot never makes a later slot read the wrong record.
    std::vector<std::int32_t> pendingRecord_;
    bool isOpen_ = false;
    bool loadShapesOnOpen_ = false;
    bool recoverOnOpen_ = true;
    std::optional<std::uint8_t> targetDatum_;
    std::vector<std::string> notices_;
};

/// A shapefile as a record set: the shapes from ".shp"/".shx" (all read at open), the attribute
/// columns from the ".dbf" of the same name, opened by path through the engine.
///
/// Shapes are changed in memory at each post and written by Flush; attribute changes are written
/// by the engine at each post (cached updates are off). Shapes are handed out with the Z and M
/// values of the file, and a shape posted over a record of the same layout (SameLayout) keeps the
/// record's Z and M whatever the caller did to them: a run moves X and Y only.
class GShapefileRecordSet : public GBorlandRecordSet
{
public:
    GShapefileRecordSet();
    ~GShapefileRecordSet() override;

    GShapefile& Shapefile() const { return *shapefile_; }
    const std::string& FileName() const { return fileName_; }
    /// Raises "You cannot set this property while the shapefile is active." while active.
    void SetFileName(const std::string& fileName);
    /// The shape set for the current record and not yet posted, or nullptr.
    const GShape* PendingShape() const { return pendingShape_.get(); }

    /// A copy of the shape of record index with its Z and M (nullptr for a null record).
    std::unique_ptr<GShape> GetShapeAt(std::int32_t recordIndex) override;
    /// True: every shape is in memory from the open on.
    bool CanReadAhead() const override { return true; }
    /// True, for the same reason.
    bool LendsShapes() const override { return true; }
    /// The shape of record index as read or last posted (nullptr for a null record).
    const GShape* LentShapeAt(std::int32_t recordIndex) const override;
    /// The engine record set's definition with TableName = FileName.
    std::unique_ptr<GRecordSetDefinition> GetDefinition() override;
    /// Creates the ".dbf" of the definition's TableName with the definition's columns (and no
    /// "SHAPE" column: the shapes live in ".shp"), then the empty ".shp"/".shx" of the shape
    /// class code definition.ShapeType (1, 2, 3, 7). Returns whether the table was created.
    bool CreateTable(const GRecordSetDefinition& definition) override;

    /// Every file of the shapefile that exists: .shp, .shx, .dbf, .prj, .cpg, .qix, .sbn, .sbx
    /// (named as found beside FileName, links not resolved).
    std::vector<std::string> DataFiles() const override;
    /// What the ".prj" declares, when there is one.
    std::vector<GDeclaredSystem> DeclaredSystems() const override;
    /// The next Flush rewrites a recognised ".prj" for the datum, inside the shapefile's commit.
    void SetTargetDatum(std::uint8_t datum) override;
    /// The shapefile's notices (see the top of this header).
    std::vector<std::string> TakeNotices() override;

protected:
    /// Opens the ".dbf" by path, then the shapefile (raising "The specified shapefile does not
    /// exist" when ".shp" or ".shx" is missing). False when the ".dbf" cannot be opened. Raises
    /// GShapefileException when the ".dbf" and the ".shx" count different records. A read-only
    /// record set opens the shapefile without recovering an interrupted flush
    /// (SetRecoverOnOpen(false)).
    bool DoOpen() override;
    std::unique_ptr<GShape> DoGetShape() override;
    /// Keeps a copy of shape until the post (no edit-mode check).
    void DoSetShape(const GShape& shape) override;
    /// Keeps shape itself until the post.
    void DoTakeShape(std::unique_ptr<GShape> shape) override;
    void DoCancel() override;
    void DoDelete() override;
    /// Raises "You cannot post a nil shape to a shapefile" for an append without a shape, and
    /// "The shape is not of the required type" for a shape of another class, both before the
    /// attribute row is written; then posts the row and hands the shape to the shapefile.
    void DoPost() override;
    void DoClose() override;
    /// The engine step, then the rewrite of ".shp" and ".shx" (not for a read-only record set,
    /// which cannot have changed them).
    void DoFlush() override;
    bool DoHasSpatialComponent() override;

private:
    std::unique_ptr<GShapefile> shapefile_;
    std::string fileName_;
    std::unique_ptr<GShape> pendingShape_;
};

/// What the shapefile data-source dialog shows and gives back.
struct GShapefileDataSourceSettings
{
    std::string FileName;
    bool ReadOnly = false;
    /// Whether the user may change ReadOnly.
    bool ReadOnlyEditable = true;
};

/// The dialog of the user-interface layer: shows the settings, lets the user change them and
/// returns true on OK (false on cancel).
using GShapefileDataSourceDialog = std::function<bool(GShapefileDataSourceSettings& settings)>;
/// Installs the dialog CreateShapefileRecordSet shows; an empty function removes it (a factory
/// asked to show a dialog then behaves as if it was cancelled).
void SetShapefileDataSourceDialog(GShapefileDataSourceDialog dialog);

/// A configured, unopened shapefile record set, or nullptr when the dialog was cancelled (or
/// there is no dialog).
std::unique_ptr<GShapefileRecordSet> CreateShapefileRecordSet(bool showDialog,
                                                              const std::string& fileName,
                                                              bool readOnly, bool readOnlyEditable);

} // namespace quorvalis
