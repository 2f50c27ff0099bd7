// The registry store's hive reader (a hive file in the prefix is a text file
// a person may edit): any bytes either fail with a line number or give
// entries that, applied and written back, read again as the same tree.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string_view>

#include "advapi32/regfile.h"
#include "kernel32/text.h"

namespace {

using platform::reg::Key;

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

// Unpaired surrogates (possible in a UTF-16 file) have no UTF-8 form; the
// store refuses such names.
bool Utf16Names(const Key &k) {
  auto ok = [](const std::u16string &s) { return platform::ToUtf8(s).has_value(); };
  if (!ok(k.name)) return false;
  for (const auto &v : k.values)
    if (!ok(v.name)) return false;
  for (const auto &sub : k.subkeys)
    if (!Utf16Names(*sub)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace platform::reg;
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  std::vector<Entry> entries;
  ParseError error;
  if (!Parse(bytes, &entries, &error)) return 0;
  Key root;
  if (!ApplyAll(root, u"HKEY_LOCAL_MACHINE", entries, &error)) return 0;
  // Loading a file walks each section from where the one before left off;
  // that must build what applying each line alone does.
  Key stepwise;
  std::string why;
  for (const Entry &e : entries)
    if (!Apply(stepwise, u"HKEY_LOCAL_MACHINE", e, &why)) abort();
  if (!SameTree(root, stepwise)) abort();
  if (!Utf16Names(root)) return 0;
  // Names the store would refuse (not valid UTF-16, line breaks in key
  // names) cannot come out of a UTF-8 file, so the round trip must hold.
  for (auto encoding : {Encoding::kUtf8, Encoding::kUtf16}) {
    std::string text = Write(root, u"HKEY_LOCAL_MACHINE", encoding, false);
    std::vector<Entry> again;
    Key reread;
    if (!Parse(text, &again, &error) || !ApplyAll(reread, u"HKEY_LOCAL_MACHINE", again, &error)) abort();
    if (!SameTree(root, reread)) abort();
  }
  return 0;
}
