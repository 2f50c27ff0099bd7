// Late-bound calls through IDispatch::Invoke (type-information-driven
// dispatch), against the direct vtable call of the same member. The
// late-bound cases time a batch of direct calls and a batch of late-bound
// ones in turn, so their ratio (x_vtable) holds while the load varies:
// late_ns and vtable_ns are per call, the time columns per pair of batches.
#include <benchmark/benchmark.h>
#include <oleauto.h>

#include <chrono>
#include <cstdlib>

#include "fixture_object.h"

#define WIDE_TEXT(s) OLESTR(s)

namespace {

struct Fixture {
  ITypeLib *lib = nullptr;
  IFixture2 *object = nullptr;
  IDispatch *disp = nullptr;
  Fixture() {
    if (FAILED(LoadTypeLibEx(WIDE_TEXT(FIXTURE_TLB), REGKIND_NONE, &lib)) || FAILED(CreateFixture(lib, &object)) ||
        FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&disp))))
      abort();
  }
  ~Fixture() {
    disp->Release();
    object->Release();
    lib->Release();
  }
};

// Calls per timed batch: enough that reading the clock costs little.
constexpr int kBatch = 64;

template <typename Direct, typename Late>
void AgainstVtable(benchmark::State &state, Direct direct, Late late) {
  using Clock = std::chrono::steady_clock;
  Clock::duration directTime{}, lateTime{};
  for (auto _ : state) {
    const auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) direct();
    const auto middle = Clock::now();
    for (int i = 0; i < kBatch; ++i) late();
    const auto end = Clock::now();
    directTime += middle - start;
    lateTime += end - middle;
  }
  const double calls = static_cast<double>(state.iterations()) * kBatch;
  const double directNs = std::chrono::duration<double, std::nano>(directTime).count() / calls;
  const double lateNs = std::chrono::duration<double, std::nano>(lateTime).count() / calls;
  state.counters["late_ns"] = lateNs;
  state.counters["vtable_ns"] = directNs;
  state.counters["x_vtable"] = directNs > 0 ? lateNs / directNs : 0;
}

void BM_VtableCall(benchmark::State &state) {
  Fixture f;
  LONG count = 0;
  for (auto _ : state) {
    f.object->get_Count(&count);
    benchmark::DoNotOptimize(count);
  }
}
BENCHMARK(BM_VtableCall);

// DISPID 1, propget Count, against get_Count.
void BM_LateBoundPropertyGet(benchmark::State &state) {
  Fixture f;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  LONG count = 0;
  AgainstVtable(
      state,
      [&] {
        f.object->get_Count(&count);
        benchmark::DoNotOptimize(count);
      },
      [&] {
        f.disp->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.lVal);
      });
}
BENCHMARK(BM_LateBoundPropertyGet);

// DISPID 7, Twice([in] long, [out, retval] long *), against the direct call:
// a short argument to widen and a long result, as scripts call it.
void BM_LateBoundMethodWithArgument(benchmark::State &state) {
  Fixture f;
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_I2;
  V_I2(&arg) = 21;
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  LONG twice = 0;
  AgainstVtable(
      state,
      [&] {
        f.object->Twice(21, &twice);
        benchmark::DoNotOptimize(twice);
      },
      [&] {
        f.disp->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        benchmark::DoNotOptimize(result.lVal);
      });
}
BENCHMARK(BM_LateBoundMethodWithArgument);

}  // namespace
