#include "enip_server.h"

#include <asio.hpp>
#include <atomic>
#include <vector>

#include "enip.h"

namespace commserver {

using asio::ip::tcp;

struct EnipServer::Impl {
  Impl(DeviceOptions o, const std::string &address, uint16_t port)
      : options(std::move(o)), acceptor(io, {asio::ip::make_address_v4(address), port}) {}

  DeviceOptions options;
  asio::io_context io;
  tcp::acceptor acceptor;
  std::unique_ptr<asio::thread> thread;
  std::atomic<int> sessions{0};
  uint32_t nextSession = 0x1000;

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
    }
  }
};

EnipServer::EnipServer(DeviceOptions options, const std::string &address, uint16_t port)
    : m_impl(std::make_unique<Impl>(std::move(options), address, port)) {
  asio::co_spawn(m_impl->io, m_impl->Accept(), asio::detached);
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
