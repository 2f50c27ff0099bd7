// Importing a .reg file of 760 values in 40 keys: `revdir reg import` into a
// fresh prefix, and beside it Wine's own `reg import` of the same file, with
// the ratio of the two (x_wine) measured in the same run.
//   ./build/bench/reg_import_bench --benchmark_repetitions=5
// The prefixes go to $BENCH_DIR (default /tmp, a real disk, so that the
// figures include real flushes to disk). Wine's prefix is made once and its
// server kept running, as a user meets it; without wine that case is skipped.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;

namespace {

std::string TempDir(const char *what) {
  const char *base = getenv("BENCH_DIR");
  std::string dir = std::string(base ? base : "/tmp") + "/revdir-" + what + "-XXXXXX";
  if (!mkdtemp(dir.data())) abort();
  return dir;
}

// hex bytes of UTF-16LE text, as an export writes them.
std::string HexOf(std::u16string_view s) {
  std::string out;
  char byte[4];
  for (char16_t c : s) {
    snprintf(byte, sizeof byte, "%02x,", c & 0xFF);
    out += byte;
    snprintf(byte, sizeof byte, "%02x,", c >> 8);
    out += byte;
  }
  out.pop_back();
  return out;
}

// The value line of the v-th value of the k-th key, in the types such files
// mostly hold.
std::string ValueLine(int k, int v) {
  const std::string name = "\"Setting" + std::to_string(v) + "\"=";
  char text[64];
  switch ((k + v) % 5) {
    case 0:
      return name + "\"C:\\\\Program Files\\\\Vendor\\\\Component" + std::to_string(k) + "\\\\data.bin\"";
    case 1:
      snprintf(text, sizeof text, "dword:%08x", k * 256 + v);
      return name + text;
    case 2: {
      std::string hex = "hex:";
      for (int i = 0; i < 16; ++i) {
        snprintf(text, sizeof text, "%02x,", (k * 16 + v + i) & 0xFF);
        hex += text;
      }
      hex.pop_back();
      return name + hex;
    }
    case 3:
      return name + "hex(7):" + HexOf(std::u16string_view(u"first\0second\0third\0\0", 20));
    default:
      return name + "hex(2):" + HexOf(std::u16string_view(u"%ProgramFiles%\\Vendor\\bin\0", 26));
  }
}

// 40 keys of 19 values each, written as Windows exports them (UTF-16 with a
// BOM, CRLF).
std::string ImportFile(const std::string &dir) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int k = 0; k < 40; ++k) {
    text += "[HKEY_CURRENT_USER\\Software\\RevdirImportBench\\Component" + std::to_string(k) + "]\r\n";
    for (int v = 0; v < 19; ++v) text += ValueLine(k, v) + "\r\n";
    text += "\r\n";
  }
  std::string bytes = "\xFF\xFE";
  for (char c : text) bytes += {c, '\0'};
  std::string path = dir + "/import.reg";
  FILE *f = fopen(path.c_str(), "wb");
  if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
  fclose(f);
  return path;
}

// Runs a program and waits for it; false when it did not exit with 0.
bool Run(const std::vector<std::string> &args, bool quiet = false) {
  std::vector<char *> argv;
  for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int e = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return e == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One import by revdir into a prefix of its own: its time in seconds.
double RevdirImport(const std::string &file) {
  const std::string prefix = TempDir("importbench");
  setenv("REVDIR_PREFIX", prefix.c_str(), 1);
  auto start = std::chrono::steady_clock::now();
  if (!Run({REVDIR_TOOL, "reg", "import", file}, true)) abort();
  const double took = Seconds(start);
  fs::remove_all(prefix);
  return took;
}

void BM_RevdirImport(benchmark::State &state) {
  const std::string dir = TempDir("importfile");
  const std::string file = ImportFile(dir);
  for (auto _ : state) state.SetIterationTime(RevdirImport(file));
  fs::remove_all(dir);
}
BENCHMARK(BM_RevdirImport)->UseManualTime()->Unit(benchmark::kMillisecond);

// Wine's prefix, made once for the whole run, with its server kept alive.
struct WinePrefix {
  std::string dir;
  std::string why;  // why there is none

  WinePrefix() {
    if (!Run({"sh", "-c", "command -v wine && command -v wineserver"}, true)) {
      why = "wine is not installed: Wine's reg import not measured";
      return;
    }
    dir = TempDir("importwine");
    setenv("WINEPREFIX", dir.c_str(), 1);
    setenv("WINEARCH", "win64", 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    if (!Run({"wine", "wineboot", "-i"}, true) || !Run({"wineserver", "-w"}) || !Run({"wineserver", "-p"})) {
      why = "cannot make a Wine prefix in " + dir;
    }
  }
  ~WinePrefix() {
    if (dir.empty()) return;
    Run({"wineserver", "-k"}, true);
    fs::remove_all(dir);
  }
};

// Both imports in turn, so that their ratio comes from one run under the
// same load.
void BM_ImportBesideWine(benchmark::State &state) {
  static WinePrefix g_wine;
  if (!g_wine.why.empty()) {
    state.SkipWithError(g_wine.why.c_str());
    return;
  }
  const std::string dir = TempDir("importfile");
  const std::string file = ImportFile(dir);
  std::string winFile = "Z:" + file;
  for (char &c : winFile)
    if (c == '/') c = '\\';
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    ours += RevdirImport(file);
    auto start = std::chrono::steady_clock::now();
    if (!Run({"wine", "reg", "import", winFile}, true)) abort();
    theirs += Seconds(start);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["revdir_ms"] = ours / n * 1e3;
  state.counters["wine_ms"] = theirs / n * 1e3;
  state.counters["x_wine"] = ours / theirs;
  fs::remove_all(dir);
}
BENCHMARK(BM_ImportBesideWine)->Unit(benchmark::kMillisecond);

}  // namespace
