// The dialogs of the transform command one by one: the strategy and beacon selection dialogs with
// the residual plot, the parameter dialogs, the output and confirmation dialogs and the defaults.
#include "FormsTestSupport.h"

#include "forms/FormApplicationSetup.h"
#include "forms/FormConfirmation.h"
#include "forms/FormHelmertTransformationParameters.h"
#include "forms/FormMain.h"
#include "forms/FormProjectParameters.h"
#include "forms/FormTransformationParameters.h"
#include "forms/FormTrigBeacons.h"
#include "forms/FormTrigSelection.h"
#include "forms/ResidualPlot.h"
#include "project/BeaconImport.h"
#include "project/BeaconReview.h"
#include "project/Project.h"
#include "project/WinRegistry.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <cmath>
#include <numbers>

namespace quorvalis::test
{
namespace
{

// The 20 beacons of the Lo 29 sample area in the control file, read as a run from the Cape
// datum reads them.
class BeaconDialogTest : public FormsTest
{
protected:
    void SetUp() override
    {
        FormsTest::SetUp();
        GDelimitedTrigBeaconImport importer(Sample("beacons-lo29.csv"));
        ASSERT_TRUE(importer.ReadBeacons());
        importer.Beacons.ConvertToGeographic(29);
        ASSERT_EQ(importer.AddToControlFile("TRIG"), 20);
        beacons.ReadControlFile(dtCape);
        ASSERT_EQ(beacons.Count(), 20);
    }

    void Open(TfrmTrigBeacons& dialog)
    {
        dialog.SetBeacons(beacons, 29, centre, &extent);
        dialog.show();
        ProcessEvents();
    }

    static std::string Text(const QWidget& dialog, const char* label)
    {
        return Child<QLabel>(dialog, label).text().toStdString();
    }

    // The grid's column as numbers (the text read back), top to bottom.
    static std::vector<double> Column(const QTableWidget& grid, int column)
    {
        std::vector<double> values;
        for (int row = 0; row < grid.rowCount(); ++row)
            values.push_back(grid.item(row, column)->text().toDouble());
        return values;
    }

    // The row of the grid that holds a beacon.
    static int RowOf(const QTableWidget& grid, const std::string& name)
    {
        for (int row = 0; row < grid.rowCount(); ++row)
            if (grid.item(row, 0)->text().toStdString() == name)
                return row;
        return -1;
    }

