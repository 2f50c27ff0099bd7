// Any datagram a sweep may receive, read as the answer to a List Identity
// request of a known sender context.
#include <cstddef>
#include <cstdint>
#include <span>

#include "enip.h"

using namespace commserver;

namespace {
// The context of the seeds' requests (bytes 12 to 19 of their headers).
constexpr uint64_t kContext = 0x8877665544332211;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  auto whole = enip::ParseListIdentityDatagram(bytes, kContext);
  if (whole && size < enip::kHeaderSize) __builtin_trap();
  for (auto body : {bytes, size >= enip::kHeaderSize ? bytes.subspan(enip::kHeaderSize) : bytes}) {
    auto a = enip::ParseListIdentity(body);
    if (!a) continue;
    // What was read builds a reply that reads back the same.
    auto again = enip::ListIdentityReply(a->identity, a->ipv4, a->port);
    again.back() = a->state;
    auto b = enip::ParseListIdentity(again);
    if (a->identity.name.size() > 255 || !b || b->identity.name != a->identity.name ||
        b->identity.serial != a->identity.serial || b->ipv4 != a->ipv4 || b->port != a->port || b->state != a->state)
      __builtin_trap();
  }
  return 0;
}
