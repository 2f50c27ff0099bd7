// Costs of the text functions the component calls on every error report and
// every string it hands across the COM boundary.
#include <benchmark/benchmark.h>
#include <strsafe.h>
#include <wchar.h>
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

static void BM_Utf8ToUtf16(benchmark::State &state) {
  std::string text;
  while (text.size() < static_cast<size_t>(state.range(0))) text += "Revision r\xc3\xa4tsel \xe2\x82\xac 42; ";
  std::vector<WCHAR> out(text.size() + 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                                 static_cast<int>(out.size())));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Utf8ToUtf16)->Arg(64)->Arg(4096);

static void BM_StringCchPrintf(benchmark::State &state) {
  WCHAR buf[128];
  for (auto _ : state)
    benchmark::DoNotOptimize(StringCchPrintfW(buf, 128, OLESTR("Error %d (0x%08x) encountered in %s."), 87, 0x80070057u,
                                              OLESTR("Open")));
}
BENCHMARK(BM_StringCchPrintf);

static void BM_FormatSystemMessage(benchmark::State &state) {
  WCHAR buf[256];
  for (auto _ : state)
    benchmark::DoNotOptimize(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            0x80070057, 0, buf, 256, nullptr));
}
BENCHMARK(BM_FormatSystemMessage);

static void BM_CompareStringIgnoreCase(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, OLESTR("HKEY_CLASSES_ROOT\\CLSID"), -1,
                                            OLESTR("hkey_classes_root\\clsid"), -1));
}
BENCHMARK(BM_CompareStringIgnoreCase);
