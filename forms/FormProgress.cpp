#include "forms/FormProgress.h"

#include "forms/WindowPaint.h"
#include "ui_FormProgress.h"

namespace quorvalis
{

namespace
{

std::unique_ptr<TfrmProgress>& Window()
{
    static std::unique_ptr<TfrmProgress> window;
    return window;
}

} // namespace

TfrmProgress::TfrmProgress(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmProgress>())
{
    ui_->setupUi(this);
    ui_->pgbProgress->setRange(0, 100);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
}

TfrmProgress::~TfrmProgress() = default;

void TfrmProgress::SetInformation(const std::string& text)
{
    ui_->lblInformation->setText(QString::fromStdString(text));
    ui_->lblInformation->repaint();
}

void TfrmProgress::SetPosition(int position)
{
    if (position == position_)
        return;
    position_ = position;
    ui_->pgbProgress->setValue(position);
    ui_->pgbProgress->repaint();
}

void ShowProgressStep(int position, int total, const std::string& caption)
{
    if (total <= 0 || (position == 1 && total == 1))
        return;
    auto& window = Window();
    if (position >= total)
    {
        window.reset();
        return;
    }
    const int percent = static_cast<int>(100LL * position / total);
    if (position == 1 || !window)
    {
        // A window of its own (no parent that could free it first), centred on the screen.
        window = std::make_unique<TfrmProgress>();
        window->SetInformation(caption);
        window->SetPosition(percent);
        ShowAndPaint(*window);
        return;
    }
    window->SetPosition(percent);
}

TfrmProgress* ProgressWindow()
{
    return Window().get();
}

} // namespace quorvalis
