// Whether a debugger is attached. A Linux debugger attaches as the process's
// tracer, which the kernel reports in the process's status.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

BOOL WINAPI IsDebuggerPresent(void) {
  int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return FALSE;
  char text[8192];
  size_t used = 0;
  while (used < sizeof text - 1) {
    ssize_t n = read(fd, text + used, sizeof text - 1 - used);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    used += static_cast<size_t>(n);
  }
  close(fd);
  text[used] = '\0';
  // "TracerPid:\t<pid>", 0 when nobody traces the process.
  const char *line = strstr(text, "\nTracerPid:");
  if (!line) return FALSE;
  return strtol(line + strlen("\nTracerPid:"), nullptr, 10) != 0;
}
