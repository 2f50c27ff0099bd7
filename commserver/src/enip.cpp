#include "enip.h"

#include <algorithm>

namespace commserver::enip {

std::optional<Header> ParseHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() != kHeaderSize) return std::nullopt;
  Reader r(bytes);
  Header h;
  h.command = r.U16();
  h.length = r.U16();
  h.session = r.U32();
  h.status = r.U32();
  h.context = r.U64();
  h.options = r.U32();
  return h;
}

std::vector<uint8_t> Build(Command command, uint32_t session, std::span<const uint8_t> data, uint32_t status,
                           uint64_t context) {
  Writer w;
  w.U16(static_cast<uint16_t>(command)).U16(static_cast<uint16_t>(data.size())).U32(session).U32(status);
  w.U64(context).U32(0).Bytes(data);
  return std::move(w.Out());
}

std::vector<uint8_t> RegisterSessionData() {
  Writer w;
  w.U16(1).U16(0);
  return std::move(w.Out());
}

bool CheckRegisterSessionData(std::span<const uint8_t> data) {
  Reader r(data);
  uint16_t version = r.U16();
  uint16_t options = r.U16();
  return r.Done() && version == 1 && options == 0;
}

std::vector<uint8_t> SendRRData(std::span<const uint8_t> mr) {
  Writer w;
  w.U32(0).U16(0).U16(2);
  w.U16(static_cast<uint16_t>(ItemType::kNullAddress)).U16(0);
  w.U16(static_cast<uint16_t>(ItemType::kUnconnectedData)).U16(static_cast<uint16_t>(mr.size())).Bytes(mr);
  return std::move(w.Out());
}

std::optional<std::span<const uint8_t>> ParseSendRRData(std::span<const uint8_t> data) {
  Reader r(data);
  r.U32();  // interface handle
  r.U16();  // time-out
  uint16_t count = r.U16();
  std::optional<std::span<const uint8_t>> mr;
  for (uint16_t i = 0; i < count && r.Ok(); ++i) {
    uint16_t type = r.U16();
    uint16_t length = r.U16();
    auto item = r.Bytes(length);
    if (!r.Ok()) return std::nullopt;
    if (type == static_cast<uint16_t>(ItemType::kUnconnectedData)) {
      if (mr) return std::nullopt;  // two data items: which one is meant?
      mr = item;
    } else if (type != static_cast<uint16_t>(ItemType::kNullAddress) || length != 0) {
      return std::nullopt;
    }
  }
  if (!r.Done() || !mr) return std::nullopt;
  return mr;
}

std::vector<uint8_t> ListIdentityReply(const cip::Identity &id, uint32_t ipv4, uint16_t port) {
  Writer item;
  item.U16(1);
  // The socket address is in network byte order.
  item.U8(0).U8(2).U8(static_cast<uint8_t>(port >> 8)).U8(static_cast<uint8_t>(port));
  for (int shift = 24; shift >= 0; shift -= 8) item.U8(static_cast<uint8_t>(ipv4 >> shift));
  item.U64(0);
  size_t n = std::min<size_t>(id.name.size(), 255);
  item.U16(id.vendor).U16(id.deviceType).U16(id.productCode).U8(id.major).U8(id.minor);
  item.U16(id.status).U32(id.serial).U8(static_cast<uint8_t>(n)).Text(id.name.substr(0, n)).U8(0xFF);
  Writer w;
  w.U16(1).U16(static_cast<uint16_t>(ItemType::kIdentity)).U16(static_cast<uint16_t>(item.Size())).Bytes(item.Out());
  return std::move(w.Out());
}

namespace {

// The socket address is in network byte order, unlike the rest.
uint16_t BigEndian16(Reader &r) {
  uint16_t high = r.U8();
  return static_cast<uint16_t>(high << 8 | r.U8());
}

}  // namespace

std::optional<ListIdentityAnswer> ParseListIdentity(std::span<const uint8_t> data) {
  Reader r(data);
  if (r.U16() != 1 || r.U16() != static_cast<uint16_t>(ItemType::kIdentity)) return std::nullopt;
  uint16_t length = r.U16();
  Reader item(r.Bytes(length));
  if (!r.Done()) return std::nullopt;
  ListIdentityAnswer a;
  if (item.U16() != 1 || BigEndian16(item) != 2) return std::nullopt;  // version, AF_INET
  a.port = BigEndian16(item);
  a.ipv4 = uint32_t{BigEndian16(item)} << 16;
  a.ipv4 |= BigEndian16(item);
  item.Skip(8);  // sin_zero: devices do not all clear it, and nothing reads it
  a.identity = cip::ReadIdentity(item);
  a.state = item.U8();
  if (!item.Done()) return std::nullopt;
  return a;
}

std::optional<cip::Identity> ParseListIdentityReply(std::span<const uint8_t> data) {
  auto a = ParseListIdentity(data);
  if (!a) return std::nullopt;
  return std::move(a->identity);
}

std::vector<uint8_t> ListIdentityRequest(uint64_t context) { return Build(Command::kListIdentity, 0, {}, 0, context); }

std::optional<ListIdentityAnswer> ParseListIdentityDatagram(std::span<const uint8_t> datagram, uint64_t context) {
  if (datagram.size() < kHeaderSize) return std::nullopt;
  auto h = ParseHeader(datagram.first(kHeaderSize));
  auto data = datagram.subspan(kHeaderSize);
  if (!h || h->command != static_cast<uint16_t>(Command::kListIdentity) || h->length != data.size() || h->status ||
      h->context != context)
    return std::nullopt;
  return ParseListIdentity(data);
}

}  // namespace commserver::enip
