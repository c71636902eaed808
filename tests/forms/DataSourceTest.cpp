// The chooser of data source kinds, the factory behind it, and the dialog of each kind.
#include "FormsTestSupport.h"

#include "database/BorlandDatabase.h"
#include "database/CorvellDatabase.h"
#include "database/GisLayerDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/TextfileDatabase.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "forms/DataSourceDialogs.h"
#include "forms/FormBorlandDataSource.h"
#include "forms/FormBorlandXYZDataSource.h"
#include "forms/FormCorvellDataSource.h"
#include "forms/FormGisLayerDataSource.h"
#include "forms/FormRecordSetDataSource.h"
#include "forms/FormTextFileDataSource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <cstdlib>
#include <fstream>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;

class DataSourceTest : public DialogsTest
{
protected:
    // A dBase folder with one table of every kind of column the X/Y/Z boxes must tell apart.
    fs::path MakeDBaseFolder()
    {
        const fs::path folder = Folder / "dbase";
        fs::create_directories(folder);
        engine::Table table;
        table.SetDatabaseName(folder.string());
        table.SetTableName("points.dbf");
        table.FieldDefs() = {{"NAME", engine::ftString, 20, false},
                             {"EAST", engine::ftFloat, 0, false},
                             {"NORTH", engine::ftFloat, 0, false},
                             {"CODE", engine::ftInteger, 0, false}};
        table.CreateTable();
        return folder;
    }
};

TEST_F(DataSourceTest, EveryKindCreatesItsRecordSetWithItsSettings)
{
    // Every factory answered by a recording dialog that keeps what it was given.
    std::vector<GBorlandDataSourceSettings> databases;
    int files = 0;
    SetBorlandDataSourceDialog(
        [&](GBorlandDataSourceSettings& settings)
        {
            databases.push_back(settings);
            return true;
        });
    SetShapefileDataSourceDialog([&](GShapefileDataSourceSettings& s)
                                 { return ++files, s.ReadOnly && !s.ReadOnlyEditable; });
    SetCorvellDataSourceDialog([&](GCorvellDataSourceSettings& s)
                               { return ++files, s.ReadOnly && !s.ReadOnlyEditable; });
    SetTextFileDataSourceDialog([&](GTextFileDataSourceSettings& s)
                                { return ++files, !s.ReadOnly && !s.ReadOnlyEditable; });
    SetGisLayerDataSourceDialog([&](GGisLayerDataSourceSettings& s)
                                { return ++files, s.ReadOnly && !s.ReadOnlyEditable; });

    struct Row
    {
        std::uint8_t kind;
        const char* driver; // "" for a file kind
        bool xyz;
        bool cached;
    };
    const Row rows[] = {
        {2, "", false, false},         {11, "", false, false},        {13, "", false, false},
        {3, "ORACLE", false, true},    {4, "MSACCESS", false, true},  {5, "STANDARD", false, false},
        {6, "STANDARD", false, false}, {7, "ORACLE", true, true},     {8, "MSACCESS", true, true},
        {9, "STANDARD", true, false},  {10, "STANDARD", true, false}, {12, "", false, false},
        {14, "POSTGRES", false, true}, {15, "POSTGRES", true, true},  {16, "", false, false}};
    ASSERT_EQ(DataSourceKinds().size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i)
    {
        const Row& row = rows[i];
        EXPECT_EQ(DataSourceKinds()[i].Kind, row.kind);
        const std::size_t before = databases.size();
        std::unique_ptr<GRecordSet> recordSet = CreateRecordSetOfKind(row.kind, true, false);
        ASSERT_NE(recordSet, nullptr) << int(row.kind);
        EXPECT_FALSE(recordSet->Active());
        if (*row.driver == '\0')
        {
            EXPECT_EQ(databases.size(), before);
            continue;
        }
        ASSERT_EQ(databases.size(), before + 1);
        const GBorlandDataSourceSettings& settings = databases.back();
        EXPECT_EQ(settings.Driver, row.driver) << int(row.kind);
        EXPECT_EQ(settings.XYZ, row.xyz) << int(row.kind);
        EXPECT_EQ(settings.CachedUpdates, row.cached) << int(row.kind);
        EXPECT_TRUE(settings.ReadOnly);
        EXPECT_FALSE(settings.ReadOnlyEditable);
        EXPECT_EQ(dynamic_cast<GBorlandXYZRecordSet*>(recordSet.get()) != nullptr, row.xyz);
        EXPECT_EQ(recordSet->GetCachedUpdates(), row.cached);
    }
    EXPECT_EQ(files, 5);
    EXPECT_NE(dynamic_cast<GCorvellRecordSet*>(CreateRecordSetOfKind(13, true, false).get()),
              nullptr);
    EXPECT_EQ(CreateRecordSetOfKind(1, true, false), nullptr);
    EXPECT_EQ(CreateRecordSetOfKind(99, true, false), nullptr);
}

