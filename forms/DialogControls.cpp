#include "forms/DialogControls.h"

#include "forms/MessageBoxes.h"
#include "project/Guards.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>

namespace quorvalis
{

void FitListToItems(QListWidget& list)
{
    int height = 2 * list.frameWidth();
    for (int row = 0; row < list.count(); ++row)
        height += list.sizeHintForRow(row);
    list.setFixedHeight(height);
    // A fixed policy too, so that the layout around the list grows no row on its behalf.
    list.setSizePolicy(list.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
}

bool AcceptLocalOrigin(double lo, const std::string& what)
{
    if (IsLocalOrigin(lo))
        return true;
    ShowErrorBox(NotLocalOriginMessage(what, lo));
    return false;
}

void ConnectOkCancel(QDialog& dialog, const char* ok, const char* cancel)
{
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(ok)))
        QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    if (auto* button = dialog.findChild<QPushButton*>(QString::fromLatin1(cancel)))
        QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::reject);
}

GWaitCursor::GWaitCursor()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

GWaitCursor::~GWaitCursor()
{
    QApplication::restoreOverrideCursor();
}

} // namespace quorvalis
