#include "engine.h"

#include <algorithm>
#include <asio.hpp>
#include <cstring>
#include <optional>
#include <set>

#include "enip.h"
#include "path_string.h"

namespace cvsrv {

namespace {

using asio::ip::tcp;

struct Pending {
  explicit Pending(asio::io_context &io, MsgRequest r) : req(std::move(r)), timer(io), delay(io), socket(io) {}
  MsgRequest req;
  bool done = false;
  asio::steady_timer timer;  // the request's time-out
  asio::steady_timer delay;  // a simulated device's reply delay
  tcp::socket socket;
};

}  // namespace

struct Engine::Impl {
  asio::io_context io;
  asio::executor_work_guard<asio::io_context::executor_type> guard{io.get_executor()};
  std::unique_ptr<asio::thread> worker;  // asio's: mingw's win32 thread model has no std::thread
  std::set<std::shared_ptr<Pending>> active;  // worker thread only
  bool closing = false;                       // worker thread only

  void Finish(const std::shared_ptr<Pending> &p, uint32_t iostat, std::span<const uint8_t> reply = {},
              uint32_t ext = 0) {
    if (p->done) return;
    p->done = true;
    uint32_t size = 0;
    if (iostat == DTL_SUCCESS) {
      size = static_cast<uint32_t>(reply.size());
      if (reply.size() > p->req.capacity)
        iostat = DTL_E_REPLY_TOO_LONG;
      else if (!reply.empty())
        std::memcpy(p->req.reply, reply.data(), reply.size());
    }
    asio::error_code ignored;
    p->timer.cancel();
    p->delay.cancel();
    p->socket.close(ignored);
    active.erase(p);
    if (iostat != DTL_SUCCESS && iostat != DTL_E_REPLY_TOO_LONG) size = 0;
    if (p->req.done) p->req.done(p->req.context, iostat, size, ext);
  }

  // Arms the time-out: on expiry the request completes with status.
  void Arm(const std::shared_ptr<Pending> &p, uint32_t ms, uint32_t status) {
    p->timer.expires_after(std::chrono::milliseconds(ms));
    p->timer.async_wait([this, p, status](const asio::error_code &ec) {
      if (!ec) Finish(p, status);
    });
  }

  uint32_t ReplyTimeout(const MsgRequest &r) const {
    uint32_t t = r.driver->reply_timeout_ms;
    return r.timeout_ms ? std::min(t, r.timeout_ms) : t;
  }

  void Simulate(const std::shared_ptr<Pending> &p) {
    const auto &r = p->req;
    auto request = cip::ParseRequest(r.request);
    if (!request) return Finish(p, DTL_E_FAIL);  // the entry point builds well-formed requests
    auto it = r.driver->devices.find(r.station);
    if (it == r.driver->devices.end()) return Finish(p, DTL_E_NO_DEVICE);
    const SimDevice *d = FindSimDevice(*r.driver, r.station, r.hops);
    std::vector<uint8_t> reply;
    uint32_t delay = 0;
    if (!d) {
      // The last bridge on the way cannot reach the next link.
      uint16_t ext = cip::kExtLinkAddressNotValid;
      reply = cip::BuildReply(static_cast<uint8_t>(cip::Service::UnconnectedSend), cip::Status::ConnectionFailure,
                              {&ext, 1});
    } else if (d->silent) {
      Arm(p, ReplyTimeout(r), DTL_E_TIMEOUT);
      return;
    } else if (d->cip_error) {
      uint16_t ext = d->cip_ext;
      reply = cip::BuildReply(request->service, static_cast<cip::Status>(d->cip_error),
                              {&ext, static_cast<size_t>(ext ? 1 : 0)});
      delay = d->delay_ms;
    } else if (d->refuse_service && request->service == d->refuse_service) {
      reply = cip::BuildReply(request->service, cip::Status::ServiceNotSupported);
      delay = d->delay_ms;
    } else {
      reply = cip::AnswerIdentity(d->identity, *request);
      delay = d->delay_ms;
    }
    // A held reply keeps no time-out: it outlasts the caller's own wait.
    if (d && d->hold_ms)
      delay = d->hold_ms;
    else if (delay)
      Arm(p, ReplyTimeout(r), DTL_E_TIMEOUT);
    if (!delay) return Finish(p, DTL_SUCCESS, reply);
    p->delay.expires_after(std::chrono::milliseconds(delay));
    p->delay.async_wait([this, p, reply = std::move(reply)](const asio::error_code &ec) {
      if (!ec) Finish(p, DTL_SUCCESS, reply);
    });
  }

