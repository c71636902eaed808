// Draws every picture of Resource/ (menu images, the splash picture, the maker's logo, the
// program icon) with Qt's painter, so that the program ships no artwork but its own.
// Usage: draw_pictures FOLDER   (run offscreen: QT_QPA_PLATFORM=offscreen)
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>

#include <cmath>
#include <cstdio>
#include <functional>

namespace
{

const QColor kNavy(22, 52, 102);
const QColor kTeal(24, 128, 140);
const QColor kOrange(236, 128, 22);
const QColor kRed(196, 30, 42);
const QColor kInk(40, 40, 48);

QImage Canvas(int width, int height, QColor fill = Qt::transparent)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(fill);
    return image;
}

bool Save(const QImage& image, const QString& folder, const QString& name, const char* format)
{
    const QString path = folder + "/" + name;
    if (!image.save(path, format))
    {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

void Paint(QImage& image, const std::function<void(QPainter&)>& draw)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter);
}

// An arrow across a 16-pixel sheet from one ellipsoid (outline) to the other (filled).
QImage TransformIcon(bool rightwards)
{
    QImage image = Canvas(16, 16);
    Paint(image,
          [&](QPainter& p)
          {
              p.setPen(QPen(kNavy, 1.2));
              p.setBrush(QColor(210, 226, 246));
              p.drawEllipse(QRectF(0.8, 3.5, 7.5, 9));
              p.setBrush(QColor(196, 236, 204));
              p.setPen(QPen(QColor(30, 110, 50), 1.2));
              p.drawEllipse(QRectF(7.7, 3.5, 7.5, 9));
              QPolygonF arrow;
              arrow << QPointF(2, 6.5) << QPointF(9.5, 6.5) << QPointF(9.5, 4) << QPointF(14.5, 8)
                    << QPointF(9.5, 12) << QPointF(9.5, 9.5) << QPointF(2, 9.5);
              if (!rightwards)
                  for (QPointF& point : arrow)
                      point.setX(16 - point.x());
              p.setPen(QPen(QColor(150, 70, 0), 0.8));
              p.setBrush(kOrange);
              p.drawPolygon(arrow);
          });
    return image;
}

QImage HelpIcon()
{
    QImage image = Canvas(16, 16);
    Paint(image,
          [](QPainter& p)
          {
              QRadialGradient fill(QPointF(6, 5), 9);
              fill.setColorAt(0, QColor(90, 150, 230));
              fill.setColorAt(1, kNavy);
              p.setPen(Qt::NoPen);
              p.setBrush(fill);
              p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
              QFont font("DejaVu Sans", 8, QFont::Bold);
              font.setPixelSize(12);
              p.setFont(font);
              p.setPen(Qt::white);
              p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, "?");
          });
    return image;
}

// The maker's mark: a red diamond with a white T.
void DrawMark(QPainter& p, QRectF box)
{
    const QPointF c = box.center();
    const double r = box.width() / 2;
    QPolygonF diamond;
    diamond << QPointF(c.x(), c.y() - r) << QPointF(c.x() + r, c.y()) << QPointF(c.x(), c.y() + r)
            << QPointF(c.x() - r, c.y());
    QLinearGradient fill(box.topLeft(), box.bottomRight());
    fill.setColorAt(0, QColor(232, 70, 70));
    fill.setColorAt(1, kRed.darker(130));
    p.setPen(QPen(kRed.darker(160), std::max(0.8, r / 12)));
    p.setBrush(fill);
    p.drawPolygon(diamond);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const double w = r * 0.9, t = r * 0.2;
    p.drawRect(QRectF(c.x() - w / 2, c.y() - r * 0.45, w, t));
    p.drawRect(QRectF(c.x() - t / 2, c.y() - r * 0.45, t, r * 0.95));
}

QImage TarnexIcon()
{
    QImage image = Canvas(16, 16);
    Paint(image, [](QPainter& p) { DrawMark(p, QRectF(0.5, 0.5, 15, 15)); });
    return image;
}

// A trig beacon: a white pillar under a black cone and vane.
QImage TrigIcon()
{
    QImage image = Canvas(16, 16);
    Paint(image,
          [](QPainter& p)
          {
              p.setPen(QPen(kInk, 1));
              p.setBrush(Qt::white);
              p.drawRect(QRectF(5.5, 8.5, 5, 6));
              p.setBrush(kInk);
              QPolygonF cone;
              cone << QPointF(8, 1.5) << QPointF(12, 8.5) << QPointF(4, 8.5);
              p.drawPolygon(cone);
              p.setPen(QPen(kRed, 1.4));
              p.drawLine(QPointF(8, 0.5), QPointF(8, 3));
              p.setPen(QPen(kInk, 1));
              p.drawLine(QPointF(2, 15), QPointF(14, 15));
          });
    return image;
}

