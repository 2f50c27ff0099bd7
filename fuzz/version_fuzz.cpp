// The version functions on any bytes: VerQueryValueW on a version block (its
// root length held to the copy, as GetFileVersionInfoW holds it) finds only
// values inside the block; and a module file of any content is read by
// GetFileVersionInfoSizeW and GetFileVersionInfoW without a fault.
#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

const WCHAR *const kQueries[] = {
    u"\\",
    u"\\VarFileInfo\\Translation",
    u"\\StringFileInfo\\040904b0\\FileVersion",
    u"\\StringFileInfo\\040904B0\\ProductName",
    u"\\\\StringFileInfo\\\\",
    u"\\x\\y\\z",
};

// Every value found lies inside the block, all `length` bytes of it at least.
void QueryAll(const std::vector<uint8_t> &block) {
  for (const WCHAR *query : kQueries) {
    void *value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query, &value, &length)) continue;
    const uint8_t *p = static_cast<const uint8_t *>(value);
    if (p < block.data() || p > block.data() + block.size() ||
        static_cast<size_t>(block.data() + block.size() - p) < length)
      abort();
    volatile uint8_t sum = 0;
    for (UINT i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + p[i]);
  }
}

// The file the inputs are written to, removed when the run ends.
struct ScratchFile {
  const std::string path = "/tmp/version_fuzz_" + std::to_string(getpid());
  ~ScratchFile() { unlink(path.c_str()); }
};

// The input as a module file, read as version.dll reads one.
void ReadAsModule(const uint8_t *data, size_t size) {
  static const ScratchFile kScratch;
  static const std::u16string kWindowsPath = [] {
    std::u16string w = u"Z:";
    for (char c : kScratch.path) w += c == '/' ? u'\\' : static_cast<char16_t>(c);
    return w;
  }();
  std::ofstream(kScratch.path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char *>(data), size);
  DWORD handle = 0;
  const DWORD needed = GetFileVersionInfoSizeW(kWindowsPath.c_str(), &handle);
  if (!needed) return;
  // Too short a buffer as well as a whole one.
  for (DWORD room : {needed, needed / 2 + 2}) {
    std::vector<uint8_t> info(room);
    if (GetFileVersionInfoW(kWindowsPath.c_str(), 0, room, info.data())) QueryAll(info);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size >= 2) {
    std::vector<uint8_t> block(data, data + size);
    const uint16_t length = static_cast<uint16_t>(std::min<size_t>(size, 0xFFFF));
    uint16_t stored;
    memcpy(&stored, block.data(), sizeof stored);
    stored = std::min(stored, length);
    memcpy(block.data(), &stored, sizeof stored);
    QueryAll(block);
  }
  ReadAsModule(data, size);
  return 0;
}
