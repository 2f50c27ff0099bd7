// Debugging (kernel32), as <debugapi.h> declares it.
#pragma once

#include "windef.h"

WINBASEAPI BOOL WINAPI IsDebuggerPresent(void);
