// The control file in windows: the manager with its grid, navigator and find dialog, the
// coordinate entry dialogs, the import review and the three import commands, driven the way a
// user drives them; and two managers on one control file (the embedded store, and the
// PostgreSQL server of the test run when there is one).
#include "FormsTestSupport.h"

#include "database/BorlandDatabase.h"
#include "database/ShapefileDatabase.h"
#include "database/engine/DataSet.h"
#include "database/engine/PgLink.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "forms/DBGrid.h"
#include "forms/DBNavigator.h"
#include "forms/DataSetModel.h"
#include "forms/FindDialog.h"
#include "forms/FloatEdit.h"
#include "forms/FormControlFileCoordinateImport.h"
#include "forms/FormControlFileManager.h"
#include "forms/FormGeodeticCoordinate.h"
#include "forms/FormGeographicCoordinate.h"
#include "forms/FormImportFileFormat.h"
#include "forms/FormMain.h"
#include "geometry/Calculations.h"
#include "project/BeaconImport.h"
#include "project/Guards.h"
#include "project/ImportCommand.h"
#include "transformation/Transformation.h"

#include <gmock/gmock.h>
#include <sqlite3.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <random>

namespace quorvalis::test
{
namespace
{

using ::testing::HasSubstr;

struct Row
{
    std::string Name;
    std::string Source = "TRIG";
    double ClarkeLatitude = 25.5;
    double ClarkeLongitude = 28.25;
    double WGSLatitude = 25.5;
    double WGSLongitude = 28.25;
};

void Type(QWidget& dialog, const char* edit, const QString& text)
{
    Child<QLineEdit>(dialog, edit).setText(text);
}

// Answers the modal dialogs that open one after the other, each step with the next dialog.
void Script(std::vector<std::function<void(QWidget&)>> steps, std::size_t from = 0)
{
    if (from >= steps.size())
        return;
    WhenModal(
        [steps, from](QWidget& dialog)
        {
            Script(steps, from + 1);
            steps[from](dialog);
        });
}

// The format dialog of an import with this choice, then Ok.
std::function<void(QWidget&)> Format(const char* choice)
{
    return [choice](QWidget& dialog)
    {
        EXPECT_EQ(dialog.windowTitle(), "Import File Format");
        Child<QRadioButton>(dialog, choice).setChecked(true);
        Press(dialog, "btnOk");
    };
}

// One position of each beacon (Clarke 1880 or WGS'84) as a point shapefile with a NAME field.
void WritePoints(const std::string& file, const GTrigBeaconList& beacons, bool cape)
{
    GRecordSetDefinition definition;
    definition.TableName = file;
    definition.HasSpatialComponent = true;
    definition.ShapeType = 1;
    auto name = std::make_unique<GFieldDefinition>();
    name->Name = "NAME";
    name->FieldType = fdtString;
    name->Size = 21;
    definition.FieldDefinitions.Add(std::move(name));
    GShapefileRecordSet points;
    ASSERT_TRUE(points.CreateTable(definition));
    points.SetFileName(file);
    points.SetReadOnly(false);
    ASSERT_TRUE(points.Open());
    for (int i = 0; i < beacons.Count(); ++i)
    {
        const GTrigBeacon& beacon = beacons.Beacon(i);
        const GCoordinate& position = cape ? beacon.Clarke : beacon.WGS;
        points.Append();
        points.Fields().FieldByName("NAME", true).SetAsString(beacon.Name);
        points.SetShape(GPoint(position.X, position.Y, 0.0));
        points.Post();
    }
    points.Flush();
    points.Close();
}

// The record-set chooser of the two-data-source import: Ok takes the first kind (shapefiles).
std::function<void(QWidget&)> Chooser(const char* caption)
{
    return [caption](QWidget& dialog)
    {
        EXPECT_EQ(dialog.windowTitle(), caption);
        Press(dialog, "btnOk");
    };
}

// The identity field of a data source: NAME.
std::function<void(QWidget&)> NameField(const char* title)
{
    return [title](QWidget& dialog)
    {
        EXPECT_EQ(dialog.windowTitle(), title);
        auto& items = Child<QListWidget>(dialog, "lstStrings");
        items.setCurrentItem(items.findItems("NAME", Qt::MatchExactly).value(0));
        Press(dialog, "btnOk");
    };
}

class ControlFileTest : public DialogsTest
{
protected:
    static void Fill(const std::vector<Row>& rows)
    {
        engine::Table table;
        table.SetDatabaseName("QUORVALIS");
        table.SetTableName("control.db");
        table.Open();
        for (const Row& row : rows)
        {
            table.Append();
            table.SetValue("Name", engine::Value(row.Name));
            table.SetValue("Source", engine::Value(row.Source));
            table.SetValue("Clarke Latitude", engine::Value(row.ClarkeLatitude));
            table.SetValue("Clarke Longitude", engine::Value(row.ClarkeLongitude));
            table.SetValue("WGS Latitude", engine::Value(row.WGSLatitude));
            table.SetValue("WGS Longitude", engine::Value(row.WGSLongitude));
            table.Post();
        }
    }

