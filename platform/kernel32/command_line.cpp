// GetCommandLineW: the arguments the process was started with, read once,
// as the command line a Windows process would have been given.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kernel32/command_line.h"
#include "kernel32/text.h"

namespace platform {

namespace {

// The kernel's copy of argv: each argument ends with a NUL.
std::vector<std::u16string> ProcessArguments() {
  std::string bytes;
  int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
  }
  std::vector<std::u16string> args;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\0', at);
    if (end == std::string::npos) end = bytes.size();
    args.push_back(FromUtf8Lossy(std::string_view(bytes).substr(at, end - at)));
    at = end + 1;
  }
  return args;
}

}  // namespace

}  // namespace platform

LPWSTR WINAPI GetCommandLineW(void) {
  // The block lives as long as the process, as on Windows.
  static std::u16string *g_line = new std::u16string(platform::CommandLineOf(platform::ProcessArguments()));
  return g_line->data();
}
