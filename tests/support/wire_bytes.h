// Little-endian byte writing for the tests' raw EtherNet/IP peers, which
// build their messages by hand from the protocol's documents rather than
// with the library's own codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace support {

// The encapsulation header's size.
inline constexpr size_t kHeader = 24;

inline void Put16(std::vector<uint8_t> &b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t> &b, uint32_t v) {
  Put16(b, static_cast<uint16_t>(v));
  Put16(b, static_cast<uint16_t>(v >> 16));
}

}  // namespace support