    static std::vector<Row> Stored()
    {
        engine::Table table;
        table.SetDatabaseName("QUORVALIS");
        table.SetTableName("control.db");
        table.SetReadOnly(true);
        table.Open();
        std::vector<Row> rows;
        const auto number = [&](const char* field)
        {
            const engine::Value value = table.GetValue(field);
            return value.IsNull() ? 0.0 : value.AsDouble();
        };
        for (table.First(); !table.Eof(); table.Next())
            rows.push_back({table.GetText("Name"), table.GetText("Source"),
                            number("Clarke Latitude"), number("Clarke Longitude"),
                            number("WGS Latitude"), number("WGS Longitude")});
        return rows;
    }

    static std::vector<std::string> StoredNames()
    {
        std::vector<std::string> names;
        for (const Row& row : Stored())
            names.push_back(row.Name);
        return names;
    }

    static std::string CurrentName(TfrmControlFileManager& manager)
    {
        return manager.Model().DataSet()->GetText("Name");
    }

    // What the grid shows in a cell (as painting it would read it).
    static std::string Cell(TfrmControlFileManager& manager, int row, const char* field)
    {
        GDataSetModel& model = manager.Model();
        return model.index(row, model.ColumnOfField(field)).data().toString().toStdString();
    }

    // Every cell read once, as a grid shown on the screen reads them.
    static void Paint(TfrmControlFileManager& manager)
    {
        GDataSetModel& model = manager.Model();
        for (int row = 0; row < model.rowCount(); ++row)
            for (int column = 0; column < model.columnCount(); ++column)
                (void)model.index(row, column).data();
    }

    // Types text into a cell as the grid's editor hands it over.
    static void EditCell(TfrmControlFileManager& manager, int row, const char* field,
                         const QString& text)
    {
        GDataSetModel& model = manager.Model();
        ASSERT_TRUE(model.setData(model.index(row, model.ColumnOfField(field)), text));
    }

