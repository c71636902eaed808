// The program in a real window system (run under Xvfb by the test suite): start-up with its
// splash, every menu command's caption, shortcut and hint, each dialog of the program opened and
// photographed into build/screenshots/ for a look at their layout.
#include "FormsTestSupport.h"

#include "database/BorlandDatabase.h"
#include "database/GisLayerDatabase.h"
#include "database/engine/Session.h"
#include "database/engine/Table.h"
#include "forms/Application.h"
#include "forms/DataSetModel.h"
#include "forms/DataSourceDialogs.h"
#include "forms/FindDialog.h"
#include "forms/FormApplicationInformation.h"
#include "forms/FormApplicationSetup.h"
#include "forms/FormBorlandDataSource.h"
#include "forms/FormBorlandXYZDataSource.h"
#include "forms/FormChooseString.h"
#include "forms/FormControlFileCoordinateImport.h"
#include "forms/FormControlFileManager.h"
#include "forms/FormCorvellDataSource.h"
#include "forms/FormGeodeticCoordinate.h"
#include "forms/FormGeographicCoordinate.h"
#include "forms/FormGisLayerDataSource.h"
#include "forms/FormImportFileFormat.h"
#include "forms/FormMain.h"
#include "forms/FormOpening.h"
#include "forms/FormProgress.h"
#include "forms/FormRecordSetDataSource.h"
#include "forms/FormShapefileDataSource.h"
#include "forms/FormTextFileDataSource.h"
#include "forms/FormTrigBeacons.h"
#include "forms/QtUserInterface.h"
#include "forms/ResidualPlot.h"
#include "project/BeaconImport.h"
#include "project/BeaconReview.h"
#include "project/Project.h"
#include "project/WinRegistry.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QRadioButton>
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
    // A change of contents just before (a table chosen) may still wait to resize the window.
    if (window.layout())
        window.layout()->activate();
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
        // A caption narrower than its text shows part of it.
        const auto* label = qobject_cast<const QLabel*>(child);
        const auto* button = qobject_cast<const QAbstractButton*>(child);
        if ((label && !label->wordWrap() && label->pixmap().isNull()) || button)
        {
            EXPECT_GE(child->width(), child->sizeHint().width())
                << name.toStdString() << ": the text of " << child->objectName().toStdString()
                << " is cut";
        }
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
    QApplication::setActiveWindow(&main);
    ScriptedUser user({{"RecordSet DataSource", [](QWidget& dialog) { dialog.close(); }}});
    QTest::keyClick(&main, Qt::Key_T, Qt::ControlModifier);
    ProcessEvents();
    EXPECT_EQ(user.Left(), 0u) << "Ctrl+T opened no chooser";
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
    // As the user leaves it: the coordinate fields chosen.
    for (const auto& [box, field] : {std::pair{"cmbXField", "X"}, std::pair{"cmbYField", "Y"},
                                     std::pair{"cmbZField", "HEIGHT"}})
        Child<QComboBox>(text, box).setCurrentText(field);
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

