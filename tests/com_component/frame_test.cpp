// Registration, creation, identity, aggregation and module lifetime.
#include <set>
#include <vector>

#include "component_fixture.h"
#include "catalog/registry_keys.h"

namespace {

struct ClassInfo {
  const WCHAR *progId;
  const CLSID *clsid;
  std::vector<const IID *> interfaces;
  const IID *errorInfo;  // an interface errors are reported for, or null
};

const std::vector<ClassInfo> &Classes() {
  static const std::vector<ClassInfo> kClasses = {
      {OLESTR("QuillonRevisionDirectory.RevisionDirectory"),
       &CLSID_RevisionDirectory,
       {&IID_IRevisionDirectory_V6, &IID_IRevisionDirectory_V5, &IID_IRevisionDirectory_V4, &IID_IRevisionDirectory_V3,
        &IID_IRevisionDirectory_V2, &IID_IRevisionDirectory, &IID_IDispatch},
       &IID_IRevisionDirectory_V3},
      {OLESTR("QuillonRevisionDirectory.Revision"),
       &CLSID_Revision,
       {&IID_IDispatch, &IID_IRevision, &IID_IRevision_V2},
       &IID_IRevision},
      {OLESTR("QuillonRevisionDirectory.AvailableRevisions"),
       &CLSID_AvailableRevisions,
       {&IID_IAvailableRevisions, &IID_IDispatch},
       nullptr},
      {OLESTR("QuillonRevisionDirectory.Revisions"), &CLSID_Revisions, {&IID_IRevisions, &IID_IDispatch}, nullptr},
      {OLESTR("QuillonRevisionDirectory.ProcessorTypes"),
       &CLSID_ProcessorTypes,
       {&IID_IProcessorTypes, &IID_IDispatch},
       nullptr},
      {OLESTR("QuillonRevisionDirectory.ProcessorType"),
       &CLSID_ProcessorType,
       {&IID_IProcessorType_V2, &IID_IProcessorType, &IID_IDispatch},
       &IID_IProcessorType_V2},
  };
  return kClasses;
}

// Every key and value below a key, as text, to compare registry states.
void Dump(HKEY key, const WString &path, std::string &out) {
  out += platform::Narrow(path) + "\n";
  WCHAR name[512];
  BYTE data[4096];
  for (DWORD i = 0;; ++i) {
    DWORD nameChars = 512, size = sizeof data, type;
    if (RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    out += "  " + platform::Narrow(WString(name, nameChars)) + "=" + std::to_string(type) + ":" +
           std::string(reinterpret_cast<char *>(data), size) + "\n";
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameChars = 512;
    if (RegEnumKeyExW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY sub;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    Dump(sub, path + OLESTR("\\") + name, out);
    RegCloseKey(sub);
  }
}

// Every key the registration writes, as text: classes, ProgIDs, the type
// library and its interfaces (not all of HKCR, which is large on Windows).
std::string DumpOurKeys() {
  std::vector<WString> keys = {OLESTR("TypeLib\\") + GuidString(LIBID_QuillonRevisionDirectoryLib)};
  for (const auto &c : Classes()) {
    keys.push_back(OLESTR("CLSID\\") + GuidString(*c.clsid));
    keys.push_back(c.progId);
    keys.push_back(WString(c.progId) + OLESTR(".1"));
  }
  for (const IID *iid : {&IID_IRevisionDirectory, &IID_IRevisionDirectory_V2, &IID_IRevisionDirectory_V3,
                         &IID_IRevisionDirectory_V4, &IID_IRevisionDirectory_V5, &IID_IRevisionDirectory_V6,
                         &IID_IRevision, &IID_IRevision_V2, &IID_IRevisions, &IID_IAvailableRevisions,
                         &IID_IProcessorTypes, &IID_IProcessorType, &IID_IProcessorType_V2})
    keys.push_back(OLESTR("Interface\\") + GuidString(*iid));
  std::string out;
  for (const auto &name : keys) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    Dump(key, OLESTR("HKCR\\") + name, out);
    RegCloseKey(key);
  }
  return out;
}

// A controlling object for aggregation tests: counts its references and
// hands every interface but IUnknown to the inner object.
class Outer : public IUnknown {
 public:
  IUnknown *inner = nullptr;
  ULONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

class Registration : public MachineKeysTest {};

}  // namespace

TEST_F(Registration, IsRepeatableAndUndoneCompletely) {
  std::string first = DumpOurKeys();
  EXPECT_NE(first.find("InprocServer32"), std::string::npos);
  ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
  EXPECT_EQ(DumpOurKeys(), first) << "registering twice changed the registry";

  for (const auto &c : Classes()) {
    WString clsidKey = OLESTR("CLSID\\") + GuidString(*c.clsid);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + OLESTR("\\InprocServer32"))) << platform::Narrow(c.progId);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsidKey + OLESTR("\\Programmable")));
    CLSID found;
    ASSERT_EQ(CLSIDFromProgID(c.progId, &found), S_OK) << platform::Narrow(c.progId);
    EXPECT_TRUE(IsEqualGUID(found, *c.clsid));
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("TypeLib\\") + GuidString(LIBID_QuillonRevisionDirectoryLib) + OLESTR("\\7.0")));

  ASSERT_EQ(CallEntry("DllUnregisterServer"), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("CLSID"))) << "the CLSID key is never removed";
  for (const auto &c : Classes()) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("CLSID\\") + GuidString(*c.clsid))) << platform::Narrow(c.progId);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, c.progId));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, WString(c.progId) + OLESTR(".1")));
  }
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("TypeLib\\") + GuidString(LIBID_QuillonRevisionDirectoryLib)));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("Interface\\") + GuidString(IID_IRevisionDirectory_V6)));
  EXPECT_EQ(DumpOurKeys(), "");
  ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
  EXPECT_EQ(DumpOurKeys(), first);
}

