// The controller-type catalogue as clients see it.
#include "component_fixture.h"

namespace {

WString NameOf(IProcessorType *type) {
  Bstr name;
  EXPECT_EQ(type->get_Name(name.Out()), S_OK);
  return name.Str();
}

}  // namespace

TEST(ProcessorTypes, CatalogueInNameOrder) {
  auto directory = InitializedDirectory();
  ComPtr<IProcessorTypes> types, again;
  ASSERT_EQ(directory->get_ProcessorTypes(types.Out()), S_OK);
  ASSERT_EQ(directory->get_ProcessorTypes(again.Out()), S_OK);
  EXPECT_EQ(types.Get(), again.Get());
  LONG count = 0;
  ASSERT_EQ(types->get_Count(&count), S_OK);
  ASSERT_EQ(count, 24);
  const WCHAR *expected[] = {OLESTR("AR-01"), OLESTR("AR-03"), OLESTR("AR-04"), OLESTR("AR-05"), OLESTR("AR-07"), OLESTR("AR-08"),
                             OLESTR("AR-09"), OLESTR("AR-10"), OLESTR("AR-11"), OLESTR("BT-02"), OLESTR("BT-03"), OLESTR("BT-05"),
                             OLESTR("BT-06"), OLESTR("BT-07"), OLESTR("BT-09"), OLESTR("BT-10"), OLESTR("BT-11"), OLESTR("MM-01"),
                             OLESTR("NB-01"), OLESTR("OS-01"), OLESTR("OS-02"), OLESTR("OS-03"), OLESTR("QR-01"), OLESTR("QR-02")};
  for (LONG i = 1; i <= 24; ++i) {
    ComPtr<IProcessorType> type;
    ASSERT_EQ(types->get_Item(i, type.Out()), S_OK);
    EXPECT_EQ(NameOf(type.Get()), WString(expected[i - 1]));
    ComPtr<IProcessorType_V2> v2;
    ASSERT_EQ(type->QueryInterface(IID_IProcessorType_V2, v2.OutVoid()), S_OK);
    LONG major = 0, minor = 0, productType = 0;
    v2->get_MajorRev(&major);
    v2->get_MinorRev(&minor);
    v2->get_ProductType(&productType);
    EXPECT_EQ(major, -1);
    EXPECT_EQ(minor, -1);
    EXPECT_EQ(productType, 14);
  }
  ComPtr<IProcessorType> none;
  EXPECT_EQ(types->get_Item(0, none.Out()), E_INVALIDARG);
  EXPECT_EQ(types->get_Item(-1, none.Out()), E_INVALIDARG);
  EXPECT_EQ(types->get_Item(25, none.Out()), E_FAIL);
  EXPECT_EQ(types->get_Item(1, nullptr), E_POINTER);
}

