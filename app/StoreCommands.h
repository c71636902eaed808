// The commands over what the program keeps: the control file, the stored defaults and the
// database aliases.
#pragma once

#include <string>
#include <vector>

namespace quorvalis
{

struct GCliContext;
class GTrigBeacon;

/// A field for comma-separated values: quoted (quotes doubled) when it holds a comma, a quote
/// or a line break.
std::string CsvField(const std::string& text);

/// The commands (arguments after the command name); each returns the exit code and raises
/// GUsageError for a wrong command line.
int RunControlCli(const std::vector<std::string>& args, GCliContext& context);
int RunDefaultsCli(const std::vector<std::string>& args, GCliContext& context);
int RunAliasCli(const std::vector<std::string>& args, GCliContext& context);
int RunLayersCli(const std::vector<std::string>& args, GCliContext& context);

} // namespace quorvalis
