// VARIANT lifetime, copies and conversions, as automation clients see them.
#include <windows.h>

#include <oleauto.h>
#include <string.h>

#include <string>

#include "conformance.h"

namespace {

// A stack object counting its references; with `dispatch` it is also an
// IDispatch whose default member (DISPID_VALUE) reads as 17.
class Object : public IDispatch {
 public:
  explicit Object(bool dispatch) : m_dispatch(dispatch) {}
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    *ppv = riid == IID_IUnknown || (m_dispatch && riid == IID_IDispatch) ? this : nullptr;
    if (*ppv) AddRef();
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override {
    ++invokes;
    if (id != DISPID_VALUE || flags != DISPATCH_PROPERTYGET || params->cArgs != 0) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_I4;
    result->lVal = 17;
    return S_OK;
  }
  ULONG refs = 1;
  int invokes = 0;

 private:
  bool m_dispatch;
};

template <typename T>
VARIANT Make(VARTYPE vt, T value) {
  VARIANT x;
  x.vt = vt;
  x.llVal = 0;
  memcpy(&x.llVal, &value, sizeof value);
  return x;
}
VARIANT I4(LONG v) { return Make(VT_I4, v); }
VARIANT R8(double v) { return Make(VT_R8, v); }
VARIANT Bool(bool v) { return Make(VT_BOOL, static_cast<VARIANT_BOOL>(v ? VARIANT_TRUE : VARIANT_FALSE)); }
VARIANT Text(const OLECHAR *s) { return Make(VT_BSTR, SysAllocString(s)); }

// Converts (consuming `src`) and shows the result, or the failing HRESULT.
std::string As(VARIANT src, VARTYPE vt, USHORT flags = 0) {
  VARIANT out;
  VariantInit(&out);
  HRESULT hr = VariantChangeType(&out, &src, flags, vt);
  char buf[64];
  if (FAILED(hr)) snprintf(buf, sizeof buf, "hr=%08x", static_cast<unsigned>(hr));
  else if (out.vt != vt) snprintf(buf, sizeof buf, "vt=%u", out.vt);
  else if (vt == VT_BOOL) snprintf(buf, sizeof buf, "bool=%d", out.boolVal);
  else if (vt == VT_R8) snprintf(buf, sizeof buf, "%.17g", out.dblVal);
  else if (vt == VT_I8) snprintf(buf, sizeof buf, "%lld", static_cast<long long>(out.llVal));
  else if (vt == VT_I2) snprintf(buf, sizeof buf, "%d", out.iVal);
  else if (vt == VT_I4) snprintf(buf, sizeof buf, "%d", static_cast<int>(out.lVal));
  else if (vt == VT_UI4) snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(out.ulVal));
  else if (vt == VT_UI1) snprintf(buf, sizeof buf, "%u", out.bVal);
  else snprintf(buf, sizeof buf, "vt=%u", out.vt);
  std::string s = buf;
  if (vt == VT_BSTR && SUCCEEDED(hr)) {
    s = "\"";  // appended piecewise: GCC 12 warns falsely on "literal" + string&&
    s += Printable(out.bstrVal);
    s += '"';
  }
  VariantClear(&out);
  VariantClear(&src);
  return s;
}

const std::string kMismatch = "hr=80020005", kOverflow = "hr=8002000a";

}  // namespace

