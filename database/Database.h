// The record set model: one interface over every kind of data source.
//
// A record set is an ordered sequence of records, each with attribute fields and, when the
// record set has a spatial component, one shape. GRecordSet owns the record position, the edit
// state, the field list and every precondition check with its message; concrete record sets
// supply the storage by overriding the protected Do... steps and the value access operations.
#pragma once

#include "database/engine/Value.h"
#include "geometry/Containers.h"
#include "geometry/Spatial.h"
#include "geometry/Stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{

namespace engine
{
class DataSet;
}

/// Errors of the record sets. Messages are the fixed texts of the operations below.
class GDatabaseException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Field values: null, integer, float, text, boolean, date-time or bytes; null is distinct from
/// every default.
using GVariant = engine::Value;

/// Classification of a field.
enum GFieldType : std::uint8_t
{
    fdtNone = 0,     // not set (a fresh definition)
    fdtInteger = 1,  // whole number
    fdtFloat = 2,    // floating-point number (also currency and BCD columns)
    fdtDateTime = 3, // date, time or date-and-time
    fdtString = 4,   // fixed-length text
    fdtBoolean = 5,
    fdtBlob = 6, // large byte object (shapes are stored in one)
    fdtMemo = 7, // long text
    fdtUnknown = 8,
};

enum GRecordSetState : std::uint8_t
{
    rsBrowse = 0, // on a record
    rsEdit = 1,   // changing the current record
    rsAppend = 2, // filling a new record
};

/// Describes one field.
class GFieldDefinition
{
public:
    GFieldDefinition() = default;
    GFieldDefinition(std::string name, GFieldType fieldType, std::int32_t size, bool required)
        : Name(std::move(name)), FieldType(fieldType), Size(size), Required(required)
    {
    }

    std::string Name;
    GFieldType FieldType = fdtNone;
    /// For fdtString the column's data size in bytes as the engine reports it (declared length
    /// plus one); 0 for every other type.
    std::int32_t Size = 0;
    /// The column's value-required flag.
    bool Required = false;
};

/// Owning list of field definitions.
class GFieldDefinitionList : public GContainer<GFieldDefinition>
{
public:
    /// The first definition whose Name equals name (both upper-cased first unless
    /// caseSensitive); raises GDatabaseException "Field " + name + " not found".
    GFieldDefinition& FieldByName(const std::string& name, bool caseSensitive) const;
};

/// Describes a record set so that an empty copy of it can be created.
class GRecordSetDefinition
{
public:
    std::string DatabaseName;
    std::string TableName;
    bool HasSpatialComponent = false;
    std::uint8_t ShapeType = 0;
    GFieldDefinitionList FieldDefinitions;
};

/// What a data source says of its own coordinate system: a .prj beside it, a coordinate list
/// file's header.
struct GDeclaredSystem
{
    /// The file that says it (the .prj's path, the .crd's path).
    std::string Source;
    /// The system's name as read (a .prj's PROJCS name), for messages.
    std::string Description;
    /// 0 Cape, 1 Hartebeesthoek94, when the declaration is recognised as one of them.
    std::optional<std::uint8_t> Datum;
    /// The Lo, odd whole degrees east, when the declaration gives one.
    std::optional<std::int32_t> LocalOrigin;
};

class GRecordSet;

/// One column of an open record set; every value access goes to the record set by Index.
class GField
{
public:
    GField(GRecordSet& recordSet, std::int32_t index, std::unique_ptr<GFieldDefinition> definition,
           bool readOnly);

    GRecordSet& RecordSet() const { return *recordSet_; }
    std::int32_t Index() const { return index_; }
    const GFieldDefinition& Definition() const { return *definition_; }
    const std::string& Name() const { return definition_->Name; }
    GFieldType FieldType() const { return definition_->FieldType; }
    std::int32_t Size() const { return definition_->Size; }
    bool Required() const { return definition_->Required; }
    /// Set by a concrete record set for a column that carries the spatial component; hidden
    /// fields are left out of name lists and hidden in grids.
    bool Hidden() const { return hidden_; }
    void SetHidden(bool hidden) { hidden_ = hidden; }
    /// The record set's ReadOnly when the field was created.
    bool ReadOnly() const { return readOnly_; }

