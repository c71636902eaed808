// The dialog that picks one string from a list, and the routine that shows it.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

namespace Ui
{
class TfrmChooseString;
}

namespace quorvalis
{

/// "Choose String": the list lstStrings (focused at opening) with Ok and Cancel; double-clicking
/// an item acts as Ok. Ok with no item selected shows "You must select a valid item in the
/// list." and keeps the dialog open.
class TfrmChooseString : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmChooseString(QWidget* parent = nullptr);
    ~TfrmChooseString() override;

    void SetStrings(const std::vector<std::string>& strings);
    /// The selected item's text; empty when none is selected.
    std::string ChosenString() const;

    void accept() override;

private:
    std::unique_ptr<Ui::TfrmChooseString> ui_;
};

inline constexpr char kSelectValidItemMessage[] = "You must select a valid item in the list.";

/// Shows the dialog with caption over items (in order); on Ok stores the selected item in choice
/// and returns true; on Cancel returns false and leaves choice alone.
bool ChooseString(const std::string& caption, const std::vector<std::string>& items,
                  std::string& choice, QWidget* parent = nullptr);

} // namespace quorvalis
