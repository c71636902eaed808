// Parsing of the command line: options of a subcommand with their argument counts, and the
// conversions of option values to numbers and choices. Every mistake raises GUsageError with a
// message meant for the user; the program answers it with exit code 2.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvalis
{

/// A command line the program cannot act on (unknown option, missing or malformed value).
class GUsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// One option a subcommand accepts: "--name" followed by Arity values (0, 1 or 2).
struct GOptionSpec
{
    std::string Name; ///< with the leading "--"
    int Arity = 0;
};

/// The options and positional arguments of one subcommand.
///
/// "--name value" and "--name=value" are both accepted for one value; "--" ends the options.
/// An option given twice keeps its last values. Anything starting with "-" that is not a known
/// option is an error, so a mistyped option never becomes a file name.
class GCommandLine
{
public:
    explicit GCommandLine(std::vector<GOptionSpec> specs);

    /// Parses args[begin..]; raises GUsageError.
    void Parse(const std::vector<std::string>& args, std::size_t begin = 0);

    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    /// The values of an option that was given (empty for a flag); raises std::out_of_range
    /// otherwise.
    const std::vector<std::string>& Values(const std::string& name) const;
    /// The single value of a one-value option, or nothing when it was not given.
    std::optional<std::string> Value(const std::string& name) const;

    const std::vector<std::string>& Positionals() const { return positionals_; }

    /// Raises GUsageError when both options were given.
    void Exclusive(const std::string& first, const std::string& second) const;

private:
    const GOptionSpec* Find(const std::string& name) const;

    std::vector<GOptionSpec> specs_;
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> positionals_;
};

/// A number written with "." as the decimal point (the command line never follows the locale);
/// raises GUsageError naming the option. Non-finite values are refused.
double ParseNumberOption(const std::string& option, const std::string& text);
/// A whole number in the 32-bit range; raises GUsageError naming the option.
std::int32_t ParseIntegerOption(const std::string& option, const std::string& text);
/// The index of text in choices (exact match); raises GUsageError listing the choices.
int ParseChoiceOption(const std::string& option, const std::string& text,
                      const std::vector<std::string>& choices);

} // namespace quorvalis
