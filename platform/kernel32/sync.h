// Waitable kernel objects (events, mutexes, threads) and the thread object
// each thread of the process has. All waits use one process-wide lock and
// condition variable: a wait for several objects then sees and takes them
// all at one instant, which is what wait-all needs.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "kernel32/handle.h"

namespace platform {

std::mutex &WaitLock();
// Signalled by WakeWaiters(); wait on it with WaitLock() held.
std::condition_variable &WaitChanged();
// Wakes every waiter after a state change; call with WaitLock() held.
void WakeWaiters();

class WaitableObject : public KernelObject {
 public:
  // Both are called with WaitLock() held.
  virtual bool IsSignalled(DWORD tid) const = 0;
  // Takes the object for thread `tid` (resets an auto-reset event, owns a
  // mutex); returns true when it was a mutex abandoned by its owner.
  virtual bool Acquire(DWORD tid) = 0;
  // True when another process can change the state: no one here wakes the
  // waiters then, so a wait looks again every few milliseconds.
  virtual bool SharedWithOtherProcesses() const { return false; }
  // Gives back what IsSignalled took from other processes for a wait that
  // did not acquire the object after all. Called with WaitLock() held.
  virtual void ReturnUnacquired() {}
};

class MutexObject;

class ThreadObject : public WaitableObject {
 public:
  bool IsSignalled(DWORD) const override { return finished; }
  bool Acquire(DWORD) override { return false; }

  // Guarded by WaitLock().
  DWORD tid = 0;
  bool finished = false;
  DWORD exitCode = 0;
  bool suspended = false;
  int priority = THREAD_PRIORITY_NORMAL;
  std::vector<std::weak_ptr<MutexObject>> ownedMutexes;
  // A handle the thread closes itself when it ends (_beginthread).
  HANDLE closeOnExit = nullptr;
};

// The calling thread's object, made on first use for threads this layer did
// not start; it is signalled when the thread ends.
std::shared_ptr<ThreadObject> CurrentThreadObject();
// Makes `self` the calling thread's object (threads this layer starts).
void AdoptThreadObject(std::shared_ptr<ThreadObject> self);

// Called when a thread ends, with WaitLock() held: its mutexes are abandoned.
void AbandonMutexes(ThreadObject &thread);

}  // namespace platform
