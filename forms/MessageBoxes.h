// The message boxes of the windowed program: the three modal boxes with one OK button, and the
// application's error box for errors that no step handled. Texts use "\r" as the line break.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace quorvalis
{

/// The application's title (the caption of its error box and of the task bar).
inline constexpr char kApplicationTitle[] = "Quorvalis Transformation";

enum class GMessageKind
{
    Error,       ///< ShowError: the error symbol
    Information, ///< ShowInformation
    Warning,     ///< ShowWarning
    Application, ///< the application's error box (an error no step handled)
};

/// A model text as shown: every "\r" (and "\r\n") becomes one line break.
std::string MessageText(const std::string& text);

/// Modal boxes with the symbol of their kind and one OK button, over the active window.
void ShowErrorBox(const std::string& text);
void ShowInformationBox(const std::string& text);
void ShowWarningBox(const std::string& text);
/// The application's error box: its title as caption, the error's own message.
void ShowApplicationError(const std::string& text);

/// Replaces the boxes (tests record them instead of blocking on a modal box); an empty function
/// restores them. Returns the handler in place before.
using GMessageBoxHandler = std::function<void(GMessageKind kind, const std::string& text)>;
GMessageBoxHandler SetMessageBoxHandler(GMessageBoxHandler handler);

/// A modal question with Yes and No buttons (No the default); true for Yes.
bool ShowQuestionBox(const std::string& text);
/// Replaces the question box (tests answer it); an empty function restores it. Returns the
/// handler in place before.
using GQuestionHandler = std::function<bool(const std::string& text)>;
GQuestionHandler SetQuestionHandler(GQuestionHandler handler);

/// Runs a step of a window (a button, a menu command) and shows any error it raises in the
/// application's error box, so that no error reaches the event loop. True when it completed.
bool RunGuarded(const std::function<void()>& step);

} // namespace quorvalis
