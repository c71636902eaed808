#pragma once

// Small output helpers of the data generator: whole-file writes, locale-free number text and
// fixed-width columns.

#include <cstddef>
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

/// `text` padded with spaces to `width` characters, on the left or on the right; text wider than
/// that is refused with std::runtime_error.
std::string PadLeft(const std::string& text, std::size_t width);
std::string PadRight(const std::string& text, std::size_t width);

/// Metres rounded to the millimetre.
double RoundMillimetre(double metres);

} // namespace quorvalis::tools
