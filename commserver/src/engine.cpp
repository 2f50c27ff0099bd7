#include "engine.h"

#include <algorithm>
#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#if !defined(_WIN32)
#include <thread>
#endif

#include "enip.h"
#include "path_string.h"

namespace commserver {

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

// A device's connection with its registered session, kept between requests
// so that a conversation of several requests pays for one connect and one
// RegisterSession.
struct Idle {
  explicit Idle(tcp::socket s, uint32_t id) : socket(std::move(s)), session(id), expiry(socket.get_executor()) {}
  tcp::socket socket;
  uint32_t session;
  asio::steady_timer expiry;
};

// A device by its address and port.
using DeviceKey = std::pair<uint32_t, uint16_t>;

// Idle connections kept per device.
constexpr size_t kIdlePerDevice = 4;

// The polite end of a session, then the socket closes. The 24 bytes fit any
// socket buffer, so the write does not wait.
void EndSession(tcp::socket &socket, uint32_t session) {
  asio::error_code ignored;
  auto bye = enip::Build(enip::Command::kUnRegisterSession, session, {});
  asio::write(socket, asio::buffer(bye), ignored);
  socket.close(ignored);
}

// True when the idle socket is still usable: the peer has neither closed it
// nor sent anything unasked.
bool StillOpen(tcp::socket &socket) {
  asio::error_code ec;
  uint8_t byte;
  socket.non_blocking(true, ec);
  if (ec) return false;
  socket.receive(asio::buffer(&byte, 1), tcp::socket::message_peek, ec);
  bool open = ec == asio::error::would_block || ec == asio::error::try_again;
  socket.non_blocking(false, ec);
  return open && !ec;
}

// Reads that change nothing at the device: the only requests that may go
// twice.
bool Repeatable(const std::vector<uint8_t> &request) {
  if (request.empty()) return false;
  switch (static_cast<cip::Service>(request[0])) {
    case cip::Service::kGetAttributesAll:
    case cip::Service::kGetAttributeList:
    case cip::Service::kGetAttributeSingle:
      return true;
    default:
      return false;
  }
}

// The message-router request for the device: beyond it, the caller's request
// travels inside Unconnected Send.
std::vector<uint8_t> RouterRequest(const MsgRequest &r) {
  if (r.hops.empty()) return r.request;
  Writer route;
  for (const auto &hop : r.hops) cip::EncodeHop(route, hop);
  auto cm = cip::EncodeLogicalPath(cip::kConnectionManagerClass, 1);
  return cip::BuildRequest(static_cast<uint8_t>(cip::Service::kUnconnectedSend), cm,
                           cip::BuildUnconnectedSend(r.request, route.Out()));
}

// One request's conversation with a device over TCP.
struct Talk {
  explicit Talk(std::shared_ptr<Pending> pending) : p(std::move(pending)) {}
  std::shared_ptr<Pending> p;
  asio::error_code ec;
  uint32_t session = 0;
  std::vector<uint8_t> data;           // the last reply's data
  uint32_t failure = DTL_E_NO_DEVICE;  // what an error of the current step means
  uint32_t encapStatus = 0;
  bool replied = false;                // a byte of the last reply arrived
};

// A kept connection taken, and the request written on it, by the caller's
// thread: the request is on its way while the worker wakes.
struct Early {
  std::shared_ptr<Idle> kept;               // null: none was usable
  std::vector<std::shared_ptr<Idle>> dead;  // found closed, for the worker to drop
  bool sent = false;                        // the request was written on kept
  asio::error_code written;                 // and how that went
};

#if defined(_WIN32)
// The worker holds a reference on the library from before it starts until its
// very last act, so the library is never unloaded under it: a thread cannot be
// joined from DllMain.
class WorkerThread {
 public:
  explicit WorkerThread(asio::io_context &io) {
    auto *start = new Start{&io, nullptr};
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Main), &start->module);
    m_thread = CreateThread(nullptr, 0, Main, start, 0, nullptr);
    if (m_thread) return;
    DWORD error = GetLastError();
    if (start->module) FreeLibrary(start->module);
    delete start;
    asio::detail::throw_error(asio::error_code(static_cast<int>(error), asio::error::get_system_category()), "thread");
  }
  ~WorkerThread() { CloseHandle(m_thread); }
  void join() { WaitForSingleObject(m_thread, INFINITE); }

 private:
  struct Start {
    asio::io_context *io;
    HMODULE module;
  };
  static DWORD WINAPI Main(LPVOID p) {
    Start start = *static_cast<Start *>(p);
    delete static_cast<Start *>(p);
    start.io->run();
    if (start.module) FreeLibraryAndExitThread(start.module, 0);
    return 0;
  }
  HANDLE m_thread = nullptr;
};
#else
// Joined at the library's unload (cvapi32.cpp) when it still runs then.
class WorkerThread : public std::thread {
 public:
  explicit WorkerThread(asio::io_context &io) : std::thread([&io] { io.run(); }) {}
};
#endif

}  // namespace

