#include "frame/port.h"
#include "revision/launch.h"

#include <strsafe.h>

#include <vector>

#include "catalog/installed_path.h"

namespace revdir {

namespace {

// Units of the command line, its terminator included.
constexpr size_t kCommandLineUnits = 4096;

const WCHAR kLastLaunchKey[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1");

size_t TextLength(const WCHAR *s) {
  size_t n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

// `"path" arguments` into a buffer of kCommandLineUnits; false when it does
// not fit: a cut command line would start the release with other arguments
// than the caller's.
bool BuildCommandLine(const InstalledPathText &path, const WCHAR *arguments, std::vector<WCHAR> &line) {
  size_t argumentsLength = TextLength(arguments);
  if (path.size() + argumentsLength + 4 > kCommandLineUnits) return false;
  line.assign(1, OLESTR('"'));
  line.insert(line.end(), path.begin(), path.end());
  line.push_back(OLESTR('"'));
  line.push_back(OLESTR(' '));
  line.insert(line.end(), arguments, arguments + argumentsLength);
  line.push_back(0);
  return true;
}

// The drive and folder of the executable's path, with the trailing
// backslash; empty when the path names neither.
InstalledPathText FolderOf(const InstalledPathText &path) {
  size_t end = path.find_last_of(OLESTR("\\/"));
  if (end != InstalledPathText::npos) return path.substr(0, end + 1);
  if (path.size() >= 2 && path[1] == OLESTR(':')) return path.substr(0, 2);
  return InstalledPathText();
}

struct WindowSearch {
  DWORD processId;
  bool found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM param) {
  auto *search = reinterpret_cast<WindowSearch *>(param);
  if (!IsWindowVisible(window)) return TRUE;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId) return TRUE;
  search->found = true;
  return FALSE;
}

void SetText(HKEY key, const WCHAR *name, const WCHAR *text) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                 static_cast<DWORD>((TextLength(text) + 1) * sizeof(WCHAR)));
}

}  // namespace

HRESULT LaunchRevision(const CRevisionInformation *record, LONG languageId, const CErrorInfo &errorInfo,
                       const WCHAR *arguments, LONG *processId) {
  if (processId) *processId = -1;
  if (!record) return errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  auto path = GetInstalledPath(record);
  if (!path) return errorInfo.ReportError(RdE_RevisionNotInstalled);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::vector<WCHAR> line;
  if (!BuildCommandLine(*path, arguments, line)) return errorInfo.ReportSystemError(E_INVALIDARG);
  InstalledPathText folder = FolderOf(*path);

  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process))
    return errorInfo.ReportSystemError(static_cast<LONG>(GetLastError()));
  // The component does not watch the process.
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);

  RememberLastLaunch(LOWORD(languageId), record->MajorSoftwareVersion, record->MinorSoftwareVersion);
  if (processId) *processId = static_cast<LONG>(process.dwProcessId);
  return S_OK;
}

bool WaitForMainWindow(DWORD processId, ULONG timeOutInSeconds) {
  for (ULONG pass = 0; pass < timeOutInSeconds; ++pass) {
    WindowSearch search = {processId, false};
    EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) return true;
    Sleep(1000);
  }
  return false;
}

void RememberLastLaunch(WORD language, DWORD major, DWORD minor) {
  if (major < 10) return;
  HKEY key;
  // Opened, never created: only an installation has this key.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLastLaunchKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  WCHAR text[16];
  // Write failures are ignored: the launch has happened either way.
  if (SUCCEEDED(StringCchPrintfW(text, ARRAYSIZE(text), OLESTR("%d"), static_cast<int>(language))))
    SetText(key, OLESTR("Last Language Id"), text);
  if (SUCCEEDED(StringCchPrintfW(text, ARRAYSIZE(text), OLESTR("%02d.%02d"), static_cast<int>(major),
                                 static_cast<int>(minor))))
    SetText(key, OLESTR("Last Version"), text);
  RegCloseKey(key);
}

}  // namespace revdir
