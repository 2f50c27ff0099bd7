// VARIANT numbers: the named Var<To>From<From> conversions, decimals, and
// what empty, null and error values convert to.
#include <windows.h>

#include <oleauto.h>
#include <string.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "conformance.h"

namespace {

std::string Failed(HRESULT hr) {
  char buf[16];
  snprintf(buf, sizeof buf, "hr=%08x", static_cast<unsigned>(hr));
  return buf;
}

// A decimal's fields as scale/sign/Hi32/Lo64, the sign in hexadecimal.
std::string Fields(const DECIMAL &d) {
  char buf[80];
  snprintf(buf, sizeof buf, "%u/%x/%lu/%llu", d.scale, d.sign, static_cast<unsigned long>(d.Hi32),
           static_cast<unsigned long long>(d.Lo64));
  return buf;
}

DECIMAL Dec(BYTE scale, BYTE sign, ULONG hi, ULONGLONG lo) {
  DECIMAL d = {};
  d.scale = scale;
  d.sign = sign;
  d.Hi32 = hi;
  d.Lo64 = lo;
  return d;
}

// What a named conversion gave, or the HRESULT it failed with.
template <typename In, typename Out>
std::string Named(HRESULT(WINAPI *convert)(In, Out *), std::type_identity_t<In> in) {
  Out out = {};
  HRESULT hr = convert(in, &out);
  if (FAILED(hr)) return Failed(hr);
  if constexpr (std::is_same_v<Out, DECIMAL>) {
    return Fields(out);
  } else if constexpr (std::is_same_v<Out, CY>) {
    return std::to_string(out.int64);
  } else if constexpr (std::is_floating_point_v<Out>) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.15g", static_cast<double>(out));
    return buf;
  } else {
    return std::to_string(out);
  }
}

template <typename T>
VARIANT Make(VARTYPE vt, T value) {
  VARIANT x;
  x.vt = vt;
  x.llVal = 0;
  memcpy(&x.llVal, &value, sizeof value);
  return x;
}

VARIANT MakeDecimal(const DECIMAL &d) {
  VARIANT v;
  v.decVal = d;  // overlays vt, so set it after
  v.vt = VT_DECIMAL;
  return v;
}

// The bytes of a variant's value; the rest of its 8 may be anything.
size_t ValueBytes(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
      return 4;
    default:
      return 8;
  }
}

CY Currency(LONGLONG scaled) {
  CY c;
  c.int64 = scaled;
  return c;
}

// An IDispatch on the stack whose default member reads as the byte 34, or
// fails as an object out of memory would.
class Valued : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    *ppv = riid == IID_IUnknown || riid == IID_IDispatch ? this : nullptr;
    if (*ppv) AddRef();
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override {
    ++invokes;
    if (id != DISPID_VALUE || !(riid == IID_NULL) || flags != DISPATCH_PROPERTYGET || params->cArgs != 0 ||
        params->cNamedArgs != 0 || !result || result->vt != VT_EMPTY) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (fail) return E_OUTOFMEMORY;
    result->vt = VT_UI1;
    result->bVal = 34;
    return S_OK;
  }
  ULONG refs = 1;
  int invokes = 0;
  bool fail = false;
};

}  // namespace

TEST(VariantNumeric, NamedConversionsCheckRangeBetweenSignedAndUnsigned) {
  EXPECT_EQ(Named(VarI1FromUI1, 200), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarI1FromUI1, 127), "127");
  EXPECT_EQ(Named(VarUI1FromI1, -1), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarI2FromUI2, 40000), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarUI2FromI2, -1), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarI4FromUI4, 0x80000000u), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarUI4FromI4, -1), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarUI4FromI4, 0x7FFFFFFF), "2147483647");
  EXPECT_EQ(Named(VarI8FromUI8, 0x8000000000000000ull), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarUI8FromI8, -1), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarUI8FromI8, INT64_MAX), "9223372036854775807");
  // VariantChangeType keeps the bits between those same pairs.
  VARIANT src = Make(VT_UI1, static_cast<BYTE>(200)), out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &src, 0, VT_I1), S_OK);
  EXPECT_EQ(static_cast<int>(out.cVal), -56);
  // A currency holds 922337203685477.5807 at most.
  EXPECT_EQ_OR_WINE("9223372036854770000", Failed(DISP_E_OVERFLOW), Named(VarCyFromI8, 922337203685477),
                    "Wine overflows short of the largest currency");
  EXPECT_EQ(Named(VarCyFromI8, 922337203685478), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarCyFromI8, -922337203685478), Failed(DISP_E_OVERFLOW));
}

