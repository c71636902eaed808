// Showing a window and painting it at once, before a long step that processes no messages.
#pragma once

class QWidget;

namespace quorvalis
{

/// Shows the window, waits (up to half a second) until the window system has mapped it, and
/// paints it. Only window-system events run meanwhile; the user's input stays queued.
void ShowAndPaint(QWidget& window);

} // namespace quorvalis
