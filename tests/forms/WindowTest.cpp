// The program in a real window system (run under Xvfb by the test suite): start-up with its
// splash, every menu command's caption, shortcut and hint, each dialog of the program opened and
// photographed into build/screenshots/ for a look at their layout.
#include "FormsTestSupport.h"

#include "database/BorlandDatabase.h"
#include "database/GisLayerDatabase.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "forms/Application.h"
#include "forms/DataSourceDialogs.h"
#include "forms/FormApplicationInformation.h"
#include "forms/FormBorlandDataSource.h"
#include "forms/FormBorlandXYZDataSource.h"
#include "forms/FormChooseString.h"
#include "forms/FormCorvellDataSource.h"
#include "forms/FormGisLayerDataSource.h"
#include "forms/FormImportFileFormat.h"
#include "forms/FormMain.h"
#include "forms/FormOpening.h"
#include "forms/FormProgress.h"
#include "forms/FormRecordSetDataSource.h"
#include "forms/FormShapefileDataSource.h"
#include "forms/FormTextFileDataSource.h"
#include "forms/QtUserInterface.h"
#include "project/WinRegistry.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QTest>

#include <cstdlib>
#include <fstream>

namespace quorvalis::test
{
namespace
{

namespace fs = std::filesystem;

// Where the pictures go: build/screenshots/ of the source tree (or QUORVALIS_SCREENSHOTS).
QString ScreenshotFolder()
{
    const char* folder = std::getenv("QUORVALIS_SCREENSHOTS");
    const QString path = folder && *folder
                             ? QString::fromLocal8Bit(folder)
                             : QStringLiteral(QUORVALIS_SOURCE_DIR "/build/screenshots");
    QDir().mkpath(path);
    return path;
}

// Shows a window, lets it lay out and paint, and saves what it shows.
void Photograph(QWidget& window, const QString& name)
{
    window.show();
    window.raise();
    ProcessEvents();
    QTest::qWait(50);
    const QPixmap picture = window.grab();
    ASSERT_FALSE(picture.isNull()) << name.toStdString();
    EXPECT_TRUE(picture.save(ScreenshotFolder() + "/" + name + ".png")) << name.toStdString();
    // A window never grows beyond what fits a small screen.
    EXPECT_LE(window.width(), 1024) << name.toStdString();
    EXPECT_LE(window.height(), 768) << name.toStdString();
}

// No control of a laid-out window lies outside it or on top of a sibling.
void ExpectNoOverlap(const QWidget& window, const QString& name)
{
    const QList<QWidget*> children = window.findChildren<QWidget*>();
    for (const QWidget* child : children)
    {
        if (!child->isVisible() || child->isWindow() || child->objectName().isEmpty() ||
            child->objectName().startsWith(QStringLiteral("qt_")))
            continue;
        const QRect area(child->mapTo(&window, QPoint(0, 0)), child->size());
        EXPECT_TRUE(window.rect().contains(area))
            << name.toStdString() << ": " << child->objectName().toStdString() << " is clipped";
        for (const QWidget* other : children)
        {
            if (other == child || other->parentWidget() != child->parentWidget() ||
                !other->isVisible() || other->objectName().isEmpty() ||
                other->objectName().startsWith(QStringLiteral("qt_")))
                continue;
            const QRect otherArea(other->mapTo(&window, QPoint(0, 0)), other->size());
            EXPECT_FALSE(area.intersects(otherArea))
                << name.toStdString() << ": " << child->objectName().toStdString() << " overlaps "
                << other->objectName().toStdString();
        }
    }
}

void Check(QWidget& window, const QString& name)
{
    Photograph(window, name);
    ExpectNoOverlap(window, name);
}

using WindowTest = DialogsTest;

TEST_F(WindowTest, StartsWithTheSplashAndOffersEveryCommand)
{
    // First start: no "Install" value yet; the program stores where it found its resources.
    ASSERT_FALSE(GRegistry().ValueExists("Install"));
    QElapsedTimer clock;
    clock.start();
    GApplicationWindows windows = StartApplication();
    EXPECT_GE(clock.elapsed(), 2000); // the splash stayed for 2000 ms
    EXPECT_TRUE(GRegistry().ValueExists("Install"));
    EXPECT_TRUE(fs::exists(InstallFolder() + "Resource/Quorvalis.BMP"));

    TfrmMain& main = *windows.Main;
    ProcessEvents();
    EXPECT_TRUE(main.isVisible());
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TfrmOpening*>(window), nullptr) << "the splash is closed";
    EXPECT_EQ(main.windowTitle(), "Clarke 1880 to WGS'84 Transformation");
    ASSERT_NE(windows.ImportFileFormat, nullptr);
    ASSERT_NE(windows.ApplicationInformation, nullptr);

