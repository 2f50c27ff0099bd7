// The packet server against our own client library: simulated devices, the
// EtherNet/IP device simulator on loopback, replies and their statuses, the
// fall-back to attribute lists, bounded waits and the threads left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "comm_fixture.h"
#include "channel.h"
#include "context.h"
#include "enip_server.h"
#include "packet_server.h"
#include "scratch.h"

using namespace comm;
using comm::QxASAInternalObjectID;
using comm::QxASAPacketServer;
using comm::QxMsgHandle;

namespace {

struct Identity {
  std::vector<BYTE> image;  // the reply's data, as the front copies it
  WORD DeviceType() const { return static_cast<WORD>(image[2] | image[3] << 8); }
  WORD ProductCode() const { return static_cast<WORD>(image[4] | image[5] << 8); }
  BYTE Major() const { return image[6]; }
  std::string Name() const { return std::string(image.begin() + 15, image.begin() + 15 + image[14]); }
};

class PacketServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ConfigureDrivers(); }
  static void TearDownTestSuite() { RemoveConfiguration(); }
  void SetUp() override { SetOptions(""); }
  void TearDown() override {
    delete m_server;
    m_server = nullptr;
    m_context.reset();
    EXPECT_EQ(QxOnlineReferenceCount(), 0u);
  }
  void Start(DWORD testMode = 0) {
    m_context = std::make_unique<Context>(testMode);
    ASSERT_EQ(QxASAPacketServer::Create(&m_server), S_OK);
  }
  HRESULT UsePath(const std::string &rest) {
    std::string path = Computer() + "!" + rest;
    DWORD size = 0;
    BYTE data[512] = {};
    if (HRESULT hr = QxOnlineGetTargetSize(path.c_str(), &size)) return hr;
    if (HRESULT hr = QxOnlineGetTargetData(path.c_str(), data, sizeof data)) return hr;
    return m_server->SetTargetFromTargetData(data, size);
  }
  // Get_Attributes_All of Identity instance 1, copied as the front does.
  HRESULT ReadIdentity(Identity &out) {
    QxASAInternalObjectID id;
    id.SetClass(1);
    id.SetInstance(1);
    QxMsgHandle *handle = new QxMsgHandle;
    HRESULT hr = m_server->GetAttributesAll(handle, &id);
    if (SUCCEEDED(hr)) {
      out.image.assign(270, 0xFF);
      DWORD size = 270;
      hr = m_server->CopyReplyData(handle, out.image.data(), &size);
      out.image.resize(size);
    }
    handle->Release();
    return hr;
  }
  void ExpectKestrel(const Identity &id) {
    ASSERT_GE(id.image.size(), 15u);
    EXPECT_EQ(id.DeviceType(), 14);
    EXPECT_EQ(id.ProductCode(), 15);
    EXPECT_EQ(id.Major(), 13);
    EXPECT_EQ(id.Name(), "Kestrel L85");
    EXPECT_EQ(id.image.size(), 15u + 11u);
  }

  std::unique_ptr<Context> m_context;
  QxASAPacketServer *m_server = nullptr;
};

TEST_F(PacketServerTest, ReadsTheIdentityAlongTheDriverForm) {
  Start();
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  ASSERT_EQ(m_server->StartCommunicating(), S_OK);
  EXPECT_FALSE(m_server->DeviceInfo().empty()) << "the path check keeps the device's reply";
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_ALREADY_COMMUNICATING);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  m_server->StopCommunicating();
  EXPECT_TRUE(m_server->DeviceInfo().empty());
  EXPECT_NE(ReadIdentity(id), S_OK);
}

TEST_F(PacketServerTest, AConnectedChannelOpensCarriesAndCloses) {
  Start();
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  ASSERT_EQ(m_server->StartCommunicating(0, 0, true), S_OK);
  EXPECT_EQ(m_server->LargestRequest(), 500u - 2u) << "an open connection carries no route";
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  m_server->StopCommunicating();
  // The library forgot the connection: a second one opens afresh.
  ASSERT_EQ(m_server->StartCommunicating(0, 0, true), S_OK);
  ASSERT_EQ(ReadIdentity(id), S_OK);
}

TEST_F(PacketServerTest, ReadsTheIdentityAlongAPathString) {
  Start();
  ASSERT_EQ(UsePath("SIM-1\\2"), S_OK);
  EXPECT_EQ(+m_server->Target()->NetworkKind, static_cast<DWORD>(kQxNetWayfind));
  ASSERT_EQ(m_server->StartCommunicating(), S_OK);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
}