TEST_F(DataSourceTest, CancellingEitherDialogGivesNoRecordSet)
{
    WhenModal(
        [](QWidget& chooser)
        {
            EXPECT_EQ(chooser.windowTitle(), "Clarke RecordSet DataSource");
            EXPECT_EQ(Child<QComboBox>(chooser, "cmbDataSource").currentText(), "Shapefile");
            Press(chooser, "btnCancel");
        });
    EXPECT_EQ(CreateRecordSet(true, false, "Clarke RecordSet DataSource"), nullptr);

    // The shapefile dialog opens its file dialog at once; cancelling both gives nothing.
    Choose("Shapefile", [](QWidget& dialog) { Press(dialog, "btnCancel"); });
    EXPECT_EQ(CreateRecordSet(false, false, "RecordSet DataSource"), nullptr);
    ASSERT_EQ(FileDialogs.size(), 1u);
    EXPECT_EQ(FileDialogs[0].Title, "Shapefiles...");
    EXPECT_EQ(FileDialogs[0].Filter, "Shapefiles (*.shp)|*.shp");

    Choose("DBase", [](QWidget& dialog) { Press(dialog, "btnCancel"); });
    EXPECT_EQ(CreateRecordSet(false, false, "RecordSet DataSource"), nullptr);
    Choose("Text File", [](QWidget& dialog) { Press(dialog, "btnCancel"); });
    EXPECT_EQ(CreateRecordSet(false, false, "RecordSet DataSource"), nullptr);
    EXPECT_TRUE(Errors().empty());
}

// The shapefile, text and Corvell kinds give working record sets in the windowed transform runs
// and the vector data tests; here what those leave out.
TEST_F(DataSourceTest, CorvellDialogRefusesAMissingFileAndKeepsAnImportSourceReadOnly)
{
    TfrmCorvellDataSource dialog;
    dialog.SetFileName((Folder / "missing.crd").string());
    dialog.SetReadOnly(true, false); // as the import's sources: read-only, not the user's choice
    dialog.show();
    EXPECT_FALSE(Child<QCheckBox>(dialog, "cbReadOnly").isEnabled());
    EXPECT_TRUE(Child<QCheckBox>(dialog, "cbReadOnly").isChecked());
    ProcessEvents();
    EXPECT_TRUE(FileDialogs.empty()); // a file name is set: no file dialog on show
    Press(dialog, "btnOk");
    EXPECT_EQ(Errors(), std::vector<std::string>{kSelectValidCorvellFileMessage});
    EXPECT_TRUE(dialog.isVisible());
    dialog.SetFileName(Sample("JOB-POINTS.crd"));
    EXPECT_EQ(Child<QLabel>(dialog, "pnlCorvellName").text().toStdString(),
              Sample("job-points.crd")); // shown lower-cased
}

TEST_F(DataSourceTest, TextFileDialogOffersNumericFieldsOnceBothFilesExist)
{
    TfrmTextFileDataSource dialog;
    auto& ok = Child<QPushButton>(dialog, "btnOk");
    auto& x = Child<QComboBox>(dialog, "cmbXField");
    EXPECT_FALSE(ok.isEnabled());
    dialog.SetTextFileName(Sample("job-points.txt"));
    EXPECT_FALSE(ok.isEnabled());
    EXPECT_EQ(x.count(), 0);
    dialog.SetDefinitionFileName(Sample("job-points-delimited.def"));
    EXPECT_TRUE(ok.isEnabled());
    QStringList offered;
    for (int i = 0; i < x.count(); ++i)
        offered << x.itemText(i);
    EXPECT_EQ(offered.join(','), "Y,X,HEIGHT,CODE"); // NAME is text: never offered
    EXPECT_EQ(Child<QComboBox>(dialog, "cmbZField").count(), 4);

    // A new definition empties the boxes, even with the same field names.
    x.setCurrentText("X");
    dialog.SetDefinitionFileName(Sample("job-points-delimited.def"));
    EXPECT_EQ(x.currentText(), "");

    // A text file that does not exist disables Ok again.
    dialog.SetTextFileName((Folder / "gone.txt").string());
    EXPECT_FALSE(ok.isEnabled());
    EXPECT_EQ(x.count(), 0);

    // A damaged definition says why and keeps Ok disabled.
    std::ofstream(Folder / "bad.def") << "xx";
    dialog.SetTextFileName(Sample("job-points.txt"));
    dialog.SetDefinitionFileName((Folder / "bad.def").string());
    EXPECT_FALSE(ok.isEnabled());
    EXPECT_EQ(Errors().size(), 1u);

    // The browse buttons use their own dialogs.
    FileAnswer = [](const GFileDialog& file)
    { return file.DefaultExtension == "def" ? Sample("job-points-fixed.def") : std::string(); };
    QTest::mouseClick(&Child<QToolButton>(dialog, "btnBrowseDefinition"), Qt::LeftButton);
    QTest::mouseClick(&Child<QToolButton>(dialog, "btnBrowse"), Qt::LeftButton);
    ASSERT_EQ(FileDialogs.size(), 2u);
    EXPECT_EQ(FileDialogs[0].Title, "Select Text File Definition File...");
    EXPECT_EQ(FileDialogs[1].Title, "Select Text File...");
    EXPECT_EQ(dialog.DefinitionFileName(), Sample("job-points-fixed.def"));
    EXPECT_EQ(dialog.TextFileName(), Sample("job-points.txt")); // cancelled: kept
}

