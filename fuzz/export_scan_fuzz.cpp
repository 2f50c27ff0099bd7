// The streaming scanner of text exports against the plain one: the same
// answer for any bytes, however they are split into blocks and however
// small the bound on open lists (which forces second passes).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "resolve/export_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using revdir::ExportScanResult;
  ExportScanResult expected = revdir::ScanExportReference(data, size);
  // Block size and bound from the size, so inputs also try odd splits and
  // second passes.
  struct Run {
    size_t chunk, limit;
  };
  const Run runs[] = {{SIZE_MAX, revdir::ExportScanner::kDefaultPendingLimit},
                      {1 + size % 7, 1 + size % 3},
                      {1 + size % 61, revdir::ExportScanner::kDefaultPendingLimit}};
  for (const Run &run : runs) {
    ExportScanResult got = revdir::ScanExport(data, size, run.chunk, run.limit);
    if (!(got == expected)) {
      std::fprintf(stderr, "streaming (chunk %zu, limit %zu) gave %d.%d, the plain scanner %d.%d\n", run.chunk,
                   run.limit, got.major, got.minor, expected.major, expected.minor);
      std::abort();
    }
  }
  return 0;
}
