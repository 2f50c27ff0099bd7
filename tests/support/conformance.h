// Helpers for conformance tests. They run against this platform layer on
// Linux and, compiled with mingw, against the real Windows implementation, so
// they use only Win32 names and report what they got when a check fails.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#ifndef W
#define W(s) L##s  // mingw: WCHAR is wchar_t
#endif

#include <string>

constexpr DWORD kSentinel = 0xdeadbeef;

// UTF-16 text as UTF-8, for failure messages.
inline std::string Narrow(const WCHAR *s) {
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
