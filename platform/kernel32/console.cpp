// The standard handles and the console. A standard handle stands for the
// descriptor the process was started with (0, 1, 2); one on a terminal is a
// console handle, which WriteConsoleW writes as UTF-8, the terminal's text.
#include <fcntl.h>
#include <unistd.h>

#include <mutex>

#include "kernel32/file.h"
#include "kernel32/text.h"

namespace platform {

namespace {

struct StdHandles {
  std::once_flag once;
  HANDLE handles[3] = {};
};

// Made once, on first use; a descriptor the process was not given has no
// handle (null, as for a Windows process started without one).
HANDLE StdHandleOf(int fd) {
  static StdHandles *g_std = new StdHandles;  // handles outlive static destruction
  std::call_once(g_std->once, [] {
    for (int n = 0; n < 3; ++n) {
      int flags = fcntl(n, F_GETFL);
      if (flags < 0) continue;
      int mode = flags & O_ACCMODE;
      DWORD access = (mode != O_WRONLY ? GENERIC_READ : 0) | (mode != O_RDONLY ? GENERIC_WRITE : 0);
      g_std->handles[n] = NewHandle(FileObject::Stream(n, access));
    }
  });
  return g_std->handles[fd];
}

// The file object of a console handle; null with ERROR_INVALID_HANDLE for
// anything else, as Windows answers for a handle that is no console.
std::shared_ptr<FileObject> Console(HANDLE h) {
  auto f = std::dynamic_pointer_cast<FileObject>(GetHandleObject(h));
  if (!f || !f->IsStream() || !isatty(f->Fd())) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return f;
}

}  // namespace

}  // namespace platform

using namespace platform;

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      return StdHandleOf(0);
    case STD_OUTPUT_HANDLE:
      return StdHandleOf(1);
    case STD_ERROR_HANDLE:
      return StdHandleOf(2);
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return INVALID_HANDLE_VALUE;
  }
}

BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
  auto f = Console(hConsoleHandle);
  if (!f) return FALSE;
  if (!lpMode) {
    SetLastError(ERROR_INVALID_ACCESS);
    return FALSE;
  }
  // Standard input reads the terminal, which echoes and edits lines itself;
  // the others write to it, which wraps and obeys control characters. (A
  // terminal's descriptors are all open both ways.)
  *lpMode = f->Fd() == 0 ? ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT
                         : ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  return TRUE;
}

BOOL WINAPI WriteConsoleW(HANDLE hConsoleOutput, const VOID *lpBuffer, DWORD nNumberOfCharsToWrite,
                          LPDWORD lpNumberOfCharsWritten, LPVOID /*lpReserved*/) {
  if (lpNumberOfCharsWritten) *lpNumberOfCharsWritten = 0;
  auto f = Console(hConsoleOutput);
  if (!f) return FALSE;
  if (!f->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lpBuffer && nNumberOfCharsToWrite) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string text =
      ToUtf8Lossy(std::u16string_view(static_cast<const char16_t *>(lpBuffer), lpBuffer ? nNumberOfCharsToWrite : 0));
  DWORD written = 0;
  if (!WriteFile(hConsoleOutput, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return FALSE;
  if (lpNumberOfCharsWritten) *lpNumberOfCharsWritten = nNumberOfCharsToWrite;
  return TRUE;
}
