// The beacon selection dialog of the control-coordinate transformation.
#pragma once

#include <QDialog>

#include <memory>

class QLabel;
class QTableWidget;

namespace Ui
{
class TfrmTrigBeacons;
}

namespace quorvalis
{

class GBeaconReview;
class GPoint;
class GRectangle;
class GTrigBeacon;
class GTrigBeaconList;
struct GBeaconRow;

/// "Transformation Control Beacons": the available beacons (grdAvailable) and the selected ones
/// (grdSelected) with their distances from the job's centre and the misclosures, the counters,
/// scale and swing of the fit, Add, Remove, Add All, Remove All, Save and Recall of selection
/// files; Ok only for a valid transformation. The grids sort on the clicked column (names as text,
/// numbers as numbers) and start ascending on the distance; a grid without rows is hidden behind
/// its label.
///
/// Beside them: the RMS of the misclosures (pnlRMS), the residual plot (pnlResidualPlot), each
/// selected beacon's leave-one-out misclosure in its tooltip, and suspects in colour.
///
/// Changes only the Selected flags of the beacons, which stay changed whether the dialog is
/// accepted or not.
class TfrmTrigBeacons : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmTrigBeacons(QWidget* parent = nullptr);
    ~TfrmTrigBeacons() override;

    /// The beacons (not owned), the Lo of the computation, and the job's centre and extent in
    /// geographic degrees on the Cape datum (extent may be nullptr).
    void SetBeacons(GTrigBeaconList& beacons, double lo, const GPoint& centre,
                    const GRectangle* extent);
    /// The figures shown; nullptr before SetBeacons.
    const GBeaconReview* Review() const { return review_.get(); }
    /// Recomputes every figure from the Selected flags and fills the grids, panels and plot.
    void Refresh();

    // The buttons.
    void Add();
    void Remove();
    void AddAll();
    void RemoveAll();
    void Save();
    void Recall();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill(QTableWidget& grid, QLabel& empty, QLabel& counter, bool selected);
    /// The beacon of the grid's current row, or nullptr when the grid shows no current data row.
    GTrigBeacon* CurrentBeacon(const QTableWidget& grid) const;

    std::unique_ptr<Ui::TfrmTrigBeacons> ui_;
    std::unique_ptr<GBeaconReview> review_;
    GTrigBeaconList* beacons_ = nullptr;
};

/// The selection file dialogs.
inline constexpr char kSelectionFileFilter[] = "Selection Files (*.sel)|*.sel|All Files (*.*)|*.*";

} // namespace quorvalis
