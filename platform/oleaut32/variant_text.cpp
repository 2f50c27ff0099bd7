// The conversions of VARIANTs to and from text, in the format of the locale
// the caller names: its decimal and thousands separators, its words for
// true and false; dates as the English (United States) locale writes them.
#include <oleauto.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "kernel32/locale_table.h"
#include "kernel32/text.h"
#include "oleaut32/variant_impl.h"

using namespace platform;

namespace {

HRESULT MakeBstr(std::u16string_view text, VARIANT *out) {
  out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!out->bstrVal) return E_OUTOFMEMORY;
  out->vt = VT_BSTR;
  return S_OK;
}

HRESULT MakeBstr(const std::string &ascii, VARIANT *out) {
  return MakeBstr(std::u16string(ascii.begin(), ascii.end()), out);
}

// A locale this layer does not know writes numbers as the invariant one does.
NumberSeparators LocaleSeparators(LCID lcid) {
  const LocaleInfo *info = ResolveLocale(lcid);
  return info ? platform::SeparatorsOf(*info) : NumberSeparators{u'.', u','};
}

struct BoolWords {
  const char *language;
  const char16_t *yes, *no;
};

// The words VARIANT_LOCALBOOL writes and reads; English for other languages.
const BoolWords &BoolWordsOf(LCID lcid) {
  static const BoolWords kWords[] = {
      {"en", u"True", u"False"},       {"de", u"Wahr", u"Falsch"}, {"fr", u"Vrai", u"Faux"},
      {"es", u"Verdadero", u"Falso"},  {"it", u"Vero", u"Falso"},  {"nl", u"Waar", u"Onwaar"},
      {"pt", u"Verdadeiro", u"Falso"},
  };
  const LocaleInfo *info = ResolveLocale(lcid);
  for (const auto &w : kWords)
    if (info && strcmp(info->isoLanguage, w.language) == 0) return w;
  return kWords[0];
}

// Significant digits rounded half away from zero, as Windows rounds them:
// 654322.25f to seven digits is 654322.3. Returns the digits and the decimal
// exponent of the first one.
std::string RoundedDigits(double magnitude, int digits, int *exponent) {
  // The exact expansion: no double has more than 767 significant digits.
  char buf[800];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 770);
  std::string text(buf, res.ptr);
  const size_t e = text.find('e');
  *exponent = std::stoi(text.substr(e + 1));
  std::string all = text.substr(0, 1) + text.substr(2, e - 2);
  std::string kept = all.substr(0, digits);
  if (all[digits] >= '5') {
    int i = digits - 1;
    for (; i >= 0 && kept[i] == '9'; --i) kept[i] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept.insert(kept.begin(), '1');
      kept.pop_back();
      ++*exponent;
    }
  }
  while (kept.size() > 1 && kept.back() == '0') kept.pop_back();
  return kept;
}

// Fifteen significant digits for doubles and seven for floats, with an
// exponent only when the number needs one: "0.1", "1E+20", "1.5E-07". Only
// the plain form takes the locale's decimal separator.
std::u16string FormatFloat(double value, int digits, char16_t decimal) {
  if (value == 0) return u"0";  // no negative zero
  if (!std::isfinite(value)) return std::isnan(value) ? u"NaN" : (value < 0 ? u"-Infinity" : u"Infinity");
  int exponent = 0;
  std::string d = RoundedDigits(std::fabs(value), digits, &exponent);
  std::u16string s = value < 0 ? u"-" : u"";
  if (exponent < -4 || exponent >= digits) {
    s += static_cast<char16_t>(d[0]);
    if (d.size() > 1) {
      s += u'.';  // the exponent form is not localised
      s.append(d.begin() + 1, d.end());
    }
    char e[16];
    snprintf(e, sizeof e, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    s.append(e, e + strlen(e));
  } else if (exponent < 0) {
    s += u'0';
    s += decimal;
    s.append(static_cast<size_t>(-exponent - 1), u'0');
    s.append(d.begin(), d.end());
  } else {
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (d.size() < whole) d.append(whole - d.size(), '0');
    s.append(d.begin(), d.begin() + whole);
    if (d.size() > whole) {
      s += decimal;
      s.append(d.begin() + whole, d.end());
    }
  }
  return s;
}

// A scaled integer (currency, decimal) exactly, without trailing zeros.
std::u16string FormatScaled(unsigned __int128 magnitude, int scale, bool negative, char16_t decimal) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  std::string whole = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::u16string s(whole.begin(), whole.end());
  if (!fraction.empty()) {
    s += decimal;
    s.append(fraction.begin(), fraction.end());
  }
  if (negative && s != u"0") s.insert(s.begin(), u'-');
  return s;
}

