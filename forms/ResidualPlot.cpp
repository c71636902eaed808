#include "forms/ResidualPlot.h"

#include "forms/MessageBoxes.h"
#include "geometry/NumberFormat.h"
#include "project/BeaconReview.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPolygonF>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace quorvalis
{

namespace
{

constexpr double kMargin = 8.0;           // pixels round the map
constexpr double kFooter = 46.0;          // pixels below the map: scale bar and legend
constexpr double kLeastSpan = 200.0;      // metres: a tiny job is still shown at a sensible scale
constexpr double kVectorShare = 0.15;     // the longest vector: this share of the map's size
constexpr double kBarShare = 0.28;        // the scale bar: at most this share of the map's width
constexpr double kHitDistance = 7.0;      // pixels: how near the pointer must be to a beacon
constexpr std::size_t kNamedBeacons = 12; // selected beacons named on the map up to this count

// Text of a ground length: "500 m", "2 km", "0.5 m".
QString LengthText(double metres)
{
    if (metres >= 1000.0)
        return QString::fromStdString(FormatPicture(metres / 1000.0, "0.###") + " km");
    return QString::fromStdString(FormatPicture(metres, "0.###") + " m");
}

QPolygonF Triangle(const QPointF& centre, double size)
{
    return QPolygonF({centre + QPointF(0, -size), centre + QPointF(size * 0.9, size * 0.6),
                      centre + QPointF(-size * 0.9, size * 0.6)});
}

void DrawArrow(QPainter& painter, const QPointF& from, const QPointF& to)
{
    painter.drawLine(from, to);
    const QPointF direction = to - from;
    const double length = std::hypot(direction.x(), direction.y());
    if (length < 4.0)
        return;
    const QPointF unit = direction / length;
    const QPointF normal(-unit.y(), unit.x());
    const double head = std::min(6.0, length / 2.0);
    painter.drawPolygon(QPolygonF(
        {to, to - unit * head + normal * head * 0.45, to - unit * head - normal * head * 0.45}));
}

} // namespace

double NiceBelow(double value)
{
    if (!(value > 0.0) || !std::isfinite(value))
        return 0.0;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : {5.0, 2.0, 1.0})
        if (step * power <= value * (1.0 + 1e-12))
            return step * power;
    return power;
}

GResidualPlot::GResidualPlot(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

void GResidualPlot::SetReview(const GBeaconReview* review)
{
    review_ = review;
    Refresh();
}

void GResidualPlot::Refresh()
{
    FitView();
    update();
}

void GResidualPlot::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FitView();
}

QRectF GResidualPlot::MapArea() const
{
    return QRectF(rect()).adjusted(kMargin, kMargin, -kMargin, -kFooter);
}

QPointF GResidualPlot::ToWidget(double x, double y) const
{
    const QRectF area = MapArea();
    return {area.left() + (topWesting_ - y) * pixelsPerMetre_,
            area.top() + (x - topSouthing_) * pixelsPerMetre_};
}

void GResidualPlot::FitView()
{
    magnification_ = 0.0;
    barLength_ = 0.0;
    pixelsPerMetre_ = 0.0;
    const QRectF area = MapArea();
    if (!review_ || area.width() <= 0 || area.height() <= 0)
        return;

    // What must be seen: the job and the beacons that make its transformation.
    double minX = std::numeric_limits<double>::infinity();
    double maxX = -minX;
    double minY = minX;
    double maxY = -minX;
    const auto take = [&](double x, double y)
    {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    };
    take(review_->Centre().X, review_->Centre().Y);
    for (const GPlanePoint& corner : review_->ExtentOutline())
        take(corner.X, corner.Y);
    for (const GBeaconRow& row : review_->Selected())
        take(row.PlaneX, row.PlaneY);
    if (review_->Selected().empty())
    {
        std::vector<const GBeaconRow*> nearest;
        for (const GBeaconRow& row : review_->Available())
            nearest.push_back(&row);
        const std::size_t shown = std::min<std::size_t>(nearest.size(), 10);
        std::partial_sort(
            nearest.begin(), nearest.begin() + static_cast<std::ptrdiff_t>(shown), nearest.end(),
            [](const GBeaconRow* a, const GBeaconRow* b) { return a->Distance < b->Distance; });
        for (std::size_t i = 0; i < shown; ++i)
            take(nearest[i]->PlaneX, nearest[i]->PlaneY);
    }
    if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) ||
        !std::isfinite(maxY))
        return;

    // A tenth of the span on every side, so that symbols and vectors at the edge stay inside.
    const double spanX = std::max(maxX - minX, kLeastSpan) * 1.2;
    const double spanY = std::max(maxY - minY, kLeastSpan) * 1.2;
    pixelsPerMetre_ = std::min(area.width() / spanY, area.height() / spanX);
    topWesting_ = (minY + maxY) / 2.0 + area.width() / pixelsPerMetre_ / 2.0;
    topSouthing_ = (minX + maxX) / 2.0 - area.height() / pixelsPerMetre_ / 2.0;

    barLength_ = NiceBelow(kBarShare * area.width() / pixelsPerMetre_);
    double largest = 0.0;
    if (review_->Valid())
        for (const GBeaconRow& row : review_->Selected())
            largest = std::max(largest, row.Misclosure);
    if (largest > 0.0)
        magnification_ = NiceBelow(kVectorShare * std::min(area.width(), area.height()) /
                                   (largest * pixelsPerMetre_));
}