struct Engine::Impl {
  using Guard = asio::executor_work_guard<asio::io_context::executor_type>;
  asio::io_context io;
  std::optional<Guard> guard{io.get_executor()};
  std::unique_ptr<WorkerThread> worker;
  std::set<std::shared_ptr<Pending>> active;  // worker thread only
  std::set<std::shared_ptr<Job>> jobs;        // worker thread only
  bool closing = false;                       // worker thread only
  bool stopped = false;                       // no worker starts any more
  std::multimap<DeviceKey, std::shared_ptr<Idle>> idle;  // under life
  // Requests, jobs and posts whose callbacks are still to be made.
  std::atomic<int> unfinished{0};
  // Between the worker and the library's calls: the idle connections, and
  // with no context open (asleep) the worker ends with the last of them
  // (ending). An idle connection's socket is used by whoever takes it out;
  // its expiry timer by the worker alone.
  std::mutex life;
  bool asleep = false;
  bool ending = false;

  // Under the life lock: with nothing kept the loop runs out and the thread
  // ends.
  void EndIfNothingKept() {
    if (!asleep || ending || !idle.empty()) return;
    ending = true;
    guard.reset();
  }

  // Worker thread: EndIfNothingKept once nothing is pending either.
  void EndIfIdle() {
    std::lock_guard<std::mutex> g(life);
    if (active.empty()) EndIfNothingKept();
  }

  // Joins a worker that has ended; the next piece of work starts another.
  void Rejoin() {
    worker->join();
    worker.reset();
    io.restart();
    std::lock_guard<std::mutex> g(life);
    guard.emplace(io.get_executor());
    ending = false;
  }

  // Worker thread: jobs and pending requests end with DTL_E_CLOSING.
  void EndWork() {
    closing = true;
    // Jobs first: a job whose requests end now must not start others.
    auto running = jobs;
    for (const auto &j : running) j->Abort();
    auto pending = active;
    for (const auto &p : pending) Finish(p, DTL_E_CLOSING);
  }

  // Any thread: a usable idle connection to the device, or null; those
  // found closed go to dead.
  std::shared_ptr<Idle> TakeIdle(const DeviceKey &e, std::vector<std::shared_ptr<Idle>> &dead) {
    std::lock_guard<std::mutex> g(life);
    for (auto it = idle.find(e); it != idle.end() && it->first == e;) {
      auto c = it->second;
      it = idle.erase(it);
      if (StillOpen(c->socket)) return c;
      dead.push_back(std::move(c));
    }
    return nullptr;
  }

  // Worker thread: connections taken out of the idle ones are no longer
  // idle. Those found closed are closed by their last owner, the request's
  // exchange, when it is over: tearing a connection down costs more than
  // the caller should wait for before its new one.
  void Taken(const std::shared_ptr<Idle> &kept, const std::vector<std::shared_ptr<Idle>> &dead) {
    if (kept) kept->expiry.cancel();
    for (const auto &c : dead) c->expiry.cancel();
  }

