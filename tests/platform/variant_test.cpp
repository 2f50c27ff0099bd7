// VARIANT lifetime, copies and conversions, as automation clients see them.
#include <oleauto.h>

#include <string>

#include "conformance.h"

namespace {

// An object whose default member (DISPID_VALUE) reads as a number.
class ValueObject : public IDispatch {
 public:
  explicit ValueObject(LONG value) : value_(value) {}
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }  // lives on the stack
  STDMETHODIMP GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override {
    ++invokes;
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET) || params->cArgs != 0) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_I4;
    result->lVal = value_;
    return S_OK;
  }
  ULONG refs = 1;
  int invokes = 0;

 private:
  LONG value_;
};

// An object that has only IUnknown.
class PlainObject : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    *ppv = riid == IID_IUnknown ? this : nullptr;
    if (*ppv) AddRef();
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
};

VARIANT I4(LONG v) {
  VARIANT x;
  x.vt = VT_I4;
  x.lVal = v;
  return x;
}
VARIANT R8(double v) {
  VARIANT x;
  x.vt = VT_R8;
  x.dblVal = v;
  return x;
}
VARIANT Text(const OLECHAR *s) {
  VARIANT x;
  x.vt = VT_BSTR;
  x.bstrVal = SysAllocString(s);
  return x;
}