    GTrigBeaconList beacons;
    const GPoint centre{28.2, 25.75};
    const GRectangle extent{28.15, 25.8, 28.25, 25.7};
};

// What the review decides is the review's own test; here the buttons drive it and the dialog shows
// its texts, hiding an empty grid behind its label.
TEST_F(BeaconDialogTest, TheButtonsDriveTheReviewAndTheDialogShowsIt)
{
    beacons.Beacon(3).Selected = true;
    TfrmTrigBeacons dialog;
    Open(dialog);
    const GBeaconReview& review = *dialog.Review();
    auto& ok = Child<QPushButton>(dialog, "btnOk");
    auto& available = Child<QTableWidget>(dialog, "grdAvailable");
    auto& selected = Child<QTableWidget>(dialog, "grdSelected");
    EXPECT_EQ(Text(dialog, "pnlScale"), "N/A  ");
    EXPECT_FALSE(ok.isEnabled());
    ASSERT_EQ(selected.rowCount(), 1);

    // Add takes the available grid's current row, the nearest beacon at first.
    const std::string nearest = available.item(0, 0)->text().toStdString();
    Press(dialog, "btnAdd");
    ASSERT_EQ(selected.rowCount(), 2);
    EXPECT_NE(RowOf(selected, nearest), -1);
    ASSERT_TRUE(review.Valid());
    EXPECT_EQ(Text(dialog, "pnlScale"), review.ScaleText());
    EXPECT_EQ(Text(dialog, "pnlSwing"), review.SwingText());
    EXPECT_TRUE(ok.isEnabled());

    Press(dialog, "btnAddAll");
    EXPECT_FALSE(available.isVisible());
    EXPECT_EQ(Text(dialog, "lblNoAvailable"), "No Beacons in the Control File");
    EXPECT_TRUE(Child<QLabel>(dialog, "lblNoAvailable").isVisible());
    EXPECT_EQ(Text(dialog, "pnlAvailable"), review.AvailableCounter());
    EXPECT_EQ(beacons.SelectedCount(), 20);
    Press(dialog, "btnAdd");
    EXPECT_EQ(Errors(), std::vector<std::string>{kAddBeaconWithoutRowMessage});

    Press(dialog, "btnRemoveAll");
    EXPECT_FALSE(selected.isVisible());
    EXPECT_EQ(Text(dialog, "lblNoSelected"), "No Beacons Currently Selected");
    EXPECT_EQ(Text(dialog, "pnlSelected"), review.SelectedCounter());
    Press(dialog, "btnRemove");
    EXPECT_EQ(Errors().back(), kRemoveBeaconWithoutRowMessage);
    EXPECT_FALSE(ok.isEnabled());

    // Remove takes the selected grid's current row.
    Press(dialog, "btnAddAll");
    selected.setCurrentCell(RowOf(selected, beacons.Beacon(5).Name), 0);
    Press(dialog, "btnRemove");
    EXPECT_FALSE(beacons.Beacon(5).Selected);
    EXPECT_EQ(beacons.SelectedCount(), 19);
}

TEST_F(BeaconDialogTest, GridsSortOnTheClickedColumnNamesAsTextNumbersAsNumbers)
{
    TfrmTrigBeacons dialog;
    Open(dialog);
    auto& grid = Child<QTableWidget>(dialog, "grdAvailable");
    ASSERT_EQ(grid.rowCount(), 20);
    const QHeaderView& header = *grid.horizontalHeader();
    EXPECT_EQ(header.sortIndicatorSection(), 1);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::AscendingOrder);
    std::vector<double> distances = Column(grid, 1);
    EXPECT_TRUE(std::is_sorted(distances.begin(), distances.end()));
    // Text would put "10000.000" before "9000.000"; the sample's distances span both lengths.
    EXPECT_LT(distances.front(), 10000.0);
    EXPECT_GT(distances.back(), 10000.0);
    EXPECT_TRUE(grid.item(0, 1)->textAlignment() & Qt::AlignRight);
    EXPECT_EQ(header.defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    const auto click = [&](int column)
    {
        const QPoint at(header.sectionViewportPosition(column) + header.sectionSize(column) / 2,
                        header.height() / 2);
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {}, at);
    };
    click(0);
    EXPECT_EQ(header.sortIndicatorSection(), 0);
    std::vector<std::string> names;
    for (int row = 0; row < grid.rowCount(); ++row)
        names.push_back(grid.item(row, 0)->text().toStdString());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    click(1);
    click(1);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);
    distances = Column(grid, 1);
    EXPECT_TRUE(std::is_sorted(distances.rbegin(), distances.rend()));

    // A refresh fills the grid again in the order the user chose.
    Press(dialog, "btnAdd");
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);
    distances = Column(grid, 1);
    EXPECT_TRUE(std::is_sorted(distances.rbegin(), distances.rend()));
}

