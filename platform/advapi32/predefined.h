// What other parts of the layer need of the predefined keys' mapping
// (RegOverridePredefKey).
#pragma once

#include <windows.h>

namespace platform {

// While one exists on a thread, the predefined keys mean on that thread what
// they mean by default, whatever the process mapped them to: for the layer's
// own writes that Windows makes to the real keys.
class DefaultKeyMapping {
 public:
  DefaultKeyMapping();
  ~DefaultKeyMapping();
  DefaultKeyMapping(const DefaultKeyMapping &) = delete;
  DefaultKeyMapping &operator=(const DefaultKeyMapping &) = delete;
};

// Whether the process has mapped the predefined key `key` to a key of its own.
bool PredefinedKeyMapped(HKEY key);

}  // namespace platform
