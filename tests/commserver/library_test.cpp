// The client library through the component's loader: drivers configured in
// the registry, targets from path strings, identity reads from simulated
// devices and from the EtherNet/IP simulator over loopback.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "enip_server.h"
#include "library_fixture.h"

namespace {

using namespace commserver;

TEST_F(Library, ListsDriversIn64ByteEntriesWithTheVirtualBackplaneType) {
  static_assert(sizeof(DTL_DRIVER_INFO) == 64 && offsetof(DTL_DRIVER_INFO, name) == 28);
  EXPECT_EQ(comm::cvapi::DTL_INIT_BSW_EX(1, nullptr), DTL_E_ALREADY_INIT);  // counted
  EXPECT_EQ(comm::cvapi::DTL_UNINIT(0), 0);
  DTL_DRIVER_INFO list[DTL_MAX_DRIVERS];
  uint32_t count = comm::cvapi::DTL_MaxDrivers();
  ASSERT_EQ(comm::cvapi::DTL_DRIVER_LIST_EX(list, &count, 1000u), 0);
  ASSERT_EQ(count, 3u);  // the pigeon carrier is not a kind we know
  std::map<std::string, uint16_t> types;
  for (uint32_t i = 0; i < count; ++i) {
    const char *name = reinterpret_cast<const char *>(&list[i]) + 28;
    types[name] = list[i].network_type;
    EXPECT_EQ(comm::cvapi::DTL_GetHandleByDriverName(name), static_cast<long>(list[i].handle));
  }
  EXPECT_EQ(types["VBP-A"], DTL_NET_VIRTUAL_BACKPLANE);
  EXPECT_EQ(types["ENIP-1"], DTL_NET_ETHERNET_IP);
  EXPECT_EQ(comm::cvapi::DTL_GetHandleByDriverName("vbp-a"), comm::cvapi::DTL_GetHandleByDriverName("VBP-A"));
  EXPECT_EQ(comm::cvapi::DTL_GetHandleByDriverName("MK_NONE-1"), -1);

  uint32_t two = 2;
  EXPECT_EQ(comm::cvapi::DTL_DRIVER_LIST_EX(list, &two, 1000u), DTL_E_TOO_SMALL);
  EXPECT_EQ(two, 3u);
}

TEST_F(Library, TargetsCarryServerDriverAndTopPath) {
  std::string path = Computer() + "!SIM-1\\2\\Backplane\\3";
  long error = -1;
  DTL_TARGET *t = comm::cvapi::DTL_CreateTargetFromPathString(path.c_str(), &error, 1u);
  ASSERT_NE(t, nullptr) << error;
  uint32_t size = 0;
  ASSERT_EQ(comm::cvapi::DTL_GetTargetSize(t, &size), 0);
  // The stored form is the reported size plus 4, and a copy of it is a target too.
  Bytes copy(reinterpret_cast<uint8_t *>(t), reinterpret_cast<uint8_t *>(t) + size + 4);
  char text[64];
  EXPECT_EQ(comm::cvapi::DTL_GetTargetSrvrName(copy.data(), text, sizeof text), 0);
  EXPECT_STREQ(text, Computer().c_str());
  EXPECT_EQ(comm::cvapi::DTL_GetTargetDrvrName(copy.data(), text, sizeof text), 0);
  EXPECT_STREQ(text, "SIM-1");
  EXPECT_EQ(comm::cvapi::DTL_GetTargetTopPathString(copy.data(), text, sizeof text), 0);
  EXPECT_STREQ(text, "SIM-1\\2\\Backplane\\3");
  EXPECT_EQ(comm::cvapi::DTL_GetTargetTopPathString(t, text, 5), DTL_E_TOO_SMALL);
  uint16_t family = 0;
  EXPECT_EQ(comm::cvapi::DTL_GetTargetPlcFamily(t, &family), 0);
  EXPECT_EQ(family, 0);  // the bridge module has none configured
  comm::cvapi::DTL_DestroyTarget(t);

  EXPECT_EQ(comm::cvapi::DTL_CreateTargetFromPathString("ELSEWHERE!SIM-1\\2", &error, 1u), nullptr);
  EXPECT_EQ(error, DTL_E_NO_SERVER);
  EXPECT_EQ(comm::cvapi::DTL_CreateTargetFromPathString((Computer() + "!NONE-1\\2").c_str(), &error, 1u), nullptr);
  EXPECT_EQ(error, DTL_E_NO_DRIVER);
  EXPECT_EQ(comm::cvapi::DTL_CreateTargetFromPathString((Computer() + "!SIM-1\\2\\1").c_str(), &error, 1u), nullptr);
  EXPECT_EQ(error, DTL_E_BAD_PATH);
  Bytes junk(DTL_TARGET_MAX, 0x41);
  EXPECT_EQ(comm::cvapi::DTL_GetTargetSize(junk.data(), &size), DTL_E_BAD_TARGET);
}

TEST_F(Library, SimulatedDevicesAnswerDirectlyAndBehindTheirBackplane) {
  Done direct, routed, list, vbp;
  ASSERT_EQ(Read("SIM-1\\2", direct), 0);
  ASSERT_EQ(Read("SIM-1\\2\\Backplane\\3", routed), 0);
  ASSERT_EQ(Read("SIM-1\\2", list, 0x03, Bytes{2, 0, 3, 0, 4, 0}), 0);
  ASSERT_EQ(Read("VBP-A\\1", vbp), 0);
  for (Done *d : {&direct, &routed, &list, &vbp}) ASSERT_TRUE(d->Wait());
  auto a = Identity(direct);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->deviceType, 14);
  EXPECT_EQ(a->productCode, 15);
  EXPECT_EQ(a->major, 13);
  EXPECT_EQ(a->name, "Kestrel L85");
  auto b = Identity(routed);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->name, "Bridge Module");
  EXPECT_EQ(list.Reply(), (Bytes{0x83, 0, 0, 0, 2, 0, 3, 0, 0, 0, 15, 0, 4, 0, 0, 0, 13, 7}));
  EXPECT_EQ(Identity(vbp)->productCode, 92);

  uint16_t family = 0;
  long error;
  DTL_TARGET *t = comm::cvapi::DTL_CreateTargetFromPathString((Computer() + "!SIM-1\\2").c_str(), &error, 1u);
  EXPECT_EQ(comm::cvapi::DTL_GetTargetPlcFamily(t, &family), 0);
  EXPECT_EQ(family, 0x400);
  comm::cvapi::DTL_DestroyTarget(t);
}