TEST_F(BeaconDialogTest, SaveThenRecallThroughTheirFileDialogs)
{
    beacons.Beacon(1).Selected = true;
    beacons.Beacon(7).Selected = true;
    TfrmTrigBeacons dialog;
    Open(dialog);
    const std::string file = (Folder / "job.sel").string();
    FileAnswer = [&](const GFileDialog&) { return file; };
    Press(dialog, "btnSave");
    ASSERT_EQ(FileDialogs.size(), 1u);
    EXPECT_EQ(FileDialogs[0].Title, "Save Selection...");
    EXPECT_EQ(FileDialogs[0].DefaultExtension, "sel");
    EXPECT_EQ(FileDialogs[0].Filter, "Selection Files (*.sel)|*.sel|All Files (*.*)|*.*");
    EXPECT_TRUE(FileDialogs[0].OverwritePrompt);

    Press(dialog, "btnRemoveAll");
    Press(dialog, "btnRecall");
    ASSERT_EQ(FileDialogs.size(), 2u);
    EXPECT_EQ(FileDialogs[1].Title, "Recall Selection...");
    EXPECT_TRUE(FileDialogs[1].MustExist);
    EXPECT_EQ(beacons.SelectedCount(), 2);
    EXPECT_TRUE(beacons.Beacon(1).Selected && beacons.Beacon(7).Selected);
    EXPECT_EQ(Child<QTableWidget>(dialog, "grdSelected").rowCount(), 2);

    // A file that cannot be read is an error box; the selection stays.
    FileAnswer = [&](const GFileDialog&) { return (Folder / "gone.sel").string(); };
    Press(dialog, "btnRecall");
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_EQ(beacons.SelectedCount(), 2);
}

TEST_F(BeaconDialogTest, APlantedBlunderIsASuspectInTheGridAndOnThePlot)
{
    for (int i = 0; i < 10; ++i)
        beacons.Beacon(i).Selected = true;
    GTrigBeacon& blunder = beacons.Beacon(6);
    blunder.WGS.Y += 0.8 / 110800.0;
    blunder.WGS.X -= 0.6 / (111320.0 * std::cos(25.75 * std::numbers::pi / 180.0));
    TfrmTrigBeacons dialog;
    Open(dialog);
    const GBeaconReview& review = *dialog.Review();
    ASSERT_EQ(review.Suspects().size(), 1u);
    EXPECT_EQ(Text(dialog, "pnlRMS"), review.RmsText() + "  ");

    auto& grid = Child<QTableWidget>(dialog, "grdSelected");
    ASSERT_EQ(grid.columnCount(), 3); // the columns stay as they are; suspects are a colour
    for (const GBeaconRow& row : review.Selected())
    {
        const int r = RowOf(grid, row.Name);
        ASSERT_GE(r, 0);
        const bool red = grid.item(r, 2)->foreground().color() == GResidualPlot::SuspectColour();
        EXPECT_EQ(red, row.Name == blunder.Name) << row.Name;
        const std::string tip = grid.item(r, 0)->toolTip().toStdString();
        EXPECT_NE(tip.find("Misclosure without this beacon: " + row.LeaveOneOutText + " m"),
                  std::string::npos)
            << tip;
    }

    // On the plot: vectors magnified, the suspect drawn in its colour, the others not.
    auto& plot = Child<GResidualPlot>(dialog, "pnlResidualPlot");
    EXPECT_GT(plot.Magnification(), 1.0);
    EXPECT_EQ(plot.Magnification(), NiceBelow(plot.Magnification()));
    EXPECT_GT(plot.ScaleBarLength(), 0.0);
    const QImage picture = plot.grab().toImage();
    for (const GBeaconRow& row : review.Selected())
    {
        const QPointF at = plot.ToWidget(row.PlaneX, row.PlaneY);
        EXPECT_EQ(plot.RowAt(at), &row);
        const QColor colour = picture.pixelColor(at.toPoint() + QPoint(0, 1));
        const bool red = colour.red() > 150 && colour.green() < 90 && colour.blue() < 90;
        EXPECT_EQ(red, row.Suspect) << row.Name << " " << colour.name().toStdString();
    }
    EXPECT_EQ(plot.RowAt(QPointF(-50, -50)), nullptr);
}

