// Registration of type libraries under HKEY_CLASSES_ROOT\TypeLib and of
// their automation interfaces under HKEY_CLASSES_ROOT\Interface, and finding
// a library again through those keys.
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <optional>
#include <string>

#include "advapi32/predefined.h"
#include "kernel32/text.h"
#include "oleaut32/typelib_impl.h"

namespace {

// The universal marshaler of automation interfaces.
constexpr char16_t kProxyStub[] = u"{00020424-0000-0000-C000-000000000046}";

std::u16string GuidText(REFGUID g) {
  char buf[40];
  snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
           g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return platform::FromUtf8Lossy(buf);
}

// Version and locale keys are hexadecimal, as Windows writes them.
std::u16string Hex(unsigned v) {
  char buf[16];
  snprintf(buf, sizeof buf, "%x", v);
  return platform::FromUtf8Lossy(buf);
}

std::u16string Decimal(unsigned v) {
  char buf[16];
  snprintf(buf, sizeof buf, "%u", v);
  return platform::FromUtf8Lossy(buf);
}

std::u16string VersionText(WORD major, WORD minor) { return Hex(major) + u"." + Hex(minor); }

const char16_t *SysKindName(SYSKIND k) {
  switch (k) {
    case SYS_WIN16: return u"win16";
    case SYS_WIN32: return u"win32";
    case SYS_MAC: return u"mac";
    default: return u"win64";
  }
}

// Creates `path` under `root` and sets `name` (null: the default value) to `value`.
LSTATUS SetString(HKEY root, const std::u16string &path, const WCHAR *name, const std::u16string &value) {
  HKEY key;
  LSTATUS st = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                               nullptr);
  if (st != ERROR_SUCCESS) return st;
  st = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
  return st;
}

bool GetString(HKEY root, const std::u16string &path, std::u16string *out) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  bool ok = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ);
  if (ok) {
    std::u16string buf(size / sizeof(WCHAR) + 1, u'\0');
    ok = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(buf.data()), &size) ==
         ERROR_SUCCESS;
    if (ok) *out = std::u16string(platform::View(buf.c_str()));
  }
  RegCloseKey(key);
  return ok;
}

bool KeyExists(HKEY root, const std::u16string &path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool HasSubkeys(HKEY root, const std::u16string &path) {
  HKEY key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0;
  bool has = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr) == ERROR_SUCCESS &&
             subkeys > 0;
  RegCloseKey(key);
  return has;
}

// Finds the registered file of a library: the highest minor version not
// below the one asked for, and the locale asked for, else its primary
// language, else the neutral locale.
HRESULT FindRegistered(REFGUID guid, WORD major, WORD minor, LCID lcid, std::u16string *path) {
  std::u16string base = u"TypeLib\\" + GuidText(guid);
  HKEY key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, base.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return TYPE_E_LIBNOTREGISTERED;
  std::u16string best;
  int bestMinor = -1;
  WCHAR name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    unsigned maj = 0, min = 0;
    auto text = platform::ToUtf8(platform::View(name));
    char tail;
    if (!text || sscanf(text->c_str(), "%x.%x%c", &maj, &min, &tail) != 2) continue;
    if (maj == major && min >= minor && static_cast<int>(min) > bestMinor) {
      bestMinor = static_cast<int>(min);
      best = name;
    }
  }
  RegCloseKey(key);
  if (bestMinor < 0) return TYPE_E_LIBNOTREGISTERED;
  std::u16string version = base + u"\\" + best;
  const LCID tries[] = {lcid, static_cast<LCID>(PRIMARYLANGID(lcid)), 0};
  for (LCID l : tries) {
    if (GetString(HKEY_CLASSES_ROOT, version + u"\\" + Hex(l) + u"\\win64", path)) return S_OK;
  }
  // Otherwise the closest match is whatever locale the library was registered under.
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, version.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return TYPE_E_LIBNOTREGISTERED;
  bool found = false;
  for (DWORD i = 0; !found; ++i) {
    DWORD len = 256;
    if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::u16string_view n(name, len);
    if (platform::EqualNoCase(n, u"FLAGS") || platform::EqualNoCase(n, u"HELPDIR")) continue;
    found = GetString(HKEY_CLASSES_ROOT, version + u"\\" + std::u16string(n) + u"\\win64", path);
  }
  RegCloseKey(key);
  if (found) return S_OK;
  return TYPE_E_LIBNOTREGISTERED;
}

