// The display form of a file path for a panel of limited width.
#pragma once

#include <QString>

class QFontMetrics;
class QLabel;

namespace quorvalis
{

/// The path whole when its width in metrics is below maxWidth (pixels); otherwise the folder
/// part cut from its end, four characters first and one more at each try, followed by "..." and
/// a separator and the file name, until the text is narrower than maxWidth or no folder
/// character is left ("/home/user/jobs/2024/job.shp" -> "/home/user/j.../job.shp"). Folders end
/// at "/" or "\".
QString ShortenPath(const QString& path, int maxWidth, const QFontMetrics& metrics);

/// Shows path in a panel (a label) through ShortenPath with the panel's width less margin pixels
/// (its minimum width while it is not shown yet), lower-cased when asked; the whole path is the
/// panel's tooltip.
void ShowPathInPanel(QLabel& panel, const QString& path, int margin, bool lowerCase);

} // namespace quorvalis
