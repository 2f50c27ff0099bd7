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
  bool widePort = hop.port >= 15;
  size_t start = w.Size();
  w.U8(static_cast<uint8_t>((extended ? 0x10 : 0) | (widePort ? 15 : hop.port)));
  if (extended) w.U8(static_cast<uint8_t>(hop.link.size()));
  if (widePort) w.U16(hop.port);
  if (extended)
    w.Text(hop.link);
  else
    w.U8(static_cast<uint8_t>(std::stoi(hop.link)));
  if ((w.Size() - start) % 2) w.U8(0);
  return true;
}

std::optional<std::vector<Hop>> DecodeRoute(std::span<const uint8_t> route) {
  Reader r(route);
  std::vector<Hop> hops;
  while (r.Ok() && r.Left()) {
    size_t start = r.Pos();
    uint8_t head = r.U8();
    if (head & 0xE0) return std::nullopt;  // not a port segment
    bool extended = head & 0x10;
    uint8_t size = extended ? r.U8() : 1;
    Hop hop;
    hop.port = head & 0x0F;
    if (hop.port == 15) hop.port = r.U16();
    if (hop.port == 0 || hop.port == 0xFFFF) return std::nullopt;
    auto link = r.Bytes(size);
    if (!r.Ok() || size == 0) return std::nullopt;
    if (extended) {
      if (std::any_of(link.begin(), link.end(), [](uint8_t c) { return c < 0x21 || c > 0x7E; })) return std::nullopt;
      hop.link.assign(link.begin(), link.end());
    } else {
      hop.link = std::to_string(link[0]);
    }
    if ((r.Pos() - start) % 2) {
      if (r.U8() != 0) return std::nullopt;
    }
    hops.push_back(std::move(hop));
  }
  if (!r.Ok()) return std::nullopt;
  return hops;
}

std::optional<Request> ParseRequest(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  Request q;
  q.service = r.U8();
  size_t words = r.U8();
  q.path = r.Bytes(words * 2);
  q.data = r.Rest();
  if (!r.Ok()) return std::nullopt;
  return q;
}

std::vector<uint8_t> BuildRequest(uint8_t service, std::span<const uint8_t> path, std::span<const uint8_t> data) {
  Writer w;
  w.U8(service).U8(static_cast<uint8_t>(path.size() / 2)).Bytes(path).Bytes(data);
  return std::move(w.Out());
}

std::optional<Reply> ParseReply(std::span<const uint8_t> bytes) {
  Reader r(bytes);
  Reply p;
  p.service = r.U8();
  r.U8();  // reserved
  p.status = r.U8();
  size_t words = r.U8();
  for (size_t i = 0; i < words && r.Ok(); ++i) p.ext.push_back(r.U16());
  p.data = r.Rest();
  if (!r.Ok() || !(p.service & kReplyBit)) return std::nullopt;
  return p;
}

std::vector<uint8_t> BuildReply(uint8_t requestService, Status status, std::span<const uint16_t> ext,
                                std::span<const uint8_t> data) {
  Writer w;
  w.U8(requestService | kReplyBit).U8(0).U8(static_cast<uint8_t>(status)).U8(static_cast<uint8_t>(ext.size()));
  for (uint16_t e : ext) w.U16(e);
  w.Bytes(data);
  return std::move(w.Out());
}

std::optional<LogicalPath> ParseLogicalPath(std::span<const uint8_t> path) {
  Reader r(path);
  LogicalPath p;
  int seen = 0;  // 1 class, 2 instance, 3 attribute: in this order only
  while (r.Ok() && r.Left()) {
    uint8_t seg = r.U8();
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
      case 0:
        value = r.U8();
        break;
      case 1:
        r.U8(), value = r.U16();
        break;
      default: return std::nullopt;
    }
    if (kind == 1) p.cls = value;
    if (kind == 2) p.instance = value;
    if (kind == 3) p.attribute = value;
  }
  if (!r.Ok() || seen < 2) return std::nullopt;
  return p;
}

