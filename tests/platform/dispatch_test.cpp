// Late-bound calls as an automation client makes them: names to DISPIDs,
// Invoke with arguments in reverse order, coercion, results, and the errors
// oleaut32's type-information-driven dispatch gives.
#include <windows.h>

#include <oleauto.h>

#include <string>
#include <thread>
#include <vector>

#include "conformance.h"
#include "fixture_object.h"

#define WIDE_TEXT(s) OLESTR(s)

namespace {

std::string Text(BSTR b) { return b ? Printable(b) : "(null)"; }

VARIANT I4(LONG v) {
  VARIANT r;
  VariantInit(&r);
  V_VT(&r) = VT_I4;
  V_I4(&r) = v;
  return r;
}
VARIANT Str(const WCHAR *s) {
  VARIANT r;
  VariantInit(&r);
  V_VT(&r) = VT_BSTR;
  V_BSTR(&r) = SysAllocString(s);
  return r;
}
VARIANT Bool(bool b) {
  VARIANT r;
  VariantInit(&r);
  V_VT(&r) = VT_BOOL;
  V_BOOL(&r) = b ? VARIANT_TRUE : VARIANT_FALSE;
  return r;
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, LoadTypeLibEx(FixtureFile(WIDE_TEXT(FIXTURE_TLB)).c_str(), REGKIND_NONE, &m_lib));
    IFixture2 *fixture = nullptr;
    ASSERT_EQ(S_OK, CreateFixture(m_lib, &fixture));
    ASSERT_EQ(S_OK, fixture->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&m_disp)));
    fixture->Release();
  }
  void TearDown() override {
    if (m_disp) m_disp->Release();
    if (m_lib) m_lib->Release();
  }

  DISPID Id(const WCHAR *name) {
    LPOLESTR n = const_cast<LPOLESTR>(name);
    DISPID id = kSentinel;
    EXPECT_EQ(S_OK, m_disp->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id)) << Printable(name);
    return id;
  }

  // Calls with the arguments in source order; clears them afterwards.
  HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT *result = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    memset(&m_excep, 0xcc, sizeof m_excep);
    m_argErr = kSentinel;
    if (result) VariantInit(result);
    HRESULT hr = m_disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &m_excep, &m_argErr);
    for (VARIANT &v : reversed) VariantClear(&v);
    return hr;
  }
  HRESULT Call(const WCHAR *name, WORD flags, std::vector<VARIANT> args, VARIANT *result = nullptr) {
    return Call(Id(name), flags, std::move(args), result);
  }

  ITypeLib *m_lib = nullptr;
  IDispatch *m_disp = nullptr;
  EXCEPINFO m_excep;
  UINT m_argErr;
};

