// Object-definition files as they are found on disk beside the host program.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "adf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  comm::adf::Error error;
  auto catalog = comm::adf::Parse(text, &error);
  if (!catalog) {
    if (error.message.empty()) __builtin_trap();
    return 0;
  }
  // What a catalog promises its users: unique classes, 1 to 64 attributes in
  // increasing order, each sized.
  for (const auto &c : catalog->classes) {
    if (catalog->Find(c.cls) != &c || c.attributes.empty() || c.attributes.size() > comm::adf::kMaxAttributes)
      __builtin_trap();
    for (size_t i = 0; i < c.attributes.size(); ++i) {
      const auto &a = c.attributes[i];
      if ((i && a.id <= c.attributes[i - 1].id) || a.MaxSize() == 0 || a.MaxSize() > 256) __builtin_trap();
      // A value is never sized past the bytes given.
      if (comm::adf::ValueSize(a, data, size) > size) __builtin_trap();
    }
  }
  return 0;
}
