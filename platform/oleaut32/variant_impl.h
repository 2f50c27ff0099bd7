// What the VARIANT conversions (variant.cpp) and their text forms
// (variant_text.cpp) share.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <string.h>

namespace platform {

// variant.cpp: the conversion of a by-value variant to another type, and of
// a number to a numeric type with its range checked.
HRESULT Convert(const VARIANT &v, LCID lcid, USHORT flags, VARTYPE vt, VARIANT *out);
HRESULT NumberToType(long double x, VARTYPE vt, VARIANT *out);

// variant_text.cpp: text in the format of the locale `lcid`.
HRESULT ToText(const VARIANT &v, LCID lcid, USHORT flags, VARIANT *out);
HRESULT TextToType(BSTR text, LCID lcid, ULONG flags, VARTYPE vt, VARIANT *out);

#define PLATFORM_VT_CONSTANT(T, C, V) constexpr VARTYPE kVt##T = V;
PLATFORM_VAR_TYPES(PLATFORM_VT_CONSTANT)
#undef PLATFORM_VT_CONSTANT

template <typename T>
VARIANT Holding(VARTYPE vt, const T &value) {
  VARIANT v;
  VariantInit(&v);
  v.llVal = 0;
  memcpy(&v.llVal, &value, sizeof value);  // every scalar member starts here
  v.vt = vt;
  return v;
}

inline VARIANT HoldingDecimal(const DECIMAL *d) {
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

}  // namespace platform
