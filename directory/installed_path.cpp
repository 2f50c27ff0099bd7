#include "directory/installed_path.h"

#include <array>
#include <memory>
#include <mutex>
#include <utility>

namespace {

// Each path is an immutable string shared by reference count: a writer swaps
// in a new one and a reader takes a reference, both under a lock held only
// for that pointer copy. The old text is freed when its last reader is done.
using SharedPath = std::shared_ptr<const InstalledPathText>;

// Constant-initialised, so usable from any static constructor and thread.
constinit std::mutex g_lock;
constinit std::array<SharedPath, RevisionCount> g_paths{};

SharedPath Load(LONG row) {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_paths[row];
}

void Store(LONG row, SharedPath path) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
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
  std::array<SharedPath, RevisionCount> old;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    old.swap(g_paths);
  }
}

BOOL IsInstalled(const CRevisionInformation *record) {
  LONG row = RevisionTableIndex(record);
  return row >= 0 && Load(row) != nullptr;
}
