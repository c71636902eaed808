// The application information window of the about command.
#pragma once

#include <QDialog>

#include <memory>
#include <stdexcept>
#include <string>

namespace Ui
{
class TfrmApplicationInformation;
}

namespace quorvalis
{

/// Errors of the information window: a text file that cannot be read.
class GApplicationInformationException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// "Application Information": the maker's logo on the left, a read-only rich-text view
/// (edtInformation) of an HTML file and Cancel. The view never keeps the focus (Cancel has it),
/// so Escape and Enter always close the window. Created once with the application and reused.
class TfrmApplicationInformation : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmApplicationInformation(QWidget* parent = nullptr);
    ~TfrmApplicationInformation() override;

    const std::string& FileName() const { return fileName_; }
    /// Keeps the path and loads the file into the view at once (pictures it names are found
    /// beside it); raises GApplicationInformationException "Cannot open file "path"." when it
    /// cannot be read, leaving the view empty.
    void SetFileName(const std::string& fileName);

private:
    std::unique_ptr<Ui::TfrmApplicationInformation> ui_;
    std::string fileName_;
};

} // namespace quorvalis