    static GDBNavigator& Navigator(TfrmControlFileManager& manager)
    {
        return Child<GDBNavigator>(manager, "dbnControlCoordinates");
    }
};

TEST_F(ControlFileTest, FindSearchesDownwardsByNameWithMatchCaseAndWholeWord)
{
    Fill({{"TSM 1079 WITKLIP"},
          {"TRIG BEACON 12"},
          {"PILLAR 14 SUURHEUWEL"},
          {"Trig"},
          {"TRIG BEACON 13"},
          {"TSM 4311 ENHLALENI"}});
    TfrmControlFileManager manager;
    manager.OpenTable();
    GFindDialog& find = manager.FindDialog();
    manager.Find();
    EXPECT_TRUE(find.isVisible());
    find.SetFindText("trig");
    // Find Next on the dialog itself, then on and on down the table.
    Press(find, "btnFindNext");
    EXPECT_EQ(CurrentName(manager), "TRIG BEACON 12");
    manager.FindNext();
    EXPECT_EQ(CurrentName(manager), "Trig");
    manager.FindNext();
    EXPECT_EQ(CurrentName(manager), "TRIG BEACON 13");
    EXPECT_EQ(manager.Model().CurrentRow(), 4);
    manager.FindNext();
    EXPECT_EQ(Errors(), std::vector<std::string>{"Coordinate trig not found in control file."});
    EXPECT_EQ(CurrentName(manager), "TSM 4311 ENHLALENI"); // at the end of the table
    // Find again starts at the first record.
    manager.Find();
    manager.FindNext();
    EXPECT_EQ(CurrentName(manager), "TRIG BEACON 12");

    find.SetWholeWord(true);
    manager.Find();
    manager.FindNext();
    EXPECT_EQ(CurrentName(manager), "Trig");
    manager.FindNext();
    EXPECT_EQ(Errors().size(), 2u);

    find.SetMatchCase(true);
    find.SetFindText("TRIG");
    manager.Find();
    manager.FindNext();
    EXPECT_EQ(Errors().back(), "Coordinate TRIG not found in control file.");
    find.SetFindText("Trig");
    manager.Find();
    manager.FindNext();
    EXPECT_EQ(CurrentName(manager), "Trig");
    EXPECT_EQ(Errors().size(), 3u);
    manager.done(QDialog::Accepted);
    EXPECT_FALSE(find.isVisible());
}

TEST_F(ControlFileTest, AddGeographicTakesDddMmssAndCancellingAddsNothing)
{
    Fill({{"TRIG 1"}});
    TfrmControlFileManager manager;
    manager.OpenTable();
    Script({[](QWidget& dialog)
            {
                EXPECT_EQ(dialog.windowTitle(), "Geographic Coordinate");
                Press(dialog, "btnCancel");
            }});
    manager.AddGeographic();
    EXPECT_EQ(manager.Model().rowCount(), 1);
    EXPECT_FALSE(manager.Model().Editing());
    EXPECT_EQ(Stored().size(), 1u);

    Script({[](QWidget& dialog)
            {
                auto& name = Child<QLineEdit>(dialog, "edtCoordinateName");
                name.clear();
                QTest::keyClicks(&name, "new beacon");
                EXPECT_EQ(name.text(), "NEW BEACON");
                Type(dialog, "edtClarkeLatitude", "25.3030");
                Type(dialog, "edtClarkeLongitude", "28.1500");
                Type(dialog, "edtWGSLatitude", "25.3031");
                Type(dialog, "edtWGSLongitude", "28.1501");
                Child<QComboBox>(dialog, "cmbCoordinateType").setCurrentText("TSM");
                Child<QCheckBox>(dialog, "chkDMS").setChecked(true);
                Press(dialog, "btnOk");
            }});
    manager.AddGeographic();
    ASSERT_EQ(Stored().size(), 2u);
    const Row added = Stored()[1];
    EXPECT_EQ(added.Name, "NEW BEACON");
    EXPECT_EQ(added.Source, "TSM");
    EXPECT_NEAR(added.ClarkeLatitude, 25.508333333333333, 1e-12);
    EXPECT_NEAR(added.ClarkeLongitude, 28.25, 1e-12);
    EXPECT_NEAR(added.WGSLatitude, 25.0 + 30.0 / 60 + 31.0 / 3600, 1e-12);
    EXPECT_EQ(CurrentName(manager), "NEW BEACON");
    EXPECT_EQ(Cell(manager, 1, "Clarke Latitude"), "25.508333");

    // The dialog keeps what was typed; a text that is no number keeps it open, on Cancel too.
    Script({[](QWidget& dialog)
            {
                EXPECT_EQ(Child<QLineEdit>(dialog, "edtCoordinateName").text(), "NEW BEACON");
                EXPECT_TRUE(Child<QCheckBox>(dialog, "chkDMS").isChecked());
                Type(dialog, "edtWGSLongitude", "-");
                Press(dialog, "btnCancel");
                EXPECT_TRUE(dialog.isVisible());
                Type(dialog, "edtWGSLongitude", "28");
                Press(dialog, "btnCancel");
            }});
    manager.AddGeographic();
    EXPECT_THAT(Errors(), ::testing::Contains(kCoordinateValueIncorrectMessage));
    EXPECT_EQ(Stored().size(), 2u);
}

TEST_F(ControlFileTest, AddGeodeticConvertsWithTheDialogsLoOnBothEllipsoids)
{
    TfrmControlFileManager manager;
    manager.OpenTable();
    Script({[](QWidget& dialog)
            {
                EXPECT_EQ(dialog.windowTitle(), "Geodetic Coordinate");
                // Enter moves on to the next field instead of closing the dialog.
                dialog.activateWindow();
                auto& name = Child<QLineEdit>(dialog, "edtCoordinateName");
                name.setFocus();
                QTest::keyClick(&name, Qt::Key_Return);
                EXPECT_TRUE(dialog.isVisible());
                EXPECT_EQ(dialog.focusWidget(), &Child<QLineEdit>(dialog, "edtClarkeY"));
                Type(dialog, "edtCoordinateName", "TRIG 177 DORINGKOP");
                Type(dialog, "edtClarkeY", "95432.601");
                Type(dialog, "edtClarkeX", "2850630.820");
                Type(dialog, "edtWGSY", "95464.102");
                Type(dialog, "edtWGSX", "2850928.803");
                // A Lo the guards refuse keeps the dialog open.
                Type(dialog, "edtLocalOrigin", "30");
                Press(dialog, "btnOk");
                EXPECT_TRUE(dialog.isVisible());
                Type(dialog, "edtLocalOrigin", "29");
                Press(dialog, "btnOk");
            }});
    manager.AddGeodetic();
    EXPECT_EQ(Errors(),
              std::vector<std::string>{NotLocalOriginMessage(kCoordinateLocalOrigin, 30)});
    ASSERT_EQ(Stored().size(), 1u);
    const Row added = Stored()[0];
    EXPECT_EQ(added.Name, "TRIG 177 DORINGKOP");
    EXPECT_EQ(added.Source, "TRIG");

    GGeodeticToGeographicTransformation conversion;
    conversion.LoMeridian = 29;
    GPoint clarke(2850630.820, 95432.601, 0.0);
    conversion.World = wdClarke1880;
    conversion.Transform(clarke, tdForward);
    GPoint wgs(2850928.803, 95464.102, 0.0);
    conversion.World = wdWGS84;
    conversion.Transform(wgs, tdForward);
    EXPECT_EQ(added.ClarkeLongitude, clarke.X);
    EXPECT_EQ(added.ClarkeLatitude, clarke.Y);
    EXPECT_EQ(added.WGSLongitude, wgs.X);
    EXPECT_EQ(added.WGSLatitude, wgs.Y);
    EXPECT_NE(added.ClarkeLatitude, added.WGSLatitude);

    // Cancelling leaves no record.
    Script({[](QWidget& dialog) { Press(dialog, "btnCancel"); }});
    manager.AddGeodetic();
    EXPECT_EQ(Stored().size(), 1u);
    EXPECT_EQ(manager.Model().rowCount(), 1);
}

TEST_F(ControlFileTest, EditShowsTheRecordKeepsItsTypeAndTheValuesLeftAsShown)
{
    Fill({{"TRIG 1"},
          {"TSM 5101 HOOGLAND", "TSM", 25.123456789012345, 28.98765432101234, 25.2, 28.3}});
    TfrmControlFileManager manager;
    manager.OpenTable();
    manager.Model().MoveTo(1);
    Script({[](QWidget& dialog)
            {
                EXPECT_EQ(Child<QComboBox>(dialog, "cmbCoordinateType").currentText(), "TSM");
                EXPECT_EQ(Child<QLineEdit>(dialog, "edtClarkeLatitude").text(), "25.123456789");
                EXPECT_FALSE(Child<QCheckBox>(dialog, "chkDMS").isChecked());
                EXPECT_FALSE(Child<QCheckBox>(dialog, "chkDMS").isEnabled());
                Press(dialog, "btnOk");
            }});
    manager.EditCoordinate();
    Row kept = Stored()[1];
    EXPECT_EQ(kept.Source, "TSM");
    EXPECT_EQ(kept.ClarkeLatitude, 25.123456789012345); // not rounded to what was shown
    EXPECT_EQ(kept.ClarkeLongitude, 28.98765432101234);
    EXPECT_TRUE(Child<QCheckBox>(manager.GeographicDialog(), "chkDMS").isEnabled());

    Script({[](QWidget& dialog)
            {
                Type(dialog, "edtWGSLatitude", "25.25");
                Press(dialog, "btnOk");
            }});
    manager.EditCoordinate();
    kept = Stored()[1];
    EXPECT_EQ(kept.WGSLatitude, 25.25);
    EXPECT_EQ(kept.ClarkeLatitude, 25.123456789012345);
    EXPECT_EQ(kept.Source, "TSM");
    EXPECT_EQ(manager.Model().CurrentRow(), 1);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ControlFileTest, DeleteAsksAndRemovesExactlyTheCurrentRow)
{
    Fill({{"A"}, {"B"}, {"C"}});
    TfrmControlFileManager manager;
    manager.OpenTable();
    manager.Model().MoveTo(1);
    QuestionAnswer = [](const std::string&) { return false; };
    manager.DeleteCoordinate();
    EXPECT_EQ(Questions,
              std::vector<std::string>{"Delete the coordinate B from the control file?"});
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"A", "B", "C"}));

    QuestionAnswer = nullptr;
    manager.DeleteCoordinate();
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(CurrentName(manager), "C");
    // The navigator's delete asks the same.
    Navigator(manager).Press(GDBNavigator::nbDelete);
    Navigator(manager).Press(GDBNavigator::nbDelete);
    EXPECT_EQ(StoredNames(), std::vector<std::string>{});
    EXPECT_EQ(Questions.size(), 4u);
    EXPECT_TRUE(Errors().empty());
    // An empty table: the engine's own error, no question.
    manager.DeleteCoordinate();
    EXPECT_EQ(Questions.size(), 4u);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], HasSubstr("empty"));
}

