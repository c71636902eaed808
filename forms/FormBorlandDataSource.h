// The data source dialog of tables and queries of the database engine.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QBoxLayout;
class QListWidget;

namespace Ui
{
class TfrmBorlandDataSource;
}

namespace quorvalis
{

struct GBorlandDataSourceSettings;

/// The driver family an alias's driver counts as for the dialogs: "MSACCESS", "ORACLE",
/// "POSTGRES", or "STANDARD" for any other name (compared without regard to case).
std::string DriverFamily(const std::string& driver);
/// The table's name quoted for the SQL of its driver: "[name]" for MSACCESS, "'name'" for
/// ORACLE, "\"name\"" otherwise; a closing quote inside the name is doubled.
std::string QuotedTableName(const std::string& table, const std::string& driver);
/// "select a.* from " + the quoted name + " a".
std::string TableStatement(const std::string& table, const std::string& driver);

/// A table, or a query, of an alias of the engine (or a dBase file by its path).
///
/// On show the aliases of the engine fill the database list; with a Driver set, the caption names
/// it and only the aliases of that driver family stay. Choosing a database lists its tables and
/// takes its driver (server databases tick and lock "Cache Database Information"); double-clicking
/// a table writes "select a.* from <quoted table> a" into the SQL text; the browse button (only
/// for "STANDARD") picks a dBase or Paradox file by path. Ok refuses an empty SQL text without a
/// selected table ("You must select a table or enter an SQL statement.").
class TfrmBorlandDataSource : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmBorlandDataSource(QWidget* parent = nullptr);
    ~TfrmBorlandDataSource() override;

    /// Preset from the factory's settings; read back after Ok.
    virtual void SetSettings(const GBorlandDataSourceSettings& settings);
    virtual GBorlandDataSourceSettings Settings() const;

    const std::string& Driver() const { return driver_; }
    /// Stores the driver and shows it in pnlDriver.
    void SetDriver(const std::string& driver);

    /// Chooses a database of the list as the user would (step 3 of the text): its tables, its
    /// driver and the cache box. Engine errors show in an error box and leave the list empty.
    void ChooseDatabase(const QString& alias);
    /// Double-click on a table row: TableName and the SQL statement.
    void UseTable(const QString& table);
    /// The browse button's work once a file was chosen.
    void UseDatabaseFile(const std::string& path);
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    /// The window caption for a driver family ("MS Access DataSource", "Oracle DataSource",
    /// "PostgreSQL DataSource", "Standard DataSource"; "Borland DataSource" for an empty or other
    /// family), with " XYZ" before "DataSource" for the X/Y/Z dialog.
    QString CaptionOf(const std::string& family) const;
    /// Whether this is the X/Y/Z dialog.
    virtual bool IsXYZ() const { return false; }
    /// Called on show, on a click on a table and after browsing (the X/Y/Z boxes).
    virtual void TableChosen() {}

    QListWidget& Tables() const;
    /// The selected database alias, empty when none (a file by path).
    std::string SelectedDatabase() const;
    /// The selected table, empty when none.
    std::string SelectedTable() const;
    /// Where a subclass adds its controls (under the SQL text).
    QBoxLayout& ExtraLayout() const;
    /// The width of the label column, so that added rows line up with the others.
    int LabelColumnWidth() const;

private:
    void FillDatabases();
    void Browse();

    std::unique_ptr<Ui::TfrmBorlandDataSource> ui_;
    std::string driver_;
    std::string databaseName_;
    std::string tableName_;
};

inline constexpr char kSelectTableMessage[] = "You must select a table or enter an SQL statement.";

/// The factory's dialog (the X/Y/Z one when settings.XYZ): shows the settings, gives them back on
/// Ok.
bool ShowBorlandDataSourceDialog(GBorlandDataSourceSettings& settings);

} // namespace quorvalis
