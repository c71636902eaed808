#include "app/Cli.h"

#include "app/CliHelp.h"
#include "app/CommandLine.h"
#include "app/JobCommands.h"
#include "app/ProgressBar.h"
#include "app/StoreCommands.h"
#include "database/engine/Session.h"
#include "geometry/Platform.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <ostream>
#include <system_error>

#ifndef QUORVALIS_VERSION
#define QUORVALIS_VERSION "unknown"
#endif

namespace quorvalis
{

namespace
{

// The settings and the store follow QUORVALIS_HOME; --home sets it for this process.
void UseHome(const std::string& directory)
{
    if (directory.empty())
        throw GUsageError("option '--home' needs a directory");
    const std::string absolute =
        platform::Utf8FromPath(std::filesystem::absolute(platform::PathFromUtf8(directory)));
    if (const std::error_code error = platform::SetEnvironmentValue("QUORVALIS_HOME", absolute))
        throw std::system_error(error, "Cannot set QUORVALIS_HOME");
    // Forget aliases read from another folder; the session reads the variable again.
    engine::Session::Default().SetHomeDirectory({});
}

int Dispatch(const std::vector<std::string>& args, GCliContext& context, std::string& command)
{
    std::size_t next = 0;
    while (next < args.size() && args[next].rfind("--", 0) == 0)
    {
        const std::string& option = args[next];
        if (option == "--help")
        {
            context.Out << kMainHelp;
            return kExitSuccess;
        }
        if (option == "--version")
        {
            context.Out << "quorvalis-cli " << QUORVALIS_VERSION << '\n';
            return kExitSuccess;
        }
        if (option == "--home")
        {
            if (next + 1 >= args.size())
                throw GUsageError("option '--home' needs a directory");
            UseHome(args[next + 1]);
            next += 2;
            continue;
        }
        if (option.rfind("--home=", 0) == 0)
        {
            UseHome(option.substr(7));
            ++next;
            continue;
        }
        throw GUsageError("unknown option '" + option + "'");
    }
    if (next >= args.size())
    {
        context.Err << kMainHelp;
        return kExitUsage;
    }
    command = args[next];
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(next) + 1,
                                        args.end());
    if (command == "transform")
        return RunTransformCli(rest, context);
    if (command == "import")
        return RunImportCli(rest, context);
    if (command == "control")
        return RunControlCli(rest, context);
    if (command == "defaults")
        return RunDefaultsCli(rest, context);
    if (command == "alias")
        return RunAliasCli(rest, context);
    if (command == "layers")
        return RunLayersCli(rest, context);
    command.clear();
    throw GUsageError("unknown command '" + args[next] + "'");
}

} // namespace

bool ShowHelpIfAsked(const std::vector<std::string>& args, std::size_t begin, const char* help,
                     GCliContext& context)
{
    for (std::size_t i = begin; i < args.size() && args[i] != "--"; ++i)
        if (args[i] == "--help")
        {
            context.Out << help;
            return true;
        }
    return false;
}

int RunCli(const std::vector<std::string>& args, GCliContext& context)
{
    std::string command;
    try
    {
        return Dispatch(args, context, command);
    }
    catch (const GUsageError& error)
    {
        if (context.Progress)
            context.Progress->Clear();
        context.Err << "quorvalis-cli: " << error.what() << "\nTry 'quorvalis-cli "
                    << (command.empty() ? "" : command + " ") << "--help'.\n";
        return kExitUsage;
    }
    catch (const std::exception& error)
    {
        if (context.Progress)
            context.Progress->Clear();
        std::string message = error.what();
        for (char& c : message)
            if (c == '\r')
                c = '\n';
        context.Err << "error: " << message << '\n';
        return kExitError;
    }
}

} // namespace quorvalis
