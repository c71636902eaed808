// The windowed application: the Qt application object that shows every error no step handled,
// the installation folder with the program's resources, and the start-up sequence.
#pragma once

#include <QApplication>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{

class TfrmApplicationInformation;
class TfrmApplicationSetup;
class TfrmControlFileCoordinateImport;
class TfrmControlFileManager;
class TfrmGeodeticCoordinate;
class TfrmGeographicCoordinate;
class TfrmImportFileFormat;
class TfrmMain;

/// Errors of the application unit: a help page or resource that cannot be found or opened.
class GApplicationException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The application object. An error that escapes an event handler is shown in the
/// application's error box with its own message and goes no further, so no error crosses the
/// event loop.
class GApplication : public QApplication
{
    Q_OBJECT

public:
    GApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

/// The installation folder: the stored "Install" value with a "/" appended when it is not empty
/// and does not end with one ("" when there is none: resources are then looked for from the
/// current folder).
std::string InstallFolder();
/// The folders a program finds its resources in, most specific first: beside an installed
/// program (<prefix>/share/quorvalis), the program's own folder, and the source tree the program
/// was built from.
std::vector<std::string> ResourceFolderCandidates();
/// "Install" on first start: when no value is stored, stores the first candidate folder that
/// holds "Resource/Quorvalis.BMP" (nothing when none does). Returns the folder stored, if any.
std::string StoreInstallFolder();
/// The path of a page of the HTML manual: beside an installed program, then in the installation
/// folder ("manual/" or "docs/manual/"); empty when none exists.
std::string ManualPage(const std::string& page);
/// Takes the decimal separator numbers are shown with from the user's locale.
void UseLocaleDecimalSeparator();

/// The windows of a running application; the dialogs live as long as the main window.
struct GApplicationWindows
{
    std::unique_ptr<TfrmMain> Main;
    std::unique_ptr<TfrmImportFileFormat> ImportFileFormat;
    std::unique_ptr<TfrmGeodeticCoordinate> GeodeticCoordinate;
    std::unique_ptr<TfrmGeographicCoordinate> GeographicCoordinate;
    std::unique_ptr<TfrmControlFileCoordinateImport> ControlFileCoordinateImport;
    std::unique_ptr<TfrmControlFileManager> ControlFileManager;
    std::unique_ptr<TfrmApplicationInformation> ApplicationInformation;
    std::unique_ptr<TfrmApplicationSetup> ApplicationSetup; ///< created last

    GApplicationWindows();
    GApplicationWindows(GApplicationWindows&&) noexcept;
    GApplicationWindows& operator=(GApplicationWindows&&) noexcept;
    ~GApplicationWindows();
};

/// The start-up after the application object exists: the data source dialogs installed, the
/// "Install" value stored on first start, the main window created, then the splash window and
/// the import file format dialog; the main window shown and painted; the splash picture loaded
/// from the installation folder + "Resource/Quorvalis.BMP", shown and painted; a wait of
/// splashMilliseconds without processing messages; the long-lived dialogs created; the splash
/// closed. The caller then runs the message loop.
GApplicationWindows StartApplication(int splashMilliseconds = 2000);

} // namespace quorvalis