HRESULT Register(HKEY root, ITypeLib *ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  if (!ptlib || !szFullPath) return E_INVALIDARG;
  TLIBATTR *attr = nullptr;
  HRESULT hr = ptlib->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  TLIBATTR a = *attr;
  ptlib->ReleaseTLibAttr(attr);
  BSTR name = nullptr, doc = nullptr;
  ptlib->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  std::u16string libText(platform::View(doc && *doc ? doc : name));
  SysFreeString(name);
  SysFreeString(doc);

  std::u16string libid = GuidText(a.guid);
  std::u16string version = u"TypeLib\\" + libid + u"\\" + VersionText(a.wMajorVerNum, a.wMinorVerNum);
  std::u16string path(platform::View(szFullPath));
  std::u16string helpDir;
  if (szHelpDir) {
    helpDir = szHelpDir;
  } else {
    size_t cut = path.find_last_of(u"\\/");
    helpDir = cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
  }
  // FLAGS holds the library's own flags, not whether it was read from disk.
  bool ok =
      SetString(root, version, nullptr, libText) == ERROR_SUCCESS &&
      SetString(root, version + u"\\FLAGS", nullptr, Decimal(a.wLibFlags & ~LIBFLAG_FHASDISKIMAGE)) == ERROR_SUCCESS &&
      SetString(root, version + u"\\" + Hex(a.lcid) + u"\\" + SysKindName(a.syskind), nullptr, path) == ERROR_SUCCESS &&
      SetString(root, version + u"\\HELPDIR", nullptr, helpDir) == ERROR_SUCCESS;
  if (!ok) return TYPE_E_REGISTRYACCESS;

  // Automation interfaces are marshaled from the library.
  UINT count = ptlib->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    ITypeInfo *info = nullptr;
    if (FAILED(ptlib->GetTypeInfo(i, &info))) continue;
    TYPEATTR *ta = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&ta))) {
      bool automation = ta->typekind == TKIND_DISPATCH ||
                        (ta->typekind == TKIND_INTERFACE && (ta->wTypeFlags & TYPEFLAG_FOLEAUTOMATION));
      if (automation) {
        BSTR itfName = nullptr;
        info->GetDocumentation(MEMBERID_NIL, &itfName, nullptr, nullptr, nullptr);
        std::u16string key = u"Interface\\" + GuidText(ta->guid);
        ok = SetString(root, key, nullptr, std::u16string(platform::View(itfName))) == ERROR_SUCCESS &&
             SetString(root, key + u"\\ProxyStubClsid", nullptr, kProxyStub) == ERROR_SUCCESS &&
             SetString(root, key + u"\\ProxyStubClsid32", nullptr, kProxyStub) == ERROR_SUCCESS &&
             SetString(root, key + u"\\TypeLib", nullptr, libid) == ERROR_SUCCESS &&
             SetString(root, key + u"\\TypeLib", u"Version", VersionText(a.wMajorVerNum, a.wMinorVerNum)) ==
                 ERROR_SUCCESS;
        SysFreeString(itfName);
        if (!ok) hr = TYPE_E_REGISTRYACCESS;
      }
      info->ReleaseTypeAttr(ta);
    }
    info->Release();
  }
  return SUCCEEDED(hr) ? S_OK : hr;
}