TEST_F(PacketServerTest, ReadsTheIdentityOverEtherNetIpOnLoopback) {
  commserver::DeviceOptions options;
  ASSERT_TRUE(commserver::ParseIdentity("1,14,15,13.1,12345,Kestrel L85", options.identity));
  commserver::EnipServer device(options, "127.0.0.1", 0);
  device.Start();
  std::string station = "127.0.0.1:" + std::to_string(device.Port());
  Start();
  ASSERT_EQ(UsePath("ENIP-1\\" + station), S_OK);
  ASSERT_EQ(m_server->StartCommunicating(), S_OK);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  m_server->StopCommunicating();

  // The driver form: the station as an extended link address in hexadecimal.
  const std::string hex = StationHex(station);
  ASSERT_EQ(m_server->SetTargetOtherNetwork("ENIP-1", hex.c_str()), S_OK) << hex;
  ASSERT_EQ(m_server->StartCommunicating(), S_OK);
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  device.Stop();
}

TEST_F(PacketServerTest, ReplyStatusesAndLengthsAreCheckedBeforeCopying) {
  Start();
  QxMsgHandle *handle = new QxMsgHandle;
  ASSERT_TRUE(handle->ReserveReply(514));
  auto reply = [handle](std::vector<BYTE> bytes) {
    std::memcpy(handle->Msg().ReplyBuf, bytes.data(), bytes.size());
    handle->Msg().ReplySize = static_cast<DWORD>(bytes.size());
  };
  BYTE out[270];
  DWORD size = sizeof out;
  EXPECT_EQ(m_server->CopyReplyData(handle, out, &size), comm::QxE_REPLY_NO_DATA) << "no reply yet";
  const struct {
    std::vector<BYTE> bytes;
    HRESULT hr;
    DWORD size;
  } cases[] = {
      {{0x81, 0, 0x00, 0, 1, 2, 3}, S_OK, 3},
      {{0x81, 0, 0x1E, 0, 1, 2}, S_OK, 2},           // embedded service error
      {{0x81, 0, 0x0A, 1, 0x34, 0x12, 9}, S_OK, 1},  // additional status skipped
      {{0x81, 0, 0x08, 0}, comm::QxE_CIP_ERROR_REPLY, 270},
      {{0x81, 0, 0x00}, comm::QxE_REPLY_NO_DATA, 270},           // shorter than its header
      {{0x81, 0, 0x00, 5, 1, 2}, comm::QxE_REPLY_NO_DATA, 270},  // lies about its additional status
  };
  for (const auto &c : cases) {
    reply(c.bytes);
    size = sizeof out;
    EXPECT_EQ(m_server->CopyReplyData(handle, out, &size), c.hr) << static_cast<int>(c.bytes[2]);
    EXPECT_EQ(size, c.size) << static_cast<int>(c.bytes[2]);
  }
  std::vector<BYTE> big(304, 0x55);
  big[0] = 0x81, big[1] = 0, big[2] = 0, big[3] = 0;
  reply(big);
  size = 270;
  EXPECT_EQ(m_server->CopyReplyData(handle, out, &size), comm::QxE_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 300u);
  handle->Release();
}

TEST_F(PacketServerTest, TestModeTwoAnswersAtOnceWithAnEmptyGoodReply) {
  Start(2);
  ASSERT_EQ(m_server->SetTargetOtherNetwork("NO-SUCH-DRIVER", "01 00"), S_OK);
  ASSERT_EQ(m_server->StartCommunicating(), S_OK);
  Identity id;
  EXPECT_EQ(ReadIdentity(id), S_OK);
  EXPECT_TRUE(id.image.empty());
}

TEST_F(PacketServerTest, ChannelsFollowNetworkKindAndProtocol) {
  Start(1);
  QxCommTarget *t = m_server->Target();
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  t->Protocol = kQxProtoPcccNoFrag;
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_NOT_SUPPORTED) << "kind 4";
  EXPECT_FALSE(m_server->Communicating());
  ASSERT_EQ(m_server->SetTargetProtocol("CNET", "SIM-1"), S_OK);
  EXPECT_EQ(m_server->StartCommunicating(), S_OK) << "kind 1";
  EXPECT_TRUE(m_server->Communicating());
  EXPECT_FALSE(m_server->HasChannel());
  m_server->StopCommunicating();
  t->NetworkKind = 6;
  t->Protocol = kQxProtoAsa;
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_NOT_SUPPORTED);
}

TEST_F(PacketServerTest, PcccChannelsOpenTheirDriverAndServeNoMessages) {
  Start();
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  m_server->Target()->Protocol = kQxProtoPccc;
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_NOT_SUPPORTED) << "the path check cannot be sent";
  ASSERT_EQ(m_server->SetTargetOtherNetwork("NO-SUCH", "02 02"), S_OK);
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_CHANNEL_OPEN_FAILED);
  m_server->Target()->Protocol = kQxProtoAsa;
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_DRIVER_OPEN_FAILED);
}

