// The platform's trace channel: paths the layer deliberately leaves out of
// the Win32 subset name themselves on stderr when they are hit, so that a
// program that fails on one says why. Off unless the environment variable
// REVDIR_TRACE is set (to anything but empty or "0").
#pragma once

#include <windows.h>

namespace platform {

bool TraceEnabled();

// Writes "revdir: not implemented: <what>" when tracing is on; returns
// E_NOTIMPL, so a member can return it directly.
HRESULT NotImplemented(const char *what);

}  // namespace platform
