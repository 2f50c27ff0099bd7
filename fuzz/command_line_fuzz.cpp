// CommandLineToArgvW on any UTF-16 text: it never fails or overruns, its
// block holds exactly the arguments it counts; and arguments quoted as
// GetCommandLineW quotes them come back unchanged.
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "kernel32/command_line.h"

namespace {

std::vector<std::u16string> Split(const std::u16string &line) {
  int count = -1;
  LPWSTR *argv = CommandLineToArgvW(line.c_str(), &count);
  if (!argv || count < 1 || argv[count] != nullptr) abort();
  std::vector<std::u16string> args(argv, argv + count);
  if (LocalFree(argv) != nullptr) abort();
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1 << 14)) return 0;
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  // As a command line: NULs end it, as they end any string the API takes.
  Split(text.substr(0, text.find(u'\0')));
  // As arguments, separated by NULs; a program name cannot hold a quote.
  std::vector<std::u16string> args{u""};
  for (char16_t c : text) {
    if (c == u'\0')
      args.emplace_back();
    else
      args.back() += c;
  }
  if (args[0].find(u'"') != std::u16string::npos) return 0;
  if (Split(platform::CommandLineOf(args)) != args) abort();
  return 0;
}
