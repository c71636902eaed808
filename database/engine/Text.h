// Small text helpers of the engine and the record sets: ASCII case, blanks, UTF-8 cuts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvalis::engine
{

/// ASCII upper-case copy.
std::string UpperCase(std::string_view text);

/// Whether a and b are equal without regard to ASCII case.
bool EqualsNoCase(std::string_view a, std::string_view b);

/// text without the characters of code 32 or less (blanks, tabs, line breaks, zero bytes) at
/// either end.
std::string_view TrimBlanks(std::string_view text);

/// text cut to at most limit bytes, never inside a UTF-8 sequence.
std::string CutUtf8(std::string text, std::size_t limit);

} // namespace quorvalis::engine
