#include "frame/port.h"
#include "catalog/installed_path.h"

#include <array>
#include <atomic>
#include <memory>
#include <utility>

namespace revdir {

namespace {

// Each path is an immutable string shared by reference count: a writer swaps
// in a new one and a reader takes a reference, both under a lock held only
// for that pointer copy. The old text is freed when its last reader is done.
using SharedPath = std::shared_ptr<const InstalledPathText>;

// Held only for a pointer copy or swap. A spin lock on an atomic flag needs
// no initialisation and no threading runtime, so it serves every static
// constructor, every thread and both targets alike.
class PathLock {
 public:
  void Lock() {
    while (m_flag.test_and_set(std::memory_order_acquire)) Sleep(0);
  }
  void Unlock() { m_flag.clear(std::memory_order_release); }

 private:
  std::atomic_flag m_flag = ATOMIC_FLAG_INIT;
};

class Hold {
 public:
  explicit Hold(PathLock &lock) : m_lock(lock) { m_lock.Lock(); }
  ~Hold() { m_lock.Unlock(); }
  Hold(const Hold &) = delete;
  Hold &operator=(const Hold &) = delete;

 private:
  PathLock &m_lock;
};

constinit PathLock g_lock;
constinit std::array<SharedPath, kRevisionCount> g_paths{};
constinit unsigned long g_holders = 0;  // guarded by g_lock

SharedPath Load(LONG row) {
  Hold hold(g_lock);
  return g_paths[row];
}

void Store(LONG row, SharedPath path) {
  {
    Hold hold(g_lock);
    g_paths[row].swap(path);
  }
  // The old text (now in path) is released here, outside the lock.
}

}  // namespace

std::optional<InstalledPathText> GetInstalledPath(const CRevisionInformation *record) {
  LONG row = RevisionTableIndex(record);
  if (row < 0) return std::nullopt;
  SharedPath path = Load(row);
  if (!path) return std::nullopt;
  return *path;
}

BOOL SetInstalledPath(const CRevisionInformation *record, const WCHAR *path) {
  LONG row = RevisionTableIndex(record);
  if (row < 0) return FALSE;
  SharedPath text;
  if (path) text = std::make_shared<const InstalledPathText>(path);
  Store(row, std::move(text));
  return TRUE;
}

void ResetAllInstalledPaths() {
  std::array<SharedPath, kRevisionCount> old;
  {
    Hold hold(g_lock);
    old.swap(g_paths);
  }
}

void HoldInstalledPaths() {
  Hold hold(g_lock);
  ++g_holders;
}

void ReleaseInstalledPaths() {
  std::array<SharedPath, kRevisionCount> old;
  {
    Hold hold(g_lock);
    if (g_holders > 0 && --g_holders == 0) old.swap(g_paths);
  }
}

BOOL IsInstalled(const CRevisionInformation *record) {
  LONG row = RevisionTableIndex(record);
  return row >= 0 && Load(row) != nullptr;
}

}  // namespace revdir