HRESULT Unregister(HKEY root, REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  std::u16string libid = GuidText(libID);
  std::u16string libKey = u"TypeLib\\" + libid;
  std::u16string version = libKey + u"\\" + VersionText(wVerMajor, wVerMinor);
  std::u16string localeKey = version + u"\\" + Hex(lcid);
  std::u16string fileKey = localeKey + u"\\" + SysKindName(syskind);
  std::u16string path;
  if (!GetString(root, fileKey, &path)) return TYPE_E_REGISTRYACCESS;

  // The interface keys that point at this library go first; which ones the
  // library itself says.
  ITypeLib *lib = nullptr;
  if (SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib))) {
    UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
      ITypeInfo *info = nullptr;
      if (FAILED(lib->GetTypeInfo(i, &info))) continue;
      TYPEATTR *ta = nullptr;
      if (SUCCEEDED(info->GetTypeAttr(&ta))) {
        std::u16string key = u"Interface\\" + GuidText(ta->guid);
        std::u16string owner;
        if (GetString(root, key + u"\\TypeLib", &owner) && platform::EqualNoCase(owner, libid))
          RegDeleteTreeW(root, key.c_str());
        info->ReleaseTypeAttr(ta);
      }
      info->Release();
    }
    lib->Release();
  }
  RegDeleteTreeW(root, fileKey.c_str());
  if (!HasSubkeys(root, localeKey)) RegDeleteTreeW(root, localeKey.c_str());
  // The version key goes when no other locale remains under it.
  bool otherLocale = false;
  HKEY key;
  if (RegOpenKeyExW(root, version.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    WCHAR name[256];
    for (DWORD i = 0;; ++i) {
      DWORD len = 256;
      if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      std::u16string_view n(name, len);
      if (!platform::EqualNoCase(n, u"FLAGS") && !platform::EqualNoCase(n, u"HELPDIR")) otherLocale = true;
    }
    RegCloseKey(key);
  }
  if (!otherLocale) RegDeleteTreeW(root, version.c_str());
  if (KeyExists(root, libKey) && !HasSubkeys(root, libKey)) RegDeleteKeyW(root, libKey.c_str());
  return S_OK;
}

// Where RegisterTypeLib writes: HKEY_CLASSES_ROOT as mapped for the
// process once per-user registration is enabled, else its default mapping,
// as Windows keeps type libraries machine-wide unless asked.
std::atomic<bool> g_perUser{false};

bool PerUserEnabled() { return g_perUser.load() || getenv("OAPERUSERTLIBREG") != nullptr; }

// HKEY_CURRENT_USER\Software\Classes, where the *ForUser functions write.
HRESULT OpenUserClasses(HKEY *key) {
  platform::DefaultKeyMapping real;
  LSTATUS st = RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Classes", 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, key, nullptr);
  return st == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}

}  // namespace

void WINAPI OaEnablePerUserTLibRegistration(void) { g_perUser = true; }

HRESULT WINAPI RegisterTypeLib(ITypeLib *ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir) {
  std::optional<platform::DefaultKeyMapping> machine;
  if (!PerUserEnabled()) machine.emplace();
  return Register(HKEY_CLASSES_ROOT, ptlib, szFullPath, szHelpDir);
}

HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  std::optional<platform::DefaultKeyMapping> machine;
  if (!PerUserEnabled()) machine.emplace();
  return Unregister(HKEY_CLASSES_ROOT, libID, wVerMajor, wVerMinor, lcid, syskind);
}

HRESULT WINAPI RegisterTypeLibForUser(ITypeLib *ptlib, OLECHAR *szFullPath, OLECHAR *szHelpDir) {
  HKEY user;
  if (HRESULT hr = OpenUserClasses(&user); FAILED(hr)) return hr;
  HRESULT hr = Register(user, ptlib, szFullPath, szHelpDir);
  RegCloseKey(user);
  return hr;
}

HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                        SYSKIND syskind) {
  HKEY user;
  if (HRESULT hr = OpenUserClasses(&user); FAILED(hr)) return hr;
  HRESULT hr = Unregister(user, libID, wMajorVerNum, wMinorVerNum, lcid, syskind);
  RegCloseKey(user);
  return hr;
}

HRESULT WINAPI QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid, BSTR *lpbstrPathName) {
  if (!lpbstrPathName) return E_INVALIDARG;
  *lpbstrPathName = nullptr;
  std::u16string path;
  HRESULT hr = FindRegistered(guid, wMaj, wMin, lcid, &path);
  if (FAILED(hr)) return hr;
  *lpbstrPathName = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
  return *lpbstrPathName ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib **pptlib) {
  if (!pptlib) return E_INVALIDARG;
  *pptlib = nullptr;
  std::u16string path;
  HRESULT hr = FindRegistered(rguid, wVerMajor, wVerMinor, lcid, &path);
  if (FAILED(hr)) return hr;
  hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, pptlib);
  if (FAILED(hr)) return hr;
  // The file must hold the library that the keys name.
  TLIBATTR *attr = nullptr;
  if (SUCCEEDED((*pptlib)->GetLibAttr(&attr))) {
    bool same = attr->guid == rguid;
    (*pptlib)->ReleaseTLibAttr(attr);
    if (same) return S_OK;
  }
  (*pptlib)->Release();
  *pptlib = nullptr;
  return TYPE_E_LIBNOTREGISTERED;
}
