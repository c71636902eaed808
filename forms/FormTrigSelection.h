// The strategy dialog of the control-coordinate transformation: how the beacons are preselected
// and which classes of beacons are used.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

namespace Ui
{
class TfrmTrigSelection;
}

namespace quorvalis
{

struct GSelectionStrategy;

/// "Transformation Coordinates": buffer (rbBuffer, edtBuffer), count (rbCount, edtCount; the
/// initial choice) or manual (rbManual) preselection, and the three classes (chkTrigBeacons,
/// chkTownSurveyMarks, chkOtherCoordinates). Opens with its initial values every time (count,
/// "10", "25.0", every class); Ok is focused.
class TfrmTrigSelection : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmTrigSelection(QWidget* parent = nullptr);
    ~TfrmTrigSelection() override;

    /// 0 buffer, 1 count, 2 manual.
    std::int32_t Strategy() const;
    /// The buffer edit as a number in percent; 25.0 when it holds no number.
    double Buffer() const;
    /// The count edit as a whole number; 10 when it holds none.
    std::int32_t Count() const;
    bool UseTrigBeacons() const;
    bool UseTownSurveyMarks() const;
    bool UseOtherCoordinates() const;
    /// Everything above at once.
    GSelectionStrategy Values() const;

private:
    std::unique_ptr<Ui::TfrmTrigSelection> ui_;
};

} // namespace quorvalis
