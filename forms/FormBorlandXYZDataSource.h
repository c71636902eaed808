// The data source dialog of engine tables whose points are X, Y and Z columns.
#pragma once

#include "forms/FormBorlandDataSource.h"

#include <memory>

class QWidget;

namespace Ui
{
class TfrmBorlandXYZFields;
}

namespace quorvalis
{

/// The database dialog with three more editable boxes, X, Y and Z Field. The boxes list the
/// integer and floating-point columns of the selected table; they are refilled on show, on a
/// click on a table and after browsing, each keeping its text when that column is still listed.
class TfrmBorlandXYZDataSource : public TfrmBorlandDataSource
{
    Q_OBJECT

public:
    explicit TfrmBorlandXYZDataSource(QWidget* parent = nullptr);
    ~TfrmBorlandXYZDataSource() override;

    void SetSettings(const GBorlandDataSourceSettings& settings) override;
    GBorlandDataSourceSettings Settings() const override;

protected:
    bool IsXYZ() const override { return true; }
    /// Refills the three boxes from the selected table (opened read-only and closed again);
    /// engine errors propagate.
    void TableChosen() override;

private:
    std::unique_ptr<Ui::TfrmBorlandXYZFields> fields_;
};

} // namespace quorvalis