TEST_F(Dispatch, ReachesEveryKindOfMemberByName) {
  VARIANT r;
  // A property get, also through DISPATCH_METHOD and the pair scripts pass.
  for (WORD flags : {DISPATCH_PROPERTYGET, DISPATCH_METHOD, DISPATCH_METHOD | DISPATCH_PROPERTYGET}) {
    HRESULT hr = Call(OLESTR("count"), flags, {}, &r);
    // Wine does not reach a property get through DISPATCH_METHOD alone.
    if (RunningUnderWine() && flags == DISPATCH_METHOD && hr == DISP_E_MEMBERNOTFOUND) continue;
    ASSERT_EQ(S_OK, hr) << "flags " << flags;
    EXPECT_EQ(VT_I4, V_VT(&r));
    EXPECT_EQ(3, V_I4(&r));
  }
  // The default member returns an interface pointer as VT_DISPATCH.
  ASSERT_EQ(S_OK, Call(DISPID{DISPID_VALUE}, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {I4(1)}, &r));
  ASSERT_EQ(VT_DISPATCH, V_VT(&r));
  ASSERT_NE(nullptr, V_DISPATCH(&r));
  IDispatch *item = V_DISPATCH(&r);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT name;
  VariantInit(&name);
  ASSERT_EQ(S_OK, item->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &name, nullptr, nullptr));
  EXPECT_EQ(VT_BSTR, V_VT(&name));
  EXPECT_EQ("item1", Text(V_BSTR(&name)));
  VariantClear(&name);
  // ...and the same object passed back in as an interface argument.
  VARIANT itemArg;
  VariantInit(&itemArg);
  ASSERT_EQ(S_OK, VariantCopy(&itemArg, &r));
  VariantClear(&r);
  ASSERT_EQ(S_OK, Call(OLESTR("NameOf"), DISPATCH_METHOD, {itemArg}, &r));
  EXPECT_EQ("item1", Text(V_BSTR(&r)));
  VariantClear(&r);

  // _NewEnum as scripting engines call it; its result is declared IUnknown.
  HRESULT newEnum = Call(DISPID{DISPID_NEWENUM}, DISPATCH_METHOD, {}, &r);
  if (RunningUnderWine() && newEnum == DISP_E_MEMBERNOTFOUND)  // as above: Wine wants the property flag
    newEnum = Call(DISPID{DISPID_NEWENUM}, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &r);
  ASSERT_EQ(S_OK, newEnum);
  EXPECT_EQ(VT_UNKNOWN, V_VT(&r));
  EXPECT_NE(nullptr, V_UNKNOWN(&r));
  VariantClear(&r);

  // A member of the derived interface, and one whose result nobody takes.
  ASSERT_EQ(S_OK, Call(OLESTR("Twice"), DISPATCH_METHOD, {I4(21)}, &r));
  EXPECT_EQ(42, V_I4(&r));
  EXPECT_EQ(S_OK, Call(OLESTR("Describe"), DISPATCH_METHOD, {I4(1), I4(2), Str(OLESTR("x")), Bool(true), I4(1)}, nullptr));

  // A VARIANT parameter receives the argument as is.
  VARIANT dbl;
  VariantInit(&dbl);
  V_VT(&dbl) = VT_R8;
  dbl.dblVal = 2.5;
  ASSERT_EQ(S_OK, Call(OLESTR("Echo"), DISPATCH_METHOD, {dbl}, &r));
  EXPECT_EQ(VT_R8, V_VT(&r));
  EXPECT_EQ(2.5, r.dblVal);
}

TEST_F(Dispatch, CoercesArgumentsToTheDeclaredTypes) {
  VARIANT r;
  // A string to long, a short to unsigned long, a by-reference long to the
  // enumeration, an integer to VARIANT_BOOL.
  LONG color = -5;
  VARIANT byref;
  VariantInit(&byref);
  V_VT(&byref) = VT_BYREF | VT_I4;
  byref.plVal = &color;
  VARIANT shortArg;
  VariantInit(&shortArg);
  V_VT(&shortArg) = VT_I2;
  V_I2(&shortArg) = 7;
  ASSERT_EQ(S_OK, Call(OLESTR("Describe"), DISPATCH_METHOD, {Str(OLESTR("42")), shortArg, Str(OLESTR("abc")), I4(1), byref}, &r));
  EXPECT_EQ(VT_BSTR, V_VT(&r));
  EXPECT_EQ("42|7|abc|-1|-5", Text(V_BSTR(&r)));
  VariantClear(&r);

  // [out] parameters: the caller's BSTR reference, or a VARIANT that receives one.
  BSTR head = nullptr;
  VARIANT out;
  VariantInit(&out);
  V_VT(&out) = VT_BYREF | VT_BSTR;
  out.pbstrVal = &head;
  ASSERT_EQ(S_OK, Call(OLESTR("Split"), DISPATCH_METHOD, {Str(OLESTR("left,right")), out}, &r));
  EXPECT_EQ("left", Text(head));
  EXPECT_EQ("right", Text(V_BSTR(&r)));
  SysFreeString(head);
  VariantClear(&r);
  // A typed pointer parameter takes no VARIANT reference: a script's
  // variables reach a BSTR* parameter as a type mismatch.
  VARIANT target = I4(99);
  V_VT(&out) = VT_BYREF | VT_VARIANT;
  out.pvarVal = &target;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(OLESTR("Split"), DISPATCH_METHOD, {Str(OLESTR("a,b")), out}, &r));
  EXPECT_EQ_OR_WINE(0u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");
  EXPECT_EQ(VT_I4, V_VT(&target));
  EXPECT_EQ(99, V_I4(&target));
}

