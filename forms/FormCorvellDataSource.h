// The data source dialog of coordinate list files.
#pragma once

#include "forms/FileDataSourceDialog.h"

#include <memory>

namespace Ui
{
class TfrmCorvellDataSource;
}

namespace quorvalis
{

struct GCorvellDataSourceSettings;

/// "Corvell DataSource": the file panel, its browse button ("Corvell Files..."), the read-only
/// box, Ok (focused) and Cancel. Ok without an existing file says "You must select a valid
/// Corvell file!".
class TfrmCorvellDataSource : public GFileDataSourceDialog
{
    Q_OBJECT

public:
    explicit TfrmCorvellDataSource(QWidget* parent = nullptr);
    ~TfrmCorvellDataSource() override;

private:
    std::unique_ptr<Ui::TfrmCorvellDataSource> ui_;
};

inline constexpr char kSelectValidCorvellFileMessage[] = "You must select a valid Corvell file!";

/// The factory's dialog: shows the settings, gives them back on Ok.
bool ShowCorvellDataSourceDialog(GCorvellDataSourceSettings& settings);

} // namespace quorvalis
