// Activation through the registry: ProgIDs, class objects of in-process
// servers, and the table of server modules loaded for them.
#include <objbase.h>
#include <winreg.h>

#include <mutex>
#include <string>
#include <vector>

#include "ole32/com_internal.h"
#include "kernel32/text.h"

namespace platform {
namespace {

class Key {
 public:
  Key() = default;
  Key(const Key &) = delete;
  Key &operator=(const Key &) = delete;
  ~Key() {
    if (m_h) RegCloseKey(m_h);
  }
  LSTATUS Open(HKEY parent, const std::u16string &sub) { return RegOpenKeyExW(parent, sub.c_str(), 0, KEY_READ, &m_h); }
  HKEY Get() const { return m_h; }

 private:
  HKEY m_h = nullptr;
};

// The default value (or a named value) of a key as text; REG_SZ or
// REG_EXPAND_SZ, without its terminator.
LSTATUS ReadString(HKEY key, const WCHAR *value, std::u16string &out) {
  DWORD type = 0, size = 0;
  LSTATUS rc = RegQueryValueExW(key, value, nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_FILE_NOT_FOUND;
  std::u16string buf(size / sizeof(WCHAR) + 1, u'\0');
  size = static_cast<DWORD>(buf.size() * sizeof(WCHAR));
  rc = RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE *>(buf.data()), &size);
  if (rc != ERROR_SUCCESS) return rc;
  buf.resize(size / sizeof(WCHAR));
  while (!buf.empty() && buf.back() == 0) buf.pop_back();
  out = std::move(buf);
  return ERROR_SUCCESS;
}

LSTATUS ReadSubkeyDefault(HKEY root, const std::u16string &path, std::u16string &out) {
  Key key;
  LSTATUS rc = key.Open(root, path);
  if (rc != ERROR_SUCCESS) return rc;
  return ReadString(key.Get(), nullptr, out);
}

// ---------------------------------------------------------------------------
// Server modules loaded for activation: each once per process, until
// CoFreeUnusedLibraries finds it idle.

struct ServerModule {
  std::u16string path;
  HMODULE module;
  LPFNGETCLASSOBJECT getClassObject;
  LPFNCANUNLOADNOW canUnloadNow;
};

// Recursive: a server's DllGetClassObject may itself activate classes.
std::recursive_mutex g_modulesMutex;
std::vector<ServerModule> &Modules() {
  static auto *g_modules = new std::vector<ServerModule>;
  return *g_modules;
}

template <typename Fn>
Fn ExportAs(HMODULE module, const char *name) {
  // Through void(*)(): the one cast between function types that is well defined.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Finds or loads the server at path. Called with g_modulesMutex held.
HRESULT ServerFor(const std::u16string &path, LPFNGETCLASSOBJECT *getClassObject) {
  auto &modules = Modules();
  for (const ServerModule &m : modules) {
    if (EqualNoCase(m.path, path)) {
      *getClassObject = m.getClassObject;
      return S_OK;
    }
  }
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    DWORD err = GetLastError();
    return HRESULT_FROM_WIN32(err ? err : ERROR_MOD_NOT_FOUND);
  }
  // The same module reached by another spelling of its path.
  for (const ServerModule &m : modules) {
    if (m.module == module) {
      FreeLibrary(module);
      *getClassObject = m.getClassObject;
      return S_OK;
    }
  }
  auto get = ExportAs<LPFNGETCLASSOBJECT>(module, "DllGetClassObject");
  if (!get) {
    FreeLibrary(module);
    return CO_E_ERRORINDLL;
  }
  auto canUnload = ExportAs<LPFNCANUNLOADNOW>(module, "DllCanUnloadNow");
  modules.push_back({path, module, get, canUnload});
  *getClassObject = get;
  return S_OK;
}

}  // namespace
}  // namespace platform

using platform::GuidText;