// A town survey mark: a brass plug with a cross.
QImage TsmIcon()
{
    QImage image = Canvas(16, 16);
    Paint(image,
          [](QPainter& p)
          {
              QRadialGradient fill(QPointF(6, 6), 8);
              fill.setColorAt(0, QColor(250, 220, 120));
              fill.setColorAt(1, QColor(176, 128, 30));
              p.setPen(QPen(QColor(110, 80, 20), 1));
              p.setBrush(fill);
              p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
              p.setPen(QPen(kInk, 1.4));
              p.drawLine(QPointF(8, 3.5), QPointF(8, 12.5));
              p.drawLine(QPointF(3.5, 8), QPointF(12.5, 8));
          });
    return image;
}

// The control file: a small table with a beacon in its heading.
QImage ManagerIcon()
{
    QImage image = Canvas(16, 16);
    Paint(image,
          [](QPainter& p)
          {
              p.setPen(QPen(kNavy, 1));
              p.setBrush(Qt::white);
              p.drawRect(QRectF(0.5, 1.5, 15, 13));
              p.setBrush(QColor(120, 160, 215));
              p.drawRect(QRectF(0.5, 1.5, 15, 3.5));
              p.setPen(QPen(QColor(140, 150, 170), 1));
              for (double y : {8.0, 11.0})
                  p.drawLine(QPointF(1, y), QPointF(15, y));
              p.drawLine(QPointF(6, 5), QPointF(6, 14));
              p.drawLine(QPointF(11, 5), QPointF(11, 14));
          });
    return image;
}

// Defaults: three sliders.
QImage DefaultsIcon()
{
    QImage image = Canvas(16, 16);
    Paint(image,
          [](QPainter& p)
          {
              const double knobs[] = {5, 11, 7};
              for (int i = 0; i < 3; ++i)
              {
                  const double y = 3 + i * 5;
                  p.setPen(QPen(kInk, 1.4));
                  p.drawLine(QPointF(1.5, y), QPointF(14.5, y));
                  p.setPen(QPen(kNavy, 1));
                  p.setBrush(i == 1 ? kOrange : QColor(120, 160, 215));
                  p.drawRect(QRectF(knobs[i] - 1.5, y - 2.5, 3, 5));
              }
          });
    return image;
}

// A graticule of meridians and parallels over a disc.
void DrawGlobe(QPainter& p, QRectF disc, QColor line, double width)
{
    p.setPen(QPen(line, width));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(disc);
    const QPointF c = disc.center();
    const double r = disc.width() / 2;
    for (int i = 1; i < 4; ++i)
    {
        const double w = r * std::cos(i * M_PI / 8);
        p.drawEllipse(c, w, r);
        const double y = r * std::sin(i * M_PI / 8);
        const double half = std::sqrt(r * r - y * y);
        p.drawLine(QPointF(c.x() - half, c.y() - y), QPointF(c.x() + half, c.y() - y));
        p.drawLine(QPointF(c.x() - half, c.y() + y), QPointF(c.x() + half, c.y() + y));
    }
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
}

QImage SplashPicture()
{
    QImage image = Canvas(256, 184, Qt::white);
    Paint(image,
          [](QPainter& p)
          {
              QLinearGradient sky(0, 0, 0, 184);
              sky.setColorAt(0, kNavy);
              sky.setColorAt(1, kTeal);
              p.fillRect(QRectF(0, 0, 256, 184), sky);
              DrawGlobe(p, QRectF(150, 18, 132, 132), QColor(255, 255, 255, 60), 1.2);
              // Two ellipsoids, offset: the two datums.
              p.setPen(QPen(QColor(255, 210, 150, 200), 1.6));
              p.drawEllipse(QRectF(158, 30, 116, 108));
              QFont title("DejaVu Sans", 10, QFont::Bold);
              title.setPixelSize(34);
              p.setFont(title);
              p.setPen(Qt::white);
              p.drawText(QRectF(14, 40, 240, 44), Qt::AlignLeft | Qt::AlignVCenter, "Quorvalis");
              QFont line("DejaVu Sans");
              line.setPixelSize(13);
              p.setFont(line);
              p.drawText(QRectF(16, 86, 240, 20), Qt::AlignLeft, "Datum Transformation");
              p.setPen(QColor(255, 214, 160));
              p.drawText(QRectF(16, 108, 240, 20), Qt::AlignLeft, "Cape  \u21c4  Hartebeesthoek94");
              p.setPen(QPen(kOrange, 3));
              p.drawLine(QPointF(16, 84), QPointF(120, 84));
              line.setPixelSize(10);
              p.setFont(line);
              p.setPen(QColor(255, 255, 255, 200));
              p.drawText(QRectF(16, 158, 230, 16), Qt::AlignLeft, "Clarke 1880  \u2022  WGS'84");
          });
    return image;
}

