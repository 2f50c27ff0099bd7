#include "scan.h"

// Asio before anything that includes <windows.h>: it must see Winsock 2.
#include <algorithm>
#include <asio.hpp>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <unordered_set>
#include <vector>

#if defined(_WIN32)
#include <iphlpapi.h>
#include <mswsock.h>

#include "platform/text/wide_text.h"
#else
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#endif

#include "enip.h"

namespace commserver {

namespace {

using asio::ip::udp;
using Clock = std::chrono::steady_clock;

// Requests go in bursts off one timer; a burst is capped so that replies are
// read between bursts even at a rate far beyond what the tick can pace.
constexpr auto kTick = std::chrono::milliseconds(10);
constexpr uint64_t kBurstMax = 256;
// Backplane and station reads at once: each is a connection of its own.
constexpr size_t kReadsInFlight = 64;
constexpr uint32_t kDefaultConnectTimeoutMs = 3000;
// The largest UDP payload: no datagram is ever cut short and then read.
constexpr size_t kDatagramMax = 65536;
constexpr size_t kReplyMax = 600;

enum class Phase { kUdp, kStations, kSlots, kDone };
enum class Sent { kYes, kLost, kWait };

// A device found, for its backplane: the station of its route and the
// address it is reported under.
struct Found {
  std::string station;
  std::string address;
};

void CopyText(char *out, size_t size, const std::string &text) {
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

class Sweep : public Engine::Job, public std::enable_shared_from_this<Sweep> {
 public:
  Sweep(Engine &engine, ScanRequest request, ScanDone done)
      : m_engine(engine), m_req(std::move(request)), m_done(std::move(done)), m_cursor(m_req.targets) {
    m_stats.size = sizeof m_stats;
    m_builtin.kind = DTL_KIND_ETHERNET_IP;
    m_builtin.connectTimeoutMs = std::min(m_req.timeoutMs, kDefaultConnectTimeoutMs);
    // Only a request's own context is echoed; any value tells our replies from strays.
    m_context = static_cast<uint64_t>(Clock::now().time_since_epoch().count()) * 0x9E3779B97F4A7C15ull ^
                reinterpret_cast<uintptr_t>(this);
  }

  void Start(asio::io_context &io) override {
    m_io = &io;
    if (m_req.driver && m_req.driver->kind != DTL_KIND_ETHERNET_IP) {
      m_phase = Phase::kStations;
      m_station = m_req.driver->devices.begin();
      return Pump();
    }
    if (!Open()) return Finish(DTL_E_FAIL);
    m_start = m_lastSend = Clock::now();
    Receive();
    Pace();
  }

  void Abort() override {
    m_aborted = true;
    if (m_phase == Phase::kUdp || m_inFlight == 0) Finish(DTL_E_CLOSING);
    // Otherwise the engine ends the reads in flight next, and the last one finishes.
  }

 private:
  struct Read {
    std::shared_ptr<Sweep> sweep;
    std::string station;
    std::string address;
    int slot = -1;  // the device itself
    uint8_t reply[kReplyMax] = {};
  };

  bool Open() {
    asio::error_code ec;
    m_socket.emplace(*m_io);
    m_socket->open(udp::v4(), ec);
    if (!ec) m_socket->bind({asio::ip::address_v4::any(), 0}, ec);
    if (!ec && m_req.broadcast) m_socket->set_option(asio::socket_base::broadcast(true), ec);
    // A full send buffer must not hold up the worker: the rest goes at the next tick.
    if (!ec) m_socket->non_blocking(true, ec);
    if (ec) return false;
#if defined(_WIN32)
    // Unconnected, Windows reports a silent address's port-unreachable as an
    // error of the next receive; a sweep expects silence and reads on.
    BOOL report = FALSE;
    DWORD size = 0;
    WSAIoctl(m_socket->native_handle(), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &size, nullptr, nullptr);
#endif
    m_buffer.resize(kDatagramMax);
    m_pace.emplace(*m_io);
    m_deadline.emplace(*m_io);
    return true;
  }

  // Sends one request; kWait when the system's buffer is full for now.
  Sent SendTo(uint32_t ipv4) {
    asio::error_code ec;
    m_socket->send_to(asio::buffer(m_request), {asio::ip::address_v4(ipv4), m_req.port}, 0, ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again || ec == asio::error::no_buffer_space)
      return Sent::kWait;
    m_lastSend = Clock::now();
    // Any other failure (no route to the address) loses that address alone.
    if (ec) return Sent::kLost;
    ++m_stats.requests;
    return Sent::kYes;
  }

  // Sends what the rate allows by now, then waits for the next tick; after
  // the last request, the wait for its replies.
  void Pace() {
    if (m_phase != Phase::kUdp) return;
    if (m_request.empty()) {
      m_request = enip::ListIdentityRequest(m_context);
      m_broadcastSent = m_req.broadcast && SendTo(m_req.broadcast->broadcast) == Sent::kYes;
    }
    double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
    double due = 1 + std::floor(seconds * m_req.rate);
    uint64_t burst = 0;
    while (!m_cursor.Done() && static_cast<double>(m_attempts) < due && burst < kBurstMax) {
      if (SendTo(m_cursor.Current()) == Sent::kWait) {
        // A buffer that stays full for as long as a reply may take loses the address.
        auto now = Clock::now();
        if (!m_blockedSince) m_blockedSince = now;
        if (now - *m_blockedSince < std::chrono::milliseconds(m_req.timeoutMs)) break;
      }
      m_blockedSince.reset();
      m_cursor.Next();
      ++m_attempts, ++burst;
    }
    if (m_cursor.Done()) {
      m_deadline->expires_at(m_lastSend + std::chrono::milliseconds(m_req.timeoutMs));
      m_deadline->async_wait([self = shared_from_this()](const asio::error_code &ec) {
        if (!ec) self->EndUdp();
      });
      return CheckAllAnswered();
    }
    m_pace->expires_after(burst == kBurstMax ? Clock::duration::zero() : Clock::duration(kTick));
    m_pace->async_wait([self = shared_from_this()](const asio::error_code &ec) {
      if (!ec) self->Pace();
    });
  }

  void Receive() {
    m_socket->async_receive_from(
        asio::buffer(m_buffer), m_from,
        [self = shared_from_this()](const asio::error_code &ec, size_t size) { self->OnReceive(ec, size); });
  }

  void OnReceive(const asio::error_code &ec, size_t size) {
    if (m_phase != Phase::kUdp || ec == asio::error::operation_aborted) return;
    if (!ec) Accept({m_buffer.data(), size});
    // An ICMP error some system reports for an earlier request (Windows and
    // Wine as a reset) says only that an address is silent: read on.
    bool transient = ec == asio::error::connection_reset || ec == asio::error::connection_refused ||
                     ec == asio::error::host_unreachable || ec == asio::error::network_unreachable ||
                     ec == asio::error::message_size;
    if (ec == asio::error::message_size) ++m_stats.malformed;
    // Any other error leaves the rest of the wait to the deadline.
    if (m_phase == Phase::kUdp && (!ec || transient)) Receive();
  }

  // One datagram: from the devices' port and a swept address (any address
  // after a broadcast), well formed, and the first from its address.
  void Accept(std::span<const uint8_t> datagram) {
    uint32_t from = m_from.address().is_v4() ? m_from.address().to_v4().to_uint() : 0;
    bool swept = m_req.targets.Contains(from);
    bool room = swept || m_answered.size() - m_answeredTargets < m_req.maxAddresses;
    if (m_from.port() != m_req.port || !(swept || (m_broadcastSent && room))) {
      ++m_stats.wrong_source;
      return;
    }
    auto a = enip::ParseListIdentityDatagram(datagram, m_context);
    if (!a) {
      ++m_stats.malformed;
      return;
    }
    if (!m_answered.insert(from).second) {
      ++m_stats.duplicates;
      return;
    }
    ++m_stats.replies;
    m_answeredTargets += swept;
    std::string address = asio::ip::address_v4(from).to_string();
    if (m_req.backplane >= 0) m_found.push_back({address + ":" + std::to_string(m_req.port), address});
    Report(address, DTL_SLOT_NONE, a->identity, a->state, a->ipv4);
    CheckAllAnswered();
  }

  // Nothing more can come once every address has answered, unless a
  // broadcast may still bring others.
  void CheckAllAnswered() {
    if (m_cursor.Done() && !m_broadcastSent && m_answeredTargets == m_req.targets.count) EndUdp();
  }

  void EndUdp() {
    if (m_phase != Phase::kUdp) return;
    CloseUdp();
    if (m_req.backplane < 0 || m_found.empty()) return Finish(DTL_SUCCESS);
    m_phase = Phase::kSlots;
    Pump();
  }

  void CloseUdp() {
    asio::error_code ignored;
    if (m_socket) m_socket->close(ignored);
    if (m_pace) m_pace->cancel();
    if (m_deadline) m_deadline->cancel();
  }

  // The next station or slot to read, in that order: slot by slot across
  // the devices, so that no one device takes every connection at once.
  std::unique_ptr<Read> NextRead() {
    auto r = std::make_unique<Read>();
    if (m_phase == Phase::kStations) {
      if (m_station == m_req.driver->devices.end()) return nullptr;
      r->station = r->address = m_station->first;
      ++m_station;
      return r;
    }
    if (m_phase != Phase::kSlots || m_slot > m_req.backplane) return nullptr;
    const Found &f = m_found[m_device];
    r->station = f.station, r->address = f.address, r->slot = m_slot;
    if (++m_device == m_found.size()) m_device = 0, ++m_slot;
    return r;
  }

  MsgRequest ReadRequest(std::unique_ptr<Read> r) {
    MsgRequest m;
    m.config = m_req.config;
    m.driver = m_req.driver ? m_req.driver : &m_builtin;
    m.station = r->station;
    if (r->slot >= 0) m.hops.push_back({cip::kBackplanePort, std::to_string(r->slot)});
    m.request = cip::BuildRequest(static_cast<uint8_t>(cip::Service::kGetAttributesAll),
                                  cip::EncodeLogicalPath(cip::kIdentityClass, 1), {});
    m.reply = r->reply;
    m.capacity = kReplyMax;
    m.timeoutMs = m_req.timeoutMs;
    m.done = &Sweep::ReadDone;
    r->sweep = shared_from_this();
    m.context = reinterpret_cast<uintptr_t>(r.release());  // ReadDone takes it back
    return m;
  }

  // Starts reads up to the limit; when none is left, the next phase or the end.
  void Pump() {
    if (m_pumping) return;  // a read that completed at once, inside the loop below
    m_pumping = true;
    for (;;) {
      while (!m_aborted && m_inFlight < kReadsInFlight) {
        auto r = NextRead();
        if (!r) break;
        ++m_inFlight;
        m_engine.SendFromWorker(ReadRequest(std::move(r)));
      }
      if (m_inFlight || m_aborted) break;
      if (m_phase == Phase::kStations && m_req.backplane >= 0 && !m_found.empty()) {
        m_phase = Phase::kSlots;
        continue;
      }
      m_pumping = false;
      return Finish(DTL_SUCCESS);
    }
    m_pumping = false;
    if (m_aborted && !m_inFlight) Finish(DTL_E_CLOSING);
  }

  static void DTL_CALL ReadDone(uintptr_t context, uint32_t iostat, uint32_t size, uint32_t) {
    std::unique_ptr<Read> r(reinterpret_cast<Read *>(context));
    r->sweep->OnRead(*r, iostat, size);
  }

  // A slot or station that times out, refuses or answers with a CIP error
  // is passed over.
  void OnRead(const Read &r, uint32_t iostat, uint32_t size) {
    --m_inFlight;
    auto reply = iostat == DTL_SUCCESS ? cip::ParseReply({r.reply, size}) : std::nullopt;
    constexpr uint8_t kAnswer = static_cast<uint8_t>(cip::Service::kGetAttributesAll) | cip::kReplyBit;
    auto id =
        reply && reply->service == kAnswer && !reply->status ? cip::ParseIdentityAttributes(reply->data) : std::nullopt;
    if (id && !m_aborted) {
      if (r.slot >= 0) {
        ++m_stats.modules;
        Report(r.address, static_cast<uint16_t>(r.slot), *id, 0xFF, 0);
      } else {
        ++m_stats.replies;
        m_found.push_back({r.station, r.address});
        Report(r.address, DTL_SLOT_NONE, *id, 0xFF, 0);
      }
    }
    Pump();
  }

  void Report(const std::string &address, uint16_t slot, const cip::Identity &id, uint8_t state, uint32_t ipv4) {
    DTL_IDENTITY out;
    std::memset(&out, 0, sizeof out);
    out.size = sizeof out;
    CopyText(out.address, sizeof out.address, address);
    out.slot = slot;
    out.vendor = id.vendor;
    out.device_type = id.deviceType;
    out.product_code = id.productCode;
    out.major_revision = id.major;
    out.minor_revision = id.minor;
    out.status = id.status;
    out.serial_number = id.serial;
    out.state = state;
    out.reported_ipv4 = ipv4;
    CopyText(out.product_name, sizeof out.product_name, id.name);
    m_req.found(m_req.context, &out);
  }

  void Finish(long result) {
    if (m_phase == Phase::kDone) return;
    m_phase = Phase::kDone;
    CloseUdp();
    auto self = shared_from_this();  // Leave drops the engine's hold
    m_engine.Leave(*this);
    auto done = std::move(m_done);
    done(result, m_stats);
  }

  Engine &m_engine;
  ScanRequest m_req;
  ScanDone m_done;
  DTL_SCAN_STATS m_stats = {};
  Driver m_builtin;  // the backplane reads' time-outs when no driver is named
  uint64_t m_context = 0;
  asio::io_context *m_io = nullptr;
  Phase m_phase = Phase::kUdp;
  bool m_aborted = false;

  // The UDP sweep.
  std::optional<udp::socket> m_socket;
  std::optional<asio::steady_timer> m_pace, m_deadline;
  std::vector<uint8_t> m_request, m_buffer;
  udp::endpoint m_from;
  AddressCursor m_cursor;
  uint64_t m_attempts = 0;
  std::optional<Clock::time_point> m_blockedSince;  // the send buffer has been full since
  Clock::time_point m_start, m_lastSend;
  bool m_broadcastSent = false;
  std::unordered_set<uint32_t> m_answered;
  uint64_t m_answeredTargets = 0;

  // The reads.
  std::vector<Found> m_found;
  std::map<std::string, SimDevice>::const_iterator m_station;
  size_t m_device = 0;
  int m_slot = 0;
  size_t m_inFlight = 0;
  bool m_pumping = false;
};

}  // namespace

void StartScan(Engine &engine, ScanRequest request, ScanDone done) {
  engine.Run(std::make_shared<Sweep>(engine, std::move(request), std::move(done)));
}

#if defined(_WIN32)

namespace {

bool NamesAdapter(const IP_ADAPTER_ADDRESSES &a, const std::string &name) {
  if (a.AdapterName && name == a.AdapterName) return true;
  return a.FriendlyName && platform::Widen(name, CP_ACP) == a.FriendlyName;
}

}  // namespace

std::optional<BroadcastTarget> FindBroadcast(const std::string &interfaceName) {
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<uint8_t> buffer;
  ULONG size = 16 * 1024, result = ERROR_BUFFER_OVERFLOW;
  // The list may grow between two calls.
  for (int i = 0; i < 4 && result == ERROR_BUFFER_OVERFLOW; ++i) {
    buffer.resize(size);
    result =
        GetAdaptersAddresses(AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return std::nullopt;
  for (auto *a = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data()); a; a = a->Next) {
    if (!NamesAdapter(*a, interfaceName)) continue;
    for (auto *u = a->FirstUnicastAddress; u; u = u->Next) {
      if (!u->Address.lpSockaddr || u->Address.lpSockaddr->sa_family != AF_INET) continue;
      sockaddr_in in;
      std::memcpy(&in, u->Address.lpSockaddr, sizeof in);
      uint32_t local = ntohl(in.sin_addr.s_addr);
      uint32_t hostBits = u->OnLinkPrefixLength >= 32 ? 0 : 0xFFFFFFFFu >> u->OnLinkPrefixLength;
      return BroadcastTarget{local, local | hostBits};
    }
    return std::nullopt;
  }
  return std::nullopt;
}

#else

std::optional<BroadcastTarget> FindBroadcast(const std::string &interfaceName) {
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  auto ipv4 = [](const sockaddr *a) {
    sockaddr_in in;
    std::memcpy(&in, a, sizeof in);
    return ntohl(in.sin_addr.s_addr);
  };
  std::optional<BroadcastTarget> found;
  for (ifaddrs *i = list; i && !found; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || interfaceName != i->ifa_name) continue;
    uint32_t local = ipv4(i->ifa_addr);
    // The loopback interface has no broadcast address: its network's last address serves.
    uint32_t mask = i->ifa_netmask ? ipv4(i->ifa_netmask) : 0xFFFFFFFFu;
    bool own = (i->ifa_flags & IFF_BROADCAST) && i->ifa_broadaddr;
    found = BroadcastTarget{local, own ? ipv4(i->ifa_broadaddr) : local | ~mask};
  }
  freeifaddrs(list);
  return found;
}

#endif

}  // namespace commserver
