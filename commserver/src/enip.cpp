#include "enip.h"

#include <algorithm>

namespace commserver::enip {

std::optional<Header> ParseHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() != kHeaderSize) return std::nullopt;
  Reader r(bytes);
  Header h;
  h.command = r.u16();
  h.length = r.u16();
  h.session = r.u32();
  h.status = r.u32();
  h.context = r.u64();
  h.options = r.u32();
  return h;
}

std::vector<uint8_t> Build(Command command, uint32_t session, std::span<const uint8_t> data, uint32_t status,
                           uint64_t context) {
  Writer w;
  w.u16(static_cast<uint16_t>(command)).u16(static_cast<uint16_t>(data.size())).u32(session).u32(status);
  w.u64(context).u32(0).bytes(data);
  return std::move(w.out());
}

std::vector<uint8_t> RegisterSessionData() {
  Writer w;
  w.u16(1).u16(0);
  return std::move(w.out());
}

bool CheckRegisterSessionData(std::span<const uint8_t> data) {
  Reader r(data);
  uint16_t version = r.u16();
  uint16_t options = r.u16();
  return r.done() && version == 1 && options == 0;
}

std::vector<uint8_t> SendRRData(std::span<const uint8_t> mr) {
  Writer w;
  w.u32(0).u16(0).u16(2);
  w.u16(static_cast<uint16_t>(ItemType::NullAddress)).u16(0);
  w.u16(static_cast<uint16_t>(ItemType::UnconnectedData)).u16(static_cast<uint16_t>(mr.size())).bytes(mr);
  return std::move(w.out());
}

std::optional<std::span<const uint8_t>> ParseSendRRData(std::span<const uint8_t> data) {
  Reader r(data);
  r.u32();  // interface handle
  r.u16();  // time-out
  uint16_t count = r.u16();
  std::optional<std::span<const uint8_t>> mr;
  for (uint16_t i = 0; i < count && r.ok(); ++i) {
    uint16_t type = r.u16();
    uint16_t length = r.u16();
    auto item = r.bytes(length);
    if (!r.ok()) return std::nullopt;
    if (type == static_cast<uint16_t>(ItemType::UnconnectedData)) {
      if (mr) return std::nullopt;  // two data items: which one is meant?
      mr = item;
    } else if (type != static_cast<uint16_t>(ItemType::NullAddress) || length != 0) {
      return std::nullopt;
    }
  }
  if (!r.done() || !mr) return std::nullopt;
  return mr;
}

std::vector<uint8_t> ListIdentityReply(const cip::Identity &id, uint32_t ipv4, uint16_t port) {
  Writer item;
  item.u16(1);
  // The socket address is in network byte order.
  item.u8(0).u8(2).u8(static_cast<uint8_t>(port >> 8)).u8(static_cast<uint8_t>(port));
  for (int shift = 24; shift >= 0; shift -= 8) item.u8(static_cast<uint8_t>(ipv4 >> shift));
  item.u64(0);
  size_t n = std::min<size_t>(id.name.size(), 255);
  item.u16(id.vendor).u16(id.device_type).u16(id.product_code).u8(id.major).u8(id.minor);
  item.u16(id.status).u32(id.serial).u8(static_cast<uint8_t>(n)).text(id.name.substr(0, n)).u8(0xFF);
  Writer w;
  w.u16(1).u16(static_cast<uint16_t>(ItemType::Identity)).u16(static_cast<uint16_t>(item.size())).bytes(item.out());
  return std::move(w.out());
}

std::optional<cip::Identity> ParseListIdentityReply(std::span<const uint8_t> data) {
  Reader r(data);
  if (r.u16() != 1 || r.u16() != static_cast<uint16_t>(ItemType::Identity)) return std::nullopt;
  uint16_t length = r.u16();
  Reader item(r.bytes(length));
  if (!r.done()) return std::nullopt;
  item.u16();
  item.skip(16);
  cip::Identity id;
  id.vendor = item.u16();
  id.device_type = item.u16();
  id.product_code = item.u16();
  id.major = item.u8();
  id.minor = item.u8();
  id.status = item.u16();
  id.serial = item.u32();
  auto name = item.bytes(item.u8());
  id.name.assign(name.begin(), name.end());
  item.u8();
  if (!item.done()) return std::nullopt;
  return id;
}

}  // namespace commserver::enip
