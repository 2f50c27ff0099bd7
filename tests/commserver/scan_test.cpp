// DTL_ScanIdentities through the component's loader: sweeps over loopback
// against UDP devices that answer by the book or break it, backplanes served
// by the EtherNet/IP simulator, the simulated drivers' stations, and the
// library stopping under a sweep. Each test sweeps a random block of
// 127.0.0.0/8 at a free port, so that tests may run side by side.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "enip_server.h"
#include "hostile_device.h"
#include "library_fixture.h"
#include "udp_responder.h"

namespace {

using namespace commserver;
using support::UdpFault;
using support::UdpOptions;
using support::UdpResponder;
using Clock = std::chrono::steady_clock;

// The identities a sweep reported, in order. Calls come one at a time on the
// library's worker, all before the sweep returns.
struct Found {
  std::vector<DTL_IDENTITY> ids;
  long nested = -1;  // what a sweep started inside the callback returned
  bool nest = false;

  static void DTL_CALL Callback(uintptr_t context, const DTL_IDENTITY *id) {
    auto *self = reinterpret_cast<Found *>(context);
    self->ids.push_back(*id);
    if (self->nest) {
      DTL_SCAN_ARGS args{};
      args.size = sizeof args;
      args.driver = "SIM-1";
      self->nested = comm::cvapi::DTL_ScanIdentities(&args, &Found::Callback, context, nullptr);
    }
  }
  const DTL_IDENTITY *Find(const std::string &address, uint16_t slot = DTL_SLOT_NONE) const {
    for (const auto &id : ids)
      if (address == id.address && id.slot == slot) return &id;
    return nullptr;
  }
};

// "127.X.Y." with X and Y random: the block's addresses are this and a number.
std::string RandomBlock() {
  std::random_device seed;
  std::mt19937 random(seed());
  return "127." + std::to_string(1 + random() % 254) + "." + std::to_string(random() % 256) + ".";
}

class Discovery : public Library {
 protected:
  // targets stays the caller's.
  static DTL_SCAN_ARGS Args(const std::string &targets, uint16_t port, uint32_t timeoutMs) {
    DTL_SCAN_ARGS args{};
    args.size = sizeof args;
    args.timeout_ms = timeoutMs;
    args.port = port;
    args.backplane = -1;
    args.targets = targets.c_str();
    return args;
  }
  static long Sweep(const DTL_SCAN_ARGS &args, Found &found, DTL_SCAN_STATS &stats) {
    stats = {};
    stats.size = sizeof stats;
    return comm::cvapi::DTL_ScanIdentities(&args, &Found::Callback, reinterpret_cast<uintptr_t>(&found), &stats);
  }
  // Responders at block + host for each fault, sharing the first one's free port.
  static std::vector<std::unique_ptr<UdpResponder>> Devices(const std::string &block,
                                                            const std::vector<std::pair<int, UdpOptions>> &plan) {
    std::vector<std::unique_ptr<UdpResponder>> out;
    uint16_t port = 0;
    for (auto [host, o] : plan) {
      o.address = block + std::to_string(host);
      o.port = port;
      if (o.productCode == 15) o.productCode = static_cast<uint16_t>(100 + host);
      out.push_back(std::make_unique<UdpResponder>(o));
      port = out.back()->Port();
    }
    return out;
  }
  static UdpOptions Fault(UdpFault f) {
    UdpOptions o;
    o.fault = f;
    return o;
  }
};

// Each device at a silent network's side, one sweep apiece: what it answers
// is reported or counted, and the silence (and the port-unreachable errors it
// brings on Windows) costs one time-out and nothing else.
TEST_F(Discovery, EachBrokenAnswerIsCountedAndSilentAddressesCostOneTimeOut) {
  const struct {
    UdpFault fault;
    uint32_t replies, malformed, wrongSource, duplicates;
  } cases[] = {
      {UdpFault::kNone, 1, 0, 0, 0},      {UdpFault::kTwice, 1, 0, 0, 1},       {UdpFault::kOtherPort, 0, 0, 1, 0},
      {UdpFault::kTruncated, 0, 1, 0, 0}, {UdpFault::kEncapStatus, 0, 1, 0, 0}, {UdpFault::kWrongContext, 0, 1, 0, 0},
  };
  std::string silent = RandomBlock() + "0/29";
  for (const auto &c : cases) {
    UdpResponder device(Fault(c.fault));
    std::string targets = "127.0.0.1 " + silent;
    Found found;
    DTL_SCAN_STATS stats;
    auto start = Clock::now();
    ASSERT_EQ(Sweep(Args(targets, device.Port(), 200), found, stats), 0);
    auto elapsed = Clock::now() - start;
    int fault = static_cast<int>(c.fault);
    EXPECT_EQ(stats.requests, 7u) << fault;
    EXPECT_EQ(found.ids.size(), c.replies) << fault;
    EXPECT_EQ(stats.replies, c.replies) << fault;
    EXPECT_EQ(stats.malformed, c.malformed) << fault;
    EXPECT_EQ(stats.wrong_source, c.wrongSource) << fault;
    EXPECT_EQ(stats.duplicates, c.duplicates) << fault;
    EXPECT_GE(elapsed, std::chrono::milliseconds(200)) << fault;
    EXPECT_LT(elapsed, std::chrono::milliseconds(600)) << fault;
  }
}

// Wine binds a UDP socket meant for a loopback address other than 127.0.0.1
// to every address, so devices cannot share a port at several addresses there.
#if !defined(_WIN32)
std::string Dotted(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 0xFF) + "." + std::to_string(a >> 8 & 0xFF) + "." +
         std::to_string(a & 0xFF);
}

