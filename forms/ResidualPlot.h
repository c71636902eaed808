// The picture of a beacon selection: the job's extent, the beacons, and the misclosure vector of
// each selected beacon, magnified so that a blunder stands out.
#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QWidget>

namespace quorvalis
{

class GBeaconReview;
struct GBeaconRow;

/// A map of the Cape plane of the selection's Lo, north up and east to the right (X southing
/// down, Y westing to the left): the job's extent and centre, the available beacons (hollow
/// triangles), the selected ones (filled) with their misclosure vectors drawn Magnification()
/// times their length, and the suspects in SuspectColour(). A scale bar gives the ground length
/// of a bar and the misclosure the same bar stands for. The tooltip of a beacon gives its
/// figures (the leave-one-out misclosure of a selected one).
///
/// The view covers the extent, the centre and the selected beacons (the nearest available ones
/// when none is selected); beacons outside it are not drawn.
class GResidualPlot : public QWidget
{
    Q_OBJECT

public:
    explicit GResidualPlot(QWidget* parent = nullptr);

    /// The figures drawn (not owned; nullptr: an empty plot). Refresh after each refresh of the
    /// review.
    void SetReview(const GBeaconReview* review);
    /// Fits the view and the magnification to the review and repaints.
    void Refresh();

    /// How many times the vectors are longer than the misclosures they stand for (1, 2 or 5
    /// times a power of 10); 0 when no vector is drawn.
    double Magnification() const { return magnification_; }
    /// Ground length of the scale bar, metres (1, 2 or 5 times a power of 10).
    double ScaleBarLength() const { return barLength_; }
    /// Where the plane point (X southing, Y westing, metres) is drawn, in widget pixels.
    QPointF ToWidget(double x, double y) const;
    /// The area the map is drawn in (the scale bar and legend lie below it).
    QRectF MapArea() const;
    /// The beacon drawn nearest to position, within a few pixels (selected ones first); nullptr
    /// when none is.
    const GBeaconRow* RowAt(const QPointF& position) const;

    static QColor SuspectColour() { return {200, 0, 0}; }
    static QColor VectorColour() { return {0, 80, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void FitView();

    const GBeaconReview* review_ = nullptr;
    // The view: the plane's (Y westing, X southing) at the map area's top left, pixels per metre.
    double topWesting_ = 0.0;
    double topSouthing_ = 0.0;
    double pixelsPerMetre_ = 0.0;
    double magnification_ = 0.0;
    double barLength_ = 0.0;
};

/// The largest of 1, 2 and 5 times a power of 10 that is at most value (value > 0).
double NiceBelow(double value);

} // namespace quorvalis
