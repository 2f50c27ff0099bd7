// Costs of the hot paths a component leans on: uncontended locks and waits,
// a turn handed between two threads, BSTR churn and number-to-text
// conversion.
#include <benchmark/benchmark.h>
#include <oleauto.h>
#include <windows.h>

#include <vector>

static void CriticalSectionEnterLeave(benchmark::State &state) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  for (auto _ : state) {
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
  }
  DeleteCriticalSection(&cs);
}
BENCHMARK(CriticalSectionEnterLeave);

static void SignalledEventWait(benchmark::State &state) {
  HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  for (auto _ : state) benchmark::DoNotOptimize(WaitForSingleObject(e, 0));
  CloseHandle(e);
}
BENCHMARK(SignalledEventWait);

static void MutexWaitRelease(benchmark::State &state) {
  HANDLE m = CreateMutexW(nullptr, FALSE, nullptr);
  for (auto _ : state) {
    WaitForSingleObject(m, INFINITE);
    ReleaseMutex(m);
  }
  CloseHandle(m);
}
BENCHMARK(MutexWaitRelease);

struct PingPong {
  HANDLE ping = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE pong = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

static DWORD WINAPI Answer(LPVOID p) {
  auto *pp = static_cast<PingPong *>(p);
  HANDLE events[2] = {pp->ping, pp->stop};
  while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) SetEvent(pp->pong);
  return 0;
}

static DWORD WINAPI Idle(LPVOID p) { return WaitForSingleObject(static_cast<PingPong *>(p)->stop, INFINITE); }

// One turn handed to another thread and back, while range(0) other threads
// wait on an event that is not set (a process's idle workers).
static void EventPingPong(benchmark::State &state) {
  PingPong pp;
  std::vector<HANDLE> threads{CreateThread(nullptr, 0, Answer, &pp, 0, nullptr)};
  for (int64_t i = 0; i < state.range(0); ++i) threads.push_back(CreateThread(nullptr, 0, Idle, &pp, 0, nullptr));
  for (auto _ : state) {
    SetEvent(pp.ping);
    WaitForSingleObject(pp.pong, INFINITE);
  }
  SetEvent(pp.stop);
  for (HANDLE t : threads) {
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
  }
  for (HANDLE h : {pp.ping, pp.pong, pp.stop}) CloseHandle(h);
}
BENCHMARK(EventPingPong)->Arg(0)->Arg(4)->UseRealTime();

static void BstrAllocFree(benchmark::State &state) {
  for (auto _ : state) {
    BSTR s = SysAllocString(OLESTR("Revision directory"));
    benchmark::DoNotOptimize(s);
    SysFreeString(s);
  }
}
BENCHMARK(BstrAllocFree);

static void VariantI4ToBstrAndBack(benchmark::State &state) {
  VARIANT v;
  for (auto _ : state) {
    v.vt = VT_I4;
    v.lVal = 123456;
    VariantChangeType(&v, &v, 0, VT_BSTR);
    VariantChangeType(&v, &v, 0, VT_I4);
  }
}
BENCHMARK(VariantI4ToBstrAndBack);
