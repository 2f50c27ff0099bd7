#include "component_fixture.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>

namespace {

HMODULE g_module = nullptr;

class ComponentEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // A fresh prefix: an empty registry of our own.
    char pattern[] = "/tmp/revdir-component-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_prefix = pattern;
    setenv("REVDIR_PREFIX", pattern, 1);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(CallEntry("DllRegisterServer"), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(CallEntry("DllUnregisterServer"), S_OK);
    CoUninitialize();
    std::filesystem::remove_all(m_prefix);
  }

 private:
  std::string m_prefix;
};

}  // namespace

HMODULE ComponentModule() {
  if (!g_module) g_module = LoadLibraryA(REVDIR_COMPONENT_PATH);
  return g_module;
}

HRESULT CallEntry(const char *name) {
  auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE *)()>(GetProcAddress(ComponentModule(), name));
  return entry ? entry() : E_FAIL;
}

std::string Utf8(const WString &s) {
  int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

HRESULT NewDirectory(IRevisionDirectory_V6 **out) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(W("QuillonRevisionDirectory.RevisionDirectory"), &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IRevisionDirectory_V6,
                          reinterpret_cast<void **>(out));
}

Ptr<IRevisionDirectory_V6> InitializedDirectory(LCID locale) {
  Ptr<IRevisionDirectory_V6> directory;
  EXPECT_EQ(NewDirectory(directory.out()), S_OK);
  LCID saved = GetThreadLocale();
  EXPECT_TRUE(SetThreadLocale(locale));
  if (directory) {
    EXPECT_EQ(directory->Initialize(), S_OK);
  }
  SetThreadLocale(saved);
  return Ptr<IRevisionDirectory_V6>(directory.get() ? (directory->AddRef(), directory.get()) : nullptr);
}

ErrorInfo TakeErrorInfo() {
  ErrorInfo result;
  IErrorInfo *info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return result;
  result.present = true;
  Bstr source, description;
  info->GetSource(source.out());
  info->GetDescription(description.out());
  info->GetGUID(&result.guid);
  result.source = source.str();
  result.description = description.str();
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
