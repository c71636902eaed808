// The command line program: global options, the choice of command, and the exit codes.
//
// Exit codes: 0 success (a dry run included), 1 an error whose message was printed on stderr,
// 2 a usage error (the command line itself is wrong).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvalis
{

class GProgressBar;

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;

/// Where a command writes: results to Out, errors and warnings to Err, progress to the bar
/// (which may be nullptr or disabled).
struct GCliContext
{
    std::ostream& Out;
    std::ostream& Err;
    GProgressBar* Progress = nullptr;
};

/// Runs the program on its arguments (without the program name); returns the exit code.
int RunCli(const std::vector<std::string>& args, GCliContext& context);

/// Whether args[begin..] asks for help ("--help" before any "--"); if so, help is written to
/// context.Out.
bool ShowHelpIfAsked(const std::vector<std::string>& args, std::size_t begin, const char* help,
                     GCliContext& context);

} // namespace quorvalis