TEST_F(ControlFileTest, GridEditsArePostedWhenLeavingTheRecordAndBeforeEveryCommand)
{
    Fill({{"A"}, {"B"}, {"C"}});
    TfrmControlFileManager manager;
    manager.OpenTable();
    EditCell(manager, 1, "Name", "RENAMED");
    EXPECT_TRUE(manager.Model().Editing());
    EXPECT_EQ(Cell(manager, 1, "Name"), "RENAMED");
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"A", "B", "C"}));
    // Any command posts it first.
    Script({[](QWidget& dialog) { Press(dialog, "btnCancel"); }});
    manager.AddGeographic();
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"A", "RENAMED", "C"}));

    // Leaving the record in the grid posts it; a number takes either separator.
    auto& grid = Child<GDBGrid>(manager, "dbgControlCoordinates");
    EditCell(manager, 0, "WGS Latitude", "25,75");
    grid.setCurrentIndex(manager.Model().index(2, 0));
    ProcessEvents();
    EXPECT_EQ(manager.Model().CurrentRow(), 2);
    EXPECT_EQ(Stored()[0].WGSLatitude, 25.75);

    // The navigator's insert, post and cancel.
    Navigator(manager).Press(GDBNavigator::nbInsert);
    EXPECT_EQ(manager.Model().rowCount(), 4);
    EditCell(manager, 3, "Name", "ADDED");
    Navigator(manager).Press(GDBNavigator::nbCancel);
    EXPECT_EQ(manager.Model().rowCount(), 3);
    Navigator(manager).Press(GDBNavigator::nbInsert);
    EditCell(manager, 3, "Name", "ADDED");
    Navigator(manager).Press(GDBNavigator::nbPost);
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"A", "RENAMED", "C", "ADDED"}));
    EXPECT_EQ(manager.Model().CurrentRow(), 3);
    EXPECT_TRUE(Errors().empty());

    // Closing the window posts as well.
    EditCell(manager, 0, "Source", "OTHER");
    manager.done(QDialog::Accepted);
    EXPECT_EQ(Stored()[0].Source, "OTHER");
    EXPECT_EQ(manager.Model().DataSet(), nullptr);
}