// Converts and returns the result as text, or the failing HRESULT.
std::string As(VARIANT src, VARTYPE vt, USHORT flags = 0) {
  VARIANT out;
  VariantInit(&out);
  HRESULT hr = VariantChangeType(&out, &src, flags, vt);
  std::string s;
  char buf[64];
  if (FAILED(hr)) {
    snprintf(buf, sizeof buf, "hr=%08x", static_cast<unsigned>(hr));
    s = buf;
  } else if (out.vt != vt) {
    snprintf(buf, sizeof buf, "vt=%u", out.vt);
    s = buf;
  } else {
    switch (vt) {
      case VT_BSTR: s = "\"" + Narrow(out.bstrVal) + "\""; break;
      case VT_I2: s = std::to_string(out.iVal); break;
      case VT_I4: s = std::to_string(out.lVal); break;
      case VT_UI4: s = std::to_string(out.ulVal); break;
      case VT_I8: s = std::to_string(out.llVal); break;
      case VT_BOOL: s = out.boolVal == VARIANT_TRUE ? "true" : out.boolVal == VARIANT_FALSE ? "false" : "bad"; break;
      case VT_R8: snprintf(buf, sizeof buf, "%.17g", out.dblVal); s = buf; break;
      default: s = "?";
    }
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
  EXPECT_EQ(As(I4(-1), VT_UI4), kOverflow);
  EXPECT_EQ(As(R8(2.5), VT_I4), "2");
  EXPECT_EQ(As(R8(3.5), VT_I4), "4");
  EXPECT_EQ(As(R8(-2.5), VT_I4), "-2");
  EXPECT_EQ(As(R8(2147483647.4), VT_I4), "2147483647");
  EXPECT_EQ(As(R8(2147483647.5), VT_I4), kOverflow);
  EXPECT_EQ(As(R8(9223372036854775808.0), VT_I8), kOverflow);
  VARIANT big;
  big.vt = VT_I8;
  big.llVal = 0x7FFFFFFFFFFFFFFFll;
  EXPECT_EQ(As(big, VT_I8), "9223372036854775807");
  EXPECT_EQ(As(big, VT_I4), kOverflow);
  EXPECT_EQ(As(I4(0), VT_BOOL), "false");
  EXPECT_EQ(As(R8(0.5), VT_BOOL), "true");
  VARIANT b;
  b.vt = VT_BOOL;
  b.boolVal = VARIANT_TRUE;
  EXPECT_EQ(As(b, VT_I4), "-1");
  VARIANT empty;
  VariantInit(&empty);
  EXPECT_EQ(As(empty, VT_I4), "0");
  EXPECT_EQ(As(empty, VT_BSTR), "\"\"");
  VARIANT null;
  null.vt = VT_NULL;
  EXPECT_EQ(As(null, VT_I4), kMismatch);
  EXPECT_EQ(As(null, VT_BSTR), kMismatch);
  VARIANT error;
  error.vt = VT_ERROR;
  error.scode = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ(As(error, VT_BSTR), kMismatch);
}

TEST(Variant, TextInTheInvariantFormat) {
  EXPECT_EQ(As(I4(-123), VT_BSTR), "\"-123\"");
  EXPECT_EQ(As(R8(1.5), VT_BSTR), "\"1.5\"");
  EXPECT_EQ(As(R8(0.1), VT_BSTR), "\"0.1\"");
  EXPECT_EQ(As(R8(1.0 / 3), VT_BSTR), "\"0.333333333333333\"");
  EXPECT_EQ(As(R8(1e20), VT_BSTR), "\"1E+20\"");
  EXPECT_EQ(As(R8(123456789012345.0), VT_BSTR), "\"123456789012345\"");
  VARIANT t;
  t.vt = VT_BOOL;
  t.boolVal = VARIANT_TRUE;
  EXPECT_EQ(As(t, VT_BSTR), "\"-1\"");
  EXPECT_EQ(As(t, VT_BSTR, VARIANT_ALPHABOOL), "\"True\"");
  t.boolVal = VARIANT_FALSE;
  EXPECT_EQ(As(t, VT_BSTR, VARIANT_ALPHABOOL), "\"False\"");

  EXPECT_EQ(As(Text(W(" 42 ")), VT_I4), "42");
  EXPECT_EQ(As(Text(W("-1,234")), VT_I4), "-1234");
  EXPECT_EQ(As(Text(W("2.5")), VT_I4), "2");
  EXPECT_EQ(As(Text(W("1.5E3")), VT_I4), "1500");
  EXPECT_EQ(As(Text(W("&H1F")), VT_I4), "31");
  EXPECT_EQ(As(Text(W("0.1")), VT_R8), "0.10000000000000001");
  EXPECT_EQ(As(Text(W("9223372036854775807")), VT_I8), "9223372036854775807");
  EXPECT_EQ(As(Text(W("99999")), VT_I2), kOverflow);
  EXPECT_EQ(As(Text(W("")), VT_I4), kMismatch);
  EXPECT_EQ(As(Text(W("12abc")), VT_I4), kMismatch);
  EXPECT_EQ(As(Text(W("true")), VT_BOOL), "true");
  EXPECT_EQ(As(Text(W("False")), VT_BOOL), "false");
  EXPECT_EQ(As(Text(W("0")), VT_BOOL), "false");
  EXPECT_EQ(As(Text(W("yes")), VT_BOOL), kMismatch);
  EXPECT_EQ(As(Text(W("text")), VT_DISPATCH), kMismatch);
}

TEST(Variant, ClearCopyAndReferences) {
  PlainObject object;
  VARIANT a, b;
  a.vt = VT_UNKNOWN;
  a.punkVal = &object;
  object.AddRef();
  VariantInit(&b);
  EXPECT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_EQ(object.refs, 3u) << "a copy holds its own reference";
  EXPECT_EQ(VariantClear(&b), S_OK);
  EXPECT_EQ(b.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(object.refs, 1u);

  a = Text(W("deep"));
  b = Text(W("old"));  // VariantCopy frees what the destination held
  EXPECT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_NE(a.bstrVal, b.bstrVal);
  EXPECT_EQ(Narrow(b.bstrVal), "deep");
  VariantClear(&b);

  // VariantCopyInd follows a reference; in place too.
  VARIANT ref;
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &a.bstrVal;
  EXPECT_EQ(VariantCopyInd(&b, &ref), S_OK);
  EXPECT_EQ(b.vt, VT_BSTR);
  EXPECT_NE(b.bstrVal, a.bstrVal);
  EXPECT_EQ(Narrow(b.bstrVal), "deep");
  VariantClear(&b);
  EXPECT_EQ(VariantCopyInd(&ref, &ref), S_OK);
  EXPECT_EQ(ref.vt, VT_BSTR);
  VariantClear(&ref);
  VARIANT inner = I4(5), outer;
  outer.vt = VT_VARIANT | VT_BYREF;
  outer.pvarVal = &inner;
  EXPECT_EQ(VariantCopyInd(&b, &outer), S_OK);
  EXPECT_EQ(b.vt, VT_I4);
  EXPECT_EQ(b.lVal, 5);
  EXPECT_EQ(As(outer, VT_BSTR), "\"5\"") << "conversions follow references";
  VariantClear(&a);

  VARIANT bad;
  bad.vt = 0x7F;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(bad.vt, 0x7F) << "left alone";
  EXPECT_EQ(VariantCopy(&b, &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantChangeType(&b, &bad, 0, VT_I4), DISP_E_BADVARTYPE);
  a = I4(1);
  EXPECT_EQ(VariantChangeType(&b, &a, 0, 0x7F), DISP_E_BADVARTYPE);
}

TEST(Variant, InPlaceConversionAndFailureLeavesDestination) {
  VARIANT v = Text(W("1234"));
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 1234);
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Narrow(v.bstrVal), "1234");
  VARIANT src = Text(W("nope")), dest = I4(99);
  EXPECT_EQ(VariantChangeType(&dest, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dest.vt, VT_I4);
  EXPECT_EQ(dest.lVal, 99);
  VariantClear(&src);
  VariantClear(&v);
}

TEST(Variant, ObjectsGiveTheirValueOrInterface) {
  ValueObject object(17);
  VARIANT d;
  d.vt = VT_DISPATCH;
  d.pdispVal = &object;
  VARIANT out;
  VariantInit(&out);
  EXPECT_EQ(VariantChangeType(&out, &d, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Narrow(out.bstrVal), "17");
  EXPECT_EQ(object.invokes, 1);
  VariantClear(&out);
  EXPECT_EQ(VariantChangeType(&out, &d, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(object.invokes, 1);

  VARIANT u;
  u.vt = VT_UNKNOWN;
  u.punkVal = &object;
  EXPECT_EQ(VariantChangeType(&out, &u, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(out.vt, VT_DISPATCH);
  EXPECT_EQ(out.pdispVal, &object);
  EXPECT_EQ(object.refs, 2u);
  VariantClear(&out);
  EXPECT_EQ(object.refs, 1u);

  PlainObject plain;
  u.punkVal = &plain;
  EXPECT_TRUE(FAILED(VariantChangeType(&out, &u, 0, VT_DISPATCH)));
  EXPECT_EQ(plain.refs, 1u);
}
