// Critical sections, events, mutexes and the waits on kernel objects.
#include "kernel32/sync.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <new>
#include <string>

#include "kernel32/shared_lock.h"
#include "kernel32/text.h"
#include "text/wide_text.h"

namespace platform {

namespace {

struct WaitState {
  std::mutex lock;
  std::condition_variable changed;
};

WaitState &State() {
  static WaitState *g_state = new WaitState;  // threads may outlive statics
  return *g_state;
}

class EventObject : public WaitableObject {
 public:
  EventObject(bool manual, bool initial) : signalled(initial), m_manual(manual) {}
  bool IsSignalled(DWORD) const override { return signalled; }
  bool Acquire(DWORD) override {
    if (!m_manual) signalled = false;
    return false;
  }
  bool signalled;

 private:
  const bool m_manual;
};

// The process itself, as GetCurrentProcess() names it: it never ends while
// anyone can wait on it.
class ProcessObject : public WaitableObject {
 public:
  bool IsSignalled(DWORD) const override { return false; }
  bool Acquire(DWORD) override { return false; }
};

}  // namespace

class MutexObject : public WaitableObject, public std::enable_shared_from_this<MutexObject> {
 public:
  MutexObject() = default;
  // A named mutex is shared with the other processes of the prefix.
  explicit MutexObject(const std::u16string &name) : m_shared(std::make_unique<SharedLockFile>(name)) {
    if (!m_shared->Valid()) m_shared.reset();  // then it is this process's alone
  }
  bool IsSignalled(DWORD tid) const override {
    if (owner == tid) return true;
    if (owner != 0) return false;
    return !m_shared || m_shared->TryTake(&m_abandonedElsewhere);
  }
  bool Acquire(DWORD tid) override {
    if (owner == tid) {
      ++count;
      return false;
    }
    // The thread's list names the mutexes to abandon when it ends; drop the
    // ones it no longer holds so that the list stays short.
    auto &owned = CurrentThreadObject()->ownedMutexes;
    std::erase_if(owned, [tid](const std::weak_ptr<MutexObject> &weak) {
      auto mutex = weak.lock();
      return !mutex || mutex->owner != tid;
    });
    owned.push_back(weak_from_this());
    owner = tid;
    count = 1;
    // A shared mutex's file remembers an owner in any process.
    bool wasAbandoned = m_shared ? m_abandonedElsewhere : abandoned;
    abandoned = false;
    if (m_shared) m_shared->MarkOwned();
    return wasAbandoned;
  }
  bool SharedWithOtherProcesses() const override { return m_shared != nullptr; }
  void ReturnUnacquired() override {
    if (m_shared && owner == 0) m_shared->Drop(false);
  }
  // The owner let go (`released`) or ended holding it.
  void Free(bool released) {
    owner = 0;
    count = 0;
    if (!released) abandoned = true;
    if (m_shared) m_shared->Drop(released);
  }

  DWORD owner = 0;
  ULONG count = 0;
  bool abandoned = false;

