// The C library's <wchar.h>, plus what the C runtime of Windows adds for
// 16-bit WCHAR text: case-insensitive comparison, bounded formatting, the
// secure copy functions and the string functions for const WCHAR*.
#include_next <wchar.h>

#if defined(__cplusplus) && !defined(REVDIR_PLATFORM_WCHAR_H)
#define REVDIR_PLATFORM_WCHAR_H

#include <errno.h>
#include <stdarg.h>
#include <stddef.h>

#include "windef.h"

#ifndef _ERRNO_T_DEFINED
#define _ERRNO_T_DEFINED
typedef int errno_t;
#endif
#ifndef _TRUNCATE
#define _TRUNCATE ((size_t)-1)
#endif
#ifndef STRUNCATE
#define STRUNCATE 80
#endif

// Compare after converting both strings to lower case, as the C runtime
// does in its default ("C") locale: only A-Z change.
EXTERN_C DECLSPEC_IMPORT int _wcsicmp(const WCHAR *string1, const WCHAR *string2);
EXTERN_C DECLSPEC_IMPORT int _wcsnicmp(const WCHAR *string1, const WCHAR *string2, size_t count);
// Store at most count characters; -1 when the text did not fit, and then no
// terminator is written.
EXTERN_C DECLSPEC_IMPORT int _snwprintf(WCHAR *buffer, size_t count, const WCHAR *format, ...);
EXTERN_C DECLSPEC_IMPORT int _vsnwprintf(WCHAR *buffer, size_t count, const WCHAR *format, va_list argptr);
// Always terminated; -1 with an empty buffer and errno ERANGE when too small.
EXTERN_C DECLSPEC_IMPORT int swprintf_s(WCHAR *buffer, size_t sizeOfBuffer, const WCHAR *format, ...);
EXTERN_C DECLSPEC_IMPORT int vswprintf_s(WCHAR *buffer, size_t sizeOfBuffer, const WCHAR *format, va_list argptr);
EXTERN_C DECLSPEC_IMPORT errno_t wcscpy_s(WCHAR *dest, size_t destSize, const WCHAR *src);
EXTERN_C DECLSPEC_IMPORT errno_t wcsncpy_s(WCHAR *dest, size_t destSize, const WCHAR *src, size_t count);
EXTERN_C DECLSPEC_IMPORT errno_t wcscat_s(WCHAR *dest, size_t destSize, const WCHAR *src);

extern "C++" {
inline size_t wcslen(const WCHAR *s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}
inline size_t wcsnlen(const WCHAR *s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}
inline int wcscmp(const WCHAR *a, const WCHAR *b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b ? 0 : (*a < *b ? -1 : 1);
}
inline int wcsncmp(const WCHAR *a, const WCHAR *b, size_t n) {
  for (; n; --n, ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (!*a) break;
  }
  return 0;
}
inline const WCHAR *wcschr(const WCHAR *s, WCHAR c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}
inline WCHAR *wcschr(WCHAR *s, WCHAR c) { return const_cast<WCHAR *>(wcschr(static_cast<const WCHAR *>(s), c)); }
inline const WCHAR *wcsrchr(const WCHAR *s, WCHAR c) {
  const WCHAR *found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return found;
  }
}
inline WCHAR *wcsrchr(WCHAR *s, WCHAR c) { return const_cast<WCHAR *>(wcsrchr(static_cast<const WCHAR *>(s), c)); }
inline const WCHAR *wcsstr(const WCHAR *s, const WCHAR *find) {
  if (!*find) return s;
  for (; *s; ++s) {
    size_t i = 0;
    while (find[i] && s[i] == find[i]) ++i;
    if (!find[i]) return s;
  }
  return nullptr;
}
inline WCHAR *wcsstr(WCHAR *s, const WCHAR *find) {
  return const_cast<WCHAR *>(wcsstr(static_cast<const WCHAR *>(s), find));
}
// The array forms take the size from the array, as the C runtime's C++
// overloads do.
template <size_t N>
inline errno_t wcscpy_s(WCHAR (&dest)[N], const WCHAR *src) {
  return wcscpy_s(dest, N, src);
}
template <size_t N>
inline errno_t wcsncpy_s(WCHAR (&dest)[N], const WCHAR *src, size_t count) {
  return wcsncpy_s(dest, N, src, count);
}
template <size_t N>
inline errno_t wcscat_s(WCHAR (&dest)[N], const WCHAR *src) {
  return wcscat_s(dest, N, src);
}
template <size_t N>
inline int swprintf_s(WCHAR (&buffer)[N], const WCHAR *format, ...) {
  va_list args;
  va_start(args, format);
  int r = vswprintf_s(buffer, N, format, args);
  va_end(args);
  return r;
}
}

#endif
