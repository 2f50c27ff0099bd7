// Costs of the COM runtime's hot paths: GUID text both ways, and finding an
// object in a running object table that holds many.
#include <benchmark/benchmark.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace {

const GUID kGuid = {0x6A8E1F30, 0x52C4, 0x4B0E, {0x9E, 0x55, 0x3D, 0x1C, 0x7B, 0x2A, 0x9F, 0x01}};

void BM_StringFromGUID2(benchmark::State &state) {
  WCHAR buf[CHARS_IN_GUID];
  for (auto _ : state) benchmark::DoNotOptimize(StringFromGUID2(kGuid, buf, CHARS_IN_GUID));
}
BENCHMARK(BM_StringFromGUID2);

void BM_CLSIDFromString(benchmark::State &state) {
  WCHAR buf[CHARS_IN_GUID];
  StringFromGUID2(kGuid, buf, CHARS_IN_GUID);
  CLSID out;
  for (auto _ : state) benchmark::DoNotOptimize(CLSIDFromString(buf, &out));
}
BENCHMARK(BM_CLSIDFromString);

class Dummy final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void **ppv) override {
    *ppv = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
};

// Looks up a path, written in other case, among state.range(0) registrations.
void BM_RunningObjectTableLookup(benchmark::State &state) {
  IRunningObjectTable *rot = nullptr;
  GetRunningObjectTable(0, &rot);
  Dummy object;
  std::vector<DWORD> cookies;
  for (int i = 0; i < state.range(0); ++i) {
    std::u16string path = u"C:\\Data\\Document" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                          std::u16string(static_cast<size_t>(i / 26 + 1), u'x') + u".rdir";
    IMoniker *mk = nullptr;
    CreateFileMoniker(path.c_str(), &mk);
    DWORD cookie = 0;
    rot->Register(0, &object, mk, &cookie);
    cookies.push_back(cookie);
    mk->Release();
  }
  IMoniker *wanted = nullptr;
  CreateFileMoniker(u"c:/data/documentAx.RDIR", &wanted);
  for (auto _ : state) {
    IUnknown *found = nullptr;
    benchmark::DoNotOptimize(rot->GetObject(wanted, &found));
    if (found) found->Release();
  }
  wanted->Release();
  for (DWORD c : cookies) rot->Revoke(c);
  rot->Release();
}
BENCHMARK(BM_RunningObjectTableLookup)->Arg(10)->Arg(1000);

}  // namespace