TEST(Variant, NumbersConvertWithRangeChecksAndEvenRounding) {
  EXPECT_EQ(As(I4(40000), VT_I2), kOverflow);
  EXPECT_EQ(As(I4(-32768), VT_I2), "-32768");
  // Between signed and unsigned of one width the bits are kept; across widths the range counts.
  EXPECT_EQ(As(I4(-1), VT_UI4), "4294967295");
  EXPECT_EQ(As(Make(VT_UI4, 0xFFFFFFFFu), VT_I4), "-1");
  EXPECT_EQ(As(Make(VT_I1, static_cast<CHAR>(-1)), VT_UI1), "255");
  EXPECT_EQ(As(Make(VT_I2, static_cast<SHORT>(-1)), VT_UI4), kOverflow);
  // An error code is no number: nothing converts into or out of VT_ERROR, and
  // VT_HRESULT is no variant type at all.
  EXPECT_EQ(As(I4(5), VT_ERROR), kMismatch);
  EXPECT_EQ(As(Make(VT_ERROR, E_FAIL), VT_I4), kMismatch);
  EXPECT_EQ(As(I4(5), VT_HRESULT), "hr=80020008");
  EXPECT_EQ(As(Make(VT_ERROR, E_FAIL), VT_HRESULT), "hr=80020008");
  EXPECT_EQ(As(R8(2.5), VT_I4), "2");
  EXPECT_EQ(As(R8(3.5), VT_I4), "4");
  EXPECT_EQ(As(R8(-2.5), VT_I4), "-2");
  EXPECT_EQ(As(R8(2147483647.5), VT_I4), kOverflow);
  EXPECT_EQ(As(R8(9223372036854775808.0), VT_I8), kOverflow);
  EXPECT_EQ(As(Make(VT_I8, 0x7FFFFFFFFFFFFFFFll), VT_I4), kOverflow);
  EXPECT_EQ(As(R8(0.5), VT_BOOL), "bool=-1");
  EXPECT_EQ(As(Bool(true), VT_I4), "-1");
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(As(empty, VT_I4), "0");
  EXPECT_EQ(As(empty, VT_BSTR), "\"\"");
  EXPECT_EQ(As(Make(VT_NULL, 0), VT_I4), kMismatch);
  EXPECT_EQ(As(Make(VT_NULL, 0), VT_BSTR), kMismatch);
  EXPECT_EQ(As(Make(VT_ERROR, DISP_E_PARAMNOTFOUND), VT_BSTR), kMismatch);
}

TEST(Variant, TextInTheInvariantFormat) {
  EXPECT_EQ(As(I4(-123), VT_BSTR), "\"-123\"");
  EXPECT_EQ(As(R8(0.1), VT_BSTR), "\"0.1\"");
  EXPECT_EQ(As(R8(1.0 / 3), VT_BSTR), "\"0.333333333333333\"");
  EXPECT_EQ(As(R8(1e20), VT_BSTR), "\"1E+20\"");
  EXPECT_EQ(As(R8(123456789012345.0), VT_BSTR), "\"123456789012345\"");
  EXPECT_EQ(As(Bool(true), VT_BSTR), "\"-1\"");
  EXPECT_EQ(As(Bool(true), VT_BSTR, VARIANT_ALPHABOOL), "\"True\"");
  EXPECT_EQ(As(Bool(false), VT_BSTR, VARIANT_ALPHABOOL), "\"False\"");

  EXPECT_EQ(As(Text(OLESTR(" 42 ")), VT_I4), "42");
  EXPECT_EQ(As(Text(OLESTR("-1,234")), VT_I4), "-1234");
  EXPECT_EQ(As(Text(OLESTR("2.5")), VT_I4), "2");
  EXPECT_EQ(As(Text(OLESTR("1.5E3")), VT_I4), "1500");
  EXPECT_EQ(As(Text(OLESTR("&H1F")), VT_I4), "31");
  EXPECT_EQ(As(Text(OLESTR("0.1")), VT_R8), "0.10000000000000001");
  EXPECT_EQ(As(Text(OLESTR("9223372036854775807")), VT_I8), "9223372036854775807");
  EXPECT_EQ(As(Text(OLESTR("99999")), VT_I2), kOverflow);
  EXPECT_EQ(As(Text(OLESTR("")), VT_I4), kMismatch);
  EXPECT_EQ(As(Text(OLESTR("12abc")), VT_I4), kMismatch);
  EXPECT_EQ(As(Text(OLESTR("true")), VT_BOOL), "bool=-1");
  EXPECT_EQ(As(Text(OLESTR("0")), VT_BOOL), "bool=0");
  EXPECT_EQ(As(Text(OLESTR("yes")), VT_BOOL), kMismatch);
  EXPECT_EQ(As(Text(OLESTR("text")), VT_DISPATCH), kMismatch);
}

