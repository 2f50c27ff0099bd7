// Consoles (kernel32), as <wincon.h> declares them. Here a terminal is the
// console: a standard handle on one is a console handle.
#pragma once

#include "windef.h"
#include "winnt.h"

#define ENABLE_PROCESSED_INPUT 0x0001
#define ENABLE_LINE_INPUT 0x0002
#define ENABLE_ECHO_INPUT 0x0004
#define ENABLE_PROCESSED_OUTPUT 0x0001
#define ENABLE_WRAP_AT_EOL_OUTPUT 0x0002

WINBASEAPI BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode);
WINBASEAPI BOOL WINAPI WriteConsoleW(HANDLE hConsoleOutput, const VOID *lpBuffer, DWORD nNumberOfCharsToWrite,
                                     LPDWORD lpNumberOfCharsWritten, LPVOID lpReserved);