TEST(VariantNumeric, NamedConversionsRoundHalfToEven) {
  EXPECT_EQ(Named(VarI1FromR8, -0.5), "0");
  EXPECT_EQ(Named(VarI1FromR8, -1.5), "-2");
  EXPECT_EQ(Named(VarI1FromR8, 2.5), "2");
  EXPECT_EQ(Named(VarUI1FromR4, -0.5f), "0");
  EXPECT_EQ(Named(VarUI1FromR4, -0.6f), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarI4FromCy, Currency(25000)), "2");
  EXPECT_EQ(Named(VarI4FromCy, Currency(35000)), "4");
  EXPECT_EQ(Named(VarUI2FromDate, 65535.5), Failed(DISP_E_OVERFLOW));
  // The double's exact value decides: 0.00005 is a little more, 0.00015 a little less.
  EXPECT_EQ(Named(VarCyFromR8, 0.00005), "1");
  EXPECT_EQ(Named(VarCyFromR8, 0.00015), "1");
}

TEST(VariantNumeric, DecimalsFromEveryNumericType) {
  EXPECT_EQ(Named(VarDecFromI1, -5), "0/80/0/5");
  EXPECT_EQ(Named(VarDecFromUI1, 255), "0/0/0/255");
  EXPECT_EQ(Named(VarDecFromI2, -32768), "0/80/0/32768");
  EXPECT_EQ(Named(VarDecFromUI2, 65535), "0/0/0/65535");
  EXPECT_EQ(Named(VarDecFromI4, -2147483647 - 1), "0/80/0/2147483648");
  EXPECT_EQ(Named(VarDecFromUI4, 4294967295u), "0/0/0/4294967295");
  EXPECT_EQ(Named(VarDecFromI8, INT64_MIN), "0/80/0/9223372036854775808");
  EXPECT_EQ(Named(VarDecFromUI8, UINT64_MAX), "0/0/0/18446744073709551615");
  EXPECT_EQ(Named(VarDecFromBool, VARIANT_TRUE), "0/80/0/1");
  EXPECT_EQ(Named(VarDecFromBool, VARIANT_FALSE), "0/0/0/0");
  // Currency keeps its four decimal places, trailing zeros and all.
  EXPECT_EQ(Named(VarDecFromCy, Currency(-10000)), "4/80/0/10000");
  EXPECT_EQ(Named(VarDecFromCy, Currency(5000)), "4/0/0/5000");
  // A double gives the fewest digits that read back as it, a float seven.
  EXPECT_EQ(Named(VarDecFromR8, 0.1), "1/0/0/1");
  EXPECT_EQ(Named(VarDecFromR8, -0.6), "1/80/0/6");
  EXPECT_EQ(Named(VarDecFromR8, 0.0), "0/0/0/0");
  EXPECT_EQ(Named(VarDecFromR8, 1.0 / 3), "16/0/0/3333333333333333");
  EXPECT_EQ(Named(VarDecFromR8, 123456789012345678.0), "0/0/0/123456789012345680");
  EXPECT_EQ(Named(VarDecFromR8, 1e20), "0/0/5/7766279631452241920");  // 0x5'6BC75E2D63100000
  EXPECT_EQ(Named(VarDecFromR8, 1e29), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarDecFromR4, 0.1f), "1/0/0/1");
  EXPECT_EQ(Named(VarDecFromR4, 1.0f / 3), "7/0/0/3333333");
  EXPECT_EQ(Named(VarDecFromDate, 1.5), "1/0/0/15");
  DECIMAL d = {};
  EXPECT_EQ(VarDecFromStr(OLESTR("-0.5"), 0x409, 0, &d), S_OK);
  EXPECT_EQ(Fields(d), "1/80/0/5");
}