std::vector<uint8_t> EncodeLogicalPath(uint16_t cls, uint16_t instance) {
  Writer w;
  for (auto [seg, value] : {std::pair<uint8_t, uint16_t>{0x20, cls}, {0x24, instance}}) {
    if (value <= 0xFF)
      w.U8(seg).U8(static_cast<uint8_t>(value));
    else
      w.U8(seg | 1).U8(0).U16(value);
  }
  return std::move(w.Out());
}

std::vector<uint8_t> BuildUnconnectedSend(std::span<const uint8_t> embedded, std::span<const uint8_t> route) {
  Writer w;
  // Priority and tick time, then time-out ticks: about 2 s at the bridge.
  w.U8(0x0A).U8(0x02).U16(static_cast<uint16_t>(embedded.size())).Bytes(embedded);
  if (embedded.size() % 2) w.U8(0);
  w.U8(static_cast<uint8_t>(route.size() / 2)).U8(0).Bytes(route);
  return std::move(w.Out());
}

std::optional<UnconnectedSend> ParseUnconnectedSend(std::span<const uint8_t> data) {
  Reader r(data);
  r.U8();
  r.U8();
  size_t size = r.U16();
  UnconnectedSend u;
  u.embedded = r.Bytes(size);
  if (size % 2) r.U8();
  size_t words = r.U8();
  r.U8();
  u.route = r.Bytes(words * 2);
  if (!r.Done()) return std::nullopt;
  return u;
}

namespace {

bool AppendAttribute(Writer &w, const Identity &id, uint16_t attribute) {
  switch (attribute) {
    case 1:
      w.U16(id.vendor);
      break;
    case 2:
      w.U16(id.deviceType);
      break;
    case 3:
      w.U16(id.productCode);
      break;
    case 4:
      w.U8(id.major).U8(id.minor);
      break;
    case 5:
      w.U16(id.status);
      break;
    case 6:
      w.U32(id.serial);
      break;
    case 7: {
      size_t n = std::min<size_t>(id.name.size(), 255);
      w.U8(static_cast<uint8_t>(n)).Text(id.name.substr(0, n));
      break;
    }
    default: return false;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> AnswerIdentity(const Identity &id, const Request &request) {
  auto service = static_cast<Service>(request.service);
  if (service != Service::kGetAttributesAll && service != Service::kGetAttributeList)
    return BuildReply(request.service, Status::kServiceNotSupported);
  auto path = ParseLogicalPath(request.path);
  if (!path || path->attribute) return BuildReply(request.service, Status::kPathSegmentError);
  if (path->cls != kIdentityClass || path->instance != 1)
    return BuildReply(request.service, Status::kPathDestinationUnknown);

  Writer w;
  if (service == Service::kGetAttributesAll) {
    for (uint16_t a = 1; a <= 7; ++a) AppendAttribute(w, id, a);
    return BuildReply(request.service, Status::kSuccess, {}, w.Out());
  }
  Reader r(request.data);
  uint16_t count = r.U16();
  std::vector<uint16_t> ids;
  for (uint16_t i = 0; i < count && r.Ok(); ++i) ids.push_back(r.U16());
  if (!r.Ok()) return BuildReply(request.service, Status::kNotEnoughData);
  if (!r.Done()) return BuildReply(request.service, Status::kTooMuchData);
  Status status = Status::kSuccess;
  w.U16(count);
  for (uint16_t a : ids) {
    w.U16(a);
    size_t at = w.Size();
    w.U16(0);
    if (!AppendAttribute(w, id, a)) {
      w.Patch16(at, static_cast<uint16_t>(Status::kAttributeNotSupported));
      status = Status::kAttributeListError;
    }
  }
  return BuildReply(request.service, status, {}, w.Out());
}

Identity ReadIdentity(Reader &r) {
  Identity id;
  id.vendor = r.U16();
  id.deviceType = r.U16();
  id.productCode = r.U16();
  id.major = r.U8();
  id.minor = r.U8();
  id.status = r.U16();
  id.serial = r.U32();
  auto name = r.Bytes(r.U8());
  id.name.assign(name.begin(), name.end());
  return id;
}

std::optional<Identity> ParseIdentityAttributes(std::span<const uint8_t> data) {
  Reader r(data);
  Identity id = ReadIdentity(r);
  if (!r.Ok()) return std::nullopt;
  return id;
}

}  // namespace commserver::cip
