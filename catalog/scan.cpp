#include "frame/port.h"
#include "catalog/scan.h"

namespace revdir {

namespace {

bool IsSpace(WCHAR c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(WCHAR c) { return c >= '0' && c <= '9'; }

}  // namespace

int ScanVersion(const WCHAR *text, const WCHAR *format, LONG *numbers, int count) {
  int stored = 0;
  const WCHAR *t = text;
  for (const WCHAR *f = format; *f && stored < count; ++f) {
    if (*f != '%') {
      if (IsSpace(*f)) {
        while (IsSpace(*t)) ++t;
      } else if (*t++ != *f) {
        return stored;
      }
      continue;
    }
    ++f;
    int width = 0;
    while (IsDigit(*f)) width = width * 10 + (*f++ - '0');
    if (*f != 'd') return stored;  // only %d is used
    if (width == 0) width = 0x7fffffff;
    while (IsSpace(*t)) ++t;
    bool negative = false;
    if ((*t == '+' || *t == '-') && width > 0) {
      negative = *t == '-';
      ++t;
      --width;
    }
    if (width == 0 || !IsDigit(*t)) return stored;
    // Accumulate unsigned and wrap, as the C runtime does for overflow.
    unsigned long long value = 0;
    while (width > 0 && IsDigit(*t)) {
      value = value * 10 + static_cast<unsigned>(*t++ - '0');
      if (value > 0xFFFFFFFFull) value &= 0xFFFFFFFFull;
      --width;
    }
    DWORD v = static_cast<DWORD>(value);
    numbers[stored++] = static_cast<LONG>(negative ? 0u - v : v);
  }
  return stored;
}

bool IsAllDigits(const WCHAR *text) {
  if (!text || !*text) return false;
  for (; *text; ++text)
    if (!IsDigit(*text)) return false;
  return true;
}

}  // namespace revdir
