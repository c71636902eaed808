#include "forms/QtUserInterface.h"

#include "database/Database.h"
#include "forms/FileDialogs.h"
#include "forms/FormChooseString.h"
#include "forms/FormControlFileCoordinateImport.h"
#include "forms/FormImportFileFormat.h"
#include "forms/FormProgress.h"
#include "forms/FormRecordSetDataSource.h"
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

// --- Placeholders --------------------------------------------------------------------------
// PLACEHOLDER: the parameter, beacon, output and confirmation dialogs of the transform command
// and the review of an import come with their own windows; until then each question answers as
// a user pressing Cancel, so every command runs through the model and ends cleanly there.

bool GQtUserInterface::EditProjectParameters(GProject&, GProjectParameters&)
{
    return false; // PLACEHOLDER: TfrmProjectParameters
}

bool GQtUserInterface::EditTransformationMethod(std::uint8_t&)
{
    return false; // PLACEHOLDER: TfrmProjectTransformation
}

bool GQtUserInterface::EditTransformationParameters(GTransformationParameters&)
{
    return false; // PLACEHOLDER: TfrmTransformationParameters
}

bool GQtUserInterface::EditHelmertParameters(GHelmertParameters&)
{
    return false; // PLACEHOLDER: TfrmHelmertTransformationParameters
}

bool GQtUserInterface::ChooseSelectionStrategy(GSelectionStrategy&)
{
    return false; // PLACEHOLDER: TfrmTrigSelection
}

bool GQtUserInterface::ReviewControlBeacons(GTrigBeaconList&, double, const GPoint&)
{
    return false; // PLACEHOLDER: TfrmTrigBeacons
}

bool GQtUserInterface::EditTransformationOutput(GOutputChoice&)
{
    return false; // PLACEHOLDER: TfrmTransformationOutput
}

bool GQtUserInterface::ConfirmRun(bool&, const std::vector<std::string>&)
{
    return false; // PLACEHOLDER: TfrmConfirmation
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
