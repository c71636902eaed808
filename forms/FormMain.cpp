#include "forms/FormMain.h"

#include "forms/Application.h"
#include "forms/FormApplicationInformation.h"
#include "forms/FormApplicationSetup.h"
#include "forms/FormControlFileCoordinateImport.h"
#include "forms/FormControlFileManager.h"
#include "forms/FormImportFileFormat.h"
#include "forms/MessageBoxes.h"
#include "forms/QtUserInterface.h"
#include "forms/WindowPaint.h"
#include "project/ImportCommand.h"
#include "project/Project.h"
#include "project/TransformCommand.h"
#include "ui_FormMain.h"

#include <QDesktopServices>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>

namespace quorvalis
{

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent), form_(std::make_unique<Ui::TfrmMain>()),
      project_(std::make_unique<GProject>()), ui_(std::make_unique<GQtUserInterface>(this))
{
    form_->setupUi(this);
    // No document area: the window is its menu and its status bar, whose one panel is framed.
    form_->pnlCentral->setFixedHeight(0);
    form_->stbMain->setStyleSheet(
        QStringLiteral("QStatusBar { border: 1px solid palette(mid); border-style: inset; }"));
    form_->stbMain->setMinimumHeight(form_->stbMain->fontMetrics().height() + 10);
    setFixedSize(560, form_->mnuMain->sizeHint().height() + form_->stbMain->minimumHeight());
    project_->SetUserInterface(ui_.get());
    // A submenu shows its hint through its entry in the parent menu.
    form_->mnuControlFile->menuAction()->setStatusTip(form_->mnuControlFile->statusTip());

    const auto bind = [this](QAction* action, void (TfrmMain::*command)())
    { connect(action, &QAction::triggered, this, [this, command] { (this->*command)(); }); };
    bind(form_->actTransformClarke1880toWGS84, &TfrmMain::TransformClarke1880toWGS84);
    bind(form_->actTransformWGS84toClarke1880, &TfrmMain::TransformWGS84toClarke1880);
    connect(form_->actExit, &QAction::triggered, this, &TfrmMain::close);
    bind(form_->actDefaults, &TfrmMain::Defaults);
    bind(form_->actControlFileManager, &TfrmMain::ControlFileManager);
    bind(form_->actImportTrigBeacons, &TfrmMain::ImportTrigBeacons);
    bind(form_->actImportTownSurveyMarks, &TfrmMain::ImportTownSurveyMarks);
    bind(form_->actContents, &TfrmMain::Contents);
    bind(form_->actIndex, &TfrmMain::Index);
    bind(form_->actAbout, &TfrmMain::About);
}

TfrmMain::~TfrmMain()
{
    project_->SetUserInterface(nullptr);
}

void TfrmMain::SetImportFileFormat(TfrmImportFileFormat* dialog)
{
    ui_ = std::make_unique<GQtUserInterface>(this, dialog);
    ui_->SetImportReview(importReview_);
    project_->SetUserInterface(ui_.get());
}

void TfrmMain::SetApplicationInformation(TfrmApplicationInformation* dialog)
{
    information_ = dialog;
}

void TfrmMain::SetApplicationSetup(TfrmApplicationSetup* dialog)
{
    setup_ = dialog;
}

void TfrmMain::SetControlFileDialogs(TfrmControlFileCoordinateImport* importReview,
                                     TfrmControlFileManager* manager)
{
    importReview_ = importReview;
    manager_ = manager;
    ui_->SetImportReview(importReview);
}

void TfrmMain::ShowAtOnce()
{
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
    ShowAndPaint(*this);
}

void TfrmMain::TransformClarke1880toWGS84()
{
    RunGuarded([this] { RunTransformCommand(*project_, *ui_, dtCape); });
}

void TfrmMain::TransformWGS84toClarke1880()
{
    RunGuarded([this] { RunTransformCommand(*project_, *ui_, dtHartebeesthoek); });
}

void TfrmMain::Defaults()
{
    RunGuarded(
        [this]
        {
            std::unique_ptr<TfrmApplicationSetup> own;
            TfrmApplicationSetup* dialog = setup_;
            if (!dialog)
            {
                own = std::make_unique<TfrmApplicationSetup>(this);
                dialog = own.get();
            }
            // Filled from the stored settings with their defaults; a stored Lo that is none is
            // offered as 31 and said so.
            std::vector<std::string> warnings;
            dialog->SetSettings(ReadStoredSettings(&warnings));
            for (const std::string& warning : warnings)
                ShowWarningBox(warning);
            if (dialog->exec() == QDialog::Accepted)
                WriteStoredSettings(dialog->Settings());
        });
}

void TfrmMain::ControlFileManager()
{
    RunGuarded(
        [this]
        {
            std::unique_ptr<TfrmControlFileManager> own;
            TfrmControlFileManager* manager = manager_;
            if (!manager)
            {
                own = std::make_unique<TfrmControlFileManager>(this);
                manager = own.get();
            }
            manager->Execute();
        });
}

void TfrmMain::ImportTrigBeacons()
{
    RunGuarded([this] { RunImportCommand(*project_, *ui_, "TRIG"); });
}

void TfrmMain::ImportTownSurveyMarks()
{
    RunGuarded([this] { RunImportCommand(*project_, *ui_, "TSM"); });
}

void TfrmMain::Contents()
{
    OpenManual("index.html");
}

void TfrmMain::Index()
{
    OpenManual("keywords.html");
}

void TfrmMain::OpenManual(const std::string& page)
{
    RunGuarded(
        [&]
        {
            const std::string file = ManualPage(page);
            if (file.empty())
                throw GApplicationException("The help file " + page + " cannot be found.");
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file))))
                throw GApplicationException("Unable to open the help file " + file + ".");
        });
}

void TfrmMain::About()
{
    RunGuarded(
        [this]
        {
            std::unique_ptr<TfrmApplicationInformation> own;
            TfrmApplicationInformation* dialog = information_;
            if (!dialog)
            {
                own = std::make_unique<TfrmApplicationInformation>(this);
                dialog = own.get();
            }
            dialog->SetFileName(InstallFolder() + "Resource/Quorvalis.html");
            dialog->exec();
        });
}

} // namespace quorvalis