TEST(Variant, ClearCopyAndReferences) {
  Object object(false);
  VARIANT a = Make(VT_UNKNOWN, static_cast<IUnknown *>(&object)), b = Text(OLESTR("old"));
  object.AddRef();
  EXPECT_EQ(VariantCopy(&b, &a), S_OK) << "frees the old string (leak check)";
  EXPECT_EQ(object.refs, 3u) << "a copy holds its own reference";
  EXPECT_EQ(VariantClear(&b), S_OK);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(a.vt, VT_EMPTY);
  EXPECT_EQ(object.refs, 1u);

  // VariantCopyInd copies what a reference points at, in place too.
  a = Text(OLESTR("deep"));
  VARIANT ref = Make(VT_BSTR | VT_BYREF, &a.bstrVal);
  EXPECT_EQ(VariantCopyInd(&ref, &ref), S_OK);
  EXPECT_EQ(ref.vt, VT_BSTR);
  EXPECT_NE(ref.bstrVal, a.bstrVal);
  EXPECT_EQ(Printable(ref.bstrVal), "deep");
  VariantClear(&ref);
  VariantClear(&a);
  VARIANT inner = I4(5), outer = Make(VT_VARIANT | VT_BYREF, &inner);
  EXPECT_EQ(VariantCopyInd(&b, &outer), S_OK);
  EXPECT_EQ(b.vt, VT_I4);
  EXPECT_EQ(b.lVal, 5);
  EXPECT_EQ(As(outer, VT_BSTR), "\"5\"") << "conversions follow references";

  VARIANT bad = Make(0x7F, 0);
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(bad.vt, 0x7F) << "left alone";
  EXPECT_EQ(VariantCopy(&b, &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(&b, &bad, 0, VT_I4), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(&b, &inner, 0, 0x7F), DISP_E_BADVARTYPE);
}

TEST(Variant, InPlaceConversionAndFailureLeavesDestination) {
  VARIANT v = Text(OLESTR("1234"));
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.lVal, 1234);
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Printable(v.bstrVal), "1234");
  VARIANT src = Text(OLESTR("nope")), dest = I4(99);
  EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dest.vt, VT_I4);
  EXPECT_EQ(dest.lVal, 99);
  VariantClear(&src);
  VariantClear(&v);
}

