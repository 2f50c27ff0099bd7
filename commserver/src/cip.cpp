#include "cip.h"

#include <algorithm>

namespace commserver::cip {

bool IsNumericLink(const std::string &link) {
  if (link.empty() || link.size() > 3) return false;
  if (!std::all_of(link.begin(), link.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  return std::stoi(link) <= 255 && (link.size() == 1 || link[0] != '0');
}

bool EncodeHop(Writer &w, const Hop &hop) {
  if (hop.port == 0 || hop.port == 0xFFFF || hop.link.empty() || hop.link.size() > 255) return false;
  bool extended = !IsNumericLink(hop.link);
  bool wide_port = hop.port >= 15;
  size_t start = w.size();
  w.u8(static_cast<uint8_t>((extended ? 0x10 : 0) | (wide_port ? 15 : hop.port)));
  if (extended) w.u8(static_cast<uint8_t>(hop.link.size()));
  if (wide_port) w.u16(hop.port);
  if (extended)
    w.text(hop.link);
  else
    w.u8(static_cast<uint8_t>(std::stoi(hop.link)));
  if ((w.size() - start) % 2) w.u8(0);
  return true;
}

std::optional<std::vector<Hop>> DecodeRoute(std::span<const uint8_t> route) {
  Reader r(route);
  std::vector<Hop> hops;
  while (r.ok() && r.left()) {
    size_t start = r.pos();
    uint8_t head = r.u8();
    if (head & 0xE0) return std::nullopt;  // not a port segment
    bool extended = head & 0x10;
    uint8_t size = extended ? r.u8() : 1;
    Hop hop;
    hop.port = head & 0x0F;
    if (hop.port == 15) hop.port = r.u16();
    if (hop.port == 0 || hop.port == 0xFFFF) return std::nullopt;
    auto link = r.bytes(size);
    if (!r.ok() || size == 0) return std::nullopt;
    if (extended) {
      if (std::any_of(link.begin(), link.end(), [](uint8_t c) { return c < 0x21 || c > 0x7E; })) return std::nullopt;
      hop.link.assign(link.begin(), link.end());
    } else {
      hop.link = std::to_string(link[0]);
    }
    if ((r.pos() - start) % 2) {
      if (r.u8() != 0) return std::nullopt;
    }
    hops.push_back(std::move(hop));
  }
  if (!r.ok()) return std::nullopt;
  return hops;
}

std::optional<Request> ParseRequest(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  Request q;
  q.service = r.u8();
  size_t words = r.u8();
  q.path = r.bytes(words * 2);
  q.data = r.rest();
  if (!r.ok()) return std::nullopt;
  return q;
}

std::vector<uint8_t> BuildRequest(uint8_t service, std::span<const uint8_t> path, std::span<const uint8_t> data) {
  Writer w;
  w.u8(service).u8(static_cast<uint8_t>(path.size() / 2)).bytes(path).bytes(data);
  return std::move(w.out());
}

std::optional<Reply> ParseReply(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  Reply p;
  p.service = r.u8();
  r.u8();  // reserved
  p.status = r.u8();
  size_t words = r.u8();
  for (size_t i = 0; i < words && r.ok(); ++i) p.ext.push_back(r.u16());
  p.data = r.rest();
  if (!r.ok() || !(p.service & kReplyBit)) return std::nullopt;
  return p;
}

std::vector<uint8_t> BuildReply(uint8_t request_service, Status status, std::span<const uint16_t> ext,
                                std::span<const uint8_t> data) {
  Writer w;
  w.u8(request_service | kReplyBit).u8(0).u8(static_cast<uint8_t>(status)).u8(static_cast<uint8_t>(ext.size()));
  for (uint16_t e : ext) w.u16(e);
  w.bytes(data);
  return std::move(w.out());
}

std::optional<LogicalPath> ParseLogicalPath(std::span<const uint8_t> path) {
  Reader r(path);
  LogicalPath p;
  int seen = 0;  // 1 class, 2 instance, 3 attribute: in this order only
  while (r.ok() && r.left()) {
    uint8_t seg = r.u8();
    int kind;
    switch (seg & 0xFC) {
      case 0x20: kind = 1; break;
      case 0x24: kind = 2; break;
      case 0x30: kind = 3; break;
      default: return std::nullopt;
    }
    if (kind != seen + 1) return std::nullopt;
    seen = kind;
    uint16_t value;
    switch (seg & 0x03) {
      case 0: value = r.u8(); break;
      case 1: r.u8(), value = r.u16(); break;
      default: return std::nullopt;
    }
    if (kind == 1) p.cls = value;
    if (kind == 2) p.instance = value;
    if (kind == 3) p.attribute = value;
  }
  if (!r.ok() || seen < 2) return std::nullopt;
  return p;
}

std::vector<uint8_t> EncodeLogicalPath(uint16_t cls, uint16_t instance) {
  Writer w;
  for (auto [seg, value] : {std::pair<uint8_t, uint16_t>{0x20, cls}, {0x24, instance}}) {
    if (value <= 0xFF)
      w.u8(seg).u8(static_cast<uint8_t>(value));
    else
      w.u8(seg | 1).u8(0).u16(value);
  }
  return std::move(w.out());
}

std::vector<uint8_t> BuildUnconnectedSend(std::span<const uint8_t> embedded, std::span<const uint8_t> route) {
  Writer w;
  // Priority and tick time, then time-out ticks: about 2 s at the bridge.
  w.u8(0x0A).u8(0x02).u16(static_cast<uint16_t>(embedded.size())).bytes(embedded);
  if (embedded.size() % 2) w.u8(0);
  w.u8(static_cast<uint8_t>(route.size() / 2)).u8(0).bytes(route);
  return std::move(w.out());
}

std::optional<UnconnectedSend> ParseUnconnectedSend(std::span<const uint8_t> data) {
  Reader r(data);
  r.u8();
  r.u8();
  size_t size = r.u16();
  UnconnectedSend u;
  u.embedded = r.bytes(size);
  if (size % 2) r.u8();
  size_t words = r.u8();
  r.u8();
  u.route = r.bytes(words * 2);
  if (!r.done()) return std::nullopt;
  return u;
}

namespace {

bool AppendAttribute(Writer &w, const Identity &id, uint16_t attribute) {
  switch (attribute) {
    case 1: w.u16(id.vendor); break;
    case 2: w.u16(id.device_type); break;
    case 3: w.u16(id.product_code); break;
    case 4: w.u8(id.major).u8(id.minor); break;
    case 5: w.u16(id.status); break;
    case 6: w.u32(id.serial); break;
    case 7: {
      size_t n = std::min<size_t>(id.name.size(), 255);
      w.u8(static_cast<uint8_t>(n)).text(id.name.substr(0, n));
      break;
    }
    default: return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> AnswerIdentity(const Identity &id, const Request &request) {
  auto service = static_cast<Service>(request.service);
  if (service != Service::GetAttributesAll && service != Service::GetAttributeList)
    return BuildReply(request.service, Status::ServiceNotSupported);
  auto path = ParseLogicalPath(request.path);
  if (!path || path->attribute) return BuildReply(request.service, Status::PathSegmentError);
  if (path->cls != kIdentityClass || path->instance != 1)
    return BuildReply(request.service, Status::PathDestinationUnknown);

  Writer w;
  if (service == Service::GetAttributesAll) {
    for (uint16_t a = 1; a <= 7; ++a) AppendAttribute(w, id, a);
    return BuildReply(request.service, Status::Success, {}, w.out());
  }
  Reader r(request.data);
  uint16_t count = r.u16();
  std::vector<uint16_t> ids;
  for (uint16_t i = 0; i < count && r.ok(); ++i) ids.push_back(r.u16());
  if (!r.ok()) return BuildReply(request.service, Status::NotEnoughData);
  if (!r.done()) return BuildReply(request.service, Status::TooMuchData);
  Status status = Status::Success;
  w.u16(count);
  for (uint16_t a : ids) {
    w.u16(a);
    size_t at = w.size();
    w.u16(0);
    if (!AppendAttribute(w, id, a)) {
      w.patch16(at, static_cast<uint16_t>(Status::AttributeNotSupported));
      status = Status::AttributeListError;
    }
  }
  return BuildReply(request.service, status, {}, w.out());
}

}  // namespace commserver::cip
