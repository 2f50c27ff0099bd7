// What a device sends back, read as the client library reads it: the
// encapsulation header, SendRRData's items, the CIP reply inside, plus the
// simulator's side (requests, Unconnected Send, routes, ListIdentity).
#include <cstddef>
#include <cstdint>
#include <span>

#include "cip.h"
#include "enip.h"

using namespace commserver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  if (size >= enip::kHeaderSize) {
    auto h = enip::ParseHeader(bytes.first(enip::kHeaderSize));
    if (!h) __builtin_trap();
    auto rest = bytes.subspan(enip::kHeaderSize);
    if (auto item = enip::ParseSendRRData(rest)) {
      if (item->data() < rest.data() || item->data() + item->size() > rest.data() + rest.size()) __builtin_trap();
      cip::ParseReply(*item);
    }
    enip::ParseListIdentityReply(rest);
  }
  if (auto reply = cip::ParseReply(bytes)) {
    if (reply->data.size() + 4 + 2 * reply->ext.size() != size) __builtin_trap();
  }
  if (auto request = cip::ParseRequest(bytes)) {
    cip::Identity id{1, 14, 15, 13, 1, 0, 42, "Fuzz"};
    cip::AnswerIdentity(id, *request);
    if (auto send = cip::ParseUnconnectedSend(request->data)) cip::DecodeRoute(send->route);
    cip::ParseLogicalPath(request->path);
  }
  if (auto hops = cip::DecodeRoute(bytes)) {
    // What was decoded encodes back to a route that decodes the same.
    Writer w;
    for (const auto &hop : *hops)
      if (!cip::EncodeHop(w, hop)) __builtin_trap();
    if (cip::DecodeRoute(w.Out()) != hops) __builtin_trap();
  }
  return 0;
}