QImage Banner()
{
    QImage image = Canvas(256, 52, Qt::white);
    Paint(image,
          [](QPainter& p)
          {
              DrawMark(p, QRectF(10, 6, 40, 40));
              QFont name("DejaVu Sans", 10, QFont::Bold);
              name.setPixelSize(24);
              name.setLetterSpacing(QFont::AbsoluteSpacing, 3);
              p.setFont(name);
              p.setPen(kInk);
              p.drawText(QRectF(60, 4, 190, 30), Qt::AlignLeft | Qt::AlignVCenter, "TARNEX");
              QFont line("DejaVu Sans");
              line.setPixelSize(11);
              p.setFont(line);
              p.setPen(QColor(110, 110, 120));
              p.drawText(QRectF(61, 32, 190, 16), Qt::AlignLeft, "survey software");
          });
    return image;
}

QImage Logo()
{
    QImage image = Canvas(96, 150, Qt::white);
    Paint(image,
          [](QPainter& p)
          {
              DrawMark(p, QRectF(14, 14, 68, 68));
              QFont name("DejaVu Sans", 10, QFont::Bold);
              name.setPixelSize(15);
              name.setLetterSpacing(QFont::AbsoluteSpacing, 2);
              p.setFont(name);
              p.setPen(kInk);
              p.drawText(QRectF(0, 94, 96, 22), Qt::AlignCenter, "TARNEX");
              QFont line("DejaVu Sans");
              line.setPixelSize(9);
              p.setFont(line);
              p.setPen(QColor(110, 110, 120));
              p.drawText(QRectF(0, 116, 96, 16), Qt::AlignCenter, "survey software");
          });
    return image;
}

QImage ProgramIcon()
{
    QImage image = Canvas(128, 128);
    Paint(image,
          [](QPainter& p)
          {
              QLinearGradient fill(0, 0, 0, 128);
              fill.setColorAt(0, kNavy.lighter(120));
              fill.setColorAt(1, kTeal);
              p.setPen(Qt::NoPen);
              p.setBrush(fill);
              p.drawRoundedRect(QRectF(4, 4, 120, 120), 22, 22);
              DrawGlobe(p, QRectF(22, 18, 84, 84), QColor(255, 255, 255, 170), 3);
              QPainterPath arrow;
              arrow.moveTo(18, 100);
              arrow.cubicTo(40, 122, 88, 122, 108, 98);
              p.setPen(QPen(kOrange, 8, Qt::SolidLine, Qt::RoundCap));
              p.setBrush(Qt::NoBrush);
              p.drawPath(arrow);
              QPolygonF head;
              head << QPointF(116, 88) << QPointF(112, 112) << QPointF(94, 100);
              p.setPen(Qt::NoPen);
              p.setBrush(kOrange);
              p.drawPolygon(head);
          });
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: draw_pictures FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = Save(TransformIcon(true), folder, "QUORVALIS_TRANSFORMIN.png", "PNG") &&
              Save(TransformIcon(false), folder, "QUORVALIS_TRANSFORMOUT.png", "PNG") &&
              Save(HelpIcon(), folder, "QUORVALIS_HELP.png", "PNG") &&
              Save(TarnexIcon(), folder, "QUORVALIS_TARNEX.png", "PNG") &&
              Save(TrigIcon(), folder, "QUORVALIS_TRIG.png", "PNG") &&
              Save(TsmIcon(), folder, "QUORVALIS_TSM.png", "PNG") &&
              Save(ManagerIcon(), folder, "QUORVALIS_MANAGER.png", "PNG") &&
              Save(DefaultsIcon(), folder, "QUORVALIS_DEFAULTS.png", "PNG") &&
              Save(SplashPicture().convertToFormat(QImage::Format_RGB888), folder, "Quorvalis.BMP",
                   "BMP") &&
              Save(Banner(), folder, "TarnexBanner.png", "PNG") &&
              Save(Logo(), folder, "Tarnex.png", "PNG") &&
              Save(ProgramIcon(), folder, "quorvalis.png", "PNG");
    return ok ? 0 : 1;
}
