// VARIANT lifetime, copies and type conversion; the conversions to and from
// text are in variant_text.cpp.
#include <oleauto.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <winnt.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

#include "oleaut32/variant_impl.h"

using namespace platform;

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

// Bytes of the integer types that VariantChangeType converts between signed
// and unsigned by keeping the bits; across widths the range is checked.
size_t IntegerWidth(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_I8:
    case VT_UI8:
      return 8;
    default:
      return 0;
  }
}

using Mantissa = unsigned __int128;
constexpr BYTE kDecimalNegative = 0x80;
constexpr Mantissa kDecimalMax = (static_cast<Mantissa>(1) << 96) - 1;
constexpr int kDecimalMaxScale = 28;

Mantissa Pow10(int n) {
  Mantissa p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

Mantissa MantissaOf(const DECIMAL &d) { return (static_cast<Mantissa>(d.Hi32) << 64) | d.Lo64; }

bool IsValidDecimal(const DECIMAL &d) {
  return d.scale <= kDecimalMaxScale && (d.sign == 0 || d.sign == kDecimalNegative);
}

// One division, so that the value is rounded once, not once per digit.
long double DecimalValue(const DECIMAL &d) {
  long double value = static_cast<long double>(MantissaOf(d)) / static_cast<long double>(Pow10(d.scale));
  return d.sign == kDecimalNegative ? -value : value;
}

// Drops `digits` decimal digits, rounding half to even.
Mantissa DivideRounded(Mantissa m, int digits) {
  if (digits <= 0) return m;
  const Mantissa p = Pow10(digits);
  Mantissa q = m / p, r = m % p;
  if (r * 2 > p || (r * 2 == p && (q & 1))) ++q;
  return q;
}

// A zero is never negative.
HRESULT MakeDecimal(Mantissa m, int scale, bool negative, DECIMAL *d) {
  if (m > kDecimalMax) return DISP_E_OVERFLOW;
  d->scale = static_cast<BYTE>(scale);
  d->sign = negative && m ? kDecimalNegative : 0;
  d->Hi32 = static_cast<ULONG>(m >> 64);
  d->Lo64 = static_cast<ULONGLONG>(m);
  return S_OK;
}

// A binary floating value as the decimal of its first `digits` significant
// digits (0: the fewest that give the double back), without trailing zeros:
// 0.1 is 0.1, not the 55 digits of the double nearest to it.
HRESULT FloatToDecimal(long double x, int digits, DECIMAL *d) {
  if (!std::isfinite(x)) return DISP_E_OVERFLOW;
  if (x == 0) return MakeDecimal(0, 0, false, d);
  char buf[64];  // d.ddd...e+XX
  if (digits) {
    snprintf(buf, sizeof buf, "%.*Le", digits - 1, std::fabs(x));
  } else {
    *std::to_chars(buf, buf + sizeof buf - 1, std::fabs(static_cast<double>(x)), std::chars_format::scientific).ptr =
        '\0';
  }
  Mantissa m = 0;
  int fractionDigits = 0;
  const char *p = buf;
  for (bool fraction = false; *p != 'e'; ++p) {
    if (*p == '.') {
      fraction = true;
    } else {
      m = m * 10 + static_cast<unsigned>(*p - '0');
      fractionDigits += fraction;
    }
  }
  int exponent = atoi(p + 1) - fractionDigits;
  while (m % 10 == 0) {
    m /= 10;
    ++exponent;
  }
  if (exponent > 0) {
    if (exponent > kDecimalMaxScale + 1 || m > kDecimalMax / Pow10(exponent)) return DISP_E_OVERFLOW;
    m *= Pow10(exponent);
    exponent = 0;
  }
  if (-exponent > kDecimalMaxScale) {
    m = DivideRounded(m, -exponent - kDecimalMaxScale);
    exponent = -kDecimalMaxScale;
  }
  if (m == 0) exponent = 0;
  return MakeDecimal(m, -exponent, x < 0, d);
}

// The decimal times 10^scale as an integer of type T, rounded half to even.
template <typename T>
HRESULT DecimalToInteger(const DECIMAL &d, int scale, T *out) {
  // Scaling up multiplies a 96-bit mantissa by at most 10^4.
  const Mantissa m =
      d.scale > scale ? DivideRounded(MantissaOf(d), d.scale - scale) : MantissaOf(d) * Pow10(scale - d.scale);
  const bool negative = d.sign == kDecimalNegative && m != 0;
  const __int128 lowest = std::numeric_limits<T>::min();
  const Mantissa limit =
      negative ? static_cast<Mantissa>(-lowest) : static_cast<Mantissa>(std::numeric_limits<T>::max());
  if (m > limit) return DISP_E_OVERFLOW;
  *out = static_cast<T>(negative ? -static_cast<__int128>(m) : static_cast<__int128>(m));
  return S_OK;
}

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
    case VT_DECIMAL:
      *x = DecimalValue(v.decVal);
      return true;
    default:
      return false;
  }
}