TEST_F(Dispatch, FailingMemberFillsExcepInfo) {
  const HRESULT code = static_cast<HRESULT>(0x80040201);
  ASSERT_EQ(DISP_E_EXCEPTION, Call(OLESTR("Fail"), DISPATCH_METHOD, {I4(code), Bool(true)}));
  EXPECT_EQ(code, m_excep.scode);
  const BSTR untouched = reinterpret_cast<BSTR>(static_cast<uintptr_t>(0xccccccccccccccccull));
  EXPECT_EQ_OR_WINE(0, 0xcccc, m_excep.wCode, "Wine fills only what it has and leaves the rest of EXCEPINFO as it was");
  EXPECT_EQ(Printable(FIXTURE_ERROR_SOURCE), Text(m_excep.bstrSource));
  EXPECT_EQ(Printable(FIXTURE_ERROR_TEXT), Text(m_excep.bstrDescription));
  SysFreeString(m_excep.bstrSource);
  SysFreeString(m_excep.bstrDescription);
  SysFreeString(m_excep.bstrHelpFile);

  // Without error information only the code arrives.
  ASSERT_EQ(DISP_E_EXCEPTION, Call(OLESTR("Fail"), DISPATCH_METHOD, {I4(E_OUTOFMEMORY), Bool(false)}));
  EXPECT_EQ(E_OUTOFMEMORY, m_excep.scode);
  EXPECT_EQ_OR_WINE(nullptr, untouched, m_excep.bstrSource,
                    "Wine fills only what it has and leaves the rest of EXCEPINFO as it was");
  EXPECT_EQ_OR_WINE(nullptr, untouched, m_excep.bstrDescription,
                    "Wine fills only what it has and leaves the rest of EXCEPINFO as it was");
  // A member that succeeds with a status code is no exception.
  EXPECT_EQ(S_OK, Call(OLESTR("Fail"), DISPATCH_METHOD, {I4(S_FALSE), Bool(false)}));
}

// An HRESULT parameter takes an error code as VT_ERROR; a plain VT_I4 is not
// coerced into one, so a script passing a number gets a type mismatch.
TEST_F(Dispatch, HresultParametersTakeErrorCodesOnly) {
  VARIANT r, code;
  V_VT(&code) = VT_ERROR;
  V_ERROR(&code) = E_ACCESSDENIED;
  ASSERT_EQ(S_OK, Call(OLESTR("Report"), DISPATCH_METHOD, {code}, &r));
  EXPECT_EQ(VT_I4, V_VT(&r));
  EXPECT_EQ(E_ACCESSDENIED, V_I4(&r));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(OLESTR("Report"), DISPATCH_METHOD, {I4(E_ACCESSDENIED)}, &r));
  EXPECT_EQ_OR_WINE(0u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");
}

TEST_F(Dispatch, ArgumentAndMemberErrors) {
  VARIANT r;
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(OLESTR("Twice"), DISPATCH_METHOD, {}, &r));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(OLESTR("Twice"), DISPATCH_METHOD, {I4(1), I4(2)}, &r));
  // The index of the bad argument counts in rgvarg, which runs backwards.
  EXPECT_EQ(DISP_E_TYPEMISMATCH,
            Call(OLESTR("Describe"), DISPATCH_METHOD, {Str(OLESTR("x1")), I4(2), Str(OLESTR("t")), Bool(true), I4(1)}, &r));
  EXPECT_EQ_OR_WINE(4u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");
  EXPECT_EQ(DISP_E_TYPEMISMATCH,
            Call(OLESTR("Describe"), DISPATCH_METHOD, {I4(1), I4(2), Str(OLESTR("t")), Str(OLESTR("maybe")), I4(1)}, &r));
  EXPECT_EQ_OR_WINE(1u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");
  VARIANT wrongOut = I4(0);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(OLESTR("Split"), DISPATCH_METHOD, {Str(OLESTR("a")), wrongOut}, &r));
  EXPECT_EQ_OR_WINE(0u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");
  // A "missing" marker where the parameter is not optional.
  VARIANT missing;
  VariantInit(&missing);
  V_VT(&missing) = VT_ERROR;
  V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
  EXPECT_EQ_OR_WINE(DISP_E_PARAMNOTOPTIONAL, DISP_E_TYPEMISMATCH, Call(OLESTR("Twice"), DISPATCH_METHOD, {missing}, &r), "Wine tries to convert the marker and answers a type mismatch");
  EXPECT_EQ_OR_WINE(0u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");

  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(99, DISPATCH_METHOD, {}, &r));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(OLESTR("Count"), DISPATCH_PROPERTYPUT, {I4(1)}, &r));
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(OLESTR("Twice"), DISPATCH_PROPERTYGET, {I4(1)}, &r));
  LPOLESTR name = const_cast<LPOLESTR>(OLESTR("NoSuchMember"));
  DISPID id = kSentinel;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, m_disp->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
  EXPECT_EQ(DISPID_UNKNOWN, id);
}

