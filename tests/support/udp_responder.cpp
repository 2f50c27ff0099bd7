#include "udp_responder.h"

// Asio before anything that includes <windows.h>, which must see Winsock 2.
#include <asio.hpp>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "wire_bytes.h"

namespace support {

using asio::ip::udp;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr uint16_t kListIdentity = 0x0063;

// The socket address alone is big-endian.
void PutBig16(Bytes &b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

// The identity item (type 0x000C): encapsulation version, socket address
// (family, port, address, 8 zero bytes), vendor, device type, product code,
// revision, status, serial, the name as a short string, the state.
Bytes Item(const UdpOptions &o, const udp::endpoint &self) {
  Bytes body;
  Put16(body, 1);
  PutBig16(body, 2);
  PutBig16(body, self.port());
  uint32_t ipv4 = self.address().to_v4().to_uint();
  PutBig16(body, static_cast<uint16_t>(ipv4 >> 16));
  PutBig16(body, static_cast<uint16_t>(ipv4));
  body.insert(body.end(), 8, 0);
  Put16(body, 1);
  Put16(body, 14);
  Put16(body, o.productCode);
  body.insert(body.end(), {13, 2});
  Put16(body, 0x3060);
  Put32(body, o.serial);
  body.push_back(static_cast<uint8_t>(o.name.size()));
  body.insert(body.end(), o.name.begin(), o.name.end());
  body.push_back(o.state);
  Bytes item;
  Put16(item, 1);
  Put16(item, 0x000C);
  Put16(item, static_cast<uint16_t>(body.size()));
  item.insert(item.end(), body.begin(), body.end());
  if (o.fault == UdpFault::kTruncated) item.resize(item.size() - 10);
  return item;
}

// The reply's header: command, length, session 0, status, the request's
// sender context (bytes 12 to 19), options 0.
Bytes Reply(const UdpOptions &o, const Bytes &request, const udp::endpoint &self) {
  Bytes item = Item(o, self);
  Bytes out;
  Put16(out, kListIdentity);
  Put16(out, static_cast<uint16_t>(item.size()));
  Put32(out, 0);
  Put32(out, o.fault == UdpFault::kEncapStatus ? 1 : 0);
  out.insert(out.end(), request.begin() + 12, request.begin() + 20);
  if (o.fault == UdpFault::kWrongContext) out[12] ^= 0xFF;
  Put32(out, 0);
  out.insert(out.end(), item.begin(), item.end());
  return out;
}

}  // namespace

struct UdpResponder::Impl {
  UdpOptions options;
  asio::io_context io;
  udp::socket socket{io};
  std::optional<udp::socket> other;  // where kOtherPort and kOtherAddress answer from
  udp::endpoint local;
  std::atomic<int> requests{0};
  Bytes buffer = Bytes(1500);
  udp::endpoint from;
  std::thread thread;

  explicit Impl(UdpOptions o) : options(std::move(o)) {
    auto address = asio::ip::make_address_v4(options.address);
    Bind(socket, options.anyAddress ? asio::ip::address_v4::any() : address, options.port);
    local = {address, socket.local_endpoint().port()};
    if (options.fault == UdpFault::kOtherPort) Bind(other.emplace(io), address, 0);
    if (options.fault == UdpFault::kOtherAddress)
      Bind(other.emplace(io), asio::ip::make_address_v4(options.otherAddress), local.port());
  }

  // Devices at several addresses share a port. Wine refuses a port bound at
  // another address unless every socket on it allows reuse.
  static void Bind(udp::socket &s, const asio::ip::address_v4 &address, uint16_t port) {
    s.open(udp::v4());
    s.set_option(udp::socket::reuse_address(true));
    s.bind({address, port});
  }

  void Receive() {
    socket.async_receive_from(asio::buffer(buffer), from, [this](const asio::error_code &ec, size_t size) {
      if (ec == asio::error::operation_aborted) return;
      if (!ec && size == kHeader && (buffer[0] | buffer[1] << 8) == kListIdentity) {
        ++requests;
        Bytes reply = Reply(options, Bytes(buffer.begin(), buffer.begin() + size), local);
        asio::error_code ignored;
        (other ? *other : socket).send_to(asio::buffer(reply), from, 0, ignored);
        if (options.fault == UdpFault::kTwice) socket.send_to(asio::buffer(reply), from, 0, ignored);
      }
      Receive();
    });
  }
};

UdpResponder::UdpResponder(UdpOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {
  m_impl->Receive();
  m_impl->thread = std::thread([io = &m_impl->io] { io->run(); });
}

UdpResponder::~UdpResponder() {
  m_impl->io.stop();
  m_impl->thread.join();
}

uint16_t UdpResponder::Port() const { return m_impl->local.port(); }
int UdpResponder::Requests() const { return m_impl->requests; }

}  // namespace support
