// The application object, the installation folder and the Qt user interface.
#include "FormsTestSupport.h"

#include "database/ShapefileDatabase.h"
#include "forms/Application.h"
#include "forms/DataSourceDialogs.h"
#include "forms/QtUserInterface.h"
#include "project/ImportCommand.h"
#include "project/WinRegistry.h"

#include <QEvent>

#include <stdexcept>

namespace quorvalis::test
{
namespace
{

// An object whose event handler fails, as a command's step might.
class FailingObject : public QObject
{
public:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            throw std::runtime_error("The transformation in not valid");
        return QObject::event(event);
    }
};

using ApplicationTest = FormsTest;

TEST_F(ApplicationTest, AnErrorInAnEventIsShownAndGoesNoFurther)
{
    FailingObject failing;
    QEvent event(QEvent::User);
    EXPECT_NO_THROW(QCoreApplication::sendEvent(&failing, &event));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].first, GMessageKind::Application);
    EXPECT_EQ(Boxes[0].second, "The transformation in not valid");
    EXPECT_FALSE(RunGuarded([] { throw std::logic_error("second"); }));
    EXPECT_EQ(Boxes.back().second, "second");
}

TEST_F(ApplicationTest, FirstStartStoresTheFolderOfTheResources)
{
    EXPECT_EQ(InstallFolder(), "");
    const std::string stored = StoreInstallFolder();
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(stored + "Resource/Quorvalis.BMP"));
    EXPECT_EQ(InstallFolder(), stored);
    // A stored value is never replaced, and gets its separator when read.
    GRegistry().WriteString("Install", "/opt/quorvalis");
    EXPECT_EQ(StoreInstallFolder(), "");
    EXPECT_EQ(InstallFolder(), "/opt/quorvalis/");
    GRegistry().WriteString("Install", QUORVALIS_SOURCE_DIR);
    EXPECT_FALSE(ManualPage("index.html").empty());
    EXPECT_EQ(ManualPage("no-such-page.html"), "");
}

TEST_F(ApplicationTest, UserInterfaceBoxesCursorAndSources)
{
    InstallDataSourceDialogs();
    GQtUserInterface ui;
    ui.ShowWarning("one\rtwo");
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].first, GMessageKind::Warning);

    ui.SetHourglass(true);
    ui.SetHourglass(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.SetHourglass(false);
    EXPECT_NE(QApplication::overrideCursor(), nullptr); // nested: still waiting
    ui.SetHourglass(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The import's sources are read-only and stay so; the transform's data is writable.
    GShapefileDataSourceSettings seen;
    SetShapefileDataSourceDialog(
        [&](GShapefileDataSourceSettings& settings)
        {
            seen = settings;
            settings.FileName = Sample("job-points.shp");
            return true;
        });
    const auto chooseShapefile = [](QWidget& chooser) { Press(chooser, "btnOk"); };
    WhenModal(chooseShapefile);
    std::unique_ptr<GRecordSet> source = ui.ChooseDataSource(kClarkeDataSourceCaption);
    ASSERT_NE(source, nullptr);
    EXPECT_TRUE(seen.ReadOnly);
    EXPECT_FALSE(seen.ReadOnlyEditable);
    WhenModal(chooseShapefile);
    std::unique_ptr<GRecordSet> data = ui.ChooseDataSource(kTransformDataSourceCaption);
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(seen.ReadOnly);
    EXPECT_FALSE(data->GetReadOnly());
    RemoveDataSourceDialogs();
}

} // namespace
} // namespace quorvalis::test