TEST_F(DataSourceTest, DatabaseDialogListsTheAliasesOfItsDriver)
{
    const fs::path dbase = MakeDBaseFolder();
    engine::Session& session = engine::Session::Default();
    session.SetAlias({"SURVEYS", "STANDARD", dbase.string(), ""});
    session.SetAlias({"LEGACY", "PARADOX", dbase.string(), ""}); // unknown: counts as STANDARD
    session.SetAlias({"OFFICE", "MSACCESS", dbase.string(), ""});
    session.SetAlias({"FIELD", "ORACLE", dbase.string(), ""});
    session.SetAlias({"SHARED", "POSTGRES", "", "PG:dbname=none"});

    struct Row
    {
        const char* driver;
        const char* caption;
        const char* aliases;
        bool browse;
    };
    const Row rows[] = {
        {"STANDARD", "Standard DataSource", "LEGACY,QUORVALIS,SURVEYS", true},
        {"MSACCESS", "MS Access DataSource", "OFFICE", false},
        {"ORACLE", "Oracle DataSource", "FIELD", false},
        {"POSTGRES", "PostgreSQL DataSource", "SHARED", false},
        {"", "Borland DataSource", "FIELD,LEGACY,OFFICE,QUORVALIS,SHARED,SURVEYS", false},
    };
    for (const Row& row : rows)
    {
        TfrmBorlandDataSource dialog;
        GBorlandDataSourceSettings settings;
        settings.Driver = row.driver;
        dialog.SetSettings(settings);
        dialog.show();
        auto& databases = Child<QComboBox>(dialog, "cmbDatabase");
        QStringList names;
        for (int i = 0; i < databases.count(); ++i)
            names << databases.itemText(i);
        names.sort();
        EXPECT_EQ(names.join(',').toStdString(), row.aliases) << row.driver;
        EXPECT_EQ(dialog.windowTitle().toStdString(), row.caption);
        EXPECT_EQ(Child<QToolButton>(dialog, "btnBrowse").isEnabled(), row.browse);
    }

    // Choosing a server database ticks and locks the cache box; its tables are listed.
    TfrmBorlandDataSource dialog;
    dialog.show();
    dialog.ChooseDatabase("OFFICE");
    EXPECT_TRUE(Child<QCheckBox>(dialog, "cbCache").isChecked());
    EXPECT_FALSE(Child<QCheckBox>(dialog, "cbCache").isEnabled());
    EXPECT_EQ(Child<QLabel>(dialog, "pnlDriver").text(), "MSACCESS");
    ASSERT_EQ(Child<QListWidget>(dialog, "lstTables").count(), 1);
    dialog.ChooseDatabase("SURVEYS");
    EXPECT_TRUE(Child<QCheckBox>(dialog, "cbCache").isEnabled());
    EXPECT_TRUE(Errors().empty());
}

