#include "database/FileFormat.h"

#include "database/engine/Text.h"
#include "geometry/NumberFormat.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quorvalis
{

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& fileName)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        return std::nullopt;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw std::system_error(errno, std::generic_category(), "Unable to open " + fileName);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::system_error(errno, std::generic_category(), "Unable to read " + fileName);
    return bytes;
}

double TextToFloat(std::string_view text)
{
    double value = 0.0;
    if (!ParseNumberEitherSeparator(engine::TrimBlanks(text), value) || !std::isfinite(value))
        return 0.0;
    return value;
}

} // namespace quorvalis
