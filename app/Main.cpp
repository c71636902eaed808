// quorvalis-cli: the command line front end (see docs/cli.md).
#include "app/Cli.h"
#include "app/ProgressBar.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    quorvalis::GProgressBar progress(stderr, quorvalis::GProgressBar::StandardErrorIsTerminal());
    quorvalis::GCliContext context{std::cout, std::cerr, &progress};
    const int code = quorvalis::RunCli(args, context);
    std::cout.flush();
    return code;
}
