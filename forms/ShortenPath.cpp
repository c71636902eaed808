#include "forms/ShortenPath.h"

#include <QFontMetrics>
#include <QLabel>

namespace quorvalis
{

QString ShortenPath(const QString& path, int maxWidth, const QFontMetrics& metrics)
{
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    const QString folder = path.left(cut + 1);
    const QString name = path.mid(cut + 1);
    // The separator of the path itself stands after the ellipsis.
    const QString ellipsis = cut >= 0 ? QStringLiteral("...") + path[cut] : QStringLiteral("...");
    QString result = folder + name;
    if (metrics.horizontalAdvance(result) < maxWidth)
        return result;
    for (qsizetype k = 4;; ++k)
    {
        const qsizetype kept = std::max<qsizetype>(folder.size() - k, 0);
        result = folder.left(kept) + ellipsis + name;
        if (metrics.horizontalAdvance(result) < maxWidth || kept == 0)
            return result;
    }
}

void ShowPathInPanel(QLabel& panel, const QString& path, int margin, bool lowerCase)
{
    const QString shown = lowerCase ? path.toLower() : path;
    const int width = panel.isVisible() ? panel.contentsRect().width() : panel.minimumWidth();
    panel.setText(ShortenPath(shown, width - margin, panel.fontMetrics()));
    panel.setToolTip(path);
}

} // namespace quorvalis
