// The registry journal beside a hive (a file in the prefix that a crash may
// leave cut short and a person may edit): any bytes give a header or none,
// then the intact records up to the first torn one, which frame back to the
// same bytes; cut anywhere, they give a prefix of the same records; and each
// record either fails to parse or applies to a tree without harm.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <string_view>
#include <vector>

#include "advapi32/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace platform::reg;
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  uint64_t generation = 0;
  if (ReadJournalHeader(bytes, &generation)) {
    if (JournalHeader(generation) != bytes.substr(0, kJournalHeaderSize)) abort();
    bytes.remove_prefix(kJournalHeaderSize);
  }
  std::vector<std::string_view> records;
  const size_t used = ReadJournalRecords(bytes, &records);
  if (used > bytes.size()) abort();
  std::string framed;
  for (std::string_view r : records) framed += JournalRecord(r);
  if (framed != bytes.substr(0, used)) abort();

  // A writer killed mid-append leaves a prefix: the records before the cut.
  const size_t cut = size ? data[0] * used / 255 : 0;
  std::vector<std::string_view> before;
  if (ReadJournalRecords(bytes.substr(0, cut), &before) > cut || before.size() > records.size()) abort();
  for (size_t i = 0; i < before.size(); ++i)
    if (before[i] != records[i]) abort();

  Key root;
  for (std::string_view r : records) {
    std::vector<Entry> entries;
    ParseError error;
    if (Parse(r, &entries, &error)) ApplyAll(root, u"HKEY_LOCAL_MACHINE", entries, &error);
  }
  return 0;
}