    struct Row
    {
        const char* name;
        const char* caption;
        const char* shortcut;
        const char* hint;
    };
    const Row rows[] = {
        {"actTransformClarke1880toWGS84", "Transf&orm Clarke 1880 to WGS'84...", "Ctrl+O",
         "Tranform a file based on a Clarke 1880 spheroid to a WGS'84 spheroid."},
        {"actTransformWGS84toClarke1880", "&Transform WGS'84 to Clarke 1880...", "Ctrl+T",
         "Transform a file based on the WGS'84 spheroid to the Clarke 1880 spheroid."},
        {"actExit", "E&xit", "Ctrl+X", "Exit the application."},
        {"actDefaults", "&Defaults...", "",
         "Adjust various default settings for the transformation process."},
        {"actControlFileManager", "&Control File Manager...", "Ctrl+C",
         "Manage the control file coordinates."},
        {"actImportTrigBeacons", "Import Trig &Beacons...", "Ctrl+B",
         "Import trig beacons into the control file."},
        // Ctrl+T stays with the transform, the first menu item that carries it.
        {"actImportTownSurveyMarks", "Import &Town Survey Marks...", "",
         "Import town survey marks into the control file."},
        {"actContents", "&Contents", "", "Open the online help to the contents page."},
        {"actIndex", "&Index", "", "Open the online help to the index page."},
        {"actAbout", "&About...", "", "Display information about the application."},
    };
    for (const Row& row : rows)
    {
        const QAction& action = Child<QAction>(main, row.name);
        EXPECT_EQ(action.text().toStdString(), row.caption);
        EXPECT_EQ(action.shortcut().toString().toStdString(), row.shortcut) << row.name;
        EXPECT_EQ(action.statusTip().toStdString(), row.hint);
    }
    // Images of the eight commands that have one.
    for (const char* name : {"actTransformClarke1880toWGS84", "actTransformWGS84toClarke1880",
                             "actContents", "actAbout", "actImportTrigBeacons",
                             "actImportTownSurveyMarks", "actControlFileManager", "actDefaults"})
        EXPECT_FALSE(Child<QAction>(main, name).icon().isNull()) << name;

    // The menu structure: File, Setup (Defaults, Control File submenu), Help.
    QStringList menus;
    for (QAction* entry : main.menuBar()->actions())
        menus << entry->text();
    EXPECT_EQ(menus.join('|'), "&File|&Setup|&Help");
    auto& controlFile = Child<QMenu>(main, "mnuControlFile");
    EXPECT_EQ(controlFile.title(), "&Control File");
    EXPECT_EQ(controlFile.menuAction()->statusTip(), "Manage the coordinates in the control file.");
    QStringList setup;
    for (QAction* entry : Child<QMenu>(main, "mnuSetup").actions())
        setup << entry->text();
    EXPECT_EQ(setup.join('|'), "&Defaults...|&Control File");

    // Ctrl+T runs the transform (its data source chooser opens), not an import.
    WhenModal(
        [](QWidget& dialog)
        {
            EXPECT_EQ(dialog.windowTitle(), "RecordSet DataSource");
            dialog.close();
        });
    QTest::keyClick(&main, Qt::Key_T, Qt::ControlModifier);
    ProcessEvents();
    EXPECT_TRUE(Errors().empty());

    // A hint shows in the status bar.
    Child<QAction>(main, "actExit").showStatusText(&main);
    EXPECT_EQ(main.statusBar()->currentMessage(), "Exit the application.");
    main.statusBar()->clearMessage();
    Photograph(main, "main-window");

    // Each menu, opened.
    for (const char* name : {"mnuFile", "mnuSetup", "mnuHelp"})
    {
        auto& menu = Child<QMenu>(main, name);
        menu.popup(main.mapToGlobal(QPoint(0, 0)));
        Photograph(menu, QStringLiteral("menu-") + QString::fromLatin1(name + 3).toLower());
        menu.close();
    }
    auto& setupMenu = Child<QMenu>(main, "mnuSetup");
    setupMenu.popup(main.mapToGlobal(QPoint(0, 0)));
    controlFile.popup(setupMenu.mapToGlobal(QPoint(setupMenu.width(), 20)));
    Photograph(controlFile, "menu-control-file");
    controlFile.close();
    setupMenu.close();