    /// The value; null is replaced by the type's default for fdtInteger (0), fdtFloat (0.0),
    /// fdtString ("") and fdtBoolean (false); other types stay null.
    GVariant GetValue() const;
    void SetValue(const GVariant& value);
    /// "(Blob)" for an fdtBlob field (the column is not read), otherwise the column's text.
    std::string AsString() const;
    void SetAsString(const std::string& text);

private:
    GRecordSet* recordSet_;
    std::int32_t index_;
    std::unique_ptr<GFieldDefinition> definition_;
    bool hidden_ = false;
    bool readOnly_;
};

/// Owning list of the fields of a record set, in column order.
class GFieldList : public GContainer<GField>
{
public:
    /// The first field whose name equals name (both upper-cased first unless caseSensitive);
    /// raises GDatabaseException "Field " + name + " not found".
    GField& FieldByName(const std::string& name, bool caseSensitive) const;
    /// The same search, giving nullptr when no field matches.
    GField* FindField(const std::string& name, bool caseSensitive) const;
    /// Replaces strings by every field's name in field order, hidden fields only when
    /// includeHidden.
    void GetFieldNames(std::vector<std::string>& strings, bool includeHidden) const;
};

/// Per-record information: one flag, false at first.
class GRecordInformation
{
public:
    bool Flag = false;
};

/// The record information of a record set: exactly one entry per record. The entries are held
/// by value, so a record set of a million rows costs a megabyte here and no allocation per row.
class GRecordInformationList
{
public:
    std::int32_t Count() const { return static_cast<std::int32_t>(items_.size()); }
    /// Raises GContainerException "Container index out of bounds." outside 0..Count()-1.
    GRecordInformation& GetItem(std::int32_t index);
    const GRecordInformation& GetItem(std::int32_t index) const;
    void Add() { items_.emplace_back(); }
    void Delete(std::int32_t index);
    void Clear() { items_.clear(); }
    void Reserve(std::int32_t count);

private:
    void CheckIndex(std::int32_t index) const;

    std::vector<GRecordInformation> items_;
};

/// Notification hooks; every hook receives the record set as sender.
using GNotifyEvent = std::function<void(GRecordSet& sender)>;
using GBeforePostEvent = std::function<void(GRecordSet& sender, bool& accept)>;
/// OnGetShape receives the shape just read (nullptr when there is none).
using GGetShapeEvent = std::function<void(GRecordSet& sender, GShape* shape)>;
/// OnSetShape receives the shape about to be stored.
using GSetShapeEvent = std::function<void(GRecordSet& sender, const GShape& shape)>;

/// The abstract record set.
///
/// A new record set is inactive, in rsBrowse, with RecordIndex 0, RecordCount 0, no spatial
/// component and empty lists. A record set supports at most 127 fields. Shapes handed out by
/// GetShape and GetShapeAt belong to the caller; a shape given to SetShape stays the caller's.
///
/// Destroying a record set never throws: an edit in progress is dropped and the record set is
/// closed (concrete record sets release their storage in their own destructors).
class GRecordSet
{
public:
    GRecordSet();
    GRecordSet(const GRecordSet&) = delete;
    GRecordSet& operator=(const GRecordSet&) = delete;
    virtual ~GRecordSet();

    // --- Public operations (the only way callers move, edit and open) ---

    /// Opens; false (without an exception) when the storage cannot be opened.
    bool Open();
    void Close();
    void First();
    void Next();
    /// RecordIndex is not less than RecordCount.
    bool Eof() const { return recordIndex_ >= recordCount_; }
    void Append();
    void Edit();
    void Post();
    /// State is rsEdit or rsAppend.
    bool IsEditing() const { return state_ == rsEdit || state_ == rsAppend; }
    /// Makes pending changes permanent and returns to the first record.
    void Flush();
    /// The shape of the current record (new object owned by the caller) or nullptr.
    std::unique_ptr<GShape> GetShape();
    void SetShape(const GShape& shape);
    /// As SetShape(*shape), handing the shape over: a store that keeps shapes keeps this one
    /// rather than a copy. shape must not be null.
    void SetShape(std::unique_ptr<GShape> shape);

