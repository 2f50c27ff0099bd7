// Per-thread last-error value.
#include <windows.h>

namespace {
thread_local DWORD g_lastError = 0;
}

DWORD WINAPI GetLastError(void) { return g_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { g_lastError = dwErrCode; }
