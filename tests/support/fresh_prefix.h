// A fresh, empty prefix (registry and drive C:) for this test process, so
// that registry state never leaks between test programs or from the user's
// own prefix. On Windows the real registry is used and this does nothing.
#pragma once

#ifndef _WIN32
#include <stdlib.h>

#include <filesystem>
#include <string>

inline void UseFreshPrefix() {
  struct Prefix {
    std::string dir;
    Prefix() {
      std::string pattern = (std::filesystem::temp_directory_path() / "revdir-test-XXXXXX").string();
      if (mkdtemp(pattern.data())) {
        dir = pattern;
        setenv("REVDIR_PREFIX", dir.c_str(), 1);
      }
    }
    ~Prefix() {
      std::error_code ec;
      if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
  };
  static Prefix prefix;
}
#else
inline void UseFreshPrefix() {}
#endif