  // Caller's thread: the request goes on a kept connection at once, instead
  // of when the worker has woken.
  std::optional<Early> WriteEarly(const MsgRequest &r) {
    if (r.driver->kind != DTL_KIND_ETHERNET_IP) return std::nullopt;
    auto endpoint = ParseEndpoint(r.station, enip::kDefaultPort);
    if (!endpoint) return std::nullopt;
    Early e;
    e.kept = TakeIdle({endpoint->ipv4, endpoint->port}, e.dead);
    if (e.kept) {
      auto out = enip::Build(enip::Command::kSendRRData, e.kept->session, enip::SendRRData(RouterRequest(r)));
      asio::write(e.kept->socket, asio::buffer(out), e.written);
      e.sent = true;
    }
    return e;
  }

  // Keeps the connection for the device's next request, for a while.
  void Park(const DeviceKey &e, tcp::socket socket, uint32_t session, uint32_t keepMs) {
    std::unique_lock<std::mutex> g(life);
    if (closing || idle.count(e) >= kIdlePerDevice) {
      g.unlock();
      return EndSession(socket, session);
    }
    auto c = std::make_shared<Idle>(std::move(socket), session);
    idle.emplace(e, c);
    g.unlock();
    c->expiry.expires_after(std::chrono::milliseconds(keepMs));
    c->expiry.async_wait([this, e, c](const asio::error_code &ec) {
      if (ec) return;  // taken or closing
      {
        std::lock_guard<std::mutex> g(life);
        auto i = idle.find(e);
        while (i != idle.end() && i->first == e && i->second != c) ++i;
        if (i == idle.end() || i->second != c) return;  // taken meanwhile
        idle.erase(i);
      }
      EndSession(c->socket, c->session);
      EndIfIdle();
    });
  }

