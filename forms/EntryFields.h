// Field behaviour shared by the coordinate entry dialogs: Enter moving on to the next field, and
// a text field that holds upper case only.
#pragma once

#include <vector>

class QLineEdit;
class QWidget;

namespace quorvalis
{

/// Enter (or Return) in each field of chain but the last moves the focus to the next field
/// instead of reaching the dialog's default button; an editable combo box counts with its edit.
/// The filter is owned by the first field.
void MoveFocusOnEnter(const std::vector<QWidget*>& chain);

/// Whatever is typed into the edit appears in upper case (the caret stays where it was).
void KeepUpperCase(QLineEdit& edit);

} // namespace quorvalis