    bool Active() const { return active_; }
    bool HasSpatialComponent() const { return hasSpatialComponent_; }
    std::int32_t RecordCount() const { return recordCount_; }
    std::int32_t RecordIndex() const { return recordIndex_; }
    GRecordSetState State() const { return state_; }
    GFieldList& Fields() { return fields_; }
    const GFieldList& Fields() const { return fields_; }
    GRecordInformationList& RecordInformation() { return recordInformation_; }
    const GRecordInformationList& RecordInformation() const { return recordInformation_; }

    // --- Hooks (empty by default) ---
    GNotifyEvent BeforeAppend;
    GBeforePostEvent BeforePost;
    GNotifyEvent AfterPost;
    GNotifyEvent BeforeScroll;
    GNotifyEvent BeforeEdit;
    GNotifyEvent BeforeOpen;
    GNotifyEvent BeforeClose;
    GGetShapeEvent OnGetShape;
    GSetShapeEvent OnSetShape;

    // --- Value access, called through GField with the field's index ---

    /// The column's value (base: null).
    virtual GVariant GetFieldValue(std::int32_t index);
    /// Base: raises "You are not in edit mode" unless IsEditing.
    virtual void SetFieldValue(std::int32_t index, const GVariant& value);
    /// The column's text (base: empty).
    virtual std::string GetFieldAsString(std::int32_t index);
    /// Base: raises "You are not in edit mode" unless IsEditing.
    virtual void SetFieldAsString(std::int32_t index, const std::string& text);
    /// Writes a blob column of the current record from the whole stream. Base: raises "You are
    /// not in edit mode" unless IsEditing.
    virtual void LoadFieldFromStream(std::int32_t index, GStream& stream);
    /// Reads a blob column of the current record into the stream, then rewinds it to 0. Base:
    /// nothing.
    virtual void SaveFieldToStream(std::int32_t index, GStream& stream);

    /// The shape of any record by index, or nullptr. Base: raises "The recordset does not
    /// contain a spatial component" unless HasSpatialComponent; returns nullptr.
    virtual std::unique_ptr<GShape> GetShapeAt(std::int32_t recordIndex);
    /// Whether GetShapeAt gives, for any record not yet posted, the shape GetShape would give
    /// there, without moving and while the current record is edited and posted: a run then reads
    /// the next records while it transforms the current ones. Base: false (read at the cursor).
    virtual bool CanReadAhead() const { return false; }
    /// Whether LentShapeAt may be called. Base: false.
    virtual bool LendsShapes() const { return false; }
    /// The shape of any record as the record set holds it (nullptr for none), lent for reading
    /// without a copy: it stays the record set's and is valid until the record set next changes.
    /// Only where LendsShapes(). Base: raises "The recordset does not lend its shapes".
    virtual const GShape* LentShapeAt(std::int32_t recordIndex) const;

    // --- Properties, settable only while closed ---

    /// Base: false.
    virtual bool GetCachedUpdates();
    /// Base: raises "You cannot change this property while the recordset is active" if Active.
    virtual void SetCachedUpdates(bool value);
    /// Base: true.
    virtual bool GetReadOnly();
    /// Base: raises "You cannot change this property while the recordset is active" if Active.
    virtual void SetReadOnly(bool value);

    /// The engine dataset behind the record set, for data-aware grids. Base: raises "The
    /// recordset must be open to access the dataset" unless Active; returns nullptr.
    virtual engine::DataSet* GetDataSet();
    /// Creates new, empty storage described by the definition. Base: false.
    virtual bool CreateTable(const GRecordSetDefinition& definition);
    /// A new definition of this record set (owned by the caller). Base: raises "The recordset
    /// must be active to perform this function" unless Active; returns nullptr.
    virtual std::unique_ptr<GRecordSetDefinition> GetDefinition();

    // --- What a run needs to know of the files behind the record set ---

