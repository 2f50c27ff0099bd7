// Type information of the component's interfaces, loaded once per process.
#include "frame/port.h"
#include <windows.h>

#include "QuillonRevisionDirectory.h"
#include "frame/dispatch_impl.h"
#include "frame/module.h"

namespace revdir {

namespace {

struct CacheEntry {
  const IID *iid;
  ITypeInfo *info;
};

CacheEntry g_cache[] = {
    {&IID_IRevisionDirectory_V6, nullptr}, {&IID_IRevision_V2, nullptr},        {&IID_IAvailableRevisions, nullptr},
    {&IID_IRevisions, nullptr},            {&IID_IProcessorTypes, nullptr},     {&IID_IProcessorType_V2, nullptr},
};

// The library is registered under its locale, 1033.
constexpr LCID kLibraryLocale = 0x0409;

}  // namespace

HRESULT GetInterfaceTypeInfo(REFIID iid, ITypeInfo **ppTypeInfo) {
  *ppTypeInfo = nullptr;
  CacheEntry *entry = nullptr;
  for (auto &e : g_cache)
    if (IsEqualGUID(*e.iid, iid)) entry = &e;
  if (!entry) return E_NOINTERFACE;
  HRESULT hr = S_OK;
  EnterModuleLock();
  if (!entry->info) {
    ITypeLib *library;
    hr = LoadRegTypeLib(LIBID_QuillonRevisionDirectoryLib, 7, 0, kLibraryLocale, &library);
    if (SUCCEEDED(hr)) {
      hr = library->GetTypeInfoOfGuid(iid, &entry->info);
      library->Release();
    }
  }
  if (entry->info) {
    entry->info->AddRef();
    *ppTypeInfo = entry->info;
  }
  LeaveModuleLock();
  return hr;
}

void ReleaseTypeInfoCache() {
  for (auto &e : g_cache) {
    if (e.info) e.info->Release();
    e.info = nullptr;
  }
}

}  // namespace revdir