TEST_F(Library, SimulatedFailuresArriveThroughTheCallback) {
  Done silent, refuser, absent, noslot, slow, small;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Read("SIM-1\\4", silent), 0);
  ASSERT_EQ(Read("SIM-1\\5", refuser), 0);
  ASSERT_EQ(Read("SIM-1\\9", absent), 0);
  ASSERT_EQ(Read("SIM-1\\2\\Backplane\\8", noslot), 0);
  ASSERT_EQ(Read("SIM-1\\6", slow), 0);
  for (Done *d : {&silent, &refuser, &absent, &noslot, &slow}) ASSERT_TRUE(d->Wait());
  EXPECT_EQ(silent.iostat, uint32_t{DTL_E_TIMEOUT});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));  // the driver's 300 ms, not 5 s
  EXPECT_EQ(refuser.iostat, 0u);
  EXPECT_EQ(refuser.Reply(), (Bytes{0x81, 0, 0x08, 0}));
  EXPECT_EQ(absent.iostat, uint32_t{DTL_E_NO_DEVICE});
  EXPECT_EQ(noslot.Reply(), (Bytes{0xD2, 0, 0x01, 1, 0x12, 0x03}));
  EXPECT_EQ(Identity(slow)->productCode, 9);

  // A reply larger than the caller's buffer is refused, not cut.
  long error;
  DTL_TARGET *t = comm::cvapi::DTL_CreateTargetFromPathString((Computer() + "!SIM-1\\2").c_str(), &error, 1u);
  DTL_DTSA dtsa;
  ASSERT_EQ(comm::cvapi::DTL_CreateDtsaFromTarget(t, &dtsa), 0);
  comm::cvapi::DTL_DestroyTarget(t);
  auto path = commserver::cip::EncodeLogicalPath(1, 1);
  small.reply[10] = 0xEE;
  ASSERT_EQ(comm::cvapi::DTL_ASA_MSG_CB(&dtsa, 0x01, path.data(), 4u, nullptr, 0u, small.reply, 10u, 0u,
                                        &Done::Callback, reinterpret_cast<uintptr_t>(&small)),
            0);
  ASSERT_TRUE(small.Wait());
  EXPECT_EQ(small.iostat, uint32_t{DTL_E_REPLY_TOO_LONG});
  EXPECT_GT(small.size, 10u);
  EXPECT_EQ(small.reply[10], 0xEE);
}