TEST(ProcessorTypes, EnumeratorFetchesAndSkips) {
  auto directory = InitializedDirectory();
  ComPtr<IProcessorTypes> types;
  ASSERT_EQ(directory->get_ProcessorTypes(types.Out()), S_OK);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(types->get__NewEnum(unknown.Out()), S_OK);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, e.OutVoid()), S_OK);
  VARIANT v[3];
  ULONG fetched = 0;
  ASSERT_EQ(e->Next(3, v, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  for (auto &x : v) {
    EXPECT_EQ(x.vt, VT_DISPATCH);
    VariantClear(&x);
  }
  EXPECT_EQ(e->Next(2, v, nullptr), E_POINTER);
  ASSERT_EQ(e->Reset(), S_OK);
  ASSERT_EQ(e->Skip(23), S_OK);
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(e->Clone(clone.Out()), S_OK);
  ASSERT_EQ(e->Next(3, v, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  ComPtr<IProcessorType> last;
  ASSERT_EQ(v[0].pdispVal->QueryInterface(IID_IProcessorType, last.OutVoid()), S_OK);
  EXPECT_EQ(NameOf(last.Get()), WString(OLESTR("QR-02")));
  VariantClear(&v[0]);
  EXPECT_EQ(clone->Skip(2), S_FALSE) << "the clone shares the position";
}

TEST(ProcessorTypes, DescriptionsInEachLanguage) {
  struct {
    LCID locale;
    const WCHAR *arvane01;
  } cases[] = {{1031, OLESTR("Arvane 01-Controller")},  {1033, OLESTR("Arvane 01 Controller")},
               {1036, OLESTR("Controller Arvane 01")},  {1034, OLESTR("Controller Arvane 01")},
               {1041, OLESTR("Arvane 01 Controller")},  {3079, OLESTR("Arvane 01-Controller")},
               {1046, OLESTR("Controller Arvane 01")}};
  for (const auto &c : cases) {
    auto directory = InitializedDirectory(c.locale);
    ComPtr<IProcessorTypes> types;
    ASSERT_EQ(directory->get_ProcessorTypes(types.Out()), S_OK);
    ComPtr<IProcessorType> arvane01, arvane10;
    ASSERT_EQ(types->get_Item(1, arvane01.Out()), S_OK);
    ASSERT_EQ(types->get_Item(8, arvane10.Out()), S_OK);
    LCID before = GetThreadLocale();
    Bstr text;
    ASSERT_EQ(arvane01->get_Description(text.Out()), S_OK);
    EXPECT_EQ(text.Str(), WString(c.arvane01)) << c.locale;
    EXPECT_EQ(GetThreadLocale(), before);
    ASSERT_EQ(arvane10->get_Description(text.Out()), S_OK);
    EXPECT_EQ(text.Str(), WString(c.locale == 1041 ? OLESTR("Arvane 10 セーフティ Controller")
                                                   : OLESTR("Arvane 10 Safety Controller")))
        << c.locale;
  }
}

TEST(ProcessorTypes, AnObjectOutlivesItsCollection) {
  auto directory = InitializedDirectory(1031);
  ComPtr<IProcessorType> type;
  {
    ComPtr<IProcessorTypes> types;
    ASSERT_EQ(directory->get_ProcessorTypes(types.Out()), S_OK);
    ASSERT_EQ(types->get_Item(2, type.Out()), S_OK);
  }
  directory.Reset();  // the catalogue collection goes with the directory
  EXPECT_EQ(NameOf(type.Get()), WString(OLESTR("AR-03")));
  Bstr text;
  EXPECT_EQ(type->get_Description(text.Out()), S_OK);
  EXPECT_EQ(text.Str(), WString(OLESTR("Arvane 03-Controller")));
}

TEST(ProcessorTypes, WithoutARecordEveryPropertyFails) {
  ComPtr<IProcessorType_V2> type;
  ASSERT_EQ(CoCreateInstance(CLSID_ProcessorType, nullptr, CLSCTX_INPROC_SERVER, IID_IProcessorType_V2, type.OutVoid()),
            S_OK);
  LONG id = Arvane01;  // the interface's enum, read as the 32-bit value it is
  EXPECT_EQ(type->get_Id(reinterpret_cast<RdProcessorTypes *>(&id)), RdE_InvalidProcessorTypeInternalState);
  EXPECT_EQ(id, -1);
  ErrorInfo info = TakeErrorInfo();
  EXPECT_EQ(info.source, WString(OLESTR("QuillonRevisionDirectory.ProcessorType")));
  EXPECT_TRUE(IsEqualGUID(info.guid, IID_IProcessorType));
  LONG value = 7;
  EXPECT_EQ(type->get_MajorRev(&value), RdE_InvalidProcessorTypeInternalState);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(type->get_ProductCode(&value), RdE_InvalidProcessorTypeInternalState);
  EXPECT_EQ(value, -1);
  Bstr name(OLESTR("x"));
  EXPECT_EQ(type->get_Name(name.Out()), RdE_InvalidProcessorTypeInternalState);
  EXPECT_TRUE(name.IsNull());
  LCID before = GetThreadLocale();
  EXPECT_EQ(type->get_Description(name.Out()), RdE_InvalidProcessorTypeInternalState);
  EXPECT_EQ(GetThreadLocale(), before);
  EXPECT_EQ(type->get_Id(nullptr), E_INVALIDARG);
}

TEST(ProcessorTypes, EveryPropertyByName) {
  auto directory = InitializedDirectory(1036);
  ComPtr<IDispatch> types;
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeByName(directory.Get(), OLESTR("ProcessorTypes"), DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
  ASSERT_EQ(result.vt, VT_DISPATCH);
  *types.Out() = result.pdispVal;
  // The default member is Item: Item(2) is "AR-03".
  VARIANT index;
  index.vt = VT_I4;
  index.lVal = 2;
  DISPPARAMS params = {&index, nullptr, 1, 0};
  ASSERT_EQ(types->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &params, &result, nullptr,
                          nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_DISPATCH);
  ComPtr<IDispatch> type;
  *type.Out() = result.pdispVal;
  struct {
    const WCHAR *name;
    LONG number;
    const char *text;
  } cases[] = {{OLESTR("Id"), Arvane03, nullptr},        {OLESTR("MajorRev"), -1, nullptr},     {OLESTR("MinorRev"), -1, nullptr},
               {OLESTR("ProductType"), 14, nullptr},     {OLESTR("ProductCode"), 50, nullptr},  {OLESTR("Name"), 0, "AR-03"},
               {OLESTR("description"), 0, "Controller Arvane 03"}};
  for (const auto &c : cases) {
    VariantInit(&result);
    ASSERT_EQ(InvokeByName(type.Get(), c.name, DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK)
        << platform::Narrow(WString(c.name));
    if (c.text) {
      ASSERT_EQ(result.vt, VT_BSTR);
      EXPECT_EQ(platform::Narrow(result.bstrVal), c.text);
    } else {
      EXPECT_EQ(result.lVal, c.number) << platform::Narrow(WString(c.name));
    }
    VariantClear(&result);
  }
}
