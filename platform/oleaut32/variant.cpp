// VARIANT lifetime, copies and type conversion; the conversions to and from
// text are in variant_text.cpp.
#include <oleauto.h>
#include <string.h>

#include <cfloat>
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

}  // namespace

HRESULT platform::NumberToType(long double x, VARTYPE vt, VARIANT *out) {
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

// ---- the conversion ----

namespace {

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

}  // namespace

HRESULT platform::Convert(const VARIANT &v, LCID lcid, USHORT flags, VARTYPE vt, VARIANT *out) {
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
  if (vt == VT_BSTR) return ToText(v, lcid, flags, out);
  if (v.vt == VT_BSTR) return TextToType(v.bstrVal, lcid, flags, vt, out);
  if (vt == VT_DECIMAL) return DISP_E_TYPEMISMATCH;  // no decimal arithmetic here
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

#define PLATFORM_DEFINE_VAR_FROM(T, Y)                                                         \
  HRESULT WINAPI Var##T##From##Y(PLATFORM_CTYPE_##Y in, PLATFORM_CTYPE_##T *out) {              \
    return ConvertTo(Holding(kVt##Y, in), LOCALE_USER_DEFAULT, 0, kVt##T, out);                 \
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