// Its defaults are those the windowed runs share with the command line; here its controls read.
TEST_F(BeaconDialogTest, StrategyDialogReadsItsEditsAndChoices)
{
    TfrmTrigSelection dialog;
    Child<QLineEdit>(dialog, "edtBuffer").setText("a lot");
    Child<QLineEdit>(dialog, "edtCount").setText("4");
    Child<QRadioButton>(dialog, "rbBuffer").setChecked(true);
    Child<QCheckBox>(dialog, "chkTownSurveyMarks").setChecked(false);
    GSelectionStrategy values = dialog.Values();
    EXPECT_EQ(values.Strategy, 0);
    EXPECT_EQ(values.Buffer, 25.0);
    EXPECT_EQ(values.Count, 4);
    EXPECT_FALSE(values.UseTownSurveyMarks);
    EXPECT_TRUE(values.UseTrigBeacons && values.UseOtherCoordinates);
    Child<QLineEdit>(dialog, "edtBuffer").setText("40");
    Child<QRadioButton>(dialog, "rbManual").setChecked(true);
    values = dialog.Values();
    EXPECT_EQ(values.Strategy, 2);
    EXPECT_EQ(values.Buffer, 40.0);
}

// --- Parameter dialogs -------------------------------------------------------------------------

using ParameterDialogTest = FormsTest;

TEST_F(ParameterDialogTest, CoordinateSystemResetsTheLoAndConstantsAndShowsTheExtent)
{
    GProject project;
    // First corner (1.234, 5.678), second (2.5, 6).
    project.Extent = std::make_unique<GRectangle>(1.234, 6, 2.5, 5.678);
    TfrmProjectParameters dialog;
    dialog.SetProject(&project);
    GProjectParameters values;
    values.LocalOrigin = 29;
    values.XConstant = 5;
    values.YConstant = -6;
    dialog.SetValues(values);
    dialog.show();
    ProcessEvents();
    auto& lo = Child<QLineEdit>(dialog, "edtLocalOrigin");
    auto& x = Child<QLineEdit>(dialog, "edtXConstant");
    EXPECT_EQ(lo.text(), "29");
    EXPECT_EQ(x.text(), "5.000");
    EXPECT_TRUE(lo.isEnabled());
    EXPECT_EQ(Child<QLabel>(dialog, "pnlExtent").text(), "(1.23;5.68) -> (2.50;6.00)");
    EXPECT_EQ(Child<QLabel>(dialog, "pnlProjected").text(), "(0.0;0.0) -> (0.0;0.0)");
    EXPECT_EQ(dialog.focusWidget(), &lo);

    auto& list = Child<QListWidget>(dialog, "lstFormat");
    const auto choose = [&](int row)
    {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          list.visualItemRect(list.item(row)).center());
    };
    choose(1);
    EXPECT_EQ(lo.text(), "31");
    EXPECT_EQ(x.text(), "0.000");
    EXPECT_EQ(Child<QLineEdit>(dialog, "edtYConstant").text(), "0.000");
    EXPECT_FALSE(lo.isEnabled());
    EXPECT_FALSE(x.isEnabled());
    EXPECT_EQ(Child<QLabel>(dialog, "pnlExtent").text(), "(1.2340;5.6780) -> (2.5000;6.0000)");
    EXPECT_EQ(dialog.Values().CoordinateSystem, 1);
    choose(0);
    EXPECT_TRUE(lo.isEnabled());
    EXPECT_TRUE(x.isEnabled());
    // Choosing the system already chosen resets the values all the same.
    x.setText("7");
    choose(0);
    EXPECT_EQ(x.text(), "0.000");
    EXPECT_EQ(ExtentText(1, 2, 3, 4, 4, true), "(2.0000;1.0000) -> (4.0000;3.0000)");
}

