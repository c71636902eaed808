// The number edit, the path display, the progress window and the small dialogs.
#include "FormsTestSupport.h"

#include "forms/FloatEdit.h"
#include "forms/FormApplicationInformation.h"
#include "forms/FormChooseString.h"
#include "forms/FormImportFileFormat.h"
#include "forms/FormOpening.h"
#include "forms/FormProgress.h"
#include "forms/ShortenPath.h"
#include "geometry/NumberFormat.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>

#include <fstream>

namespace quorvalis::test
{
namespace
{

// A window with a number edit and a plain edit to move the focus to.
class FloatEditTest : public FormsTest
{
protected:
    void SetUp() override
    {
        FormsTest::SetUp();
        window = std::make_unique<QWidget>();
        edit = new GFloatEdit(window.get());
        other = new QLineEdit(window.get());
        other->move(0, 40);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
    }
    void TearDown() override
    {
        SetDecimalSeparator('.');
        window.reset();
        FormsTest::TearDown();
    }
    // Types into the edit with the given selection and caret, returning the text.
    QString Type(const QString& start, const char* keys, bool selectAll, int caret = -1)
    {
        edit->setText(start);
        if (selectAll)
            edit->selectAll();
        else
            edit->setCursorPosition(caret < 0 ? static_cast<int>(start.size()) : caret);
        QTest::keyClicks(edit, QString::fromLatin1(keys));
        return edit->text();
    }
    void Leave() { other->setFocus(Qt::TabFocusReason); }

