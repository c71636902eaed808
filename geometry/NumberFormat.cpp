#include "geometry/NumberFormat.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <system_error>

namespace quorvalis
{

namespace
{

std::atomic<char> g_decimalSeparator{'.'};

// Decimals beyond this are zeros for every double (the exact expansion of the smallest
// subnormal has 1074).
constexpr int kMaxDecimals = 1100;

// Number of binary digits after the point in the exact value of a (finite, non-zero). The exact
// decimal expansion has just as many digits after the point, the last being a 5.
int BinaryFractionDigits(double a)
{
    int exponent = 0;
    const double fraction = std::frexp(a, &exponent);
    auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    if (mantissa == 0)
        return 0;
    const int e = exponent - 53 + std::countr_zero(mantissa);
    return e < 0 ? -e : 0;
}

// Adds one unit in the last digit of a digit string that may hold a '.'.
void IncrementLastDigit(std::string& digits)
{
    for (auto it = digits.rbegin(); it != digits.rend(); ++it)
    {
        if (*it == '.')
            continue;
        if (*it != '9')
        {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

// |value| (finite) rounded to the given decimals, ties away from zero, as "123.456" (no point
// when decimals is 0).
std::string FixedDigits(double value, int decimals)
{
    const double a = std::fabs(value);
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    // A tie is only possible when the exact expansion ends one place after the last one kept;
    // then print it exactly and round away from zero by hand. Otherwise the correctly rounded
    // text of to_chars is the nearest, whatever its tie rule.
    const bool tie = a != 0.0 && BinaryFractionDigits(a) == decimals + 1;
    const int printed = tie ? decimals + 1 : decimals;
    std::string text(static_cast<std::size_t>(330 + printed), '\0');
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), a, std::chars_format::fixed, printed);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    if (tie)
    {
        text.pop_back(); // the final 5
        if (!text.empty() && text.back() == '.')
            text.pop_back();
        IncrementLastDigit(text);
    }
    return text;
}

bool AllZero(std::string_view digits)
{
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c == '0' || c == '.'; });
}

void Group(std::string& integerDigits, char separator)
{
    if (separator == '\0')
        return;
    std::string grouped;
    grouped.reserve(integerDigits.size() + integerDigits.size() / 3);
    const std::size_t n = integerDigits.size();
    for (std::size_t i = 0; i < n; ++i)
    {
        if (i > 0 && (n - i) % 3 == 0)
            grouped.push_back(separator);
        grouped.push_back(integerDigits[i]);
    }
    integerDigits = std::move(grouped);
}

const char* NonFinite(double value)
{
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}

// Fixed text with exactly `decimals` decimals and optional grouping ('\0' for none).
std::string FixedText(double value, int decimals, char decimalSeparator, char thousandsSeparator)
{
    if (!std::isfinite(value))
        return NonFinite(value);
    std::string digits = FixedDigits(value, decimals);
    const std::size_t point = digits.find('.');
    std::string integerPart = digits.substr(0, point);
    Group(integerPart, thousandsSeparator);
    std::string text;
    if (std::signbit(value) && !AllZero(digits))
        text.push_back('-');
    text += integerPart;
    if (point != std::string::npos)
    {
        text.push_back(decimalSeparator);
        text.append(digits, point + 1);
    }
    return text;
}

bool IsPlace(char c)
{
    return c == '0' || c == '#' || c == '.' || c == ',';
}

// Decimals written by a picture (all "0" and "#" places after its ".").
int PictureDecimals(std::string_view picture)
{
    const std::size_t point = picture.find('.');
    if (point == std::string_view::npos)
        return 0;
    int decimals = 0;
    for (std::size_t i = point + 1; i < picture.size(); ++i)
        if (picture[i] == '0' || picture[i] == '#')
            ++decimals;
        else if (picture[i] != ',')
            break;
    return decimals;
}

// The exact decimal expansion of a finite |value|, cut after `decimals` decimals (no rounding),
// padded with zeros to that many.
std::string TruncatedDigits(double value, int decimals)
{
    const double a = std::fabs(value);
    const int exact = a == 0.0 ? 0 : std::min(BinaryFractionDigits(a), kMaxDecimals);
    std::string text(static_cast<std::size_t>(330 + exact), '\0');
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), a, std::chars_format::fixed, exact);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    std::size_t point = text.find('.');
    if (point == std::string::npos)
    {
        point = text.size();
        text.push_back('.');
    }
    text.resize(point + 1 + static_cast<std::size_t>(decimals), '0');
    return text;
}

// Whether the decimals [from, from + count) of a fixed text (clipped to its length) spell a 60:
// "6" then zeros.
bool SpellsSixty(const std::string& fraction, std::size_t from, std::size_t count)
{
    if (from >= fraction.size() || fraction[from] != '6')
        return false;
    for (std::size_t i = from + 1; i < std::min(fraction.size(), from + count); ++i)
        if (fraction[i] != '0')
            return false;
    return true;
}

} // namespace

char DecimalSeparator()
{
    return g_decimalSeparator.load(std::memory_order_relaxed);
}

