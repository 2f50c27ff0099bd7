// The conversions of VARIANTs to and from text. Text is read and written in
// the invariant (English) format whatever the locale asked for, so that what
// one process writes another reads back the same.
#include <oleauto.h>
#include <string.h>

#include <charconv>
#include <optional>
#include <string>

#include "kernel32/text.h"
#include "oleaut32/variant_impl.h"

using namespace platform;

namespace {

HRESULT MakeBstr(const std::string &ascii, VARIANT *out) {
  std::u16string wide(ascii.begin(), ascii.end());
  out->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!out->bstrVal) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  return S_OK;
}

// Fifteen significant digits for doubles and seven for floats, with an
// exponent only when the number needs one: "0.1", "1E+20", "1E-05".
std::string FormatFloat(double value, int digits) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
  std::string s(buf, res.ptr);
  for (char &c : s) {
    if (c == 'e') c = 'E';
  }
  if (s == "-0") s.erase(0, 1);  // no negative zero
  return s;
}

// A scaled integer (currency, decimal) exactly, without trailing zeros.
std::string FormatScaled(unsigned __int128 magnitude, int scale, bool negative) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  std::string s = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) s += "." + fraction;
  if (negative && s != "0") s.insert(s.begin(), '-');
  return s;
}

}  // namespace

HRESULT platform::ToText(const VARIANT &v, USHORT flags, VARIANT *out) {
  switch (v.vt) {
    case VT_EMPTY: return MakeBstr("", out);
    case VT_I1: return MakeBstr(std::to_string(v.cVal), out);
    case VT_UI1: return MakeBstr(std::to_string(v.bVal), out);
    case VT_I2: return MakeBstr(std::to_string(v.iVal), out);
    case VT_UI2: return MakeBstr(std::to_string(v.uiVal), out);
    case VT_I4: return MakeBstr(std::to_string(v.lVal), out);
    case VT_INT: return MakeBstr(std::to_string(v.intVal), out);
    case VT_UI4: return MakeBstr(std::to_string(v.ulVal), out);
    case VT_UINT: return MakeBstr(std::to_string(v.uintVal), out);
    case VT_I8: return MakeBstr(std::to_string(v.llVal), out);
    case VT_UI8: return MakeBstr(std::to_string(v.ullVal), out);
    case VT_R4: return MakeBstr(FormatFloat(v.fltVal, 7), out);
    case VT_R8: return MakeBstr(FormatFloat(v.dblVal, 15), out);
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) return MakeBstr(v.boolVal ? "True" : "False", out);
      return MakeBstr(v.boolVal ? "-1" : "0", out);
    case VT_CY: {
      LONGLONG c = v.cyVal.int64;
      unsigned __int128 m = c < 0 ? static_cast<unsigned __int128>(-(c + 1)) + 1 : static_cast<unsigned __int128>(c);
      return MakeBstr(FormatScaled(m, 4, c < 0), out);
    }
    case VT_DECIMAL: {
      if (v.decVal.scale > 28) return E_INVALIDARG;
      unsigned __int128 m = (static_cast<unsigned __int128>(v.decVal.Hi32) << 64) | v.decVal.Lo64;
      return MakeBstr(FormatScaled(m, v.decVal.scale, v.decVal.sign & 0x80), out);
    }
    default:
      // Dates need the calendar formatting of the locale, which this layer
      // does not have.
      return DISP_E_TYPEMISMATCH;
  }
}

namespace {

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads a number in the invariant format: blanks around it, a sign, digit
// groups split by commas, a decimal point, an exponent; or &H hexadecimal and
// &O octal. Returns it as plain ASCII ("-1234.5E3"), or nothing.
std::optional<std::string> NumberText(std::u16string_view s, unsigned long long *radixValue, bool *isRadix) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  s = s.substr(b, e - b);
  *isRadix = false;
  if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    unsigned base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    unsigned long long value = 0;
    for (size_t i = 2; i < s.size(); ++i) {
      char16_t c = s[i];
      unsigned d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return std::nullopt;
      if (d >= base || value > (~0ull - d) / base) return std::nullopt;
      value = value * base + d;
    }
    *isRadix = true;
    *radixValue = value;
    return std::string();
  }
  std::string out;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') out += '-';
    ++i;
  }
  size_t digits = 0;
  bool lastWasComma = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      out += static_cast<char>(s[i]);
      ++digits;
      lastWasComma = false;
    } else if (s[i] == ',' && digits > 0 && !lastWasComma) {
      lastWasComma = true;
    } else {
      break;
    }
  }
  if (lastWasComma) return std::nullopt;
  if (i < s.size() && s[i] == '.') {
    out += '.';
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      out += static_cast<char>(s[i]);
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    out += 'E';
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) out += static_cast<char>(s[i++]);
    size_t expDigits = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i, ++expDigits) out += static_cast<char>(s[i]);
    if (expDigits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  return out;
}

}  // namespace

