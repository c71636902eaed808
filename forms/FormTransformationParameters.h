// The parameters of the control-coordinate transformation.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class TfrmTransformationParameters;
}

namespace quorvalis
{

struct GTransformationParameters;

/// "Transformation Parameters": the Lo of the plane of the fit (edtLocalOrigin, picture "0.####")
/// and the 1/distance weighting (chkApplyWeighting). Ok refuses a Lo that is not one.
class TfrmTransformationParameters : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmTransformationParameters(QWidget* parent = nullptr);
    ~TfrmTransformationParameters() override;

    GTransformationParameters Values() const;
    void SetValues(const GTransformationParameters& values);
    void accept() override;

private:
    std::unique_ptr<Ui::TfrmTransformationParameters> ui_;
};

} // namespace quorvalis
