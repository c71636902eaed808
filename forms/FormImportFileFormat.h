// The import file format dialog of the beacon imports.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui
{
class TfrmImportFileFormat;
}

namespace quorvalis
{

/// "Import File Format": three choices, each with an explanatory line. Created once with the
/// application and reused.
class TfrmImportFileFormat : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmImportFileFormat(QWidget* parent = nullptr);
    ~TfrmImportFileFormat() override;

    /// 0 survey-office e-mail files (rbEMail), 1 comma-delimited text file (rbCommaDelimited),
    /// 2 data sources (rbDataSource). Writing another value chooses the e-mail files.
    std::int32_t Format() const;
    void SetFormat(std::int32_t format);

private:
    std::unique_ptr<Ui::TfrmImportFileFormat> ui_;
};

} // namespace quorvalis
