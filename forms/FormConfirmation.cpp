#include "forms/FormConfirmation.h"

#include "forms/DialogControls.h"
#include "forms/MessageBoxes.h"
#include "ui_FormConfirmation.h"

#include <QStyle>

namespace quorvalis
{

TfrmConfirmation::TfrmConfirmation(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmConfirmation>())
{
    ui_->setupUi(this);
    ConnectOkCancel(*this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    ui_->imgWarning->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
    // The doubts wrap at the width of the text above them.
    ui_->pnlDoubts->setStyleSheet(QStringLiteral(
        "QLabel { background: #fff4ce; border: 1px solid #d8a600; color: #3b2f00; }"));
    SetDoubts({});
    ui_->btnOk->setFocus();
}

TfrmConfirmation::~TfrmConfirmation() = default;

bool TfrmConfirmation::AlwaysShow() const
{
    return ui_->chkAlwaysShow->isChecked();
}

void TfrmConfirmation::SetAlwaysShow(bool show)
{
    ui_->chkAlwaysShow->setChecked(show);
}

void TfrmConfirmation::SetDoubts(const std::vector<std::string>& doubts)
{
    ui_->pnlDoubts->setHidden(doubts.empty());
    if (doubts.empty())
    {
        ui_->pnlDoubts->clear();
        return;
    }
    QString text = QStringLiteral("<b>") +
                   (doubts.size() == 1 ? QStringLiteral("Check this before you continue:")
                                       : QStringLiteral("Check these before you continue:")) +
                   QStringLiteral("</b><ul style=\"margin-left: -24px\">");
    for (const std::string& doubt : doubts)
        text += QStringLiteral("<li>") +
                QString::fromStdString(MessageText(doubt)).toHtmlEscaped().replace('\n', "<br>") +
                QStringLiteral("</li>");
    ui_->pnlDoubts->setText(text + QStringLiteral("</ul>"));
    ui_->pnlDoubts->setMaximumWidth(ui_->lblText2->sizeHint().width() + 40);
}

} // namespace quorvalis
