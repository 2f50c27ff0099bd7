// Modules of this process. An HMODULE is the address at which the module's
// image (its ELF header) is loaded, as on Windows, so it is valid in every
// thread and for modules loaded by anyone (the dynamic linker included).
//
// A module's own HMODULE: a shared library has no DllMain receiving its
// instance; its initialisation (a constructor function or a static object)
// runs at load, and it finds its handle from any of its own addresses:
//     HMODULE self;
//     GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
//                        GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
//                        reinterpret_cast<LPCWSTR>(&SomeFunctionOfTheModule), &self);
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace platform {

struct ModuleInfo {
  uintptr_t base = 0;
  std::string path;  // as the dynamic linker knows it; the program's own file for the main module
  bool main = false;
};

// The loaded module whose image starts at `module` (null: the program).
std::optional<ModuleInfo> FindModule(HMODULE module);

// The address of a symbol that the module itself exports (not one of its
// dependencies), or null.
void *ModuleSymbol(const ModuleInfo &module, const char *name);

}  // namespace platform
