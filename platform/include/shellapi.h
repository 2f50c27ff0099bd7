// Shell services (shell32), as <shellapi.h> declares them.
#pragma once

#include "windef.h"
#include "winnt.h"

#define SHSTDAPI_(type) EXTERN_C DECLSPEC_IMPORT type STDAPICALLTYPE

// The arguments of a command line, split as a program's C runtime splits its
// own. One block holds the array and the strings: free it with LocalFree.
SHSTDAPI_(LPWSTR *) CommandLineToArgvW(LPCWSTR lpCmdLine, int *pNumArgs);
