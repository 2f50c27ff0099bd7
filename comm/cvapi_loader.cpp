#include "cvapi_loader.h"

#include "platform/text/wide_text.h"

namespace comm::cvapi {

namespace {

// The folder of the module (DLL or program) this code is linked into.
platform::WideString OwnFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&OwnFolder), &self))
    return {};
  platform::WideString path(MAX_PATH, 0);
  for (;;) {
    DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // truncated: ask again with room
  }
  size_t slash = path.find_last_of(OLESTR("\\/"));
  return slash == platform::WideString::npos ? platform::WideString{} : path.substr(0, slash + 1);
}

const char *const kNames[] = {
#define CVAPI_NAME(name) #name,
    DTL_ENTRY_POINTS(CVAPI_NAME)
#undef CVAPI_NAME
};
static_assert(sizeof kNames / sizeof kNames[0] == Loader::kEntryCount);
}  // namespace

HMODULE LoadClientLibrary(const char *name) {
  HMODULE module = LoadLibraryA(name);
  if (module || GetLastError() != ERROR_MOD_NOT_FOUND) return module;
  const std::string text = name;
  if (text.find_first_of("\\/:") != std::string::npos) return nullptr;
  const platform::WideString folder = OwnFolder();
  if (folder.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const platform::WideString path = folder + kFallbackFolder + OLESTR("\\") + platform::Widen(text);
  return LoadLibraryW(path.c_str());
}

Loader::~Loader() {
  if (m_module) FreeLibrary(m_module);
  if (HANDLE m = m_mutex.load()) CloseHandle(m);
}

long Loader::Ensure() {
  if (m_loaded.load(std::memory_order_acquire)) return 0;
  return Load();
}

long Loader::Load() {
  HANDLE mutex = m_mutex.load();
  if (!mutex) {
    HANDLE created = CreateMutexA(nullptr, FALSE, nullptr);
    if (!created) return kLoadErrorBase + static_cast<long>(GetLastError());
    // Two first callers may both create one; the one published is used.
    if (m_mutex.compare_exchange_strong(mutex, created))
      mutex = created;
    else
      CloseHandle(created);
  }
  DWORD wait = WaitForSingleObject(mutex, INFINITE);
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
    DWORD error = wait == WAIT_FAILED ? GetLastError() : ERROR_INVALID_HANDLE;
    return kLoadErrorBase + static_cast<long>(error);
  }
  long result = 0;
  if (!m_loaded.load(std::memory_order_acquire)) {
    HMODULE module = LoadClientLibrary(m_moduleName);
    if (!module) {
      result = kLoadErrorBase + static_cast<long>(GetLastError());
    } else {
      m_module = module;
      for (int i = 0; i < kEntryCount; ++i) m_entries[i] = reinterpret_cast<void *>(GetProcAddress(module, kNames[i]));
      m_loads.fetch_add(1);
      m_loaded.store(true, std::memory_order_release);
    }
  }
  ReleaseMutex(mutex);
  return result;
}

Loader &Library() {
  // Never destroyed: completion callbacks of the library may still run while
  // the process exits.
  static Loader *g_loader = new Loader(kModuleName);
  return *g_loader;
}

}  // namespace comm::cvapi
