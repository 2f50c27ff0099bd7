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
// The identity a ListIdentity reply reports.
std::optional<cip::Identity> ParseListIdentityReply(std::span<const uint8_t> data);

}  // namespace commserver::enip
