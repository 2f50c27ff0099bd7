// The driver form's path text ("01 00"), as a caller hands it over.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "qxonline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text(reinterpret_cast<const char *>(data), size);  // terminated
  auto target = std::make_unique<QxCommTarget>();
  QxParsePathString(target.get(), text.c_str());
  size_t stored = strnlen(target->PathString, sizeof target->PathString);
  if (stored >= sizeof target->PathString || target->PathBytes.count > kQxMaxPathBytes) __builtin_trap();
  // Every byte read comes from a whole group of the stored text.
  if (target->PathBytes.count && (stored + 1) / 3 != target->PathBytes.count) __builtin_trap();
  return 0;
}
