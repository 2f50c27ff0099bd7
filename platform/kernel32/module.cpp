// Module loading and queries on top of the dynamic linker.
#include "kernel32/module.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include "kernel32/paths.h"
#include "platform_exports.h"
#include "kernel32/text.h"

namespace platform {

namespace {

// The program's file does not change while it runs.
const std::string &ProgramPath() {
  static const std::string kPath = [] {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  }();
  return kPath;
}

std::string BaseName(const std::string &path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string &path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Every loaded object, the program first, as the dynamic linker lists them.
std::vector<ModuleInfo> LoadedModules() {
  std::vector<ModuleInfo> modules;
  dl_iterate_phdr(
      [](dl_phdr_info *info, size_t, void *data) {
        uintptr_t low = UINTPTR_MAX;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < low) low = info->dlpi_phdr[i].p_vaddr;
        }
        if (low == UINTPTR_MAX) return 0;
        auto *list = static_cast<std::vector<ModuleInfo> *>(data);
        ModuleInfo m;
        m.base = (info->dlpi_addr + low) & ~uintptr_t(getpagesize() - 1);
        m.main = list->empty();
        m.path = m.main ? ProgramPath() : std::string(info->dlpi_name ? info->dlpi_name : "");
        if (m.main || !m.path.empty()) list->push_back(std::move(m));
        return 0;
      },
      &modules);
  return modules;
}

std::optional<ModuleInfo> ModuleAt(uintptr_t base) {
  for (auto &m : LoadedModules()) {
    if (m.base == base) return m;
  }
  return std::nullopt;
}

std::optional<ModuleInfo> ModuleContaining(const void *address) {
  Dl_info info;
  if (!address || !dladdr(address, &info) || !info.dli_fbase) return std::nullopt;
  return ModuleAt(reinterpret_cast<uintptr_t>(info.dli_fbase));
}

// The dlopen handles this process took through LoadLibrary and
// GetModuleHandleEx; FreeLibrary gives them back one at a time.
struct Refs {
  std::mutex lock;
  std::multimap<uintptr_t, void *> handles;
};

Refs &References() {
  static Refs *g_refs = new Refs;
  return *g_refs;
}

void AddReference(uintptr_t base, void *handle) {
  Refs &r = References();
  std::lock_guard<std::mutex> g(r.lock);
  r.handles.emplace(base, handle);
}

// Windows appends ".dll" to a name without extension; here a module is a
// shared object, so "name.dll" and "name" may also be "name.so" or
// "libname.so".
std::vector<std::string> NameVariants(const std::string &name) {
  std::vector<std::string> v{name};
  auto ends = [&](const char *suffix) {
    size_t n = strlen(suffix);
    return name.size() > n && EqualNoCase(FromUtf8Lossy(name.substr(name.size() - n)), FromUtf8Lossy(suffix));
  };
  std::string stem;
  if (ends(".dll"))
    stem = name.substr(0, name.size() - 4);
  else if (name.find('.') == std::string::npos)
    stem = name, v.push_back(name + ".dll");
  if (!stem.empty()) {
    v.push_back(stem + ".so");
    if (stem.compare(0, 3, "lib") != 0) v.push_back("lib" + stem + ".so");
  }
  return v;
}

bool Exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string &path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// Why dlopen refused a file that exists.
DWORD LoadError(const std::string &path, const char *why) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return ERROR_MOD_NOT_FOUND;
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  unsigned char magic[4] = {};
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ERROR_ACCESS_DENIED;
  ssize_t n = read(fd, magic, sizeof magic);
  close(fd);
  if (n != 4 || memcmp(magic, "\x7f" "ELF", 4) != 0) return ERROR_BAD_EXE_FORMAT;
  std::string text = why ? why : "";
  // A dependency that is missing, or an import it lacks, as Windows reports them.
  if (text.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  if (text.find("cannot open shared object file") != std::string::npos &&
      text.compare(0, path.size(), path) != 0)
    return ERROR_MOD_NOT_FOUND;
  return ERROR_BAD_EXE_FORMAT;
}

HMODULE Load(const std::string &path, DWORD &error) {
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    error = LoadError(path, dlerror());
    return nullptr;
  }
  link_map *lm = nullptr;
  Dl_info info;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &lm) != 0 || !lm || !dladdr(lm->l_ld, &info) || !info.dli_fbase) {
    dlclose(handle);
    error = ERROR_BAD_EXE_FORMAT;
    return nullptr;
  }
  uintptr_t base = reinterpret_cast<uintptr_t>(info.dli_fbase);
  AddReference(base, handle);
  return reinterpret_cast<HMODULE>(base);
}