TEST_F(Discovery, ReportsTheGoodDevicesOfANetworkAndCountsWhatItDrops) {
  std::string block = RandomBlock();
  UdpOptions other = Fault(UdpFault::kOtherAddress);
  other.otherAddress = block + "15";  // the /28's broadcast address: never swept
  UdpOptions second;
  second.state = 5, second.name = "Second", second.serial = 77;
  // .3 has no device at all: its port is unreachable.
  auto devices = Devices(block, {{1, {}},
                                 {2, second},
                                 {4, Fault(UdpFault::kTwice)},
                                 {5, Fault(UdpFault::kOtherPort)},
                                 {6, other},
                                 {7, Fault(UdpFault::kTruncated)},
                                 {8, Fault(UdpFault::kWrongContext)}});
  uint16_t port = devices.front()->Port();
  Found found;
  DTL_SCAN_STATS stats;
  auto start = Clock::now();
  std::string network = block + "0/28";
  ASSERT_EQ(Sweep(Args(network, port, 400), found, stats), 0);
  auto elapsed = Clock::now() - start;

  ASSERT_EQ(found.ids.size(), 3u);
  for (int host : {1, 2, 4}) EXPECT_TRUE(found.Find(block + std::to_string(host))) << host;
  const DTL_IDENTITY *id = found.Find(block + "2");
  ASSERT_TRUE(id);
  EXPECT_EQ(id->size, sizeof(DTL_IDENTITY));
  EXPECT_EQ(id->product_code, 102);
  EXPECT_EQ(id->device_type, 14);
  EXPECT_EQ(id->major_revision, 13);
  EXPECT_EQ(id->minor_revision, 2);
  EXPECT_EQ(id->status, 0x3060);
  EXPECT_EQ(id->serial_number, 77u);
  EXPECT_EQ(id->state, 5);
  EXPECT_STREQ(id->product_name, "Second");
  EXPECT_EQ(Dotted(id->reported_ipv4), block + "2");

  EXPECT_EQ(stats.requests, 14u);
  EXPECT_EQ(stats.replies, 3u);
  EXPECT_EQ(stats.duplicates, 1u);
  EXPECT_EQ(stats.wrong_source, 2u);
  EXPECT_EQ(stats.malformed, 2u);
  EXPECT_EQ(stats.modules, 0u);
  // Every request in flight at once: one time-out for the lot, not one each.
  EXPECT_GE(elapsed, std::chrono::milliseconds(400));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1200));
  EXPECT_GE(stats.elapsed_ms, 400u);
  for (const auto &d : devices) EXPECT_EQ(d->Requests(), 1);
}

