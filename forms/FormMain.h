// The main window: the menu of commands, the status bar with the hint of the moment, and the
// project that every command works on.
#pragma once

#include <QMainWindow>

#include <memory>
#include <string>

namespace Ui
{
class TfrmMain;
}

namespace quorvalis
{

class GProject;

class GQtUserInterface;
class TfrmApplicationInformation;
class TfrmApplicationSetup;
class TfrmControlFileCoordinateImport;
class TfrmControlFileManager;
class TfrmImportFileFormat;

/// "Clarke 1880 to WGS'84 Transformation": no document area, only the menu (File, Setup with
/// its Control File submenu, Help) and a status bar whose one panel shows the hint of the menu
/// item under the pointer. Owns the project and the user interface of its commands.
class TfrmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    GProject& Project() { return *project_; }
    GQtUserInterface& UserInterface() { return *ui_; }

    /// The long-lived dialogs the commands show (not owned).
    void SetImportFileFormat(TfrmImportFileFormat* dialog);
    void SetApplicationInformation(TfrmApplicationInformation* dialog);
    void SetApplicationSetup(TfrmApplicationSetup* dialog);
    void SetControlFileDialogs(TfrmControlFileCoordinateImport* importReview,
                               TfrmControlFileManager* manager);

    /// Centres the window on the screen, shows it and paints it at once.
    void ShowAtOnce();

    // The commands of the menu.
    void TransformClarke1880toWGS84();
    void TransformWGS84toClarke1880();
    void Defaults();
    void ControlFileManager();
    void ImportTrigBeacons();
    void ImportTownSurveyMarks();
    void Contents();
    void Index();
    void About();

private:
    void OpenManual(const std::string& page);

    std::unique_ptr<Ui::TfrmMain> form_;
    std::unique_ptr<GProject> project_;
    std::unique_ptr<GQtUserInterface> ui_;
    TfrmApplicationInformation* information_ = nullptr;
    TfrmApplicationSetup* setup_ = nullptr;
    TfrmControlFileCoordinateImport* importReview_ = nullptr;
    TfrmControlFileManager* manager_ = nullptr;
};

} // namespace quorvalis