  void CloseIdle() {
    std::multimap<DeviceKey, std::shared_ptr<Idle>> all;
    {
      std::lock_guard<std::mutex> g(life);
      all.swap(idle);
    }
    for (auto &[e, c] : all) {
      c->expiry.cancel();
      EndSession(c->socket, c->session);
    }
  }

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
    unfinished.fetch_sub(1, std::memory_order_release);
  }

  // Arms the time-out: on expiry the request completes with status.
  void Arm(const std::shared_ptr<Pending> &p, uint32_t ms, uint32_t status) {
    p->timer.expires_after(std::chrono::milliseconds(ms));
    p->timer.async_wait([this, p, status](const asio::error_code &ec) {
      if (!ec) Finish(p, status);
    });
  }

  uint32_t ReplyTimeout(const MsgRequest &r) const {
    const auto &configured = r.driver->replyTimeoutMs;
    if (!r.timeoutMs) return configured.value_or(kDefaultReplyTimeoutMs);
    return configured ? std::min(*configured, r.timeoutMs) : r.timeoutMs;
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
      reply = cip::BuildReply(static_cast<uint8_t>(cip::Service::kUnconnectedSend), cip::Status::kConnectionFailure,
                              {&ext, 1});
    } else if (d->silent) {
      Arm(p, ReplyTimeout(r), DTL_E_TIMEOUT);
      return;
    } else if (d->cipError) {
      uint16_t ext = d->cipExt;
      reply = cip::BuildReply(request->service, static_cast<cip::Status>(d->cipError),
                              {&ext, static_cast<size_t>(ext ? 1 : 0)});
      delay = d->delayMs;
    } else if (d->refuseService && request->service == d->refuseService) {
      reply = cip::BuildReply(request->service, cip::Status::kServiceNotSupported);
      delay = d->delayMs;
    } else {
      reply = cip::AnswerIdentity(d->identity, *request);
      delay = d->delayMs;
    }
    // A held reply keeps no time-out: it outlasts the caller's own wait.
    if (d && d->holdMs)
      delay = d->holdMs;
    else if (delay)
      Arm(p, ReplyTimeout(r), DTL_E_TIMEOUT);
    if (!delay) return Finish(p, DTL_SUCCESS, reply);
    p->delay.expires_after(std::chrono::milliseconds(delay));
    p->delay.async_wait([this, p, reply = std::move(reply)](const asio::error_code &ec) {
      if (!ec) Finish(p, DTL_SUCCESS, reply);
    });
  }

  // Sends one command and reads its reply into t.data; false on failure,
  // with t.failure saying what it means.
  asio::awaitable<bool> Roundtrip(Talk &t, enip::Command command, std::vector<uint8_t> body) {
    t.replied = false;
    auto out = enip::Build(command, t.session, body);
    co_await asio::async_write(t.p->socket, asio::buffer(out), asio::redirect_error(asio::use_awaitable, t.ec));
    if (t.ec || t.p->done) co_return false;
    co_return co_await ReadReply(t, command);
  }

  // Reads the reply to the command sent.
  asio::awaitable<bool> ReadReply(Talk &t, enip::Command command) {
    auto token = asio::redirect_error(asio::use_awaitable, t.ec);
    auto &socket = t.p->socket;
    t.replied = false;
    uint8_t head[enip::kHeaderSize];
    size_t got = co_await asio::async_read(socket, asio::buffer(head), token);
    t.replied = got > 0;
    if (t.ec || t.p->done) co_return false;
    auto h = enip::ParseHeader(head);
    t.data.assign(h->length, 0);
    co_await asio::async_read(socket, asio::buffer(t.data), token);
    if (t.ec || t.p->done) co_return false;
    if (h->command != static_cast<uint16_t>(command) || (t.session && h->session != t.session)) {
      t.failure = DTL_E_BAD_REPLY;
      co_return false;
    }
    if (h->status) {
      t.failure = DTL_E_ENCAP_STATUS;
      t.encapStatus = h->status;
      co_return false;
    }
    if (!t.session) t.session = h->session;
    co_return true;
  }

  // Completes a conversation that failed with what its failure means.
  void Fail(const Talk &t) {
    if (t.failure == DTL_E_ENCAP_STATUS) return Finish(t.p, t.failure, {}, t.encapStatus);
    bool lost = t.ec == asio::error::eof || t.ec == asio::error::connection_reset;
    Finish(t.p, lost ? uint32_t{DTL_E_CONNECTION_LOST} : t.failure);
  }

  // The request on a kept connection with its registered session; written
  // already when written is given.
  asio::awaitable<bool> OnKept(Talk &t, std::shared_ptr<Idle> kept, const std::vector<uint8_t> &mr,
                               const asio::error_code *written) {
    t.p->socket = std::move(kept->socket);
    t.session = kept->session;
    Arm(t.p, ReplyTimeout(t.p->req), DTL_E_TIMEOUT);
    t.failure = DTL_E_CONNECTION_LOST;
    if (!written) co_return co_await Roundtrip(t, enip::Command::kSendRRData, enip::SendRRData(mr));
    t.ec = *written;
    if (t.ec) co_return false;
    co_return co_await ReadReply(t, enip::Command::kSendRRData);
  }

  // The request on a new connection: connect, RegisterSession, SendRRData.
  asio::awaitable<bool> OnNew(Talk &t, const Endpoint &endpoint, const std::vector<uint8_t> &mr) {
    const auto &r = t.p->req;
    t.failure = DTL_E_NO_DEVICE;
    Arm(t.p, r.driver->connectTimeoutMs, DTL_E_NO_DEVICE);
    co_await t.p->socket.async_connect({asio::ip::address_v4(endpoint.ipv4), endpoint.port},
                                       asio::redirect_error(asio::use_awaitable, t.ec));
    if (t.ec || t.p->done) co_return false;
    // Requests and replies are single small writes: no reason to hold one back.
    asio::error_code ignored;
    t.p->socket.set_option(tcp::no_delay(true), ignored);

    Arm(t.p, ReplyTimeout(r), DTL_E_TIMEOUT);
    t.failure = DTL_E_CONNECTION_LOST;
    if (!co_await Roundtrip(t, enip::Command::kRegisterSession, enip::RegisterSessionData())) co_return false;
    if (t.data.size() != 4 || !t.session) {
      t.failure = DTL_E_BAD_REPLY;
      co_return false;
    }
    co_return co_await Roundtrip(t, enip::Command::kSendRRData, enip::SendRRData(mr));
  }

  // The device's answer to the caller; the connection, in step, serves the
  // device's next request.
  void Deliver(Talk &t, const DeviceKey &device) {
    const auto &r = t.p->req;
    auto item = enip::ParseSendRRData(t.data);
    auto reply = item ? cip::ParseReply(*item) : std::nullopt;
    // A bridge that cannot route answers for Unconnected Send itself.
    constexpr uint8_t kUnconnectedSend = static_cast<uint8_t>(cip::Service::kUnconnectedSend);
    uint8_t service = r.request.empty() ? 0 : r.request[0];
    bool matches = reply && (reply->service == (service | cip::kReplyBit) ||
                             (!r.hops.empty() && reply->service == (kUnconnectedSend | cip::kReplyBit)));
    if (!matches) return Finish(t.p, DTL_E_BAD_REPLY);
    Park(device, std::move(t.p->socket), t.session, r.driver->idleTimeMs);
    t.p->socket = tcp::socket(io);
    Finish(t.p, DTL_SUCCESS, *item);
  }

  // One exchange: SendRRData on an idle connection to the device (taken,
  // and the request written, by the caller when early is given), or on a new
  // one (connect, RegisterSession); the connection is kept afterwards.
  asio::awaitable<void> Exchange(std::shared_ptr<Pending> p, std::optional<Early> early) {
    const auto &r = p->req;
    auto endpoint = ParseEndpoint(r.station, enip::kDefaultPort);
    if (!endpoint) co_return Finish(p, DTL_E_NO_DEVICE);
    const DeviceKey device{endpoint->ipv4, endpoint->port};
    const std::vector<uint8_t> mr = RouterRequest(r);
    if (!early) {
      early.emplace();
      early->kept = TakeIdle(device, early->dead);
    }
    Taken(early->kept, early->dead);
    const asio::error_code *written = early->sent ? &early->written : nullptr;
    Talk t(p);
    bool ok = false;
    if (auto kept = std::move(early->kept)) {
      ok = co_await OnKept(t, std::move(kept), mr, written);
      // A device may end a kept session just as it is reused. Without a byte
      // of its reply, a read that changes nothing goes again on a connection
      // of its own; anything else may have been carried out and never goes twice.
      bool again = !ok && !p->done && !t.replied && t.failure == DTL_E_CONNECTION_LOST && Repeatable(r.request);
      if (!ok && !again) co_return Fail(t);
      if (again) {
        asio::error_code ignored;
        p->socket.close(ignored);
        p->socket = tcp::socket(io);
        t = Talk(p);
      }
    }
    if (!ok && !co_await OnNew(t, *endpoint, mr)) co_return Fail(t);
    Deliver(t, device);
  }

  // A request, on the worker thread.
  void Begin(MsgRequest request, std::optional<Early> early = std::nullopt) {
    auto p = std::make_shared<Pending>(io, std::move(request));
    active.insert(p);
    if (closing) {
      if (early) {
        if (early->kept) early->dead.push_back(std::move(early->kept));
        Taken(nullptr, early->dead);
      }
      return Finish(p, DTL_E_CLOSING);
    }
    if (p->req.driver->kind == DTL_KIND_ETHERNET_IP)
      asio::co_spawn(io, Exchange(p, std::move(early)), asio::detached);
    else
      Simulate(p);
  }
};

