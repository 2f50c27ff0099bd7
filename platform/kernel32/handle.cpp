#include "kernel32/handle.h"

#include <mutex>
#include <unordered_map>

namespace platform {

namespace {

// Handle values are multiples of 4 as on Windows, never 0 or -1, and not
// reused at once, so a stale handle is detected rather than aliased.
struct HandleTable {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 0x100;
};

HandleTable &Table() {
  static HandleTable *g_table = new HandleTable;  // lives until exit; threads may outlive statics
  return *g_table;
}

}  // namespace

HANDLE NewHandle(std::shared_ptr<KernelObject> object) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  if (t.objects.size() >= (1u << 24)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  uintptr_t value;
  do {
    value = t.next;
    t.next = t.next >= 0x3ffffffc ? 0x100 : t.next + 4;
  } while (t.objects.count(value));
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> GetHandleObject(HANDLE h) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
  if (it == t.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second;
}

bool CloseHandleObject(HANDLE h) {
  std::shared_ptr<KernelObject> doomed;  // destroyed outside the lock
  HandleTable &t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(h));
  if (it == t.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  doomed = std::move(it->second);
  t.objects.erase(it);
  return true;
}

}  // namespace platform

BOOL WINAPI CloseHandle(HANDLE hObject) { return platform::CloseHandleObject(hObject) ? TRUE : FALSE; }
