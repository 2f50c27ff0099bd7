// CommandLineToArgvW: a command line split into arguments by the rules
// Windows documents for it (and its shell library follows to the letter).
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string.h>

#include <string>
#include <string_view>
#include <vector>

#include "kernel32/command_line.h"
#include "kernel32/text.h"

namespace platform {

namespace {

// The other arguments: blanks separate them outside quotes; 2n backslashes
// before a quote give n and the quote opens or closes quoting, 2n+1 give n and
// a literal quote; other backslashes are literal. A quote right after the one
// that closed quoting gives a literal quote and leaves quoting closed, so
// `"a""b"` is `a"b`. `state` is 0 outside quotes, 1 inside, 2 just closed.
std::vector<std::u16string> SplitLine(std::u16string_view line) {
  size_t i = 0;
  std::vector<std::u16string> args{ProgramNameOf(line, &i)};
  while (i < line.size() && IsCommandLineBlank(line[i])) ++i;
  while (i < line.size()) {
    std::u16string arg;
    int state = 0;
    while (i < line.size() && !(state != 1 && IsCommandLineBlank(line[i]))) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
      if (slashes) state = state == 2 ? 0 : state;
      if (i < line.size() && line[i] == u'"') {
        arg.append(slashes / 2, u'\\');
        if (slashes % 2) {
          arg += u'"';
        } else if (++state == 3) {
          arg += u'"';
          state = 0;
        }
        ++i;
        continue;
      }
      arg.append(slashes, u'\\');
      if (i >= line.size() || (state != 1 && IsCommandLineBlank(line[i]))) break;
      if (state == 2) state = 0;
      arg += line[i++];
    }
    args.push_back(std::move(arg));
    while (i < line.size() && IsCommandLineBlank(line[i])) ++i;
  }
  return args;
}

// One block: the pointers (and a null one after the last), then the strings.
LPWSTR *PackArguments(const std::vector<std::u16string> &args) {
  size_t chars = 0;
  for (const auto &a : args) chars += a.size() + 1;
  size_t table = (args.size() + 1) * sizeof(LPWSTR);
  auto *block = static_cast<BYTE *>(LocalAlloc(LMEM_FIXED, table + chars * sizeof(WCHAR)));
  if (!block) return nullptr;
  auto **argv = reinterpret_cast<LPWSTR *>(block);
  auto *text = reinterpret_cast<WCHAR *>(block + table);
  for (size_t n = 0; n < args.size(); ++n) {
    argv[n] = text;
    memcpy(text, args[n].data(), args[n].size() * sizeof(WCHAR));
    text += args[n].size();
    *text++ = 0;
  }
  argv[args.size()] = nullptr;
  return argv;
}

}  // namespace

}  // namespace platform

LPWSTR *STDAPICALLTYPE CommandLineToArgvW(LPCWSTR lpCmdLine, int *pNumArgs) {
  if (!pNumArgs) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::u16string> args;
  if (!lpCmdLine || !*lpCmdLine) {
    // No command line: the program's own path, alone.
    WCHAR path[32768];
    DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    args.emplace_back(path, n < 32768 ? n : 0);
  } else {
    args = platform::SplitLine(platform::View(lpCmdLine));
  }
  LPWSTR *argv = platform::PackArguments(args);
  if (argv) *pNumArgs = static_cast<int>(args.size());
  return argv;
}
