#include "FormsTestSupport.h"

#include "database/engine/Session.h"
#include "forms/Application.h"
#include "forms/DataSourceDialogs.h"
#include "project/WinRegistry.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <random>

// Under the leak checker: fontconfig and D-Bus, which Qt loads, keep caches until the process
// ends; GDAL's PostgreSQL driver drops the last result of a connection the server ended (the
// lost-connection test). The store's own use of libpq is leak-checked by the engine tests.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libpq.so\n";
}

namespace quorvalis::test
{

void EnsureApplication()
{
    static int argc = 1;
    static char name[] = "forms_test";
    static char* argv[] = {name, nullptr};
    // Left to the end of the process: windows of static lifetime may still refer to it.
    if (!QApplication::instance())
        new GApplication(argc, argv);
}

void FormsTest::SetUp()
{
    EnsureApplication();
    std::random_device random;
    Folder = std::filesystem::temp_directory_path() /
             ("quorvalis-forms-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(Folder);
    ::setenv("QUORVALIS_HOME", Folder.c_str(), 1);
    engine::Session::Default().SetHomeDirectory(Folder);
    GRegistry::SetSettingsFile(Folder / "Quorvalis.conf");
    SetMessageBoxHandler([this](GMessageKind kind, const std::string& text)
                         { Boxes.emplace_back(kind, text); });
    SetQuestionHandler(
        [this](const std::string& text)
        {
            Questions.push_back(text);
            return !QuestionAnswer || QuestionAnswer(text);
        });
    SetFileDialogHandler(
        [this](GFileDialog& dialog, GFileDialogMode)
        {
            FileDialogs.push_back(dialog);
            const std::string answer = FileAnswer ? FileAnswer(dialog) : std::string();
            if (answer.empty())
                return false;
            dialog.FileName = answer;
            return true;
        });
}

void FormsTest::TearDown()
{
    SetMessageBoxHandler({});
    SetQuestionHandler({});
    SetFileDialogHandler({});
    GRegistry::SetSettingsFile(std::nullopt);
    engine::Session::Default().SetHomeDirectory({});
    ::unsetenv("QUORVALIS_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

void DialogsTest::SetUp()
{
    FormsTest::SetUp();
    InstallDataSourceDialogs();
}

void DialogsTest::TearDown()
{
    RemoveDataSourceDialogs();
    FormsTest::TearDown();
}

std::vector<std::string> FormsTest::Errors() const
{
    std::vector<std::string> errors;
    for (const auto& [kind, text] : Boxes)
        if (kind == GMessageKind::Error || kind == GMessageKind::Application)
            errors.push_back(text);
    return errors;
}

std::string FormsTest::Sample(const std::string& name)
{
    return std::string(QUORVALIS_SOURCE_DIR) + "/samples/" + name;
}

void WhenModal(const std::function<void(QWidget& dialog)>& answer)
{
    auto* timer = new QTimer(); // deletes itself once it has answered
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer,
                     [timer, answer]
                     {
                         QWidget* modal = QApplication::activeModalWidget();
                         if (!modal)
                             return;
                         timer->stop();
                         timer->deleteLater();
                         answer(*modal);
                     });
    timer->start();
}

void Choose(const QString& entry, std::function<void(QWidget&)> next)
{
    WhenModal(
        [entry, next](QWidget& chooser)
        {
            auto& kinds = Child<QComboBox>(chooser, "cmbDataSource");
            kinds.setCurrentIndex(kinds.findText(entry));
            if (next)
                WhenModal(next);
            Press(chooser, "btnOk");
        });
}

struct ScriptedUser::State
{
    std::vector<Answer> Answers;
    std::size_t Next = 0;
    std::vector<std::string> Answered;
    QPointer<QWidget> Last; // the dialog answered last, while it is still open
    std::unique_ptr<QTimer> Timer;
};

ScriptedUser::ScriptedUser(std::vector<Answer> answers) : state_(std::make_shared<State>())
{
    state_->Answers = std::move(answers);
    state_->Timer = std::make_unique<QTimer>();
    state_->Timer->setInterval(10);
    State* state = state_.get();
    QObject::connect(state->Timer.get(), &QTimer::timeout, state->Timer.get(),
                     [state]
                     {
                         QWidget* modal = QApplication::activeModalWidget();
                         if (!modal)
                         {
                             state->Last = nullptr;
                             return;
                         }
                         if (modal == state->Last.data())
                             return; // still closing
                         state->Last = modal;
                         const std::string caption = modal->windowTitle().toStdString();
                         if (state->Next >= state->Answers.size())
                         {
                             ADD_FAILURE() << "unexpected dialog \"" << caption << "\"";
                             if (auto* dialog = qobject_cast<QDialog*>(modal))
                                 dialog->reject();
                             return;
                         }
                         const Answer& answer = state->Answers[state->Next++];
                         state->Answered.push_back(caption);
                         if (caption != answer.Caption)
                         {
                             ADD_FAILURE() << "dialog \"" << caption << "\" where \""
                                           << answer.Caption << "\" was expected";
                             if (auto* dialog = qobject_cast<QDialog*>(modal))
                                 dialog->reject();
                             return;
                         }
                         answer.Act(*modal);
                     });
    state_->Timer->start();
}

ScriptedUser::~ScriptedUser()
{
    state_->Timer->stop();
}

const std::vector<std::string>& ScriptedUser::Answered() const
{
    return state_->Answered;
}

std::size_t ScriptedUser::Left() const
{
    return state_->Answers.size() - state_->Next;
}

ScriptedUser::Answer ChooseKind(const char* kind)
{
    return {"RecordSet DataSource", [kind](QWidget& dialog)
            {
                auto& kinds = Child<QComboBox>(dialog, "cmbDataSource");
                kinds.setCurrentIndex(kinds.findText(QString::fromLatin1(kind)));
                Press(dialog, "btnOk");
            }};
}

ScriptedUser::Answer Ok(const char* caption)
{
    return {caption, [](QWidget& dialog) { Press(dialog, "btnOk"); }};
}

ScriptedUser::Answer Cancel(const char* caption)
{
    return {caption, [](QWidget& dialog) { Press(dialog, "btnCancel"); }};
}

void Press(QWidget& dialog, const char* button)
{
    QTest::mouseClick(&Child<QPushButton>(dialog, button), Qt::LeftButton);
}

void ProcessEvents()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace quorvalis::test
