// Record sets over datasets of the database engine: tables and queries of an alias or a dBase
// file, tables of X/Y/Z coordinates, and in-memory tables.
#pragma once

#include "database/Database.h"
#include "database/InMemoryTable.h"
#include "database/engine/Connection.h"
#include "database/engine/DataSet.h"
#include "database/engine/FieldDef.h"
#include "database/engine/Query.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvalis
{

/// The record-set type of an engine column type: smallint, integer, word, autoinc -> fdtInteger;
/// float, currency, BCD -> fdtFloat; date, time, date-time -> fdtDateTime; string ->
/// fdtString; boolean -> fdtBoolean; bytes, varbytes, blob, graphic -> fdtBlob; memo, formatted
/// memo -> fdtMemo; every other type -> fdtUnknown.
GFieldType FieldTypeOfEngine(engine::FieldType type);
/// The engine column type a column of this record-set type is created with: fdtInteger ->
/// ftInteger, fdtFloat -> ftFloat, fdtDateTime -> ftDateTime, fdtString -> ftString,
/// fdtBoolean -> ftBoolean, fdtBlob -> ftBlob, fdtMemo -> ftMemo, fdtNone and fdtUnknown ->
/// ftUnknown.
engine::FieldType EngineTypeOfField(GFieldType type);

/// Everything that needs only an open engine dataset: fields, values, moving, editing, and the
/// spatial component stored as a serialised shape in a blob column named "SHAPE".
///
/// A "SHAPE" blob holds one shape in its stream form; writing sizes the blob to the shape's
/// StreamSize (a point: 25 bytes, the first 17 its stream form), reading hands the whole blob to
/// ReadShape.
class GBorlandBaseRecordSet : public GRecordSet
{
public:
    ~GBorlandBaseRecordSet() override;

    /// The alias the data come from; empty by default.
    std::string DatabaseName;

    /// The owned engine dataset.
    engine::DataSet& DataSet() const;

    GVariant GetFieldValue(std::int32_t index) override;
    void SetFieldValue(std::int32_t index, const GVariant& value) override;
    std::string GetFieldAsString(std::int32_t index) override;
    void SetFieldAsString(std::int32_t index, const std::string& text) override;
    void LoadFieldFromStream(std::int32_t index, GStream& stream) override;
    void SaveFieldToStream(std::int32_t index, GStream& stream) override;
    bool GetCachedUpdates() override;
    void SetCachedUpdates(bool value) override;
    /// Sets each column's visible flag to the opposite of its field's Hidden; returns the dataset.
    engine::DataSet* GetDataSet() override;
    /// DatabaseName, an empty TableName, HasSpatialComponent, ShapeType 0 and one definition per
    /// field.
    std::unique_ptr<GRecordSetDefinition> GetDefinition() override;

protected:
    explicit GBorlandBaseRecordSet(std::unique_ptr<engine::DataSet> dataSet);
    /// Replaces the dataset (the old one is closed and freed).
    void ReplaceDataSet(std::unique_ptr<engine::DataSet> dataSet);
    /// For destructors: drops an edit in progress, closes the record set and its dataset, and
    /// reports nothing.
    void ReleaseDataSet() noexcept;
    /// One field per dataset column; with hideShape a blob column named "SHAPE" (any case) is
    /// hidden.
    void LoadFieldsFromDataSet(bool hideShape);
    /// "Table 'name', row key" (or "Row key" for a result that is no table) for messages about
    /// the current record.
    std::string CurrentRowLabel() const;
    /// Raises naming the current row and the column when a vertex of shape is not finite.
    void CheckFinite(const GShape& shape, const std::string& column) const;

    /// As LoadFieldsFromDataSet(true).
    void DoLoadFields() override;
    /// Reads the "SHAPE" blob (raises "Field SHAPE not found" when there is none) and hands it
    /// to ReadShape ("Cannot identify class : 0." for an empty blob, followed by the table and
    /// row). A shape with a coordinate that is not finite is refused naming table, row and
    /// column.
    std::unique_ptr<GShape> DoGetShape() override;
    /// Refuses a shape with a coordinate that is not finite (naming table, row and column).
    void DoSetShape(const GShape& shape) override;
    void DoAppend() override;
    void DoCancel() override;
    void DoDelete() override;
    void DoEdit() override;
    void DoPost() override;
    void DoFirst() override;
    /// The dataset's move-by; if it is then at its beginning, its first.
    void DoMoveBy(std::int32_t distance) override;
    void DoNext() override;
    void DoPrior() override;
    /// Acts only while active (flushing cached updates, then closing the dataset); reached
    /// through Close it does nothing, and the dataset closes when the record set is destroyed.
    void DoClose() override;
    /// The dataset's record count, or the records counted by walking when it reports none.
    std::int32_t DoGetRecordCount() override;
    /// A field "SHAPE" (any case) of type fdtBlob or fdtUnknown exists.
    bool DoHasSpatialComponent() override;

private:
    std::unique_ptr<engine::DataSet> dataSet_;
};

/// A record set over an SQL query of its own connection: tables and queries of an alias, and
/// (with no DatabaseName) a dBase file named by its path in the SQL text.
///
/// The connection is created with the record set and named "__DB" + n + "__", n the smallest
/// positive integer no connection of the session uses. Opening a record set with a
/// DatabaseName points the connection at that alias and gives it the parameter lines
/// "USER NAME=" + UserName and "PASSWORD=" + Password (also when empty).
///
/// Posted changes are held (and seen through the record set) until Flush writes them all at
/// once, whether cached updates are on or not: in one transaction of the connection where the
/// store has transactions (GeoPackage, PostgreSQL, whatever the alias's driver name), and for a
/// dBase table as one crash-safe rewrite of its file. A flush that fails writes nothing and
/// raises "Unable to apply updates" followed by the reason (a line break between them); the
/// changes stay held. A record set closed or freed without a flush writes nothing.
class GBorlandRecordSet : public GBorlandBaseRecordSet
{
public:
    GBorlandRecordSet();
    ~GBorlandRecordSet() override;

    engine::Connection& Database() const { return *database_; }
    engine::Query& Query() const;

    std::string UserName;
    std::string Password;

    /// Replaces the query's SQL lines; raises "Cannot perform this operation on an open
    /// recordset" while active.
    void SetSQL(const std::vector<std::string>& lines);
    /// The query's SQL lines (may be changed directly while closed).
    std::vector<std::string>& GetSQL();

    /// The flag as set; posted changes are held until Flush either way (see the class).
    bool GetCachedUpdates() override;
    void SetCachedUpdates(bool value) override;
    /// True when the query does not request a live (updatable) result.
    bool GetReadOnly() override;
    /// Base check, then requests a live result exactly when value is false.
    void SetReadOnly(bool value) override;
    /// Creates the table of the definition (DatabaseName, TableName) with its columns and, when
    /// spatial and no column is named "SHAPE", a "SHAPE" blob; replaces a table of that name.
    /// False when the engine refuses.
    bool CreateTable(const GRecordSetDefinition& definition) override;
    /// Why the last Open failed (the engine's message).
    std::string OpenFailure() const override { return openFailure_; }
    /// The dBase file of a table of a directory alias or named by its path, or the GeoPackage
    /// file of the alias; none for a PostgreSQL database or an SQL result other than a table.
    std::vector<std::string> DataFiles() const override;

    /// Before Open: opens a transaction of the connection in which the table is locked against
    /// every other writer (readers go on), so that what this record set reads stays true until
    /// its Flush writes and ends the transaction; freeing the record set without a flush ends it
    /// too. Raises GDatabaseException with the reason when the table cannot be locked. Nothing
    /// for a table of dBase files, which has no writers' lock.
    void LockForUpdate();

protected:
    /// Opens the query (see the class comment); false on any engine error, whose message is
    /// kept for OpenFailure.
    bool DoOpen() override;
    /// First; then, with cached updates, applies them (in a transaction when the query has a
    /// connection). Without cached updates the rows are already written and are only made
    /// durable.
    void DoFlush() override;

    /// Creates an engine table with the definition's columns followed by extra ones; false on an
    /// engine error.
    bool CreateEngineTable(const GRecordSetDefinition& definition,
                           const std::vector<engine::FieldDef>& extra);

    /// Raised when the record set's checks refuse to open it: the message says why.
    void RefuseOpen(const std::string& reason);

private:
    std::unique_ptr<engine::Connection> database_;
    bool cachedUpdates_ = false;
    std::string openFailure_;
};

/// A record set whose spatial component is a point built from two or three numeric columns.
///
/// The X and Y columns must exist: a record set whose XFieldName or YFieldName names no column
/// does not open (OpenFailure says which). A Z name that matches no column leaves Z unread (0)
/// and unwritten, and a null Z reads as 0 and stays null when Z is written back unchanged. A null
/// or non-finite X or Y, or a non-finite Z, is refused when the point is read, naming the table,
/// the row's key and the column.
class GBorlandXYZRecordSet : public GBorlandRecordSet
{
public:
    std::string XFieldName = "X";
    std::string YFieldName = "Y";
    std::string ZFieldName = "Z";

    /// The definition's columns and, when spatial, a float column for each of XFieldName,
    /// YFieldName, ZFieldName not already among them; no "SHAPE" column.
    bool CreateTable(const GRecordSetDefinition& definition) override;

protected:
    /// The base, then the check that the X and Y columns exist.
    bool DoOpen() override;
    /// As the base, with the X, Y and Z columns hidden instead of "SHAPE".
    void DoLoadFields() override;
    /// Always true.
    bool DoHasSpatialComponent() override;
    /// A new point from the X, Y and Z columns (Z 0 where missing or null).
    std::unique_ptr<GShape> DoGetShape() override;
    /// Raises "You can only store points in this recordset" for anything but a GPoint; then
    /// stores X, Y and Z into the columns that exist.
    void DoSetShape(const GShape& shape) override;
};

/// A record set over a table held only in memory. Subclasses define the columns (ResetTable,
/// AddFieldDefinition), then create, open and fill the table in their DoOpen (FillMemoryTable);
/// the read-only flag takes effect once the record set is open, so a read-only record set can be
/// filled first.
class GInMemoryBorlandRecordSet : public GBorlandBaseRecordSet
{
public:
    GInMemoryBorlandRecordSet();

    GInMemoryTable& Table() const;

    /// Closes the record set if active and replaces the table by a fresh, empty one named
    /// "xxxxxxxx.db".
    void ResetTable();
    /// Adds a column definition to the table (type mapped as EngineTypeOfField; size the declared
    /// length of a string).
    void AddFieldDefinition(const std::string& name, GFieldType fieldType, std::int32_t size,
                            bool required);
    /// Lets the table create itself in memory from its column definitions.
    void CreateMemoryTable();
    /// CreateMemoryTable, open the table, let fill add the rows, and put the cursor on the first
    /// row (where RecordIndex 0 of the opening record set expects it). False when the engine
    /// refuses a step (EngineError); other errors propagate.
    bool FillMemoryTable(const std::function<void(GInMemoryTable& table)>& fill);

    /// Always true.
    bool GetCachedUpdates() override;
    void SetCachedUpdates(bool value) override;
    bool GetReadOnly() override;
    void SetReadOnly(bool value) override;
    /// Raises "Cannot create virtual memory recordsets".
    bool CreateTable(const GRecordSetDefinition& definition) override;

protected:
    /// As the base, hiding no column; the read-only flag is given to the table here.
    void DoLoadFields() override;

private:
    bool readOnly_ = false;
    bool cachedUpdates_ = false;
};

/// Everything the database data-source dialogs show and give back.
struct GBorlandDataSourceSettings
{
    std::string Driver;
    std::string DatabaseName;
    std::string TableName;
    std::string UserName;
    std::string Password;
    bool ReadOnly = false;
    bool ReadOnlyEditable = true;
    bool CachedUpdates = false;
    std::vector<std::string> SQL;
    /// The X/Y/Z dialog (true) or the plain one.
    bool XYZ = false;
    std::string XFieldName;
    std::string YFieldName;
    std::string ZFieldName;
};

/// The dialog of the user-interface layer: shows the settings, lets the user change them and
/// returns true on OK (false on cancel).
using GBorlandDataSourceDialog = std::function<bool(GBorlandDataSourceSettings& settings)>;
/// Installs the dialog the factories show; an empty function removes it (factories asked to
/// show a dialog then behave as if it was cancelled).
void SetBorlandDataSourceDialog(GBorlandDataSourceDialog dialog);

/// A configured, unopened database record set, or nullptr when the dialog was cancelled.
std::unique_ptr<GBorlandRecordSet>
CreateBorlandRecordSet(bool showDialog, const std::string& driver, const std::string& databaseName,
                       const std::string& tableName, const std::string& userName,
                       const std::string& password, bool readOnly, bool readOnlyEditable,
                       bool cachedUpdates, const std::vector<std::string>& sql);

/// The same with the X/Y/Z dialog, creating a GBorlandXYZRecordSet with the three field names.
std::unique_ptr<GBorlandXYZRecordSet> CreateBorlandXYZRecordSet(
    bool showDialog, const std::string& driver, const std::string& databaseName,
    const std::string& tableName, const std::string& xFieldName, const std::string& yFieldName,
    const std::string& zFieldName, const std::string& userName, const std::string& password,
    bool readOnly, bool readOnlyEditable, bool cachedUpdates, const std::vector<std::string>& sql);

} // namespace quorvalis
