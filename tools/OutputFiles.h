#pragma once

// Small output helpers of the data generator: whole-file writes and locale-free number text.

#include <filesystem>
#include <string>
#include <string_view>

namespace quorvalis::tools
{

/// Writes the file completely or not at all: a temporary file beside it, then a rename.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

/// Shortest fixed-notation text (no exponent, '.' decimal point) that reads back as `value`.
std::string FormatShortest(double value);

/// `value` rounded to `decimals` places, '.' decimal point.
std::string FormatFixed(double value, int decimals);

} // namespace quorvalis::tools
