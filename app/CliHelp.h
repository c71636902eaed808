// The --help texts of the command line program, one per command and subcommand.
#pragma once

namespace quorvalis
{

extern const char kMainHelp[];
extern const char kTransformHelp[];
extern const char kImportHelp[];
extern const char kControlHelp[];
extern const char kControlListHelp[];
extern const char kControlFindHelp[];
extern const char kControlDeleteHelp[];
extern const char kDefaultsHelp[];
extern const char kDefaultsGetHelp[];
extern const char kDefaultsSetHelp[];
extern const char kAliasHelp[];
extern const char kAliasListHelp[];
extern const char kAliasTablesHelp[];
extern const char kLayersHelp[];

} // namespace quorvalis
