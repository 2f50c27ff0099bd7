// An X server without a screen (Xvfb) for tests of top-level windows: it is
// started on a display number it picks itself and stopped at the end; DISPLAY
// names it meanwhile. Without Xvfb installed, ok() is false and the tests
// that need a display skip, saying why.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char **environ;

class VirtualDisplay {
 public:
  VirtualDisplay() {
    const char *old = getenv("DISPLAY");
    m_hadDisplay = old != nullptr;
    if (old) m_oldDisplay = old;
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string fd = std::to_string(fds[1]);
    const char *argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "320x240x24",
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, const_cast<char **>(argv), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (m_pid > 0 && poll(&p, 1, 10000) == 1) {
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty()) return;
    m_name = ":" + number;
    setenv("DISPLAY", m_name.c_str(), 1);
  }
  ~VirtualDisplay() {
    if (m_hadDisplay)
      setenv("DISPLAY", m_oldDisplay.c_str(), 1);
    else
      unsetenv("DISPLAY");
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay &) = delete;
  VirtualDisplay &operator=(const VirtualDisplay &) = delete;

  bool Ok() const { return !m_name.empty(); }

 private:
  pid_t m_pid = -1;
  std::string m_name;
  bool m_hadDisplay = false;
  std::string m_oldDisplay;
};
#endif