 private:
  std::unique_ptr<SharedLockFile> m_shared;
  mutable bool m_abandonedElsewhere = false;
};

std::mutex &WaitLock() { return State().lock; }
void WakeWaiters() { State().changed.notify_all(); }
std::condition_variable &WaitChanged() { return State().changed; }

void AbandonMutexes(ThreadObject &thread) {
  for (auto &weak : thread.ownedMutexes) {
    auto mutex = weak.lock();
    if (mutex && mutex->owner == thread.tid) mutex->Free(false);
  }
  thread.ownedMutexes.clear();
  WakeWaiters();
}

namespace {

// Named objects live in one process-local namespace; a name refers to an
// object only while some handle to it is open.
std::mutex g_namesLock;
std::map<std::u16string, std::weak_ptr<KernelObject>> &Names() {
  static auto *g_names = new std::map<std::u16string, std::weak_ptr<KernelObject>>;
  return *g_names;
}

// Creates or opens a named object; `make` builds a new one from the name
// without its session prefix (null for an unnamed object). Sets last error
// as Windows does: ERROR_ALREADY_EXISTS when opened, 0 when created.
template <typename T, typename Make>
HANDLE CreateNamed(const WCHAR *name, Make make) {
  std::shared_ptr<T> object;
  bool existed = false;
  if (name) {
    std::u16string key(View(name));
    if (key.size() > MAX_PATH) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    // The session prefixes name one namespace here.
    for (std::u16string prefix : {u"Local\\", u"Global\\"}) {
      if (key.compare(0, prefix.size(), prefix) == 0) key.erase(0, prefix.size());
    }
    std::lock_guard<std::mutex> g(g_namesLock);
    auto &slot = Names()[key];
    if (auto existing = slot.lock()) {
      object = std::dynamic_pointer_cast<T>(existing);
      if (!object) {  // the name belongs to an object of another type
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      existed = true;
    } else {
      object = make(&key);
      slot = object;
    }
  } else {
    object = make(nullptr);
  }
  HANDLE h = NewHandle(object);
  if (h) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

std::shared_ptr<WaitableObject> WaitTarget(HANDLE h) {
  if (h == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2))) return CurrentThreadObject();
  if (h == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1))) {
    static auto *g_process = new std::shared_ptr<ProcessObject>(std::make_shared<ProcessObject>());
    return *g_process;
  }
  auto object = std::dynamic_pointer_cast<WaitableObject>(GetHandleObject(h));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

DWORD CurrentTid() { return GetCurrentThreadId(); }

// The lock behind a CRITICAL_SECTION, kept outside the 40-byte structure.
struct SectionLock {
  std::mutex mutex;
};

// Made on first use when the section was never initialised (a zero-filled
// structure), so that it still excludes rather than crashes.
SectionLock *LockOf(LPCRITICAL_SECTION cs) {
  void *lock = __atomic_load_n(&cs->LockSemaphore, __ATOMIC_ACQUIRE);
  if (lock) return static_cast<SectionLock *>(lock);
  auto *fresh = new SectionLock;
  if (__atomic_compare_exchange_n(&cs->LockSemaphore, &lock, fresh, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
    return fresh;
  }
  delete fresh;  // another thread made one first
  return static_cast<SectionLock *>(lock);
}

HANDLE LoadOwner(LPCRITICAL_SECTION cs) { return __atomic_load_n(&cs->OwningThread, __ATOMIC_RELAXED); }
HANDLE TidHandle(DWORD tid) { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(tid)); }

void TakeSection(LPCRITICAL_SECTION cs, HANDLE self) {
  __atomic_store_n(&cs->OwningThread, self, __ATOMIC_RELAXED);
  cs->RecursionCount = 1;
}

// One look at the objects of a wait (WaitLock() held): the WAIT_ code of
// what it acquired, or WAIT_TIMEOUT when it acquired nothing.
DWORD TryAcquire(const std::vector<std::shared_ptr<WaitableObject>> &objects, BOOL waitAll, DWORD tid) {
  const DWORD count = static_cast<DWORD>(objects.size());
  if (!waitAll) {
    for (DWORD i = 0; i < count; ++i) {
      if (objects[i]->IsSignalled(tid)) return (objects[i]->Acquire(tid) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
    }
    return WAIT_TIMEOUT;
  }
  bool all = true;
  for (auto &object : objects) all = all && object->IsSignalled(tid);
  if (!all) return WAIT_TIMEOUT;
  DWORD abandonedIndex = MAXIMUM_WAIT_OBJECTS;
  for (DWORD i = 0; i < count; ++i) {
    if (objects[i]->Acquire(tid) && abandonedIndex == MAXIMUM_WAIT_OBJECTS) abandonedIndex = i;
  }
  return abandonedIndex == MAXIMUM_WAIT_OBJECTS ? WAIT_OBJECT_0 : WAIT_ABANDONED_0 + abandonedIndex;
}

}  // namespace

}  // namespace platform

