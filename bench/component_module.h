// The component module loaded by path and its classes created through its
// class factories, without a registration: what the benchmarks measure is
// the objects, not the activation.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <string>

#include "QuillonRevisionDirectory.h"

inline IClassFactory *ComponentFactory(REFCLSID clsid) {
  static HMODULE g_module = LoadLibraryA(REVDIR_COMPONENT_PATH);
  using GetClassObject = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
  auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void *>(GetProcAddress(g_module, "DllGetClassObject")));
  IClassFactory *factory = nullptr;
  if (!get || FAILED(get(clsid, IID_IClassFactory, reinterpret_cast<void **>(&factory)))) return nullptr;
  return factory;
}

// A new directory, or null.
inline IRevisionDirectory_V6 *NewComponentDirectory() {
  IClassFactory *factory = ComponentFactory(CLSID_RevisionDirectory);
  IRevisionDirectory_V6 *directory = nullptr;
  if (factory) {
    factory->CreateInstance(nullptr, IID_IRevisionDirectory_V6, reinterpret_cast<void **>(&directory));
    factory->Release();
  }
  return directory;
}

// A REG_SZ value, creating its key.
inline void SetRegistryString(HKEY root, const std::u16string &key, const WCHAR *name, const WCHAR *value) {
  HKEY k;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) return;
  RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                 static_cast<DWORD>((std::u16string(value).size() + 1) * sizeof(WCHAR)));
  RegCloseKey(k);
}
