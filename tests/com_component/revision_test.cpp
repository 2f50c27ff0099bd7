// The Revision object: its properties, with and without a record, installed
// or not, early and late bound.
#include <atomic>
#include <thread>

#include "component_fixture.h"
#include "catalog/registry_keys.h"

namespace {

const WCHAR kEnglishReleases[] = REVDIR_RELEASES_KEY OLESTR("\\English");

ComPtr<IRevision> Release(IRevisionDirectory_V6 *directory, LONG major, LONG minor) {
  ComPtr<IRevision> revision;
  EXPECT_EQ(directory->GetRevisionFromSoftwareVersion(major, minor, revision.Out()), S_OK);
  return ComPtr<IRevision>(revision.Get() ? (revision->AddRef(), revision.Get()) : nullptr);
}

class RevisionObject : public MachineKeysTest {};

}  // namespace

TEST_F(RevisionObject, ShowsItsRecord) {
  auto directory = InitializedDirectory();
  auto revision = Release(directory.Get(), 15, 1);
  ASSERT_TRUE(revision);
  LONG value = 0;
  EXPECT_EQ(revision->get_MajorRev(&value), S_OK);
  EXPECT_EQ(value, 15);
  EXPECT_EQ(revision->get_MajorSoftwareVersion(&value), S_OK);
  EXPECT_EQ(value, 15);
  EXPECT_EQ(revision->get_MinorSoftwareVersion(&value), S_OK);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(revision->get_ACDFileVersionNumber(&value), S_OK);
  EXPECT_EQ(value, 3279);
  Bstr text;
  EXPECT_EQ(revision->get_AutomationInterfaceVersion(text.Out()), S_OK);
  EXPECT_EQ(text.Str(), WString(OLESTR(".15.00")));
  EXPECT_EQ(revision->get_MinorRev(Betrel11, &value), S_OK);
  EXPECT_EQ(value, 4);
  EXPECT_EQ(revision->get_MinorRev(Arvane04, &value), S_OK);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(revision->get_ProcessorIsSupported(Arvane01, &value), S_OK);
  EXPECT_EQ(value, 0);
  for (LONG id : {0, 33}) {
    value = 7;
    EXPECT_EQ(revision->get_ProcessorIsSupported(static_cast<RdProcessorTypes>(id), &value), S_OK);
    EXPECT_EQ(value, 0);
  }
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(revision->get_MinorRev(Arvane01, &value), RdE_ProcessorTypeNotSupported);
  EXPECT_EQ(value, -1);
  EXPECT_FALSE(TakeErrorInfo().present) << "an unsupported type sets no error information";
  EXPECT_EQ(revision->get_MajorRev(nullptr), E_INVALIDARG);
}

TEST_F(RevisionObject, SupportedTypesAreBuiltOnceInCatalogueOrder) {
  auto directory = InitializedDirectory();
  auto revision = Release(directory.Get(), 15, 1);
  ComPtr<IProcessorTypes> a, b;
  ASSERT_EQ(revision->get_SupportedProcessorTypes(a.Out()), S_OK);
  ASSERT_EQ(revision->get_SupportedProcessorTypes(b.Out()), S_OK);
  EXPECT_EQ(a.Get(), b.Get());
  LONG count = 0;
  EXPECT_EQ(a->get_Count(&count), S_OK);
  EXPECT_EQ(count, 15);
  ComPtr<IProcessorType> first;
  ASSERT_EQ(a->get_Item(1, first.Out()), S_OK);
  Bstr name;
  first->get_Name(name.Out());
  EXPECT_EQ(name.Str(), WString(OLESTR("AR-04")));
  LONG major = 0, minor = 0;
  first->get_MajorRev(&major);
  first->get_MinorRev(&minor);
  EXPECT_EQ(major, 15);
  EXPECT_EQ(minor, 3);
}

TEST_F(RevisionObject, SupportedTypesRaceCreatesOneCollection) {
  auto directory = InitializedDirectory();
  for (int round = 0; round < 50; ++round) {
    auto revision = Release(directory.Get(), 13, 1);
    IProcessorTypes *seen[2] = {};
    std::atomic<int> ready{0};
    auto grab = [&](int i) {
      ++ready;
      while (ready < 2) {
      }
      revision->get_SupportedProcessorTypes(&seen[i]);
    };
    std::thread t0(grab, 0), t1(grab, 1);
    t0.join();
    t1.join();
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    seen[0]->Release();
    seen[1]->Release();
  }
}

TEST_F(RevisionObject, InstalledStateFollowsTheRegistry) {
  SetMachineString(WString(kEnglishReleases).append(OLESTR("\\15")).c_str(), OLESTR("Product Version"), OLESTR("15.01.0123"));
  SetMachineString(WString(kEnglishReleases).append(OLESTR("\\15")).c_str(), OLESTR("Bin"), OLESTR("C:\\Q\\Bin"));
  auto directory = InitializedDirectory();
  auto installed = Release(directory.Get(), 15, 1);
  auto known = Release(directory.Get(), 15, 0);
  LONG available = -1;
  EXPECT_EQ(installed->get_IsAvailable(&available), S_OK);
  EXPECT_EQ(available, 1);
  Bstr path;
  EXPECT_EQ(installed->get_InstalledPath(path.Out()), S_OK);
  EXPECT_EQ(path.Str(), WString(OLESTR("C:\\Q\\Bin\\Quillon.Exe")));
  EXPECT_EQ(known->get_IsAvailable(&available), S_OK);
  EXPECT_EQ(available, 0);
  EXPECT_EQ(known->get_InstalledPath(path.Out()), RdE_RevisionNotInstalled);
  EXPECT_TRUE(path.IsNull());
  LONG major;
  EXPECT_EQ(known->get_MajorRev(&major), S_OK);

  // Another directory's Initialize is seen by revisions handed out earlier.
  DeleteMachineTree(kEnglishReleases);
  auto other = InitializedDirectory();
  EXPECT_EQ(installed->get_IsAvailable(&available), S_OK);
  EXPECT_EQ(available, 0);
}