// A loaded module by name: a path names the file, a bare name any module
// whose file name matches one of its variants, ignoring case.
std::optional<ModuleInfo> FindLoaded(std::u16string_view name) {
  bool hasPath = name.find_first_of(u"\\/:") != std::u16string_view::npos;
  auto modules = LoadedModules();
  if (hasPath) {
    auto path = UnixPath(name);
    if (!path) return std::nullopt;
    std::string want = RealPath(*path);
    // Resolving every module's path costs a system call per component; only
    // the file itself (same device and inode) can have the same real path,
    // and a name that resolves to no file only a module's name as it is.
    struct stat target;
    bool exists = stat(want.c_str(), &target) == 0;
    for (auto &m : modules) {
      struct stat st;
      if (exists ? stat(m.path.c_str(), &st) != 0 || st.st_dev != target.st_dev || st.st_ino != target.st_ino
                 : m.path != want)
        continue;
      if (RealPath(m.path) == want) return m;
    }
    return std::nullopt;
  }
  std::vector<std::u16string> names;
  names.reserve(modules.size());
  for (auto &m : modules) names.push_back(FromUtf8Lossy(BaseName(m.path)));
  for (const auto &variant : NameVariants(ToUtf8Lossy(name))) {
    std::u16string v = FromUtf8Lossy(variant);
    for (size_t i = 0; i < modules.size(); ++i) {
      if (EqualNoCase(names[i], v)) return modules[i];
    }
  }
  return std::nullopt;
}