TEST_F(Discovery, EndsAsSoonAsEveryAddressHasAnsweredAndKeepsItsPace) {
  std::string block = RandomBlock();
  std::vector<std::pair<int, UdpOptions>> plan;
  for (int host = 1; host <= 6; ++host) plan.push_back({host, {}});
  auto devices = Devices(block, plan);
  Found found;
  DTL_SCAN_STATS stats;
  auto start = Clock::now();
  // Twice over: the same address named again and inside the network counts once.
  std::string twice = block + "0/29, " + block + "3", network = block + "0/29";
  ASSERT_EQ(Sweep(Args(twice, devices.front()->Port(), 10000), found, stats), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(found.ids.size(), 6u);
  EXPECT_EQ(stats.requests, 6u);
  EXPECT_EQ(stats.replies, 6u);

  // Ten requests a second: the sixth leaves half a second after the first.
  DTL_SCAN_ARGS slow = Args(network, devices.front()->Port(), 10000);
  slow.rate = 10;
  found.ids.clear();
  start = Clock::now();
  ASSERT_EQ(Sweep(slow, found, stats), 0);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(found.ids.size(), 6u);
}

#endif

TEST_F(Discovery, ReadsTheBackplaneOfEachDeviceAndPassesOverEmptySlots) {
  // Modules in slots 1 and 3 behind a device that answers List Identity
  // and the reads on one port, which the simulator picks free for both
  // protocols; a second device answers at another port and takes no
  // connection.
  DeviceOptions rack;
  ASSERT_TRUE(ParseIdentity("1,14,15,13.2,99,Kestrel L85", rack.identity));
  ASSERT_TRUE(ParseIdentity("1,12,166,2.1,17,Bridge", rack.slots[1]));
  ASSERT_TRUE(ParseIdentity("1,7,8,3.4,18,Input Card", rack.slots[3]));
  EnipServer server(rack, "127.0.0.1", 0);
  server.Start();
  uint16_t port = server.Port();
  std::string host = "127.0.0.1";
  DTL_SCAN_ARGS args = Args(host, port, 2000);
  args.backplane = 4;
  Found found;
  DTL_SCAN_STATS stats;
  ASSERT_EQ(Sweep(args, found, stats), 0);
  EXPECT_EQ(stats.replies, 1u);
  EXPECT_EQ(stats.modules, 2u);
  ASSERT_EQ(found.ids.size(), 3u);
  const DTL_IDENTITY *bridge = found.Find(host, 1);
  const DTL_IDENTITY *card = found.Find(host, 3);
  ASSERT_TRUE(bridge && card);
  EXPECT_STREQ(bridge->product_name, "Bridge");
  EXPECT_EQ(card->product_code, 8);
  EXPECT_EQ(card->serial_number, 18u);
  EXPECT_EQ(card->state, 0xFF);
  EXPECT_EQ(card->reported_ipv4, 0u);
  EXPECT_TRUE(found.Find(host));

  // A device without a backplane server: every slot is refused at once.
  UdpResponder lone(UdpOptions{});
  args = Args(host, lone.Port(), 2000);
  args.backplane = 4;
  found.ids.clear();
  ASSERT_EQ(Sweep(args, found, stats), 0);
  EXPECT_EQ(found.ids.size(), 1u);
  EXPECT_EQ(stats.modules, 0u);
}

TEST_F(Discovery, SweepsTheStationsOfASimulatedDriverAndTheirSlots) {
  DTL_SCAN_ARGS args{};
  args.size = sizeof args;
  args.driver = "SIM-1";
  args.backplane = 5;
  Found found;
  found.nest = true;
  DTL_SCAN_STATS stats;
  ASSERT_EQ(Sweep(args, found, stats), 0);
  // Station 4 is silent and 5 answers with an error; 2 and 6 answer, and
  // only 2 has a module (in slot 3).
  ASSERT_EQ(found.ids.size(), 3u);
  const DTL_IDENTITY *two = found.Find("2");
  ASSERT_TRUE(two);
  EXPECT_STREQ(two->product_name, "Kestrel L85");
  EXPECT_EQ(two->state, 0xFF);
  EXPECT_TRUE(found.Find("6"));
  ASSERT_TRUE(found.Find("2", 3));
  EXPECT_STREQ(found.Find("2", 3)->product_name, "Bridge Module");
  EXPECT_EQ(stats.replies, 2u);
  EXPECT_EQ(stats.modules, 1u);
  EXPECT_EQ(stats.requests, 0u);
  // A sweep from the worker's own callback would wait for itself.
  EXPECT_EQ(found.nested, DTL_E_BAD_ARG);
}

TEST_F(Discovery, RefusesBadArgumentsBeforeSendingAnything) {
  Found found;
  DTL_SCAN_STATS stats{};
  auto sweep = [&](DTL_SCAN_ARGS a) { return Sweep(a, found, stats); };
  const std::string host = "127.0.0.1";
  DTL_SCAN_ARGS good = Args(host, 1, 100);
  EXPECT_EQ(comm::cvapi::DTL_ScanIdentities(nullptr, &Found::Callback, 0u, nullptr), DTL_E_BAD_ARG);
  EXPECT_EQ(comm::cvapi::DTL_ScanIdentities(&good, nullptr, 0u, nullptr), DTL_E_BAD_ARG);
  DTL_SCAN_STATS small{};
  small.size = 8;
  EXPECT_EQ(comm::cvapi::DTL_ScanIdentities(&good, &Found::Callback, 0u, &small), DTL_E_BAD_ARG);
  DTL_SCAN_ARGS a = good;
  a.size = sizeof a - 8;
  EXPECT_EQ(sweep(a), DTL_E_BAD_ARG);
  a = good, a.reserved = 1;
  EXPECT_EQ(sweep(a), DTL_E_BAD_ARG);
  a = good, a.backplane = 256;
  EXPECT_EQ(sweep(a), DTL_E_BAD_ARG);
  for (const char *bad : {"127.0.0.010", "127.0.0.1/33", "127.0.0", "127.0.0.1;127.0.0.2", "127.0.0.0/21"}) {
    a = good, a.targets = bad;
    EXPECT_EQ(sweep(a), DTL_E_BAD_ARG) << bad;  // the last: 2046 addresses
  }
  a = good, a.targets = "127.0.0.1 127.0.0.1/32, 127.0.0.1";  // one address, three times
  a.max_addresses = 1;
  EXPECT_EQ(sweep(a), 0);
  EXPECT_EQ(stats.requests, 1u);
  a = good, a.targets = " ";
  EXPECT_EQ(sweep(a), DTL_E_BAD_ARG);  // nothing to sweep
  a = good, a.broadcast_interface = "no-such-interface9";
  EXPECT_EQ(sweep(a), DTL_E_BAD_ARG);
  a = good, a.driver = "NONE-1";
  EXPECT_EQ(sweep(a), DTL_E_NO_DRIVER);
  a = good, a.driver = "SIM-1";
  EXPECT_EQ(sweep(a), DTL_E_NOT_SUPPORTED);
  a = good, a.targets = nullptr, a.driver = "ENIP-1";
  EXPECT_EQ(sweep(a), DTL_E_BAD_ARG);
  EXPECT_TRUE(found.ids.empty());
  ASSERT_EQ(comm::cvapi::DTL_UNINIT(0), 0);
  EXPECT_EQ(sweep(good), DTL_E_NOT_INIT);
  DTL_INIT_ARGS init{sizeof init, 0, kKey};
  ASSERT_EQ(comm::cvapi::DTL_INIT_BSW_EX(1, &init), 0);  // for TearDown
}

#if !defined(_WIN32)
// Broadcasts on the loopback interface go to 127.255.255.255, which has no
// address of its own: a device listening on every address hears it.
TEST_F(Discovery, BroadcastsOnTheLoopbackInterface) {
  UdpOptions o;
  o.anyAddress = true;
  UdpResponder device(o);
  DTL_SCAN_ARGS args = Args(std::string(), device.Port(), 300);
  args.targets = nullptr;
  args.broadcast_interface = "lo";
  Found found;
  DTL_SCAN_STATS stats;
  ASSERT_EQ(Sweep(args, found, stats), 0);
  EXPECT_EQ(device.Requests(), 1);
  EXPECT_EQ(stats.requests, 1u);
  ASSERT_EQ(found.ids.size(), 1u);
  EXPECT_STREQ(found.ids[0].address, "127.0.0.1");
  EXPECT_EQ(stats.replies, 1u);
}
#endif

TEST_F(Discovery, TheLastUninitEndsASweepAndItsBackplaneReadsAtOnce) {
  // A silent network with a long time-out, and a device whose backplane never
  // answers: each sweep would take half a minute.
  std::string block = RandomBlock();
  support::Device rack(support::Options(support::Fault::kSilent));
  UdpOptions o;
  o.port = rack.Port();
  UdpResponder device(o);
  for (bool backplane : {false, true}) {
    std::string targets = backplane ? "127.0.0.1" : block + "0/29";
    DTL_SCAN_ARGS args = Args(targets, rack.Port(), 30000);
    args.backplane = backplane ? 2 : -1;
    std::thread stopper([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      comm::cvapi::DTL_UNINIT(0);
    });
    Found found;
    DTL_SCAN_STATS stats;
    auto start = Clock::now();
    EXPECT_EQ(Sweep(args, found, stats), DTL_E_CLOSING) << backplane;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << backplane;
    stopper.join();
    EXPECT_EQ(found.ids.size(), backplane ? 1u : 0u);
    DTL_INIT_ARGS init{sizeof init, 0, kKey};
    ASSERT_EQ(comm::cvapi::DTL_INIT_BSW_EX(1, &init), 0);
  }
}

}  // namespace
