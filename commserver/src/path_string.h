// Path strings "SERVER!DRIVER\station\port\link..." and the stored form of
// a target (see cvapi32.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cip.h"

namespace commserver {

// The port number the first segment of a route carries; the driver addresses
// the station on its own network and does not look at it.
inline constexpr uint16_t kStationPort = 2;

struct Path {
  std::string server;
  std::string driver;
  std::string station;         // IPv4 address (optionally ":port") or a node number 0..255
  std::vector<cip::Hop> hops;  // beyond the station
  std::string top;             // the path without "SERVER!"
};

// Parses the text; DTL_SUCCESS or DTL_E_BAD_PATH. The server is not compared
// with this computer's name here.
long ParsePath(std::string_view text, Path &out);
// Parses "DRIVER\station\..." (a top path string) with the given server.
long ParseTopPath(std::string_view top, std::string server, Path &out);

// The route bytes of a path: the station as the first port segment, then the
// hops; empty when they exceed DTL_ROUTE_MAX.
std::optional<std::vector<uint8_t>> EncodeRoute(const Path &path);

// IPv4 "a.b.c.d" with an optional ":port"; the address in host order.
struct Endpoint {
  uint32_t ipv4 = 0;
  uint16_t port = 0;
};
std::optional<Endpoint> ParseEndpoint(std::string_view text, uint16_t defaultPort);

// The stored form: nullopt when it would exceed DTL_TARGET_MAX.
std::optional<std::vector<uint8_t>> EncodeTarget(const std::string &server, const std::string &top);
// Reads a stored form from memory the caller owns; nullopt when its header
// or body is not what EncodeTarget writes.
struct TargetText {
  std::string server;
  std::string top;
};
std::optional<TargetText> DecodeTarget(const void *target);

}  // namespace commserver
