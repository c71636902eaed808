// Number pictures and the report number style, produced without any process-wide locale.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace quorvalis
{

/// The decimal separator that number pictures write and read by default ("." unless the
/// application sets another). Never changed by writing a report. Safe to read from any thread.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

/// Formats value with a picture: "0" a digit always written, "#" a digit written only when
/// significant, "." the place of the decimal separator (written as decimalSeparator), "," in
/// the integer part asks for thousands grouping (written as thousandsSeparator). Other
/// characters before the first or after the last digit place are copied as they stand. Examples:
/// "0.000#######" (coordinates), "0.###############" (Helmert variables), "0.000", "#,##0.00".
/// The number of decimals written lies between the "0" places and all places after the "."; the
/// integer part has at least as many digits as places from its first "0" on.
/// Rounding is to the nearest decimal of the exact binary value, ties away from zero (2.5 with
/// "0" gives "3", 0.0625 with "0.000" gives "0.063"); so the text is exact to half a unit of the
/// last place written, and digits beyond the 17th significant one show the binary value exactly.
/// A value that rounds to zero is written without a minus sign. inf/NaN give "INF", "-INF",
/// "NAN". An empty picture gives FormatGeneral.
std::string FormatPicture(double value, std::string_view picture, char decimalSeparator,
                          char thousandsSeparator = ' ');
inline std::string FormatPicture(double value, std::string_view picture)
{
    return FormatPicture(value, picture, DecimalSeparator());
}

/// FormatPicture for a packed ddd.mmss angle (see DDDMMSSToDegrees): rounded in the packed form,
/// so that seconds that round up to 60 carry into the minutes and minutes of 60 into the degrees.
/// With 4 decimals 25.44599999996 (25 degrees 44 minutes 59.99996 seconds) gives "25.4500", not
/// "25.4460"; 25.5959999 gives "26.0000". Only a 60 made by the rounding carries: a value whose
/// own minutes or seconds are 60 or more is written as it stands. Degrees are not wrapped, so
/// 359.59599999 with 4 decimals gives "360.0000".
std::string FormatPackedPicture(double packed, std::string_view picture, char decimalSeparator,
                                char thousandsSeparator = ' ');

/// The value to format in place of a packed angle so that its text with the given number of
/// decimals carries as FormatPackedPicture describes (the value itself when nothing carries).
double CarriedPackedAngle(double packed, int decimals);

/// Reads a number written with the given decimal separator (leading/trailing blanks allowed,
/// optional sign, digits, optional fraction, optional exponent; at least one digit). Returns
/// false and leaves value untouched when the whole text is not such a number or its magnitude
/// is outside the range of a double. The result is the double nearest to the decimal text.
bool ParseNumber(std::string_view text, double& value, char decimalSeparator);
inline bool ParseNumber(std::string_view text, double& value)
{
    return ParseNumber(text, value, DecimalSeparator());
}

/// ParseNumber accepting "." or "," as the decimal separator (for numbers read from files, which
/// may come from any locale); a text holding both is no number.
bool ParseNumberEitherSeparator(std::string_view text, double& value);

/// The shortest text of value in general form with up to 15 significant digits and no trailing
/// zeros, exactly as printf "%.15g" would write it, with decimalSeparator in place of the point:
/// 0.1 -> "0.1", 1e20 -> "1e+20", 2.5e-5 -> "2.5e-05". Reading it back gives the value to 15
/// significant digits (relative error below 5e-16).
std::string FormatGeneral(double value, char decimalSeparator);

/// One argument of ReportFormat / FormatLayout: a real, an integer or a text.
class ReportArg
{
public:
    ReportArg(double v) : kind_(Kind::Real), real_(v) {}
    ReportArg(long double v) : kind_(Kind::Real), real_(static_cast<double>(v)) {}
    ReportArg(int v) : kind_(Kind::Integer), integer_(v) {}
    ReportArg(long v) : kind_(Kind::Integer), integer_(v) {}
    ReportArg(long long v) : kind_(Kind::Integer), integer_(v) {}
    ReportArg(unsigned v) : kind_(Kind::Integer), integer_(v) {}
    ReportArg(unsigned long v) : kind_(Kind::Integer), integer_(static_cast<long long>(v)) {}
    ReportArg(unsigned long long v) : kind_(Kind::Integer), integer_(static_cast<long long>(v)) {}
    ReportArg(const char* v) : kind_(Kind::Text), text_(v) {}
    ReportArg(std::string v) : kind_(Kind::Text), text_(std::move(v)) {}
    ReportArg(std::string_view v) : kind_(Kind::Text), text_(v) {}
    /// A packed ddd.mmss angle: %f and %n write it rounded in the packed form (see
    /// FormatPackedPicture), never with 60 seconds or 60 minutes.
    static ReportArg PackedAngle(double packed)
    {
        ReportArg arg(packed);
        arg.kind_ = Kind::PackedAngle;
        return arg;
    }

    enum class Kind
    {
        Real,
        Integer,
        Text,
        PackedAngle
    };
    Kind kind() const { return kind_; }
    double real() const { return kind_ == Kind::Integer ? static_cast<double>(integer_) : real_; }
    long long integer() const { return integer_; }
    const std::string& text() const { return text_; }

private:
    Kind kind_;
    double real_ = 0.0;
    long long integer_ = 0;
    std::string text_;
};

/// Formats a printf-like layout: %s (text), %d (integer), %f (fixed, no grouping), %n (fixed
/// with thousands grouping; both also take ReportArg::PackedAngle), each with optional "-"
/// (left-align), width (digits or "*", taken from the next, integer, argument) and ".decimals"
/// (default 2 for %f and %n; minimum digits for %d; maximum characters for %s); "%%" is a percent
/// sign. Numbers are rounded like FormatPicture (exact binary value, ties away from zero, no "-0").
/// Text longer than its width is written in full. A conversion other than these, a missing argument
/// or an argument of the wrong kind (a real for %d, a number for %s, a text for a number) raises
/// std::invalid_argument. Integers are accepted for %f and %n.
std::string FormatLayout(std::string_view layout, std::initializer_list<ReportArg> args,
                         char decimalSeparator, char thousandsSeparator);

/// FormatLayout in the report style: thousands separator ' ' (for %n) and decimal separator ','.
/// Examples: ReportFormat("%12.3n", {56789.1234}) == "  56 789,123",
/// ReportFormat("%8.3n", {-15.5}) == " -15,500", ReportFormat("%13.6f", {0.30}) == "     0,300000".
std::string ReportFormat(std::string_view layout, std::initializer_list<ReportArg> args);

} // namespace quorvalis