    std::unique_ptr<QWidget> window;
    GFloatEdit* edit = nullptr;
    QLineEdit* other = nullptr;
};

TEST_F(FloatEditTest, KeyFilterTakesOnlyWhatCanMakeANumber)
{
    struct Row
    {
        const char* start;
        const char* keys;
        bool selectAll;
        int caret;
        const char* expected;
    };
    const Row rows[] = {
        {"", "12a.5x", false, -1, "12.5"}, // letters are dropped
        {"12.5", ".", false, -1, "12.5"},  // a second point is ignored
        {"12.5", ".", true, -1, "."},      // ... unless it replaces the whole text
        {"5", "-", false, 0, "5"},         // a sign only into an empty text
        {"", "-3", false, -1, "-3"},       //
        {"5", "+7", true, -1, "+7"},       // or one wholly selected
        {"12.5", "7", false, -1, "12.57"}, // digits always
        {"", "1e5", false, -1, "15"},      // no exponent letter
        {"", "2,5", false, -1, "25"},      // "," is no separator in a "." locale
    };
    for (const Row& row : rows)
        EXPECT_EQ(Type(row.start, row.keys, row.selectAll, row.caret), row.expected)
            << row.start << " + " << row.keys;
}

TEST_F(FloatEditTest, LeavingShowsTheValueThroughItsPicture)
{
    edit->SetFormat("0.000#######");
    Type("", "2", false);
    Leave();
    EXPECT_EQ(edit->text(), "2.000");
    EXPECT_DOUBLE_EQ(edit->Value(), 2.0);

    edit->setFocus();
    Type("", "-12.3456789012345", false);
    Leave();
    EXPECT_EQ(edit->text(), "-12.3456789012");
    EXPECT_TRUE(Errors().empty());

    // Text that is no number stays and the error box says so; its value reads 0.
    edit->setFocus();
    Type("", "-", false);
    Leave();
    EXPECT_EQ(edit->text(), "-");
    EXPECT_EQ(Errors(), std::vector<std::string>{kInvalidNumericFormatMessage});
    EXPECT_EQ(edit->Value(), 0.0);
}

TEST_F(FloatEditTest, ACommaLocaleTypesAndReadsBothSeparators)
{
    SetDecimalSeparator(',');
    edit->SetFormat("0.000");
    EXPECT_EQ(Type("", "2,5", false), "2,5");
    EXPECT_DOUBLE_EQ(edit->Value(), 2.5);
    EXPECT_EQ(Type("", "2.5", false), "2.5");
    EXPECT_DOUBLE_EQ(edit->Value(), 2.5);
    // One separator only, whichever was typed first.
    EXPECT_EQ(Type("2,5", ".", false), "2,5");
    EXPECT_EQ(Type("2.5", ",", false), "2.5");
    Leave();
    EXPECT_EQ(edit->text(), "2,500");
    edit->SetValue(-0.1234);
    EXPECT_EQ(edit->text(), "-0,123");
    EXPECT_DOUBLE_EQ(edit->Value(), -0.123);
    EXPECT_TRUE(Errors().empty());
}

TEST(ShortenPathTest, AShortPathIsWholeALongOneLosesTheEndOfItsFolder)
{
    EnsureApplication();
    const QFontMetrics metrics(QApplication::font());
    const QString path = QStringLiteral("/home/surveyor/jobs/2024/pretoria east/job-lines.shp");
    EXPECT_EQ(ShortenPath(path, metrics.horizontalAdvance(path) + 1, metrics), path);

    const int width = metrics.horizontalAdvance(QStringLiteral("/home/surveyor/job-lines.shp"));
    const QString shortened = ShortenPath(path, width, metrics);
    EXPECT_LT(metrics.horizontalAdvance(shortened), width);
    EXPECT_TRUE(shortened.endsWith(QStringLiteral(".../job-lines.shp"))) << shortened.toStdString();
    EXPECT_TRUE(path.startsWith(shortened.left(shortened.indexOf(QStringLiteral("...")))));

    // Nothing of the folder fits: only the ellipsis and the name are left.
    EXPECT_EQ(ShortenPath(path, 1, metrics), QStringLiteral(".../job-lines.shp"));
    EXPECT_EQ(ShortenPath(QStringLiteral("C:\\JOBS\\A.SHP"), 1, metrics),
              QStringLiteral("...\\A.SHP"));
}

TEST(ProgressTest, TheWindowLivesFromTheFirstToTheLastStep)
{
    EnsureApplication();
    ShowProgressStep(1, 200, "Transforming shapes");
    ASSERT_NE(ProgressWindow(), nullptr);
    EXPECT_EQ(ProgressWindow()->windowTitle(), "Operation Progress");
    EXPECT_EQ(Child<QLabel>(*ProgressWindow(), "lblInformation").text(), "Transforming shapes");
    auto& bar = Child<QProgressBar>(*ProgressWindow(), "pgbProgress");
    EXPECT_EQ(bar.value(), 0);
    EXPECT_EQ(bar.maximum(), 100);
    ShowProgressStep(100, 200, "Transforming shapes");
    EXPECT_EQ(bar.value(), 50);
    EXPECT_EQ(ProgressWindow()->Position(), 50);
    ShowProgressStep(199, 200, "Transforming shapes");
    EXPECT_EQ(bar.value(), 99);
    ShowProgressStep(200, 200, "Transforming shapes");
    EXPECT_EQ(ProgressWindow(), nullptr);

    // A one-step job and a total of 0 show nothing.
    ShowProgressStep(1, 1, "One");
    EXPECT_EQ(ProgressWindow(), nullptr);
    ShowProgressStep(1, 0, "None");
    EXPECT_EQ(ProgressWindow(), nullptr);
    // A later step without a window shows one where the operation is.
    ShowProgressStep(3, 4, "Late");
    ASSERT_NE(ProgressWindow(), nullptr);
    EXPECT_EQ(ProgressWindow()->Position(), 75);
    ShowProgressStep(4, 4, "Late");
    EXPECT_EQ(ProgressWindow(), nullptr);
}

using SmallDialogTest = FormsTest;

TEST_F(SmallDialogTest, ChooseStringNeedsASelectedItem)
{
    std::string choice = "unchanged";
    WhenModal(
        [](QWidget& dialog)
        {
            EXPECT_EQ(dialog.windowTitle(), "Clarke Identity Field");
            QTest::mouseClick(&Child<QPushButton>(dialog, "btnOk"), Qt::LeftButton);
            auto& list = Child<QListWidget>(dialog, "lstStrings");
            EXPECT_EQ(list.count(), 3);
            EXPECT_TRUE(dialog.isVisible()); // refused, still open
            list.setCurrentRow(1);
            QTest::mouseClick(&Child<QPushButton>(dialog, "btnOk"), Qt::LeftButton);
        });
    EXPECT_TRUE(ChooseString("Clarke Identity Field", {"NAME", "LABEL", "ID"}, choice));
    EXPECT_EQ(choice, "LABEL");
    EXPECT_EQ(Errors(), std::vector<std::string>{kSelectValidItemMessage});

    WhenModal([](QWidget& dialog)
              { QTest::mouseClick(&Child<QPushButton>(dialog, "btnCancel"), Qt::LeftButton); });
    EXPECT_FALSE(ChooseString("Any", {"A"}, choice));
    EXPECT_EQ(choice, "LABEL");

    // A double click chooses at once.
    WhenModal(
        [](QWidget& dialog)
        {
            auto& list = Child<QListWidget>(dialog, "lstStrings");
            QListWidgetItem* item = list.item(0);
            list.setCurrentItem(item);
            emit list.itemDoubleClicked(item);
        });
    EXPECT_TRUE(ChooseString("Any", {"FIRST", "SECOND"}, choice));
    EXPECT_EQ(choice, "FIRST");
}

TEST_F(SmallDialogTest, ImportFileFormatCodes)
{
    TfrmImportFileFormat dialog;
    EXPECT_EQ(dialog.Format(), 0);
    EXPECT_TRUE(Child<QRadioButton>(dialog, "rbEMail").isChecked());
    EXPECT_EQ(Child<QRadioButton>(dialog, "rbDataSource").text(), "&Halvec 2.0 DataSource");
    dialog.SetFormat(2);
    EXPECT_TRUE(Child<QRadioButton>(dialog, "rbDataSource").isChecked());
    dialog.SetFormat(7); // out of range: the first
    EXPECT_EQ(dialog.Format(), 0);
}

TEST_F(SmallDialogTest, InformationWindowShowsTheAboutText)
{
    TfrmApplicationInformation dialog;
    dialog.SetFileName(std::string(QUORVALIS_SOURCE_DIR) + "/Resource/Quorvalis.html");
    const QString text = Child<QTextBrowser>(dialog, "edtInformation").toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("Quorvalis"))) << text.toStdString();

