// errno values as the Windows error numbers a caller of the Win32 API sees.
#pragma once

#include <windows.h>

namespace platform {

DWORD Win32ErrorFromErrno(int err);
// Sets the thread's last error from errno and returns it.
DWORD SetLastErrorFromErrno();

}  // namespace platform
