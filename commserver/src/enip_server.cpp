#include "enip_server.h"

#include <array>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <vector>

#include "enip.h"

namespace commserver {

using asio::ip::tcp;
using asio::ip::udp;

namespace {

// Where List Identity broadcast to a loopback network arrives.
const asio::ip::address_v4 kLoopbackBroadcast(0x7FFFFFFF);
// The longest wait before answering a broadcast: enough to spread the
// answers of many devices, short against any client's time-out.
constexpr int kBroadcastSpreadMs = 20;

asio::error_code Bind(udp::socket &s, const udp::endpoint &at, bool dualStack) {
  asio::error_code ec;
  s.close(ec);
  s.open(at.protocol(), ec);
  if (!ec && dualStack) s.set_option(asio::ip::v6_only(false), ec);
  if (!ec) s.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) s.bind(at, ec);
  return ec;
}

// A UDP socket of its own at `at`, sharing the address with other programs'
// sockets (other devices on this host, other simulators' broadcast sockets).
asio::error_code BindShared(udp::socket &s, const udp::endpoint &at) {
#ifdef _WIN32
  // Wine (8.0) binds an IPv4 datagram socket for an address that is no
  // interface's own, such as 127.0.0.2, to every address instead: devices
  // sharing a port would take one another's requests and answer from
  // 127.0.0.1. It leaves IPv6 sockets alone, so here the socket is a
  // dual-stack one bound to the IPv4-mapped address, which Windows allows.
  if (!at.address().is_unspecified()) {
    udp::endpoint mapped(asio::ip::make_address_v6(asio::ip::v4_mapped, at.address().to_v4()), at.port());
    if (!Bind(s, mapped, true)) return {};
  }
#endif
  return Bind(s, at, false);
}

asio::ip::address_v4 V4(const asio::ip::address &a) {
  return a.is_v6() ? asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()) : a.to_v4();
}

}  // namespace

struct EnipServer::Impl {
  Impl(DeviceOptions o, const std::string &address, uint16_t port)
      : options(std::move(o)),
        random(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
    Open(asio::ip::make_address_v4(address), port);
  }

  DeviceOptions options;
  asio::io_context io;
  tcp::acceptor acceptor{io};
  udp::socket unicast{io};    // List Identity to our own address
  udp::socket broadcast{io};  // and to our network's broadcast address
  std::minstd_rand random;
  std::unique_ptr<asio::thread> thread;
  std::atomic<int> sessions{0};
  std::atomic<int> unregistered{0};
  uint32_t nextSession = 0x1000;

  // TCP and UDP on one port number. Port 0 takes a free TCP port, and
  // another one when the same UDP port is taken.
  void Open(const asio::ip::address_v4 &address, uint16_t port) {
    if (options.broadcast && !address.is_loopback())
      throw std::invalid_argument("broadcast needs a loopback address (127.x.y.z) to listen on");
    for (int attempt = 1;; ++attempt) {
      acceptor = tcp::acceptor(io, {address, port});
      uint16_t chosen = acceptor.local_endpoint().port();
      asio::error_code ec = BindShared(unicast, {address, chosen});
      if (!ec && options.broadcast) ec = BindShared(broadcast, {kLoopbackBroadcast, chosen});
      if (!ec) return;
      if (port != 0 || attempt == 5) throw asio::system_error(ec, "UDP port " + std::to_string(chosen));
    }
  }

  // Our IPv4 address as List Identity reports it: the listening one, or when
  // that is every address, the one this peer reaches us at.
  uint32_t OwnAddress(const udp::endpoint &peer) {
    asio::error_code ec;
    auto own = V4(unicast.local_endpoint(ec).address());
    if (!own.is_unspecified()) return own.to_uint();
    udp::socket probe(io);
    probe.connect(peer, ec);  // sends nothing: only chooses the route
    return ec ? 0 : V4(probe.local_endpoint(ec).address()).to_uint();
  }

