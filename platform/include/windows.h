// The Win32 subset the component uses, as <windows.h> gives it on Windows.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "winnt.h"
#include "winbase.h"
#include "processthreadsapi.h"
#include "winnls.h"
#include "winreg.h"
#include "winuser.h"

// The standard handles, the command line and the console.
#include "processenv.h"
#include "wincon.h"
// version.dll's declarations, which <windows.h> brings in too.
#include "winver.h"
