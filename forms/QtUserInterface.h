// The model's user interface in windows: message boxes, the hourglass, the progress window, the
// data source and file dialogs, and the dialogs of the transform and import commands.
#pragma once

#include "project/UserInterface.h"

#include <QPointer>
#include <QWidget>

namespace quorvalis
{

class TfrmControlFileCoordinateImport;
class TfrmImportFileFormat;

class GQtUserInterface : public GUserInterface
{
public:
    /// owner: the window the dialogs belong to and Repaint repaints (may be null);
    /// importFileFormat: the long-lived import file format dialog (not owned; null: one is
    /// created for each question).
    explicit GQtUserInterface(QWidget* owner = nullptr,
                              TfrmImportFileFormat* importFileFormat = nullptr);

    void ShowError(const std::string& message) override;
    void ShowInformation(const std::string& message) override;
    void ShowWarning(const std::string& message) override;
    /// The wait cursor over the whole application; calls nest.
    void SetHourglass(bool on) override;
    void ShowProgress(int position, int total, const std::string& caption) override;
    void Repaint() override;

    /// The chooser and the chosen kind's dialog; the import's sources are read-only.
    std::unique_ptr<GRecordSet> ChooseDataSource(const std::string& caption) override;
    bool EditProjectParameters(GProject& project, GProjectParameters& values) override;
    bool EditTransformationMethod(std::uint8_t& projectTransformation) override;
    bool EditTransformationParameters(GTransformationParameters& values) override;
    bool EditHelmertParameters(GHelmertParameters& values) override;
    bool ChooseSelectionStrategy(GSelectionStrategy& strategy) override;
    bool ReviewControlBeacons(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                              const GRectangle& extent) override;
    bool EditTransformationOutput(GOutputChoice& choice) override;
    bool ChooseSaveFile(GFileDialog& dialog) override;
    bool ConfirmRun(bool& alwaysShow, const std::vector<std::string>& doubts) override;

    /// The long-lived import file format dialog keeps the user's last choice between imports.
    bool ChooseImportFormat(std::int32_t& format) override;
    bool ChooseOpenFile(GFileDialog& dialog) override;
    bool ChooseString(const std::string& title, const std::vector<std::string>& items,
                      std::string& choice) override;
    /// The control file coordinate import dialog (the long-lived one when set, otherwise one for
    /// the question).
    bool ReviewImport(GImportReview& review) override;
    /// The long-lived control file coordinate import dialog (not owned; null: one is created
    /// for each review).
    void SetImportReview(TfrmControlFileCoordinateImport* dialog);

private:
    QPointer<QWidget> owner_;
    QPointer<TfrmImportFileFormat> importFileFormat_;
    QPointer<TfrmControlFileCoordinateImport> importReview_;
};

} // namespace quorvalis
