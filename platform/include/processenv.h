// The process's standard handles and command line (kernel32), as
// <processenv.h> declares them.
#pragma once

#include "windef.h"
#include "winnt.h"

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

WINBASEAPI HANDLE WINAPI GetStdHandle(DWORD nStdHandle);
WINBASEAPI LPWSTR WINAPI GetCommandLineW(void);
