// Wide-string helpers: the kernel's lstr* functions, the C runtime's
// case-insensitive, bounded and secure functions, strsafe, and linguistic
// comparison.
#include <strsafe.h>
#include <wchar.h>
#include <windows.h>

#include <errno.h>
#include <limits.h>
#include <string.h>
#include <unicode/ucol.h>

#include <map>
#include <memory>
#include <string>

#include "msvcrt/format.h"
#include "kernel32/locale_table.h"
#include "kernel32/text.h"

namespace {

// The C runtime's comparison failure value.
constexpr int kNlsCompareError = INT_MAX;

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// Formats into buf of cap units; the count of the full result, or -1 for a
// malformed format. Nothing is written past cap and no terminator is added.
long long FormatInto(WCHAR *buf, size_t cap, const WCHAR *format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  platform::Sink sink(buf, cap);
  platform::VaArgReader reader(&copy);
  bool ok = platform::FormatWide(sink, format, reader);
  va_end(copy);
  return ok ? static_cast<long long>(sink.Count()) : -1;
}

struct CollatorCloser {
  void operator()(UCollator *c) const { ucol_close(c); }
};

// Collators are expensive to open and not safe to share while their
// attributes change, so each thread keeps one per locale.
UCollator *CollatorFor(const platform::LocaleInfo &info) {
  thread_local std::map<LANGID, std::unique_ptr<UCollator, CollatorCloser>> g_collators;
  auto &slot = g_collators[info.id];
  if (!slot) {
    std::string name = info.posixName;
    if (info.collation) name += std::string("@collation=") + info.collation;
    UErrorCode status = U_ZERO_ERROR;
    UCollator *c = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status)) {
      status = U_ZERO_ERROR;
      c = ucol_open("", &status);
    }
    if (U_FAILURE(status)) return nullptr;
    slot.reset(c);
  }
  return slot.get();
}

int Collate(UCollator *c, std::u16string_view a, std::u16string_view b) {
  UCollationResult r = ucol_strcoll(c, a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()));
  return r == UCOL_LESS ? CSTR_LESS_THAN : r == UCOL_EQUAL ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

std::u16string WithoutWordSortMarks(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s)
    if (c != u'-' && c != u'\'') out += c;
  return out;
}

constexpr DWORD kCompareFlags = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS | LINGUISTIC_IGNORECASE |
                                LINGUISTIC_IGNOREDIACRITIC | SORT_DIGITSASNUMBERS | SORT_STRINGSORT |
                                NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | NORM_LINGUISTIC_CASING;

}  // namespace

int WINAPI CompareStringW(LCID Locale, DWORD dwCmpFlags, LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2,
                          int cchCount2) {
  if (!lpString1 || !lpString2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwCmpFlags & ~kCompareFlags) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const platform::LocaleInfo *info = platform::ResolveLocale(Locale);
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UCollator *c = CollatorFor(*info);
  if (!c) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  std::u16string_view a = cchCount1 < 0 ? platform::View(lpString1) : std::u16string_view(lpString1, cchCount1);
  std::u16string_view b = cchCount2 < 0 ? platform::View(lpString2) : std::u16string_view(lpString2, cchCount2);

  bool ignoreCase = dwCmpFlags & (NORM_IGNORECASE | LINGUISTIC_IGNORECASE);
  bool ignoreMarks = dwCmpFlags & (NORM_IGNORENONSPACE | LINGUISTIC_IGNOREDIACRITIC);
  UErrorCode status = U_ZERO_ERROR;
  ucol_setStrength(c, ignoreMarks ? UCOL_PRIMARY : ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
  ucol_setAttribute(c, UCOL_CASE_LEVEL, ignoreMarks && !ignoreCase ? UCOL_ON : UCOL_OFF, &status);
  ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, (dwCmpFlags & NORM_IGNORESYMBOLS) ? UCOL_SHIFTED : UCOL_NON_IGNORABLE,
                    &status);
  ucol_setAttribute(c, UCOL_NUMERIC_COLLATION, (dwCmpFlags & SORT_DIGITSASNUMBERS) ? UCOL_ON : UCOL_OFF, &status);

  // A word sort weighs hyphens and apostrophes last: "coop" and "co-op" sort
  // together and differ only when nothing else does.
  if (!(dwCmpFlags & SORT_STRINGSORT)) {
    int r = Collate(c, WithoutWordSortMarks(a), WithoutWordSortMarks(b));
    if (r != CSTR_EQUAL) return r;
  }
  return Collate(c, a, b);
}