  // List Identity over UDP, the only command a device answers there; it
  // ignores anything else and anything malformed, as devices do. Broadcast
  // requests are answered a little later, from the unicast socket so that
  // the reply comes from our own address.
  asio::awaitable<void> ServeUdp(udp::socket &s, bool spread) {
    std::array<uint8_t, 512> buffer;
    for (;;) {
      asio::error_code ec;
      udp::endpoint from;
      size_t n =
          co_await s.async_receive_from(asio::buffer(buffer), from, asio::redirect_error(asio::use_awaitable, ec));
      // Windows reports an oversized datagram, and a reply that met a closed
      // port, at the next receive: neither ends the service.
      if (ec == asio::error::message_size || ec == asio::error::connection_reset ||
          ec == asio::error::connection_refused)
        continue;
      if (ec) co_return;
      auto h = enip::ParseHeader(std::span(buffer.data(), std::min(n, enip::kHeaderSize)));
      if (n != enip::kHeaderSize || h->command != static_cast<uint16_t>(enip::Command::kListIdentity) || h->length ||
          h->options)
        continue;
      auto data = enip::ListIdentityReply(options.identity, OwnAddress(from), unicast.local_endpoint(ec).port());
      auto reply =
          std::make_shared<std::vector<uint8_t>>(enip::Build(enip::Command::kListIdentity, 0, data, 0, h->context));
      auto delay = std::chrono::milliseconds(spread ? std::uniform_int_distribution(0, kBroadcastSpreadMs)(random) : 0);
      auto timer = std::make_shared<asio::steady_timer>(io, delay);
      timer->async_wait([this, timer, reply, from](asio::error_code) {
        unicast.async_send_to(asio::buffer(*reply), from, [reply](asio::error_code, size_t) {});
      });
    }
  }

  asio::awaitable<void> Accept() {
    for (;;) {
      asio::error_code ec;
      tcp::socket s = co_await acceptor.async_accept(asio::redirect_error(asio::use_awaitable, ec));
      if (ec) co_return;
      asio::co_spawn(io, Serve(std::move(s)), asio::detached);
    }
  }

  std::vector<uint8_t> Answer(std::span<const uint8_t> mr) {
    auto request = cip::ParseRequest(mr);
    if (!request) return cip::BuildReply(0, cip::Status::kNotEnoughData);
    if (options.cipError) {
      uint16_t ext = options.cipExt;
      return cip::BuildReply(request->service, static_cast<cip::Status>(options.cipError),
                             {&ext, static_cast<size_t>(ext ? 1 : 0)});
    }
    if (request->service != static_cast<uint8_t>(cip::Service::kUnconnectedSend))
      return cip::AnswerIdentity(options.identity, *request);
    auto cm = cip::ParseLogicalPath(request->path);
    if (!cm || cm->cls != cip::kConnectionManagerClass || cm->instance != 1)
      return cip::BuildReply(request->service, cip::Status::kPathDestinationUnknown);
    auto send = cip::ParseUnconnectedSend(request->data);
    auto embedded = send ? cip::ParseRequest(send->embedded) : std::nullopt;
    auto route = send ? cip::DecodeRoute(send->route) : std::nullopt;
    if (!embedded || !route) return cip::BuildReply(request->service, cip::Status::kPathSegmentError);
    // One hop, to a slot of the backplane.
    uint16_t ext = cip::kExtPortNotAvailable;
    if (route->size() == 1 && route->front().port == cip::kBackplanePort) {
      ext = cip::kExtLinkAddressNotValid;
      if (cip::IsNumericLink(route->front().link)) {
        auto slot = options.slots.find(static_cast<uint8_t>(std::stoi(route->front().link)));
        if (slot != options.slots.end()) return cip::AnswerIdentity(slot->second, *embedded);
      }
    }
    return cip::BuildReply(request->service, cip::Status::kConnectionFailure, {&ext, 1});
  }