TEST(VariantNumeric, DecimalsToIntegersExactlyAndRoundedHalfToEven) {
  // 9223372036854775807.0 and ...807.5 need 67 bits of mantissa.
  DECIMAL largest = Dec(1, 0, 4, 0xFFFFFFFFFFFFFFF6ull), beyond = Dec(1, 0, 4, 0xFFFFFFFFFFFFFFFBull);
  EXPECT_EQ_OR_WINE("9223372036854775807", Failed(DISP_E_OVERFLOW), Named(VarI8FromDec, &largest),
                    "Wine rounds a scaled decimal through a double");
  EXPECT_EQ(Named(VarI8FromDec, &beyond), Failed(DISP_E_OVERFLOW));
  DECIMAL lowest = Dec(0, 0x80, 0, 0x8000000000000000ull);
  EXPECT_EQ_OR_WINE("-9223372036854775808", Failed(DISP_E_OVERFLOW), Named(VarI8FromDec, &lowest),
                    "Wine refuses the lowest 64-bit integer");
  DECIMAL a = Dec(1, 0, 0, 25), b = Dec(1, 0x80, 0, 35), c = Dec(2, 0x80, 0, 100), d = Dec(2, 0x80, 0, 1);
  EXPECT_EQ(Named(VarI4FromDec, &a), "2");
  EXPECT_EQ(Named(VarI2FromDec, &b), "-4");
  EXPECT_EQ(Named(VarUI1FromDec, &c), Failed(DISP_E_OVERFLOW));
  EXPECT_EQ(Named(VarUI1FromDec, &d), "0") << "-0.01 rounds to zero";
  DECIMAL e = Dec(5, 0, 0, 123456);  // 1.23456
  EXPECT_EQ(Named(VarCyFromDec, &e), "12346");
  EXPECT_EQ(Named(VarR8FromDec, &e), "1.23456");
  EXPECT_EQ(Named(VarBoolFromDec, &e), "-1");
}

TEST(VariantNumeric, MalformedDecimalsAreRefused) {
  const DECIMAL bad[] = {Dec(29, 0, 0, 1), Dec(0, 0x01, 0, 1), Dec(0, 0x7F, 0, 1), Dec(0, 0xFF, 0, 1)};
  for (DECIMAL d : bad) {
    SCOPED_TRACE(Fields(d));
    EXPECT_EQ(Named(VarI4FromDec, &d), Failed(E_INVALIDARG));
    EXPECT_EQ(Named(VarR8FromDec, &d), Failed(E_INVALIDARG));
    EXPECT_EQ(Named(VarBoolFromDec, &d), Failed(E_INVALIDARG));
    VARIANT src = MakeDecimal(d), out = Make(VT_I4, 99);
    EXPECT_EQ(VariantChangeType(&out, &src, 0, VT_I8), E_INVALIDARG);
    EXPECT_EQ(out.vt, VT_I4) << "the destination is kept";
  }
}

TEST(VariantNumeric, EveryNumericTypeGoesToDecimalAndBack) {
  const struct {
    VARIANT value;
    const char *decimal;
  } cases[] = {
      {Make(VT_I1, static_cast<CHAR>(-128)), "0/80/0/128"},
      {Make(VT_UI1, static_cast<BYTE>(255)), "0/0/0/255"},
      {Make(VT_I2, static_cast<SHORT>(-300)), "0/80/0/300"},
      {Make(VT_UI2, static_cast<USHORT>(65535)), "0/0/0/65535"},
      {Make(VT_I4, static_cast<LONG>(-70000)), "0/80/0/70000"},
      {Make(VT_UI4, static_cast<ULONG>(4000000000u)), "0/0/0/4000000000"},
      {Make(VT_INT, static_cast<INT>(-7)), "0/80/0/7"},
      {Make(VT_UINT, static_cast<UINT>(7)), "0/0/0/7"},
      {Make(VT_I8, static_cast<LONGLONG>(-INT64_MAX)), "0/80/0/9223372036854775807"},
      {Make(VT_UI8, static_cast<ULONGLONG>(UINT64_MAX)), "0/0/0/18446744073709551615"},
      {Make(VT_R4, 0.1f), "1/0/0/1"},
      {Make(VT_R8, -2.5), "1/80/0/25"},
      {Make(VT_CY, Currency(12345)), "4/0/0/12345"},
      {Make(VT_BOOL, static_cast<VARIANT_BOOL>(VARIANT_TRUE)), "0/0/0/1"},  // unlike VarDecFromBool
      {Make(VT_DATE, 1.5), "1/0/0/15"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value.vt);
    VARIANT value = c.value, decimal, back;
    VariantInit(&decimal);
    VariantInit(&back);
    ASSERT_EQ(VariantChangeType(&decimal, &value, 0, VT_DECIMAL), S_OK);
    EXPECT_EQ(decimal.vt, VT_DECIMAL);
    EXPECT_EQ(Fields(decimal.decVal), c.decimal);
    ASSERT_EQ(VariantChangeType(&back, &decimal, 0, c.value.vt), S_OK);
    EXPECT_EQ(back.vt, c.value.vt);
    EXPECT_EQ(memcmp(&back.llVal, &c.value.llVal, ValueBytes(back.vt)), 0) << "the same value again";
  }
}