TEST_F(ControlFileTest, AnEditTheStoreRefusesShowsItsReasonAndTheRowAsStored)
{
    Fill({{"A"}, {"B"}});
    // The office made the control file read-only for this workstation's kind of change.
    const std::string file = (Folder / "quorvalis.gpkg").string();
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(database,
                           "CREATE TRIGGER refuse BEFORE UPDATE ON control BEGIN SELECT "
                           "RAISE(ABORT, 'the control file is closed for changes'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(database);

    TfrmControlFileManager manager;
    manager.OpenTable();
    EditCell(manager, 1, "Clarke Latitude", "26");
    Navigator(manager).Press(GDBNavigator::nbPost);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], ::testing::StartsWith("Coordinate B was not saved.\r"));
    EXPECT_THAT(Errors()[0], HasSubstr("Unable to apply updates"));
    EXPECT_THAT(Errors()[0], HasSubstr("the control file is closed for changes"));
    EXPECT_FALSE(manager.Model().Editing());
    EXPECT_EQ(Cell(manager, 1, "Clarke Latitude"), "25.500000");
    EXPECT_EQ(manager.Model().CurrentRow(), 1);
    EXPECT_EQ(Stored()[1].ClarkeLatitude, 25.5);
}

// The selection rules themselves are the command line's tests; the window shows what they decide:
// a pair within the control distance ticked, one beyond it and one left out of the import not.
TEST_F(ControlFileTest, TheImportReviewTicksWhatTheImportTakes)
{
    GTrigBeaconList beacons;
    for (const auto& [name, wgsX, selected] :
         {std::tuple{"APART 300.5", 2850300.5, true}, std::tuple{"APART 300", 2850300.0, true},
          std::tuple{"LEFT OUT", 2850010.0, false}})
    {
        auto beacon = std::make_unique<GTrigBeacon>();
        beacon->Name = name;
        beacon->Clarke = {95000.0, 2850000.0};
        beacon->WGS = {95000.0, wgsX};
        beacon->Selected = selected;
        beacons.Add(std::move(beacon));
    }
    TfrmControlFileCoordinateImport dialog;
    dialog.SetBeacons(&beacons);
    dialog.SetControlDistance(300.0);
    dialog.SetLocalOrigin(29.0);
    dialog.SetClarkeFileName("/Surveys/Office/Beacons-LO29.CSV");
    dialog.show();
    ProcessEvents();
    auto& list = Child<QListWidget>(dialog, "lstCoordinates");
    ASSERT_EQ(list.count(), 3);
    const Qt::CheckState expected[] = {Qt::Unchecked, Qt::Checked, Qt::Unchecked};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(list.item(i)->checkState(), expected[i]) << i;
    EXPECT_EQ(list.item(1)->text().toStdString(), ImportReviewLine(beacons.Beacon(1)));
    EXPECT_EQ(Child<QLabel>(dialog, "pnlHeading").text().toStdString(), kImportReviewHeading);
    // One file: its label, no second panel; names lower-cased.
    EXPECT_EQ(Child<QLabel>(dialog, "lblClarkeFilename").text(), "Import Filename");
    EXPECT_FALSE(Child<QLabel>(dialog, "pnlWGSFilename").isVisible());
    EXPECT_EQ(Child<QLabel>(dialog, "pnlClarkeFilename").text(),
              "/surveys/office/beacons-lo29.csv");
    // Ticking sets the flag.
    list.item(2)->setCheckState(Qt::Checked);
    list.item(1)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(beacons.Beacon(2).Selected);
    EXPECT_FALSE(beacons.Beacon(1).Selected);
    dialog.hide();

    dialog.SetWGSFileName("/surveys/hart.eml");
    dialog.show();
    ProcessEvents();
    EXPECT_EQ(Child<QLabel>(dialog, "lblClarkeFilename").text(), "Clarke 1880 Filename");
    EXPECT_TRUE(Child<QLabel>(dialog, "pnlWGSFilename").isVisible());
    // Ok refuses what is no Lo.
    Type(dialog, "edtLocalOrigin", "30");
    Press(dialog, "btnOk");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Errors(), std::vector<std::string>{NotLocalOriginMessage(kImportLocalOrigin, 30)});
    Type(dialog, "edtLocalOrigin", "31");
    Press(dialog, "btnOk");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.LocalOrigin(), 31.0);
}