  asio::awaitable<void> Serve(tcp::socket s) {
    asio::error_code ec;
    auto token = asio::redirect_error(asio::use_awaitable, ec);
    uint32_t session = 0;
    uint32_t replies = 0;
    for (;;) {
      uint8_t head[enip::kHeaderSize];
      co_await asio::async_read(s, asio::buffer(head), token);
      if (ec) co_return;
      auto h = enip::ParseHeader(head);
      std::vector<uint8_t> data(h->length);
      co_await asio::async_read(s, asio::buffer(data), token);
      if (ec) co_return;
      std::vector<uint8_t> out;
      auto command = static_cast<enip::Command>(h->command);
      if (command == enip::Command::kListIdentity) {
        auto local = s.local_endpoint(ec);
        out = enip::Build(command, 0,
                          enip::ListIdentityReply(options.identity, local.address().to_v4().to_uint(), local.port()),
                          0, h->context);
      } else if (command == enip::Command::kRegisterSession) {
        if (!enip::CheckRegisterSessionData(data) || session) {
          out = enip::Build(command, 0, enip::RegisterSessionData(),
                            static_cast<uint32_t>(enip::EncapStatus::kUnsupportedProtocol), h->context);
        } else {
          session = ++nextSession;
          ++sessions;
          out = enip::Build(command, session, enip::RegisterSessionData(), 0, h->context);
        }
      } else if (command == enip::Command::kUnRegisterSession) {
        if (session && h->session == session) ++unregistered;
        co_return;
      } else if (command == enip::Command::kSendRRData) {
        auto mr = enip::ParseSendRRData(data);
        if (!session || h->session != session) {
          out = enip::Build(command, h->session, {}, static_cast<uint32_t>(enip::EncapStatus::kInvalidSession),
                            h->context);
        } else if (!mr) {
          out = enip::Build(command, session, {}, static_cast<uint32_t>(enip::EncapStatus::kInvalidLength), h->context);
        } else {
          if (options.silent) continue;
          out = enip::Build(command, session, enip::SendRRData(Answer(*mr)), 0, h->context);
          if (options.delayMs) {
            asio::steady_timer t(io, std::chrono::milliseconds(options.delayMs));
            co_await t.async_wait(token);
          }
          if (options.closeMidReply) {
            co_await asio::async_write(s, asio::buffer(out.data(), out.size() / 2), token);
            co_return;
          }
        }
      } else {
        out =
            enip::Build(command, h->session, {}, static_cast<uint32_t>(enip::EncapStatus::kInvalidCommand), h->context);
      }
      co_await asio::async_write(s, asio::buffer(out), token);
      if (ec) co_return;
      if (command == enip::Command::kSendRRData && ++replies == options.closeAfterReplies) co_return;
    }
  }
};

EnipServer::EnipServer(DeviceOptions options, const std::string &address, uint16_t port)
    : m_impl(std::make_unique<Impl>(std::move(options), address, port)) {
  asio::co_spawn(m_impl->io, m_impl->Accept(), asio::detached);
  asio::co_spawn(m_impl->io, m_impl->ServeUdp(m_impl->unicast, false), asio::detached);
  if (m_impl->broadcast.is_open())
    asio::co_spawn(m_impl->io, m_impl->ServeUdp(m_impl->broadcast, true), asio::detached);
}

EnipServer::~EnipServer() { Stop(); }

uint16_t EnipServer::Port() const { return m_impl->acceptor.local_endpoint().port(); }

void EnipServer::Start() {
  m_impl->thread = std::make_unique<asio::thread>([io = &m_impl->io] { io->run(); });
}

void EnipServer::Run() { m_impl->io.run(); }

void EnipServer::Stop() {
  m_impl->io.stop();
  if (m_impl->thread) {
    m_impl->thread->join();
    m_impl->thread.reset();
  }
}

int EnipServer::Sessions() const { return m_impl->sessions.load(); }

int EnipServer::Unregistered() const { return m_impl->unregistered.load(); }

bool ParseIdentity(const std::string &text, cip::Identity &out) {
  std::vector<std::string> f;
  size_t start = 0;
  // The name is the rest, commas included.
  for (int i = 0; i < 5; ++i) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) return false;
    f.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  f.push_back(text.substr(start));
  auto number = [](const std::string &s, unsigned long max, unsigned long &v) {
    if (s.empty()) return false;
    char *end = nullptr;
    v = std::strtoul(s.c_str(), &end, 0);
    return *end == 0 && v <= max;
  };
  unsigned long vendor, type, code, major, minor, serial;
  size_t dot = f[3].find('.');
  if (dot == std::string::npos || !number(f[0], 0xFFFF, vendor) || !number(f[1], 0xFFFF, type) ||
      !number(f[2], 0xFFFF, code) || !number(f[3].substr(0, dot), 0xFF, major) ||
      !number(f[3].substr(dot + 1), 0xFF, minor) || !number(f[4], 0xFFFFFFFF, serial) || f[5].size() > 255)
    return false;
  out.vendor = static_cast<uint16_t>(vendor);
  out.deviceType = static_cast<uint16_t>(type);
  out.productCode = static_cast<uint16_t>(code);
  out.major = static_cast<uint8_t>(major);
  out.minor = static_cast<uint8_t>(minor);
  out.serial = static_cast<uint32_t>(serial);
  out.name = f[5];
  return true;
}

}  // namespace commserver
