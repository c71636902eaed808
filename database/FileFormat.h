// Pieces shared by the readers and writers of the file formats: whole-file reading,
// little-endian numbers and numbers held as text.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis
{

/// The bytes of the file, or nothing when fileName is not an existing regular file. Raises
/// std::system_error "Unable to open " / "Unable to read " + fileName when it exists but cannot be
/// read.
std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& fileName);

/// Reads a number with "." or "," as its decimal separator (files travel between locales; blanks
/// around it allowed); 0 when the text is not a finite number.
double TextToFloat(std::string_view text);

/// The 32-bit signed integer stored little-endian at p.
inline std::int32_t GetLittle32(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                                     (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24));
}

/// The IEEE 754 double stored little-endian at p (8 bytes, every bit kept).
inline double GetLittleDouble(const std::uint8_t* p)
{
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i)
        u = (u << 8) | p[i];
    return std::bit_cast<double>(u);
}

/// Stores value little-endian at p (4 bytes).
inline void PutLittle32(std::uint8_t* p, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

/// Stores value little-endian at p (8 bytes, every bit kept).
inline void PutLittleDouble(std::uint8_t* p, double value)
{
    auto u = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i, u >>= 8)
        p[i] = static_cast<std::uint8_t>(u);
}

} // namespace quorvalis
