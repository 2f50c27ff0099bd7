// What the ANSI registry functions need of the store beyond the wide API.
#pragma once

#include <windows.h>

#include <vector>

namespace platform {

// Stores a value's bytes exactly as given: unlike RegSetValueExW, no
// terminator is added to a string that lacks one.
LONG SetValueAsGiven(HKEY hKey, const WCHAR *valueName, DWORD type, std::vector<BYTE> data);

}  // namespace platform
