// The transformation method dialog.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui
{
class TfrmProjectTransformation;
}

namespace quorvalis
{

/// "Project Transformation Method": control coordinates (rbCalculated, 0) or Helmert (rbHelmert,
/// 1), each with its explanation; Ok focused.
class TfrmProjectTransformation : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmProjectTransformation(QWidget* parent = nullptr);
    ~TfrmProjectTransformation() override;

    /// 0 when "Control Coordinate Transformation" is chosen, else 1.
    std::uint8_t Method() const;
    /// 0 chooses the control coordinates, anything else the Helmert transformation.
    void SetMethod(std::uint8_t method);

private:
    std::unique_ptr<Ui::TfrmProjectTransformation> ui_;
};

} // namespace quorvalis
