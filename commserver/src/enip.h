// EtherNet/IP encapsulation: the 24-byte header, RegisterSession,
// SendRRData with the common packet format, ListIdentity.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cip.h"

namespace commserver::enip {

inline constexpr uint16_t kDefaultPort = 44818;
inline constexpr size_t kHeaderSize = 24;
// The largest encapsulated payload we send or accept.
inline constexpr size_t kMaxData = 65511;

enum class Command : uint16_t {
  kListIdentity = 0x0063,
  kRegisterSession = 0x0065,
  kUnRegisterSession = 0x0066,
  kSendRRData = 0x006F,
};
enum class EncapStatus : uint32_t {
  kSuccess = 0,
  kInvalidCommand = 1,
  kInvalidLength = 0x65,
  kInvalidSession = 0x64,
  kUnsupportedProtocol = 0x69,
};
enum class ItemType : uint16_t { kNullAddress = 0x0000, kIdentity = 0x000C, kUnconnectedData = 0x00B2 };

struct Header {
  uint16_t command = 0;
  uint16_t length = 0;  // bytes of data after the header
  uint32_t session = 0;
  uint32_t status = 0;
  uint64_t context = 0;
  uint32_t options = 0;
};
// Exactly kHeaderSize bytes.
std::optional<Header> ParseHeader(std::span<const uint8_t> bytes);
std::vector<uint8_t> Build(Command command, uint32_t session, std::span<const uint8_t> data, uint32_t status = 0,
                           uint64_t context = 0);

std::vector<uint8_t> RegisterSessionData();  // protocol version 1, options 0
bool CheckRegisterSessionData(std::span<const uint8_t> data);

// SendRRData's data: interface handle, time-out, and the two items of the
// common packet format (null address, unconnected data holding the request).
std::vector<uint8_t> SendRRData(std::span<const uint8_t> mr);
// The unconnected data item of SendRRData's data; nullopt when there is none
// or the data breaks the format (any length that does not add up).
std::optional<std::span<const uint8_t>> ParseSendRRData(std::span<const uint8_t> data);

// ListIdentity's reply data for a device at this IPv4 address and port.
std::vector<uint8_t> ListIdentityReply(const cip::Identity &id, uint32_t ipv4, uint16_t port);

// What a ListIdentity reply says of its device.
struct ListIdentityAnswer {
  cip::Identity identity;
  uint8_t state = 0;
  uint32_t ipv4 = 0;  // the socket address the device names, in host order
  uint16_t port = 0;
};
// The reply's data (after the header), held to the format: one item of type
// 0x000C whose length covers exactly its contents, encapsulation version 1,
// an AF_INET socket address, the identity, a name that fits, the state byte
// and nothing after it. Anything else is nullopt.
std::optional<ListIdentityAnswer> ParseListIdentity(std::span<const uint8_t> data);
// The identity alone, as ParseListIdentity reads it.
std::optional<cip::Identity> ParseListIdentityReply(std::span<const uint8_t> data);
// The request a sweep sends: a bare header whose sender context the reply
// must echo.
std::vector<uint8_t> ListIdentityRequest(uint64_t context);
// A whole datagram answering ListIdentityRequest(context): the header
// (ListIdentity, a length equal to what follows, status 0, the context
// echoed), then what ParseListIdentity accepts.
std::optional<ListIdentityAnswer> ParseListIdentityDatagram(std::span<const uint8_t> datagram, uint64_t context);

}  // namespace commserver::enip