  // One exchange: connect, RegisterSession, SendRRData, UnRegisterSession.
  asio::awaitable<void> Exchange(std::shared_ptr<Pending> p) {
    const auto &r = p->req;
    auto endpoint = ParseEndpoint(r.station, enip::kDefaultPort);
    if (!endpoint) {
      Finish(p, DTL_E_NO_DEVICE);
      co_return;
    }
    asio::error_code ec;
    auto token = asio::redirect_error(asio::use_awaitable, ec);
    uint32_t failure = DTL_E_NO_DEVICE;  // what an error of the current step means
    auto fail = [&]() {
      bool lost = ec == asio::error::eof || ec == asio::error::connection_reset;
      Finish(p, lost ? uint32_t{DTL_E_CONNECTION_LOST} : failure);
    };

    Arm(p, r.driver->connect_timeout_ms, DTL_E_NO_DEVICE);
    co_await p->socket.async_connect({asio::ip::address_v4(endpoint->ipv4), endpoint->port}, token);
    if (ec || p->done) co_return fail();

    Arm(p, ReplyTimeout(r), DTL_E_TIMEOUT);
    failure = DTL_E_CONNECTION_LOST;
    uint32_t session = 0;
    std::vector<uint8_t> data;
    uint32_t encap_status = 0;
    // Sends one command and reads its reply into data; false on failure.
    auto roundtrip = [&](enip::Command command, std::vector<uint8_t> body) -> asio::awaitable<bool> {
      auto out = enip::Build(command, session, body);
      co_await asio::async_write(p->socket, asio::buffer(out), token);
      if (ec || p->done) co_return false;
      uint8_t head[enip::kHeaderSize];
      co_await asio::async_read(p->socket, asio::buffer(head), token);
      if (ec || p->done) co_return false;
      auto h = enip::ParseHeader(head);
      data.assign(h->length, 0);
      co_await asio::async_read(p->socket, asio::buffer(data), token);
      if (ec || p->done) co_return false;
      if (h->command != static_cast<uint16_t>(command) || (session && h->session != session)) {
        failure = DTL_E_BAD_REPLY;
        co_return false;
      }
      if (h->status) {
        failure = DTL_E_ENCAP_STATUS;
        encap_status = h->status;
        co_return false;
      }
      if (!session) session = h->session;
      co_return true;
    };

    bool ok = co_await roundtrip(enip::Command::RegisterSession, enip::RegisterSessionData());
    if (ok && (data.size() != 4 || !session)) failure = DTL_E_BAD_REPLY, ok = false;
    if (!ok) {
      if (failure == DTL_E_ENCAP_STATUS) co_return Finish(p, failure, {}, encap_status);
      co_return fail();
    }

    // Beyond the device, the request travels inside Unconnected Send.
    std::vector<uint8_t> mr = r.request;
    if (!r.hops.empty()) {
      Writer route;
      for (const auto &hop : r.hops) cip::EncodeHop(route, hop);
      auto cm = cip::EncodeLogicalPath(cip::kConnectionManagerClass, 1);
      mr = cip::BuildRequest(static_cast<uint8_t>(cip::Service::UnconnectedSend), cm,
                             cip::BuildUnconnectedSend(r.request, route.out()));
    }
    ok = co_await roundtrip(enip::Command::SendRRData, enip::SendRRData(mr));
    if (!ok) {
      if (failure == DTL_E_ENCAP_STATUS) co_return Finish(p, failure, {}, encap_status);
      co_return fail();
    }
    auto item = enip::ParseSendRRData(data);
    auto reply = item ? cip::ParseReply(*item) : std::nullopt;
    // A bridge that cannot route answers for Unconnected Send itself.
    constexpr uint8_t kUnconnectedSend = static_cast<uint8_t>(cip::Service::UnconnectedSend);
    uint8_t service = r.request.empty() ? 0 : r.request[0];
    bool matches = reply && (reply->service == (service | cip::kReplyBit) ||
                             (!r.hops.empty() && reply->service == (kUnconnectedSend | cip::kReplyBit)));
    if (!matches) co_return Finish(p, DTL_E_BAD_REPLY);
    // A polite end of the session first: completing closes the socket. The
    // 24 bytes fit any socket buffer, so this write does not wait.
    auto bye = enip::Build(enip::Command::UnRegisterSession, session, {});
    asio::error_code ignored;
    asio::write(p->socket, asio::buffer(bye), ignored);
    Finish(p, DTL_SUCCESS, *item);
  }
};

Engine::Engine() : impl_(std::make_unique<Impl>()) {
  impl_->worker = std::make_unique<asio::thread>([io = &impl_->io] { io->run(); });
}

Engine::~Engine() { Stop(); }

void Engine::Send(MsgRequest request) {
  Impl *impl = impl_.get();
  asio::post(impl->io, [impl, request = std::move(request)]() mutable {
    auto p = std::make_shared<Pending>(impl->io, std::move(request));
    impl->active.insert(p);
    if (impl->closing) return impl->Finish(p, DTL_E_CLOSING);
    if (p->req.driver->kind == DTL_KIND_ETHERNET_IP)
      asio::co_spawn(impl->io, impl->Exchange(p), asio::detached);
    else
      impl->Simulate(p);
  });
}

void Engine::Post(std::function<void()> f) { asio::post(impl_->io, std::move(f)); }

void Engine::Stop() {
  if (!impl_->worker) return;
  Impl *impl = impl_.get();
  asio::post(impl->io, [impl] {
    impl->closing = true;
    auto pending = impl->active;
    for (const auto &p : pending) impl->Finish(p, DTL_E_CLOSING);
    impl->guard.reset();
  });
  impl->worker->join();
  impl->worker.reset();
}

bool Engine::OnWorker() const { return impl_->io.get_executor().running_in_this_thread(); }

}  // namespace cvsrv