const GBeaconRow* GResidualPlot::RowAt(const QPointF& position) const
{
    if (!review_ || pixelsPerMetre_ <= 0.0)
        return nullptr;
    const GBeaconRow* found = nullptr;
    double best = kHitDistance;
    for (const auto* rows : {&review_->Selected(), &review_->Available()})
    {
        for (const GBeaconRow& row : *rows)
        {
            const QPointF at = ToWidget(row.PlaneX, row.PlaneY);
            const double distance = std::hypot(at.x() - position.x(), at.y() - position.y());
            if (distance <= best)
            {
                best = distance;
                found = &row;
            }
        }
        if (found)
            return found;
    }
    return nullptr;
}

bool GResidualPlot::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const GBeaconRow* row = RowAt(help->pos());
    if (!row)
    {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    std::string text;
    const bool selected = review_ && row >= review_->Selected().data() &&
                          row < review_->Selected().data() + review_->Selected().size();
    if (selected)
        text = LeaveOneOutDescription(*row);
    else
        text = row->Name;
    text += "\rDistance from the centre of the job: " + row->DistanceText + " m";
    QToolTip::showText(help->globalPos(), QString::fromStdString(MessageText(text)), this);
    return true;
}

void GResidualPlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), Qt::white);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    if (!review_ || pixelsPerMetre_ <= 0.0)
        return;

    const QRectF area = MapArea();
    painter.save();
    const QRectF visible = area.adjusted(-kMargin + 1, -kMargin + 1, kMargin - 1, 0);
    painter.setClipRect(visible);

    // The job: its extent and its centre.
    if (!review_->ExtentOutline().empty())
    {
        QPolygonF outline;
        for (const GPlanePoint& corner : review_->ExtentOutline())
            outline << ToWidget(corner.X, corner.Y);
        painter.setPen(QPen(QColor(70, 130, 180), 1.5));
        painter.setBrush(QColor(70, 130, 180, 45));
        painter.drawPolygon(outline);
    }
    const QPointF centre = ToWidget(review_->Centre().X, review_->Centre().Y);
    painter.setPen(QPen(QColor(70, 130, 180), 1.5));
    painter.drawLine(centre + QPointF(-5, 0), centre + QPointF(5, 0));
    painter.drawLine(centre + QPointF(0, -5), centre + QPointF(0, 5));

    // Available beacons, then the selected ones with their vectors over them. An available
    // beacon whose symbol would be cut by the map's edge is left out: half a symbol reads as
    // some other mark.
    std::vector<QRectF> availableBoxes;
    painter.setPen(QPen(QColor(120, 120, 120), 1.2));
    painter.setBrush(Qt::white);
    for (const GBeaconRow& row : review_->Available())
    {
        const QPolygonF symbol = Triangle(ToWidget(row.PlaneX, row.PlaneY), 5.0);
        const QRectF box = symbol.boundingRect().adjusted(-1, -1, 1, 1);
        if (!visible.contains(box))
            continue;
        availableBoxes.push_back(box);
        painter.drawPolygon(symbol);
    }

    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.85));
    painter.setFont(small);
    const QFontMetricsF metrics(small);
    std::vector<QRectF> taken; // symbols and names drawn: a name goes where it hides none
    for (const GBeaconRow& row : review_->Selected())
    {
        const QPointF at = ToWidget(row.PlaneX, row.PlaneY);
        taken.emplace_back(at.x() - 6, at.y() - 6, 12, 12);
        const QColor colour = row.Suspect ? SuspectColour() : QColor(20, 20, 20);
        if (magnification_ > 0.0)
        {
            const double scale = magnification_ * pixelsPerMetre_;
            const QPointF tip = at + QPointF(-row.ResidualY * scale, row.ResidualX * scale);
            const QColor vector = row.Suspect ? SuspectColour() : VectorColour();
            painter.setPen(QPen(vector, 2.0));
            painter.setBrush(vector);
            DrawArrow(painter, at, tip);
        }
        painter.setPen(QPen(colour, 1.0));
        painter.setBrush(colour);
        painter.drawPolygon(Triangle(at, 5.5));
    }
    // Names of the selected beacons, suspects first, each beside its symbol where it overlaps
    // nothing drawn before; the tooltip names the others.
    std::vector<const GBeaconRow*> named;
    for (const GBeaconRow& row : review_->Selected())
        named.push_back(&row);
    std::stable_partition(named.begin(), named.end(),
                          [](const GBeaconRow* row) { return row->Suspect; });
    if (named.size() > kNamedBeacons)
        named.resize(kNamedBeacons);
    for (const GBeaconRow* row : named)
    {
        const QPointF at = ToWidget(row->PlaneX, row->PlaneY);
        const QString name = QString::fromStdString(row->Name);
        const QSizeF size(metrics.horizontalAdvance(name) + 4, metrics.height());
        const auto hides = [](const std::vector<QRectF>& boxes, const QRectF& box)
        {
            return std::any_of(boxes.begin(), boxes.end(),
                               [&](const QRectF& other) { return other.intersects(box); });
        };
        // Beside the symbol where the name hides no available beacon either; failing that,
        // where it hides only available ones.
        std::optional<QRectF> place;
        for (const bool spareAvailable : {true, false})
        {
            for (const QPointF offset :
                 {QPointF(7, -size.height() - 1), QPointF(7, 1),
                  QPointF(-7 - size.width(), -size.height() - 1), QPointF(-7 - size.width(), 1)})
            {
                const QRectF box(at + offset, size);
                if (area.contains(box) && !hides(taken, box) &&
                    !(spareAvailable && hides(availableBoxes, box)))
                {
                    place = box;
                    break;
                }
            }
            if (place)
                break;
        }
        if (!place)
            continue;
        taken.push_back(*place);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 190));
        painter.drawRect(*place);
        painter.setPen(row->Suspect ? SuspectColour() : QColor(20, 20, 20));
        painter.drawText(*place, Qt::AlignCenter, name);
    }
    painter.restore();

    // North arrow in the map's top right corner.
    const QPointF north(area.right() - 14, area.top() + 8);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1.2));
    painter.setBrush(palette().color(QPalette::WindowText));
    DrawArrow(painter, north + QPointF(0, 26), north);
    painter.setFont(small);
    painter.drawText(QRectF(north.x() - 20, north.y() + 26, 40, 16), Qt::AlignCenter,
                     QStringLiteral("N"));

    // The scale bar: a ground length, and the misclosure the same bar stands for.
    const double barPixels = barLength_ * pixelsPerMetre_;
    const double barY = area.bottom() + 22;
    const double barX = area.left() + 2;
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(barX, barY), QPointF(barX + barPixels, barY));
    for (const double x : {barX, barX + barPixels / 2, barX + barPixels})
        painter.drawLine(QPointF(x, barY - 4), QPointF(x, barY + 4));
    painter.drawText(QPointF(barX, barY - 7), LengthText(barLength_));
    QString vectors = QStringLiteral("no misclosure vectors");
    if (magnification_ > 0.0)
        vectors = QStringLiteral("misclosures \u00d7") +
                  QString::fromStdString(
                      FormatPicture(magnification_, "#,##0.###", DecimalSeparator(), ' ')) +
                  QStringLiteral(": ") + LengthText(barLength_ / magnification_);
    painter.setPen(magnification_ > 0.0 ? VectorColour() : palette().color(QPalette::Mid));
    painter.drawText(QPointF(barX, barY + 4 + metrics.ascent() + 2), vectors);

    // The legend, right-aligned beside the scale bar.
    struct Entry
    {
        QString Text;
        int Symbol; // 0 extent, 1 available, 2 selected, 3 suspect
    };
    const Entry entries[] = {{QStringLiteral("job"), 0},
                             {QStringLiteral("available"), 1},
                             {QStringLiteral("selected"), 2},
                             {QStringLiteral("suspect"), 3}};
    double x = area.right();
    const double y = area.bottom() + 24;
    for (auto it = std::rbegin(entries); it != std::rend(entries); ++it)
    {
        x -= metrics.horizontalAdvance(it->Text);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QPointF(x, y + metrics.ascent() / 2 - 1), it->Text);
        const QPointF symbol(x - 9, y);
        switch (it->Symbol)
        {
        case 0:
            painter.setPen(QPen(QColor(70, 130, 180), 1.2));
            painter.setBrush(QColor(70, 130, 180, 45));
            painter.drawRect(QRectF(symbol.x() - 5, symbol.y() - 4, 10, 8));
            break;
        case 1:
            painter.setPen(QPen(QColor(120, 120, 120), 1.2));
            painter.setBrush(Qt::white);
            painter.drawPolygon(Triangle(symbol, 5.0));
            break;
        default:
        {
            const QColor colour = it->Symbol == 3 ? SuspectColour() : QColor(20, 20, 20);
            painter.setPen(colour);
            painter.setBrush(colour);
            painter.drawPolygon(Triangle(symbol, 5.0));
        }
        }
        x -= 24;
    }
}

} // namespace quorvalis
