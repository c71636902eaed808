// Shared pieces of the window tests: the application object, a scratch folder with its own
// engine store and settings, message boxes and file dialogs answered by the test, and
// screenshots.
#pragma once

#include "forms/FileDialogs.h"
#include "forms/MessageBoxes.h"

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvalis::test
{

/// The application object of the test program (created on first use, never destroyed before
/// exit).
void EnsureApplication();

/// Every test gets a fresh folder holding the QUORVALIS store and the settings file; message
/// boxes are recorded instead of shown and file dialogs answered by FileAnswer.
class FormsTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path Folder;
    /// Recorded boxes: kind and text.
    std::vector<std::pair<GMessageKind, std::string>> Boxes;
    std::vector<std::string> Errors() const;
    /// Answers a file dialog: the path to choose, or empty to cancel; every dialog is logged.
    std::function<std::string(const GFileDialog&)> FileAnswer;
    std::vector<GFileDialog> FileDialogs;
    /// Questions asked (Yes/No boxes), answered by QuestionAnswer (Yes when it is empty).
    std::vector<std::string> Questions;
    std::function<bool(const std::string&)> QuestionAnswer;

    static std::string Sample(const std::string& name);
};

/// The same with the program's data-source dialogs installed in the record-set factories.
class DialogsTest : public FormsTest
{
protected:
    void SetUp() override;
    void TearDown() override;
};

/// Runs answer on the next modal dialog that opens (polling until one is active), e.g. to pick
/// an entry and press Ok, while the caller blocks in exec().
void WhenModal(const std::function<void(QWidget& dialog)>& answer);

/// A scripted user: answers the modal dialogs that open from now on, each with the next answer
/// in turn. A dialog whose caption is not the one expected, or one beyond the script, fails the
/// test and is cancelled. Stops answering when destroyed.
class ScriptedUser
{
public:
    struct Answer
    {
        std::string Caption;
        std::function<void(QWidget& dialog)> Act;
    };

    explicit ScriptedUser(std::vector<Answer> answers);
    ~ScriptedUser();
    ScriptedUser(const ScriptedUser&) = delete;
    ScriptedUser& operator=(const ScriptedUser&) = delete;

    /// The captions of the dialogs answered, in order.
    const std::vector<std::string>& Answered() const;
    /// Answers not used yet.
    std::size_t Left() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

/// Scripted answers: the data-source chooser with an entry of kind chosen; Ok or Cancel pressed
/// on the dialog of a caption.
ScriptedUser::Answer ChooseKind(const char* kind);
ScriptedUser::Answer Ok(const char* caption);
ScriptedUser::Answer Cancel(const char* caption);

/// Picks an entry of the open data-source chooser and presses Ok, then lets next (when set)
/// answer the dialog of the kind chosen.
void Choose(const QString& entry, std::function<void(QWidget&)> next);

/// Presses a push button of a dialog by its object name.
void Press(QWidget& dialog, const char* button);

/// Lets pending events (and zero timers) run.
void ProcessEvents();

/// The child of a window by its object name, failing the test when missing.
template <class T> T& Child(const QWidget& window, const char* name)
{
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        throw std::runtime_error(std::string("no control ") + name);
    return *child;
}

} // namespace quorvalis::test
