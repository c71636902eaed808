#include "forms/QtUserInterface.h"

#include "database/Database.h"
#include "forms/FileDialogs.h"
#include "forms/FormChooseString.h"
#include "forms/FormConfirmation.h"
#include "forms/FormControlFileCoordinateImport.h"
#include "forms/FormHelmertTransformationParameters.h"
#include "forms/FormImportFileFormat.h"
#include "forms/FormProgress.h"
#include "forms/FormProjectParameters.h"
#include "forms/FormProjectTransformation.h"
#include "forms/FormRecordSetDataSource.h"
#include "forms/FormTransformationOutput.h"
#include "forms/FormTransformationParameters.h"
#include "forms/FormTrigBeacons.h"
#include "forms/FormTrigSelection.h"
#include "forms/MessageBoxes.h"
#include "project/TransformCommand.h"

#include <QApplication>
#include <QCursor>

namespace quorvalis
{

GQtUserInterface::GQtUserInterface(QWidget* owner, TfrmImportFileFormat* importFileFormat)
    : owner_(owner), importFileFormat_(importFileFormat)
{
}

void GQtUserInterface::ShowError(const std::string& message)
{
    ShowErrorBox(message);
}

void GQtUserInterface::ShowInformation(const std::string& message)
{
    ShowInformationBox(message);
}

void GQtUserInterface::ShowWarning(const std::string& message)
{
    ShowWarningBox(message);
}

void GQtUserInterface::SetHourglass(bool on)
{
    if (on)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
}

void GQtUserInterface::ShowProgress(int position, int total, const std::string& caption)
{
    ShowProgressStep(position, total, caption);
}

void GQtUserInterface::Repaint()
{
    if (owner_)
        owner_->repaint();
}

std::unique_ptr<GRecordSet> GQtUserInterface::ChooseDataSource(const std::string& caption)
{
    // The transform command changes its data; the import only reads its two sources.
    const bool readOnly = caption != kTransformDataSourceCaption;
    return CreateRecordSet(readOnly, false, caption);
}

// --- Questions of the transform command ----------------------------------------------------

bool GQtUserInterface::EditProjectParameters(GProject& project, GProjectParameters& values)
{
    TfrmProjectParameters dialog(owner_);
    dialog.SetProject(&project);
    dialog.SetValues(values);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    values = dialog.Values();
    return true;
}

bool GQtUserInterface::EditTransformationMethod(std::uint8_t& projectTransformation)
{
    TfrmProjectTransformation dialog(owner_);
    dialog.SetMethod(projectTransformation);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    projectTransformation = dialog.Method();
    return true;
}

bool GQtUserInterface::EditTransformationParameters(GTransformationParameters& values)
{
    TfrmTransformationParameters dialog(owner_);
    dialog.SetValues(values);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    values = dialog.Values();
    return true;
}

bool GQtUserInterface::EditHelmertParameters(GHelmertParameters& values)
{
    TfrmHelmertTransformationParameters dialog(owner_);
    dialog.SetValues(values);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    values = dialog.Values();
    return true;
}

bool GQtUserInterface::ChooseSelectionStrategy(GSelectionStrategy& strategy)
{
    // The dialog opens with its own initial values every time.
    TfrmTrigSelection dialog(owner_);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    strategy = dialog.Values();
    return true;
}

bool GQtUserInterface::ReviewControlBeacons(GTrigBeaconList& beacons, double lo,
                                            const GPoint& centre, const GRectangle& extent)
{
    TfrmTrigBeacons dialog(owner_);
    dialog.SetBeacons(beacons, lo, centre, &extent);
    return dialog.exec() == QDialog::Accepted;
}

bool GQtUserInterface::EditTransformationOutput(GOutputChoice& choice)
{
    TfrmTransformationOutput dialog(owner_);
    dialog.SetLabelFields(choice.LabelFields);
    dialog.SetLabelField(choice.LabelField);
    dialog.SetOutput(choice.Output);
    dialog.SetOutputMode(choice.OutputMode);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice.LabelField = dialog.LabelField();
    choice.Output = dialog.Output();
    choice.OutputMode = dialog.OutputMode();
    return true;
}

bool GQtUserInterface::ConfirmRun(bool& alwaysShow, const std::vector<std::string>& doubts)
{
    TfrmConfirmation dialog(owner_);
    dialog.SetAlwaysShow(alwaysShow);
    dialog.SetDoubts(doubts);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    alwaysShow = dialog.AlwaysShow();
    return true;
}

// --- Dialogs of this program ---------------------------------------------------------------

bool GQtUserInterface::ChooseSaveFile(GFileDialog& dialog)
{
    return RunFileDialog(dialog, GFileDialogMode::Save, owner_);
}

bool GQtUserInterface::ChooseImportFormat(std::int32_t& format)
{
    if (importFileFormat_)
    {
        if (importFileFormat_->exec() != QDialog::Accepted)
            return false;
        format = importFileFormat_->Format();
        return true;
    }
    TfrmImportFileFormat dialog(owner_);
    dialog.SetFormat(format);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    format = dialog.Format();
    return true;
}

bool GQtUserInterface::ChooseOpenFile(GFileDialog& dialog)
{
    return RunFileDialog(dialog, GFileDialogMode::Open, owner_);
}

bool GQtUserInterface::ReviewImport(GImportReview& review)
{
    if (!review.Beacons)
        return false;
    std::unique_ptr<TfrmControlFileCoordinateImport> own;
    TfrmControlFileCoordinateImport* dialog = importReview_;
    if (!dialog)
    {
        own = std::make_unique<TfrmControlFileCoordinateImport>(owner_);
        dialog = own.get();
    }
    dialog->SetBeacons(review.Beacons);
    dialog->SetControlDistance(review.ControlDistance);
    dialog->SetLocalOrigin(review.LocalOrigin);
    dialog->SetClarkeFileName(review.ClarkeSource);
    dialog->SetWGSFileName(review.WGSSource);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    dialog->SetBeacons(nullptr);
    if (accepted)
        review.LocalOrigin = dialog->LocalOrigin();
    return accepted;
}

void GQtUserInterface::SetImportReview(TfrmControlFileCoordinateImport* dialog)
{
    importReview_ = dialog;
}

bool GQtUserInterface::ChooseString(const std::string& title, const std::vector<std::string>& items,
                                    std::string& choice)
{
    return quorvalis::ChooseString(title, items, choice, owner_);
}

} // namespace quorvalis
