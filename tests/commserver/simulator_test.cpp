// The device simulator over UDP, asked in bytes written by hand from the
// public EtherNet/IP encapsulation document, never by the library's own
// codec.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

// Asio before anything that includes <windows.h>, which must see Winsock 2.
#include <gtest/gtest.h>
#include <asio.hpp>

#include "enip_server.h"

namespace {

using asio::ip::udp;
using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Le16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
Bytes Le32(uint32_t v) { return Cat({Le16(static_cast<uint16_t>(v)), Le16(static_cast<uint16_t>(v >> 16))}); }

// Encapsulation header: command, length, session handle, status, sender
// context (8 bytes), options; all little-endian.
Bytes Head(uint16_t command, uint16_t length, const Bytes &context, uint32_t session = 0, uint32_t options = 0) {
  return Cat({Le16(command), Le16(length), Le32(session), Le32(0), context, Le32(options)});
}

// A List Identity reply: one item of type 0x000C holding the encapsulation
// version 1, the socket address (family 2, port and address big-endian, 8
// zero bytes), the Identity attributes (vendor 1, device type 14, product
// code 15, revision 13.2, status 0, serial 0x12345678, the name as a short
// string) and the state byte.
Bytes ListIdentityReply(const udp::endpoint &device, const Bytes &context, const std::string &name) {
  uint32_t a = device.address().to_v4().to_uint();
  uint16_t p = device.port();
  Bytes item = Cat({Le16(1),
                    {0, 2, static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)},
                    {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
                     static_cast<uint8_t>(a)},
                    Bytes(8, 0),
                    {0x01, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x0D, 0x02, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12},
                    {static_cast<uint8_t>(name.size())},
                    Bytes(name.begin(), name.end()),
                    {0xFF}});
  Bytes data = Cat({Le16(1), Le16(0x0C), Le16(static_cast<uint16_t>(item.size())), item});
  return Cat({Head(0x63, static_cast<uint16_t>(data.size()), context), data});
}

// 127.X.Y.Z with X >= 16: apart from the 127.0.0.x of the README's tour and
// from other tests running at the same time.
asio::ip::address_v4 RandomLoopback() {
  static std::mt19937 g_random(std::random_device{}());
  uint32_t host = std::uniform_int_distribution<uint32_t>(16u << 8, 0xFFFF)(g_random) << 8;
  return asio::ip::address_v4(0x7F000000 | host | std::uniform_int_distribution<uint32_t>(1, 254)(g_random));
}

commserver::DeviceOptions Device(const std::string &name, bool broadcast = false) {
  commserver::DeviceOptions o;
  EXPECT_TRUE(commserver::ParseIdentity("1,14,15,13.2,0x12345678," + name, o.identity));
  o.broadcast = broadcast;
  return o;
}

struct Datagram {
  udp::endpoint from;
  Bytes bytes;
};

// A client's UDP socket on 127.0.0.1 that may broadcast.
class Peer {
 public:
  Peer() : m_socket(m_io, {asio::ip::address_v4::loopback(), 0}) {
    m_socket.set_option(asio::socket_base::broadcast(true));
  }
  void Send(const Bytes &b, const udp::endpoint &to) { m_socket.send_to(asio::buffer(b), to); }
  // What arrives until `count` datagrams have or `ms` has passed.
  std::vector<Datagram> Receive(size_t count, int ms) {
    std::vector<Datagram> got;
    std::array<uint8_t, 1024> buffer;
    udp::endpoint from;
    std::function<void()> next = [&] {
      m_socket.async_receive_from(asio::buffer(buffer), from, [&](asio::error_code ec, size_t n) {
        if (ec) return;
        got.push_back({from, Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n))});
        if (got.size() < count) next();
      });
    };
    next();
    m_io.restart();
    m_io.run_for(std::chrono::milliseconds(ms));
    // The receive still waiting ends here, before its buffer goes.
    m_socket.cancel();
    m_io.restart();
    m_io.run();
    return got;
  }

 private:
  asio::io_context m_io;
  udp::socket m_socket;
};

