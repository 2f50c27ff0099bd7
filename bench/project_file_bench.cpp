// How fast a project file names its release. A 1 GiB text export whose
// controller module entry is at its very end, page cache warm, read by
// GetRevisionFromProjectFile, against the fastest plain pass over every byte
// (read() in large blocks with memchr over each, or memchr over a mapping)
// and against a case-insensitive grep for the entry. A project database's
// cost must not depend on its size: 1 KiB against a 4 GiB sparse file.
// Ends with the ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <map>
#include <memory>
#include <string>

#include "QuillonRevisionDirectory.h"

namespace {

constexpr uint64_t kExportBytes = uint64_t{1} << 30;
const char kExportPath[] = "/tmp/revdir-bench-export.pjx";
const char kSmallAcd[] = "/tmp/revdir-bench-small.acd";
const char kSparseAcd[] = "/tmp/revdir-bench-sparse.acd";

// A stretch of a text export as the application writes one: data types,
// other modules, tags with descriptions, ladder rungs.
const char kFiller[] =
    "\tDATATYPE Recipe_UDT (FamilyType := NoFamily)\r\n"
    "\t\tDINT Step (Radix := Decimal);\r\n"
    "\t\tREAL Setpoint (Radix := Float);\r\n"
    "\tEND_DATATYPE\r\n"
    "\tMODULE Rack1_Slot4 (Parent := \"Local\",\r\n"
    "\t                    ParentModPortId := 1,\r\n"
    "\t                    CatalogNumber := \"IO-16DI\",\r\n"
    "\t                    Major := 3,\r\n"
    "\t                    Minor := 2)\r\n"
    "\tEND_MODULE\r\n"
    "\tTAG\r\n"
    "\t\tMotor_Start : BOOL (Description := \"Main conveyor motor start, remote station\") := 0;\r\n"
    "\t\tModule_Fault : DINT (Description := \"Fault word of the remote module\") := 0;\r\n"
    "\t\tTemperature_Limit : REAL (Radix := Float) := 72.5;\r\n"
    "\tEND_TAG\r\n"
    "\t\tRUNG\r\n"
    "\t\tN: XIC(Motor_Start)XIO(Module_Fault.0)[OTE(Motor_Run) ,MOV(Temperature_Limit,Alarm_Setpoint)];\r\n"
    "\t\tEND_RUNG\r\n";
const char kEntry[] =
    "\tMODULE Local (Parent := \"Local\",\r\n\t              CatalogNumber := \"AR-05\",\r\n"
    "\t              Major := 15,\r\n\t              Minor := 1)\r\n\tEND_MODULE\r\nEND_CONTROLLER\r\n";

bool MakeExport() {
  struct stat st;
  if (stat(kExportPath, &st) == 0 && static_cast<uint64_t>(st.st_size) == kExportBytes) return true;
  int fd = open(kExportPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  std::string block;
  while (block.size() < (1u << 20)) block += kFiller;
  uint64_t body = kExportBytes - (sizeof kEntry - 1);
  for (uint64_t done = 0; done < body;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), body - done));
    if (write(fd, block.data(), n) != static_cast<ssize_t>(n)) return close(fd), false;
    done += n;
  }
  bool ok = write(fd, kEntry, sizeof kEntry - 1) == static_cast<ssize_t>(sizeof kEntry - 1);
  return close(fd) == 0 && ok;
}

bool MakeAcd(const char *path, off_t size) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  const unsigned char version[4] = {0x8d, 0x0c, 0x00, 0x00};
  bool ok = ftruncate(fd, size - 4) == 0 && pwrite(fd, version, 4, size - 4) == 4;
  return close(fd) == 0 && ok;
}

IRevisionDirectory *Directory() {
  static IRevisionDirectory *g_directory = [] {
    IRevisionDirectory *d = nullptr;
    HMODULE module = LoadLibraryA(REVDIR_COMPONENT_PATH);
    using GetClassObject = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
    auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void *>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory *factory = nullptr;
    if (get && SUCCEEDED(get(CLSID_RevisionDirectory, IID_IClassFactory, reinterpret_cast<void **>(&factory)))) {
      factory->CreateInstance(nullptr, IID_IRevisionDirectory, reinterpret_cast<void **>(&d));
      factory->Release();
    }
    // No registry scan: every release is known, none installed.
    if (d) d->TestModeInitialize(VARIANT_TRUE);
    return d;
  }();
  return g_directory;
}

