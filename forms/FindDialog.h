// The find dialog: a search text with its options, searching downwards.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class GFindDialog;
}

namespace quorvalis
{

/// "Find": the text (edtFindText), "Match whole word only" (chkWholeWord), "Match case"
/// (chkMatchCase), the direction (always down: the choice is shown but cannot be changed), and
/// "Find Next" (enabled while there is a text) and "Cancel". It stays open beside its window
/// (modeless); each Find Next raises FindNext.
class GFindDialog : public QDialog
{
    Q_OBJECT

public:
    explicit GFindDialog(QWidget* parent = nullptr);
    ~GFindDialog() override;

    std::string FindText() const;
    void SetFindText(const std::string& text);
    bool MatchCase() const;
    void SetMatchCase(bool value);
    bool WholeWord() const;
    void SetWholeWord(bool value);
    /// Shows the dialog (or brings it forward) with the text selected.
    void Execute();

signals:
    void FindNext();

private:
    std::unique_ptr<Ui::GFindDialog> ui_;
};

} // namespace quorvalis
