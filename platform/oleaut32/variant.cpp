// VARIANT lifetime, copies and type conversion. Text is read and written in
// the invariant (English) format whatever the locale asked for, so that what
// one process writes another reads back the same.
#include <oleauto.h>
#include <string.h>

#include <charconv>
#include <cmath>
#include <cfloat>
#include <limits>
#include <optional>
#include <string>

#include "kernel32/text.h"

namespace {

constexpr VARTYPE kBaseMask = VT_TYPEMASK;

bool IsScalarType(VARTYPE base) {
  switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

// The VARTYPEs a variant can hold here. Arrays and records are not among
// them: this layer has no SAFEARRAY or IRecordInfo.
bool IsValidType(VARTYPE vt) {
  VARTYPE base = vt & kBaseMask;
  if (vt & ~(kBaseMask | VT_BYREF)) return false;
  if (vt & VT_BYREF) return base == VT_VARIANT || (IsScalarType(base) && base != VT_EMPTY && base != VT_NULL);
  return IsScalarType(base);
}

// A by-value view of what a VT_BYREF variant points at; it owns nothing.
HRESULT Dereference(const VARIANT *src, VARIANT *out) {
  if (!(src->vt & VT_BYREF)) {
    *out = *src;
    return S_OK;
  }
  VARTYPE base = src->vt & kBaseMask;
  if (!src->byref) return E_INVALIDARG;
  if (base == VT_VARIANT) {
    const VARIANT *inner = src->pvarVal;
    if (inner->vt == (VT_VARIANT | VT_BYREF) || !IsValidType(inner->vt)) return E_INVALIDARG;
    return Dereference(inner, out);
  }
  VariantInit(out);
  switch (base) {
    case VT_I1:
    case VT_UI1:
      out->bVal = *src->pbVal;
      break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      out->iVal = *src->piVal;
      break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      out->lVal = *src->plVal;
      break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      out->llVal = *src->pllVal;
      break;
    case VT_BSTR:
      out->bstrVal = *src->pbstrVal;
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      out->punkVal = *src->ppunkVal;
      break;
    case VT_DECIMAL:
      out->decVal = *src->pdecVal;  // overlays vt, so set it after
      break;
  }
  out->vt = base;
  return S_OK;
}

// Copies a by-value variant, taking its own string and references.
HRESULT CopyValue(VARIANT *dest, const VARIANT *src) {
  VARIANT copy = *src;
  if (src->vt == VT_BSTR && src->bstrVal) {
    copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal), SysStringByteLen(src->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if ((src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) && src->punkVal) {
    src->punkVal->AddRef();
  }
  *dest = copy;
  return S_OK;
}

// ---- numbers ----

// Every numeric VARTYPE's value fits a long double exactly (64-bit
// integers included), so one range check per target does for all sources.
bool NumberOf(const VARIANT &v, long double *x) {
  switch (v.vt) {
    case VT_EMPTY: *x = 0; return true;
    case VT_I1: *x = v.cVal; return true;
    case VT_UI1: *x = v.bVal; return true;
    case VT_I2: *x = v.iVal; return true;
    case VT_UI2: *x = v.uiVal; return true;
    case VT_I4: *x = v.lVal; return true;
    case VT_INT: *x = v.intVal; return true;
    case VT_UI4: *x = v.ulVal; return true;
    case VT_UINT: *x = v.uintVal; return true;
    case VT_I8: *x = v.llVal; return true;
    case VT_UI8: *x = v.ullVal; return true;
    case VT_R4: *x = v.fltVal; return true;
    case VT_R8: *x = v.dblVal; return true;
    case VT_DATE: *x = v.date; return true;
    case VT_BOOL: *x = v.boolVal; return true;
    case VT_CY: *x = static_cast<long double>(v.cyVal.int64) / 10000; return true;
    case VT_DECIMAL: {
      unsigned __int128 m = (static_cast<unsigned __int128>(v.decVal.Hi32) << 64) | v.decVal.Lo64;
      long double value = static_cast<long double>(m);
      for (int i = 0; i < v.decVal.scale; ++i) value /= 10;
      *x = v.decVal.sign & 0x80 ? -value : value;
      return true;
    }
    default:
      return false;
  }
}

// Rounds half to even, as the automation conversions do, and checks range.
template <typename T>
HRESULT ToInteger(long double x, T *out) {
  long double r = std::nearbyint(x);  // the default rounding mode is to nearest even
  // The bounds are powers of two, exact in a long double.
  const long double lo = static_cast<long double>(std::numeric_limits<T>::min());
  const long double hi = static_cast<long double>(std::numeric_limits<T>::max()) + 1;
  if (!(r >= lo && r < hi)) return DISP_E_OVERFLOW;
  *out = static_cast<T>(r);
  return S_OK;
}

HRESULT NumberToType(long double x, VARTYPE vt, VARIANT *out) {
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1: hr = ToInteger(x, &out->cVal); break;
    case VT_UI1: hr = ToInteger(x, &out->bVal); break;
    case VT_I2: hr = ToInteger(x, &out->iVal); break;
    case VT_UI2: hr = ToInteger(x, &out->uiVal); break;
    case VT_I4: hr = ToInteger(x, &out->lVal); break;
    case VT_INT: hr = ToInteger(x, &out->intVal); break;
    case VT_UI4: hr = ToInteger(x, &out->ulVal); break;
    case VT_UINT: hr = ToInteger(x, &out->uintVal); break;
    case VT_I8: hr = ToInteger(x, &out->llVal); break;
    case VT_UI8: hr = ToInteger(x, &out->ullVal); break;
    case VT_CY: hr = ToInteger(x * 10000, &out->cyVal.int64); break;
    case VT_R4:
      if (std::isfinite(x) && std::fabs(x) > FLT_MAX) return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(x);
      break;
    case VT_R8:
      if (std::isfinite(x) && std::fabs(x) > DBL_MAX) return DISP_E_OVERFLOW;
      out->dblVal = static_cast<double>(x);
      break;
    case VT_DATE:
      // 1 January 100 to 31 December 9999.
      if (!(x >= -657434.0L && x < 2958466.0L)) return DISP_E_OVERFLOW;
      out->date = static_cast<double>(x);
      break;
    case VT_BOOL:
      out->boolVal = x != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (SUCCEEDED(hr)) out->vt = vt;
  return hr;
}

// ---- text ----

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

HRESULT ToText(const VARIANT &v, USHORT flags, VARIANT *out) {
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

HRESULT TextToType(BSTR text, VARTYPE vt, VARIANT *out) {
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

// ---- the conversion ----

HRESULT Convert(const VARIANT &v, LCID lcid, USHORT flags, VARTYPE vt, VARIANT *out);

// An object's value is its default member (DISPID_VALUE) read as a property.
HRESULT ConvertObject(IDispatch *object, LCID lcid, USHORT flags, VARTYPE vt, VARIANT *out) {
  if (!object || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  VARIANT plain;
  hr = Dereference(&value, &plain);
  // An object whose value is again an object is not followed further.
  if (SUCCEEDED(hr)) hr = Convert(plain, lcid, flags | VARIANT_NOVALUEPROP, vt, out);
  VariantClear(&value);
  return hr;
}

// Bytes of the integer types that VariantChangeType converts between signed
// and unsigned by keeping the bits; across widths the range is checked.
size_t IntegerWidth(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: return 4;
    case VT_I8: case VT_UI8: return 8;
    default: return 0;
  }
}

HRESULT Convert(const VARIANT &v, LCID lcid, USHORT flags, VARTYPE vt, VARIANT *out) {
  VariantInit(out);
  if (v.vt == vt) return CopyValue(out, &v);
  // Any value may be dropped: to empty or to null is no conversion at all.
  if (vt == VT_EMPTY || vt == VT_NULL) {
    out->vt = vt;
    return S_OK;
  }
  if (v.vt == VT_NULL || v.vt == VT_ERROR || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (size_t width = IntegerWidth(v.vt); width && width == IntegerWidth(vt)) {
    out->llVal = 0;
    memcpy(&out->llVal, &v.llVal, width);
    out->vt = vt;
    return S_OK;
  }
  // A boolean is the 16-bit integer it holds, taken by its bits into any
  // integer type: VARIANT_TRUE is 255 as a byte, a stored 1 stays 1.
  if (v.vt == VT_BOOL && IntegerWidth(vt)) {
    const LONGLONG bits = v.boolVal;  // sign-extended, then cut to the target's width
    out->llVal = 0;
    memcpy(&out->llVal, &bits, IntegerWidth(vt));
    out->vt = vt;
    return S_OK;
  }
  if (v.vt == VT_DISPATCH) {
    if (vt == VT_UNKNOWN) {
      out->vt = VT_UNKNOWN;
      out->punkVal = v.pdispVal;
      if (out->punkVal) out->punkVal->AddRef();
      return S_OK;
    }
    return ConvertObject(v.pdispVal, lcid, flags, vt, out);
  }
  if (v.vt == VT_UNKNOWN) {
    if (vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    out->vt = VT_DISPATCH;
    out->pdispVal = nullptr;
    if (!v.punkVal) return S_OK;
    HRESULT hr = v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&out->pdispVal));
    if (FAILED(hr)) {
      out->vt = VT_EMPTY;
      return hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;  // an object without IDispatch cannot be one
    }
    return S_OK;
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  if (vt == VT_BSTR) return ToText(v, flags, out);
  if (v.vt == VT_BSTR) return TextToType(v.bstrVal, vt, out);
  if (vt == VT_DECIMAL) return DISP_E_TYPEMISMATCH;  // no decimal arithmetic here
  long double x;
  if (!NumberOf(v, &x)) return DISP_E_TYPEMISMATCH;
  return NumberToType(x, vt, out);
}

}  // namespace

void WINAPI VariantInit(VARIANTARG *pvarg) {
  if (pvarg) pvarg->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANTARG *pvarg) {
  if (!pvarg) return E_INVALIDARG;
  if (!IsValidType(pvarg->vt)) return DISP_E_BADVARTYPE;
  if (!(pvarg->vt & VT_BYREF)) {
    if (pvarg->vt == VT_BSTR) {
      SysFreeString(pvarg->bstrVal);
    } else if ((pvarg->vt == VT_DISPATCH || pvarg->vt == VT_UNKNOWN) && pvarg->punkVal) {
      pvarg->punkVal->Release();
    }
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG *pvargDest, const VARIANTARG *pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (!IsValidType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  if (pvargDest == pvargSrc) return S_OK;
  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  if (pvargSrc->vt & VT_BYREF) {  // a reference is copied as the reference
    *pvargDest = *pvargSrc;
    return S_OK;
  }
  return CopyValue(pvargDest, pvargSrc);
}

HRESULT WINAPI VariantCopyInd(VARIANT *pvarDest, const VARIANTARG *pvargSrc) {
  if (!pvarDest || !pvargSrc) return E_INVALIDARG;
  if (!IsValidType(pvargSrc->vt)) return DISP_E_BADVARTYPE;
  if (!(pvargSrc->vt & VT_BYREF)) return VariantCopy(pvarDest, pvargSrc);
  VARIANT plain, copy;
  HRESULT hr = Dereference(pvargSrc, &plain);
  if (SUCCEEDED(hr)) hr = CopyValue(&copy, &plain);
  if (FAILED(hr)) return hr;
  // The destination may be the source itself: it is replaced only now.
  hr = VariantClear(pvarDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvarDest = copy;
  return S_OK;
}

HRESULT WINAPI VariantChangeTypeEx(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, LCID lcid, USHORT wFlags,
                                   VARTYPE vt) {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  if (!IsValidType(pvarSrc->vt)) return DISP_E_BADVARTYPE;
  // Known types that no value converts to: a variant is no value of its own,
  // and this layer holds no records.
  if ((vt & ~VT_BYREF) == VT_VARIANT || (vt & ~VT_BYREF) == VT_RECORD) return DISP_E_TYPEMISMATCH;
  if (!IsValidType(vt & ~VT_BYREF)) return DISP_E_BADVARTYPE;
  if (vt & VT_BYREF) return DISP_E_TYPEMISMATCH;  // a conversion makes a value, not a reference
  if ((pvarSrc->vt & VT_BYREF) && !pvarSrc->byref) return DISP_E_TYPEMISMATCH;  // nothing to read
  VARIANT plain, result;
  HRESULT hr = Dereference(pvarSrc, &plain);
  if (FAILED(hr)) return hr;
  hr = Convert(plain, lcid, wFlags, vt, &result);
  if (FAILED(hr)) return hr;
  // Only now is the destination (possibly the source) given up.
  hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *pvargDest = result;
  return S_OK;
}

HRESULT WINAPI VariantChangeType(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, USHORT wFlags, VARTYPE vt) {
  return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

// ---------------------------------------------------------------------------
// The Var<To>From<From> conversions and string helpers: each is the one
// conversion above between two by-value variants.

namespace {

template <typename T>
VARIANT Holding(VARTYPE vt, const T &value) {
  VARIANT v;
  VariantInit(&v);
  v.llVal = 0;
  memcpy(&v.llVal, &value, sizeof value);  // every scalar member starts here
  v.vt = vt;
  return v;
}

VARIANT HoldingDecimal(const DECIMAL *d) {
  VARIANT v;
  v.decVal = *d;  // overlays vt, so set it after
  v.vt = VT_DECIMAL;
  return v;
}

template <typename T>
HRESULT ConvertTo(const VARIANT &src, LCID lcid, ULONG flags, VARTYPE vt, T *out) {
  if (!out) return E_INVALIDARG;
  VARIANT result;
  HRESULT hr = Convert(src, lcid, static_cast<USHORT>(flags), vt, &result);
  if (FAILED(hr)) return hr;
  memcpy(out, &result.llVal, sizeof *out);  // a string's ownership passes to *out
  return S_OK;
}

}  // namespace

#define PLATFORM_DEFINE_VAR_FROM(T, Y)                                                         \
  HRESULT WINAPI Var##T##From##Y(PLATFORM_CTYPE_##Y in, PLATFORM_CTYPE_##T *out) {              \
    return ConvertTo(Holding(kVt##Y, in), LOCALE_USER_DEFAULT, 0, kVt##T, out);                 \
  }
#define PLATFORM_DEFINE_VAR_TO(T, C, V)                                                        \
  PLATFORM_VAR_FROM_##T(PLATFORM_DEFINE_VAR_FROM, T)                                            \
  HRESULT WINAPI Var##T##FromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, C *out) {          \
    BSTR text = nullptr;                                                                        \
    if (strIn && !(text = SysAllocString(strIn))) return E_OUTOFMEMORY;                         \
    HRESULT hr = ConvertTo(Holding(VT_BSTR, text), lcid, dwFlags, V, out);                      \
    SysFreeString(text);                                                                        \
    return hr;                                                                                  \
  }                                                                                             \
  HRESULT WINAPI Var##T##FromDisp(IDispatch *pdispIn, LCID lcid, C *out) {                      \
    return ConvertTo(Holding(VT_DISPATCH, pdispIn), lcid, 0, V, out);                           \
  }                                                                                             \
  HRESULT WINAPI Var##T##FromDec(const DECIMAL *pdecIn, C *out) {                               \
    if (!pdecIn) return E_INVALIDARG;                                                           \
    return ConvertTo(HoldingDecimal(pdecIn), LOCALE_USER_DEFAULT, 0, V, out);                   \
  }

namespace {
#define PLATFORM_VT_CONSTANT(T, C, V) constexpr VARTYPE kVt##T = V;
PLATFORM_VAR_TYPES(PLATFORM_VT_CONSTANT)
}  // namespace

PLATFORM_VAR_TYPES(PLATFORM_DEFINE_VAR_TO)

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
