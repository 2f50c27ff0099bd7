// Path strings and stored targets, as callers hand them to the client library.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "cvapi32.h"
#include "path_string.h"

using namespace commserver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  Path path;
  if (ParsePath(text, path) == DTL_SUCCESS) {
    auto route = EncodeRoute(path);
    if (!route) __builtin_trap();
    auto hops = cip::DecodeRoute(*route);
    if (!hops || hops->size() != path.hops.size() + 1 || hops->front().link != path.station) __builtin_trap();
    if (auto stored = EncodeTarget(path.server, path.top)) {
      stored->resize(DTL_TARGET_MAX);
      auto back = DecodeTarget(stored->data());
      if (!back || back->server != path.server || back->top != path.top) __builtin_trap();
    }
  }
  // Any 510 bytes may be handed over as target data.
  uint8_t target[DTL_TARGET_MAX] = {};
  std::memcpy(target, data, size < sizeof target ? size : sizeof target);
  if (auto t = DecodeTarget(target)) {
    Path p;
    ParseTopPath(t->top, t->server, p);
  }
  return 0;
}
