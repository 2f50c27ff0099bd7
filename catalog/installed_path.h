// Where each release of kRevisionTable is installed. Process-wide: any
// directory's Initialize rewrites these while other directories, collections
// and revision objects on other threads read them, so readers only ever get a
// copy, never a pointer into text that a writer could free.
#pragma once

#include "frame/port.h"
#include <windows.h>

#include <optional>
#include <string>

#include "catalog/revision_table.h"

namespace revdir {

using InstalledPathText = std::basic_string<WCHAR>;

// A copy of the release's executable path; nullopt when it is not installed
// (and for anything that is not a record of kRevisionTable).
std::optional<InstalledPathText> GetInstalledPath(const CRevisionInformation *record);

// Stores a copy of the null-terminated path, or forgets the path when it is
// null. FALSE, with nothing changed, for a record that is not in the table.
BOOL SetInstalledPath(const CRevisionInformation *record, const WCHAR *path);

// Forgets every path: no release is installed any more.
void ResetAllInstalledPaths();

// Every directory object holds the paths from its construction to its
// destruction; when the last holder of the process lets go, every path is
// forgotten, so a process that starts again from no directory starts clean.
void HoldInstalledPaths();
void ReleaseInstalledPaths();

BOOL IsInstalled(const CRevisionInformation *record);

}  // namespace revdir
