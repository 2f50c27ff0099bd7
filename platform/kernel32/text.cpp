#include "kernel32/text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <type_traits>

namespace platform {

namespace {

void AppendUtf8(std::string &out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string &out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Copies the run of ASCII that starts at s[i], most text, as it is; returns
// where the run ends.
template <class In, class Out>
size_t CopyAscii(In s, size_t i, Out &out) {
  size_t end = i + 1;
  while (end < s.size() && static_cast<std::make_unsigned_t<typename In::value_type>>(s[end]) < 0x80) ++end;
  size_t at = out.size();
  out.resize(at + (end - i));
  std::copy(s.data() + i, s.data() + end, out.data() + at);
  return end;
}

template <bool Strict>
bool Utf16To8(std::u16string_view s, std::string &out) {
  out.reserve(out.size() + s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c < 0x80) {
      i = CopyAscii(s, i, out) - 1;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (Strict) return false;
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return true;
}

template <bool Strict>
bool Utf8To16(std::string_view s, std::u16string &out) {
  out.reserve(out.size() + s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t cp;
    size_t n;
    if (b < 0x80) {
      i = CopyAscii(s, i, out);
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      cp = b & 0x1F;
      n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cp = b & 0x0F;
      n = 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cp = b & 0x07;
      n = 4;
    } else {
      if (Strict) return false;
      out += u'\uFFFD';
      ++i;
      continue;
    }
    bool ok = i + n <= s.size();
    for (size_t k = 1; ok && k < n; ++k) {
      unsigned char cb = static_cast<unsigned char>(s[i + k]);
      if ((cb & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cb & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed.
    if (ok && ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
               (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) {
      if (Strict) return false;
      out += u'\uFFFD';
      ++i;
      continue;
    }
    AppendUtf16(out, cp);
    i += n;
  }
  return true;
}

}  // namespace

std::optional<std::string> ToUtf8(std::u16string_view s) {
  std::string out;
  if (!Utf16To8<true>(s, out)) return std::nullopt;
  return out;
}

std::optional<std::u16string> FromUtf8(std::string_view s) {
  std::u16string out;
  if (!Utf8To16<true>(s, out)) return std::nullopt;
  return out;
}

std::string ToUtf8Lossy(std::u16string_view s) {
  std::string out;
  Utf16To8<false>(s, out);
  return out;
}

std::u16string FromUtf8Lossy(std::string_view s) {
  std::u16string out;
  Utf8To16<false>(s, out);
  return out;
}

size_t Length(const WCHAR *s) {
  if (!s) return 0;
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

char16_t UpperCase(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  UChar32 f = u_toupper(c);
  return f < 0x10000 ? static_cast<char16_t>(f) : c;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t x = UpperCase(a[i]), y = UpperCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace platform
