// The parameters of the Helmert transformation: per degree sheet, or the user's own.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class TfrmHelmertTransformationParameters;
}

namespace quorvalis
{

struct GHelmertParameters;

/// "Helmert Transformation Parameters": calculated (rbCalculated, per degree sheet) or user
/// defined (rbUser) with the Lo, the centres of gravity on both datums and the variables a and b.
/// The seven edits are enabled exactly when "User Defined Helmert Transformation" is chosen. Ok
/// refuses a user-defined Lo that is not one.
class TfrmHelmertTransformationParameters : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmHelmertTransformationParameters(QWidget* parent = nullptr);
    ~TfrmHelmertTransformationParameters() override;

    /// HelmertMode 0 for calculated, 1 for user defined.
    GHelmertParameters Values() const;
    void SetValues(const GHelmertParameters& values);
    void accept() override;

private:
    void EnableEdits();

    std::unique_ptr<Ui::TfrmHelmertTransformationParameters> ui_;
};

} // namespace quorvalis