// --- Two workstations on one control file ---

enum class Store
{
    GeoPackage,
    PostgreSQL
};

std::string StoreName(const ::testing::TestParamInfo<Store>& info)
{
    return info.param == Store::GeoPackage ? "GeoPackage" : "PostgreSQL";
}

class TwoManagersTest : public ControlFileTest, public ::testing::WithParamInterface<Store>
{
protected:
    void SetUp() override
    {
        ControlFileTest::SetUp();
        if (GetParam() != Store::PostgreSQL)
            return;
        const char* server = std::getenv("QUORVALIS_TEST_PG");
        if (server == nullptr || *server == '\0')
        {
            const char* ci = std::getenv("CI");
            if (ci && (std::string(ci) == "true" || std::string(ci) == "1"))
                FAIL() << "QUORVALIS_TEST_PG is not set although CI=true";
            GTEST_SKIP() << "No PostgreSQL server: run the tests through "
                            "scripts/pg-test-cluster.sh run -- ctest ...";
        }
        server_ = server;
        schema_ = "qv_manager_" + std::to_string(std::random_device()() % 100000000u);
        Workstation("first");
    }

    void TearDown() override
    {
        if (!server_.empty())
        {
            engine::PgLink link(engine::LibpqConnectionString(server_));
            link.Run("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
        }
        ControlFileTest::TearDown();
    }

    // The QUORVALIS alias of a workstation: on PostgreSQL a connection of its own, named so
    // that the test can find it.
    void Workstation(const std::string& name)
    {
        if (server_.empty())
            return;
        engine::Session::Default().SetAlias({"QUORVALIS", "STANDARD", "",
                                             server_ + " application_name=" + name + "_" + schema_ +
                                                 " options='-c search_path=" + schema_ + "'"});
    }

    std::string server_;
    std::string schema_;
};

TEST_P(TwoManagersTest, EachSeesTheOthersRowsAfterRefreshAndNeverUndoesTheOthersChange)
{
    Fill({{"TRIG 1"}, {"TRIG 2"}});
    TfrmControlFileManager first;
    first.OpenTable();
    Workstation("second");
    TfrmControlFileManager second;
    second.OpenTable();
    Paint(first);
    Paint(second);

    // Both change TRIG 1: the one who posts second is refused, by name, and then shows the
    // other's value.
    EditCell(first, 0, "Clarke Latitude", "25.1");
    Navigator(first).Press(GDBNavigator::nbPost);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(Cell(second, 0, "Clarke Latitude"), "25.500000"); // as it read it
    EditCell(second, 0, "Clarke Latitude", "25.2");
    Navigator(second).Press(GDBNavigator::nbPost);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], ::testing::StartsWith("Coordinate TRIG 1 was not saved.\r"));
    EXPECT_THAT(Errors()[0], HasSubstr(engine::kChangedSinceRead));
    EXPECT_EQ(Cell(second, 0, "Clarke Latitude"), "25.100000");
    EXPECT_EQ(Stored()[0].ClarkeLatitude, 25.1);
    // Read anew, the change goes through.
    EditCell(second, 0, "Clarke Latitude", "25.2");
    Navigator(second).Press(GDBNavigator::nbPost);
    EXPECT_EQ(Stored()[0].ClarkeLatitude, 25.2);

    // One post each; each sees the other's row after Refresh.
    Navigator(first).Press(GDBNavigator::nbInsert);
    EditCell(first, 2, "Name", "FIRST");
    Navigator(first).Press(GDBNavigator::nbPost);
    Navigator(second).Press(GDBNavigator::nbInsert);
    EditCell(second, 2, "Name", "SECOND");
    Navigator(second).Press(GDBNavigator::nbPost);
    EXPECT_EQ(first.Model().rowCount(), 3);
    Navigator(first).Press(GDBNavigator::nbRefresh);
    Navigator(second).Press(GDBNavigator::nbRefresh);
    EXPECT_EQ(first.Model().rowCount(), 4);
    EXPECT_EQ(second.Model().rowCount(), 4);
    Paint(first);
    Paint(second);
    EXPECT_EQ(Cell(first, 3, "Name"), "SECOND");
    EXPECT_EQ(Cell(second, 2, "Name"), "FIRST");
    EXPECT_EQ(Cell(first, 0, "Clarke Latitude"), "25.200000");
    EXPECT_EQ(Errors().size(), 1u);

    // Deleting a row the other changed is refused too.
    EditCell(first, 1, "Source", "TSM");
    Navigator(first).Press(GDBNavigator::nbPost);
    second.Model().MoveTo(1);
    Navigator(second).Press(GDBNavigator::nbDelete);
    ASSERT_EQ(Errors().size(), 2u);
    EXPECT_THAT(Errors()[1], ::testing::StartsWith("Coordinate TRIG 2 was not deleted.\r"));
    EXPECT_EQ(StoredNames().size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Stores, TwoManagersTest,
                         ::testing::Values(Store::GeoPackage, Store::PostgreSQL), StoreName);

