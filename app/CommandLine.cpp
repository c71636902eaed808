#include "app/CommandLine.h"

#include "geometry/NumberFormat.h"
#include "project/WinRegistry.h"

#include <cmath>

namespace quorvalis
{

GCommandLine::GCommandLine(std::vector<GOptionSpec> specs) : specs_(std::move(specs)) {}

const GOptionSpec* GCommandLine::Find(const std::string& name) const
{
    for (const GOptionSpec& spec : specs_)
        if (spec.Name == name)
            return &spec;
    return nullptr;
}

void GCommandLine::Parse(const std::vector<std::string>& args, std::size_t begin)
{
    bool optionsEnded = false;
    for (std::size_t i = begin; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        double number = 0.0;
        // A negative number is a value, not an option ("defaults set 'X Constant' -5").
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || ParseNumber(arg, number, '.'))
        {
            positionals_.push_back(arg);
            continue;
        }
        if (arg == "--")
        {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (const auto equals = arg.find('=');
            arg.rfind("--", 0) == 0 && equals != std::string::npos)
        {
            name = arg.substr(0, equals);
            inlineValue = arg.substr(equals + 1);
        }
        const GOptionSpec* spec = Find(name);
        if (!spec)
            throw GUsageError("unknown option '" + name + "'");
        std::vector<std::string> values;
        if (inlineValue)
        {
            if (spec->Arity != 1)
                throw GUsageError("option '" + name + "' does not take '=value'");
            values.push_back(*inlineValue);
        }
        else
        {
            for (int k = 0; k < spec->Arity; ++k)
            {
                if (i + 1 >= args.size())
                    throw GUsageError("option '" + name + "' needs " + std::to_string(spec->Arity) +
                                      (spec->Arity == 1 ? " value" : " values"));
                values.push_back(args[++i]);
            }
        }
        values_[name] = std::move(values);
    }
}

const std::vector<std::string>& GCommandLine::Values(const std::string& name) const
{
    return values_.at(name);
}

std::optional<std::string> GCommandLine::Value(const std::string& name) const
{
    const auto found = values_.find(name);
    if (found == values_.end() || found->second.empty())
        return std::nullopt;
    return found->second.front();
}

void GCommandLine::Exclusive(const std::string& first, const std::string& second) const
{
    if (Has(first) && Has(second))
        throw GUsageError("options '" + first + "' and '" + second + "' exclude each other");
}

double ParseNumberOption(const std::string& option, const std::string& text)
{
    double value = 0.0;
    if (!ParseNumber(text, value, '.') || !std::isfinite(value))
        throw GUsageError("option '" + option + "': '" + text + "' is not a number");
    return value;
}

std::int32_t ParseIntegerOption(const std::string& option, const std::string& text)
{
    std::int32_t value = 0;
    if (!ParseStoredInteger(text, value))
        throw GUsageError("option '" + option + "': '" + text + "' is not a whole number");
    return value;
}

int ParseChoiceOption(const std::string& option, const std::string& text,
                      const std::vector<std::string>& choices)
{
    std::string list;
    for (std::size_t i = 0; i < choices.size(); ++i)
    {
        if (choices[i] == text)
            return static_cast<int>(i);
        list += (i == 0 ? "" : ", ") + choices[i];
    }
    throw GUsageError("option '" + option + "': '" + text + "' is not one of " + list);
}

} // namespace quorvalis
