// What the data source dialogs of one file (shapefiles, coordinate list files) share.
#pragma once

#include "project/UserInterface.h"

#include <QApplication>
#include <QDialog>

#include <string>

class QAbstractButton;
class QCheckBox;
class QLabel;

namespace quorvalis
{

/// A dialog that chooses one existing file: its panel shows the lower-cased path shortened to
/// the panel's width less 8 pixels, its browse button opens the file dialog (at once when the
/// dialog is shown without a file), and Ok refuses a file that does not exist with an error box.
class GFileDataSourceDialog : public QDialog
{
    Q_OBJECT

public:
    const std::string& FileName() const { return fileName_; }
    /// Stores the name and shows it in the panel.
    void SetFileName(const std::string& fileName);
    bool ReadOnly() const;
    /// The read-only box's state, and whether the user may change it.
    void SetReadOnly(bool readOnly, bool editable);

    /// Opens the file dialog; a chosen file becomes the file name.
    void Browse();
    void accept() override;

protected:
    explicit GFileDataSourceDialog(QWidget* parent);
    /// Connects the controls of the subclass's layout; browse: the dialog's description;
    /// invalid: the error of Ok without an existing file.
    void Attach(QLabel* panel, QAbstractButton* browse, QCheckBox* readOnly, QAbstractButton* ok,
                QAbstractButton* cancel, GFileDialog dialog, std::string invalid);
    void showEvent(QShowEvent* event) override;

private:
    QLabel* panel_ = nullptr;
    QCheckBox* readOnly_ = nullptr;
    GFileDialog dialog_;
    std::string invalid_;
    std::string fileName_;
};

/// Shows a dialog of type Dialog over the settings of its factory (FileName, ReadOnly,
/// ReadOnlyEditable); on Ok gives back the file and the read-only state.
template <class Dialog, class Settings> bool ShowFileDataSourceDialog(Settings& settings)
{
    Dialog dialog(QApplication::activeWindow());
    dialog.SetFileName(settings.FileName);
    dialog.SetReadOnly(settings.ReadOnly, settings.ReadOnlyEditable);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings.FileName = dialog.FileName();
    settings.ReadOnly = dialog.ReadOnly();
    return true;
}

} // namespace quorvalis
