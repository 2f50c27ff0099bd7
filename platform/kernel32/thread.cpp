// Threads: creation, exit, exit codes, identifiers and priorities.
#include <errno.h>
#include <limits.h>
#include <process.h>
#include <pthread.h>
#include <unistd.h>

#include <memory>

#include "kernel32/errno_map.h"
#include "kernel32/sync.h"

namespace platform {

namespace {

const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

// Each thread's object sits behind a pthread key: its destructor runs after
// the thread's C++ thread_local destructors, so a waiter on the thread sees
// it ended only once all of its per-thread state is gone.
void ThreadEnded(void *value) {
  auto *self = static_cast<std::shared_ptr<ThreadObject> *>(value);
  HANDLE closeOnExit;
  {
    std::lock_guard<std::mutex> g(WaitLock());
    (*self)->finished = true;
    closeOnExit = (*self)->closeOnExit;
    (*self)->closeOnExit = nullptr;
    AbandonMutexes(**self);  // wakes the waiters
  }
  if (closeOnExit) CloseHandleObject(closeOnExit);
  delete self;
}

pthread_key_t SelfKey() {
  static pthread_key_t g_key = [] {
    pthread_key_t k;
    if (pthread_key_create(&k, ThreadEnded) != 0) abort();  // no key: nothing could work
    return k;
  }();
  return g_key;
}

std::shared_ptr<ThreadObject> ThreadFromHandle(HANDLE h) {
  if (h == kCurrentThread) return CurrentThreadObject();
  return GetHandleObjectAs<ThreadObject>(h);
}

struct StartInfo {
  std::shared_ptr<ThreadObject> self;
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
};

void *RunThread(void *arg) {
  std::unique_ptr<StartInfo> info(static_cast<StartInfo *>(arg));
  AdoptThreadObject(info->self);
  {
    std::unique_lock<std::mutex> g(WaitLock());
    info->self->tid = GetCurrentThreadId();
    WakeWaiters();
    // A suspended thread waits for ResumeThread before running any user code.
    while (info->self->suspended) WaitChanged().wait(g);
  }
  DWORD code = info->start(info->parameter);
  std::lock_guard<std::mutex> g(WaitLock());
  info->self->exitCode = code;
  return nullptr;
}

HANDLE StartThread(SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                   LPDWORD threadId, bool closeOnExit) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto self = std::make_shared<ThreadObject>();
  self->suspended = (flags & CREATE_SUSPENDED) != 0;
  HANDLE h = NewHandle(self);
  if (!h) return nullptr;
  if (closeOnExit) self->closeOnExit = h;

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stackSize) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t size = (stackSize + page - 1) / page * page;
    if (size < static_cast<size_t>(PTHREAD_STACK_MIN)) size = PTHREAD_STACK_MIN;
    pthread_attr_setstacksize(&attr, size);
  }
  auto *info = new StartInfo{self, start, parameter};
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, RunThread, info);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete info;
    CloseHandleObject(h);
    SetLastError(rc == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : Win32ErrorFromErrno(rc));
    return nullptr;
  }
  // The identifier is the kernel's, known once the thread runs; a caller that
  // does not ask for it does not wait for the new thread to be scheduled.
  if (threadId) {
    std::unique_lock<std::mutex> g(WaitLock());
    while (self->tid == 0) WaitChanged().wait(g);
    *threadId = self->tid;
  }
  return h;
}

}  // namespace

std::shared_ptr<ThreadObject> CurrentThreadObject() {
  auto *self = static_cast<std::shared_ptr<ThreadObject> *>(pthread_getspecific(SelfKey()));
  if (!self) {
    auto object = std::make_shared<ThreadObject>();
    object->tid = GetCurrentThreadId();
    self = new std::shared_ptr<ThreadObject>(std::move(object));
    pthread_setspecific(SelfKey(), self);
  }
  return *self;
}