// Calls `f` with the member of `out` that holds the integer type vt (the
// currency's scaled integer too); false when vt is no such type.
template <typename F>
bool WithIntegerMember(VARTYPE vt, VARIANT *out, F f) {
  switch (vt) {
    case VT_I1:
      f(&out->cVal);
      return true;
    case VT_UI1:
      f(&out->bVal);
      return true;
    case VT_I2:
      f(&out->iVal);
      return true;
    case VT_UI2:
      f(&out->uiVal);
      return true;
    case VT_I4:
      f(&out->lVal);
      return true;
    case VT_INT:
      f(&out->intVal);
      return true;
    case VT_UI4:
      f(&out->ulVal);
      return true;
    case VT_UINT:
      f(&out->uintVal);
      return true;
    case VT_I8:
      f(&out->llVal);
      return true;
    case VT_UI8:
      f(&out->ullVal);
      return true;
    case VT_CY:
      f(&out->cyVal.int64);
      return true;
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

}  // namespace

HRESULT platform::NumberToType(long double x, VARTYPE vt, VARIANT *out) {
  HRESULT hr = S_OK;
  const long double scaled = vt == VT_CY ? x * 10000 : x;
  if (WithIntegerMember(vt, out, [&](auto *member) { hr = ToInteger(scaled, member); })) {
    if (SUCCEEDED(hr)) out->vt = vt;
    return hr;
  }
  switch (vt) {
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
    case VT_DECIMAL:
      // Text comes here as a long double: its first 18 digits are exact.
      hr = FloatToDecimal(x, std::numeric_limits<long double>::digits10, &out->decVal);
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (SUCCEEDED(hr)) out->vt = vt;  // after decVal, which overlays vt
  return hr;
}

namespace {

// Integers and currency convert exactly; a float keeps 7 significant digits,
// a double the fewest that give it back; true is 1 here, unlike VarDecFromBool.
HRESULT ToDecimal(const VARIANT &v, VARIANT *out) {
  HRESULT hr;
  DECIMAL *d = &out->decVal;
  long double x = 0;
  switch (v.vt) {
    case VT_R4:
      hr = FloatToDecimal(v.fltVal, 7, d);
      break;
    case VT_R8:
      hr = FloatToDecimal(v.dblVal, 0, d);
      break;
    case VT_DATE:
      hr = FloatToDecimal(v.date, 0, d);
      break;
    case VT_BOOL:
      hr = MakeDecimal(v.boolVal ? 1 : 0, 0, false, d);
      break;
    case VT_CY: {
      const LONGLONG c = v.cyVal.int64;
      const Mantissa m = c < 0 ? static_cast<Mantissa>(-static_cast<__int128>(c)) : static_cast<Mantissa>(c);
      hr = MakeDecimal(m, 4, c < 0, d);
      break;
    }
    default:
      if (!IntegerWidth(v.vt) && v.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      NumberOf(v, &x);  // exact for every integer type
      hr = MakeDecimal(static_cast<Mantissa>(std::fabs(x)), 0, x < 0, d);
      break;
  }
  if (SUCCEEDED(hr)) out->vt = VT_DECIMAL;
  return hr;
}

// Integer targets are reached exactly, without a detour through binary
// floating point that would round a 96-bit mantissa.
HRESULT FromDecimal(const DECIMAL &d, VARTYPE vt, VARIANT *out) {
  if (!IsValidDecimal(d)) return E_INVALIDARG;
  HRESULT hr = S_OK;
  const int scale = vt == VT_CY ? 4 : 0;
  if (WithIntegerMember(vt, out, [&](auto *member) { hr = DecimalToInteger(d, scale, member); })) {
    if (SUCCEEDED(hr)) out->vt = vt;
    return hr;
  }
  return NumberToType(DecimalValue(d), vt, out);
}

}  // namespace

// ---- the conversion ----

namespace {

// An object's value is its default member (DISPID_VALUE) read as a property.
HRESULT ConvertObject(IDispatch *object, LCID lcid, USHORT flags, VARTYPE vt, VARIANT *out) {
  if (!object || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  // An object that cannot give its value has none to convert, whatever the reason.
  HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  VARIANT plain;
  hr = Dereference(&value, &plain);
  // An object whose value is again an object is not followed further.
  if (SUCCEEDED(hr)) hr = Convert(plain, lcid, flags | VARIANT_NOVALUEPROP, vt, out);
  VariantClear(&value);
  return hr;
}

}  // namespace

HRESULT platform::Convert(const VARIANT &v, LCID lcid, USHORT flags, VARTYPE vt, VARIANT *out) {
  VariantInit(out);
  if (v.vt == vt) return CopyValue(out, &v);
  // Null and error codes are no values to convert, not even to empty; any
  // other value may be dropped to empty or to null.
  if (v.vt == VT_NULL || v.vt == VT_ERROR || vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (vt == VT_EMPTY || vt == VT_NULL) {
    out->vt = vt;
    return S_OK;
  }
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
  if (vt == VT_BSTR) return ToText(v, lcid, flags, out);
  if (v.vt == VT_BSTR) return TextToType(v.bstrVal, lcid, flags, vt, out);
  if (vt == VT_DECIMAL) return ToDecimal(v, out);
  if (v.vt == VT_DECIMAL) return FromDecimal(v.decVal, vt, out);
  long double x;
  if (!NumberOf(v, &x)) return DISP_E_TYPEMISMATCH;
  return NumberToType(x, vt, out);
}

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
// The Var<To>From<From> conversions: each is the one conversion above
// between two by-value variants (those to and from text are in
// variant_text.cpp).

namespace {

// Unlike VariantChangeType, the named conversions check the range between
// signed and unsigned integers of one width too.
template <typename T>
HRESULT ConvertNumber(const VARIANT &src, VARTYPE vt, T *out) {
  const size_t width = IntegerWidth(vt);
  if (!width || width != IntegerWidth(src.vt)) return ConvertTo(src, LOCALE_USER_DEFAULT, 0, vt, out);
  if (!out) return E_INVALIDARG;
  long double x = 0;
  NumberOf(src, &x);  // exact for every integer type
  VARIANT result;
  HRESULT hr = NumberToType(x, vt, &result);
  if (SUCCEEDED(hr)) memcpy(out, &result.llVal, sizeof *out);
  return hr;
}

// The decimal of a variant, its caller's reserved word left alone.
HRESULT ConvertToDecimal(const VARIANT &src, LCID lcid, ULONG flags, DECIMAL *out) {
  if (!out) return E_INVALIDARG;
  VARIANT result;
  HRESULT hr = Convert(src, lcid, static_cast<USHORT>(flags), VT_DECIMAL, &result);
  if (FAILED(hr)) return hr;
  out->signscale = result.decVal.signscale;
  out->Hi32 = result.decVal.Hi32;
  out->Lo64 = result.decVal.Lo64;
  return S_OK;
}

}  // namespace

#define PLATFORM_DEFINE_VAR_FROM(T, Y)                                             \
  HRESULT WINAPI Var##T##From##Y(PLATFORM_CTYPE_##Y in, PLATFORM_CTYPE_##T *out) { \
    return ConvertNumber(Holding(kVt##Y, in), kVt##T, out);                        \
  }
#define PLATFORM_DEFINE_VAR_TO(T, C, V)                                        \
  PLATFORM_VAR_FROM_##T(PLATFORM_DEFINE_VAR_FROM, T)                           \
      HRESULT WINAPI Var##T##FromDisp(IDispatch *pdispIn, LCID lcid, C *out) { \
    return ConvertTo(Holding(VT_DISPATCH, pdispIn), lcid, 0, V, out);          \
  }                                                                            \
  HRESULT WINAPI Var##T##FromDec(const DECIMAL *pdecIn, C *out) {              \
    if (!pdecIn) return E_INVALIDARG;                                          \
    return ConvertTo(HoldingDecimal(pdecIn), LOCALE_USER_DEFAULT, 0, V, out);  \
  }

PLATFORM_VAR_TYPES(PLATFORM_DEFINE_VAR_TO)

HRESULT WINAPI VarDecFromStr(LPCOLESTR strIn, LCID lcid, ULONG dwFlags, DECIMAL *pdecOut) {
  BSTR text = nullptr;
  if (strIn && !(text = SysAllocString(strIn))) return E_OUTOFMEMORY;
  HRESULT hr = ConvertToDecimal(Holding(VT_BSTR, text), lcid, dwFlags, pdecOut);
  SysFreeString(text);
  return hr;
}

HRESULT WINAPI VarDecFromDisp(IDispatch *pdispIn, LCID lcid, DECIMAL *pdecOut) {
  return ConvertToDecimal(Holding(VT_DISPATCH, pdispIn), lcid, 0, pdecOut);
}

// VarDecFromBool makes true -1, as the integer conversions do.
#define PLATFORM_DEFINE_DEC_FROM(T, Y)                                               \
  HRESULT WINAPI VarDecFrom##Y(PLATFORM_CTYPE_##Y in, DECIMAL *pdecOut) {            \
    VARIANT v = Holding(kVt##Y, in);                                                 \
    if (v.vt == VT_BOOL) v = Holding(VT_I2, static_cast<SHORT>(v.boolVal ? -1 : 0)); \
    return ConvertToDecimal(v, LOCALE_USER_DEFAULT, 0, pdecOut);                     \
  }
PLATFORM_VAR_FROM_Dec(PLATFORM_DEFINE_DEC_FROM, Dec)