TEST_F(Registration, DeletesTheAliasValueWhateverItFinds) {
  const WCHAR *key = REVDIR_RELEASES_KEY;
  for (const char *entry : {"DllRegisterServer", "DllUnregisterServer"}) {
    ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
    SetMachineString(key, OLESTR("RevisionDirectoryDatabaseVersionAliases"), OLESTR("3071=3072"));
    SetMachineString(key, OLESTR("Other"), OLESTR("kept"));
    EXPECT_EQ(CallEntry(entry), S_OK) << entry;
    HKEY k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &k), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(k, OLESTR("RevisionDirectoryDatabaseVersionAliases"), nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND)
        << entry;
    EXPECT_EQ(RegQueryValueExW(k, OLESTR("Other"), nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(k);
    ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
    DeleteMachineTree(key);
    EXPECT_EQ(CallEntry(entry), S_OK) << entry << " without the key";
  }
  ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
}

TEST(ClassObjects, AnswerOnlyTheObjectMap) {
  auto get = reinterpret_cast<LPFNGETCLASSOBJECT>(
      reinterpret_cast<void (*)()>(GetProcAddress(ComponentModule(), "DllGetClassObject")));
  ASSERT_NE(get, nullptr);
  void *p = reinterpret_cast<void *>(0xdeadbeef);
  EXPECT_EQ(get(IID_IDispatch, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(get(CLSID_Revision, IID_IClassFactory, nullptr), E_POINTER);
  ComPtr<IClassFactory> a, b;
  ASSERT_EQ(get(CLSID_Revision, IID_IClassFactory, a.OutVoid()), S_OK);
  ASSERT_EQ(get(CLSID_Revision, IID_IClassFactory, b.OutVoid()), S_OK);
  EXPECT_EQ(a.Get(), b.Get()) << "class objects are cached";
  EXPECT_EQ(GetProcAddress(ComponentModule(), "DllMain"), nullptr) << "only the four entry points are exported";
}

TEST(Objects, AnswerTheirInterfaceMapsWithOneIdentity) {
  for (const auto &c : Classes()) {
    ComPtr<IUnknown> object;
    ASSERT_EQ(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.OutVoid()), S_OK)
        << platform::Narrow(c.progId);
    for (const IID *iid : c.interfaces) {
      ComPtr<IUnknown> itf, identity;
      ASSERT_EQ(object->QueryInterface(*iid, itf.OutVoid()), S_OK)
          << platform::Narrow(c.progId) << " " << platform::Narrow(GuidString(*iid));
      ASSERT_EQ(itf->QueryInterface(IID_IUnknown, identity.OutVoid()), S_OK);
      EXPECT_EQ(identity.Get(), object.Get()) << "IUnknown identity of " << platform::Narrow(c.progId);
    }
    ComPtr<ISupportErrorInfo> support;
    HRESULT hr = object->QueryInterface(IID_ISupportErrorInfo, support.OutVoid());
    EXPECT_EQ(hr, c.errorInfo ? S_OK : E_NOINTERFACE) << platform::Narrow(c.progId);
    if (support) {
      EXPECT_EQ(support->InterfaceSupportsErrorInfo(*c.errorInfo), S_OK);
      EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, none.OutVoid()), E_NOINTERFACE);
  }
}

TEST(Objects, AggregateWithTheirOwnUnknown) {
  for (const auto &c : Classes()) {
    Outer outer;
    ASSERT_EQ(
        CoCreateInstance(*c.clsid, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&outer.inner)),
        S_OK)
        << platform::Narrow(c.progId);
    ASSERT_NE(outer.inner, static_cast<IUnknown *>(&outer));
    ULONG before = outer.refs;
    IUnknown *itf = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(*c.interfaces.front(), reinterpret_cast<void **>(&itf)), S_OK);
    EXPECT_EQ(outer.refs, before + 1) << "the inner interface counts on the controlling object";
    IUnknown *back = nullptr;
    ASSERT_EQ(itf->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&back)), S_OK);
    EXPECT_EQ(back, static_cast<IUnknown *>(&outer)) << "QueryInterface is delegated";
    back->Release();
    itf->Release();
    EXPECT_EQ(outer.refs, before);
    EXPECT_EQ(outer.inner->Release(), 0u);
    void *p = nullptr;
    EXPECT_EQ(CoCreateInstance(*c.clsid, &outer, CLSCTX_INPROC_SERVER, IID_IDispatch, &p), CLASS_E_NOAGGREGATION);
  }
}

