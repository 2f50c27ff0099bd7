#include "hostile_device.h"

// The standard library's configuration before Asio's, as in every other file
// of the program that includes it (Asio's allocation functions depend on it);
// Asio before anything that includes <windows.h>, which must see Winsock 2.
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "wire_bytes.h"

namespace support {

using asio::ip::tcp;

namespace {

constexpr uint16_t kRegisterSession = 0x0065;
constexpr uint16_t kSendRRData = 0x006F;
constexpr uint16_t kUnconnectedData = 0x00B2;

uint16_t Get16(const Bytes &b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// The 24-byte encapsulation header: command, length, session, status, the
// sender's context (echoed from the request), options.
Bytes Header(uint16_t command, size_t length, uint32_t session, uint32_t status, const Bytes &request) {
  Bytes h;
  Put16(h, command);
  Put16(h, static_cast<uint16_t>(length));
  Put32(h, session);
  Put32(h, status);
  h.insert(h.end(), request.begin() + 12, request.begin() + 20);
  Put32(h, 0);
  return h;
}

// The unconnected data item of a SendRRData message (empty when it has none).
Bytes DataItem(const Bytes &message) {
  size_t at = kHeader + 6;
  if (message.size() < at + 2) return {};
  uint16_t count = Get16(message, at);
  at += 2;
  for (uint16_t i = 0; i < count && at + 4 <= message.size(); ++i) {
    uint16_t type = Get16(message, at), length = Get16(message, at + 2);
    at += 4;
    if (at + length > message.size()) return {};
    if (type == kUnconnectedData) return Bytes(message.begin() + at, message.begin() + at + length);
    at += length;
  }
  return {};
}

}  // namespace

Bytes IdentityReply() {
  Bytes b = {0x81, 0, 0, 0, 1, 0, 14, 0, 15, 0, 13, 2, 0x60, 0x30, 0x78, 0x56, 0x34, 0x12, 11};
  for (char c : std::string("Kestrel L85")) b.push_back(static_cast<uint8_t>(c));
  return b;
}

struct Device::Impl {
  Options options;
  asio::io_context io;
  tcp::acceptor acceptor{io, {asio::ip::make_address_v4("127.0.0.1"), 0}};
  const uint16_t port = acceptor.local_endpoint().port();
  std::thread thread;
  size_t scripted = 0;  // the serving thread's only
  mutable std::mutex m;
  std::vector<Bytes> received;
  std::atomic<int> connections{0}, closed{0};

  explicit Impl(Options o) : options(std::move(o)) {}

