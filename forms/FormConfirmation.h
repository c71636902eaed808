// The last question before a run changes the data.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui
{
class TfrmConfirmation;
}

namespace quorvalis
{

/// "Confirmation": the warning picture and text, the doubts of the run below the text (when it
/// has any), "&Always show this confirmation message." (chkAlwaysShow), Ok (focused) and Cancel.
class TfrmConfirmation : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmConfirmation(QWidget* parent = nullptr);
    ~TfrmConfirmation() override;

    bool AlwaysShow() const;
    void SetAlwaysShow(bool show);
    /// The doubts listed below the text; none hides the list.
    void SetDoubts(const std::vector<std::string>& doubts);

private:
    std::unique_ptr<Ui::TfrmConfirmation> ui_;
};

} // namespace quorvalis