void AdoptThreadObject(std::shared_ptr<ThreadObject> object) {
  pthread_setspecific(SelfKey(), new std::shared_ptr<ThreadObject>(std::move(object)));
}

}  // namespace platform

using namespace platform;

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  return StartThread(dwStackSize, lpStartAddress, lpParameter, dwCreationFlags, lpThreadId, false);
}

DWORD WINAPI ResumeThread(HANDLE hThread) {
  auto thread = ThreadFromHandle(hThread);
  if (!thread) return static_cast<DWORD>(-1);
  std::lock_guard<std::mutex> g(WaitLock());
  DWORD previous = thread->suspended ? 1 : 0;
  thread->suspended = false;
  WakeWaiters();
  return previous;
}

void WINAPI ExitThread(DWORD dwExitCode) {
  auto self = CurrentThreadObject();
  {
    std::lock_guard<std::mutex> g(WaitLock());
    self->exitCode = dwExitCode;
  }
  self.reset();
  pthread_exit(nullptr);  // unwinds the thread's C++ frames
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  auto thread = ThreadFromHandle(hThread);
  if (!thread) return FALSE;
  if (!lpExitCode) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(WaitLock());
  *lpExitCode = thread->finished ? thread->exitCode : STILL_ACTIVE;
  return TRUE;
}

HANDLE WINAPI GetCurrentThread(void) { return kCurrentThread; }
HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcess; }

DWORD WINAPI GetCurrentThreadId(void) {
  static thread_local DWORD g_tid = static_cast<DWORD>(gettid());
  return g_tid;
}

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

DWORD WINAPI GetPriorityClass(HANDLE hProcess) {
  if (hProcess != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return NORMAL_PRIORITY_CLASS;
}

// The value is kept for GetThreadPriority; the scheduler is left alone, as
// raising a priority needs privileges an unprivileged process lacks.
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
  auto thread = ThreadFromHandle(hThread);
  if (!thread) return FALSE;
  switch (nPriority) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  std::lock_guard<std::mutex> g(WaitLock());
  thread->priority = nPriority;
  return TRUE;
}

int WINAPI GetThreadPriority(HANDLE hThread) {
  auto thread = ThreadFromHandle(hThread);
  if (!thread) return THREAD_PRIORITY_ERROR_RETURN;
  std::lock_guard<std::mutex> g(WaitLock());
  return thread->priority;
}

namespace {

struct CrtStart {
  void (*start)(void *);
  void *arg;
};

DWORD WINAPI RunCrtThread(LPVOID p) {
  std::unique_ptr<CrtStart> info(static_cast<CrtStart *>(p));
  auto start = info->start;
  auto arg = info->arg;
  info.reset();
  start(arg);
  return 0;
}

}  // namespace

uintptr_t _beginthread(void (*start_address)(void *), unsigned stack_size, void *arglist) {
  if (!start_address) {
    errno = EINVAL;
    return static_cast<uintptr_t>(-1);
  }
  auto *info = new CrtStart{start_address, arglist};
  HANDLE h = StartThread(stack_size, RunCrtThread, info, 0, nullptr, true);
  if (!h) {
    delete info;
    errno = EAGAIN;
    return static_cast<uintptr_t>(-1);
  }
  return reinterpret_cast<uintptr_t>(h);
}

uintptr_t _beginthreadex(void *, unsigned stack_size, unsigned (*start_address)(void *), void *arglist,
                         unsigned initflag, unsigned *thrdaddr) {
  if (!start_address) {
    errno = EINVAL;
    return 0;
  }
  DWORD tid = 0;
  HANDLE h = StartThread(stack_size, start_address, arglist, initflag, &tid, false);
  if (!h) {
    errno = EAGAIN;
    return 0;
  }
  if (thrdaddr) *thrdaddr = tid;
  return reinterpret_cast<uintptr_t>(h);
}

void _endthreadex(unsigned retval) { ExitThread(retval); }