Engine::Engine() : m_impl(std::make_unique<Impl>()) {}

Engine::~Engine() { Stop(); }

// The worker starts with the first piece of work: a library started and
// stopped without a request costs no thread.
void Engine::StartWorker() {
  if (m_impl->worker || m_impl->stopped) return;
  m_impl->worker = std::make_unique<WorkerThread>(m_impl->io);
}

void Engine::Send(MsgRequest request) {
  StartWorker();
  Impl *impl = m_impl.get();
  impl->unfinished.fetch_add(1, std::memory_order_relaxed);
  auto early = impl->WriteEarly(request);
  asio::post(impl->io, [impl, request = std::move(request), early = std::move(early)]() mutable {
    impl->Begin(std::move(request), std::move(early));
  });
}

void Engine::SendFromWorker(MsgRequest request) {
  m_impl->unfinished.fetch_add(1, std::memory_order_relaxed);
  m_impl->Begin(std::move(request));
}

void Engine::Run(std::shared_ptr<Job> job) {
  StartWorker();
  Impl *impl = m_impl.get();
  impl->unfinished.fetch_add(1, std::memory_order_relaxed);
  asio::post(impl->io, [impl, job = std::move(job)] {
    if (impl->closing) {
      job->Abort();
      impl->unfinished.fetch_sub(1, std::memory_order_release);
      return;
    }
    impl->jobs.insert(job);
    job->Start(impl->io);
  });
}