// Calls GetRevisionFromProjectFile on `path` over and over; with
// `wantMajorSoftware` at 0 or above, each answer is checked too.
void Resolve(benchmark::State &state, const char *path, LONG wantMajorSoftware) {
  IRevisionDirectory *directory = Directory();
  if (!directory) return state.SkipWithError("the component did not load");
  std::u16string wide(path, path + strlen(path));
  BSTR name = SysAllocString(wide.c_str());
  for (auto _ : state) {
    IRevision *revision = nullptr;
    HRESULT hr = directory->GetRevisionFromProjectFile(name, &revision);
    LONG major = -1;
    if (revision) revision->get_MajorSoftwareVersion(&major), revision->Release();
    if (wantMajorSoftware >= 0 && (FAILED(hr) || major != wantMajorSoftware)) {
      state.SkipWithError("wrong answer");
      break;
    }
  }
  SysFreeString(name);
}

void BM_ExportGetRevisionFromProjectFile(benchmark::State &state) {
  if (!MakeExport()) return state.SkipWithError("cannot write the export");
  Resolve(state, kExportPath, 15);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kExportBytes));
}

// The fastest plain pass: every byte read and looked at once.
void BM_ExportReadMemchr(benchmark::State &state) {
  if (!MakeExport()) return state.SkipWithError("cannot write the export");
  const size_t blockBytes = static_cast<size_t>(state.range(0));
  std::unique_ptr<char[]> block(new char[blockBytes]);
  for (auto _ : state) {
    int fd = open(kExportPath, O_RDONLY);
    size_t hits = 0;
    for (ssize_t n; (n = read(fd, block.get(), blockBytes)) > 0;)
      hits += memchr(block.get(), '\x01', static_cast<size_t>(n)) != nullptr;
    close(fd);
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kExportBytes));
}

void BM_ExportMmapMemchr(benchmark::State &state) {
  if (!MakeExport()) return state.SkipWithError("cannot write the export");
  for (auto _ : state) {
    int fd = open(kExportPath, O_RDONLY);
    void *view = mmap(nullptr, kExportBytes, PROT_READ, MAP_PRIVATE, fd, 0);
    benchmark::DoNotOptimize(memchr(view, '\x01', kExportBytes));
    munmap(view, kExportBytes);
    close(fd);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kExportBytes));
}

void BM_ExportGrepCountIgnoreCase(benchmark::State &state) {
  if (!MakeExport()) return state.SkipWithError("cannot write the export");
  std::string command = std::string("LC_ALL=C grep -c -i 'module local' ") + kExportPath;
  for (auto _ : state) {
    FILE *pipe = popen(command.c_str(), "r");
    char out[64] = {};
    if (!pipe || !fgets(out, sizeof out, pipe)) return state.SkipWithError("grep did not run");
    pclose(pipe);
    if (atoi(out) != 1) return state.SkipWithError("grep found no entry");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kExportBytes));
}

// Version 3213, whichever release carries it; only the cost is measured.
void BM_Database(benchmark::State &state, const char *path, off_t size) {
  if (!MakeAcd(path, size)) return state.SkipWithError("cannot write the database");
  Resolve(state, path, -1);
}

BENCHMARK(BM_ExportReadMemchr)->Arg(1 << 18)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ExportMmapMemchr)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ExportGetRevisionFromProjectFile)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_ExportGrepCountIgnoreCase)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK_CAPTURE(BM_Database, 1KiB, kSmallAcd, 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Database, 4GiBSparse, kSparseAcd, off_t{4} << 30)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's real time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    // Keyed by the name and arguments, without options such as min_time.
    for (const Run &run : runs)
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
        times[name] = run.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto &t = reporter.times;
  auto ratio = [&](const char *a, const char *b) {
    if (!t.count(a) || !t.count(b)) return;
    printf("%s / %s = %.3f (real time)\n", a, b, t[a] / t[b]);
  };
  double fastest = 0;
  const char *fastestName = nullptr;
  for (const char *name : {"BM_ExportReadMemchr/262144", "BM_ExportReadMemchr/1048576", "BM_ExportMmapMemchr"})
    if (t.count(name) && (!fastestName || t[name] < fastest)) fastest = t[name], fastestName = name;
  const char *mine = "BM_ExportGetRevisionFromProjectFile";
  if (fastestName) ratio(mine, fastestName);
  ratio(mine, "BM_ExportGrepCountIgnoreCase");
  ratio("BM_Database/4GiBSparse", "BM_Database/1KiB");
  benchmark::Shutdown();
  return 0;
}