TEST(VariantNumeric, EmptyNullAndErrorFollowTheConversionTable) {
  const VARTYPE types[] = {VT_EMPTY, VT_NULL,     VT_I2,    VT_I4,   VT_R4,      VT_R8,      VT_CY,      VT_DATE,
                           VT_BSTR,  VT_DISPATCH, VT_ERROR, VT_BOOL, VT_VARIANT, VT_UNKNOWN, VT_DECIMAL, VT_I1,
                           VT_UI1,   VT_UI2,      VT_UI4,   VT_I8,   VT_UI8,     VT_INT,     VT_UINT};
  for (VARTYPE vt : types) {
    SCOPED_TRACE(vt);
    // Empty becomes any value type's zero, but no object, error or variant.
    const bool valueType = vt != VT_DISPATCH && vt != VT_UNKNOWN && vt != VT_ERROR && vt != VT_VARIANT;
    VARIANT empty, null = Make(VT_NULL, 0), error = Make(VT_ERROR, DISP_E_PARAMNOTFOUND), out;
    VariantInit(&empty);
    VariantInit(&out);
    EXPECT_EQ(VariantChangeTypeEx(&out, &empty, 0x409, 0, vt), valueType ? S_OK : DISP_E_TYPEMISMATCH);
    if (valueType) {
      EXPECT_EQ(out.vt, vt);
    }
    VariantClear(&out);
    // Null and error codes convert only to themselves, not even to empty.
    EXPECT_EQ(VariantChangeTypeEx(&out, &null, 0x409, 0, vt), vt == VT_NULL ? S_OK : DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeTypeEx(&out, &error, 0x409, 0, vt), vt == VT_ERROR ? S_OK : DISP_E_TYPEMISMATCH);
    VariantClear(&out);
  }
  VARIANT empty, out;
  VariantInit(&empty);
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_DECIMAL), S_OK);
  EXPECT_EQ(Fields(out.decVal), "0/0/0/0");
}

TEST(VariantNumeric, ObjectsConvertThroughTheirDefaultMember) {
  const LCID en = 0x409;
  Valued object;
  BYTE b = 0;
  EXPECT_EQ(VarUI1FromDisp(&object, en, &b), S_OK);
  EXPECT_EQ(b, 34);
  double r = 0;
  EXPECT_EQ(VarR8FromDisp(&object, en, &r), S_OK);
  EXPECT_EQ(r, 34.0);
  DECIMAL d = {};
  EXPECT_EQ(VarDecFromDisp(&object, en, &d), S_OK);
  EXPECT_EQ(Fields(d), "0/0/0/34");
  EXPECT_EQ(object.invokes, 3) << "each asked with no arguments for its value";
  // An object that cannot give its value has none to convert; nothing is written.
  object.fail = true;
  b = 10;
  EXPECT_EQ(VarUI1FromDisp(&object, en, &b), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(b, 10);
  LONG l = 10;
  EXPECT_EQ(VarI4FromDisp(&object, en, &l), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(l, 10);
  EXPECT_EQ(object.refs, 1u) << "no reference leaked";
}
