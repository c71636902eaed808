#include "forms/DBNavigator.h"

#include "forms/DBGrid.h"
#include "forms/DataSetModel.h"
#include "forms/MessageBoxes.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace quorvalis
{

namespace
{

constexpr int kGlyph = 16;

// The button pictures, drawn rather than loaded: triangles and bars for moving, plus and minus
// for inserting and deleting, a pencil for editing, a tick, a cross and a circling arrow.
QIcon Glyph(GDBNavigator::Button button, const QColor& ink)
{
    QPixmap picture(kGlyph, kGlyph);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    const auto triangle = [&](double x, bool right)
    {
        QPainterPath path;
        if (right)
        {
            path.moveTo(x, 3);
            path.lineTo(x + 6, 8);
            path.lineTo(x, 13);
        }
        else
        {
            path.moveTo(x + 6, 3);
            path.lineTo(x, 8);
            path.lineTo(x + 6, 13);
        }
        path.closeSubpath();
        painter.drawPath(path);
    };
    QPen line(ink, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (button)
    {
    case GDBNavigator::nbFirst:
        painter.drawRect(QRectF(3, 3, 2, 10));
        triangle(6, false);
        break;
    case GDBNavigator::nbPrior:
        triangle(5, false);
        break;
    case GDBNavigator::nbNext:
        triangle(5, true);
        break;
    case GDBNavigator::nbLast:
        triangle(4, true);
        painter.drawRect(QRectF(11, 3, 2, 10));
        break;
    case GDBNavigator::nbInsert:
        painter.drawRect(QRectF(3, 7, 10, 2));
        painter.drawRect(QRectF(7, 3, 2, 10));
        break;
    case GDBNavigator::nbDelete:
        painter.drawRect(QRectF(3, 7, 10, 2));
        break;
    case GDBNavigator::nbEdit:
    {
        QPainterPath pencil;
        pencil.moveTo(3, 13);
        pencil.lineTo(4, 10);
        pencil.lineTo(11, 3);
        pencil.lineTo(13, 5);
        pencil.lineTo(6, 12);
        pencil.closeSubpath();
        painter.drawPath(pencil);
        break;
    }
    case GDBNavigator::nbPost:
        painter.setPen(line);
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(6.5, 12), QPointF(13, 4)}));
        break;
    case GDBNavigator::nbCancel:
        painter.setPen(line);
        painter.drawLine(QPointF(4, 4), QPointF(12, 12));
        painter.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case GDBNavigator::nbRefresh:
    {
        painter.setPen(line);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        QPainterPath head;
        head.moveTo(7, 0.5);
        head.lineTo(11, 3);
        head.lineTo(7, 5.5);
        head.closeSubpath();
        painter.drawPath(head);
        break;
    }
    }
    painter.end();
    return QIcon(picture);
}

struct ButtonText
{
    const char* Name;
    const char* Hint;
};

constexpr ButtonText kButtons[] = {{"nbFirst", "First record"},   {"nbPrior", "Prior record"},
                                   {"nbNext", "Next record"},     {"nbLast", "Last record"},
                                   {"nbInsert", "Insert record"}, {"nbDelete", "Delete record"},
                                   {"nbEdit", "Edit record"},     {"nbPost", "Post edit"},
                                   {"nbCancel", "Cancel edit"},   {"nbRefresh", "Refresh data"}};

} // namespace

GDBNavigator::GDBNavigator(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QColor ink = palette().color(QPalette::ButtonText);
    for (int i = 0; i < static_cast<int>(buttons_.size()); ++i)
    {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(kButtons[i].Name));
        button->setToolTip(QString::fromLatin1(kButtons[i].Hint));
        button->setStatusTip(button->toolTip());
        button->setIcon(Glyph(static_cast<Button>(i), ink));
        button->setIconSize(QSize(kGlyph, kGlyph));
        button->setFixedSize(25, 25);
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, i] { Press(static_cast<Button>(i)); });
        layout->addWidget(button);
        buttons_[static_cast<std::size_t>(i)] = button;
    }
    UpdateButtons();
}

void GDBNavigator::SetDataModel(GDataSetModel* model, GDBGrid* grid)
{
    if (model_)
        disconnect(model_, nullptr, this, nullptr);
    model_ = model;
    grid_ = grid;
    if (model_)
    {
        connect(model_, &GDataSetModel::StateChanged, this, &GDBNavigator::UpdateButtons);
        connect(model_, &QAbstractItemModel::modelReset, this, &GDBNavigator::UpdateButtons);
    }
    UpdateButtons();
}

void GDBNavigator::Press(Button button)
{
    if (!model_)
        return;
    RunGuarded(
        [&]
        {
            if (grid_)
                grid_->CommitEdit();
            switch (button)
            {
            case nbFirst:
                model_->First();
                break;
            case nbPrior:
                model_->Prior();
                break;
            case nbNext:
                model_->Next();
                break;
            case nbLast:
                model_->Last();
                break;
            case nbInsert:
                model_->Append();
                break;
            case nbDelete:
                if (!ConfirmDelete || ConfirmDelete())
                    model_->Delete();
                break;
            case nbEdit:
                model_->Edit();
                break;
            case nbPost:
                model_->Post();
                break;
            case nbCancel:
                model_->Cancel();
                break;
            case nbRefresh:
                model_->Refresh();
                break;
            }
        });
    UpdateButtons();
}

void GDBNavigator::UpdateButtons()
{
    const bool active = model_ && model_->Active();
    const bool editing = active && model_->Editing();
    const bool modify = active && model_->CanModify();
    const int rows = active ? model_->rowCount() : 0;
    const int current = active ? model_->CurrentRow() : -1;
    const bool back = current > 0;
    const bool on = current >= 0 && current < rows - 1;
    const bool enabled[] = {back,
                            back,
                            on,
                            on,
                            modify,
                            modify && rows > 0,
                            modify && !editing && rows > 0,
                            editing,
                            editing,
                            model_ != nullptr && !editing};
    for (std::size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->setEnabled(enabled[i]);
}

} // namespace quorvalis
