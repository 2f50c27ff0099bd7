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
  uint32_t next_session = 0x1000;

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
    if (!request) return cip::BuildReply(0, cip::Status::NotEnoughData);
    if (options.cip_error) {
      uint16_t ext = options.cip_ext;
      return cip::BuildReply(request->service, static_cast<cip::Status>(options.cip_error),
                             {&ext, static_cast<size_t>(ext ? 1 : 0)});
    }
    if (request->service != static_cast<uint8_t>(cip::Service::UnconnectedSend))
      return cip::AnswerIdentity(options.identity, *request);
    auto cm = cip::ParseLogicalPath(request->path);
    if (!cm || cm->cls != cip::kConnectionManagerClass || cm->instance != 1)
      return cip::BuildReply(request->service, cip::Status::PathDestinationUnknown);
    auto send = cip::ParseUnconnectedSend(request->data);
    auto embedded = send ? cip::ParseRequest(send->embedded) : std::nullopt;
    auto route = send ? cip::DecodeRoute(send->route) : std::nullopt;
    if (!embedded || !route) return cip::BuildReply(request->service, cip::Status::PathSegmentError);
    // One hop, to a slot of the backplane.
    uint16_t ext = cip::kExtPortNotAvailable;
    if (route->size() == 1 && route->front().port == cip::kBackplanePort) {
      ext = cip::kExtLinkAddressNotValid;
      if (cip::IsNumericLink(route->front().link)) {
        auto slot = options.slots.find(static_cast<uint8_t>(std::stoi(route->front().link)));
        if (slot != options.slots.end()) return cip::AnswerIdentity(slot->second, *embedded);
      }
    }
    return cip::BuildReply(request->service, cip::Status::ConnectionFailure, {&ext, 1});
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
      if (command == enip::Command::ListIdentity) {
        auto local = s.local_endpoint(ec);
        out = enip::Build(command, 0,
                          enip::ListIdentityReply(options.identity, local.address().to_v4().to_uint(), local.port()),
                          0, h->context);
      } else if (command == enip::Command::RegisterSession) {
        if (!enip::CheckRegisterSessionData(data) || session) {
          out = enip::Build(command, 0, enip::RegisterSessionData(),
                            static_cast<uint32_t>(enip::EncapStatus::UnsupportedProtocol), h->context);
        } else {
          session = ++next_session;
          ++sessions;
          out = enip::Build(command, session, enip::RegisterSessionData(), 0, h->context);
        }
      } else if (command == enip::Command::UnRegisterSession) {
        co_return;
      } else if (command == enip::Command::SendRRData) {
        auto mr = enip::ParseSendRRData(data);
        if (!session || h->session != session) {
          out = enip::Build(command, h->session, {}, static_cast<uint32_t>(enip::EncapStatus::InvalidSession),
                            h->context);
        } else if (!mr) {
          out = enip::Build(command, session, {}, static_cast<uint32_t>(enip::EncapStatus::InvalidLength),
                            h->context);
        } else {
          if (options.silent) continue;
          out = enip::Build(command, session, enip::SendRRData(Answer(*mr)), 0, h->context);
          if (options.delay_ms) {
            asio::steady_timer t(io, std::chrono::milliseconds(options.delay_ms));
            co_await t.async_wait(token);
          }
          if (options.close_mid_reply) {
            co_await asio::async_write(s, asio::buffer(out.data(), out.size() / 2), token);
            co_return;
          }
        }
      } else {
        out = enip::Build(command, h->session, {}, static_cast<uint32_t>(enip::EncapStatus::InvalidCommand),
                          h->context);
      }
      co_await asio::async_write(s, asio::buffer(out), token);
      if (ec) co_return;
    }
  }
};

EnipServer::EnipServer(DeviceOptions options, const std::string &address, uint16_t port)
    : impl_(std::make_unique<Impl>(std::move(options), address, port)) {
  asio::co_spawn(impl_->io, impl_->Accept(), asio::detached);
}

EnipServer::~EnipServer() { Stop(); }

uint16_t EnipServer::port() const { return impl_->acceptor.local_endpoint().port(); }

void EnipServer::Start() {
  impl_->thread = std::make_unique<asio::thread>([io = &impl_->io] { io->run(); });
}

void EnipServer::Run() { impl_->io.run(); }

void EnipServer::Stop() {
  impl_->io.stop();
  if (impl_->thread) {
    impl_->thread->join();
    impl_->thread.reset();
  }
}

int EnipServer::sessions() const { return impl_->sessions.load(); }

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
  out.device_type = static_cast<uint16_t>(type);
  out.product_code = static_cast<uint16_t>(code);
  out.major = static_cast<uint8_t>(major);
  out.minor = static_cast<uint8_t>(minor);
  out.serial = static_cast<uint32_t>(serial);
  out.name = f[5];
  return true;
}

}  // namespace commserver
