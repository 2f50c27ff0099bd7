// Costs of the file and module calls: opening by a Windows path (with and
// without case-insensitive lookup), small reads, and module queries.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>
#include <windows.h>

#include <string>

#include "platform/text/wide_text.h"

namespace {

struct TempFile {
  TempFile() {
    char tmpl[] = "/tmp/revdir-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    path = platform::Widen(dir) + u"\\Data.Bin";
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string block(4096, 'x');
    DWORD n;
    WriteFile(h, block.data(), static_cast<DWORD>(block.size()), &n, nullptr);
    CloseHandle(h);
  }
  ~TempFile() {
    DeleteFileW(path.c_str());
    rmdir(dir.c_str());
  }
  std::string dir;
  std::u16string path;
};

void BM_OpenClose(benchmark::State &state, bool otherCase) {
  TempFile f;
  std::u16string path = f.path;
  if (otherCase) path.replace(path.size() - 8, 8, u"DATA.bin");
  for (auto _ : state) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) state.SkipWithError("open failed");
    CloseHandle(h);
  }
}
BENCHMARK_CAPTURE(BM_OpenClose, exact_name, false);
BENCHMARK_CAPTURE(BM_OpenClose, other_case, true);

void BM_Read4K(benchmark::State &state) {
  TempFile f;
  HANDLE h = CreateFileW(f.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char buf[4096];
  for (auto _ : state) {
    DWORD n = 0;
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    ReadFile(h, buf, sizeof buf, &n, nullptr);
    benchmark::DoNotOptimize(n);
  }
  CloseHandle(h);
  state.SetBytesProcessed(state.iterations() * sizeof buf);
}
BENCHMARK(BM_Read4K);

void BM_ModuleQueries(benchmark::State &state) {
  for (auto _ : state) {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&BM_ModuleQueries), &self);
    benchmark::DoNotOptimize(GetProcAddress(GetModuleHandleW(u"librevdir_platform.so"), "LoadStringW"));
  }
}
BENCHMARK(BM_ModuleQueries);

}  // namespace