class LostConnectionTest : public TwoManagersTest
{
};

TEST_P(LostConnectionTest, APostOverALostConnectionSaysWhyAndTheManagerConnectsAgain)
{
    Fill({{"TRIG 1"}, {"TRIG 2"}});
    TfrmControlFileManager manager;
    manager.OpenTable();
    Paint(manager);
    {
        engine::PgLink link(engine::LibpqConnectionString(server_));
        // The connections of this workstation only: other tests run beside this one.
        link.Run("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name "
                 "= 'first_" +
                 schema_ + "'");
    }
    EditCell(manager, 1, "Name", "RENAMED");
    Navigator(manager).Press(GDBNavigator::nbPost);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_THAT(Errors()[0], ::testing::StartsWith("Coordinate RENAMED was not saved.\r"));
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"TRIG 1", "TRIG 2"}));
    // Connected anew, the grid shows the row as stored, and the next post goes through.
    EXPECT_EQ(Cell(manager, 1, "Name"), "TRIG 2");
    EditCell(manager, 1, "Name", "RENAMED");
    Navigator(manager).Press(GDBNavigator::nbPost);
    EXPECT_EQ(StoredNames(), (std::vector<std::string>{"TRIG 1", "RENAMED"}));
    EXPECT_EQ(Errors().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Stores, LostConnectionTest, ::testing::Values(Store::PostgreSQL),
                         StoreName);

// The surveyor's day from the main menu, on the embedded control file and on a shared one: every
// import, then the manager to add, correct, find and delete a beacon.
class MainMenuTest : public TwoManagersTest
{
protected:
    void TearDown() override
    {
        SetShapefileDataSourceDialog({});
        TwoManagersTest::TearDown();
    }
};

