#include "forms/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <utility>

namespace quorvalis
{

namespace
{

GFileDialogHandler& Handler()
{
    static GFileDialogHandler handler;
    return handler;
}

} // namespace

QString QtFileFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
    {
        QString description = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed().replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!description.contains(QLatin1Char('(') + pattern + QLatin1Char(')')))
            description += QStringLiteral(" (") + pattern + QLatin1Char(')');
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

bool RunFileDialog(GFileDialog& dialog, GFileDialogMode mode, QWidget* parent)
{
    if (Handler())
        return Handler()(dialog, mode);

    QFileDialog box(parent, QString::fromStdString(dialog.Title));
    box.setObjectName(mode == GFileDialogMode::Save ? QStringLiteral("dlgSave")
                                                    : QStringLiteral("dlgOpen"));
    box.setNameFilter(QtFileFilter(dialog.Filter));
    box.setDefaultSuffix(QString::fromStdString(dialog.DefaultExtension));
    if (mode == GFileDialogMode::Save)
    {
        box.setAcceptMode(QFileDialog::AcceptSave);
        box.setFileMode(QFileDialog::AnyFile);
        if (!dialog.OverwritePrompt)
            box.setOption(QFileDialog::DontConfirmOverwrite);
    }
    else
    {
        box.setAcceptMode(QFileDialog::AcceptOpen);
        box.setFileMode(dialog.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
    if (!dialog.FileName.empty())
    {
        const QFileInfo initial(QString::fromStdString(dialog.FileName));
        if (initial.isAbsolute() || initial.path() != QStringLiteral("."))
            box.setDirectory(initial.absolutePath());
        box.selectFile(initial.fileName());
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return false;
    dialog.FileName = box.selectedFiles().constFirst().toStdString();
    return true;
}

GFileDialogHandler SetFileDialogHandler(GFileDialogHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

} // namespace quorvalis