TEST(SimulatorUdp, AnswersListIdentityFromItsOwnAddressAndIgnoresAnythingElse) {
  auto address = RandomLoopback();
  commserver::EnipServer server(Device("Kestrel L85"), address.to_string(), 0);
  server.Start();
  Peer peer;
  // The port is the TCP listener's: UDP has the same number.
  udp::endpoint device(address, server.Port());
  const Bytes context = {0xC0, 0xFF, 0xEE, 1, 2, 3, 4, 5};
  // Short, another command (RegisterSession), a length that nothing follows,
  // options set: a device answers none of them on UDP.
  for (const Bytes &garbage :
       {Bytes(10, 0x63), Cat({Head(0x65, 4, context), Le32(1)}), Head(0x63, 8, context), Head(0x63, 0, context, 0, 1)})
    peer.Send(garbage, device);
  peer.Send(Head(0x63, 0, context), device);
  auto got = peer.Receive(2, 500);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].from, device);
  EXPECT_EQ(got[0].bytes, ListIdentityReply(device, context, "Kestrel L85"));
}

// Two devices on one host, as several simulators or device stacks share
// port 44818 on their own loopback addresses.
class SharedPort : public testing::Test {
 protected:
  void Open(bool broadcast) {
    do m_b = RandomLoopback();
    while (m_b == m_a);
    m_first.emplace(Device("First", broadcast), m_a.to_string(), 0);
    m_second.emplace(Device("Second", broadcast), m_b.to_string(), m_first->Port());
    m_first->Start();
    m_second->Start();
  }
  udp::endpoint First() const { return {m_a, m_first->Port()}; }
  udp::endpoint Second() const { return {m_b, m_first->Port()}; }
  Bytes Reply(const udp::endpoint &device, const Bytes &context) const {
    return ListIdentityReply(device, context, device == First() ? "First" : "Second");
  }

  asio::ip::address_v4 m_a = RandomLoopback(), m_b;
  std::optional<commserver::EnipServer> m_first, m_second;
  Peer m_peer;
};

TEST_F(SharedPort, EachDeviceAnswersWhatIsSentToItsOwnAddress) {
  Open(false);
  for (const udp::endpoint &device : {First(), Second()}) {
    const Bytes context = {device.address().to_v4().to_bytes()[1], 0, 0, 0, 0, 0, 0, 9};
    m_peer.Send(Head(0x63, 0, context), device);
    auto got = m_peer.Receive(1, 1000);
    ASSERT_EQ(got.size(), 1u) << device;
    EXPECT_EQ(got[0].from, device);
    EXPECT_EQ(got[0].bytes, Reply(device, context));
  }
}

TEST_F(SharedPort, EveryDeviceThatListensForBroadcastsAnswersOne) {
  try {
    Open(true);
  } catch (const std::exception &e) {
#ifdef _WIN32
    // Windows itself may refuse a socket on a broadcast address (Wine, like
    // Linux, gives one); there devices listen on every address instead.
    GTEST_SKIP() << "no socket on 127.255.255.255 here: " << e.what();
#else
    FAIL() << e.what();
#endif
  }
  // A third device on the same port that does not listen for broadcasts.
  auto c = RandomLoopback();
  commserver::EnipServer deaf(Device("Deaf"), c.to_string(), m_first->Port());
  deaf.Start();
  const Bytes context = {'b', 'r', 'o', 'a', 'd', 0, 0, 1};
  m_peer.Send(Head(0x63, 0, context), {asio::ip::make_address_v4("127.255.255.255"), m_first->Port()});
  auto got = m_peer.Receive(3, 600);
  ASSERT_EQ(got.size(), 2u);
  std::vector<udp::endpoint> from = {got[0].from, got[1].from}, want = {First(), Second()};
  std::sort(from.begin(), from.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(from, want);
  for (const Datagram &d : got) EXPECT_EQ(d.bytes, Reply(d.from, context)) << d.from;
}

}  // namespace
