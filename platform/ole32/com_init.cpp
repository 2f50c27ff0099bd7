// Apartment bookkeeping and the task allocator.
#include <objbase.h>

#include <atomic>
#include <cstdlib>

#include "ole32/com_internal.h"

namespace {

struct Apartment {
  ULONG count = 0;
  bool sta = false;
};
thread_local Apartment g_apartment;
// Threads currently in the multithreaded apartment.
std::atomic<LONG> g_mtaThreads{0};

}  // namespace

namespace platform {

bool ComUsable() { return g_apartment.count > 0 || g_mtaThreads.load() > 0; }

}  // namespace platform

HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID, DWORD dwCoInit) {
  bool sta = (dwCoInit & COINIT_APARTMENTTHREADED) != 0;
  Apartment &a = g_apartment;
  if (a.count > 0) {
    if (a.sta != sta) return RPC_E_CHANGED_MODE;
    ++a.count;
    return S_FALSE;
  }
  a.count = 1;
  a.sta = sta;
  if (!sta) ++g_mtaThreads;
  return S_OK;
}

HRESULT STDAPICALLTYPE CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void STDAPICALLTYPE CoUninitialize(void) {
  Apartment &a = g_apartment;
  // An unbalanced call is ignored, as Windows does.
  if (a.count == 0) return;
  if (--a.count == 0 && !a.sta) --g_mtaThreads;
}

LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb ? cb : 1); }

LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  // A zero size frees the block and returns null.
  if (pv && cb == 0) {
    std::free(pv);
    return nullptr;
  }
  return std::realloc(pv, cb ? cb : 1);
}

void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) { std::free(pv); }
