// The commands that drive the model's command sequences through the terminal interface: the
// transform command and the control beacon import.
#pragma once

#include "app/TerminalInterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvalis
{

struct GCliContext;

/// The transform command line (arguments after "transform") as dialog answers; sourceDatum
/// receives 0 for --to hart94 and 1 for --to cape. Raises GUsageError.
GTerminalAnswers ParseTransformArguments(const std::vector<std::string>& args,
                                         std::uint8_t& sourceDatum);
/// The import command line (arguments after "import"); beaconClass receives "TRIG" or "TSM".
/// Raises GUsageError.
GTerminalAnswers ParseImportArguments(const std::vector<std::string>& args,
                                      std::string& beaconClass);

/// The commands; each returns the exit code (usage errors are raised as GUsageError).
int RunTransformCli(const std::vector<std::string>& args, GCliContext& context);
int RunImportCli(const std::vector<std::string>& args, GCliContext& context);

} // namespace quorvalis
