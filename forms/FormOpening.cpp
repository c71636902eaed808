#include "forms/FormOpening.h"

#include "forms/WindowPaint.h"
#include "ui_FormOpening.h"

#include <QFileInfo>
#include <QPixmap>
#include <QScreen>

namespace quorvalis
{

TfrmOpening::TfrmOpening(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui_(std::make_unique<Ui::TfrmOpening>())
{
    ui_->setupUi(this);
    setFixedSize(272, 270);
}

TfrmOpening::~TfrmOpening() = default;

void TfrmOpening::LoadPicture(const std::string& path)
{
    const QString file = QString::fromStdString(path);
    QPixmap picture;
    if (QFileInfo::exists(file) && picture.load(file))
    {
        ui_->imgProgram->setText({});
        ui_->imgProgram->setPixmap(picture);
        return;
    }
    ui_->imgProgram->setPixmap(QPixmap());
    // Both separators: the stored folder may come from another system.
    QString name = file;
    name = name.mid(std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf('\\')) + 1);
    ui_->imgProgram->setText(name.toUpper());
}

QString TfrmOpening::PictureText() const
{
    return ui_->imgProgram->text();
}

bool TfrmOpening::HasPicture() const
{
    return !ui_->imgProgram->pixmap().isNull();
}

void TfrmOpening::ShowAtOnce()
{
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    ShowAndPaint(*this);
}

} // namespace quorvalis