TEST_F(DataSourceTest, DatabaseDialogQuotesTablesAndNeedsSQLOrATable)
{
    // The quoting itself is the engine's; here the driver name in any letter case.
    EXPECT_EQ(TableStatement("o'k", "oracle"), "select a.* from 'o''k' a");
    const fs::path dbase = MakeDBaseFolder();
    engine::Session::Default().SetAlias({"OFFICE", "MSACCESS", dbase.string(), ""});
    TfrmBorlandDataSource dialog;
    GBorlandDataSourceSettings preset;
    preset.Driver = "MSACCESS";
    preset.DatabaseName = "OFFICE";
    preset.TableName = "points.dbf";
    dialog.SetSettings(preset);
    dialog.show();
    auto& tables = Child<QListWidget>(dialog, "lstTables");
    ASSERT_NE(tables.currentItem(), nullptr); // the preset table is selected on show
    EXPECT_EQ(tables.currentItem()->text(), "points.dbf");
    emit tables.itemDoubleClicked(tables.currentItem());
    EXPECT_EQ(Child<QPlainTextEdit>(dialog, "memSQL").toPlainText(),
              "select a.* from [points.dbf] a");

    // Ok with neither SQL nor a table stays open with the error box.
    Child<QPlainTextEdit>(dialog, "memSQL").clear();
    tables.clearSelection();
    Press(dialog, "btnOk");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Errors(), std::vector<std::string>{kSelectTableMessage});
    // With a table but no SQL, Ok writes the statement first.
    tables.setCurrentRow(0);
    Press(dialog, "btnOk");
    EXPECT_FALSE(dialog.isVisible());
    const GBorlandDataSourceSettings settings = dialog.Settings();
    EXPECT_EQ(settings.DatabaseName, "OFFICE");
    EXPECT_EQ(settings.TableName, "points.dbf");
    EXPECT_EQ(settings.SQL, std::vector<std::string>{"select a.* from [points.dbf] a"});
}

TEST_F(DataSourceTest, BrowsingToADBaseFileNamesItByPath)
{
    const fs::path dbase = MakeDBaseFolder();
    const std::string file = (dbase / "points.dbf").string();
    FileAnswer = [&](const GFileDialog& dialog)
    {
        EXPECT_EQ(dialog.Title, "Select Database...");
        EXPECT_TRUE(dialog.MustExist);
        return file;
    };
    std::unique_ptr<GRecordSet> recordSet;
    Choose("DBase XYZ",
           [](QWidget& dialog)
           {
               EXPECT_EQ(dialog.windowTitle(), "Standard XYZ DataSource");
               QTest::mouseClick(&Child<QToolButton>(dialog, "btnBrowse"), Qt::LeftButton);
               // The X/Y/Z boxes offer the numeric columns of the file only.
               auto& x = Child<QComboBox>(dialog, "cmbXField");
               QStringList offered;
               for (int i = 0; i < x.count(); ++i)
                   offered << x.itemText(i);
               EXPECT_EQ(offered.join(',').toStdString(), "EAST,NORTH,CODE");
               x.setCurrentText("EAST");
               Child<QComboBox>(dialog, "cmbYField").setCurrentText("NORTH");
               Press(dialog, "btnOk");
           });
    recordSet = CreateRecordSet(false, false, "RecordSet DataSource");
    ASSERT_NE(recordSet, nullptr);
    auto& xyz = dynamic_cast<GBorlandXYZRecordSet&>(*recordSet);
    EXPECT_EQ(xyz.DatabaseName, "");
    EXPECT_EQ(xyz.GetSQL(), std::vector<std::string>{"select a.* from \"" + file + "\" a"});
    EXPECT_EQ(xyz.XFieldName, "EAST");
    EXPECT_EQ(xyz.YFieldName, "NORTH");
    EXPECT_TRUE(recordSet->Open());
}

TEST_F(DataSourceTest, XYZBoxesKeepTheirTextWhileTheColumnIsListed)
{
    const fs::path dbase = MakeDBaseFolder();
    engine::Session::Default().SetAlias({"SURVEYS", "STANDARD", dbase.string(), ""});
    TfrmBorlandXYZDataSource dialog;
    GBorlandDataSourceSettings preset;
    preset.Driver = "STANDARD";
    preset.DatabaseName = "SURVEYS";
    preset.TableName = "points.dbf";
    preset.XFieldName = "EAST";
    preset.YFieldName = "NAME"; // text: not offered, so not kept
    preset.XYZ = true;
    dialog.SetSettings(preset);
    dialog.show();
    EXPECT_EQ(Child<QComboBox>(dialog, "cmbXField").currentText(), "EAST");
    EXPECT_EQ(Child<QComboBox>(dialog, "cmbYField").currentText(), "");
    EXPECT_EQ(Child<QComboBox>(dialog, "cmbYField").findText("NAME"), -1);
    const GBorlandDataSourceSettings settings = dialog.Settings();
    EXPECT_TRUE(settings.XYZ);
    EXPECT_EQ(settings.XFieldName, "EAST");
}

