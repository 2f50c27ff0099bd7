// The .reg reader, writer and the registry store's key tree (a hive file in
// the prefix is a text file a person may edit; "revdir reg import" reads what
// a person wrote): any bytes either fail with a line number and a reason, or
// give statements that the writer writes back as a file that reads again as
// the same statements, and a tree that the store writes back as a hive that
// reads again as the same tree.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string_view>

#include "advapi32/regfile.h"

namespace {

using platform::reg::Entry;
using platform::reg::Key;

constexpr std::u16string_view kRoot = u"HKEY_LOCAL_MACHINE";

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

bool SameTree(const Key &a, const Key &b) {
  if (a.name != b.name || a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
  for (size_t i = 0; i < a.values.size(); ++i) {
    const auto &x = a.values[i], &y = b.values[i];
    if (x.name != y.name || x.type != y.type || x.data != y.data) return false;
  }
  for (size_t i = 0; i < a.subkeys.size(); ++i)
    if (!SameTree(*a.subkeys[i], *b.subkeys[i])) return false;
  return true;
}

// Unpaired surrogates (possible in a UTF-16 file) have no UTF-8 form.
bool WellFormedNames(const std::vector<Entry> &entries) {
  for (const Entry &e : entries)
    if (!platform::reg::WellFormed(e.path) || !platform::reg::WellFormed(e.name)) return false;
  return true;
}

bool WellFormedNames(const Key &k) {
  if (!platform::reg::WellFormed(k.name)) return false;
  for (const auto &v : k.values)
    if (!platform::reg::WellFormed(v.name)) return false;
  for (const auto &sub : k.subkeys)
    if (!WellFormedNames(*sub)) return false;
  return true;
}

// The statements that set something, written and read again.
void CheckWriter(const std::vector<Entry> &entries) {
  using platform::reg::Encoding;
  const std::vector<Entry> sets = Sets(entries);
  for (auto encoding : {Encoding::kUtf16, Encoding::kUtf8}) {
    if (encoding == Encoding::kUtf8 && !WellFormedNames(sets)) continue;
    platform::reg::Writer writer(encoding);
    for (const Entry &e : sets) {
      if (e.kind == Entry::kKey)
        writer.Section(e.path);
      else
        writer.Value(e.name, e.type, e.data);
    }
    std::vector<Entry> again;
    platform::reg::ParseError error;
    if (!platform::reg::Parse(writer.Finish(), &again, &error)) abort();
    if (again.size() != sets.size()) abort();
    for (size_t i = 0; i < sets.size(); ++i)
      if (!Same(sets[i], again[i])) abort();
  }
}

// The store's tree: built at once as a hive is loaded, or line by line, the
// same; written as a hive and read again, the same.
void CheckTree(const std::vector<Entry> &entries) {
  using namespace platform::reg;
  Key root;
  ParseError error;
  if (!ApplyAll(root, kRoot, entries, &error)) return;
  Key stepwise;
  std::string why;
  for (const Entry &e : entries)
    if (!Apply(stepwise, kRoot, e, &why)) abort();
  if (!SameTree(root, stepwise)) abort();
  // The store refuses names with no UTF-8 form.
  if (!WellFormedNames(root)) return;
  std::vector<Entry> again;
  Key reread;
  if (!Parse(Write(root, kRoot), &again, &error) || !ApplyAll(reread, kRoot, again, &error)) abort();
  if (!SameTree(root, reread)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<Entry> entries;
  platform::reg::ParseError error;
  if (!platform::reg::Parse(std::string_view(reinterpret_cast<const char *>(data), size), &entries, &error)) {
    if (error.message.empty() || error.line > size + 1) abort();
    return 0;
  }
  CheckWriter(entries);
  CheckTree(entries);
  return 0;
}