TEST_P(MainMenuTest, EveryImportAndTheManagerFromTheMainMenu)
{
    TfrmMain main;
    TfrmImportFileFormat format(&main);
    main.SetImportFileFormat(&format);
    TfrmControlFileCoordinateImport review(&main);
    TfrmGeodeticCoordinate geodetic(&main);
    TfrmGeographicCoordinate geographic(&main);
    TfrmControlFileManager manager(&main);
    manager.SetCoordinateDialogs(&geodetic, &geographic);
    main.SetControlFileDialogs(&review, &manager);
    main.show();
    const auto menu = [&](const char* action) { Child<QAction>(main, action).trigger(); };
    // The review: its lines, the Lo it offers (0: not checked), the Lo typed.
    const auto accept = [](int lines, double offered, double lo)
    {
        return [lines, offered, lo](QWidget& dialog)
        {
            EXPECT_EQ(dialog.windowTitle(), "Control File Coordinate Import");
            EXPECT_EQ(Child<QListWidget>(dialog, "lstCoordinates").count(), lines);
            if (offered != 0)
            {
                EXPECT_EQ(Child<GFloatEdit>(dialog, "edtLocalOrigin").Value(), offered);
            }
            Type(dialog, "edtLocalOrigin", QString::number(lo));
            Press(dialog, "btnOk");
        };
    };
    const auto classes = []
    {
        std::map<std::string, int> count;
        for (const Row& row : Stored())
            ++count[row.Source];
        return count;
    };

    // Trig beacons from two data sources: the sample beacons of Lo 29 as point shapefiles.
    GDelimitedTrigBeaconImport lo29(Sample("beacons-lo29.csv"));
    ASSERT_TRUE(lo29.ReadBeacons());
    const std::string cape = (Folder / "cape.shp").string();
    const std::string hart = (Folder / "hart.shp").string();
    WritePoints(cape, lo29.Beacons, true);
    WritePoints(hart, lo29.Beacons, false);
    int chosen = 0;
    SetShapefileDataSourceDialog(
        [&](GShapefileDataSourceSettings& settings)
        {
            EXPECT_TRUE(settings.ReadOnly);
            settings.FileName = chosen++ == 0 ? cape : hart;
            return true;
        });
    const auto labelled = [&](QWidget& dialog)
    {
        EXPECT_EQ(Child<QLabel>(dialog, "pnlClarkeFilename").text(), "clarke 1880 datasource");
        EXPECT_EQ(Child<QLabel>(dialog, "pnlWGSFilename").text(), "wgs`84 datasource");
        accept(20, 0, 29)(dialog);
    };
    Script({Format("rbDataSource"), Chooser(kClarkeDataSourceCaption), NameField(kClarkeFieldTitle),
            Chooser(kWGSDataSourceCaption), NameField(kWGSFieldTitle), labelled});
    menu("actImportTrigBeacons");
    EXPECT_EQ(classes(), (std::map<std::string, int>{{"TRIG", 20}}));
    // The same positions as the comma-delimited import of the same beacons.
    lo29.Beacons.ConvertToGeographic(29);
    EXPECT_NEAR(Stored()[0].WGSLatitude, lo29.Beacons.Beacon(0).WGS.Y, 1e-12);

    // The survey office's e-mail pair of the same area: only the beacons not yet there are added.
    FileAnswer = [](const GFileDialog& dialog)
    {
        return Sample(dialog.Title == "Clarke 1880 Data File..." ? "email-lo29-cape.eml"
                                                                 : "email-lo29-hart.eml");
    };
    Script({Format("rbEMail"), accept(22, 29, 29)});
    menu("actImportTrigBeacons");
    const int trig = classes()["TRIG"];
    EXPECT_EQ(trig, 22);
    ASSERT_EQ(FileDialogs.size(), 2u);
    EXPECT_EQ(FileDialogs[1].Title, "WGS'84 Data File...");

    // Town survey marks from a comma-delimited file of Lo 31.
    FileAnswer = [](const GFileDialog&) { return Sample("beacons-lo31.csv"); };
    // Cancelling the review adds nothing.
    Script({Format("rbCommaDelimited"), [](QWidget& dialog) { Press(dialog, "btnCancel"); }});
    menu("actImportTownSurveyMarks");
    EXPECT_EQ(Stored().size(), static_cast<std::size_t>(trig));
    Script({Format("rbCommaDelimited"), accept(18, 31, 31)});
    menu("actImportTownSurveyMarks");
    EXPECT_EQ(classes(), (std::map<std::string, int>{{"TRIG", trig}, {"TSM", 18}}));
    EXPECT_EQ(FileDialogs.back().Title, "Text File...");
    const std::size_t imported = Stored().size();
    EXPECT_TRUE(Errors().empty());

    // The manager: add a beacon from the field book, correct it in the grid, find one, delete it.
    Script({[&](QWidget& window)
            {
                EXPECT_EQ(&window, &manager);
                EXPECT_EQ(manager.Model().rowCount(), static_cast<int>(imported));
                Script({[](QWidget& dialog)
                        {
                            Type(dialog, "edtCoordinateName", "FIELD BOOK 7");
                            Type(dialog, "edtClarkeLatitude", "25.5");
                            Type(dialog, "edtClarkeLongitude", "28.25");
                            Type(dialog, "edtWGSLatitude", "25.5");
                            Type(dialog, "edtWGSLongitude", "28.25");
                            Press(dialog, "btnOk");
                        }});
                Press(manager, "btnAddGeographic");
                const int added = manager.Model().CurrentRow();
                EXPECT_EQ(CurrentName(manager), "FIELD BOOK 7");
                EditCell(manager, added, "WGS Latitude", "25.50001");
                Navigator(manager).Press(GDBNavigator::nbPost);

                manager.Model().MoveTo(0);
                Press(manager, "btnFind");
                manager.FindDialog().SetFindText("entabeni");
                Press(manager.FindDialog(), "btnFindNext");
                EXPECT_EQ(CurrentName(manager), "TRIG 57 ENTABENI");
                Press(manager, "btnDelete");
                Press(manager, "btnDone");
            }});
    menu("actControlFileManager");
    EXPECT_FALSE(manager.isVisible());
    EXPECT_EQ(Questions, std::vector<std::string>{
                             "Delete the coordinate TRIG 57 ENTABENI from the control file?"});
    const std::vector<Row> rows = Stored();
    EXPECT_EQ(rows.size(), imported);
    const auto named = [&](const std::string& name)
    {
        return std::find_if(rows.begin(), rows.end(),
                            [&](const Row& row) { return row.Name == name; });
    };
    EXPECT_EQ(named("TRIG 57 ENTABENI"), rows.end());
    ASSERT_NE(named("FIELD BOOK 7"), rows.end());
    EXPECT_EQ(named("FIELD BOOK 7")->WGSLatitude, 25.50001);
    EXPECT_EQ(named("FIELD BOOK 7")->Source, "TRIG");
    EXPECT_TRUE(Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Stores, MainMenuTest,
                         ::testing::Values(Store::GeoPackage, Store::PostgreSQL), StoreName);

} // namespace
} // namespace quorvalis::test
