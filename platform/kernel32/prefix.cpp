#include "kernel32/prefix.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace platform {

namespace {

void MakeDirs(const std::string &path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return;
    }
  }
}

}  // namespace

std::string PrefixDir() {
  std::string dir;
  if (const char *p = getenv("REVDIR_PREFIX"); p && *p) {
    dir = p;
  } else if (const char *x = getenv("XDG_DATA_HOME"); x && *x) {
    dir = std::string(x) + "/revdir";
  } else {
    const char *home = getenv("HOME");
    dir = std::string(home && *home ? home : "/tmp") + "/.local/share/revdir";
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  MakeDirs(dir + "/drive_c");
  return dir;
}

}  // namespace platform