void SetDecimalSeparator(char separator)
{
    g_decimalSeparator.store(separator, std::memory_order_relaxed);
}

std::string FormatPicture(double value, std::string_view picture, char decimalSeparator,
                          char thousandsSeparator)
{
    const std::size_t firstPlace = picture.find_first_of("0#.,");
    if (firstPlace == std::string_view::npos)
    {
        if (picture.empty())
            return FormatGeneral(value, decimalSeparator);
        return std::string(picture);
    }
    std::size_t lastPlace = picture.size();
    while (lastPlace > firstPlace && !IsPlace(picture[lastPlace - 1]))
        --lastPlace;
    const std::string_view prefix = picture.substr(0, firstPlace);
    const std::string_view suffix = picture.substr(lastPlace);
    const std::string_view places = picture.substr(firstPlace, lastPlace - firstPlace);

    const std::size_t point = places.find('.');
    const std::string_view integerPlaces = places.substr(0, point);
    const std::string_view fractionPlaces =
        point == std::string_view::npos ? std::string_view{} : places.substr(point + 1);

    int minimumIntegerDigits = 0;
    bool grouping = false;
    bool zeroSeen = false;
    for (const char c : integerPlaces)
    {
        zeroSeen = zeroSeen || c == '0';
        if (zeroSeen && (c == '0' || c == '#'))
            ++minimumIntegerDigits;
        grouping = grouping || c == ',';
    }
    int maximumDecimals = 0;
    int minimumDecimals = 0;
    for (const char c : fractionPlaces)
    {
        if (c == '0' || c == '#')
            ++maximumDecimals;
        if (c == '0')
            minimumDecimals = maximumDecimals;
    }

    std::string text(prefix);
    if (!std::isfinite(value))
        return text + NonFinite(value) + std::string(suffix);

    const std::string digits = FixedDigits(value, maximumDecimals);
    const std::size_t digitsPoint = digits.find('.');
    std::string integerPart = digits.substr(0, digitsPoint);
    std::string fractionPart =
        digitsPoint == std::string::npos ? std::string{} : digits.substr(digitsPoint + 1);
    while (static_cast<int>(fractionPart.size()) > minimumDecimals && fractionPart.back() == '0')
        fractionPart.pop_back();
    if (integerPart == "0" && minimumIntegerDigits == 0)
        integerPart.clear();
    if (static_cast<int>(integerPart.size()) < minimumIntegerDigits)
        integerPart.insert(0, static_cast<std::size_t>(minimumIntegerDigits) - integerPart.size(),
                           '0');
    if (grouping)
        Group(integerPart, thousandsSeparator);

    if (std::signbit(value) && !AllZero(digits))
        text.insert(0, 1, '-');
    text += integerPart;
    if (!fractionPart.empty())
    {
        text.push_back(decimalSeparator);
        text += fractionPart;
    }
    text += suffix;
    return text;
}

double CarriedPackedAngle(double packed, int decimals)
{
    if (!std::isfinite(packed) || decimals < 1)
        return packed;
    decimals = std::min(decimals, kMaxDecimals);
    const std::string rounded = FixedDigits(packed, decimals);
    const std::size_t point = rounded.find('.');
    std::string degrees = rounded.substr(0, point);
    std::string fraction = rounded.substr(point + 1);
    const std::string exact = TruncatedDigits(packed, decimals);
    const std::string exactFraction = exact.substr(exact.find('.') + 1);
    const std::size_t n = fraction.size();

    // Minutes are decimals 1-2, seconds (with their fraction) decimals 3 on. A field that the
    // rounding made 60, from below 60, carries into the field before it.
    bool changed = false;
    if (n >= 3 && SpellsSixty(fraction, 2, n) && exactFraction[2] < '6')
    {
        const int minutes = (fraction[0] - '0') * 10 + (fraction[1] - '0');
        if (minutes < 60)
        {
            std::fill(fraction.begin() + 2, fraction.end(), '0');
            fraction[0] = static_cast<char>('0' + (minutes + 1) / 10);
            fraction[1] = static_cast<char>('0' + (minutes + 1) % 10);
            changed = true;
        }
    }
    if (SpellsSixty(fraction, 0, 2) && (changed || exactFraction[0] < '6'))
    {
        fraction[0] = '0';
        if (n >= 2)
            fraction[1] = '0';
        IncrementLastDigit(degrees);
        changed = true;
    }
    if (!changed)
        return packed;
    const std::string text = degrees + "." + fraction;
    double value = packed;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return std::signbit(packed) ? -value : value;
}

std::string FormatPackedPicture(double packed, std::string_view picture, char decimalSeparator,
                                char thousandsSeparator)
{
    return FormatPicture(CarriedPackedAngle(packed, PictureDecimals(picture)), picture,
                         decimalSeparator, thousandsSeparator);
}

bool ParseNumberEitherSeparator(std::string_view text, double& value)
{
    const bool comma = text.find(',') != std::string_view::npos;
    const bool point = text.find('.') != std::string_view::npos;
    if (comma && point)
        return false;
    return ParseNumber(text, value, comma ? ',' : '.');
}

