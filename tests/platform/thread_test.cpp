// Threads, thread-local storage and clocks, as Windows behaves.
#include <windows.h>

#include <process.h>

#include <thread>
#include <vector>

#include "conformance.h"

namespace {

struct Gate {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD seenId = 0;
  ~Gate() { CloseHandle(go); }
};

DWORD WINAPI WaitThenReturn(LPVOID p) {
  auto *gate = static_cast<Gate *>(p);
  gate->seenId = GetCurrentThreadId();
  WaitForSingleObject(gate->go, INFINITE);
  return 42;
}

DWORD WINAPI ExitEarly(LPVOID) {
  ExitThread(7);
}

unsigned EndEx(void *p) {
  *static_cast<int *>(p) = 1;
  _endthreadex(9);
  return 0;  // not reached
}

void CrtThread(void *p) { SetEvent(static_cast<HANDLE>(p)); }

}  // namespace

TEST(Thread, ExitCodeIdAndSignalledHandle) {
  Gate gate;
  DWORD id = kSentinel;
  HANDLE h = CreateThread(nullptr, 0, WaitThenReturn, &gate, 0, &id);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(id, kSentinel);
  EXPECT_NE(id, GetCurrentThreadId());
  DWORD code = kSentinel;
  EXPECT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(h, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(gate.go);
  EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(gate.seenId, id) << "the id CreateThread reports is the one the thread sees";
  EXPECT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
  CloseHandle(h);

  h = CreateThread(nullptr, 64 * 1024, ExitEarly, nullptr, 0, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, 7u);
  CloseHandle(h);
}

TEST(Thread, SuspendedThreadRunsOnlyWhenResumed) {
  Gate gate;
  SetEvent(gate.go);
  HANDLE h = CreateThread(nullptr, 0, WaitThenReturn, &gate, CREATE_SUSPENDED, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(SetThreadPriority(h, THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(WaitForSingleObject(h, 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(gate.seenId, 0u);
  EXPECT_EQ(ResumeThread(h), 1u);
  EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
  EXPECT_NE(gate.seenId, 0u);
  EXPECT_EQ(ResumeThread(h), 0u);
  CloseHandle(h);
  ResetLastError();
  EXPECT_EQ(GetThreadPriority(h), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Thread, CrtThreads) {
  int ran = 0;
  unsigned id = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, EndEx, &ran, 0, &id);
  ASSERT_NE(h, 0u);
  EXPECT_NE(id, 0u);
  HANDLE handle = reinterpret_cast<HANDLE>(h);
  EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(handle, &code));
  EXPECT_EQ(code, 9u);
  EXPECT_EQ(ran, 1);
  CloseHandle(handle);

  // _beginthread's handle belongs to the thread, which closes it on exit.
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  uintptr_t crt = _beginthread(CrtThread, 0, done);
  ASSERT_NE(crt, static_cast<uintptr_t>(-1));
  EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  bool closed = false;
  for (int i = 0; i < 500 && !closed; ++i) {
    DWORD c;
    closed = !GetExitCodeThread(reinterpret_cast<HANDLE>(crt), &c);
    if (!closed) Sleep(10);
  }
  EXPECT_TRUE(closed);
  CloseHandle(done);
}

TEST(Thread, PseudoHandlesIdsAndPriorities) {
  EXPECT_EQ(GetCurrentThread(), reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)));
  EXPECT_EQ(GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)));
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  DWORD pid = GetCurrentProcessId(), tid = GetCurrentThreadId();
  std::thread([&] {
    EXPECT_EQ(GetCurrentProcessId(), pid);
    EXPECT_NE(GetCurrentThreadId(), tid);
  }).join();

  EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_BELOW_NORMAL);
  ResetLastError();
  EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 5));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));
}

TEST(Tls, SlotsArePerThreadAndFreedEverywhere) {
  DWORD slot = TlsAlloc();
  ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
  int mine = 0, theirs = 0;
  EXPECT_TRUE(TlsSetValue(slot, &mine));
  SetLastError(kSentinel);
  EXPECT_EQ(TlsGetValue(slot), &mine);
  EXPECT_EQ(GetLastError(), 0u) << "success clears the last error";
  std::thread([&] {
    EXPECT_EQ(TlsGetValue(slot), nullptr);
    EXPECT_TRUE(TlsSetValue(slot, &theirs));
    EXPECT_EQ(TlsGetValue(slot), &theirs);
  }).join();
  EXPECT_EQ(TlsGetValue(slot), &mine);

  // Freeing clears the slot, so a reused index starts out null.
  EXPECT_TRUE(TlsFree(slot));
  ResetLastError();
  EXPECT_FALSE(TlsFree(slot));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  std::vector<DWORD> slots;
  for (DWORD s; (s = TlsAlloc()) != TLS_OUT_OF_INDEXES;) slots.push_back(s);
  EXPECT_GE(slots.size() + 0u, 1000u) << "Windows has 1088 slots, a few taken by the runtime";
  for (DWORD s : slots) {
    EXPECT_EQ(TlsGetValue(s), nullptr) << "slot " << s;
    TlsFree(s);
  }
  ResetLastError();
  EXPECT_EQ(TlsGetValue(5000), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Time, ClocksAdvance) {
  ULONGLONG t0 = GetTickCount64();
  Sleep(50);
  ULONGLONG t1 = GetTickCount64();
  // The tick count moves in steps of up to 16 ms on Windows (and Wine).
  EXPECT_TRUE(t1 - t0 >= 50 - 16 && t1 - t0 < 5000) << t0 << " -> " << t1;
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULONGLONG now = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  EXPECT_TRUE(now > 132223104000000000ull && now < 159725952000000000ull) << "between 2020 and 2107: " << now;
}