    EXPECT_THROW(dialog.SetFileName((Folder / "missing.html").string()),
                 GApplicationInformationException);
    EXPECT_TRUE(Child<QTextBrowser>(dialog, "edtInformation").toPlainText().isEmpty());
}

TEST_F(SmallDialogTest, SplashNamesAMissingPicture)
{
    TfrmOpening splash;
    EXPECT_EQ(splash.size(), QSize(272, 270));
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    splash.LoadPicture("Resource/Quorvalis.BMP"); // relative to a current folder without it
    EXPECT_FALSE(splash.HasPicture());
    EXPECT_EQ(splash.PictureText(), "QUORVALIS.BMP");
    splash.LoadPicture(std::string(QUORVALIS_SOURCE_DIR) + "/Resource/Quorvalis.BMP");
    EXPECT_TRUE(splash.HasPicture());
    EXPECT_TRUE(splash.PictureText().isEmpty());
    // A file that is no picture counts as missing.
    std::ofstream(Folder / "broken.bmp") << "not a picture";
    splash.LoadPicture((Folder / "broken.bmp").string());
    EXPECT_FALSE(splash.HasPicture());
    EXPECT_EQ(splash.PictureText(), "BROKEN.BMP");
}

TEST(MessageTextTest, CarriageReturnsBreakLines)
{
    EXPECT_EQ(MessageText("one\rtwo\r\nthree"), "one\ntwo\nthree");
    EXPECT_EQ(QtFileFilter("Text Files (*.txt)|*.txt|Ascii Files|*.asc;*.asc2|All Files (*.*)|*.*"),
              "Text Files (*.txt);;Ascii Files (*.asc *.asc2);;All Files (*.*)");
    EXPECT_EQ(QtFileFilter("Dangling"), "");
}

} // namespace
} // namespace quorvalis::test