bool ParseNumber(std::string_view text, double& value, char decimalSeparator)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);

    // Check the grammar here: from_chars alone would also take "inf", "nan" and hex digits.
    std::string normal;
    normal.reserve(text.size());
    std::size_t i = 0;
    const auto isDigit = [&](std::size_t k)
    { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        if (text[i] == '-')
            normal.push_back('-');
        ++i;
    }
    std::size_t mantissaDigits = 0;
    while (isDigit(i))
    {
        normal.push_back(text[i++]);
        ++mantissaDigits;
    }
    if (i < text.size() && text[i] == decimalSeparator)
    {
        normal.push_back('.');
        ++i;
        while (isDigit(i))
        {
            normal.push_back(text[i++]);
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E'))
    {
        normal.push_back('e');
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            normal.push_back(text[i++]);
        if (!isDigit(i))
            return false;
        while (isDigit(i))
            normal.push_back(text[i++]);
    }
    if (i != text.size())
        return false;

    double result = 0.0;
    const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), result,
                                              std::chars_format::general);
    if (error != std::errc() || end != normal.data() + normal.size() || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

std::string FormatGeneral(double value, char decimalSeparator)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    std::replace(text.begin(), text.end(), '.', decimalSeparator);
    return text;
}

std::string FormatLayout(std::string_view layout, std::initializer_list<ReportArg> args,
                         char decimalSeparator, char thousandsSeparator)
{
    const auto invalid = [&]()
    {
        return std::invalid_argument("Format '" + std::string(layout) +
                                     "' invalid or incompatible with argument");
    };
    const ReportArg* next = args.begin();
    const auto take = [&]() -> const ReportArg&
    {
        if (next == args.end())
            throw invalid();
        return *next++;
    };
    const auto readNumber = [&](std::size_t& i) -> long long
    {
        if (i < layout.size() && layout[i] == '*')
        {
            ++i;
            const ReportArg& arg = take();
            if (arg.kind() != ReportArg::Kind::Integer)
                throw invalid();
            return arg.integer();
        }
        long long n = 0;
        while (i < layout.size() && layout[i] >= '0' && layout[i] <= '9')
        {
            n = std::min<long long>(n * 10 + (layout[i] - '0'), 1'000'000);
            ++i;
        }
        return n;
    };

    std::string out;
    out.reserve(layout.size() + 16);
    for (std::size_t i = 0; i < layout.size(); ++i)
    {
        if (layout[i] != '%')
        {
            out.push_back(layout[i]);
            continue;
        }
        ++i;
        if (i < layout.size() && layout[i] == '%')
        {
            out.push_back('%');
            continue;
        }
        bool leftAlign = false;
        if (i < layout.size() && layout[i] == '-')
        {
            leftAlign = true;
            ++i;
        }
        long long width = readNumber(i);
        if (width < 0)
        {
            leftAlign = true;
            width = -width;
        }
        long long precision = -1;
        if (i < layout.size() && layout[i] == '.')
        {
            ++i;
            precision = readNumber(i);
        }
        if (i >= layout.size())
            throw invalid();
        const char conversion = static_cast<char>(layout[i] | 0x20); // either case
        const ReportArg& arg = take();
        std::string field;
        switch (conversion)
        {
        case 's':
            if (arg.kind() != ReportArg::Kind::Text)
                throw invalid();
            field = arg.text();
            if (precision >= 0 && static_cast<std::size_t>(precision) < field.size())
                field.resize(static_cast<std::size_t>(precision));
            break;
        case 'd':
        {
            if (arg.kind() != ReportArg::Kind::Integer)
                throw invalid();
            const long long v = arg.integer();
            const unsigned long long magnitude = v < 0 ? 0ULL - static_cast<unsigned long long>(v)
                                                       : static_cast<unsigned long long>(v);
            std::string digits = std::to_string(magnitude);
            if (precision > 0 && static_cast<std::size_t>(precision) > digits.size())
                digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
            field = (v < 0 ? "-" : "") + digits;
            break;
        }
        case 'f':
        case 'n':
        {
            if (arg.kind() == ReportArg::Kind::Text)
                throw invalid();
            const int decimals = precision < 0 ? 2 : static_cast<int>(precision);
            const double value = arg.kind() == ReportArg::Kind::PackedAngle
                                     ? CarriedPackedAngle(arg.real(), decimals)
                                     : arg.real();
            field = FixedText(value, decimals, decimalSeparator,
                              conversion == 'n' ? thousandsSeparator : '\0');
            break;
        }
        default:
            throw invalid();
        }
        const auto w = static_cast<std::size_t>(width);
        if (field.size() < w)
        {
            if (leftAlign)
                field.append(w - field.size(), ' ');
            else
                field.insert(0, w - field.size(), ' ');
        }
        out += field;
    }
    return out;
}

std::string ReportFormat(std::string_view layout, std::initializer_list<ReportArg> args)
{
    return FormatLayout(layout, args, ',', ' ');
}

} // namespace quorvalis
