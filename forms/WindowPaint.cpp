#include "forms/WindowPaint.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWidget>
#include <QWindow>

namespace quorvalis
{

void ShowAndPaint(QWidget& window)
{
    window.show();
    QElapsedTimer waited;
    waited.start();
    // A window the window system has not mapped yet cannot be painted.
    do
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    while ((!window.windowHandle() || !window.windowHandle()->isExposed()) &&
           waited.elapsed() < 500);
    window.repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace quorvalis