  asio::awaitable<void> Accept() {
    for (;;) {
      asio::error_code ec;
      tcp::socket s = co_await acceptor.async_accept(asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
      ++connections;
      asio::co_spawn(io, Serve(std::move(s)), asio::detached);
    }
  }

  void End(tcp::socket &s) {
    asio::error_code ignored;
    s.shutdown(tcp::socket::shutdown_both, ignored);
    s.close(ignored);
    ++closed;
  }

  Bytes CipReply(const Bytes &request) const {
    if (!options.cipReply.empty()) return options.cipReply;
    uint8_t service = request.empty() ? 0 : request[0];
    if (service == 0x01) return IdentityReply();
    return {static_cast<uint8_t>(service | 0x80), 0, 0, 0};
  }

  // SendRRData's answer, broken as the fault says.
  Bytes Answer(const Bytes &request) const {
    Fault f = options.fault;
    uint32_t session = options.session + (f == Fault::kWrongSession ? 1 : 0);
    if (f == Fault::kEncapStatus) return Header(kSendRRData, 0, session, 0x0065, request);
    Bytes cip = CipReply(DataItem(request));
    Bytes data;
    Put32(data, 0);  // interface handle
    Put16(data, 0);  // time-out
    Put16(data, 2);  // items: null address, unconnected data
    Put16(data, 0x0000);
    Put16(data, 0);
    Put16(data, f == Fault::kWrongItemType ? 0x00B1 : kUnconnectedData);
    Put16(data, static_cast<uint16_t>(cip.size() + (f == Fault::kLongItem ? 8 : 0)));
    data.insert(data.end(), cip.begin(), cip.end());
    if (f == Fault::kTrailingJunk) data.insert(data.end(), {0xDE, 0xAD, 0xBE});
    size_t length = data.size();
    if (f == Fault::kLongHeader) length += 8;
    if (f == Fault::kShortHeader) length -= 4;
    Bytes out = Header(kSendRRData, length, session, 0, request);
    out.insert(out.end(), data.begin(), data.end());
    if (f == Fault::kJunkAfterReply) out.insert(out.end(), {0xDE, 0xAD, 0xBE});
    return out;
  }

  // Sends SendRRData's answer; false when the connection is to end.
  asio::awaitable<bool> Reply(tcp::socket &s, const Bytes &request, int nth) {
    asio::error_code ec;
    auto token = asio::redirect_error(asio::use_awaitable, ec);
    Fault f = options.fault;
    if (f == Fault::kSilent) co_return true;
    if (f == Fault::kDropReused && nth > 1) co_return false;
    Bytes out = Answer(request);
    if (f == Fault::kCloseMidReply) {
      co_await asio::async_write(s, asio::buffer(out.data(), out.size() / 2), token);
      co_return false;
    }
    if (f == Fault::kTrickle) {
      asio::steady_timer pause(io);
      for (uint8_t byte : out) {
        pause.expires_after(std::chrono::milliseconds(options.trickleMs));
        co_await pause.async_wait(token);
        co_await asio::async_write(s, asio::buffer(&byte, 1), token);
        if (ec) co_return false;
      }
      co_return true;
    }
    co_await asio::async_write(s, asio::buffer(out), token);
    co_return !ec && f != Fault::kCloseAfterReply;
  }

  asio::awaitable<void> Serve(tcp::socket s) {
    asio::error_code ec;
    auto token = asio::redirect_error(asio::use_awaitable, ec);
    int sendrr = 0;  // SendRRData messages on this connection
    for (;;) {
      Bytes message(kHeader);
      co_await asio::async_read(s, asio::buffer(message), token);
      if (ec) break;
      message.resize(kHeader + Get16(message, 2));
      co_await asio::async_read(s, asio::buffer(message.data() + kHeader, message.size() - kHeader), token);
      if (ec) break;
      {
        std::lock_guard<std::mutex> g(m);
        received.push_back(message);
      }
      uint16_t command = Get16(message, 0);
      if (scripted < options.script.size()) {
        co_await asio::async_write(s, asio::buffer(options.script[scripted++]), token);
      } else if (command == kRegisterSession) {
        Bytes out = Header(kRegisterSession, 4, options.session, 0, message);
        out.insert(out.end(), {1, 0, 0, 0});
        co_await asio::async_write(s, asio::buffer(out), token);
      } else if (command != kSendRRData || !co_await Reply(s, message, ++sendrr)) {
        break;  // UnRegisterSession, a command we do not serve, or the fault's end
      }
      if (ec) break;
    }
    End(s);
  }
};

Device::Device(Options options) : m_impl(std::make_unique<Impl>(std::move(options))) {
  asio::co_spawn(m_impl->io, m_impl->Accept(), asio::detached);
  m_impl->thread = std::thread([io = &m_impl->io] { io->run(); });
}

Device::~Device() {
  m_impl->io.stop();
  m_impl->thread.join();
}

uint16_t Device::Port() const { return m_impl->port; }

std::vector<Bytes> Device::Received() const {
  std::lock_guard<std::mutex> g(m_impl->m);
  return m_impl->received;
}

std::vector<Bytes> Device::Requests() const {
  std::vector<Bytes> out;
  for (const Bytes &message : Received())
    if (Get16(message, 0) == kSendRRData) out.push_back(DataItem(message));
  return out;
}

int Device::Requests(uint8_t service) const {
  int n = 0;
  for (const Bytes &request : Requests()) n += !request.empty() && request[0] == service;
  return n;
}

int Device::Connections() const { return m_impl->connections; }
int Device::Closed() const { return m_impl->closed; }

struct Client::Impl {
  asio::io_context io;
  tcp::socket socket{io};
  bool connected = false;
};

Client::Client(uint16_t port) : m_impl(std::make_unique<Impl>()) {
  asio::error_code ec;
  m_impl->socket.connect({asio::ip::make_address_v4("127.0.0.1"), port}, ec);
  m_impl->connected = !ec;
}

Client::~Client() = default;

bool Client::Connected() const { return m_impl->connected; }

Bytes Client::Ask(const Bytes &request, size_t n, int timeoutMs) {
  Bytes reply(n);
  asio::error_code ec;
  asio::write(m_impl->socket, asio::buffer(request), ec);
  if (ec) return {};
  size_t got = 0;
  asio::async_read(m_impl->socket, asio::buffer(reply), [&got](const asio::error_code &, size_t size) { got = size; });
  m_impl->io.restart();
  m_impl->io.run_for(std::chrono::milliseconds(timeoutMs));
  if (!m_impl->io.stopped()) {
    // Out of time: the read ends aborted, with what arrived so far.
    m_impl->socket.cancel(ec);
    m_impl->io.run();
  }
  reply.resize(got);
  return reply;
}

}  // namespace support
