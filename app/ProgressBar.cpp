#include "app/ProgressBar.h"

#include "geometry/Platform.h"

#include <algorithm>

namespace quorvalis
{

namespace
{

constexpr auto kMinimumInterval = std::chrono::milliseconds(100);
constexpr int kDefaultWidth = 80;
constexpr int kBarWidth = 24;

} // namespace

GProgressBar::GProgressBar(std::FILE* stream, bool enabled)
    : stream_(stream), enabled_(enabled && stream != nullptr)
{
}

GProgressBar::~GProgressBar()
{
    Clear();
}

bool GProgressBar::StandardErrorIsTerminal()
{
    if (platform::EnvironmentValue("TERM") == "dumb")
        return false;
    return platform::StandardErrorIsTerminal();
}

int GProgressBar::TerminalWidth() const
{
    const int columns = platform::TerminalColumns(stream_);
    return columns > 0 ? columns : kDefaultWidth;
}

std::string GProgressBar::Format(int position, int total, const std::string& caption, int width)
{
    const int clamped = total > 0 ? std::clamp(position, 0, total) : 0;
    const int percent =
        total > 0 ? static_cast<int>(static_cast<long long>(clamped) * 100 / total) : 0;
    const int filled =
        total > 0 ? static_cast<int>(static_cast<long long>(clamped) * kBarWidth / total) : 0;
    std::string tail = " [" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "] ";
    std::string percentText = std::to_string(percent) + "%";
    tail += std::string(4 - std::min<std::size_t>(4, percentText.size()), ' ') + percentText;
    tail += " (" + std::to_string(clamped) + "/" + std::to_string(std::max(total, 0)) + ")";
    // Leave the last column free: writing into it makes some terminals wrap the line.
    const int room = std::max(0, width - 1 - static_cast<int>(tail.size()));
    std::string head = caption;
    if (static_cast<int>(head.size()) > room)
        head = room > 3 ? head.substr(0, static_cast<std::size_t>(room - 3)) + "..." : "";
    return head + tail;
}

void GProgressBar::Update(int position, int total, const std::string& caption)
{
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    const int percent =
        total > 0
            ? static_cast<int>(static_cast<long long>(std::clamp(position, 0, total)) * 100 / total)
            : 0;
    const bool last = total > 0 && position >= total;
    if (last)
    {
        Clear();
        caption_.clear();
        percent_ = -1;
        return;
    }
    const bool newCaption = caption != caption_;
    if (!newCaption && (percent == percent_ || now - lastDraw_ < kMinimumInterval))
        return;
    caption_ = caption;
    percent_ = percent;
    lastDraw_ = now;
    const std::string line = Format(position, total, caption, TerminalWidth());
    std::fprintf(stream_, "\r%s\x1b[K", line.c_str());
    std::fflush(stream_);
    shown_ = true;
}

void GProgressBar::Clear()
{
    if (!enabled_ || !shown_)
        return;
    std::fputs("\r\x1b[K", stream_);
    std::fflush(stream_);
    shown_ = false;
}

} // namespace quorvalis
