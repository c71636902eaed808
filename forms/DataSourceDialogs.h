// Installs the data-source dialogs of the windowed program into the record-set factories.
#pragma once

namespace quorvalis
{

/// From here on the factories of shapefiles, text files, coordinate list files and database
/// tables (plain and X/Y/Z) show this program's dialogs.
void InstallDataSourceDialogs();
/// Removes them again (the factories then act as if every dialog was cancelled).
void RemoveDataSourceDialogs();

} // namespace quorvalis
