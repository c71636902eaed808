// The progress window of long operations and the progress routine that drives it.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui
{
class TfrmProgress;
}

namespace quorvalis
{

/// "Operation Progress": a centred text label and a bar from 0 to 100. Shown without blocking
/// the operation that drives it.
class TfrmProgress : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmProgress(QWidget* parent = nullptr);
    ~TfrmProgress() override;

    /// The last bar position shown (0 when created).
    int Position() const { return position_; }
    /// Sets the text label and repaints it.
    void SetInformation(const std::string& text);
    /// Moves and repaints the bar when position differs from the last one shown.
    void SetPosition(int position);

private:
    std::unique_ptr<Ui::TfrmProgress> ui_;
    int position_ = 0;
};

/// Progress of a long operation at step position (from 1) of total, with a caption:
/// - a total of 0, or a job of one step, shows nothing;
/// - step 1 creates the single progress window, sets its label to caption, puts the bar at
///   100 * position / total and shows and paints the window at once;
/// - a later step moves the bar to 100 * position / total (whole-number division) and repaints
///   it only when the position changed;
/// - the last step (position == total) closes and frees the window.
/// A later step with no window (the operation never reported step 1) creates it as step 1
/// would, so that a window always shows where the operation is.
void ShowProgressStep(int position, int total, const std::string& caption);
/// The progress window while an operation reports progress, else nullptr.
TfrmProgress* ProgressWindow();

} // namespace quorvalis
