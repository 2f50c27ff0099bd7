// The computer's name and the process environment.
#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

#include "kernel32/codepage.h"
#include "kernel32/text.h"

extern char **environ;

namespace {

// The NetBIOS form of the host name: the first label, upper-cased, at most
// MAX_COMPUTERNAME_LENGTH characters.
std::u16string ComputerName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || !host[0]) strcpy(host, "localhost");
  std::string first(host, strcspn(host, "."));
  std::u16string name = platform::AnsiToWide(first);
  for (auto &c : name) c = platform::UpperCase(c);
  if (name.size() > MAX_COMPUTERNAME_LENGTH) name.resize(MAX_COMPUTERNAME_LENGTH);
  return name;
}

// Copies name into a caller's buffer of *size units. Too small: nothing is
// written and *size becomes the size needed, terminator included.
template <typename Char>
BOOL GiveName(const std::basic_string<Char> &name, Char *buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!buffer || *size < name.size() + 1) {
    *size = static_cast<DWORD>(name.size() + 1);
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return FALSE;
  }
  memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(Char));
  *size = static_cast<DWORD>(name.size());
  return TRUE;
}

// Environment names are case-insensitive on Windows: an exact match wins,
// otherwise the first that differs only in ASCII case.
const char *FindVariable(const std::string &name) {
  if (const char *v = getenv(name.c_str())) return v;
  for (char **e = environ; e && *e; ++e) {
    const char *eq = strchr(*e, '=');
    if (eq && static_cast<size_t>(eq - *e) == name.size() && strncasecmp(*e, name.c_str(), name.size()) == 0)
      return eq + 1;
  }
  return nullptr;
}

// The name, as the environment spells it, of a variable named `name` in any case.
std::string StoredName(const std::string &name) {
  for (char **e = environ; e && *e; ++e) {
    const char *eq = strchr(*e, '=');
    if (eq && static_cast<size_t>(eq - *e) == name.size() && strncasecmp(*e, name.c_str(), name.size()) == 0)
      return std::string(*e, eq - *e);
  }
  return {};
}

}  // namespace

BOOL WINAPI GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) { return GiveName(ComputerName(), lpBuffer, nSize); }

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize) {
  return GiveName(platform::ToUtf8Lossy(ComputerName()), lpBuffer, nSize);
}

DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  if (!lpName || (!lpBuffer && nSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string_view name = platform::View(lpName);
  const char *value = nullptr;
  if (!name.empty() && name.find(u'=') == std::u16string_view::npos) value = FindVariable(platform::ToUtf8Lossy(name));
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  std::u16string text = platform::AnsiToWide(value);
  // Too small: the size needed, terminator included, and nothing written.
  if (text.size() + 1 > nSize) return static_cast<DWORD>(text.size() + 1);
  memcpy(lpBuffer, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  // An empty value returns 0 like a failure; a cleared last error tells them apart.
  if (text.empty()) SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(text.size());
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  std::u16string_view name = lpName ? platform::View(lpName) : std::u16string_view();
  if (name.empty() || name.find(u'=') != std::u16string_view::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string narrow = platform::ToUtf8Lossy(name);
  // One variable per name whatever its case, as on Windows.
  for (std::string stored; !(stored = StoredName(narrow)).empty();)
    if (unsetenv(stored.c_str()) != 0) break;
  if (!lpValue) return TRUE;
  if (setenv(narrow.c_str(), platform::ToUtf8Lossy(platform::View(lpValue)).c_str(), 1) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}
