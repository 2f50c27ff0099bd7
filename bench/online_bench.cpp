// The online road's cost over loopback against the device simulator: one
// GetRevisionFromController (a library context, the path check's identity
// read and the read itself, both on one connection and session of the client
// library) beside one raw EtherNet/IP Get_Attributes_All round trip on the
// same socket path: connect, RegisterSession, SendRRData and its reply,
// UnRegisterSession.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "component_module.h"
#include "enip.h"
#include "enip_server.h"
#include "fresh_prefix.h"

namespace {

namespace enip = cvsrv::enip;
namespace cip = cvsrv::cip;

// One simulated controller for the whole run.
uint16_t DevicePort() {
  static std::unique_ptr<cvsrv::EnipServer> g_device = [] {
    cvsrv::DeviceOptions options;
    cvsrv::ParseIdentity("1,14,15,13.1,12345,Kestrel L85", options.identity);
    auto d = std::make_unique<cvsrv::EnipServer>(options, "127.0.0.1", 0);
    d->Start();
    return d;
  }();
  return g_device->port();
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

// The raw round trip; false when any step of it failed.
bool GetAttributesAllRaw(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  enip::Header header;
  std::vector<uint8_t> data;
  bool ok = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            WriteAll(fd, enip::Build(enip::Command::RegisterSession, 0, enip::RegisterSessionData())) &&
            ReadReply(fd, header, data) && header.status == 0;
  uint32_t session = header.session;
  if (ok) {
    std::vector<uint8_t> request = cip::BuildRequest(0x01, cip::EncodeLogicalPath(1, 1), {});
    ok = WriteAll(fd, enip::Build(enip::Command::SendRRData, session, enip::SendRRData(request))) &&
         ReadReply(fd, header, data) && header.status == 0;
    auto item = ok ? enip::ParseSendRRData(data) : std::nullopt;
    auto reply = item ? cip::ParseReply(*item) : std::nullopt;
    ok = reply && reply->status == 0 && !reply->data.empty();
  }
  if (ok) ok = WriteAll(fd, enip::Build(enip::Command::UnRegisterSession, session, {}));
  close(fd);
  return ok;
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

// route: the route to identify along (0: the simulator's, 1: a route of
// neither form, which costs the library context alone, 2: a simulated device
// of the client library, without a network).
void BM_GetRevisionFromController(benchmark::State &state) {
  UseFreshPrefix();
  SetRegistryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Brenmoor Software\\Corvid\\Drivers\\ENIP-1", u"Kind",
                    u"EtherNet/IP");
  IRevisionDirectory_V6 *directory = NewComponentDirectory();
  if (!directory || FAILED(directory->Initialize())) {
    state.SkipWithError("no directory");
    return;
  }
  SetRegistryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Brenmoor Software\\Corvid\\Drivers\\SIM-1", u"Kind",
                    u"Simulated");
  const std::u16string device = u"SOFTWARE\\Brenmoor Software\\Corvid\\Drivers\\SIM-1\\Devices\\2";
  SetRegistryString(HKEY_LOCAL_MACHINE, device, u"ProductName", u"Kestrel L85");
  const char *const routes[] = {"cvpath:ENIP-1\\127.0.0.1:", "ENIP-1\\2", "SIM-1%02 02"};
  std::string route = routes[state.range(0)];
  if (state.range(0) == 0) route += std::to_string(DevicePort());
  BSTR text = SysAllocString(std::u16string(route.begin(), route.end()).c_str());
  for (auto _ : state) {
    IRevision *revision = nullptr;
    HRESULT hr = directory->GetRevisionFromController(text, &revision);
    // The simulated device answers with the library's default identity,
    // which names no catalogued controller: it answered all the same.
    bool answered = hr != RdE_NoDeviceFound;
    if (state.range(0) == 0 ? FAILED(hr) : answered != (state.range(0) == 2)) {
      state.SkipWithError("not the answer expected");
      break;
    }
    if (revision) revision->Release();
  }
  SysFreeString(text);
  directory->Release();
}
BENCHMARK(BM_GetRevisionFromController)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
