// Starting a release's executable and waiting for its main window.
#pragma once

#include "frame/port.h"
#include <windows.h>

#include "QuillonRevisionDirectory.h"

#include "catalog/revision_table.h"
#include "frame/errors.h"

namespace revdir {

// Starts the release's executable with the caller's arguments and records the
// launch in the registry. *processId (when given) is -1 until it has started.
// Failures set error information through errorInfo.
HRESULT LaunchRevision(const CRevisionInformation *record, LONG languageId, const CErrorInfo &errorInfo,
                       const WCHAR *arguments, LONG *processId);

// Up to timeOutInSeconds passes, one second apart, until a visible top-level
// window of the process exists. True when one was found.
bool WaitForMainWindow(DWORD processId, ULONG timeOutInSeconds);

// The last release and language launched, from software version 10 on.
void RememberLastLaunch(WORD language, DWORD major, DWORD minor);

}  // namespace revdir
