// The system message texts (English), keyed by Win32 error number or HRESULT.
#pragma once

#include <windows.h>

namespace platform {

// The text without the line break every system message ends with; null if
// the id is not known.
const char16_t *FindSystemMessage(DWORD id);

}  // namespace platform