TEST(Module, CanUnloadOnlyWhenNothingIsAlive) {
  auto canUnload = [] { return CallEntry("DllCanUnloadNow"); };
  ASSERT_EQ(canUnload(), S_OK);
  {
    auto directory = InitializedDirectory();
    EXPECT_EQ(canUnload(), S_FALSE);
    ComPtr<IRevisions> revisions;
    ASSERT_EQ(directory->get_Revisions(revisions.Out()), S_OK);
    ComPtr<IUnknown> enumerator;
    ASSERT_EQ(revisions->get__NewEnum(enumerator.Out()), S_OK);
    revisions.Reset();
    directory.Reset();
    EXPECT_EQ(canUnload(), S_FALSE) << "an enumerator keeps the module";
  }
  EXPECT_EQ(canUnload(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_Revision, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, factory.OutVoid()),
            S_OK);
  EXPECT_EQ(canUnload(), S_OK) << "a class object alone does not lock";
  factory->LockServer(TRUE);
  EXPECT_EQ(canUnload(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(canUnload(), S_OK);
}

// COM itself unloads the module once DllCanUnloadNow allows it, and loads it
// afresh for the next creation: an object alive must keep it, and its state
// must survive the detach and attach.
TEST(Module, TheRuntimeUnloadsItOnlyWhenIdle) {
  auto freeUnused = [] {
#ifdef _WIN32
    // No delay (for free-threaded servers it is ten minutes); the first call
    // may only mark the module, the second unloads it.
    CoFreeUnusedLibrariesEx(0, 0);
    CoFreeUnusedLibrariesEx(0, 0);
#else
    CoFreeUnusedLibraries();
#endif
  };
  ComPtr<IEnumVARIANT> e;
  {
    auto directory = InitializedDirectory();
    ComPtr<IRevisions> revisions;
    ASSERT_EQ(directory->get_Revisions(revisions.Out()), S_OK);
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(revisions->get__NewEnum(unknown.Out()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, e.OutVoid()), S_OK);
  }
  ReleaseComponentModule();  // only the runtime's reference is left
  freeUnused();
  VARIANT v;
  ULONG fetched = 0;
  ASSERT_EQ(e->Next(1, &v, &fetched), S_OK) << "the enumerator outlived its module";
  VariantClear(&v);
  e.Reset();
  freeUnused();
#ifdef _WIN32
  EXPECT_EQ(GetModuleHandleW(OLESTR("QuillonRevisionDirectory.dll")), nullptr) << "idle, but not unloaded";
#endif

  auto directory = InitializedDirectory(1031);
  ComPtr<IRevisions> revisions;
  ASSERT_EQ(directory->get_Revisions(revisions.Out()), S_OK);
  LONG count = 0;
  revisions->get_Count(&count);
  EXPECT_EQ(count, 50);
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeByName(directory.Get(), OLESTR("ProcessorTypes"), DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
  VariantClear(&result);
  Bstr text;
  ASSERT_EQ(directory->GetErrorDescription(RdE_RevisionNotFound, text.Out()), S_OK);
  EXPECT_EQ(text.Str().substr(0, 6), WString(OLESTR("Es wur")));
  EXPECT_NE(ComponentModule(), nullptr);
}
