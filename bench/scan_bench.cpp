// A network sweep against its yardsticks, in one run on loopback: the
// client library's sweep of 256 addresses with three device simulators
// answering (the rest silent, so it must wait out its time-out), beside one
// List Identity round trip through the library (one answering host: the
// sweep ends at its reply) and one raw round trip on a socket of our own.
// The aim: the sweep within its time-out plus 10 %; the counter "of_timeout"
// says how near.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cvapi32.h"
#include "enip.h"
#include "enip_server.h"
#include "fresh_prefix.h"

namespace {

namespace enip = commserver::enip;

constexpr uint32_t kTimeoutMs = 1000;

// Three devices in a loopback block of their own, for the whole run.
struct Network {
  std::string block;  // "127.X.Y"
  std::vector<std::unique_ptr<commserver::EnipServer>> devices;
  Network() {
    std::random_device seed;
    block = "127." + std::to_string(16 + seed() % 200) + "." + std::to_string(seed() % 250);
    for (const char *host : {".10", ".100", ".200"}) {
      commserver::DeviceOptions options;
      commserver::ParseIdentity("1,14,15,13.1,12345,Kestrel L85", options.identity);
      devices.push_back(std::make_unique<commserver::EnipServer>(options, block + host, enip::kDefaultPort));
      devices.back()->Start();
    }
  }
  // 254 addresses of the block and 2 of the next one: 256, three answering.
  std::string Targets() const {
    size_t dot = block.rfind('.');
    std::string next = block.substr(0, dot + 1) + std::to_string(std::stoi(block.substr(dot + 1)) + 1);
    return block + ".0/24 " + next + ".0/31";
  }
};

Network &TheNetwork() {
  static Network g_network;
  return g_network;
}

void DTL_CALL Count(uintptr_t context, const DTL_IDENTITY *) { ++*reinterpret_cast<int *>(context); }

struct Library {
  Library() {
    UseFreshPrefix();
    DTL_INIT_BSW_EX(0, nullptr);
  }
  ~Library() { DTL_UNINIT(0); }
};

// One sweep per iteration; fails the benchmark if it does not find `want`.
// The mean duration as a share of the time-out goes to "of_timeout".
void Sweep(benchmark::State &state, const std::string &targets, int want, bool share) {
  static Library g_library;
  DTL_SCAN_ARGS args{};
  args.size = sizeof args;
  args.timeout_ms = kTimeoutMs;
  args.backplane = -1;
  args.targets = targets.c_str();
  double seconds = 0;
  for (auto _ : state) {
    int found = 0;
    auto start = std::chrono::steady_clock::now();
    long rc = DTL_ScanIdentities(&args, Count, reinterpret_cast<uintptr_t>(&found), nullptr);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (rc != DTL_SUCCESS || found != want) {
      state.SkipWithError(("sweep: error " + std::to_string(rc) + ", found " + std::to_string(found)).c_str());
      return;
    }
  }
  if (share) state.counters["of_timeout"] = seconds / static_cast<double>(state.iterations()) / (kTimeoutMs / 1000.0);
}

void BM_Sweep256Addresses(benchmark::State &state) { Sweep(state, TheNetwork().Targets(), 3, true); }
BENCHMARK(BM_Sweep256Addresses)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_LibraryRoundTrip(benchmark::State &state) { Sweep(state, TheNetwork().block + ".10", 1, false); }
BENCHMARK(BM_LibraryRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

// List Identity on a socket of our own: the floor under the library's.
void BM_RawRoundTrip(benchmark::State &state) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(enip::kDefaultPort);
  inet_pton(AF_INET, (TheNetwork().block + ".10").c_str(), &to.sin_addr);
  std::vector<uint8_t> request = enip::Build(enip::Command::kListIdentity, 0, {});
  uint8_t reply[1500];
  for (auto _ : state) {
    sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(kTimeoutMs)) != 1 || recv(fd, reply, sizeof reply, 0) <= 0) {
      state.SkipWithError("no reply");
      break;
    }
  }
  close(fd);
}
BENCHMARK(BM_RawRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
