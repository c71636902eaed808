#include "forms/Application.h"

#include "forms/DataSourceDialogs.h"
#include "forms/FormApplicationInformation.h"
#include "forms/FormApplicationSetup.h"
#include "forms/FormControlFileCoordinateImport.h"
#include "forms/FormControlFileManager.h"
#include "forms/FormGeodeticCoordinate.h"
#include "forms/FormGeographicCoordinate.h"
#include "forms/FormImportFileFormat.h"
#include "forms/FormMain.h"
#include "forms/FormOpening.h"
#include "forms/MessageBoxes.h"
#include "geometry/NumberFormat.h"
#include "project/WinRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QThread>

#include <exception>

namespace quorvalis
{

namespace
{

constexpr char kInstallValue[] = "Install";
constexpr char kSplashPicture[] = "Resource/Quorvalis.BMP";

bool Exists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
}

std::string WithSlash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder;
}

} // namespace

GApplication::GApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setOrganizationName(QStringLiteral("Tarnex"));
    setApplicationName(QStringLiteral("Quorvalis"));
    setProperty("title", QString::fromLatin1(kApplicationTitle));
    setDesktopFileName(QStringLiteral("quorvalis"));
    setWindowIcon(QIcon(QStringLiteral(":/quorvalis.png")));
}

bool GApplication::notify(QObject* receiver, QEvent* event)
{
    try
    {
        return QApplication::notify(receiver, event);
    }
    catch (const std::exception& error)
    {
        ShowApplicationError(error.what());
    }
    catch (...)
    {
        ShowApplicationError("Unknown error.");
    }
    return false;
}

std::string InstallFolder()
{
    return WithSlash(GRegistry().ReadString(kInstallValue, ""));
}

std::vector<std::string> ResourceFolderCandidates()
{
    std::vector<std::string> folders;
    const QString program = QCoreApplication::applicationDirPath();
    if (!program.isEmpty())
    {
        folders.push_back(
            QDir::cleanPath(program + QStringLiteral("/../share/quorvalis")).toStdString());
        folders.push_back(QDir::cleanPath(program).toStdString());
    }
#ifdef QUORVALIS_SOURCE_FOLDER
    folders.push_back(QUORVALIS_SOURCE_FOLDER);
#endif
    return folders;
}

std::string StoreInstallFolder()
{
    GRegistry registry;
    if (registry.ValueExists(kInstallValue))
        return {};
    for (const std::string& folder : ResourceFolderCandidates())
    {
        if (!Exists(WithSlash(folder) + kSplashPicture))
            continue;
        const std::string stored = WithSlash(folder);
        registry.WriteString(kInstallValue, stored);
        return stored;
    }
    return {};
}

std::string ManualPage(const std::string& page)
{
    std::vector<std::string> files;
    const QString program = QCoreApplication::applicationDirPath();
    if (!program.isEmpty())
        files.push_back(
            QDir::cleanPath(program + QStringLiteral("/../share/quorvalis/manual/")).toStdString() +
            "/" + page);
    const std::string install = InstallFolder();
    files.push_back(install + "manual/" + page);
    files.push_back(install + "docs/manual/" + page);
    for (const std::string& file : files)
        if (Exists(file))
            return QFileInfo(QString::fromStdString(file)).absoluteFilePath().toStdString();
    return {};
}

void UseLocaleDecimalSeparator()
{
    const QString point = QLocale::system().decimalPoint();
    const bool single = point.size() == 1 && point[0].unicode() < 128;
    SetDecimalSeparator(single ? point[0].toLatin1() : '.');
}

GApplicationWindows::GApplicationWindows() = default;
GApplicationWindows::GApplicationWindows(GApplicationWindows&&) noexcept = default;
GApplicationWindows& GApplicationWindows::operator=(GApplicationWindows&&) noexcept = default;

GApplicationWindows::~GApplicationWindows()
{
    // The dialogs first: they are children of the main window.
    ApplicationSetup.reset();
    ApplicationInformation.reset();
    ControlFileManager.reset();
    ControlFileCoordinateImport.reset();
    GeographicCoordinate.reset();
    GeodeticCoordinate.reset();
    ImportFileFormat.reset();
    Main.reset();
}

GApplicationWindows StartApplication(int splashMilliseconds)
{
    InstallDataSourceDialogs();
    UseLocaleDecimalSeparator();
    StoreInstallFolder();

    GApplicationWindows windows;
    windows.Main = std::make_unique<TfrmMain>();
    auto splash = std::make_unique<TfrmOpening>();
    windows.ImportFileFormat = std::make_unique<TfrmImportFileFormat>(windows.Main.get());
    windows.Main->SetImportFileFormat(windows.ImportFileFormat.get());

    windows.Main->ShowAtOnce();
    splash->LoadPicture(InstallFolder() + kSplashPicture);
    splash->ShowAtOnce();
    QThread::msleep(static_cast<unsigned long>(std::max(splashMilliseconds, 0)));

    TfrmMain* main = windows.Main.get();
    windows.GeodeticCoordinate = std::make_unique<TfrmGeodeticCoordinate>(main);
    windows.GeographicCoordinate = std::make_unique<TfrmGeographicCoordinate>(main);
    windows.ControlFileCoordinateImport = std::make_unique<TfrmControlFileCoordinateImport>(main);
    windows.ControlFileManager = std::make_unique<TfrmControlFileManager>(main);
    windows.ControlFileManager->SetCoordinateDialogs(windows.GeodeticCoordinate.get(),
                                                     windows.GeographicCoordinate.get());
    main->SetControlFileDialogs(windows.ControlFileCoordinateImport.get(),
                                windows.ControlFileManager.get());
    windows.ApplicationInformation =
        std::make_unique<TfrmApplicationInformation>(windows.Main.get());
    windows.Main->SetApplicationInformation(windows.ApplicationInformation.get());
    windows.ApplicationSetup = std::make_unique<TfrmApplicationSetup>(windows.Main.get());
    windows.Main->SetApplicationSetup(windows.ApplicationSetup.get());

    splash.reset();
    return windows;
}

} // namespace quorvalis