void Engine::Leave(Job &job) {
  for (auto it = m_impl->jobs.begin(); it != m_impl->jobs.end(); ++it)
    if (it->get() == &job) {
      m_impl->jobs.erase(it);
      m_impl->unfinished.fetch_sub(1, std::memory_order_release);
      return;
    }
}

void Engine::Post(std::function<void()> f) {
  StartWorker();
  Impl *impl = m_impl.get();
  impl->unfinished.fetch_add(1, std::memory_order_relaxed);
  asio::post(impl->io, [impl, f = std::move(f)] {
    f();
    impl->unfinished.fetch_sub(1, std::memory_order_release);
  });
}

void Engine::Close() {
  Impl *impl = m_impl.get();
  if (!impl->worker) return;
  // Nothing pending (the library's lock keeps new work out): no callback is
  // left to make, and the worker need not be woken.
  if (impl->unfinished.load(std::memory_order_acquire) == 0) {
    std::unique_lock<std::mutex> g(impl->life);
    impl->asleep = true;
    impl->EndIfNothingKept();
    bool ended = impl->ending;
    g.unlock();
    if (ended) impl->Rejoin();
    return;
  }
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  asio::post(impl->io, [impl, &m, &cv, &done] {
    impl->EndWork();
    impl->closing = false;
    {
      std::lock_guard<std::mutex> g(impl->life);
      impl->asleep = true;
    }
    impl->EndIfIdle();
    std::lock_guard<std::mutex> g(m);
    done = true;
    cv.notify_one();  // under the lock: the waiter's m and cv outlive it
  });
  {
    std::unique_lock<std::mutex> g(m);
    cv.wait(g, [&done] { return done; });
  }
  // Nothing kept: no thread is left behind.
  std::unique_lock<std::mutex> g(impl->life);
  bool ended = impl->ending;
  g.unlock();
  if (ended) impl->Rejoin();
}

void Engine::Reopen() {
  Impl *impl = m_impl.get();
  std::unique_lock<std::mutex> g(impl->life);
  impl->asleep = false;
  bool ended = impl->ending;
  g.unlock();
  if (ended && impl->worker) impl->Rejoin();
}

void Engine::Stop() {
  Impl *impl = m_impl.get();
  impl->stopped = true;
  if (!impl->worker) return;
  std::unique_lock<std::mutex> g(impl->life);
  bool ended = impl->ending;
  impl->ending = true;  // the worker no longer ends by itself
  g.unlock();
  if (!ended)
    asio::post(impl->io, [impl] {
      impl->EndWork();
      impl->CloseIdle();
      impl->guard.reset();
    });
  impl->worker->join();
  impl->worker.reset();
}

bool Engine::OnWorker() const { return m_impl->io.get_executor().running_in_this_thread(); }

}  // namespace commserver
