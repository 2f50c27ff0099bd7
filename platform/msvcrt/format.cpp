#include "msvcrt/format.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "kernel32/codepage.h"

namespace platform {

void Sink::Put(const char16_t *p, size_t n) {
  if (m_count < m_cap) {
    size_t room = m_cap - m_count < n ? m_cap - m_count : n;
    if (m_buf) memcpy(m_buf + m_count, p, room * sizeof(char16_t));
    if (m_str) m_str->append(p, room);
  }
  m_count += n;
}

void Sink::Fill(char16_t c, size_t n) {
  if (m_count < m_cap) {
    size_t room = m_cap - m_count < n ? m_cap - m_count : n;
    if (m_buf) std::fill(m_buf + m_count, m_buf + m_count + room, c);
    if (m_str) m_str->append(room, c);
  }
  m_count += n;
}

int64_t VaArgReader::Signed(int bytes) {
  if (bytes == 8) return va_arg(*m_ap, long long);
  int v = va_arg(*m_ap, int);
  return bytes == 2 ? static_cast<int16_t>(v) : bytes == 1 ? static_cast<int8_t>(v) : v;
}

uint64_t VaArgReader::Unsigned(int bytes) {
  if (bytes == 8) return va_arg(*m_ap, unsigned long long);
  unsigned v = va_arg(*m_ap, unsigned);
  return bytes == 2 ? static_cast<uint16_t>(v) : bytes == 1 ? static_cast<uint8_t>(v) : v;
}

double VaArgReader::Double(bool longDouble) {
  // A caller's long double is wider here than on Windows, so it is read as
  // what was passed.
  return longDouble ? static_cast<double>(va_arg(*m_ap, long double)) : va_arg(*m_ap, double);
}
const void *VaArgReader::Pointer() { return va_arg(*m_ap, const void *); }

DWORD_PTR SlotArgReader::Next() {
  if (m_next < m_count) return m_slots[m_next++];
  m_overrun = true;
  return 0;
}

int64_t SlotArgReader::Signed(int bytes) {
  uint64_t v = Next();
  return bytes == 8 ? static_cast<int64_t>(v)
         : bytes == 2 ? static_cast<int16_t>(v)
         : bytes == 1 ? static_cast<int8_t>(v)
                      : static_cast<int32_t>(v);
}

uint64_t SlotArgReader::Unsigned(int bytes) {
  uint64_t v = Next();
  return bytes == 8 ? v : bytes == 2 ? static_cast<uint16_t>(v) : bytes == 1 ? static_cast<uint8_t>(v)
                                                                             : static_cast<uint32_t>(v);
}

double SlotArgReader::Double(bool) {
  uint64_t v = Next();
  double d;
  memcpy(&d, &v, sizeof d);
  return d;
}

const void *SlotArgReader::Pointer() { return reinterpret_cast<const void *>(Next()); }

namespace {

struct Conversion {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
};

enum class Len { kNone, kH, kHh, kL, kLl, kI64, kI32, kPtr, kLongDouble, kWide };

int IntBytes(Len len) {
  switch (len) {
    case Len::kH:
      return 2;
    case Len::kHh:
      return 1;
    case Len::kLl:
    case Len::kI64:
    case Len::kPtr:
    case Len::kLongDouble:
      return 8;
    default: return 4;
  }
}

// Writes body with the padding width asks for; zeros go between the prefix
// (sign, "0x") and the body.
void Pad(Sink &out, const Conversion &sp, std::u16string_view prefix, std::u16string_view body, size_t leadingZeros = 0) {
  size_t len = prefix.size() + leadingZeros + body.size();
  size_t pad = sp.width > len ? sp.width - len : 0;
  if (sp.left) {
    out.Put(prefix.data(), prefix.size());
    out.Fill(u'0', leadingZeros);
    out.Put(body.data(), body.size());
    out.Fill(u' ', pad);
  } else if (sp.zero) {
    out.Put(prefix.data(), prefix.size());
    out.Fill(u'0', pad + leadingZeros);
    out.Put(body.data(), body.size());
  } else {
    out.Fill(u' ', pad);
    out.Put(prefix.data(), prefix.size());
    out.Fill(u'0', leadingZeros);
    out.Put(body.data(), body.size());
  }
}

void FormatInteger(Sink &out, Conversion sp, uint64_t magnitude, bool negative, bool isSigned, int base, bool upper) {
  char16_t digits[72];
  size_t n = 0;
  const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  if (!(sp.hasPrecision && sp.precision == 0 && magnitude == 0)) {
    uint64_t v = magnitude;
    do {
      digits[sizeof digits / 2 - 1 - n++] = static_cast<char16_t>(set[v % base]);
      v /= base;
    } while (v);
  }
  std::u16string_view body(digits + sizeof digits / 2 - n, n);
  size_t zeros = sp.hasPrecision && sp.precision > n ? sp.precision - n : 0;
  std::u16string prefix;
  if (isSigned) {
    if (negative) prefix = u"-";
    else if (sp.plus) prefix = u"+";
    else if (sp.space) prefix = u" ";
  }
  if (sp.alt && base == 16 && magnitude != 0) prefix += upper ? u"0X" : u"0x";
  if (sp.alt && base == 8 && zeros == 0 && (n == 0 || body[0] != u'0')) zeros = 1;
  // A precision turns the zero flag off for integers.
  if (sp.hasPrecision) sp.zero = false;
  Pad(out, sp, prefix, body, zeros);
}

// More digits than the exact expansion of any double has.
constexpr size_t kMaxFloatPrecision = 1100;

void FormatFloat(Sink &out, const Conversion &sp, double v, char conv) {
  char f[16];
  size_t k = 0;
  f[k++] = '%';
  if (sp.plus) f[k++] = '+';
  if (sp.space) f[k++] = ' ';
  if (sp.alt) f[k++] = '#';
  f[k++] = '.';
  f[k++] = '*';
  f[k++] = conv;
  f[k] = 0;
  int precision = sp.hasPrecision ? static_cast<int>(sp.precision) : (conv == 'a' || conv == 'A' ? -1 : 6);
  int n = snprintf(nullptr, 0, f, precision, v);
  if (n < 0) return;
  std::string s(static_cast<size_t>(n) + 1, '\0');
  snprintf(s.data(), s.size(), f, precision, v);
  s.resize(static_cast<size_t>(n));
  std::u16string body(s.begin(), s.end());
  // Split the sign (and the 0x of %a) off so that zero padding goes after it.
  size_t p = 0;
  if (p < body.size() && (body[p] == u'-' || body[p] == u'+' || body[p] == u' ')) ++p;
  if ((conv == 'a' || conv == 'A') && p + 1 < body.size() && body[p] == u'0') p += 2;
  bool finite = p < body.size() && body[p] >= u'0' && body[p] <= u'9';
  Conversion padded = sp;
  if (!finite) padded.zero = false;
  Pad(out, padded, std::u16string_view(body).substr(0, p), std::u16string_view(body).substr(p));
}

bool ParseNumber(const WCHAR *&p, size_t &value) {
  value = 0;
  while (*p >= u'0' && *p <= u'9') {
    value = value * 10 + (*p - u'0');
    if (value > INT_MAX) return false;
    ++p;
  }
  return true;
}

// Flags, width and precision of one conversion; a '*' takes its number from
// the arguments.
bool ParseConversion(const WCHAR *&p, ArgReader &args, Conversion &sp) {
  for (bool more = true; more;) {
    switch (*p) {
      case u'-':
        sp.left = true;
        ++p;
        break;
      case u'+':
        sp.plus = true;
        ++p;
        break;
      case u' ':
        sp.space = true;
        ++p;
        break;
      case u'#':
        sp.alt = true;
        ++p;
        break;
      case u'0':
        sp.zero = true;
        ++p;
        break;
      default:
        more = false;
    }
  }
  if (*p == u'*') {
    int64_t w = args.Signed(4);
    if (w < 0) {
      sp.left = true;
      w = -w;
    }
    sp.width = static_cast<size_t>(w);
    ++p;
  } else if (!ParseNumber(p, sp.width)) {
    return false;
  }
  if (*p == u'.') {
    ++p;
    sp.hasPrecision = true;
    if (*p == u'*') {
      int64_t pr = args.Signed(4);
      if (pr < 0)
        sp.hasPrecision = false;
      else
        sp.precision = static_cast<size_t>(pr);
      ++p;
    } else if (!ParseNumber(p, sp.precision)) {
      return false;
    }
  }
  if (sp.left) sp.zero = false;
  return true;
}

Len ParseLength(const WCHAR *&p) {
  Len len = Len::kNone;
  switch (*p) {
    case u'h':
      ++p;
      len = Len::kH;
      if (*p == u'h') ++p, len = Len::kHh;
      break;
    case u'l':
      ++p;
      len = Len::kL;
      if (*p == u'l') ++p, len = Len::kLl;
      break;
    case u'L':
      ++p;
      len = Len::kLongDouble;
      break;
    case u'w':
      ++p;
      len = Len::kWide;
      break;
    case u'z':
    case u't':
    case u'j':
      ++p;
      len = Len::kPtr;
      break;
    case u'I':
      ++p;
      if (p[0] == u'6' && p[1] == u'4')
        p += 2, len = Len::kI64;
      else if (p[0] == u'3' && p[1] == u'2')
        p += 2, len = Len::kI32;
      else
        len = Len::kPtr;
      break;
    default:
      break;
  }
  return len;
}

// Whether %c/%C or %s/%S takes narrow text: "h" always, "l" and "w" never,
// otherwise the upper-case letter is the opposite of the function's default.
bool IsNarrow(Len len, bool upper, bool narrowDefault) {
  return len == Len::kH || (len != Len::kL && len != Len::kWide && upper != narrowDefault);
}

void FormatChar(Sink &out, const Conversion &sp, bool narrow, ArgReader &args) {
  uint64_t v = args.Unsigned(4);
  char16_t c;
  if (narrow) {
    unsigned char b = static_cast<unsigned char>(v);
    c = b < 0x80 ? b : u'\uFFFD';
  } else {
    c = static_cast<char16_t>(v);
  }
  Pad(out, sp, u"", std::u16string_view(&c, 1));
}

void FormatString(Sink &out, const Conversion &sp, bool narrow, ArgReader &args) {
  const void *ptr = args.Pointer();
  std::u16string converted;
  std::u16string_view text;
  if (!ptr) {
    text = u"(null)";
    if (sp.hasPrecision && sp.precision < text.size()) text = text.substr(0, sp.precision);
  } else if (narrow) {
    const char *s = static_cast<const char *>(ptr);
    size_t n = sp.hasPrecision ? strnlen(s, sp.precision) : strlen(s);
    converted = AnsiToWide(std::string_view(s, n));
    text = converted;
  } else {
    const WCHAR *s = static_cast<const WCHAR *>(ptr);
    size_t n = 0;
    while ((!sp.hasPrecision || n < sp.precision) && s[n]) ++n;
    text = std::u16string_view(s, n);
  }
  Pad(out, sp, u"", text);
}

// One conversion, its flags, width, precision and length already read;
// false for one the C runtime refuses.
bool FormatConversion(Sink &out, const Conversion &sp, Len len, char16_t conv, ArgReader &args, bool narrowDefault) {
  switch (conv) {
    case u'd':
    case u'i': {
      int64_t v = args.Signed(IntBytes(len));
      uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      FormatInteger(out, sp, mag, v < 0, true, 10, false);
      return true;
    }
    case u'u':
    case u'o':
    case u'x':
    case u'X': {
      uint64_t v = args.Unsigned(IntBytes(len));
      FormatInteger(out, sp, v, false, false, conv == u'u' ? 10 : conv == u'o' ? 8 : 16, conv == u'X');
      return true;
    }
    case u'p': {
      Conversion ps = sp;
      ps.hasPrecision = true;
      ps.precision = 2 * sizeof(void *);
      ps.alt = false;
      FormatInteger(out, ps, reinterpret_cast<uintptr_t>(args.Pointer()), false, false, 16, true);
      return true;
    }
    case u'c':
    case u'C':
      FormatChar(out, sp, IsNarrow(len, conv == u'C', narrowDefault), args);
      return true;
    case u's':
    case u'S':
      FormatString(out, sp, IsNarrow(len, conv == u'S', narrowDefault), args);
      return true;
    case u'e':
    case u'E':
    case u'f':
    case u'F':
    case u'g':
    case u'G':
    case u'a':
    case u'A':
      if (sp.hasPrecision && sp.precision > kMaxFloatPrecision) return false;
      FormatFloat(out, sp, args.Double(len == Len::kLongDouble), static_cast<char>(conv));
      return true;
    default:
      // %n is refused as the C runtime refuses it; anything else is not a
      // conversion at all.
      return false;
  }
}

}  // namespace

bool FormatWide(Sink &out, const WCHAR *fmt, ArgReader &args, bool narrowDefault) {
  if (!fmt) return false;
  const WCHAR *p = fmt;
  while (*p) {
    if (*p != u'%') {
      const WCHAR *start = p;
      while (*p && *p != u'%') ++p;
      out.Put(start, static_cast<size_t>(p - start));
      continue;
    }
    ++p;
    if (*p == u'%') {
      out.Put(u'%');
      ++p;
      continue;
    }
    Conversion sp;
    if (!ParseConversion(p, args, sp)) return false;
    Len len = ParseLength(p);
    char16_t conv = *p;
    if (!conv) return false;
    ++p;
    if (!FormatConversion(out, sp, len, conv, args, narrowDefault)) return false;
  }
  return true;
}

}  // namespace platform
