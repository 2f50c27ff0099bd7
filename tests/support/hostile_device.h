// Raw EtherNet/IP peers on loopback for the tests of the client library,
// written from the protocol's public documents and not from the library's
// own codec: a device that answers by the book or breaks it in one chosen
// way, and a client that sends bytes exactly as given. Asio stays inside
// hostile_device.cpp: on Windows it must see Winsock before <windows.h>.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace support {

using Bytes = std::vector<uint8_t>;

// What the device does to its answer of SendRRData (RegisterSession is
// always answered well).
enum class Fault {
  kNone,
  kLongHeader,       // the header counts 8 bytes more than follow; the connection stays open
  kShortHeader,      // the header counts 4 bytes fewer than follow
  kLongItem,         // the data item claims 8 bytes more than it holds
  kWrongSession,     // the reply names another session
  kWrongItemType,    // the data item is of type 0x00B1 (connected data)
  kTrailingJunk,     // 3 bytes after the items, counted in the header's length
  kJunkAfterReply,   // a whole reply, then 3 bytes nobody asked for
  kCloseMidReply,    // half the reply, then the connection closes
  kEncapStatus,      // status 0x0065 in the header and no data
  kTrickle,          // the reply a byte at a time, trickleMs apart
  kSilent,           // never answers SendRRData
  kCloseAfterReply,  // closes the connection after each reply
  kDropReused,       // answers a connection's first SendRRData; closes unanswered at a later one
};

struct Options {
  Options() = default;
  explicit Options(Fault f) : fault(f) {}
  Fault fault = Fault::kNone;
  // The CIP reply of every SendRRData; empty: an Identity reply (IdentityReply)
  // to Get_Attributes_All, a bare success to any other service.
  Bytes cipReply;
  // Whole encapsulated messages answering the first messages received, in
  // order and whatever they ask; then the device answers as set above.
  std::vector<Bytes> script;
  uint32_t session = 0x0A0B0C0D;
  uint32_t trickleMs = 20;
};

// Get_Attributes_All's reply from an Identity object: vendor 1, device type
// 14, product code 15, revision 13.2, status 0x3060, serial 0x12345678,
// "Kestrel L85".
Bytes IdentityReply();

// A device on 127.0.0.1 at a port of the system's choosing, served on a
// thread of its own from construction to destruction.
class Device {
 public:
  explicit Device(Options options = {});
  ~Device();
  Device(const Device &) = delete;
  Device &operator=(const Device &) = delete;

  uint16_t Port() const;
  // Every encapsulated message received, header and data, in order.
  std::vector<Bytes> Received() const;
  // The CIP request of every SendRRData received (its unconnected data item).
  std::vector<Bytes> Requests() const;
  int Requests(uint8_t service) const;
  int Connections() const;  // accepted so far
  int Closed() const;       // connections the device has ended so far

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// A client of its own TCP connection to 127.0.0.1:port.
class Client {
 public:
  explicit Client(uint16_t port);
  ~Client();
  Client(const Client &) = delete;
  Client &operator=(const Client &) = delete;

  bool Connected() const;
  // Sends request and reads up to n bytes back: fewer when the peer closes
  // or timeoutMs passes first.
  Bytes Ask(const Bytes &request, size_t n, int timeoutMs = 2000);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace support