TEST_F(ParameterDialogTest, RefreshWritesIntoTheProjectEvenWhenCancelledAndRefusesANonLo)
{
    GProject project;
    project.Extent = std::make_unique<GRectangle>(2846046, 84823, 2854604, 77437);
    TfrmProjectParameters dialog;
    dialog.SetProject(&project);
    dialog.SetValues(project.GetProjectParameters());
    dialog.show();
    auto& lo = Child<QLineEdit>(dialog, "edtLocalOrigin");

    lo.setText("28");
    EXPECT_FALSE(dialog.Refresh());
    EXPECT_EQ(Errors(), std::vector<std::string>{
                            "The Lo of the data (28) is not a Lo: a Lo is an odd whole number of "
                            "degrees from 15 to 33."});
    EXPECT_EQ(project.LocalOrigin, 31.0);
    Press(dialog, "btnOk");
    EXPECT_TRUE(dialog.isVisible()) << "Ok refused the Lo";
    EXPECT_EQ(Errors().size(), 2u);

    lo.setText("29");
    Press(dialog, "btnRefresh");
    EXPECT_EQ(project.LocalOrigin, 29.0);
    EXPECT_EQ(project.TransformationLocalOrigin, 29.0);
    const auto geographic = project.GeographicExtent();
    EXPECT_EQ(Child<QLabel>(dialog, "pnlProjected").text().toStdString(),
              ExtentText(geographic->TopLeft.X, geographic->TopLeft.Y, geographic->BottomRight.X,
                         geographic->BottomRight.Y, 4, true));
    EXPECT_EQ(Child<QLabel>(dialog, "pnlProjected").text().left(4), "(25."); // latitude first
    EXPECT_EQ(dialog.focusWidget(), &Child<QPushButton>(dialog, "btnOk"));
    lo.setText("27");
    Press(dialog, "btnCancel");
    EXPECT_EQ(project.LocalOrigin, 29.0) << "the refreshed values stay";
    EXPECT_EQ(Errors().size(), 2u);
}

TEST_F(ParameterDialogTest, HelmertAndTransformationParametersEnableAndCheckTheirLo)
{
    TfrmHelmertTransformationParameters helmert;
    helmert.show();
    const char* edits[] = {"edtLocalOrigin", "edtCapeX", "edtCapeY", "edtWGSX",
                           "edtWGSY",        "edtA",     "edtB"};
    for (const char* edit : edits)
        EXPECT_FALSE(Child<QLineEdit>(helmert, edit).isEnabled()) << edit;
    Press(helmert, "btnOk"); // the calculated mode uses no Lo of its own
    EXPECT_EQ(helmert.result(), QDialog::Accepted);

    helmert.show();
    QTest::mouseClick(&Child<QRadioButton>(helmert, "rbUser"), Qt::LeftButton);
    for (const char* edit : edits)
        EXPECT_TRUE(Child<QLineEdit>(helmert, edit).isEnabled()) << edit;
    Child<QLineEdit>(helmert, "edtLocalOrigin").setText("35");
    Child<QLineEdit>(helmert, "edtA").setText("0.99999");
    helmert.setResult(QDialog::Rejected);
    Press(helmert, "btnOk");
    EXPECT_EQ(helmert.result(), QDialog::Rejected);
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].substr(0, 38), "The Lo of the transformation (35) is n");
    const GHelmertParameters values = helmert.Values();
    EXPECT_EQ(values.HelmertMode, 1);
    EXPECT_EQ(values.HelmertA, 0.99999);
    QTest::mouseClick(&Child<QRadioButton>(helmert, "rbCalculated"), Qt::LeftButton);
    EXPECT_FALSE(Child<QLineEdit>(helmert, "edtLocalOrigin").isEnabled());

    TfrmTransformationParameters parameters;
    parameters.SetValues({29.0, true});
    parameters.show();
    EXPECT_EQ(Child<QLineEdit>(parameters, "edtLocalOrigin").text(), "29");
    EXPECT_TRUE(Child<QCheckBox>(parameters, "chkApplyWeighting").isChecked());
    Child<QLineEdit>(parameters, "edtLocalOrigin").setText("30");
    Press(parameters, "btnOk");
    EXPECT_TRUE(parameters.isVisible());
    EXPECT_EQ(Errors().size(), 2u);
}

