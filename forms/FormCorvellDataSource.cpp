#include "forms/FormCorvellDataSource.h"

#include "database/CorvellDatabase.h"
#include "ui_FormCorvellDataSource.h"

namespace quorvalis
{

TfrmCorvellDataSource::TfrmCorvellDataSource(QWidget* parent)
    : GFileDataSourceDialog(parent), ui_(std::make_unique<Ui::TfrmCorvellDataSource>())
{
    ui_->setupUi(this);
    Attach(ui_->pnlCorvellName, ui_->btnBrowse, ui_->cbReadOnly, ui_->btnOk, ui_->btnCancel,
           GFileDialog{.Title = "Corvell Files...",
                       .DefaultExtension = "crd",
                       .Filter = "Corvell Files (*.crd)|*.crd",
                       .FileName = {},
                       .OverwritePrompt = false,
                       .MustExist = true},
           kSelectValidCorvellFileMessage);
}

TfrmCorvellDataSource::~TfrmCorvellDataSource() = default;

bool ShowCorvellDataSourceDialog(GCorvellDataSourceSettings& settings)
{
    return ShowFileDataSourceDialog<TfrmCorvellDataSource>(settings);
}

} // namespace quorvalis
