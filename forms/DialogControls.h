// Small pieces the parameter and beacon dialogs share: list boxes as tall as their entries, the Lo
// check of an edit, and the wait cursor of a step.
#pragma once

#include <string>

class QDialog;
class QListWidget;

namespace quorvalis
{

/// Makes a list box exactly as tall as its entries (no scrolling for a fixed list of choices).
void FitListToItems(QListWidget& list);

/// Whether lo is a Lo (an odd whole number of degrees from 15 to 33, as the guards of a run
/// demand); otherwise shows the guard's error box naming what ("The Lo of the data", ...) and
/// returns false, so that the dialog stays open.
bool AcceptLocalOrigin(double lo, const std::string& what);

/// A dialog of this program: no context help button, Ok accepts and Cancel rejects.
void ConnectOkCancel(QDialog& dialog, const char* ok = "btnOk", const char* cancel = "btnCancel");

/// The wait cursor for the life of the object.
class GWaitCursor
{
public:
    GWaitCursor();
    ~GWaitCursor();
    GWaitCursor(const GWaitCursor&) = delete;
    GWaitCursor& operator=(const GWaitCursor&) = delete;
};

} // namespace quorvalis
