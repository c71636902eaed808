// The report choice of a run: whether to write one, how much, and the field that labels its
// coordinates.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ui
{
class TfrmTransformationOutput;
}

namespace quorvalis
{

/// "Transformation Output": "&Generate Output" (chkOutput), standard or verbose (lstOutputMode)
/// and "Coo&rdinate Label" (cmbLabelField, a drop-down list that offers only its entries).
class TfrmTransformationOutput : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmTransformationOutput(QWidget* parent = nullptr);
    ~TfrmTransformationOutput() override;

    /// The entries of the label list, in order.
    void SetLabelFields(const std::vector<std::string>& fields);
    /// The chosen entry's text; empty when nothing or "<NONE>" is chosen.
    std::string LabelField() const;
    /// Chooses the entry with this text when there is one.
    void SetLabelField(const std::string& field);
    bool Output() const;
    void SetOutput(bool output);
    /// 0 standard, 1 verbose.
    std::int32_t OutputMode() const;
    void SetOutputMode(std::int32_t mode);

private:
    std::unique_ptr<Ui::TfrmTransformationOutput> ui_;
};

} // namespace quorvalis
