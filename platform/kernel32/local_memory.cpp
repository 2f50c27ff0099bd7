// LocalAlloc/LocalFree: fixed blocks only. The live blocks are tracked so
// that freeing something that is not one fails as Windows fails, instead of
// corrupting the heap.
#include <windows.h>

#include <stdlib.h>

#include <mutex>
#include <unordered_set>

namespace {

constexpr UINT kLmemNoCompact = 0x0010;
constexpr UINT kLmemNoDiscard = 0x0020;

struct Blocks {
  std::mutex lock;
  std::unordered_set<void *> live;
};

Blocks &LiveBlocks() {
  static Blocks *g_blocks = new Blocks;  // never destroyed: blocks may be freed during exit
  return *g_blocks;
}

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  if (uFlags & ~(LMEM_ZEROINIT | kLmemNoCompact | kLmemNoDiscard)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A zero-byte block is still a distinct, valid block.
  size_t size = uBytes ? uBytes : 1;
  void *p = (uFlags & LMEM_ZEROINIT) ? calloc(1, size) : malloc(size);
  if (!p) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Blocks &b = LiveBlocks();
  std::lock_guard<std::mutex> guard(b.lock);
  b.live.insert(p);
  return p;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  if (!hMem) return nullptr;
  Blocks &b = LiveBlocks();
  {
    std::lock_guard<std::mutex> guard(b.lock);
    if (!b.live.erase(hMem)) {
      SetLastError(ERROR_INVALID_HANDLE);
      return hMem;
    }
  }
  free(hMem);
  return nullptr;
}
