// Registry speed: a read from a loaded hive, loading a large hive, and a
// durable write for hives of several sizes, with the ratio of a write's cost
// in a hive of 10,000 keys to that in one of 10.
//   ./build/bench/registry_bench
// The prefix goes to $BENCH_DIR (default /tmp, a real disk, so that the
// write figures include a real fsync).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "advapi32/regfile.h"
#include "platform/text/wide_text.h"

namespace fs = std::filesystem;

namespace {

std::string FreshPrefix() {
  const char *base = getenv("BENCH_DIR");
  std::string dir = std::string(base ? base : "/tmp") + "/revdir-regbench-XXXXXX";
  if (!mkdtemp(dir.data())) abort();
  setenv("REVDIR_PREFIX", dir.c_str(), 1);
  return dir;
}

// keys keys of 3 values each, as a hive file in the prefix.
void WriteHive(const std::string &dir, int keys) {
  platform::reg::Key root;
  auto software = root.Child(u"SOFTWARE");
  for (int i = 0; i < keys; ++i) {
    auto vendor = software->Child(std::u16string(u"Vendor") + std::u16string(1, char16_t(u'A' + i / 100 % 26)) +
                                  std::u16string(1, char16_t(u'0' + i / 2600)));
    std::string p = "Product" + std::to_string(i);
    auto key = vendor->Child(platform::Widen(p));
    BYTE dw[4] = {1, 2, 3, 4};
    key->SetValue(u"Version", REG_SZ, {'1', 0, '.', 0, '0', 0, 0, 0});
    key->SetValue(u"Flags", REG_DWORD, {dw, dw + 4});
    key->SetValue(u"Path", REG_SZ, {'C', 0, ':', 0, '\\', 0, 'x', 0, 0, 0});
  }
  std::string text = platform::reg::Write(root, u"HKEY_LOCAL_MACHINE");
  FILE *f = fopen((dir + "/system.reg").c_str(), "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

void BM_OpenAndQuery(benchmark::State &state) {
  std::string dir = FreshPrefix();
  WriteHive(dir, 1000);
  HKEY k;
  RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &k);  // loads the hive
  RegCloseKey(k);
  for (auto _ : state) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\VendorE0\\Product401", 0, KEY_READ, &key)) abort();
    DWORD v, cb = sizeof v;
    if (RegQueryValueExW(key, u"Flags", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb)) abort();
    RegCloseKey(key);
    benchmark::DoNotOptimize(v);
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_OpenAndQuery);

void BM_QueryOpenKey(benchmark::State &state) {
  std::string dir = FreshPrefix();
  WriteHive(dir, 1000);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\VendorE0\\Product401", 0, KEY_READ, &key)) abort();
  for (auto _ : state) {
    DWORD v, cb = sizeof v;
    if (RegQueryValueExW(key, u"Flags", nullptr, nullptr, reinterpret_cast<BYTE *>(&v), &cb)) abort();
    benchmark::DoNotOptimize(v);
  }
  RegCloseKey(key);
  fs::remove_all(dir);
}
BENCHMARK(BM_QueryOpenKey);

// Loading: a new prefix each time makes the store read the hive afresh.
void BM_LoadHive(benchmark::State &state) {
  std::string src = FreshPrefix();
  WriteHive(src, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    std::string dir = FreshPrefix();
    fs::copy_file(src + "/system.reg", dir + "/system.reg");
    state.ResumeTiming();
    HKEY k;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ, &k)) abort();
    RegCloseKey(k);
    state.PauseTiming();
    fs::remove_all(dir);
    state.ResumeTiming();
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(src + "/system.reg"));
  fs::remove_all(src);
}
BENCHMARK(BM_LoadHive)->Arg(10000)->Unit(benchmark::kMillisecond);

// Repeated writes through one key handle: each is in the file when its call
// returns; the flush to disk waits for the handle's close.
void BM_DurableWrite(benchmark::State &state) {
  std::string dir = FreshPrefix();
  WriteHive(dir, static_cast<int>(state.range(0)));
  HKEY key = nullptr;
  if (RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Bench", &key)) abort();
  DWORD n = 0;
  for (auto _ : state) {
    ++n;
    if (RegSetValueExW(key, u"Counter", 0, REG_DWORD, reinterpret_cast<BYTE *>(&n), 4)) abort();
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(dir + "/system.reg"));
  RegCloseKey(key);
  fs::remove_all(dir);
}
BENCHMARK(BM_DurableWrite)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// One write through a key opened for it, then closed: the close flushes it to disk.
void WriteAndClose(DWORD n) {
  HKEY key = nullptr;
  if (RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Bench", &key)) abort();
  if (RegSetValueExW(key, u"Counter", 0, REG_DWORD, reinterpret_cast<BYTE *>(&n), 4)) abort();
  RegCloseKey(key);
}

void BM_DurableWriteAndClose(benchmark::State &state) {
  std::string dir = FreshPrefix();
  WriteHive(dir, static_cast<int>(state.range(0)));
  DWORD n = 0;
  for (auto _ : state) WriteAndClose(++n);
  fs::remove_all(dir);
}
BENCHMARK(BM_DurableWriteAndClose)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// A hive of 10 keys and one of 10,000 in turn, so that the ratio of their
// write costs (x_small) comes from one run under the same load. Arg 0:
// blocks of writes through one open handle; 1: each write opens and closes
// its key.
void BM_DurableWriteRatio(benchmark::State &state) {
  const bool closeEach = state.range(0) == 1;
  const int block = closeEach ? 4 : 64;
  struct Side {
    std::string dir;
    HKEY key = nullptr;
    double seconds = 0;
  } sides[2];
  const int sizes[2] = {10, 10000};
  DWORD n = 0;
  for (int i = 0; i < 2; ++i) {
    sides[i].dir = FreshPrefix();
    WriteHive(sides[i].dir, sizes[i]);
    if (RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Bench", &sides[i].key)) abort();
    WriteAndClose(++n);  // puts the hive written here in the store's own form
  }
  for (auto _ : state) {
    for (Side &side : sides) {
      setenv("REVDIR_PREFIX", side.dir.c_str(), 1);
      auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < block; ++i) {
        if (closeEach)
          WriteAndClose(++n);
        else if (RegSetValueExW(side.key, u"Counter", 0, REG_DWORD, reinterpret_cast<BYTE *>(&++n), 4))
          abort();
      }
      side.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
  }
  const double writes = static_cast<double>(state.iterations()) * block;
  state.counters["small_us"] = sides[0].seconds / writes * 1e6;
  state.counters["large_us"] = sides[1].seconds / writes * 1e6;
  state.counters["x_small"] = sides[1].seconds / sides[0].seconds;
  for (Side &side : sides) {
    setenv("REVDIR_PREFIX", side.dir.c_str(), 1);
    RegCloseKey(side.key);
    fs::remove_all(side.dir);
  }
}
BENCHMARK(BM_DurableWriteRatio)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