TEST_F(ParameterDialogTest, ConfirmationShowsItsDoubtsAsWritten)
{
    TfrmConfirmation confirmation;
    confirmation.show();
    EXPECT_FALSE(Child<QLabel>(confirmation, "pnlDoubts").isVisible());
    EXPECT_TRUE(confirmation.AlwaysShow());
    confirmation.SetDoubts({"The points move 12.000 m on average.", "A & B <c>"});
    EXPECT_TRUE(Child<QLabel>(confirmation, "pnlDoubts").isVisible());
    const QString doubts = Child<QLabel>(confirmation, "pnlDoubts").text();
    EXPECT_TRUE(doubts.contains("The points move 12.000 m on average."));
    EXPECT_TRUE(doubts.contains("A &amp; B &lt;c&gt;")); // shown as written, not as markup
}

TEST_F(ParameterDialogTest, DefaultsCommandShowsAndStoresTheSettings)
{
    EXPECT_EQ(LocalOriginText("29"), 29);
    EXPECT_EQ(LocalOriginText("29.5"), 31);
    EXPECT_EQ(LocalOriginText("abc"), 31);

    GRegistry().WriteInteger("Local Origin", 29);
    GRegistry().WriteFloat("Helmert A", 0.5);
    TfrmMain main;
    TfrmApplicationSetup setup(&main);
    main.SetApplicationSetup(&setup);
    {
        ScriptedUser user({{"Application Setup", [](QWidget& dialog)
                            {
                                EXPECT_EQ(Child<QLineEdit>(dialog, "edtLocalOrigin").text(), "29");
                                EXPECT_EQ(Child<QLineEdit>(dialog, "edtA").text(), "0.5");
                                EXPECT_FALSE(Child<QCheckBox>(dialog, "chkOutput").isChecked());
                                Child<QCheckBox>(dialog, "chkOutput").setChecked(true);
                                Child<QListWidget>(dialog, "lstOutputMode").setCurrentRow(1);
                                Child<QRadioButton>(dialog, "rbHelmert").setChecked(true);
                                Child<QLineEdit>(dialog, "edtLocalOrigin").setText("28");
                                Press(dialog, "btnOk"); // refused: 28 is no Lo
                                EXPECT_TRUE(dialog.isVisible());
                                Child<QLineEdit>(dialog, "edtLocalOrigin").setText("twenty-nine");
                                Press(dialog, "btnOk");
                            }}});
        main.Defaults();
        EXPECT_EQ(user.Left(), 0u);
    }
    ASSERT_EQ(Errors().size(), 1u);
    EXPECT_EQ(Errors()[0].substr(0, 25), "\"Local Origin\" (28) is no");
    const GStoredSettings stored = ReadStoredSettings();
    EXPECT_EQ(stored.LocalOrigin, 31);
    EXPECT_TRUE(stored.Output);
    EXPECT_EQ(stored.OutputMode, 1);
    EXPECT_EQ(stored.ProjectTransformation, 1);
    EXPECT_EQ(stored.HelmertA, 0.5);
    EXPECT_FALSE(GRegistry().ValueExists("Show Message"));

    // Shown again the next time; Cancel stores nothing.
    ScriptedUser again({{"Application Setup", [](QWidget& dialog)
                         {
                             EXPECT_TRUE(Child<QCheckBox>(dialog, "chkOutput").isChecked());
                             EXPECT_EQ(Child<QListWidget>(dialog, "lstOutputMode").currentRow(), 1);
                             EXPECT_TRUE(Child<QRadioButton>(dialog, "rbHelmert").isChecked());
                             Child<QCheckBox>(dialog, "chkOutput").setChecked(false);
                             Press(dialog, "btnCancel");
                         }}});
    main.Defaults();
    EXPECT_TRUE(ReadStoredSettings().Output);
}

} // namespace
} // namespace quorvalis::test