    // The long-lived dialogs.
    windows.ApplicationInformation->SetFileName(InstallFolder() + "Resource/Quorvalis.html");
    Check(*windows.ApplicationInformation, "application-information");
    windows.ApplicationInformation->hide();
    Check(*windows.ImportFileFormat, "import-file-format");
    windows.ImportFileFormat->hide();
}

TEST_F(WindowTest, SplashWindow)
{
    GRegistry().WriteString("Install", QUORVALIS_SOURCE_DIR);
    TfrmOpening splash;
    splash.LoadPicture(InstallFolder() + "Resource/Quorvalis.BMP");
    Check(splash, "splash");
    TfrmOpening missing;
    missing.LoadPicture("Resource/Quorvalis.BMP");
    EXPECT_EQ(missing.PictureText(), "QUORVALIS.BMP");
    Check(missing, "splash-without-picture");
}

TEST_F(WindowTest, SmallDialogs)
{
    ShowProgressStep(1, 4, "Transforming the shapes of job-lines.shp...");
    ShowProgressStep(2, 4, "Transforming the shapes of job-lines.shp...");
    ASSERT_NE(ProgressWindow(), nullptr);
    Check(*ProgressWindow(), "progress");
    ShowProgressStep(4, 4, "");

    TfrmChooseString choose;
    choose.setWindowTitle("Clarke Identity Field");
    choose.SetStrings({"LABEL", "ID", "HEIGHT", "SOURCE"});
    Check(choose, "choose-string");

    TfrmRecordSetDataSource chooser;
    Check(chooser, "recordset-datasource");
    // The longest entry, chosen, shows whole.
    auto& kinds = Child<QComboBox>(chooser, "cmbDataSource");
    kinds.setCurrentIndex(kinds.findText("GIS Layer (GeoPackage, PostGIS, \u2026)"));
    ASSERT_GT(kinds.currentIndex(), 0);
    Check(chooser, "recordset-datasource-gis-layer");
    EXPECT_GE(kinds.width(), kinds.sizeHint().width());
}

TEST_F(WindowTest, DataSourceDialogs)
{
    // A dBase folder of the samples as an alias beside the control file store.
    const fs::path dbase = Folder / "samples";
    fs::create_directories(dbase);
    for (const char* file : {"job-points.dbf", "job-lines.dbf"})
        fs::copy_file(Sample(file), dbase / file);
    engine::Session::Default().SetAlias({"SAMPLES", "STANDARD", dbase.string(), ""});

    TfrmShapefileDataSource shapefile;
    shapefile.SetFileName(Sample("job-lines.shp"));
    Check(shapefile, "shapefile-datasource");

    TfrmCorvellDataSource corvell;
    corvell.SetFileName(Sample("job-points.crd"));
    corvell.SetReadOnly(true, false);
    Check(corvell, "corvell-datasource");

    TfrmTextFileDataSource text;
    text.SetTextFileName(Sample("job-points.txt"));
    text.SetDefinitionFileName(Sample("job-points-delimited.def"));
    Check(text, "textfile-datasource");

    TfrmBorlandDataSource database;
    GBorlandDataSourceSettings settings;
    settings.Driver = "STANDARD";
    settings.DatabaseName = "QUORVALIS";
    settings.TableName = "control.db";
    database.SetSettings(settings);
    database.show();
    auto& tables = Child<QListWidget>(database, "lstTables");
    if (tables.currentItem())
        database.UseTable(tables.currentItem()->text());
    Check(database, "borland-datasource");

    TfrmBorlandXYZDataSource xyz;
    settings.DatabaseName = "SAMPLES";
    settings.TableName = "job-points.dbf";
    settings.XYZ = true;
    xyz.SetSettings(settings);
    xyz.show();
    auto& xyzTables = Child<QListWidget>(xyz, "lstTables");
    ASSERT_NE(xyzTables.currentItem(), nullptr);
    xyz.UseTable(xyzTables.currentItem()->text());
    Child<QComboBox>(xyz, "cmbXField").setCurrentText("ID");
    Child<QComboBox>(xyz, "cmbYField").setCurrentText("HEIGHT");
    Check(xyz, "borland-xyz-datasource");

    // A GeoPackage of pegs, lines and parcels with heights, written by GDAL.
    const std::string gpkg = (Folder / "survey.gpkg").string();
    const std::string csv = (Folder / "survey.csv").string();
    std::ofstream(csv) << "WKT,NAME\n\"POINT Z (2850000 80000 1391.45)\",P1\n";
    for (const auto& [layer, type] :
         {std::pair{"pegs", "POINTZ"}, std::pair{"boundary_lines", "MULTILINESTRINGZM"},
          std::pair{"erven", "MULTIPOLYGON"}})
        ASSERT_EQ(
            std::system(("ogr2ogr -q " + std::string(fs::exists(gpkg) ? "-update" : "-f GPKG") +
                         " -nln " + std::string(layer) + " -nlt " + std::string(type) +
                         " -a_srs EPSG:22289 \"" + gpkg + "\" \"" + csv + "\"")
                            .c_str()),
            0);
    TfrmGisLayerDataSource layers;
    GGisLayerDataSourceSettings layerSettings;
    layerSettings.Dataset = gpkg;
    layerSettings.LayerName = "pegs";
    layers.SetSettings(layerSettings);
    Check(layers, "gis-layer-datasource");
    EXPECT_TRUE(Errors().empty());
}

} // namespace
} // namespace quorvalis::test