TEST_F(Dispatch, NamedArguments) {
  // Describe(Number, Flags, Text, Flag, Color) with Color and Flag named.
  LPOLESTR names[] = {const_cast<LPOLESTR>(OLESTR("Describe")), const_cast<LPOLESTR>(OLESTR("color")),
                      const_cast<LPOLESTR>(OLESTR("flag"))};
  DISPID ids[3];
  ASSERT_EQ(S_OK, m_disp->GetIDsOfNames(IID_NULL, names, 3, 0, ids));
  // Named arguments first, then the positional ones last-first.
  VARIANT args[5] = {I4(2), Bool(false), Str(OLESTR("named")), I4(8), I4(9)};
  DISPID named[2] = {ids[1], ids[2]};
  DISPPARAMS params = {args, named, 5, 2};
  VARIANT r;
  VariantInit(&r);
  ASSERT_EQ(S_OK, m_disp->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, &r, nullptr, nullptr));
  EXPECT_EQ("9|8|named|0|2", Text(V_BSTR(&r)));
  VariantClear(&r);
  named[0] = 17;
  UINT err = kSentinel;
  EXPECT_EQ_OR_WINE(DISP_E_PARAMNOTFOUND, DISP_E_BADPARAMCOUNT,
                    m_disp->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, &r, nullptr, &err),
                    "Wine counts an unknown name as a wrong number of arguments and names none");
  EXPECT_EQ_OR_WINE(0u, UINT{kSentinel}, err, "Wine counts an unknown name as a wrong number of arguments and names none");
  for (VARIANT &v : args) VariantClear(&v);
}

// An outer object that counts the calls its aggregated dispatch passes on.
struct Outer : public IUnknown {
  IUnknown *inner = nullptr;
  int queries = 0;
  LONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    ++queries;
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

TEST_F(Dispatch, StandardDispatchOverAnObject) {
  IFixture *fixture = nullptr;
  ASSERT_EQ(S_OK, m_disp->QueryInterface(IID_IFixture, reinterpret_cast<void **>(&fixture)));
  ITypeInfo *info = nullptr;
  ASSERT_EQ(S_OK, m_lib->GetTypeInfoOfGuid(IID_IFixture, &info));

  Outer outer;
  ASSERT_EQ(S_OK, CreateStdDispatch(&outer, fixture, info, &outer.inner));
  IDispatch *std = nullptr;
  ASSERT_EQ(S_OK, outer.inner->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&std)));
  // Its IUnknown methods are the outer object's.
  LONG before = outer.refs;
  std->AddRef();
  // Wine's standard dispatch object is not aggregated: its IUnknown is its own.
  const bool wineOwnUnknown = RunningUnderWine() && outer.refs == before;
  if (!wineOwnUnknown) {
    EXPECT_EQ(before + 1, outer.refs);
  }
  std->Release();
  IUnknown *unk = nullptr;
  ASSERT_EQ(S_OK, std->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&unk)));
  if (!wineOwnUnknown) {
    EXPECT_EQ(&outer, unk);
    EXPECT_EQ(1, outer.queries);
  }
  unk->Release();

  LPOLESTR name = const_cast<LPOLESTR>(OLESTR("Count"));
  DISPID id = kSentinel;
  ASSERT_EQ(S_OK, std->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT r;
  VariantInit(&r);
  ASSERT_EQ(S_OK, std->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr));
  EXPECT_EQ(3, V_I4(&r));
  EXPECT_EQ_OR_WINE(DISP_E_UNKNOWNINTERFACE, E_INVALIDARG,
                    std->Invoke(id, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr), "Wine answers E_INVALIDARG for an interface other than IID_NULL");
  UINT n = 0;
  EXPECT_EQ(S_OK, std->GetTypeInfoCount(&n));
  EXPECT_EQ(1u, n);
  ITypeInfo *got = nullptr;
  EXPECT_EQ(DISP_E_BADINDEX, std->GetTypeInfo(1, 0, &got));
  EXPECT_EQ(S_OK, std->GetTypeInfo(0, 0, &got));
  EXPECT_EQ(info, got);
  got->Release();
  std->Release();
  EXPECT_EQ(0u, outer.inner->Release());

  IUnknown *plain = nullptr;
  EXPECT_EQ(E_INVALIDARG, CreateStdDispatch(nullptr, nullptr, info, &plain));
  info->Release();
  fixture->Release();
}