// Days since 1 January 1970 to a proleptic Gregorian date.
void CivilFromDays(long long z, long long *year, unsigned *month, unsigned *day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = doy - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<long long>(yoe) + era * 400 + (*month <= 2);
}

// A proleptic Gregorian date to days since 1 January 1970.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

// "12/31/1903 12:00:00 PM". The date is left out at day zero (30 December
// 1899) and the time at midnight; a flag leaves out one part more.
HRESULT FormatDate(DATE date, ULONG flags, std::u16string *text) {
  if (!(date >= -657434.0 && date < 2958466.0)) return E_INVALIDARG;
  long long days = static_cast<long long>(date);  // toward zero: the time counts forward from it
  long long seconds = std::llround(std::fabs(date - static_cast<double>(days)) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++days;
  }
  const bool timeOnly = flags & VAR_TIMEVALUEONLY, dateOnly = flags & VAR_DATEVALUEONLY;
  // Day zero and midnight of another day are left out even when asked for alone.
  const bool showDate = !timeOnly && days != 0;
  const bool showTime = !dateOnly && (seconds != 0 || days == 0);
  std::string out;
  if (showDate) {
    long long year;
    unsigned month, day;
    CivilFromDays(days - 25569, &year, &month, &day);  // 25569 days from 30 December 1899 to 1970
    out = std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(year);
  }
  if (showTime) {
    const int hour = static_cast<int>(seconds / 3600), minute = static_cast<int>(seconds / 60 % 60);
    const int second = static_cast<int>(seconds % 60);
    if (showDate) out += ' ';
    out += std::to_string(hour % 12 ? hour % 12 : 12);
    out += minute < 10 ? ":0" : ":";
    out += std::to_string(minute);
    out += second < 10 ? ":0" : ":";
    out += std::to_string(second);
    out += hour < 12 ? " AM" : " PM";
  }
  text->assign(out.begin(), out.end());
  return S_OK;
}

template <typename T>
HRESULT MakeNumberBstr(T value, VARIANT *out) {
  return MakeBstr(std::to_string(value), out);
}

}  // namespace

