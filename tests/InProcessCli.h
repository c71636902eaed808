// The command-line program run in the test's own process, its output captured: for the tests
// that compare what a front end did with what the command line does.
#pragma once

#include "app/Cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace quorvalis::test
{

struct CliRun
{
    int Code = -1;
    std::string Out;
    std::string Err;
};

/// RunCli with these arguments in this process (no progress bar).
inline CliRun RunCliInProcess(const std::vector<std::string>& args)
{
    std::ostringstream out;
    std::ostringstream err;
    GCliContext context{out, err, nullptr};
    CliRun run;
    run.Code = RunCli(args, context);
    run.Out = out.str();
    run.Err = err.str();
    return run;
}

} // namespace quorvalis::test