    /// The existing files on disk that this record set reads and a flush rewrites (every file of
    /// a shapefile, a text file and its sidecars, a dBase table); a run checks that each may be
    /// written and that the report goes elsewhere. Base: none (stores that are not plain files).
    virtual std::vector<std::string> DataFiles() const { return {}; }
    /// The coordinate systems the data declare about themselves, in the order found. Base: none.
    virtual std::vector<GDeclaredSystem> DeclaredSystems() const { return {}; }
    /// Why the last Open gave false, in the store's own words (never a password); empty when
    /// the record set cannot tell. Base: empty.
    virtual std::string OpenFailure() const { return {}; }
    /// Asks the next Flush to make every recognised declaration (a .prj) say this datum (0 Cape,
    /// 1 Hartebeesthoek94) with its Lo unchanged, written crash-safely with the data.
    /// Unrecognised declarations are left as they are. Base: nothing.
    virtual void SetTargetDatum(std::uint8_t datum) { (void)datum; }
    /// Tells the next Flush whether the coordinates are packed ddd.mmss angles, so that a
    /// coordinate written as text is rounded in the packed form (never 60 seconds or minutes).
    /// Base: nothing (stores that keep numbers as numbers).
    virtual void SetPackedAngles(bool packed) { (void)packed; }
    /// What the record set has to tell the user since the last call, oldest first: an
    /// interrupted run completed, found or cleaned up at open, spatial indexes rebuilt or removed
    /// and declarations left unchanged at flush. The caller shows them (as warnings) and they
    /// are gone from here. Base: none.
    virtual std::vector<std::string> TakeNotices() { return {}; }

protected:
    // --- Virtual steps; overrides call the base first where it has a check ---

    /// Fills Fields() from the storage. Base: nothing.
    virtual void DoLoadFields();
    /// Base: raises "The recordset does not contain a spatial component" unless
    /// HasSpatialComponent; returns nullptr.
    virtual std::unique_ptr<GShape> DoGetShape();
    /// Base: raises "You are not in edit mode" unless IsEditing, then "The recordset does not
    /// contain a spatial component" unless HasSpatialComponent.
    virtual void DoSetShape(const GShape& shape);
    /// The step of SetShape(std::unique_ptr). Base: DoSetShape(*shape).
    virtual void DoTakeShape(std::unique_ptr<GShape> shape);
    virtual void DoAppend();
    /// Abandons the current edit. Base: nothing.
    virtual void DoCancel();
    /// Removes the current record. Base: RecordCount - 1 when above 0 (and its record
    /// information entry).
    virtual void DoDelete();
    virtual void DoEdit();
    /// Base: RecordCount + 1 when State is rsAppend.
    virtual void DoPost();
    virtual void DoFirst();
    virtual void DoMoveBy(std::int32_t distance);
    virtual void DoNext();
    virtual void DoPrior();
    virtual void DoClose();
    /// Base: false.
    virtual bool DoOpen();
    /// Writes pending changes to the storage. Base: nothing.
    virtual void DoFlush();
    /// Base: 0.
    virtual std::int32_t DoGetRecordCount();
    /// Base: false.
    virtual bool DoHasSpatialComponent();

    /// For concrete record sets whose storage changes the count by other means.
    void SetRecordCount(std::int32_t count) { recordCount_ = count; }
    void SetRecordIndex(std::int32_t index) { recordIndex_ = index; }
    /// Leaves an edit without writing (for destructors of concrete record sets, which cancel
    /// their storage's edit first).
    void AbandonEdit();

    void CheckEditing() const;
    void CheckSpatial() const;
    void CheckInactive() const;

    // --- Points kept in three coordinate fields (names compared without regard to case) ---

    /// The field of that name; nullptr when name is empty or finds no field.
    GField* FindCoordinateField(const std::string& name) const;
    /// A new point from the fields named x, y and z; a coordinate whose field is unnamed, or
    /// holds null, stays 0, and so does Z when no field has its name. Raises GDatabaseException
    /// "Field " + name + " not found" for an X or Y name that finds no field.
    std::unique_ptr<GPoint> PointFromFields(const std::string& x, const std::string& y,
                                            const std::string& z) const;
    /// Raises "You can only store points in this recordset" for anything but a GPoint; then
    /// stores its X, Y and Z into those of the three fields that exist.
    void StorePointInFields(const GShape& shape, const std::string& x, const std::string& y,
                            const std::string& z);

private:
    GRecordInformationList recordInformation_;
    std::int32_t recordIndex_ = 0;
    bool active_ = false;
    bool hasSpatialComponent_ = false;
    GRecordSetState state_ = rsBrowse;
    std::int32_t recordCount_ = 0;
    GFieldList fields_;
    std::int32_t appendReturnIndex_ = 0;
};

} // namespace quorvalis