int WINAPI lstrlenW(LPCWSTR lpString) { return lpString ? static_cast<int>(platform::Length(lpString)) : 0; }

int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(strlen(lpString)) : 0; }

int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return lpString1 == lpString2 ? 0 : (lpString1 ? 1 : -1);
  return CompareStringW(GetThreadLocale(), 0, lpString1, -1, lpString2, -1) - CSTR_EQUAL;
}

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return lpString1 == lpString2 ? 0 : (lpString1 ? 1 : -1);
  return CompareStringW(GetThreadLocale(), NORM_IGNORECASE, lpString1, -1, lpString2, -1) - CSTR_EQUAL;
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  LPWSTR d = lpString1;
  // Copies at most iMaxLength - 1 characters and always terminates.
  while (iMaxLength > 1 && *lpString2) {
    *d++ = *lpString2++;
    --iMaxLength;
  }
  if (iMaxLength > 0) *d = 0;
  return lpString1;
}

int _wcsicmp(const WCHAR *string1, const WCHAR *string2) { return _wcsnicmp(string1, string2, SIZE_MAX); }

int _wcsnicmp(const WCHAR *string1, const WCHAR *string2, size_t count) {
  if (!string1 || !string2) {
    errno = EINVAL;
    return kNlsCompareError;
  }
  for (; count; --count, ++string1, ++string2) {
    char16_t a = AsciiLower(*string1), b = AsciiLower(*string2);
    if (a != b) return a < b ? -1 : 1;
    if (!a) break;
  }
  return 0;
}

int _vsnwprintf(WCHAR *buffer, size_t count, const WCHAR *format, va_list argptr) {
  if (!format || (!buffer && count)) {
    errno = EINVAL;
    return -1;
  }
  long long n = FormatInto(buffer, count, format, argptr);
  if (n < 0) {
    errno = EINVAL;
    return -1;
  }
  if (n > INT_MAX) return -1;
  if (!buffer) return static_cast<int>(n);  // a size query
  if (static_cast<size_t>(n) < count) buffer[n] = 0;
  // Exactly full: no terminator; longer: truncated and -1.
  return static_cast<size_t>(n) <= count ? static_cast<int>(n) : -1;
}

int _snwprintf(WCHAR *buffer, size_t count, const WCHAR *format, ...) {
  va_list args;
  va_start(args, format);
  int r = _vsnwprintf(buffer, count, format, args);
  va_end(args);
  return r;
}

int vswprintf_s(WCHAR *buffer, size_t sizeOfBuffer, const WCHAR *format, va_list argptr) {
  if (!buffer || sizeOfBuffer == 0) {
    errno = EINVAL;
    return -1;
  }
  long long n = format ? FormatInto(buffer, sizeOfBuffer, format, argptr) : -1;
  if (n < 0 || static_cast<unsigned long long>(n) >= sizeOfBuffer || n > INT_MAX) {
    buffer[0] = 0;
    errno = n < 0 ? EINVAL : ERANGE;
    return -1;
  }
  buffer[n] = 0;
  return static_cast<int>(n);
}

int swprintf_s(WCHAR *buffer, size_t sizeOfBuffer, const WCHAR *format, ...) {
  va_list args;
  va_start(args, format);
  int r = vswprintf_s(buffer, sizeOfBuffer, format, args);
  va_end(args);
  return r;
}

errno_t wcscpy_s(WCHAR *dest, size_t destSize, const WCHAR *src) { return wcsncpy_s(dest, destSize, src, _TRUNCATE - 1); }