TEST_F(RevisionObject, WithoutARecordEveryPropertyFails) {
  ComPtr<IRevision> revision;
  ASSERT_EQ(CoCreateInstance(CLSID_Revision, nullptr, CLSCTX_INPROC_SERVER, IID_IRevision, revision.OutVoid()), S_OK);
  LONG value = 7;
  EXPECT_EQ(revision->get_MajorRev(&value), RdE_InvalidRevisionInternalState);
  EXPECT_EQ(value, -1);
  ErrorInfo info = TakeErrorInfo();
  EXPECT_EQ(info.source, WString(OLESTR("QuillonRevisionDirectory.Revision")));
  EXPECT_TRUE(IsEqualGUID(info.guid, IID_IRevision_V2));
  EXPECT_EQ(revision->get_IsAvailable(&value), RdE_InvalidRevisionInternalState);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(revision->get_MinorRev(Arvane01, &value), RdE_InvalidRevisionInternalState);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(revision->get_ProcessorIsSupported(Arvane01, &value), RdE_InvalidRevisionInternalState);
  EXPECT_EQ(value, 0);
  Bstr text(OLESTR("x"));
  EXPECT_EQ(revision->get_InstalledPath(text.Out()), RdE_InvalidRevisionInternalState);
  EXPECT_TRUE(text.IsNull());
  ComPtr<IProcessorTypes> types;
  EXPECT_EQ(revision->get_SupportedProcessorTypes(types.Out()), RdE_InvalidRevisionInternalState);
  EXPECT_FALSE(types);
}

TEST_F(RevisionObject, EveryPropertyByName) {
  auto directory = InitializedDirectory();
  auto revision = Release(directory.Get(), 12, 3);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(revision->QueryInterface(IID_IDispatch, dispatch.OutVoid()), S_OK);
  struct Case {
    const WCHAR *name;
    LONG argument;  // 0: none
    VARTYPE vt;
    LONG value;
  } cases[] = {{OLESTR("ACDFileVersionNumber"), 0, VT_I4, 3149}, {OLESTR("MajorRev"), 0, VT_I4, 12},
               {OLESTR("majorsoftwareversion"), 0, VT_I4, 12},   {OLESTR("MinorSoftwareVersion"), 0, VT_I4, 3},
               {OLESTR("IsAvailable"), 0, VT_I4, 0},             {OLESTR("MinorRev"), Arvane01, VT_I4, 27},
               {OLESTR("ProcessorIsSupported"), Mimic01, VT_I4, 1}};
  for (const Case &c : cases) {
    VARIANT arg, result;
    arg.vt = VT_I4;
    arg.lVal = c.argument;
    VariantInit(&result);
    ASSERT_EQ(InvokeByName(dispatch.Get(), c.name, DISPATCH_PROPERTYGET, &arg, c.argument ? 1 : 0, &result), S_OK)
        << platform::Narrow(WString(c.name));
    EXPECT_EQ(result.vt, c.vt);
    EXPECT_EQ(result.lVal, c.value) << platform::Narrow(WString(c.name));
  }
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(
      InvokeByName(dispatch.Get(), OLESTR("AutomationInterfaceVersion"), DISPATCH_PROPERTYGET, nullptr, 0, &result),
      S_OK);
  EXPECT_EQ(platform::Narrow(result.bstrVal), ".12.00");
  VariantClear(&result);
  ASSERT_EQ(InvokeByName(dispatch.Get(), OLESTR("SupportedProcessorTypes"), DISPATCH_PROPERTYGET, nullptr, 0, &result),
            S_OK);
  EXPECT_EQ(result.vt, VT_DISPATCH);
  VariantClear(&result);
  EXCEPINFO excep{};
  EXPECT_EQ(InvokeByName(dispatch.Get(), OLESTR("InstalledPath"), DISPATCH_PROPERTYGET, nullptr, 0, &result, &excep),
            DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, RdE_RevisionNotInstalled);
  EXPECT_EQ(platform::Narrow(excep.bstrDescription), "Quillon english support for this revision is not installed.");
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}

// Readers of installed paths on revision objects while other directories
// re-initialise on another thread: run it under ThreadSanitizer.
TEST_F(RevisionObject, InstalledPathReadersAgainstInitialize) {
  SetMachineString(WString(kEnglishReleases).append(OLESTR("\\13")).c_str(), OLESTR("Product Version"), OLESTR("13.01.0001"));
  SetMachineString(WString(kEnglishReleases).append(OLESTR("\\13")).c_str(), OLESTR("Bin"), OLESTR("C:\\Thirteen"));
  auto directory = InitializedDirectory();
  auto revision = Release(directory.Get(), 13, 1);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (int i = 0; i < 30; ++i) InitializedDirectory();
    CoUninitialize();
    stop = true;
  });
  const WString expected = OLESTR("C:\\Thirteen\\Quillon.Exe");
  while (!stop) {
    Bstr path;
    HRESULT hr = revision->get_InstalledPath(path.Out());
    if (hr == S_OK) {
      ASSERT_EQ(path.Str(), expected);
    } else {
      ASSERT_EQ(hr, RdE_RevisionNotInstalled);
    }
  }
  writer.join();
}
