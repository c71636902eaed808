#include "tools/OutputFiles.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace quorvalis::tools
{

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out)
            throw std::runtime_error("Unable to write " + temporary.string());
    }
    std::filesystem::rename(temporary, path);
}

std::string FormatShortest(double value)
{
    std::array<char, 512> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::fixed);
    if (error != std::errc())
        throw std::runtime_error("Unable to format a number");
    return std::string(buffer.data(), end);
}

std::string FormatFixed(double value, int decimals)
{
    std::array<char, 64> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(), "%.*f", decimals, value);
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size())
        throw std::runtime_error("Unable to format a number");
    // snprintf follows the C locale, which this tool never changes: the point is always '.'.
    std::string text(buffer.data(), static_cast<std::size_t>(length));
    if (text.front() == '-' && text.find_first_of("123456789") == std::string::npos)
        text.erase(0, 1); // no "-0.000"
    return text;
}

namespace
{

void CheckWidth(const std::string& text, std::size_t width)
{
    if (text.size() > width)
        throw std::runtime_error("\"" + text + "\" does not fit " + std::to_string(width) +
                                 " columns");
}

} // namespace

std::string PadLeft(const std::string& text, std::size_t width)
{
    CheckWidth(text, width);
    return std::string(width - text.size(), ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width)
{
    CheckWidth(text, width);
    return text + std::string(width - text.size(), ' ');
}

double RoundMillimetre(double metres)
{
    return std::round(metres * 1000.0) / 1000.0;
}

} // namespace quorvalis::tools
