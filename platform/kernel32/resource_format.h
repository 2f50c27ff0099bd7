// The resource directory a module carries. tools/gen/rc2cpp.py compiles the
// module's .rc file into a C++ source that defines it under the exported
// name below, with the same layout; version changes when the layout does.
#pragma once

#include <stdint.h>

namespace platform {

struct ResourceEntry {
  const char16_t *type_name;  // null when the type is a number
  const char16_t *name;       // null when the name is a number
  uint16_t type_id;
  uint16_t name_id;
  uint16_t language;
  uint16_t reserved;
  uint32_t size;
  const void *data;  // string tables: RT_STRING blocks of 16 length-prefixed strings
};

struct ResourceDirectory {
  uint32_t magic;
  uint32_t version;
  uint32_t count;
  const ResourceEntry *entries;
};

constexpr uint32_t kResourceMagic = 0x43525352;  // "RSRC"
constexpr uint32_t kResourceVersion = 1;
constexpr const char *kResourceSymbol = "revdir_resource_directory";

}  // namespace platform