// Every dialog of a transform of the sample job, photographed as the command shows it: Cape to
// Hartebeesthoek94 by control coordinates, then back by the Helmert method, then a run whose
// doubts the confirmation lists.
TEST_F(WindowTest, TransformDialogsOnTheSampleJob)
{
    GDelimitedTrigBeaconImport importer(Sample("beacons-lo29.csv"));
    ASSERT_TRUE(importer.ReadBeacons());
    importer.Beacons.ConvertToGeographic(29);
    ASSERT_EQ(importer.AddToControlFile("TRIG"), 20);
    for (const char* file : {"job-lines.shp", "job-lines.shx", "job-lines.dbf"})
        fs::copy_file(Sample(file), Folder / file);
    FileAnswer = [this](const GFileDialog& dialog)
    {
        return (Folder /
                (dialog.Title == "Transformation Output File..." ? "Output.txt" : "job-lines.shp"))
            .string();
    };
    TfrmMain main;
    main.ShowAtOnce();
    const auto photograph = [](const char* name, std::function<void(QWidget&)> before = {})
    {
        return [name, before](QWidget& dialog)
        {
            if (before)
                before(dialog);
            Check(dialog, QString::fromLatin1(name));
            Press(dialog, "btnOk");
        };
    };
    const auto lo29 = [](QWidget& dialog)
    {
        Child<QLineEdit>(dialog, "edtLocalOrigin").setText("29");
        Press(dialog, "btnRefresh");
    };
    {
        ScriptedUser user(
            {ChooseKind("Shapefile"),
             Ok("Shapefile DataSource"),
             {"Project Parameters", photograph("project-parameters", lo29)},
             {"Project Transformation Method", photograph("project-transformation")},
             {"Transformation Parameters",
              photograph("transformation-parameters", [](QWidget& dialog)
                         { Child<QCheckBox>(dialog, "chkApplyWeighting").setChecked(true); })},
             {"Transformation Coordinates", photograph("trig-selection")},
             {"Transformation Control Beacons",
              photograph("trig-beacons",
                         [](QWidget& dialog)
                         {
                             // The plot shows the job, the beacons and the vectors.
                             auto& plot = Child<GResidualPlot>(dialog, "pnlResidualPlot");
                             EXPECT_GT(plot.Magnification(), 0.0);
                             EXPECT_GT(plot.ScaleBarLength(), 0.0);
                             Check(plot, "trig-beacons-plot");
                         })},
             {"Transformation Output",
              photograph("transformation-output", [](QWidget& dialog)
                         { Child<QCheckBox>(dialog, "chkOutput").setChecked(true); })},
             {"Confirmation", photograph("confirmation")}});
        main.TransformClarke1880toWGS84();
        EXPECT_EQ(user.Left(), 0u);
    }
    EXPECT_TRUE(Errors().empty()) << Errors().front();
    EXPECT_TRUE(fs::exists(Folder / "Output.txt"));

    // The Helmert method's sequence: the Helmert dialog and the confirmation answered as given.
    const auto byHelmert = [&](std::function<void(QWidget&)> helmert, ScriptedUser::Answer confirm)
    {
        return std::vector<ScriptedUser::Answer>{
            ChooseKind("Shapefile"),
            Ok("Shapefile DataSource"),
            {"Project Parameters",
             [&](QWidget& dialog)
             {
                 lo29(dialog);
                 Press(dialog, "btnOk");
             }},
            {"Project Transformation Method",
             [](QWidget& dialog)
             {
                 Child<QRadioButton>(dialog, "rbHelmert").setChecked(true);
                 Press(dialog, "btnOk");
             }},
            {"Helmert Transformation Parameters", std::move(helmert)},
            Ok("Transformation Output"),
            std::move(confirm)};
    };
    {
        ScriptedUser user(
            byHelmert(photograph("helmert-transformation-parameters"), Ok("Confirmation")));
        main.TransformWGS84toClarke1880();
        EXPECT_EQ(user.Left(), 0u);
    }
    EXPECT_TRUE(Errors().empty()) << Errors().front();

    // The stored user-defined Helmert (a = b = 1) is a doubt: the confirmation lists it.
    {
        ScriptedUser user(byHelmert(
            [](QWidget& dialog)
            {
                Child<QRadioButton>(dialog, "rbUser").setChecked(true);
                Press(dialog, "btnOk");
            },
            {"Confirmation", [](QWidget& dialog)
             {
                 Check(dialog, "confirmation-doubts");
                 Press(dialog, "btnCancel");
             }}));
        main.TransformClarke1880toWGS84();
        EXPECT_EQ(user.Left(), 0u);
    }

    TfrmApplicationSetup setup;
    Check(setup, "application-setup");

    // The ten beacons nearest the job with a metre planted in one: a suspect on the plot.
    GProject project;
    project.SourceDatum = dtCape;
    project.ReadControlBeacons();
    GTrigBeaconList& beacons = project.ControlBeacons;
    const GRectangle extent(28.149897, 25.780180, 28.246590, 25.700139);
    GPoint centre;
    extent.GetCentre(centre.X, centre.Y);
    project.Extent = std::make_unique<GRectangle>(2843656.43, 75572.97, 2852464.79, 85329.59);
    project.LocalOrigin = project.TransformationLocalOrigin = 29;
    project.SortControlBeacons();
    project.SelectControlBeacons(GSelectionStrategy{});
    const int planted = beacons.IndexOfBeacon("TRIG 84 TAFELKOP", "");
    ASSERT_GE(planted, 0);
    beacons.Beacon(planted).WGS.Y += 0.8 / 110800.0;
    TfrmTrigBeacons selection;
    selection.SetBeacons(beacons, 29, centre, &extent);
    Check(selection, "trig-beacons-blunder");
    ASSERT_EQ(selection.Review()->Suspects().size(), 1u);
}

TEST_F(WindowTest, ControlFileWindows)
{
    // The sample beacons of both job areas in the control file.
    for (const auto& [file, lo, beaconClass] : {std::tuple{"beacons-lo29.csv", 29.0, "TRIG"},
                                                std::tuple{"beacons-lo31.csv", 31.0, "TSM"}})
    {
        GDelimitedTrigBeaconImport sample(Sample(file));
        ASSERT_TRUE(sample.ReadBeacons());
        sample.Beacons.ConvertToGeographic(lo);
        sample.AddToControlFile(beaconClass);
    }
    TfrmControlFileManager manager;
    manager.OpenTable();
    manager.Model().MoveTo(3);
    Check(manager, "control-file-manager");
    manager.FindDialog().SetFindText("doringkop");
    manager.Find();
    Photograph(manager.FindDialog(), "control-file-find");
    ExpectNoOverlap(manager.FindDialog(), "control-file-find");
    manager.FindDialog().hide();
    Check(manager.GeodeticDialog(), "geodetic-coordinate");
    manager.GeodeticDialog().hide();
    Check(manager.GeographicDialog(), "geographic-coordinate");
    manager.GeographicDialog().hide();
    manager.done(QDialog::Accepted);

    // The review of the survey office's e-mail pair, as the import shows it.
    GTrigBeaconImport pair(Sample("email-lo29-cape.eml"), Sample("email-lo29-hart.eml"));
    ASSERT_TRUE(pair.ReadBeacons());
    pair.RemoveUnmatched();
    pair.Beacons.Beacon(2).WGS.X += 400.0; // too far apart: not ticked
    TfrmControlFileCoordinateImport review;
    review.SetBeacons(&pair.Beacons);
    review.SetLocalOrigin(pair.LocalOrigin);
    review.SetClarkeFileName(Sample("email-lo29-cape.eml"));
    review.SetWGSFileName(Sample("email-lo29-hart.eml"));
    Check(review, "control-file-coordinate-import");
    review.hide();
    EXPECT_TRUE(Errors().empty());
}

} // namespace
} // namespace quorvalis::test
