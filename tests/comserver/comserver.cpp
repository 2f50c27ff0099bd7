// The test server: one class whose objects are IPersistFile, so that a file
// moniker can create one and load a file into it.
#include "comserver.h"

#include "frame/registrar.h"

#include <new>
#include <string>

using namespace revdir;

#ifndef DECLSPEC_EXPORT  // the Windows SDK has no such macro
#define DECLSPEC_EXPORT __declspec(dllexport)
#endif
#ifndef CHARS_IN_GUID  // only the media headers define it on Windows
#define CHARS_IN_GUID 39
#endif

#define COMSERVER_EXPORT EXTERN_C DECLSPEC_EXPORT

namespace {

// Objects and server locks alive; the module may unload when both are zero.
LONG g_objects = 0;
LONG g_locks = 0;

const WCHAR kScript[] =
    OLESTR("HKCR\n")
    OLESTR("{\n")
    OLESTR("  ") REVDIR_TEST_PROGID_1 OLESTR(" = s 'Revdir Test Object'\n")
    OLESTR("  {\n")
    OLESTR("    CLSID = s '%CLSID%'\n")
    OLESTR("  }\n")
    OLESTR("  ") REVDIR_TEST_PROGID OLESTR(" = s 'Revdir Test Object'\n")
    OLESTR("  {\n")
    OLESTR("    CurVer = s '") REVDIR_TEST_PROGID_1 OLESTR("'\n")
    OLESTR("  }\n")
    OLESTR("  '") REVDIR_TEST_EXTENSION OLESTR("' = s '") REVDIR_TEST_PROGID OLESTR("'\n")
    OLESTR("  NoRemove CLSID\n")
    OLESTR("  {\n")
    OLESTR("    ForceRemove %CLSID% = s 'Revdir Test Object'\n")
    OLESTR("    {\n")
    OLESTR("      ProgID = s '") REVDIR_TEST_PROGID_1 OLESTR("'\n")
    OLESTR("      VersionIndependentProgID = s '") REVDIR_TEST_PROGID OLESTR("'\n")
    OLESTR("      InprocServer32 = s '%MODULE%'\n")
    OLESTR("      {\n")
    OLESTR("        val ThreadingModel = s 'Both'\n")
    OLESTR("      }\n")
    OLESTR("    }\n")
    OLESTR("  }\n")
    OLESTR("}\n");

class Object final : public IPersistFile {
 public:
  Object() { InterlockedIncrement(&g_objects); }

  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IPersistFile) {
      *ppv = static_cast<IPersistFile *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP GetClassID(CLSID *pClassID) override {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_RevdirTestObject;
    return S_OK;
  }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(LPCOLESTR pszFileName, DWORD) override {
    if (!pszFileName) return E_INVALIDARG;
    m_file = pszFileName;
    return S_OK;
  }
  STDMETHODIMP Save(LPCOLESTR, BOOL) override { return S_OK; }
  STDMETHODIMP SaveCompleted(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP GetCurFile(LPOLESTR *ppszFileName) override {
    if (!ppszFileName) return E_POINTER;
    *ppszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((m_file.size() + 1) * sizeof(WCHAR)));
    if (!*ppszFileName) return E_OUTOFMEMORY;
    m_file.copy(*ppszFileName, m_file.size());
    (*ppszFileName)[m_file.size()] = 0;
    return S_OK;
  }

 private:
  ~Object() { InterlockedDecrement(&g_objects); }
  LONG m_refs = 1;
  std::basic_string<WCHAR> m_file;
};

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory; it counts as a lock while anybody holds it.
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&g_locks)) + 1; }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&g_locks)) + 1; }
  STDMETHODIMP CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    Object *object = new (std::nothrow) Object;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL fLock) override {
    if (fLock)
      InterlockedIncrement(&g_locks);
    else
      InterlockedDecrement(&g_locks);
    return S_OK;
  }
};

Factory g_factory;

HRESULT RunScript(BOOL doRegister) {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&g_factory), &self))
    return HRESULT_FROM_WIN32(GetLastError());
  WCHAR path[MAX_PATH + 1];
  DWORD n = GetModuleFileNameW(self, path, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return E_FAIL;
  WCHAR clsid[CHARS_IN_GUID];
  StringFromGUID2(CLSID_RevdirTestObject, clsid, CHARS_IN_GUID);
  const REGISTRAR_VAR vars[] = {{OLESTR("MODULE"), path}, {OLESTR("CLSID"), clsid}};
  return RegistrarRun(kScript, doRegister, vars, 2);
}

}  // namespace

COMSERVER_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID *ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_RevdirTestObject) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

COMSERVER_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }

COMSERVER_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer(void) { return RunScript(TRUE); }

COMSERVER_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer(void) { return RunScript(FALSE); }