TEST_F(Library, ConnectedMessagesUseTheOpenedConnection) {
  struct Conn {
    std::mutex m;
    std::condition_variable cv;
    uint32_t state = 0, id = 0;
    static void DTL_CALL Callback(uintptr_t c, uint32_t state, uint32_t id, uint32_t) {
      auto *self = reinterpret_cast<Conn *>(c);
      std::lock_guard<std::mutex> g(self->m);
      self->state = state, self->id = id;
      self->cv.notify_all();
    }
    bool Wait(uint32_t want) {
      std::unique_lock<std::mutex> g(m);
      return cv.wait_for(g, std::chrono::seconds(5), [&] { return state == want; });
    }
  } conn;
  long error;
  DTL_TARGET *t = comm::cvapi::DTL_CreateTargetFromPathString((Computer() + "!SIM-1\\2").c_str(), &error, 1u);
  DTL_ASA_CONN_REQUEST request{};
  request.size = sizeof request;
  request.connection_size = 500;
  request.rpi_us = 8000000;
  ASSERT_EQ(comm::cvapi::DTL_CreateDtsaFromTarget(t, &request.destination), 0);
  comm::cvapi::DTL_DestroyTarget(t);
  ASSERT_EQ(comm::cvapi::DTL_ASA_OPEN(&request, &Conn::Callback, reinterpret_cast<uintptr_t>(&conn), 30000u), 0);
  ASSERT_TRUE(conn.Wait(DTL_CONN_OPENED));
  DTL_MSG_CONNECTED_HDR header{DTL_MSG_CONNECTED, 0, conn.id};
  Done done;
  auto path = commserver::cip::EncodeLogicalPath(1, 1);
  ASSERT_EQ(comm::cvapi::DTL_ASA_MSG_CB(&header, 0x01, path.data(), 4u, nullptr, 0u, done.reply, 600u, 0u,
                                        &Done::Callback, reinterpret_cast<uintptr_t>(&done)),
            0);
  ASSERT_TRUE(done.Wait());
  EXPECT_EQ(Identity(done)->name, "Kestrel L85");
  ASSERT_EQ(comm::cvapi::DTL_ASA_CLOSE(conn.id, &Conn::Callback, reinterpret_cast<uintptr_t>(&conn)), 0);
  ASSERT_TRUE(conn.Wait(DTL_CONN_CLOSED));
  EXPECT_EQ(comm::cvapi::DTL_ASA_MSG_CB(&header, 0x01, path.data(), 4u, nullptr, 0u, done.reply, 600u, 0u,
                                        &Done::Callback, reinterpret_cast<uintptr_t>(&done)),
            DTL_E_NO_CONNECTION);
}

TEST_F(Library, BadMessageArgumentsAreRefusedWithoutACallback) {
  Done done;
  auto path = commserver::cip::EncodeLogicalPath(1, 1);
  uintptr_t ctx = reinterpret_cast<uintptr_t>(&done);
  DTL_DTSA dtsa{};
  dtsa.type = 99;
  EXPECT_EQ(
      comm::cvapi::DTL_ASA_MSG_CB(&dtsa, 1, path.data(), 4u, nullptr, 0u, done.reply, 600u, 0u, &Done::Callback, ctx),
      DTL_E_BAD_HEADER);
  dtsa.type = DTL_MSG_UNCONNECTED;
  dtsa.route_size = DTL_ROUTE_MAX + 1;
  EXPECT_EQ(
      comm::cvapi::DTL_ASA_MSG_CB(&dtsa, 1, path.data(), 4u, nullptr, 0u, done.reply, 600u, 0u, &Done::Callback, ctx),
      DTL_E_ROUTE_TOO_LONG);
  dtsa.route_size = 2, dtsa.route[0] = 0x02, dtsa.route[1] = 2, dtsa.driver = 77;
  EXPECT_EQ(
      comm::cvapi::DTL_ASA_MSG_CB(&dtsa, 1, path.data(), 4u, nullptr, 0u, done.reply, 600u, 0u, &Done::Callback, ctx),
      DTL_E_NO_DRIVER);
  dtsa.driver = static_cast<uint32_t>(comm::cvapi::DTL_GetHandleByDriverName("SIM-1"));
  EXPECT_EQ(
      comm::cvapi::DTL_ASA_MSG_CB(&dtsa, 1, path.data(), 3u, nullptr, 0u, done.reply, 600u, 0u, &Done::Callback, ctx),
      DTL_E_BAD_ARG);
  // The driver form's route bytes "02 02": station 2 of SIM-1.
  EXPECT_EQ(
      comm::cvapi::DTL_ASA_MSG_CB(&dtsa, 1, path.data(), 4u, nullptr, 0u, done.reply, 600u, 0u, &Done::Callback, ctx),
      0);
  ASSERT_TRUE(done.Wait());
  EXPECT_EQ(done.calls, 1);
  EXPECT_EQ(Identity(done)->productCode, 15);
}