TEST_F(PacketServerTest, ADeviceWithoutGetAttributesAllIsReadAListAtATime) {
  Start();
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 06"), S_OK);
  ASSERT_EQ(m_server->StartCommunicating(), S_OK);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  // A smaller connection halves the list until it fits: 7, then 3 at a time.
  m_server->Target()->ConnectionSize = 300;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  // Halving stops at one attribute; the name alone does not fit here.
  m_server->Target()->ConnectionSize = 100;
  EXPECT_EQ(ReadIdentity(id), comm::QxE_TOO_MANY_ATTRIBUTES);
  // Too small for any request: no wrap-around, nothing sent.
  m_server->Target()->ConnectionSize = 10;
  EXPECT_EQ(m_server->LargestRequest(), 0u);
  EXPECT_EQ(ReadIdentity(id), comm::QxE_TOO_MANY_ATTRIBUTES);
}

TEST_F(PacketServerTest, DevicesThatRefuseOrNeverAnswerEndThePathCheckInBoundedTime) {
  Start();
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 05"), S_OK);
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_NO_DEVICE);
  EXPECT_FALSE(m_server->Communicating());
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 04"), S_OK);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_NO_DEVICE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 09"), S_OK);
  EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_NO_DEVICE) << "no such station";
}

#ifndef _WIN32
size_t ThreadCount() {
  size_t n = 0;
  for (auto &e : std::filesystem::directory_iterator("/proc/self/task")) n += e.exists();
  return n;
}

