#include "forms/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <exception>
#include <utility>

namespace quorvalis
{

namespace
{

GMessageBoxHandler& Handler()
{
    static GMessageBoxHandler handler;
    return handler;
}

void Show(GMessageKind kind, const std::string& text)
{
    if (Handler())
    {
        Handler()(kind, text);
        return;
    }
    QMessageBox::Icon icon = QMessageBox::Critical;
    QString caption = QStringLiteral("Error");
    switch (kind)
    {
    case GMessageKind::Error:
        break;
    case GMessageKind::Information:
        icon = QMessageBox::Information;
        caption = QStringLiteral("Information");
        break;
    case GMessageKind::Warning:
        icon = QMessageBox::Warning;
        caption = QStringLiteral("Warning");
        break;
    case GMessageKind::Application:
        caption = QString::fromLatin1(kApplicationTitle);
        break;
    }
    QMessageBox box(icon, caption, QString::fromStdString(MessageText(text)), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("dlgMessage"));
    box.exec();
}

} // namespace

std::string MessageText(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\r')
        {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        }
        else
            result += text[i];
    }
    return result;
}

void ShowErrorBox(const std::string& text)
{
    Show(GMessageKind::Error, text);
}

void ShowInformationBox(const std::string& text)
{
    Show(GMessageKind::Information, text);
}

void ShowWarningBox(const std::string& text)
{
    Show(GMessageKind::Warning, text);
}

void ShowApplicationError(const std::string& text)
{
    Show(GMessageKind::Application, text);
}

GMessageBoxHandler SetMessageBoxHandler(GMessageBoxHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

namespace
{

GQuestionHandler& QuestionHandler()
{
    static GQuestionHandler handler;
    return handler;
}

} // namespace

bool ShowQuestionBox(const std::string& text)
{
    if (QuestionHandler())
        return QuestionHandler()(text);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"),
                    QString::fromStdString(MessageText(text)), QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("dlgQuestion"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

GQuestionHandler SetQuestionHandler(GQuestionHandler handler)
{
    return std::exchange(QuestionHandler(), std::move(handler));
}

bool RunGuarded(const std::function<void()>& step)
{
    try
    {
        step();
        return true;
    }
    catch (const std::exception& error)
    {
        ShowApplicationError(error.what());
    }
    catch (...)
    {
        ShowApplicationError("Unknown error.");
    }
    return false;
}

} // namespace quorvalis
