#include "component_fixture.h"

#include <stdlib.h>

#include "conformance.h"
#include "fresh_prefix.h"

#ifndef _WIN32
#include <stdlib.h>

#include <filesystem>
#endif

namespace {

HMODULE g_module = nullptr;

// What registration writes and unregistration must take away again.
void ExpectNothingOfOursRegistered() {
  for (const CLSID *clsid : {&CLSID_RevisionDirectory, &CLSID_Revision, &CLSID_AvailableRevisions, &CLSID_Revisions,
                             &CLSID_ProcessorTypes, &CLSID_ProcessorType}) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("CLSID\\") + GuidString(*clsid)))
        << platform::Narrow(GuidString(*clsid));
  }
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, OLESTR("TypeLib\\") + GuidString(LIBID_QuillonRevisionDirectoryLib)));
  const WString progIdPrefix = OLESTR("QuillonRevisionDirectory.");
  WCHAR name[256];
  for (DWORD i = 0;; ++i) {
    DWORD chars = 256;
    LONG rc = RegEnumKeyExW(HKEY_CLASSES_ROOT, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_SUCCESS) {
      EXPECT_NE(WString(name, chars).rfind(progIdPrefix, 0), 0u)
          << "left registered: " << platform::Narrow(WString(name, chars));
    }
  }
  // Interfaces of our type library, found by the library they name.
  revdir::RegKey interfaces;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, OLESTR("Interface"), 0, KEY_READ, interfaces.Out()) != ERROR_SUCCESS) return;
  const WString library = GuidString(LIBID_QuillonRevisionDirectoryLib);
  for (DWORD i = 0;; ++i) {
    DWORD chars = 256;
    LONG rc = RegEnumKeyExW(interfaces.Get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    revdir::RegKey typeLib;
    WString sub = WString(name, chars) + OLESTR("\\TypeLib");
    if (RegOpenKeyExW(interfaces.Get(), sub.c_str(), 0, KEY_READ, typeLib.Out()) != ERROR_SUCCESS) continue;
    WCHAR value[64] = {};
    DWORD bytes = sizeof value - sizeof(WCHAR);
    if (RegQueryValueExW(typeLib.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &bytes) ==
        ERROR_SUCCESS) {
      EXPECT_NE(WString(value), library) << "interface left registered: " << platform::Narrow(WString(name, chars));
    }
  }
}

class ComponentEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (getenv(kChildVariable)) {
      ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
      return;
    }
#ifdef _WIN32
    // The machine's own registry. Tests declare releases below the maker's
    // key and remove the whole key again, so it must not be there already.
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMakerKey))
        << "HKLM\\" << platform::Narrow(kMakerKey) << " exists; these tests need a machine where it does not";
#endif
    // On Linux a fresh prefix: an empty registry of our own.
    UseFreshPrefix();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
  }
  void TearDown() override {
    if (getenv(kChildVariable)) {
      CoUninitialize();
      return;
    }
    EXPECT_EQ(CallEntry("DllUnregisterServer"), S_OK);
    ExpectNothingOfOursRegistered();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMakerKey)) << "a test left keys below the maker's key";
    CoUninitialize();
  }
};

}  // namespace

HMODULE ComponentModule() {
#ifdef _WIN32
  // The DLL lies beside the test program.
  if (!g_module) g_module = LoadLibraryW(FixtureFile(OLESTR("QuillonRevisionDirectory.dll")).c_str());
#else
  if (!g_module) g_module = LoadLibraryA(REVDIR_COMPONENT_PATH);
#endif
  return g_module;
}

void ReleaseComponentModule() {
  if (g_module) FreeLibrary(g_module);
  g_module = nullptr;
}

WString GuidString(REFGUID g) {
  WCHAR text[40];
  StringFromGUID2(g, text, 40);
  return text;
}

bool KeyExists(HKEY root, const WString &path) {
  revdir::RegKey k;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.Out()) == ERROR_SUCCESS;
}

HRESULT CallEntry(const char *name) {
  auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(
      reinterpret_cast<void (*)()>(GetProcAddress(ComponentModule(), name)));
  return entry ? entry() : E_FAIL;
}

HRESULT NewDirectory(IRevisionDirectory_V6 **out) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRevisionDirectory_V6,
                          reinterpret_cast<void **>(out));
}

ComPtr<IRevisionDirectory_V6> InitializedDirectory(LCID locale) {
  ComPtr<IRevisionDirectory_V6> directory;
  EXPECT_EQ(NewDirectory(directory.Out()), S_OK);
  LCID saved = GetThreadLocale();
  EXPECT_TRUE(SetThreadLocale(locale));
  if (directory) {
    EXPECT_EQ(directory->Initialize(), S_OK);
  }
  SetThreadLocale(saved);
  return ComPtr<IRevisionDirectory_V6>(directory.Get() ? (directory->AddRef(), directory.Get()) : nullptr);
}

ErrorInfo TakeErrorInfo() {
  ErrorInfo result;
  IErrorInfo *info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return result;
  result.present = true;
  Bstr source, description;
  info->GetSource(source.Out());
  info->GetDescription(description.Out());
  info->GetGUID(&result.guid);
  result.source = source.Str();
  result.description = description.Str();
  info->Release();
  return result;
}

void SetMachineString(const WCHAR *key, const WCHAR *name, const WCHAR *value) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  DWORD bytes = static_cast<DWORD>((WString(value).size() + 1) * sizeof(WCHAR));
  ASSERT_EQ(RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value), bytes), ERROR_SUCCESS);
  RegCloseKey(k);
}

void DeleteMachineTree(const WCHAR *key) { RegDeleteTreeW(HKEY_LOCAL_MACHINE, key); }

HRESULT InvokeByName(IDispatch *object, const WCHAR *name, WORD flags, VARIANT *args, UINT argCount,
                     VARIANT *result, EXCEPINFO *excep) {
  DISPID id;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS params = {args, nullptr, argCount, 0};
  UINT argErr = 0;
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep, &argErr);
}

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ComponentEnvironment);
  return RUN_ALL_TESTS();
}
