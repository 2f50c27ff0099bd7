// A device answering EtherNet/IP's List Identity over UDP on loopback, for
// the tests of the client library's sweep. Written from the protocol's public
// documents and not from the library's codec: it answers by the book or
// breaks its answer in one chosen way (the item's own faults are held to
// the parser byte by byte elsewhere; one stands for them here). Asio stays inside udp_responder.cpp,
// as in hostile_device.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace support {

enum class UdpFault {
  kNone,
  kTruncated,     // the datagram ends inside the identity
  kEncapStatus,   // status 1 in the header
  kWrongContext,  // the sender context is not the request's
  kTwice,         // the answer, sent twice
  kOtherPort,     // the answer comes from another port of the address
  kOtherAddress,  // the answer comes from otherAddress, at the device's port
};

struct UdpOptions {
  std::string address = "127.0.0.1";
  uint16_t port = 0;        // 0: a free one
  bool anyAddress = false;  // listens on 0.0.0.0 (sharing the port), where broadcasts arrive
  UdpFault fault = UdpFault::kNone;
  std::string otherAddress;  // for kOtherAddress
  // The identity: vendor 1, device type 14, revision 13.2, status 0x3060 and these.
  uint16_t productCode = 15;
  uint32_t serial = 0x12345678;
  std::string name = "Kestrel L85";
  uint8_t state = 3;
};

// Serves on a thread of its own from construction to destruction.
class UdpResponder {
 public:
  explicit UdpResponder(UdpOptions options);
  ~UdpResponder();
  UdpResponder(const UdpResponder &) = delete;
  UdpResponder &operator=(const UdpResponder &) = delete;

  uint16_t Port() const;
  int Requests() const;  // List Identity requests received

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace support