// A member called once is called the same way again; other argument counts,
// named arguments and arguments that need real coercion still get what the
// first call never needed.
TEST_F(Dispatch, RepeatedCallsStillCheckTheirArguments) {
  VARIANT r;
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(S_OK, Call(OLESTR("Twice"), DISPATCH_METHOD, {I4(21)}, &r));
    EXPECT_EQ(42, V_I4(&r));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(OLESTR("Twice"), DISPATCH_METHOD, {}, &r));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(OLESTR("Twice"), DISPATCH_METHOD, {I4(1), I4(2)}, &r));
    ASSERT_EQ(S_OK, Call(OLESTR("Twice"), DISPATCH_METHOD, {Str(OLESTR("12"))}, &r));
    EXPECT_EQ(24, V_I4(&r));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(OLESTR("Twice"), DISPATCH_METHOD, {Str(OLESTR("twelve"))}, &r));
    EXPECT_EQ_OR_WINE(0u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(OLESTR("Describe"), DISPATCH_METHOD,
                                        {I4(1), I4(2), Str(OLESTR("t")), Str(OLESTR("maybe")), I4(1)}, &r));
    EXPECT_EQ_OR_WINE(1u, UINT{kSentinel}, m_argErr, "Wine does not report which argument was bad");
    ASSERT_EQ(S_OK, Call(OLESTR("Describe"), DISPATCH_METHOD, {I4(1), I4(2), Str(OLESTR("t")), Bool(true), I4(1)}, &r));
    EXPECT_EQ("1|2|t|-1|1", Text(V_BSTR(&r)));
    VariantClear(&r);
  }
  // The same member with its last argument named.
  LPOLESTR names[] = {const_cast<LPOLESTR>(OLESTR("Describe")), const_cast<LPOLESTR>(OLESTR("color"))};
  DISPID ids[2];
  ASSERT_EQ(S_OK, m_disp->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
  VARIANT args[5] = {I4(2), Bool(false), Str(OLESTR("named")), I4(8), I4(9)};
  DISPPARAMS params = {args, &ids[1], 5, 1};
  VariantInit(&r);
  ASSERT_EQ(S_OK, m_disp->Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &params, &r, nullptr, nullptr));
  EXPECT_EQ("9|8|named|0|2", Text(V_BSTR(&r)));
  VariantClear(&r);
  for (VARIANT &v : args) VariantClear(&v);
}

// Integer arguments of every width reach a long parameter as
// VariantChangeType would convert them, and fail where it fails.
TEST_F(Dispatch, IntegerArgumentsConvertAsVariantChangeType) {
  struct Case {
    VARTYPE vt;
    LONGLONG bits;
  };
  const Case cases[] = {{VT_I1, -7},   {VT_UI1, 0xF9},        {VT_I2, -30000},      {VT_UI2, 0xFFFF},
                        {VT_BOOL, -1}, {VT_BOOL, 1},          {VT_UI4, 0x3FFFFFFF}, {VT_UI4, 0xFFFFFFFF},
                        {VT_I8, -5},   {VT_I8, 1LL << 40},    {VT_UI8, 1000},       {VT_UI8, -1},
                        {VT_I4, -1},   {VT_INT, -0x20000000}, {VT_UINT, 0x20000000}};
  for (const Case &c : cases) {
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = c.vt;
    arg.llVal = c.bits;
    VARIANT expected;
    VariantInit(&expected);
    HRESULT converted = VariantChangeType(&expected, &arg, 0, VT_I4);
    VARIANT r;
    HRESULT hr = Call(OLESTR("Twice"), DISPATCH_METHOD, {arg}, &r);
    if (FAILED(converted)) {
      EXPECT_TRUE(FAILED(hr)) << "vt " << c.vt << " bits " << c.bits;
      continue;
    }
    ASSERT_EQ(S_OK, hr) << "vt " << c.vt << " bits " << c.bits;
    EXPECT_EQ(VT_I4, V_VT(&r));
    EXPECT_EQ(2 * V_I4(&expected), V_I4(&r)) << "vt " << c.vt << " bits " << c.bits;
  }
}

