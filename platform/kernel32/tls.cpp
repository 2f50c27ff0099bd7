// Thread-local storage slots. Each thread's values live in a block made on
// first store; TlsFree clears the slot in every thread, as Windows does, so a
// reused index starts out null everywhere.
#include <pthread.h>
#include <windows.h>

#include <atomic>
#include <bitset>
#include <mutex>
#include <set>

namespace {

constexpr DWORD kSlots = 1088;  // 64 fixed plus 1024 expansion slots

struct Block {
  std::atomic<void *> values[kSlots] = {};
};

struct Registry {
  std::mutex lock;
  std::bitset<kSlots> used;
  std::set<Block *> blocks;
};

Registry &Reg() {
  static auto *g_registry = new Registry;  // threads may outlive statics
  return *g_registry;
}

void BlockEnded(void *p) {
  auto *block = static_cast<Block *>(p);
  {
    std::lock_guard<std::mutex> g(Reg().lock);
    Reg().blocks.erase(block);
  }
  delete block;
}

pthread_key_t BlockKey() {
  static pthread_key_t g_key = [] {
    pthread_key_t k;
    if (pthread_key_create(&k, BlockEnded) != 0) abort();
    return k;
  }();
  return g_key;
}

Block *CurrentBlock(bool create) {
  auto *block = static_cast<Block *>(pthread_getspecific(BlockKey()));
  if (!block && create) {
    block = new (std::nothrow) Block;
    if (!block) return nullptr;
    {
      std::lock_guard<std::mutex> g(Reg().lock);
      Reg().blocks.insert(block);
    }
    pthread_setspecific(BlockKey(), block);
  }
  return block;
}

}  // namespace

DWORD WINAPI TlsAlloc(void) {
  Registry &r = Reg();
  std::lock_guard<std::mutex> g(r.lock);
  for (DWORD i = 0; i < kSlots; ++i) {
    if (!r.used[i]) {
      r.used[i] = true;
      return i;
    }
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return TLS_OUT_OF_INDEXES;
}

BOOL WINAPI TlsFree(DWORD dwTlsIndex) {
  Registry &r = Reg();
  std::lock_guard<std::mutex> g(r.lock);
  if (dwTlsIndex >= kSlots || !r.used[dwTlsIndex]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  r.used[dwTlsIndex] = false;
  for (Block *block : r.blocks) block->values[dwTlsIndex].store(nullptr, std::memory_order_relaxed);
  return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD dwTlsIndex) {
  if (dwTlsIndex >= kSlots) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Callers tell a stored null from a failure by the last error.
  SetLastError(ERROR_SUCCESS);
  Block *block = CurrentBlock(false);
  return block ? block->values[dwTlsIndex].load(std::memory_order_relaxed) : nullptr;
}

BOOL WINAPI TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue) {
  if (dwTlsIndex >= kSlots) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Block *block = CurrentBlock(lpTlsValue != nullptr);
  if (block) {
    block->values[dwTlsIndex].store(lpTlsValue, std::memory_order_relaxed);
  } else if (lpTlsValue) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}
