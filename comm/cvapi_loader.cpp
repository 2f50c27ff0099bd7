#include "cvapi_loader.h"

namespace comm::cvapi {

namespace {
const char *const kNames[] = {
#define CVAPI_NAME(name) #name,
    DTL_ENTRY_POINTS(CVAPI_NAME)
#undef CVAPI_NAME
};
static_assert(sizeof kNames / sizeof kNames[0] == Loader::kEntryCount);
}  // namespace

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
    HMODULE module = LoadLibraryA(m_moduleName);
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
