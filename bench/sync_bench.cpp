// Costs of the hot paths a component leans on: uncontended locks and waits,
// BSTR churn and number-to-text conversion.
#include <benchmark/benchmark.h>
#include <oleauto.h>
#include <windows.h>

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