TEST(Variant, ObjectsGiveTheirValueOrInterface) {
  Object object(true);
  VARIANT d = Make(VT_DISPATCH, static_cast<IDispatch *>(&object));
  object.AddRef();  // for the variant, which As() clears
  EXPECT_EQ(As(d, VT_BSTR), "\"17\"") << "read through DISPID_VALUE";
  object.AddRef();
  EXPECT_EQ(As(d, VT_I4, VARIANT_NOVALUEPROP), kMismatch);
  EXPECT_EQ(object.invokes, 1);
  EXPECT_EQ(object.refs, 1u) << "no reference leaked";

  VARIANT out, u = Make(VT_UNKNOWN, static_cast<IUnknown *>(&object));
  VariantInit(&out);
  EXPECT_EQ(VariantChangeType(&out, &u, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(out.pdispVal, &object);
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&out);
  Object plain(false);
  u.punkVal = &plain;
  EXPECT_TRUE(FAILED(VariantChangeType(&out, &u, 0, VT_DISPATCH))) << "no IDispatch";
  EXPECT_EQ(plain.refs, 1u);
}

TEST(Variant, TargetsEmptyNullBoolBitsAndRefusedTypes) {
  // A value may be dropped to empty or null (a null or an error code may not: see variant_numeric_test.cpp).
  EXPECT_EQ(As(I4(5), VT_EMPTY), "vt=0");
  EXPECT_EQ(As(Text(OLESTR("x")), VT_NULL), "vt=1");
  // A boolean converts by its bits.
  EXPECT_EQ(As(Bool(true), VT_UI1), "255");
  EXPECT_EQ(As(Make(VT_BOOL, static_cast<VARIANT_BOOL>(1)), VT_I4), "1");
  EXPECT_EQ(As(Make(VT_BOOL, static_cast<VARIANT_BOOL>(1)), VT_R8), "1");
  // Known types no value converts to, and a reference to nothing.
  EXPECT_EQ(As(I4(1), VT_VARIANT), kMismatch);
  EXPECT_EQ(As(I4(1), VT_RECORD), kMismatch);
  EXPECT_EQ(As(Make(VT_I4 | VT_BYREF, static_cast<LONG *>(nullptr)), VT_I4), kMismatch);
}

TEST(Variant, VarFromFunctionsShareTheConversions) {
  const LCID en = 0x409;
  LONG l = 0;
  EXPECT_EQ(VarI4FromStr(OLESTR(" -1,234 "), en, 0, &l), S_OK);
  EXPECT_EQ(l, -1234);
  EXPECT_EQ(VarI4FromStr(OLESTR("x"), en, 0, &l), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarI4FromStr(nullptr, en, 0, &l), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarI4FromR8(2.5, &l), S_OK);
  EXPECT_EQ(l, 2) << "even rounding";
  BYTE b = 0;
  EXPECT_EQ(VarUI1FromI4(256, &b), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI1FromBool(VARIANT_TRUE, &b), S_OK);
  EXPECT_EQ(b, 255);
  VARIANT_BOOL flag = 0;
  EXPECT_EQ(VarBoolFromStr(OLESTR("True"), en, 0, &flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  double d = 0;
  EXPECT_EQ(VarR8FromStr(OLESTR("0.5"), en, 0, &d), S_OK);
  EXPECT_EQ(d, 0.5);
  CY cy;
  EXPECT_EQ(VarCyFromI4(3, &cy), S_OK);
  EXPECT_EQ(cy.int64, 30000);
  BSTR s = nullptr;
  EXPECT_EQ(VarBstrFromI4(-7, en, 0, &s), S_OK);
  EXPECT_EQ(Printable(s), "-7");
  SysFreeString(s);
  EXPECT_EQ(VarBstrFromBool(VARIANT_TRUE, en, 0, &s), S_OK);
  EXPECT_EQ(Printable(s), "True") << "spelt out, unlike VariantChangeType";
  SysFreeString(s);
}

TEST(Variant, StringConcatenationAndComparison) {
  BSTR ab = SysAllocString(OLESTR("ab")), out = nullptr;
  EXPECT_EQ(VarBstrCat(ab, nullptr, &out), S_OK);
  EXPECT_EQ(Printable(out), "ab");
  SysFreeString(out);
  // Byte lengths add up.
  BSTR odd = SysAllocStringByteLen("abc", 3), one = SysAllocStringByteLen("d", 1);
  EXPECT_EQ(VarBstrCat(odd, one, &out), S_OK);
  EXPECT_EQ(SysStringByteLen(out), 4u);
  EXPECT_EQ(memcmp(out, "abcd\0\0", 6), 0);
  SysFreeString(out);
  EXPECT_EQ(VarBstrCat(ab, ab, nullptr), E_INVALIDARG);

  const LCID en = 0x409;
  BSTR abc = SysAllocString(OLESTR("abc")), abd = SysAllocString(OLESTR("abd")), upper = SysAllocString(OLESTR("ABC")),
       empty = SysAllocString(OLESTR(""));
  EXPECT_EQ(VarBstrCmp(abc, abd, en, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(abd, abc, en, 0), VARCMP_GT);
  EXPECT_EQ(VarBstrCmp(abc, upper, en, NORM_IGNORECASE), VARCMP_EQ);
  EXPECT_EQ(VarBstrCmp(nullptr, empty, en, 0), VARCMP_EQ) << "null is empty";
  EXPECT_EQ(VarBstrCmp(nullptr, abc, en, 0), VARCMP_LT);
  EXPECT_EQ(VarBstrCmp(abc, nullptr, en, 0), VARCMP_GT);
  for (BSTR x : {ab, odd, one, abc, abd, upper, empty}) SysFreeString(x);
}