TEST_F(Library, LastUninitCompletesPendingRequestsWithClosing) {
  Done silent;
  ASSERT_EQ(Read("SIM-1\\4", silent), 0);
  ASSERT_EQ(comm::cvapi::DTL_UNINIT(0), 0);
  EXPECT_TRUE(silent.called);  // before DTL_UNINIT returned
  EXPECT_EQ(silent.iostat, uint32_t{DTL_E_CLOSING});
  EXPECT_EQ(Read("SIM-1\\4", silent), DTL_E_NOT_INIT);
  DTL_INIT_ARGS args{sizeof args, 0, kKey};
  ASSERT_EQ(comm::cvapi::DTL_INIT_BSW_EX(1, &args), 0);  // for TearDown
}

// ---- EtherNet/IP against the simulator on 127.0.0.1 ---------------------

class EtherNetIP : public Library {
 protected:
  static commserver::DeviceOptions Device() {
    commserver::DeviceOptions o;
    commserver::ParseIdentity("1,14,15,13.4,4660,Kestrel L85", o.identity);
    commserver::ParseIdentity("1,12,166,2.1,17,Bridge Module", o.slots[3]);
    return o;
  }
  static std::string Station(const commserver::EnipServer &s) {
    return "ENIP-1\\127.0.0.1:" + std::to_string(s.Port());
  }
  // Identifies the server's device through a library of its own and ends its
  // context, leaving the connection kept.
  static void IdentifyThrough(comm::cvapi::Loader &library, const std::string &top) {
    using comm::cvapi::Call;
    using comm::cvapi::Loader;
    DTL_INIT_ARGS args{sizeof args, 0, kKey};
    ASSERT_EQ(Call<decltype(&::DTL_INIT_BSW_EX)>(library, Loader::k_DTL_INIT_BSW_EX, 1u, &args), 0);
    long error = -1;
    DTL_TARGET *target = Call<decltype(&::DTL_CreateTargetFromPathString)>(
        library, Loader::k_DTL_CreateTargetFromPathString, (Computer() + "!" + top).c_str(), &error, 1u);
    ASSERT_NE(target, nullptr) << error;
    DTL_DTSA dtsa;
    long r = Call<decltype(&::DTL_CreateDtsaFromTarget)>(library, Loader::k_DTL_CreateDtsaFromTarget, target, &dtsa);
    Call<decltype(&::DTL_DestroyTarget)>(library, Loader::k_DTL_DestroyTarget, target);
    ASSERT_EQ(r, 0);
    auto path = cip::EncodeLogicalPath(1, 1);
    Done d;
    ASSERT_EQ(Call<decltype(&::DTL_ASA_MSG_CB)>(library, Loader::k_DTL_ASA_MSG_CB, &dtsa, uint8_t{1}, path.data(),
                                                static_cast<uint32_t>(path.size()), nullptr, 0u, d.reply,
                                                static_cast<uint32_t>(sizeof d.reply), 5000u, &Done::Callback,
                                                reinterpret_cast<uintptr_t>(&d)),
              0);
    ASSERT_TRUE(d.Wait());
    ASSERT_TRUE(Identity(d)) << d.iostat;
    ASSERT_EQ(Call<decltype(&::DTL_UNINIT)>(library, Loader::k_DTL_UNINIT, 0u), 0);
  }
};