HRESULT platform::ToText(const VARIANT &v, LCID lcid, USHORT flags, VARIANT *out) {
  const char16_t decimal = LocaleSeparators(lcid).decimal;
  switch (v.vt) {
    case VT_EMPTY:
      return MakeBstr(u"", out);
    case VT_I1:
      return MakeNumberBstr(v.cVal, out);
    case VT_UI1:
      return MakeNumberBstr(v.bVal, out);
    case VT_I2:
      return MakeNumberBstr(v.iVal, out);
    case VT_UI2:
      return MakeNumberBstr(v.uiVal, out);
    case VT_I4:
      return MakeNumberBstr(v.lVal, out);
    case VT_INT:
      return MakeNumberBstr(v.intVal, out);
    case VT_UI4:
      return MakeNumberBstr(v.ulVal, out);
    case VT_UINT:
      return MakeNumberBstr(v.uintVal, out);
    case VT_I8:
      return MakeNumberBstr(v.llVal, out);
    case VT_UI8:
      return MakeNumberBstr(v.ullVal, out);
    case VT_R4:
      return MakeBstr(FormatFloat(v.fltVal, 7, decimal), out);
    case VT_R8:
      return MakeBstr(FormatFloat(v.dblVal, 15, decimal), out);
    case VT_BOOL:
      // Without a flag the boolean is the number it holds.
      if (flags & VARIANT_LOCALBOOL) return MakeBstr(v.boolVal ? BoolWordsOf(lcid).yes : BoolWordsOf(lcid).no, out);
      if (flags & VARIANT_ALPHABOOL) return MakeBstr(v.boolVal ? u"True" : u"False", out);
      return MakeNumberBstr(v.boolVal, out);
    case VT_CY: {
      LONGLONG c = v.cyVal.int64;
      unsigned __int128 m = c < 0 ? static_cast<unsigned __int128>(-(c + 1)) + 1 : static_cast<unsigned __int128>(c);
      return MakeBstr(FormatScaled(m, 4, c < 0, decimal), out);
    }
    case VT_DECIMAL: {
      if (v.decVal.scale > 28) return E_INVALIDARG;
      unsigned __int128 m = (static_cast<unsigned __int128>(v.decVal.Hi32) << 64) | v.decVal.Lo64;
      return MakeBstr(FormatScaled(m, v.decVal.scale, v.decVal.sign & 0x80, decimal), out);
    }
    case VT_DATE: {
      std::u16string text;
      HRESULT hr = FormatDate(v.date, 0, &text);
      return FAILED(hr) ? hr : MakeBstr(text, out);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

namespace {

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::u16string_view Trimmed(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Reads &H hexadecimal or &O octal digits.
std::optional<unsigned long long> RadixNumber(std::u16string_view s) {
  unsigned base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
  unsigned long long value = 0;
  for (size_t i = 2; i < s.size(); ++i) {
    char16_t c = s[i];
    unsigned d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    if (d >= base || value > (~0ull - d) / base) return std::nullopt;
    value = value * base + d;
  }
  return value;
}

// Reads a number in the locale's format: blanks around it, a sign, digit
// groups split by its thousands separator, its decimal separator, an
// exponent; or &H hexadecimal and &O octal. Returns it as plain ASCII
// ("-1234.5E3"), or nothing.
std::optional<std::string> NumberText(std::u16string_view s, NumberSeparators sep, unsigned long long *radixValue,
                                      bool *isRadix) {
  s = Trimmed(s);
  *isRadix = false;
  if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    auto value = RadixNumber(s);
    if (!value) return std::nullopt;
    *isRadix = true;
    *radixValue = *value;
    return std::string();
  }
  std::string out;
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    if (s[i] == '-') out += '-';
    ++i;
  }
  size_t digits = 0;
  bool lastWasGroup = false;
  for (; i < s.size(); ++i) {
    if (s[i] >= '0' && s[i] <= '9') {
      out += static_cast<char>(s[i]);
      ++digits;
      lastWasGroup = false;
    } else if (s[i] == sep.thousand && digits > 0 && !lastWasGroup) {
      lastWasGroup = true;
    } else {
      break;
    }
  }
  if (lastWasGroup) return std::nullopt;
  if (i < s.size() && s[i] == sep.decimal) {
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

// "#TRUE#" and "#FALSE#" exactly, the English words in any case, and the
// locale's own words when VARIANT_LOCALBOOL asks for them.
std::optional<bool> BoolWord(std::u16string_view s, LCID lcid, ULONG flags) {
  s = Trimmed(s);
  if (s == u"#TRUE#" || EqualNoCase(s, u"True")) return true;
  if (s == u"#FALSE#" || EqualNoCase(s, u"False")) return false;
  if (flags & VARIANT_LOCALBOOL) {
    const BoolWords &words = BoolWordsOf(lcid);
    if (EqualNoCase(s, words.yes)) return true;
    if (EqualNoCase(s, words.no)) return false;
  }
  return std::nullopt;
}

// The numbers of a date or time text, each with the separator that follows
// it ('/', '-', ':' or 0), and its AM/PM marker.
struct DateTokens {
  std::vector<unsigned> numbers;
  std::vector<char16_t> separators;
  int half = 0;  // 1 for AM, 2 for PM
};

bool Tokenize(std::u16string_view s, DateTokens *t) {
  for (size_t i = 0; i < s.size();) {
    const char16_t c = s[i];
    if (c >= '0' && c <= '9') {
      unsigned n = 0;
      for (size_t start = i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (i - start >= 4) return false;  // no part of a date has more than four digits
        n = n * 10 + (s[i] - '0');
      }
      t->numbers.push_back(n);
      t->separators.push_back(0);
    } else if (c == '/' || c == '-' || c == ':') {
      if (t->numbers.empty() || t->separators.back() || t->half) return false;
      t->separators.back() = c;
      ++i;
    } else if (IsSpace(c)) {
      ++i;
    } else if (c == 'A' || c == 'a' || c == 'P' || c == 'p') {
      // "AM", "PM", or their first letter alone.
      if (t->numbers.empty() || t->half) return false;
      t->half = (c == 'A' || c == 'a') ? 1 : 2;
      i += (i + 1 < s.size() && (s[i + 1] == 'M' || s[i + 1] == 'm')) ? 2 : 1;
    } else {
      return false;
    }
  }
  return !t->numbers.empty() && !t->separators.back();
}

// Reads a date and a time as English (United States) writes them: "12/31/1903",
// "1903-12-31", "8:09:36 AM", "20:15", "1 pm", or a date and then a time.
std::optional<DATE> ParseDate(std::u16string_view s) {
  DateTokens t;
  if (!Tokenize(s, &t)) return std::nullopt;
  const auto &n = t.numbers;
  const auto &sep = t.separators;
  size_t next = 0;
  long long days = 0;
  if (sep[0] == '/' || sep[0] == '-') {
    if (n.size() < 3 || sep[1] != sep[0] || sep[2] != 0) return std::nullopt;
    const bool yearFirst = sep[0] == '-' && n[0] > 31;
    long long year = yearFirst ? n[0] : n[2];
    const unsigned month = yearFirst ? n[1] : n[0], day = yearFirst ? n[2] : n[1];
    if (year < 100) year += year < 30 ? 2000 : 1900;  // two digits: 1930 to 2029
    if (month < 1 || month > 12 || day < 1 || year > 9999) return std::nullopt;
    days = DaysFromCivil(year, month, day) + 25569;
    long long y;
    unsigned m, d;
    CivilFromDays(days - 25569, &y, &m, &d);
    if (d != day) return std::nullopt;  // past the end of the month
    next = 3;
  }
  unsigned hour = 0, minute = 0, second = 0;
  const size_t parts = n.size() - next;
  if (parts > 0) {
    // An hour alone needs its AM or PM.
    if (parts > 3 || (parts == 1 && !t.half)) return std::nullopt;
    if ((parts > 1 && sep[next] != ':') || (parts == 3 && sep[next + 1] != ':')) return std::nullopt;
    hour = n[next];
    minute = parts > 1 ? n[next + 1] : 0;
    second = parts == 3 ? n[next + 2] : 0;
    if (t.half && hour <= 12) hour = hour % 12 + (t.half == 2 ? 12 : 0);  // a 24-hour clock ignores it
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  } else if (t.half) {
    return std::nullopt;
  }
  const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
  return days >= 0 ? days + time : days - time;  // before 30 December 1899 the time still counts forward
}

template <typename T>
HRESULT ParseFloating(const char *first, const char *last, T *value) {
  auto res = std::from_chars(first, last, *value);
  if (res.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  if (res.ec != std::errc() || res.ptr != last) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

}  // namespace

HRESULT platform::TextToType(BSTR text, LCID lcid, ULONG flags, VARTYPE vt, VARIANT *out) {
  std::u16string_view s(text ? text : u"", SysStringLen(text));
  if (vt == VT_BOOL) {
    if (auto word = BoolWord(s, lcid, flags)) {
      out->vt = VT_BOOL;
      out->boolVal = *word ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
  }
  if (vt == VT_DATE) {
    auto date = ParseDate(Trimmed(s));
    if (!date) return DISP_E_TYPEMISMATCH;
    out->vt = VT_DATE;
    out->date = *date;
    return S_OK;
  }
  unsigned long long radixValue = 0;
  bool isRadix = false;
  auto number = NumberText(s, LocaleSeparators(lcid), &radixValue, &isRadix);
  if (!number) return DISP_E_TYPEMISMATCH;
  if (isRadix) return NumberToType(static_cast<long double>(radixValue), vt, out);
  const char *first = number->data();
  const char *last = first + number->size();
  // Floating targets parse the text straight to their own precision.
  HRESULT hr;
  if (vt == VT_R8) {
    if (SUCCEEDED(hr = ParseFloating(first, last, &out->dblVal))) out->vt = VT_R8;
    return hr;
  }
  if (vt == VT_R4) {
    if (SUCCEEDED(hr = ParseFloating(first, last, &out->fltVal))) out->vt = VT_R4;
    return hr;
  }
  long double x;
  if (FAILED(hr = ParseFloating(first, last, &x))) return hr;
  return NumberToType(x, vt, out);
}

// ---------------------------------------------------------------------------
// The Var<To>From<From> conversions to and from text and the string helpers.

#define PLATFORM_DEFINE_VAR_FROM_STR(T, C, V)                                         \
  HRESULT WINAPI Var##T##FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, C *out) { \
    BSTR text = nullptr;                                                              \
    if (strIn && !(text = SysAllocString(strIn))) return E_OUTOFMEMORY;               \
    HRESULT hr = ConvertTo(Holding(VT_BSTR, text), lcid, dwFlags, V, out);            \
    SysFreeString(text);                                                              \
    return hr;                                                                        \
  }
PLATFORM_VAR_TYPES(PLATFORM_DEFINE_VAR_FROM_STR)

namespace {

HRESULT DateToBstr(DATE date, ULONG flags, BSTR *out) {
  if (!out) return E_INVALIDARG;
  std::u16string text;
  HRESULT hr = FormatDate(date, flags, &text);
  if (FAILED(hr)) return hr;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Unlike VariantChangeType, VarBstrFromBool spells a boolean out, and
// VarBstrFromDate takes the VAR_* flags that choose the parts of a date.
template <VARTYPE From, typename T>
HRESULT BstrFrom(T in, LCID lcid, ULONG flags, BSTR *out) {
  if constexpr (From == VT_DATE) {
    return DateToBstr(in, flags, out);
  } else {
    if (From == VT_BOOL) flags |= VARIANT_ALPHABOOL;
    return ConvertTo(Holding(From, in), lcid, flags, VT_BSTR, out);
  }
}

}  // namespace

#define PLATFORM_DEFINE_BSTR_FROM(T, Y)                                                            \
  HRESULT WINAPI VarBstrFrom##Y(PLATFORM_CTYPE_##Y in, LCID lcid, ULONG dwFlags, BSTR *pbstrOut) { \
    return BstrFrom<kVt##Y>(in, lcid, dwFlags, pbstrOut);                                          \
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

// A null string equals an empty one and sorts before any other. Locale 0
// compares the bytes, odd lengths included; any other locale compares as
// CompareStringW does, with the NORM_* flags it takes.
HRESULT WINAPI VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags) {
  if (lcid == 0) {
    const UINT left = SysStringByteLen(bstrLeft), right = SysStringByteLen(bstrRight);
    int r = (left && right) ? memcmp(bstrLeft, bstrRight, left < right ? left : right) : 0;
    if (r == 0) r = left < right ? -1 : (left > right ? 1 : 0);
    return r < 0 ? VARCMP_LT : (r > 0 ? VARCMP_GT : VARCMP_EQ);
  }
  const UINT left = SysStringLen(bstrLeft), right = SysStringLen(bstrRight);
  if (!left || !right) return left == right ? VARCMP_EQ : (left ? VARCMP_GT : VARCMP_LT);
  int r = CompareStringW(lcid, dwFlags, bstrLeft, static_cast<int>(left), bstrRight, static_cast<int>(right));
  if (r == 0) return E_INVALIDARG;
  return r - 1;  // CSTR_LESS_THAN..CSTR_GREATER_THAN are VARCMP_LT..VARCMP_GT plus one
}
