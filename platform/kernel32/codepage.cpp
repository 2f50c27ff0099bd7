// Code-page conversion. The ANSI and OEM code pages of this system are
// UTF-8, as on a Windows set to use UTF-8 for its ANSI code page.
#include <windows.h>

#include <limits.h>
#include <string.h>

#include <string>

#include "kernel32/codepage.h"

namespace {

constexpr DWORD kAnsiOnlyMbFlags = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS;
constexpr DWORD kAnsiOnlyWcFlags = WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS | WC_DISCARDNS | WC_SEPCHARS |
                                   WC_DEFAULTCHAR;

// The code pages known here; CP_ACP and its relatives are UTF-8 but accept
// the flags that are harmless for a single-byte ANSI code page on Windows.
enum class Page { kUnknown, kUtf8, kAnsi };

Page Classify(UINT codePage) {
  switch (codePage) {
    case CP_UTF8:
      return Page::kUtf8;
    case CP_ACP:
    case CP_OEMCP:
    case CP_THREAD_ACP:
      return Page::kAnsi;
    default:
      return Page::kUnknown;
  }
}

// Decodes UTF-8 to UTF-16. An ill-formed sequence becomes one U+FFFD for
// each maximal prefix of a valid sequence (or lone byte), the practice the
// Unicode standard recommends. Writes into out (cap units) only when out is
// set; returns the full length, or -1 on the first ill-formed sequence when
// strict.
long long DecodeUtf8(const unsigned char *s, size_t n, bool strict, WCHAR *out, size_t cap) {
  size_t count = 0;
  auto put = [&](char16_t c) {
    if (out && count < cap) out[count] = c;
    ++count;
  };
  size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      put(b);
      ++i;
      continue;
    }
    size_t need;
    char32_t cp;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2, cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3, cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    } else {
      if (strict) return -1;
      put(u'\uFFFD');
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k <= need && i + k < n; ++k) {
      unsigned char c = s[i + k];
      if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (k <= need) {
      if (strict) return -1;
      put(u'\uFFFD');
      i += k;
      continue;
    }
    if (cp < 0x10000) {
      put(static_cast<char16_t>(cp));
    } else {
      put(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      put(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
    i += need + 1;
  }
  return static_cast<long long>(count);
}

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes the replacement
// (U+FFFD unless a default character is given), or fails the call when strict.
long long EncodeUtf8(const WCHAR *s, size_t n, bool strict, const char *replacement, bool *replaced, char *out,
                     size_t cap) {
  size_t count = 0;
  auto put = [&](unsigned char c) {
    if (out && count < cap) out[count] = static_cast<char>(c);
    ++count;
  };
  for (size_t i = 0; i < n; ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (strict) return -1;
      if (replaced) *replaced = true;
      if (replacement) {
        put(static_cast<unsigned char>(*replacement));
        continue;
      }
      c = 0xFFFD;
    }
    if (c < 0x80) {
      put(static_cast<unsigned char>(c));
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6));
      put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    } else {
      put(0xF0 | (c >> 18));
      put(0x80 | ((c >> 12) & 0x3F));
      put(0x80 | ((c >> 6) & 0x3F));
      put(0x80 | (c & 0x3F));
    }
  }
  return static_cast<long long>(count);
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

std::u16string platform::AnsiToWide(std::string_view s) {
  auto bytes = reinterpret_cast<const unsigned char *>(s.data());
  std::u16string out(static_cast<size_t>(DecodeUtf8(bytes, s.size(), false, nullptr, 0)), u'\0');
  DecodeUtf8(bytes, s.size(), false, out.data(), out.size());
  return out;
}

UINT WINAPI GetACP(void) { return CP_UTF8; }
UINT WINAPI GetOEMCP(void) { return CP_UTF8; }

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (!lpWideCharStr && cchWideChar) ||
      static_cast<const void *>(lpMultiByteStr) == static_cast<const void *>(lpWideCharStr))
    return Fail(ERROR_INVALID_PARAMETER);
  Page page = Classify(CodePage);
  if (page == Page::kUnknown) return Fail(ERROR_INVALID_PARAMETER);
  DWORD allowed = MB_ERR_INVALID_CHARS | (page == Page::kAnsi ? kAnsiOnlyMbFlags : 0);
  if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS);
  // -1 (any negative count) means null-terminated, terminator included.
  size_t n = cbMultiByte < 0 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  auto src = reinterpret_cast<const unsigned char *>(lpMultiByteStr);
  bool strict = dwFlags & MB_ERR_INVALID_CHARS;
  long long needed = DecodeUtf8(src, n, strict, nullptr, 0);
  if (needed < 0) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  if (needed > INT_MAX) return Fail(ERROR_INVALID_PARAMETER);
  if (cchWideChar == 0) return static_cast<int>(needed);
  if (needed > cchWideChar) return Fail(ERROR_INSUFFICIENT_BUFFER);
  DecodeUtf8(src, n, strict, lpWideCharStr, static_cast<size_t>(cchWideChar));
  return static_cast<int>(needed);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || (!lpMultiByteStr && cbMultiByte) ||
      static_cast<const void *>(lpMultiByteStr) == static_cast<const void *>(lpWideCharStr))
    return Fail(ERROR_INVALID_PARAMETER);
  Page page = Classify(CodePage);
  if (page == Page::kUnknown) return Fail(ERROR_INVALID_PARAMETER);
  // UTF-8 has no default character.
  if (page == Page::kUtf8 && (lpDefaultChar || lpUsedDefaultChar)) return Fail(ERROR_INVALID_PARAMETER);
  DWORD allowed = WC_ERR_INVALID_CHARS | (page == Page::kAnsi ? kAnsiOnlyWcFlags : 0);
  if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS);
  size_t n = 0;
  if (cchWideChar < 0) {
    while (lpWideCharStr[n]) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(cchWideChar);
  }
  bool strict = dwFlags & WC_ERR_INVALID_CHARS;
  bool replaced = false;
  long long needed = EncodeUtf8(lpWideCharStr, n, strict, lpDefaultChar, &replaced, nullptr, 0);
  if (needed < 0) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  if (needed > INT_MAX) return Fail(ERROR_INVALID_PARAMETER);
  if (lpUsedDefaultChar) *lpUsedDefaultChar = replaced;
  if (cbMultiByte == 0) return static_cast<int>(needed);
  if (needed > cbMultiByte) return Fail(ERROR_INSUFFICIENT_BUFFER);
  EncodeUtf8(lpWideCharStr, n, strict, lpDefaultChar, nullptr, lpMultiByteStr, static_cast<size_t>(cbMultiByte));
  return static_cast<int>(needed);
}