HMODULE LoadLibraryImpl(std::u16string_view name) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DWORD error = ERROR_MOD_NOT_FOUND;
  bool hasPath = name.find_first_of(u"\\/:") != std::u16string_view::npos;
  if (hasPath) {
    auto path = UnixPath(name);
    if (!path) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    std::vector<std::string> candidates{*path};
    if (!Exists(*path)) {
      std::string dir = DirName(*path);
      for (const auto &v : NameVariants(BaseName(*path))) {
        if (auto p = UnixPathUtf8(dir + "/" + v); p && Exists(*p)) candidates.push_back(*p);
      }
    }
    for (const auto &c : candidates) {
      if (!Exists(c)) continue;
      HMODULE h = Load(c, error);
      if (!h) SetLastError(error);
      return h;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }

  std::string utf8 = ToUtf8Lossy(name);
  // A module already loaded under this name is used again, as on Windows.
  if (auto loaded = FindLoaded(name)) {
    if (loaded->main) return reinterpret_cast<HMODULE>(loaded->base);
    HMODULE h = Load(loaded->path, error);
    if (h) return h;
  }
  // Then the program's folder, then the dynamic linker's search.
  std::string programDir = DirName(ProgramPath());
  for (const auto &v : NameVariants(utf8)) {
    if (auto p = UnixPathUtf8(programDir + "/" + v); p && Exists(*p)) {
      HMODULE h = Load(*p, error);
      if (!h) SetLastError(error);
      return h;
    }
  }
  for (const auto &v : NameVariants(utf8)) {
    void *handle = dlopen(v.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) continue;
    link_map *lm = nullptr;
    std::string path = dlinfo(handle, RTLD_DI_LINKMAP, &lm) == 0 && lm ? lm->l_name : v;
    dlclose(handle);
    if (HMODULE h = Load(path, error)) return h;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

}  // namespace

std::optional<ModuleInfo> FindModule(HMODULE module) {
  if (!module) {
    auto modules = LoadedModules();
    if (modules.empty()) return std::nullopt;
    return modules.front();
  }
  return ModuleAt(reinterpret_cast<uintptr_t>(module));
}

void *ModuleSymbol(const ModuleInfo &module, const char *name) {
  void *handle = module.main ? dlopen(nullptr, RTLD_NOW) : dlopen(module.path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return nullptr;
  void *symbol = dlsym(handle, name);
  // An export name that an ELF symbol cannot carry ("@" means a symbol
  // version there) is listed in the module's export table instead, as a
  // .def file lists it for a DLL.
  if (!symbol) {
    auto *table = static_cast<const PLATFORM_EXPORT *>(dlsym(handle, PLATFORM_EXPORT_TABLE_SYMBOL));
    for (; table && table->name; ++table) {
      if (strcmp(table->name, name) == 0) {
        symbol = table->address;
        break;
      }
    }
  }
  dlclose(handle);
  Dl_info info;
  if (!symbol || !dladdr(symbol, &info) || reinterpret_cast<uintptr_t>(info.dli_fbase) != module.base) return nullptr;
  return symbol;
}

}  // namespace platform

using namespace platform;

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (!lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryImpl(View(lpLibFileName));
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto wide = WideFromAnsi(lpLibFileName);
  if (!wide) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return LoadLibraryImpl(*wide);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  uintptr_t base = reinterpret_cast<uintptr_t>(hLibModule);
  void *handle = nullptr;
  {
    Refs &r = References();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.handles.find(base);
    if (it != r.handles.end()) {
      handle = it->second;
      r.handles.erase(it);
    }
  }
  if (handle) {
    dlclose(handle);
    return TRUE;
  }
  // Modules the program was linked with stay loaded; freeing them does nothing.
  if (hLibModule && ModuleAt(base)) return TRUE;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return FALSE;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  auto module = FindModule(hModule);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // Exports are found by name only: shared objects have no ordinals.
  if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void *symbol = ModuleSymbol(*module, lpProcName);
  if (!symbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  std::optional<ModuleInfo> module = lpModuleName ? FindLoaded(View(lpModuleName)) : FindModule(nullptr);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(module->base);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (!lpModuleName) return GetModuleHandleW(nullptr);
  auto wide = WideFromAnsi(lpModuleName);
  if (!wide) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return GetModuleHandleW(wide->c_str());
}

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE *phModule) {
  if (phModule) *phModule = nullptr;
  constexpr DWORD kKnown = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                           GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  if (!phModule || (dwFlags & ~kKnown) ||
      ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) && (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::optional<ModuleInfo> module;
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)
    module = ModuleContaining(lpModuleName);
  else
    module = lpModuleName ? FindLoaded(View(lpModuleName)) : FindModule(nullptr);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (!module->main && !(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
    int mode = RTLD_NOW | RTLD_NOLOAD | ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) ? RTLD_NODELETE : 0);
    void *handle = dlopen(module->path.c_str(), mode);
    if (handle && !(dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN)) AddReference(module->base, handle);
  }
  *phModule = reinterpret_cast<HMODULE>(module->base);
  return TRUE;
}

namespace {

std::optional<std::u16string> ModuleFileName(HMODULE hModule) {
  auto module = FindModule(hModule);
  if (!module || module->path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return std::nullopt;
  }
  return WindowsPath(RealPath(module->path));
}

}  // namespace

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  auto name = ModuleFileName(hModule);
  if (!name) return 0;
  if (nSize == 0 || !lpFilename) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // Too small a buffer gets as much as fits, terminated.
  if (name->size() >= nSize) {
    memcpy(lpFilename, name->data(), (nSize - 1) * sizeof(WCHAR));
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, name->data(), name->size() * sizeof(WCHAR));
  lpFilename[name->size()] = 0;
  return static_cast<DWORD>(name->size());
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  auto name = ModuleFileName(hModule);
  if (!name) return 0;
  if (nSize == 0 || !lpFilename) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::string narrow = ToUtf8Lossy(*name);
  if (narrow.size() >= nSize) {
    // Cut at a character boundary, never inside a UTF-8 sequence.
    size_t n = nSize - 1;
    while (n > 0 && (static_cast<unsigned char>(narrow[n]) & 0xC0) == 0x80) --n;
    memcpy(lpFilename, narrow.data(), n);
    lpFilename[n] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, narrow.data(), narrow.size() + 1);
  return static_cast<DWORD>(narrow.size());
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule) {
  // No thread notifications are sent to modules here, so there is nothing to
  // turn off; the module must exist all the same.
  if (!hLibModule || !FindModule(hLibModule)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}
