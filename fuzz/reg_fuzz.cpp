// The .reg reader of "revdir reg import": any bytes either fail with a line
// number and a reason, or give statements that the writer writes back as a
// file that reads again as the same keys and values.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string_view>

#include "regfile.h"

using revdir::regfile::Entry;

namespace {

// What a file sets: its key sections and their values, in order.
std::vector<Entry> Sets(const std::vector<Entry> &entries) {
  std::vector<Entry> out;
  for (const Entry &e : entries)
    if (e.kind == Entry::kKey || e.kind == Entry::kValue) out.push_back(e);
  return out;
}

bool Same(const Entry &a, const Entry &b) {
  return a.kind == b.kind && a.path == b.path && a.name == b.name && a.type == b.type && a.data == b.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace revdir::regfile;
  std::vector<Entry> entries;
  Error error;
  if (!Parse(std::string_view(reinterpret_cast<const char *>(data), size), &entries, &error)) {
    if (error.message.empty() || error.line > size + 1) abort();
    return 0;
  }
  const std::vector<Entry> sets = Sets(entries);
  Writer writer;
  for (const Entry &e : sets) {
    if (e.kind == Entry::kKey) writer.Section(e.path);
    else writer.Value(e.name, e.type, e.data);
  }
  std::vector<Entry> again;
  if (!Parse(writer.Finish(), &again, &error)) abort();
  if (again.size() != sets.size()) abort();
  for (size_t i = 0; i < sets.size(); ++i)
    if (!Same(sets[i], again[i])) abort();
  return 0;
}
