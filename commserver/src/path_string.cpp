#include "path_string.h"

#include <cstring>

#include "cvapi32.h"

namespace commserver {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A decimal number without sign, at most max; leading zeros are allowed.
std::optional<uint32_t> Number(std::string_view s, uint32_t max) {
  if (s.empty() || s.size() > 10) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return std::nullopt;
  return static_cast<uint32_t>(v);
}

// A link or station: a node number (written back without leading zeros) or
// an IPv4 endpoint (kept as written).
std::optional<std::string> Link(std::string_view s) {
  if (auto n = Number(s, 255)) return std::to_string(*n);
  if (ParseEndpoint(s, 1)) return std::string(s);
  return std::nullopt;
}

bool NameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.';
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

}  // namespace

std::optional<Endpoint> ParseEndpoint(std::string_view text, uint16_t defaultPort) {
  Endpoint e;
  e.port = defaultPort;
  size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    auto port = Number(text.substr(colon + 1), 65535);
    if (!port || *port == 0) return std::nullopt;
    e.port = static_cast<uint16_t>(*port);
    text = text.substr(0, colon);
  }
  auto parts = Split(text, '.');
  if (parts.size() != 4) return std::nullopt;
  for (auto p : parts) {
    auto n = p.size() <= 3 ? Number(p, 255) : std::nullopt;
    if (!n) return std::nullopt;
    e.ipv4 = (e.ipv4 << 8) | *n;
  }
  return e;
}

long ParseTopPath(std::string_view top, std::string server, Path &out) {
  if (top.size() > DTL_TARGET_MAX) return DTL_E_BAD_PATH;
  auto parts = Split(top, '\\');
  Path p;
  p.server = std::move(server);
  p.driver = std::string(parts[0]);
  if (p.driver.empty() || p.driver.size() >= DTL_NAME_MAX) return DTL_E_BAD_PATH;
  for (char c : p.driver)
    if (!NameChar(c)) return DTL_E_BAD_PATH;
  // The station, then port and link pairs.
  if (parts.size() < 2 || parts.size() % 2 != 0) return DTL_E_BAD_PATH;
  auto station = Link(parts[1]);
  if (!station) return DTL_E_BAD_PATH;
  p.station = *station;
  for (size_t i = 2; i + 1 < parts.size(); i += 2) {
    cip::Hop hop;
    if (EqualNoCase(parts[i], "Backplane")) {
      hop.port = cip::kBackplanePort;
    } else if (auto n = Number(parts[i], 0xFFFE); n && *n != 0) {
      hop.port = static_cast<uint16_t>(*n);
    } else {
      return DTL_E_BAD_PATH;
    }
    auto link = Link(parts[i + 1]);
    if (!link) return DTL_E_BAD_PATH;
    hop.link = *link;
    p.hops.push_back(std::move(hop));
  }
  p.top = std::string(top);
  if (!EncodeRoute(p)) return DTL_E_BAD_PATH;
  out = std::move(p);
  return DTL_SUCCESS;
}

long ParsePath(std::string_view text, Path &out) {
  size_t bang = text.find('!');
  if (bang == std::string_view::npos || bang == 0 || bang > 63) return DTL_E_BAD_PATH;
  std::string_view server = text.substr(0, bang);
  for (char c : server)
    if (!NameChar(c)) return DTL_E_BAD_PATH;
  return ParseTopPath(text.substr(bang + 1), std::string(server), out);
}

std::optional<std::vector<uint8_t>> EncodeRoute(const Path &path) {
  Writer w;
  if (!cip::EncodeHop(w, {kStationPort, path.station})) return std::nullopt;
  for (const auto &hop : path.hops)
    if (!cip::EncodeHop(w, hop)) return std::nullopt;
  if (w.Size() > DTL_ROUTE_MAX) return std::nullopt;
  return std::move(w.Out());
}

std::optional<std::vector<uint8_t>> EncodeTarget(const std::string &server, const std::string &top) {
  size_t body = server.size() + 1 + top.size() + 1;
  if (DTL_TARGET_HEADER + body > DTL_TARGET_MAX) return std::nullopt;
  Writer w;
  w.U16(static_cast<uint16_t>(body)).U8(DTL_TARGET_FORMAT).U8(0).Text(server).U8(0).Text(top).U8(0);
  return std::move(w.Out());
}

std::optional<TargetText> DecodeTarget(const void *target) {
  if (!target) return std::nullopt;
  uint8_t head[DTL_TARGET_HEADER];
  std::memcpy(head, target, sizeof head);
  size_t body = head[0] | (head[1] << 8);
  if (head[2] != DTL_TARGET_FORMAT || head[3] != 0 || body < 2 || body > DTL_TARGET_MAX - DTL_TARGET_HEADER)
    return std::nullopt;
  std::string_view bytes(static_cast<const char *>(target) + DTL_TARGET_HEADER, body);
  size_t nul = bytes.find('\0');
  if (nul == std::string_view::npos || bytes.back() != '\0' || bytes.find('\0', nul + 1) != body - 1)
    return std::nullopt;
  return TargetText{std::string(bytes.substr(0, nul)), std::string(bytes.substr(nul + 1, body - nul - 2))};
}

}  // namespace commserver
