// Late-bound property get through IDispatch::Invoke (type-information-driven
// dispatch), against the direct vtable call of the same member.
#include <benchmark/benchmark.h>
#include <oleauto.h>

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

void BM_VtableCall(benchmark::State &state) {
  Fixture f;
  LONG count = 0;
  for (auto _ : state) {
    f.object->get_Count(&count);
    benchmark::DoNotOptimize(count);
  }
}
BENCHMARK(BM_VtableCall);

void BM_LateBoundPropertyGet(benchmark::State &state) {
  Fixture f;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  for (auto _ : state) {
    f.disp->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(BM_LateBoundPropertyGet);

// With one argument to coerce and a string result to free, as scripts call.
void BM_LateBoundMethodWithArgument(benchmark::State &state) {
  Fixture f;
  VARIANT arg;
  VariantInit(&arg);
  V_VT(&arg) = VT_I2;
  V_I2(&arg) = 21;
  DISPPARAMS params = {&arg, nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  for (auto _ : state) {
    f.disp->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    benchmark::DoNotOptimize(result.lVal);
  }
}
BENCHMARK(BM_LateBoundMethodWithArgument);

}  // namespace
