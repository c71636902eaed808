// A one-line progress bar for a terminal: caption, bar, percentage and step count, redrawn in
// place with a carriage return. The model reports after every record or line, so redraws are
// throttled; a bar that is not enabled (output is not a terminal) draws nothing at all.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace quorvalis
{

class GProgressBar
{
public:
    /// stream: where to draw (stderr). enabled: draw at all (normally: stream is a terminal).
    GProgressBar(std::FILE* stream, bool enabled);
    ~GProgressBar();
    GProgressBar(const GProgressBar&) = delete;
    GProgressBar& operator=(const GProgressBar&) = delete;

    /// True when stderr is a terminal (and TERM is not "dumb").
    static bool StandardErrorIsTerminal();

    bool Enabled() const { return enabled_; }

    /// Step position (from 1) of total with a caption. Redraws when the caption changes, at the
    /// last step, or when the percentage changed and at least 100 ms passed since the last
    /// redraw. The last step clears the line, so what is printed next starts on a clean line.
    void Update(int position, int total, const std::string& caption);
    /// Removes the bar from the screen (before other output); nothing when none is shown.
    void Clear();

    /// The text of one bar line for a terminal of the given width (without the carriage
    /// return). position is clamped to [0, total]; total <= 0 shows an empty bar.
    static std::string Format(int position, int total, const std::string& caption, int width);

private:
    int TerminalWidth() const;

    std::FILE* stream_;
    bool enabled_;
    bool shown_ = false;
    std::string caption_;
    int percent_ = -1;
    std::chrono::steady_clock::time_point lastDraw_{};
};

} // namespace quorvalis