HRESULT platform::TextToType(BSTR text, VARTYPE vt, VARIANT *out) {
  std::u16string_view s(text ? text : u"", SysStringLen(text));
  if (vt == VT_BOOL) {
    std::u16string_view t = s;
    while (!t.empty() && IsSpace(t.front())) t.remove_prefix(1);
    while (!t.empty() && IsSpace(t.back())) t.remove_suffix(1);
    if (platform::EqualNoCase(t, u"True") || platform::EqualNoCase(t, u"#TRUE#")) {
      out->vt = VT_BOOL;
      out->boolVal = VARIANT_TRUE;
      return S_OK;
    }
    if (platform::EqualNoCase(t, u"False") || platform::EqualNoCase(t, u"#FALSE#")) {
      out->vt = VT_BOOL;
      out->boolVal = VARIANT_FALSE;
      return S_OK;
    }
  }
  if (vt == VT_DATE) return DISP_E_TYPEMISMATCH;  // see ToText
  unsigned long long radixValue = 0;
  bool isRadix = false;
  auto number = NumberText(s, &radixValue, &isRadix);
  if (!number) return DISP_E_TYPEMISMATCH;
  if (isRadix) return NumberToType(static_cast<long double>(radixValue), vt, out);
  const char *first = number->data();
  const char *last = first + number->size();
  // Floating targets parse the text straight to their own precision.
  if (vt == VT_R8) {
    double d;
    auto res = std::from_chars(first, last, d);
    if (res.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (res.ec != std::errc() || res.ptr != last) return DISP_E_TYPEMISMATCH;
    out->vt = VT_R8;
    out->dblVal = d;
    return S_OK;
  }
  if (vt == VT_R4) {
    float f;
    auto res = std::from_chars(first, last, f);
    if (res.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (res.ec != std::errc() || res.ptr != last) return DISP_E_TYPEMISMATCH;
    out->vt = VT_R4;
    out->fltVal = f;
    return S_OK;
  }
  long double x;
  auto res = std::from_chars(first, last, x);
  if (res.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  if (res.ec != std::errc() || res.ptr != last) return DISP_E_TYPEMISMATCH;
  return NumberToType(x, vt, out);
}

// ---------------------------------------------------------------------------
// The Var<To>From<From> conversions to and from text and the string helpers.

#define PLATFORM_DEFINE_VAR_FROM_STR(T, C, V)                                                 \
  HRESULT WINAPI Var##T##FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, C *out) {          \
    BSTR text = nullptr;                                                                        \
    if (strIn && !(text = SysAllocString(strIn))) return E_OUTOFMEMORY;                         \
    HRESULT hr = ConvertTo(Holding(VT_BSTR, text), lcid, dwFlags, V, out);                      \
    SysFreeString(text);                                                                        \
    return hr;                                                                                  \
  }
PLATFORM_VAR_TYPES(PLATFORM_DEFINE_VAR_FROM_STR)

// Unlike VariantChangeType, VarBstrFromBool spells a boolean out.
#define PLATFORM_DEFINE_BSTR_FROM(T, Y)                                                             \
  HRESULT WINAPI VarBstrFrom##Y(PLATFORM_CTYPE_##Y in, LCID lcid, ULONG dwFlags, BSTR *pbstrOut) { \
    if (kVt##Y == VT_BOOL) dwFlags |= VARIANT_ALPHABOOL;                                            \
    return ConvertTo(Holding(kVt##Y, in), lcid, dwFlags, VT_BSTR, pbstrOut);                        \
  }
PLATFORM_VAR_FROM_Bstr(PLATFORM_DEFINE_BSTR_FROM, Bstr)

HRESULT WINAPI VarBstrFromDisp(IDispatch *pdispIn, LCID lcid, ULONG dwFlags, BSTR *pbstrOut) {
  return ConvertTo(Holding(VT_DISPATCH, pdispIn), lcid, dwFlags, VT_BSTR, pbstrOut);
}

HRESULT WINAPI VarBstrFromDec(const DECIMAL *pdecIn, LCID lcid, ULONG dwFlags, BSTR *pbstrOut) {
  if (!pdecIn) return E_INVALIDARG;
  return ConvertTo(HoldingDecimal(pdecIn), lcid, dwFlags, VT_BSTR, pbstrOut);
}

// Byte lengths add up, so strings of odd byte length join as bytes; a null
// string is an empty one.
HRESULT WINAPI VarBstrCat(BSTR bstrLeft, BSTR bstrRight, BSTR *pbstrResult) {
  if (!pbstrResult) return E_INVALIDARG;
  const uint64_t left = SysStringByteLen(bstrLeft), right = SysStringByteLen(bstrRight);
  if (left + right > 0x7FFFFFFFu) return E_OUTOFMEMORY;
  BSTR s = SysAllocStringByteLen(nullptr, static_cast<UINT>(left + right));
  if (!s) return E_OUTOFMEMORY;
  if (left) memcpy(s, bstrLeft, left);
  if (right) memcpy(reinterpret_cast<char *>(s) + left, bstrRight, right);
  *pbstrResult = s;
  return S_OK;
}

// A null string equals an empty one and sorts before any other; otherwise
// the locale's comparison decides, with NORM_* flags as CompareStringW takes
// them.
HRESULT WINAPI VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags) {
  const UINT left = SysStringLen(bstrLeft), right = SysStringLen(bstrRight);
  if (!left || !right) return left == right ? VARCMP_EQ : (left ? VARCMP_GT : VARCMP_LT);
  int r = CompareStringW(lcid, dwFlags, bstrLeft, static_cast<int>(left), bstrRight, static_cast<int>(right));
  if (r == 0) return E_INVALIDARG;
  return r - 1;  // CSTR_LESS_THAN..CSTR_GREATER_THAN are VARCMP_LT..VARCMP_GT plus one
}