using namespace platform;

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  InitializeCriticalSectionAndSpinCount(lpCriticalSection, 0);
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD dwSpinCount) {
  if (!cs) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto *lock = new (std::nothrow) SectionLock;
  if (!lock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  cs->DebugInfo = reinterpret_cast<PVOID>(static_cast<LONG_PTR>(-1));  // no debug information
  cs->LockCount = -1;
  cs->RecursionCount = 0;
  cs->OwningThread = nullptr;
  cs->LockSemaphore = lock;
  cs->SpinCount = dwSpinCount & 0x00FFFFFF;  // the high byte holds flags
  return TRUE;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  if (!cs || !cs->LockSemaphore) return;
  SectionLock *lock = LockOf(cs);
  if (LoadOwner(cs) == TidHandle(CurrentTid())) lock->mutex.unlock();
  delete lock;
  cs->LockSemaphore = nullptr;
  cs->LockCount = -1;
  cs->RecursionCount = 0;
  cs->OwningThread = nullptr;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (!cs) return;
  HANDLE self = TidHandle(CurrentTid());
  __atomic_add_fetch(&cs->LockCount, 1, __ATOMIC_RELAXED);
  if (LoadOwner(cs) == self) {  // only this thread can have stored its own id
    ++cs->RecursionCount;
    return;
  }
  LockOf(cs)->mutex.lock();
  TakeSection(cs, self);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (!cs) return FALSE;
  HANDLE self = TidHandle(CurrentTid());
  if (LoadOwner(cs) == self) {
    __atomic_add_fetch(&cs->LockCount, 1, __ATOMIC_RELAXED);
    ++cs->RecursionCount;
    return TRUE;
  }
  if (!LockOf(cs)->mutex.try_lock()) return FALSE;
  __atomic_add_fetch(&cs->LockCount, 1, __ATOMIC_RELAXED);
  TakeSection(cs, self);
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  // Leaving a section this thread does not hold would corrupt it; ignore it.
  if (!cs || LoadOwner(cs) != TidHandle(CurrentTid()) || cs->RecursionCount <= 0) return;
  __atomic_sub_fetch(&cs->LockCount, 1, __ATOMIC_RELAXED);
  if (--cs->RecursionCount > 0) return;
  __atomic_store_n(&cs->OwningThread, nullptr, __ATOMIC_RELAXED);
  LockOf(cs)->mutex.unlock();
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  return CreateNamed<EventObject>(lpName, [&](const std::u16string *) {
    return std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE);
  });
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
  if (!lpName) return CreateEventW(attributes, bManualReset, bInitialState, nullptr);
  return CreateEventW(attributes, bManualReset, bInitialState, platform::Widen(lpName, CP_ACP).c_str());
}

static BOOL SetEventState(HANDLE hEvent, bool state) {
  auto event = GetHandleObjectAs<EventObject>(hEvent);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> g(WaitLock());
  event->signalled = state;
  if (state) WakeWaiters();
  return TRUE;
}

BOOL WINAPI SetEvent(HANDLE hEvent) { return SetEventState(hEvent, true); }
BOOL WINAPI ResetEvent(HANDLE hEvent) { return SetEventState(hEvent, false); }

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
  bool created = false;
  HANDLE h = CreateNamed<MutexObject>(lpName, [&](const std::u16string *name) {
    created = true;
    return name ? std::make_shared<MutexObject>(*name) : std::make_shared<MutexObject>();
  });
  // The creator owns a new mutex; opening an existing one does not take it.
  // Whether another process has the name open is not known here: it is
  // owned when no other process holds it.
  if (h && created && bInitialOwner) {
    auto mutex = GetHandleObjectAs<MutexObject>(h);
    std::lock_guard<std::mutex> g(WaitLock());
    if (mutex->IsSignalled(CurrentTid())) mutex->Acquire(CurrentTid());
  }
  return h;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL bInitialOwner, LPCSTR lpName) {
  if (!lpName) return CreateMutexW(attributes, bInitialOwner, nullptr);
  return CreateMutexW(attributes, bInitialOwner, platform::Widen(lpName, CP_ACP).c_str());
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  auto mutex = GetHandleObjectAs<MutexObject>(hMutex);
  if (!mutex) return FALSE;
  std::lock_guard<std::mutex> g(WaitLock());
  if (mutex->owner != CurrentTid() || mutex->count == 0) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--mutex->count == 0) {
    mutex->Free(true);
    WakeWaiters();
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<WaitableObject>> objects;
  objects.reserve(nCount);
  for (DWORD i = 0; i < nCount; ++i) {
    auto object = WaitTarget(lpHandles[i]);
    if (!object) return WAIT_FAILED;
    // Wait-all on one object twice cannot be satisfied atomically.
    if (bWaitAll) {
      for (auto &seen : objects) {
        if (seen == object) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
      }
    }
    objects.push_back(std::move(object));
  }
  const DWORD tid = CurrentTid();
  if (!objects.empty()) CurrentThreadObject();  // a mutex taken below is recorded there
  bool shared = false;
  for (auto &object : objects) shared = shared || object->SharedWithOtherProcesses();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
  std::unique_lock<std::mutex> g(WaitLock());
  for (bool timedOut = false;;) {
    DWORD result = TryAcquire(objects, bWaitAll, tid);
    if (result != WAIT_TIMEOUT) return result;
    for (auto &object : objects) object->ReturnUnacquired();
    if (timedOut || dwMilliseconds == 0) return WAIT_TIMEOUT;
    if (dwMilliseconds == INFINITE && !shared) {
      State().changed.wait(g);
      continue;
    }
    // Another process wakes no one here: look again every few milliseconds.
    auto until = deadline;
    if (shared) until = std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(2));
    // A signal that comes with the time-out still counts: look once more.
    if (State().changed.wait_until(g, until) == std::cv_status::timeout && dwMilliseconds != INFINITE)
      timedOut = std::chrono::steady_clock::now() >= deadline;
  }
}