// A thread whose handle was waited for may take a moment more to leave the
// process's list: wait (boundedly) for the count to come down to at most n.
size_t SettledThreadCount(size_t n, int tries = 200) {
  for (int i = 0; i < tries && ThreadCount() > n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ThreadCount();
}

// The threads present before any context: ThreadSanitizer's runtime starts a
// thread of its own with the first one the process creates, so one thread is
// made and joined first.
size_t BaselineThreadCount() {
  std::thread([] {}).join();
  return SettledThreadCount(1);
}

// While a context's client interface is up, the client library runs one thread.
constexpr size_t kClientThreads = 1;

TEST_F(PacketServerTest, NoThreadOutlivesTheContext) {
  size_t before = BaselineThreadCount();
  // Rounds 0 and 1 with thread optimization (the default), round 2 without.
  for (int round = 0; round < 3; ++round) {
    if (round == 2) SetDword(kParameters, "ThreadOptimization", 0);
    Start();
    ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
    ASSERT_EQ(m_server->StartCommunicating(), S_OK);
    Identity id;
    EXPECT_EQ(ReadIdentity(id), S_OK);
    EXPECT_EQ(SettledThreadCount(before + kClientThreads), before + kClientThreads) << "round " << round;
    m_server->StopCommunicating();
    // A connected channel: its service thread, and with thread optimization
    // the worker that waits for its replies.
    ASSERT_EQ(m_server->StartCommunicating(0, 0, true), S_OK);
    size_t channelThreads = round == 2 ? 1 : 2;
    EXPECT_EQ(ReadIdentity(id), S_OK);
    EXPECT_EQ(SettledThreadCount(before + kClientThreads + channelThreads), before + kClientThreads + channelThreads)
        << "round " << round;
    m_server->StopCommunicating();
    EXPECT_EQ(SettledThreadCount(before + kClientThreads), before + kClientThreads) << "round " << round;
    // A silent station, unconnected and connected.
    ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 04"), S_OK);
    EXPECT_EQ(m_server->StartCommunicating(), comm::QxE_NO_DEVICE);
    EXPECT_EQ(m_server->StartCommunicating(0, 0, true), comm::QxE_NO_DEVICE);
    // An open connection left to the server's deletion.
    ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
    ASSERT_EQ(m_server->StartCommunicating(0, 0, true), S_OK);
    delete m_server;
    m_server = nullptr;
    m_context.reset();
    EXPECT_EQ(SettledThreadCount(before), before) << "round " << round;
  }
}

TEST_F(PacketServerTest, OurOwnWaitRunsOutFirstAndTheLateReplyTouchesNothingFreed) {
  ScratchDir dir;
  // Our wait: three times 100 ms; station 7's reply comes after 1.5 s.
  SetOptions("/TimeOut=100 \"/LogPath=" + dir.Path().string() + "\"");
  size_t before = BaselineThreadCount();
  for (bool connected : {false, true}) {
    Start();
    ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 07"), S_OK);
    uint32_t late = comm::LateReplies();
    EXPECT_EQ(m_server->StartCommunicating(0, 0, connected), comm::QxE_NO_DEVICE) << connected;
    // The request's worker, or the connection's threads, are joined at once,
    // long before the reply could wake them.
    EXPECT_EQ(SettledThreadCount(before + kClientThreads, 20), before + kClientThreads) << connected;
    EXPECT_EQ(comm::LateReplies(), late) << "the reply is not in yet";
    // The reply lands in the message alone, which the client library holds.
    for (int i = 0; i < 500 && comm::LateReplies() == late; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(comm::LateReplies(), late + 1) << connected;
    delete m_server;
    m_server = nullptr;
    m_context.reset();
    EXPECT_EQ(SettledThreadCount(before), before) << connected;
    std::string log = ReadAll(dir.Path() / "QxOnline.Log");
    EXPECT_NE(log.find("APPLICATION TIMED OUT WAITING FOR A REPLY on "), std::string::npos) << log;
    EXPECT_NE(log.find("HRESULT from QxWaitIfSync() is QxE_COMM_TIMEOUT"), std::string::npos) << log;
  }
}
#endif

TEST_F(PacketServerTest, ThePacketLogShowsEachRequestAndItsReply) {
  ScratchDir dir;
  SetOptions("\"/LogPath=" + dir.Path().string() + "\"");
  Start();
  ASSERT_EQ(m_server->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  ASSERT_EQ(m_server->StartCommunicating(), S_OK);
  delete m_server;
  m_server = nullptr;
  m_context.reset();
  std::string log = ReadAll(dir.Path() / "QxOnline.Log");
  EXPECT_NE(log.find("\nMessage transmitted: "), std::string::npos) << log;
  EXPECT_NE(log.find("  Thread ID 0x"), std::string::npos);
  EXPECT_NE(log.find("    01 02 20 01 24 01\n"), std::string::npos) << "the request bytes";
  EXPECT_NE(log.find("           received: "), std::string::npos);
  EXPECT_NE(log.find("    81 00 00 00 01 00 0E 00"), std::string::npos) << "the reply bytes";
  EXPECT_NE(log.find("HRESULT from QxWaitIfSync() is 0x00000000"), std::string::npos);
}

TEST(MessageHandle, CountsPendingRequestsAndNeverOverReleases) {
  QxMsgHandle *handle = new QxMsgHandle;
  EXPECT_EQ(+handle->Msg().PacketID, 0xDEAD);
  EXPECT_EQ(+handle->Msg().attribReplyType, 3u);
  handle->BeginRequest();
  EXPECT_EQ(handle->Pending(), 1);
  handle->EndRequest();
  handle->EndRequest();  // nothing pending: logged, nothing released
  EXPECT_EQ(handle->Pending(), 0);
  EXPECT_EQ(handle->AddRef(), 2u);
  EXPECT_EQ(handle->Release(), 1u);
  EXPECT_NE(handle->Dump().find("Dump of MsgHandle Structure:"), std::string::npos);
  handle->Release();
}

TEST(ObjectId, ElementsBecomeLogicalSegments) {
  QxASAInternalObjectID id;
  std::vector<BYTE> path;
  EXPECT_EQ(id.BuildPath(path), comm::QxE_NO_PATH);
  EXPECT_EQ(id.SetClass(0x1234), S_OK);
  EXPECT_EQ(id.SetInstance(1), S_OK);
  EXPECT_EQ(id.Add(QxASAInternalObjectID::kAttribute, 7), S_OK);
  EXPECT_EQ(id.SetInstance(70000), comm::QxE_OUT_OF_RANGE);
  EXPECT_EQ(id.Add(3, 1), comm::QxE_OUT_OF_RANGE);
  ASSERT_EQ(id.BuildPath(path), S_OK);
  EXPECT_EQ(path, (std::vector<BYTE>{0x21, 0x00, 0x34, 0x12, 0x24, 0x01, 0x30, 0x07}));
}

TEST(TimeOut, TriplingAndExtendingNeverWrap) {
  EXPECT_EQ(comm::TripleTimeOut(32000), 96000u);
  EXPECT_EQ(comm::TripleTimeOut(0x7FFFFFFF), INFINITE - 1);
  comm::QxCommTimeOut parent(1000), child(10, &parent);
  child.Extend(5);
  EXPECT_EQ(child.Value(), 15u);
  EXPECT_EQ(parent.Value(), 1005u);
  child.Extend(INFINITE);
  EXPECT_EQ(parent.Value(), INFINITE - 1);
}

}  // namespace