TEST_F(EtherNetIP, ReadsIdentityDirectlyAndThroughUnconnectedSend) {
  commserver::EnipServer server(Device(), "127.0.0.1", 0);
  server.Start();
  Done direct, routed, noslot;
  ASSERT_EQ(Read(Station(server), direct), 0);
  ASSERT_EQ(Read(Station(server) + "\\Backplane\\3", routed), 0);
  ASSERT_EQ(Read(Station(server) + "\\Backplane\\9", noslot), 0);
  for (Done *d : {&direct, &routed, &noslot}) ASSERT_TRUE(d->Wait());
  auto a = Identity(direct);
  ASSERT_TRUE(a) << direct.iostat;
  EXPECT_EQ(a->deviceType, 14);
  EXPECT_EQ(a->productCode, 15);
  EXPECT_EQ(a->major, 13);
  EXPECT_EQ(a->serial, 4660u);
  auto b = Identity(routed);
  ASSERT_TRUE(b) << routed.iostat;
  EXPECT_EQ(b->name, "Bridge Module");
  EXPECT_EQ(noslot.Reply(), (Bytes{0xD2, 0, 0x01, 1, 0x12, 0x03}));
  // Requests in flight together may each have had a connection of their own.
  EXPECT_LE(server.Sessions(), 3);
}

TEST_F(EtherNetIP, RequestsInTurnShareASessionThatIsRenewedWhenTheDeviceEndsIt) {
  uint16_t port;
  std::string station;
  {
    commserver::EnipServer first(Device(), "127.0.0.1", 0);
    first.Start();
    port = first.Port();
    station = Station(first);
    for (const char *slot : {"", "\\Backplane\\3", ""}) {
      Done d;
      ASSERT_EQ(Read(station + slot, d), 0);
      ASSERT_TRUE(d.Wait());
      ASSERT_TRUE(Identity(d)) << d.iostat;
    }
    EXPECT_EQ(first.Sessions(), 1);
  }
  // The device restarts on the same port: its old session is gone, and the
  // next request must not fail for it.
  commserver::EnipServer second(Device(), "127.0.0.1", port);
  second.Start();
  Done d;
  ASSERT_EQ(Read(station, d), 0);
  ASSERT_TRUE(d.Wait());
  auto id = Identity(d);
  ASSERT_TRUE(id) << d.iostat;
  EXPECT_EQ(id->productCode, 15);
  EXPECT_EQ(second.Sessions(), 1);
}

