// Helpers for conformance tests. They run against this platform layer on
// Linux and, compiled with mingw, against the real Windows implementation, so
// they use only Win32 names and report what they got when a check fails.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>  // OLESTR

#include <string>

constexpr DWORD kSentinel = 0xdeadbeef;

// UTF-16 text for a failure message: ASCII as it is, anything else as a
// backslash-u escape, so that a message never depends on the console.
inline std::string Printable(const WCHAR *s) {
  if (!s) return "(null)";
  std::string out;
  for (; *s; ++s) {
    unsigned c = *s;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char buf[16];
      snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    }
  }
  return out;
}

// Sets last-error to a sentinel so a test sees whether a call touched it.
inline void ResetLastError() { SetLastError(kSentinel); }

// A file the build made for the tests. On Linux the build passes its full
// path; on Windows only its name, and it lies beside the test program.
inline std::basic_string<WCHAR> FixtureFile(const WCHAR *path) {
#ifdef _WIN32
  WCHAR exe[MAX_PATH + 1];
  DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH + 1);
  std::basic_string<WCHAR> dir(exe, n <= MAX_PATH ? n : 0);
  dir.resize(dir.find_last_of(L"\\/") + 1);
  return dir + path;
#else
  return path;
#endif
}

inline std::string FixtureFileA(const char *path) {
#ifdef _WIN32
  char exe[MAX_PATH + 1];
  DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH + 1);
  std::string dir(exe, n <= MAX_PATH ? n : 0);
  dir.resize(dir.find_last_of("\\/") + 1);
  return dir + path;
#else
  return path;
#endif
}

// Wine's own tests mark where it differs from Windows the same way: the
// Windows behaviour is what the test checks, and Wine's is accepted only
// when the test runs under Wine.
inline bool RunningUnderWine() {
#ifdef _WIN32
  // Asked once, keeping last-error, so a test may ask between a call and GetLastError.
  static const bool wine = [] {
    DWORD error = GetLastError();
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    bool found = ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    SetLastError(error);
    return found;
  }();
  return wine;
#else
  return false;
#endif
}

// EXPECT_EQ(expected, actual) that under Wine also takes Wine's own answer;
// `reason` (a string literal) says how Wine differs, and shows with a failure.
#define EXPECT_EQ_OR_WINE(expected, wine, actual, reason)                    \
  do {                                                                      \
    auto revdir_actual_ = (actual);                                         \
    if (!(RunningUnderWine() && revdir_actual_ == (wine))) {                 \
      EXPECT_EQ(expected, revdir_actual_) << "(under Wine: " reason ")";    \
    }                                                                       \
  } while (0)
