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
  static Prefix g_prefix;
}

// Points REVDIR_PREFIX elsewhere for one test and puts back what was there, so
// a later test of the same process still finds the process's own prefix.
class PrefixOverride {
 public:
  PrefixOverride() {
    const char *old = getenv("REVDIR_PREFIX");
    m_had = old != nullptr;
    if (m_had) m_saved = old;
  }
  ~PrefixOverride() {
    if (m_had)
      setenv("REVDIR_PREFIX", m_saved.c_str(), 1);
    else
      unsetenv("REVDIR_PREFIX");
  }
  void Use(const std::string &dir) { setenv("REVDIR_PREFIX", dir.c_str(), 1); }
  PrefixOverride(const PrefixOverride &) = delete;
  PrefixOverride &operator=(const PrefixOverride &) = delete;

 private:
  std::string m_saved;
  bool m_had = false;
};
#else
inline void UseFreshPrefix() {}
#endif
