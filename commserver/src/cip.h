// CIP message-router requests and replies, port-segment routes, logical
// paths, Unconnected Send and the Identity object: the parts of the common
// industrial protocol that identifying a device needs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cursor.h"

namespace commserver::cip {

enum class Service : uint8_t {
  kGetAttributesAll = 0x01,
  kGetAttributeList = 0x03,
  kGetAttributeSingle = 0x0E,
  kUnconnectedSend = 0x52,
};
inline constexpr uint8_t kReplyBit = 0x80;

enum class Status : uint8_t {
  kSuccess = 0x00,
  kConnectionFailure = 0x01,
  kPathSegmentError = 0x04,
  kPathDestinationUnknown = 0x05,
  kServiceNotSupported = 0x08,
  kAttributeListError = 0x0A,
  kNotEnoughData = 0x13,
  kAttributeNotSupported = 0x14,
  kTooMuchData = 0x15,
};
// Extended statuses of a connection failure met while routing.
inline constexpr uint16_t kExtUnconnectedTimeout = 0x0204;
inline constexpr uint16_t kExtPortNotAvailable = 0x0311;
inline constexpr uint16_t kExtLinkAddressNotValid = 0x0312;

inline constexpr uint16_t kIdentityClass = 0x01;
inline constexpr uint16_t kConnectionManagerClass = 0x06;
inline constexpr uint16_t kBackplanePort = 1;

// One hop of a route: leave by this port towards this link address. A link
// that is a number 0..255 travels as one byte, any other text (an IPv4
// address, optionally with ":port") as an extended link address.
struct Hop {
  uint16_t port = 0;
  std::string link;
  bool operator==(const Hop &) const = default;
};
bool IsNumericLink(const std::string &link);
// Appends the hop as a port segment; false when it cannot be one (port 0 or
// 0xFFFF, an empty link or one longer than 255 bytes).
bool EncodeHop(Writer &w, const Hop &hop);
// A whole route of port segments; nullopt when any segment is malformed.
std::optional<std::vector<Hop>> DecodeRoute(std::span<const uint8_t> route);

// A message-router request: service, request path (size in words), data.
struct Request {
  uint8_t service = 0;
  std::span<const uint8_t> path;
  std::span<const uint8_t> data;
};
std::optional<Request> ParseRequest(std::span<const uint8_t> bytes);
std::vector<uint8_t> BuildRequest(uint8_t service, std::span<const uint8_t> path, std::span<const uint8_t> data);

// A message-router reply.
struct Reply {
  uint8_t service = 0;  // with the reply bit
  uint8_t status = 0;
  std::vector<uint16_t> ext;
  std::span<const uint8_t> data;
};
std::optional<Reply> ParseReply(std::span<const uint8_t> bytes);
std::vector<uint8_t> BuildReply(uint8_t requestService, Status status, std::span<const uint16_t> ext = {},
                                std::span<const uint8_t> data = {});

// A logical path of class, instance and optional attribute (8- or 16-bit).
struct LogicalPath {
  uint16_t cls = 0;
  uint16_t instance = 0;
  std::optional<uint16_t> attribute;
};
std::optional<LogicalPath> ParseLogicalPath(std::span<const uint8_t> path);
std::vector<uint8_t> EncodeLogicalPath(uint16_t cls, uint16_t instance);

// Unconnected Send to the Connection Manager: the embedded request and the
// route (port segments) from the bridge onwards.
struct UnconnectedSend {
  std::span<const uint8_t> embedded;
  std::span<const uint8_t> route;
};
std::vector<uint8_t> BuildUnconnectedSend(std::span<const uint8_t> embedded, std::span<const uint8_t> route);
std::optional<UnconnectedSend> ParseUnconnectedSend(std::span<const uint8_t> data);

// The Identity object's instance attributes 1 to 7.
struct Identity {
  uint16_t vendor = 0;
  uint16_t deviceType = 0;
  uint16_t productCode = 0;
  uint8_t major = 0;
  uint8_t minor = 0;
  uint16_t status = 0;
  uint32_t serial = 0;
  std::string name;  // at most 255 bytes are served
};
// Answers a request addressed to an Identity object: Get_Attributes_All and
// Get_Attribute_List on class 1 instance 1, status replies for anything else.
std::vector<uint8_t> AnswerIdentity(const Identity &id, const Request &request);
// Attributes 1 to 7 at the start of Get_Attributes_All's reply data; what a
// device adds after them (later attributes) is not read.
std::optional<Identity> ParseIdentityAttributes(std::span<const uint8_t> data);
// Attributes 1 to 7 in their wire order, as both that reply and List
// Identity carry them; r.Ok() tells whether they were all there.
Identity ReadIdentity(Reader &r);

}  // namespace commserver::cip
