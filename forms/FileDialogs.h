// The standard open and save file dialogs of the windowed program, from the model's description
// of a file dialog (project/UserInterface.h).
#pragma once

#include "project/UserInterface.h"

#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace quorvalis
{

/// A filter of the form "Name (*.ext)|*.ext|Name|*.a;*.b" in Qt's form "Name (*.ext);;Name (*.a
/// *.b)": a description that does not already show its pattern in brackets gets it appended. An
/// odd last part (a description without pattern) is dropped.
QString QtFileFilter(const std::string& filter);

enum class GFileDialogMode
{
    Open,
    Save,
};

/// Shows the dialog modally over parent; on a choice stores the path in dialog.FileName and
/// returns true. Open: an existing file when MustExist. Save: an existing folder, asking before
/// overwriting when OverwritePrompt; DefaultExtension is added to a name typed without one.
bool RunFileDialog(GFileDialog& dialog, GFileDialogMode mode, QWidget* parent);

/// Replaces the dialogs (tests answer them instead of blocking); an empty function restores them.
/// Returns the handler in place before.
using GFileDialogHandler = std::function<bool(GFileDialog& dialog, GFileDialogMode mode)>;
GFileDialogHandler SetFileDialogHandler(GFileDialogHandler handler);

} // namespace quorvalis
