// The four entry points of the in-process server, and its process attach and
// detach.
#include "frame/port.h"
#include <objbase.h>
#include <oleauto.h>
#include "frame/registrar.h"
#include <windows.h>

#include <string>
#include <string_view>

#include "frame/boundary.h"
#include "frame/module.h"
#include "platform/text/wide_text.h"
#include "resolve/database_version_aliases.h"

namespace revdir {

namespace {

HRESULT ModulePath(std::basic_string<WCHAR> *path) {
  WCHAR buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(ModuleInstance(), buffer, ARRAYSIZE(buffer));
  if (n == 0 || n >= ARRAYSIZE(buffer)) return E_FAIL;
  path->assign(buffer, n);
  return S_OK;
}

// Runs the registry script resource `id` (UTF-8 text).
HRESULT RunScript(UINT id, bool doRegister, const std::basic_string<WCHAR> &modulePath) {
  HINSTANCE module = ModuleInstance();
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), OLESTR("REGISTRY"));
  if (!info) return HRESULT_FROM_WIN32(GetLastError());
  DWORD size = SizeofResource(module, info);
  auto *bytes = static_cast<const char *>(LockResource(LoadResource(module, info)));
  if (!bytes) return E_FAIL;
  platform::WideString script = platform::Widen(std::string_view(bytes, size));
  if (script.empty() && size) return HRESULT_FROM_WIN32(GetLastError());
  REGISTRAR_VAR vars[] = {{OLESTR("MODULE"), modulePath.c_str()}};
  return RegistrarRun(script.c_str(), doRegister ? TRUE : FALSE, vars, ARRAYSIZE(vars));
}

HRESULT RegisterAll(bool doRegister) {
  std::basic_string<WCHAR> path;
  HRESULT hr = ModulePath(&path);
  if (FAILED(hr)) return hr;
  size_t count;
  const ObjectMapEntry *map = ObjectMap(&count);
  for (size_t i = 0; i < count; ++i) {
    hr = RunScript(map[i].registryScript, doRegister, path);
    if (FAILED(hr)) return hr;
  }
  ITypeLib *library;
  hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  if (doRegister) {
    hr = RegisterTypeLib(library, const_cast<LPOLESTR>(path.c_str()), nullptr);
  } else {
    TLIBATTR *attr;
    hr = library->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
      hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
      library->ReleaseTLibAttr(attr);
    }
  }
  library->Release();
  return hr;
}

}  // namespace

}  // namespace revdir

EXTERN_C REVDIR_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID *ppv) {
  return revdir::GetClassObject(rclsid, riid, ppv);
}

EXTERN_C REVDIR_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
  return revdir::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

// Both registration entry points first forget every database-version alias,
// whatever their own outcome.
EXTERN_C REVDIR_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer(void) {
  revdir::DeleteDatabaseVersionAliasesValue();
  return revdir::OutOfMemoryGuard([] { return revdir::RegisterAll(true); });
}

EXTERN_C REVDIR_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer(void) {
  revdir::DeleteDatabaseVersionAliasesValue();
  return revdir::OutOfMemoryGuard([] { return revdir::RegisterAll(false); });
}

EXTERN_C BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    revdir::ModuleInitialize(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    revdir::ModuleTerminate();
  }
  return TRUE;
}

#ifndef _WIN32
// A shared library's load and unload are its process attach and detach.
namespace {
struct ProcessAttach {
  ProcessAttach() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&DllMain), &self);
    DllMain(self, DLL_PROCESS_ATTACH, nullptr);
  }
  ~ProcessAttach() { DllMain(revdir::ModuleInstance(), DLL_PROCESS_DETACH, nullptr); }
} g_processAttach;
}  // namespace
#endif
