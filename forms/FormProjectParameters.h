// The project parameters dialog: how the job's coordinates become geographic degrees, with a
// preview of the job's extent so converted.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmProjectParameters;
}

namespace quorvalis
{

class GProject;
struct GProjectParameters;

/// "Project Parameters": the Lo (edtLocalOrigin, focused at opening), the constants, exchange and
/// negations, the coordinate system (lstFormat), the job's extent (pnlExtent) and its projected
/// extent (pnlProjected) with Refresh. Choosing a coordinate system sets Lo 31 and both constants
/// to 0, and enables those edits only for "Geodetic (metres)". Refresh writes the values into the
/// project at once (they stay there even when the dialog is cancelled) and shows the job's
/// extent in geographic degrees, latitude first. Ok and Refresh refuse a Lo that is not one.
class TfrmProjectParameters : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmProjectParameters(QWidget* parent = nullptr);
    ~TfrmProjectParameters() override;

    /// The project whose extent is shown and into which Refresh writes (not owned; may be null).
    void SetProject(GProject* project);
    GProjectParameters Values() const;
    /// Shows the values without the reset a chosen coordinate system makes.
    void SetValues(const GProjectParameters& values);

    /// The coordinate system list's action: Lo 31, constants 0, edits enabled for the geodetic
    /// system only, the extent shown again.
    void CoordinateSystemChosen();
    /// The Refresh button; false when the Lo was refused.
    bool Refresh();
    void accept() override;

private:
    void ShowExtent();
    void EnableEdits();
    int CoordinateSystem() const;

    std::unique_ptr<Ui::TfrmProjectParameters> ui_;
    GProject* project_ = nullptr;
};

/// "(x1;y1) -> (x2;y2)" of a rectangle's two corners with decimals places each (the application's
/// decimal separator); latitudeFirst writes (Y;X) of each corner instead.
std::string ExtentText(double x1, double y1, double x2, double y2, int decimals,
                       bool latitudeFirst = false);

} // namespace quorvalis
