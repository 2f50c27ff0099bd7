// What the component needs beyond the Windows headers, the same on both
// targets: the export attribute.
#pragma once

// The system headers in the order Windows requires them.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#ifdef _WIN32
#define REVDIR_EXPORT
#else
#define REVDIR_EXPORT __attribute__((visibility("default")))
#endif
