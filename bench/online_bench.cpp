// The online road's cost over loopback against the device simulator: one
// GetRevisionFromController (a library context, the path check's identity
// read and the read itself, both on one connection and session of the client
// library) beside raw EtherNet/IP clients on the same socket path. Each case
// times its yardstick in the same loop and reports the ratio (x_raw), so the
// ratio holds whatever the machine's load:
//  - a repeated identification of one controller (its connection kept from
//    the last one) beside one Get_Attributes_All round trip on a session kept
//    open;
//  - a first identification (a device that ends each connection after the
//    two reads of an identification) beside a raw conversation: connect,
//    RegisterSession, SendRRData and its reply, UnRegisterSession.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component_module.h"
#include "enip.h"
#include "enip_server.h"
#include "fresh_prefix.h"

namespace {

namespace enip = commserver::enip;
namespace cip = commserver::cip;

using Clock = std::chrono::steady_clock;

std::unique_ptr<commserver::EnipServer> StartDevice(uint32_t closeAfterReplies) {
  commserver::DeviceOptions options;
  commserver::ParseIdentity("1,14,15,13.1,12345,Kestrel L85", options.identity);
  options.closeAfterReplies = closeAfterReplies;
  auto d = std::make_unique<commserver::EnipServer>(options, "127.0.0.1", 0);
  d->Start();
  return d;
}

// One simulated controller for the whole run.
uint16_t DevicePort() {
  static std::unique_ptr<commserver::EnipServer> g_device = StartDevice(0);
  return g_device->Port();
}

// One that ends every connection after an identification's two reads: each
// identification finds no usable connection kept from the last.
uint16_t ForgetfulDevicePort() {
  static std::unique_ptr<commserver::EnipServer> g_device = StartDevice(2);
  return g_device->Port();
}

bool WriteAll(int fd, const std::vector<uint8_t> &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, uint8_t *out, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = recv(fd, out + done, size - done, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// One encapsulation reply: its header and data.
bool ReadReply(int fd, enip::Header &header, std::vector<uint8_t> &data) {
  uint8_t raw[enip::kHeaderSize];
  if (!ReadAll(fd, raw, sizeof raw)) return false;
  auto parsed = enip::ParseHeader(raw);
  if (!parsed) return false;
  header = *parsed;
  data.resize(header.length);
  return ReadAll(fd, data.data(), data.size());
}

// A raw client's connection with its registered session.
class RawSession {
 public:
  explicit RawSession(uint16_t port) : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    if (m_fd < 0) return;
    int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    enip::Header header;
    std::vector<uint8_t> data;
    if (connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        WriteAll(m_fd, enip::Build(enip::Command::kRegisterSession, 0, enip::RegisterSessionData())) &&
        ReadReply(m_fd, header, data) && header.status == 0)
      m_session = header.session;
  }
  ~RawSession() {
    if (m_session) WriteAll(m_fd, enip::Build(enip::Command::kUnRegisterSession, m_session, {}));
    if (m_fd >= 0) close(m_fd);
  }
  RawSession(const RawSession &) = delete;
  RawSession &operator=(const RawSession &) = delete;

  bool Registered() const { return m_session != 0; }

  // One Get_Attributes_All of the Identity object and its good reply.
  bool GetAttributesAll() {
    enip::Header header;
    std::vector<uint8_t> data;
    std::vector<uint8_t> request = cip::BuildRequest(0x01, cip::EncodeLogicalPath(1, 1), {});
    bool ok = WriteAll(m_fd, enip::Build(enip::Command::kSendRRData, m_session, enip::SendRRData(request))) &&
              ReadReply(m_fd, header, data) && header.status == 0;
    auto item = ok ? enip::ParseSendRRData(data) : std::nullopt;
    auto reply = item ? cip::ParseReply(*item) : std::nullopt;
    return reply && reply->status == 0 && !reply->data.empty();
  }

 private:
  int m_fd;
  uint32_t m_session = 0;
};

// The raw conversation; false when any step of it failed.
bool GetAttributesAllRaw(uint16_t port) {
  RawSession s(port);
  return s.Registered() && s.GetAttributesAll();
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The yardstick's mean time per iteration and the measured case's multiple of it.
void ReportRatio(benchmark::State &state, Clock::duration measured, Clock::duration yardstick) {
  if (state.iterations() == 0 || yardstick.count() == 0) return;
  state.counters["raw_us"] = Seconds(yardstick) * 1e6 / static_cast<double>(state.iterations());
  state.counters["x_raw"] = Seconds(measured) / Seconds(yardstick);
}

void BM_RawGetAttributesAll(benchmark::State &state) {
  uint16_t port = DevicePort();
  for (auto _ : state) {
    if (!GetAttributesAllRaw(port)) {
      state.SkipWithError("the raw round trip failed");
      break;
    }
  }
}
BENCHMARK(BM_RawGetAttributesAll)->Unit(benchmark::kMicrosecond);

void BM_RawKeptSession(benchmark::State &state) {
  RawSession session(DevicePort());
  if (!session.Registered()) return state.SkipWithError("no session");
  for (auto _ : state) {
    if (!session.GetAttributesAll()) {
      state.SkipWithError("the raw round trip failed");
      break;
    }
  }
}
BENCHMARK(BM_RawKeptSession)->Unit(benchmark::kMicrosecond);

IRevisionDirectory_V6 *OpenDirectory() {
  UseFreshPrefix();
  SetRegistryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Brenmoor Software\\Corvid\\Drivers\\ENIP-1", u"Kind",
                    u"EtherNet/IP");
  IRevisionDirectory_V6 *directory = NewComponentDirectory();
  if (directory && FAILED(directory->Initialize())) {
    directory->Release();
    return nullptr;
  }
  SetRegistryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Brenmoor Software\\Corvid\\Drivers\\SIM-1", u"Kind",
                    u"Simulated");
  const std::u16string device = u"SOFTWARE\\Brenmoor Software\\Corvid\\Drivers\\SIM-1\\Devices\\2";
  SetRegistryString(HKEY_LOCAL_MACHINE, device, u"ProductName", u"Kestrel L85");
  return directory;
}

BSTR RouteText(const std::string &route) { return SysAllocString(std::u16string(route.begin(), route.end()).c_str()); }

// route: the route to identify along (0: the simulator's, its connection kept
// from the last identification, beside a raw round trip on a kept session;
// 1: a route of neither form, which costs the library context alone; 2: a
// simulated device of the client library, without a network).
void BM_GetRevisionFromController(benchmark::State &state) {
  IRevisionDirectory_V6 *directory = OpenDirectory();
  if (!directory) return state.SkipWithError("no directory");
  const char *const routes[] = {"cvpath:ENIP-1\\127.0.0.1:", "ENIP-1\\2", "SIM-1%02 02"};
  std::string route = routes[state.range(0)];
  if (state.range(0) == 0) route += std::to_string(DevicePort());
  BSTR text = RouteText(route);
  RawSession raw(DevicePort());
  Clock::duration measured{}, yardstick{};
  for (auto _ : state) {
    if (state.range(0) == 0) {
      state.PauseTiming();
      auto t0 = Clock::now();
      bool ok = raw.GetAttributesAll();
      yardstick += Clock::now() - t0;
      state.ResumeTiming();
      if (!ok) {
        state.SkipWithError("the raw round trip failed");
        break;
      }
    }
    auto t0 = Clock::now();
    IRevision *revision = nullptr;
    HRESULT hr = directory->GetRevisionFromController(text, &revision);
    measured += Clock::now() - t0;
    // The simulated device answers with the library's default identity,
    // which names no catalogued controller: it answered all the same.
    bool answered = hr != RdE_NoDeviceFound;
    if (state.range(0) == 0 ? FAILED(hr) : answered != (state.range(0) == 2)) {
      state.SkipWithError("not the answer expected");
      break;
    }
    if (revision) revision->Release();
  }
  if (state.range(0) == 0) ReportRatio(state, measured, yardstick);
  SysFreeString(text);
  directory->Release();
}
BENCHMARK(BM_GetRevisionFromController)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// A first identification: the device ended the connection kept from the last
// one, so the client library connects and registers again; beside a raw
// conversation that connects, registers, reads and unregisters.
void BM_FirstIdentification(benchmark::State &state) {
  IRevisionDirectory_V6 *directory = OpenDirectory();
  if (!directory) return state.SkipWithError("no directory");
  uint16_t port = ForgetfulDevicePort();
  BSTR text = RouteText("cvpath:ENIP-1\\127.0.0.1:" + std::to_string(port));
  Clock::duration measured{}, yardstick{};
  for (auto _ : state) {
    state.PauseTiming();
    auto t0 = Clock::now();
    bool ok = GetAttributesAllRaw(DevicePort());
    yardstick += Clock::now() - t0;
    state.ResumeTiming();
    if (!ok) {
      state.SkipWithError("the raw conversation failed");
      break;
    }
    t0 = Clock::now();
    IRevision *revision = nullptr;
    HRESULT hr = directory->GetRevisionFromController(text, &revision);
    measured += Clock::now() - t0;
    if (FAILED(hr)) {
      state.SkipWithError("not the answer expected");
      break;
    }
    revision->Release();
  }
  ReportRatio(state, measured, yardstick);
  SysFreeString(text);
  directory->Release();
}
BENCHMARK(BM_FirstIdentification)->Unit(benchmark::kMicrosecond);

}  // namespace