// A program that starts and ends a context per conversation pays for the
// connection and session once; unused, they end politely, context or not.
TEST_F(EtherNetIP, AKeptSessionServesTheNextContextsAndEndsWhenUnused) {
  commserver::EnipServer server(Device(), "127.0.0.1", 0);
  server.Start();
  const std::string station = Station(server);
  for (int context = 0; context < 3; ++context) {
    Done d;
    ASSERT_EQ(Read(station, d), 0);
    ASSERT_TRUE(d.Wait());
    ASSERT_TRUE(Identity(d)) << "context " << context << ": " << d.iostat;
    NextContext();
  }
  EXPECT_EQ(server.Sessions(), 1);
  EXPECT_EQ(server.Unregistered(), 0);
  ASSERT_EQ(comm::cvapi::DTL_UNINIT(0), 0);
  // The driver's IdleTime is a second.
  for (int i = 0; i < 500 && server.Unregistered() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(server.Unregistered(), 1);
  // The worker ended with it; a new context starts another.
  DTL_INIT_ARGS args{sizeof args, 0, kKey};
  ASSERT_EQ(comm::cvapi::DTL_INIT_BSW_EX(1, &args), 0);
  Done again;
  ASSERT_EQ(Read(station, again), 0);
  ASSERT_TRUE(again.Wait());
  ASSERT_TRUE(Identity(again)) << again.iostat;
  EXPECT_EQ(server.Sessions(), 2);
}

// A process may end within the idle time, its worker keeping a connection:
// it ends at once, and cleanly (here the worker is joined at exit; on
// Windows it holds the library until the process ends it).
TEST_F(EtherNetIP, AProcessEndsCleanlyWhileAConnectionIsKept) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        commserver::EnipServer server(Device(), "127.0.0.1", 0);
        server.Start();
        Done d;
        bool read = Read(Station(server), d) == 0 && d.Wait() && Identity(d);
        bool ended = comm::cvapi::DTL_UNINIT(0) == 0;
        server.Stop();
        std::exit(read && ended ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The worker kept for an idle connection never outlives the library: let go
// by its user, the library ends the session when it has been idle its time;
// on Windows it is unloaded only then, as the worker ends.
TEST_F(EtherNetIP, ALibraryLetGoEndsItsKeptSessionAndItsWorker) {
  commserver::EnipServer server(Device(), "127.0.0.1", 0);
  server.Start();
  char program[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  std::string copy(program, n);
  // Beside the program's folder, a copy of the library under another name.
  copy = copy.substr(0, copy.find_last_of("\\/") + 1) + "commserver\\" PARTIAL_CVAPI;
#if !defined(_WIN32)
  // Here the library stays loaded: its state, left to callbacks that may run
  // at the process's exit, would be a leak once unloaded. Its unload at the
  // exit is the exit test's.
  ASSERT_NE(LoadLibraryA(copy.c_str()), nullptr);
#endif
  {
    comm::cvapi::Loader library(copy.c_str());
    IdentifyThrough(library, Station(server));
  }
  // Its IdleTime is a second.
  for (int i = 0; i < 500 && server.Unregistered() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(server.Unregistered(), 1);
#if defined(_WIN32)
  for (int i = 0; i < 500 && GetModuleHandleA(copy.c_str()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(GetModuleHandleA(copy.c_str()), nullptr) << "the worker's hold on the library was not given back";
#endif
}

TEST_F(EtherNetIP, RequestsInFlightTogetherUseAConnectionEachAndKeepBoth) {
  auto slow = Device();
  slow.delayMs = 100;
  commserver::EnipServer server(slow, "127.0.0.1", 0);
  server.Start();
  for (int round = 0; round < 2; ++round) {
    Done a, b;
    ASSERT_EQ(Read(Station(server), a), 0);
    ASSERT_EQ(Read(Station(server), b), 0);
    for (Done *d : {&a, &b}) {
      ASSERT_TRUE(d->Wait());
      ASSERT_TRUE(Identity(*d)) << "round " << round << ": " << d->iostat;
    }
    EXPECT_EQ(server.Sessions(), 2) << "round " << round;
    NextContext();
  }
}

TEST_F(EtherNetIP, FailuresOfTheDeviceArriveWithClearStatuses) {
  auto silentOptions = Device(), errorOptions = Device(), closerOptions = Device();
  silentOptions.silent = true;
  errorOptions.cipError = 0x01, errorOptions.cipExt = 0x0318;
  closerOptions.closeMidReply = true;
  commserver::EnipServer silent(silentOptions, "127.0.0.1", 0), error(errorOptions, "127.0.0.1", 0),
      closer(closerOptions, "127.0.0.1", 0);
  // An absent device: a port that was free a moment ago.
  std::string absent;
  {
    commserver::EnipServer gone(Device(), "127.0.0.1", 0);
    absent = Station(gone);
  }
  for (auto *s : {&silent, &error, &closer}) s->Start();
  Done dSilent, dError, dCloser, dAbsent;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Read(Station(silent), dSilent), 0);
  ASSERT_EQ(Read(Station(error), dError), 0);
  ASSERT_EQ(Read(Station(closer), dCloser), 0);
  ASSERT_EQ(Read(absent, dAbsent), 0);
  for (Done *d : {&dSilent, &dError, &dCloser, &dAbsent}) ASSERT_TRUE(d->Wait());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));  // the driver's 500 ms
  EXPECT_EQ(dSilent.iostat, uint32_t{DTL_E_TIMEOUT});
  EXPECT_EQ(dError.iostat, 0u);
  EXPECT_EQ(dError.Reply(), (Bytes{0x81, 0, 0x01, 1, 0x18, 0x03}));
  EXPECT_EQ(dCloser.iostat, uint32_t{DTL_E_CONNECTION_LOST});
  EXPECT_EQ(dAbsent.iostat, uint32_t{DTL_E_NO_DEVICE});
  for (Done *d : {&dSilent, &dError, &dCloser, &dAbsent}) EXPECT_EQ(d->calls, 1);
}

}  // namespace