HRESULT STDAPICALLTYPE CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (!lpszProgID || !lpclsid) return E_INVALIDARG;
  *lpclsid = GUID_NULL;
  std::u16string progId(platform::View(lpszProgID));
  // The version-independent ProgID names its current version in CurVer; one
  // step is all Windows follows.
  for (int step = 0; step < 2; ++step) {
    if (progId.empty()) return CO_E_CLASSSTRING;
    platform::Key key;
    if (key.Open(HKEY_CLASSES_ROOT, progId) != ERROR_SUCCESS) return CO_E_CLASSSTRING;
    std::u16string text;
    if (platform::ReadSubkeyDefault(key.Get(), u"CLSID", text) == ERROR_SUCCESS)
      return platform::ParseBracedGuid(text.c_str(), lpclsid) ? S_OK : CO_E_CLASSSTRING;
    if (platform::ReadSubkeyDefault(key.Get(), u"CurVer", text) != ERROR_SUCCESS) break;
    progId = text;
  }
  return CO_E_CLASSSTRING;
}

HRESULT STDAPICALLTYPE ProgIDFromCLSID(REFCLSID clsid, LPOLESTR *lplpszProgID) {
  if (!lplpszProgID) return E_INVALIDARG;
  *lplpszProgID = nullptr;
  std::u16string progId;
  if (platform::ReadSubkeyDefault(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(clsid) + u"\\ProgID", progId) !=
          ERROR_SUCCESS ||
      progId.empty())
    return REGDB_E_CLASSNOTREG;
  auto *out = static_cast<LPOLESTR>(CoTaskMemAlloc((progId.size() + 1) * sizeof(OLECHAR)));
  if (!out) return E_OUTOFMEMORY;
  std::copy(progId.begin(), progId.end(), out);
  out[progId.size()] = 0;
  *lplpszProgID = out;
  return S_OK;
}

HRESULT STDAPICALLTYPE GetClassFile(LPCOLESTR szFilename, CLSID *pclsid) {
  if (!szFilename || !pclsid) return E_INVALIDARG;
  *pclsid = GUID_NULL;
  // The class comes from the extension's ProgID; files are not opened, so
  // compound files are not recognised by their contents.
  std::u16string_view name = platform::View(szFilename);
  size_t dot = name.find_last_of(u'.');
  size_t slash = name.find_last_of(u"\\/");
  if (dot == std::u16string_view::npos || (slash != std::u16string_view::npos && dot < slash) ||
      dot + 1 == name.size())
    return MK_E_INVALIDEXTENSION;
  std::u16string progId;
  if (platform::ReadSubkeyDefault(HKEY_CLASSES_ROOT, std::u16string(name.substr(dot)), progId) != ERROR_SUCCESS)
    return MK_E_INVALIDEXTENSION;
  if (FAILED(CLSIDFromProgID(progId.c_str(), pclsid))) {
    *pclsid = GUID_NULL;
    return MK_E_INVALIDEXTENSION;
  }
  return S_OK;
}

HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO *, REFIID riid,
                                        LPVOID *ppv) {
  if (!ppv) return E_INVALIDARG;
  *ppv = nullptr;
  if (!platform::ComUsable()) return CO_E_NOTINITIALIZED;
  // Only in-process servers are served; a class asked for in another context
  // is answered as one with no server registered for it.
  if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  std::u16string path;
  if (platform::ReadSubkeyDefault(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(rclsid) + u"\\InprocServer32", path) !=
          ERROR_SUCCESS ||
      path.empty())
    return REGDB_E_CLASSNOTREG;
  std::lock_guard lock(platform::g_modulesMutex);
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  HRESULT hr = platform::ServerFor(path, &getClassObject);
  if (FAILED(hr)) return hr;
  // Held across the call so that CoFreeUnusedLibraries cannot unload the
  // module while it hands out its class object.
  return getClassObject(rclsid, riid, ppv);
}

HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        LPVOID *ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  // An aggregated object hands out only its inner IUnknown.
  if (pUnkOuter && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  IClassFactory *factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void **>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

void STDAPICALLTYPE CoFreeUnusedLibraries(void) {
  std::lock_guard lock(platform::g_modulesMutex);
  auto &modules = platform::Modules();
  for (size_t i = 0; i < modules.size();) {
    // A server without DllCanUnloadNow stays loaded.
    if (modules[i].canUnloadNow && modules[i].canUnloadNow() == S_OK) {
      HMODULE module = modules[i].module;
      modules.erase(modules.begin() + static_cast<ptrdiff_t>(i));
      FreeLibrary(module);
    } else {
      ++i;
    }
  }
}