errno_t wcsncpy_s(WCHAR *dest, size_t destSize, const WCHAR *src, size_t count) {
  if (!dest || destSize == 0) {
    // Nothing to copy into a zero-sized null buffer is still a success.
    if (!dest && destSize == 0 && count == 0) return 0;
    return errno = EINVAL;
  }
  if (!src) {
    dest[0] = 0;
    if (count == 0) return 0;
    return errno = EINVAL;
  }
  bool truncate = count == _TRUNCATE;
  size_t limit = truncate ? SIZE_MAX : count;
  size_t n = 0;
  while (n < limit && src[n] && n < destSize) ++n;
  if (n == destSize) {
    // The text (and its terminator) did not fit.
    if (truncate) {
      memcpy(dest, src, (destSize - 1) * sizeof(WCHAR));
      dest[destSize - 1] = 0;
      return STRUNCATE;
    }
    dest[0] = 0;
    return errno = ERANGE;
  }
  memcpy(dest, src, n * sizeof(WCHAR));
  dest[n] = 0;
  return 0;
}

errno_t wcscat_s(WCHAR *dest, size_t destSize, const WCHAR *src) {
  if (!dest || destSize == 0) return errno = EINVAL;
  size_t len = 0;
  while (len < destSize && dest[len]) ++len;
  if (len == destSize) {
    // Not terminated inside its own buffer.
    dest[0] = 0;
    return errno = EINVAL;
  }
  if (!src) {
    dest[0] = 0;
    return errno = EINVAL;
  }
  size_t n = platform::Length(src);
  if (n >= destSize - len) {
    dest[0] = 0;
    return errno = ERANGE;
  }
  memcpy(dest + len, src, (n + 1) * sizeof(WCHAR));
  return 0;
}

// strsafe: a destination must be 1..STRSAFE_MAX_CCH units; what does not fit
// is cut off and the result still terminated.
namespace {

bool ValidDestination(LPWSTR dest, size_t cch) { return dest && cch != 0 && cch <= STRSAFE_MAX_CCH; }

HRESULT CopyBounded(LPWSTR dest, size_t cch, LPCWSTR src) {
  if (!src) src = u"";
  while (cch > 1 && *src) {
    *dest++ = *src++;
    --cch;
  }
  *dest = 0;
  return *src ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

}  // namespace

HRESULT StringCchCopyW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc) {
  if (!ValidDestination(pszDest, cchDest)) {
    if (pszDest && cchDest) *pszDest = 0;
    return STRSAFE_E_INVALID_PARAMETER;
  }
  return CopyBounded(pszDest, cchDest, pszSrc);
}

HRESULT StringCchCatW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszSrc) {
  if (!ValidDestination(pszDest, cchDest)) return STRSAFE_E_INVALID_PARAMETER;
  size_t len = 0;
  while (len < cchDest && pszDest[len]) ++len;
  if (len == cchDest) return STRSAFE_E_INVALID_PARAMETER;
  return CopyBounded(pszDest + len, cchDest - len, pszSrc);
}

HRESULT StringCchLengthW(STRSAFE_PCNZWCH psz, size_t cchMax, size_t *pcchLength) {
  HRESULT hr = STRSAFE_E_INVALID_PARAMETER;
  size_t len = 0;
  if (psz && cchMax <= STRSAFE_MAX_CCH) {
    while (len < cchMax && psz[len]) ++len;
    if (len < cchMax) hr = S_OK;
  }
  if (pcchLength) *pcchLength = SUCCEEDED(hr) ? len : 0;
  return hr;
}

HRESULT StringCchVPrintfW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszFormat, va_list argList) {
  if (!ValidDestination(pszDest, cchDest)) {
    if (pszDest && cchDest) *pszDest = 0;
    return STRSAFE_E_INVALID_PARAMETER;
  }
  long long n = pszFormat ? FormatInto(pszDest, cchDest - 1, pszFormat, argList) : -1;
  if (n < 0) {
    *pszDest = 0;
    return STRSAFE_E_INVALID_PARAMETER;
  }
  if (static_cast<unsigned long long>(n) > cchDest - 1) {
    pszDest[cchDest - 1] = 0;
    return STRSAFE_E_INSUFFICIENT_BUFFER;
  }
  pszDest[n] = 0;
  return S_OK;
}

HRESULT StringCchPrintfW(STRSAFE_LPWSTR pszDest, size_t cchDest, STRSAFE_LPCWSTR pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  HRESULT hr = StringCchVPrintfW(pszDest, cchDest, pszFormat, args);
  va_end(args);
  return hr;
}