// The same DISPID means another member in another type: Count (a long) on
// the fixture, Name (a string) on its item.
TEST_F(Dispatch, SameDispidInTwoTypesKeepsEachSignature) {
  VARIANT r;
  ASSERT_EQ(S_OK, Call(DISPID{DISPID_VALUE}, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {I4(2)}, &r));
  ASSERT_EQ(VT_DISPATCH, V_VT(&r));
  IDispatch *item = V_DISPATCH(&r);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  for (int round = 0; round < 3; ++round) {
    VARIANT count, name;
    VariantInit(&count);
    VariantInit(&name);
    ASSERT_EQ(S_OK, m_disp->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &count, nullptr, nullptr));
    ASSERT_EQ(S_OK, item->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &name, nullptr, nullptr));
    EXPECT_EQ(VT_I4, V_VT(&count));
    EXPECT_EQ(3, V_I4(&count));
    ASSERT_EQ(VT_BSTR, V_VT(&name));
    EXPECT_EQ("item2", Text(V_BSTR(&name)));
    VariantClear(&name);
  }
  VariantClear(&r);
}

// The component is free-threaded: one object called from several threads at
// once, members and argument shapes mixed.
TEST_F(Dispatch, ConcurrentCallsOnOneObject) {
  constexpr int kThreads = 4, kCalls = 500;
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &wrong] {
      DISPPARAMS none = {nullptr, nullptr, 0, 0};
      for (int i = 0; i < kCalls; ++i) {
        VARIANT arg, r;
        VariantInit(&r);
        if (i % 5 == 0) {
          arg = Str(OLESTR("17"));
        } else {
          VariantInit(&arg);
          V_VT(&arg) = i % 2 ? VT_I4 : VT_I8;
          arg.llVal = t * kCalls + i;  // little-endian: the same value in either
        }
        LONG want = i % 5 == 0 ? 34 : 2 * (t * kCalls + i);
        DISPPARAMS one = {&arg, nullptr, 1, 0};
        if (m_disp->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &one, &r, nullptr, nullptr) != S_OK || V_VT(&r) != VT_I4 ||
            V_I4(&r) != want)
          ++wrong[t];
        VariantClear(&arg);
        if (m_disp->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &r, nullptr, nullptr) != S_OK || V_I4(&r) != 3)
          ++wrong[t];
      }
    });
  }
  for (std::thread &th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, wrong[t]) << "thread " << t;
}

LONG Combine(LONG a, SHORT b, double c) { return a * 100 + b * 10 + static_cast<LONG>(c); }

TEST_F(Dispatch, CallsFunctionsAndVtableSlotsDirectly) {
  VARIANT a = I4(4), b, c, r;
  VariantInit(&b);
  V_VT(&b) = VT_I2;
  V_I2(&b) = 5;
  VariantInit(&c);
  V_VT(&c) = VT_R8;
  c.dblVal = 6.0;
  VARTYPE types[] = {VT_I4, VT_I2, VT_R8};
  VARIANTARG *args[] = {&a, &b, &c};
  VariantInit(&r);
  ASSERT_EQ(S_OK, DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&Combine), CC_STDCALL, VT_I4, 3, types, args, &r));
  EXPECT_EQ(VT_I4, V_VT(&r));
  EXPECT_EQ(456, V_I4(&r));

  // IFixture2::Twice is slot 7 + 8: `this` goes first.
  IFixture2 *fixture = nullptr;
  ASSERT_EQ(S_OK, m_disp->QueryInterface(IID_IFixture2, reinterpret_cast<void **>(&fixture)));
  LONG out = 0;
  VARIANT value = I4(11), ptr;
  VariantInit(&ptr);
  V_VT(&ptr) = VT_BYREF | VT_I4;
  ptr.plVal = &out;
  VARTYPE slotTypes[] = {VT_I4, VT_BYREF | VT_I4};
  VARIANTARG *slotArgs[] = {&value, &ptr};
  HRESULT hr = DispCallFunc(fixture, 15 * sizeof(void *), CC_STDCALL, VT_HRESULT, 2, slotTypes, slotArgs, &r);
  if (RunningUnderWine() && hr == E_INVALIDARG) {
    fixture->Release();
    GTEST_SKIP() << "Wine refuses VT_HRESULT as the return type";
  }
  ASSERT_EQ(S_OK, hr);
  EXPECT_EQ(VT_HRESULT, V_VT(&r));
  EXPECT_EQ(S_OK, V_I4(&r));
  EXPECT_EQ(22, out);
  fixture->Release();
}

}  // namespace