TEST_F(DataSourceTest, TheControlFileStoreOpensThroughTheDialog)
{
    Choose("Paradox",
           [](QWidget& dialog)
           {
               auto& databases = Child<QComboBox>(dialog, "cmbDatabase");
               databases.setCurrentIndex(databases.findText("QUORVALIS"));
               static_cast<TfrmBorlandDataSource&>(dialog).ChooseDatabase("QUORVALIS");
               auto& tables = Child<QListWidget>(dialog, "lstTables");
               const QList<QListWidgetItem*> sheet = tables.findItems("Sheet.db", Qt::MatchExactly);
               EXPECT_EQ(sheet.size(), 1);
               if (!sheet.isEmpty())
                   tables.setCurrentItem(sheet.front());
               Press(dialog, "btnOk");
           });
    std::unique_ptr<GRecordSet> recordSet = CreateRecordSet(true, false, "RecordSet DataSource");
    ASSERT_NE(recordSet, nullptr);
    EXPECT_EQ(static_cast<GBorlandRecordSet&>(*recordSet).DatabaseName, "QUORVALIS");
    ASSERT_TRUE(recordSet->Open());
    EXPECT_GT(recordSet->RecordCount(), 100);
}

// A GIS layer: the dataset picked by browsing (or typed), its layers with geometry listed, one
// chosen; the record set opens that layer.
TEST_F(DataSourceTest, GisLayerDialogListsTheLayersWithGeometryAndGivesTheChosenOne)
{
    const std::string gpkg = (Folder / "survey.gpkg").string();
    const std::string csv = (Folder / "pegs.csv").string();
    std::ofstream(csv) << "WKT,NAME\n\"POINT Z (2850000 80000 1391.45)\",P1\n"
                          "\"POINT Z (2850100 80100 1392)\",P2\n";
    std::ofstream(Folder / "notes.csv") << "NOTE,ID\nnone,1\n";
    ASSERT_EQ(std::system(("ogr2ogr -q -f GPKG -nln pegs -nlt POINTZ -a_srs EPSG:22289 \"" + gpkg +
                           "\" \"" + csv + "\" && ogr2ogr -q -update -nln notes \"" + gpkg +
                           "\" \"" + (Folder / "notes.csv").string() + "\"")
                              .c_str()),
              0);
    FileAnswer = [&](const GFileDialog& dialog)
    { return dialog.Title == "GIS Datasets..." ? gpkg : std::string(); };
    Choose("GIS Layer (GeoPackage, PostGIS, \u2026)",
           [&](QWidget& dialog)
           {
               EXPECT_EQ(dialog.windowTitle(), "GIS Layer DataSource");
               auto& layers = Child<QTreeWidget>(dialog, "lstLayers");
               // A dataset that is none is named in an error box.
               Child<QLineEdit>(dialog, "edtDataset").setText("/nowhere/none.gpkg");
               Press(dialog, "btnLayers");
               EXPECT_EQ(layers.topLevelItemCount(), 0);
               // Ok without a layer keeps the dialog open.
               Press(dialog, "btnOk");
               EXPECT_TRUE(dialog.isVisible());
               QTest::mouseClick(&Child<QToolButton>(dialog, "btnBrowse"), Qt::LeftButton);
               ASSERT_EQ(layers.topLevelItemCount(), 1); // "notes" has no geometry
               EXPECT_EQ(layers.topLevelItem(0)->text(0), "pegs");
               EXPECT_EQ(layers.topLevelItem(0)->text(1), "3D Point");
               EXPECT_EQ(layers.topLevelItem(0)->text(2), "2");
               EXPECT_EQ(layers.topLevelItem(0)->text(3), "Cape / Lo29");
               // The transform command's source may be written, and that is not the user's choice.
               EXPECT_FALSE(Child<QCheckBox>(dialog, "cbReadOnly").isEnabled());
               EXPECT_FALSE(Child<QCheckBox>(dialog, "cbReadOnly").isChecked());
               Press(dialog, "btnOk");
           });
    std::unique_ptr<GRecordSet> recordSet = CreateRecordSet(false, false, "RecordSet DataSource");
    ASSERT_NE(recordSet, nullptr);
    const auto& layer = dynamic_cast<GGisLayerRecordSet&>(*recordSet);
    EXPECT_EQ(layer.Dataset(), gpkg);
    EXPECT_EQ(layer.LayerName(), "pegs");
    const std::vector<std::string> errors = Errors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("Unable to open the GIS dataset \"/nowhere/none.gpkg\""),
              std::string::npos)
        << errors[0];
    EXPECT_EQ(errors[1], kSelectLayerMessage);
}

} // namespace
} // namespace quorvalis::test
