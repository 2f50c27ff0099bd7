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

using namespace commtest;
using qx::QxASAInternalObjectID;
using qx::QxASAPacketServer;
using qx::QxMsgHandle;

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
    delete server_;
    server_ = nullptr;
    context_.reset();
    EXPECT_EQ(QxOnlineReferenceCount(), 0u);
  }
  void Start(DWORD testMode = 0) {
    context_ = std::make_unique<Context>(testMode);
    ASSERT_EQ(QxASAPacketServer::Create(&server_), S_OK);
  }
  HRESULT UsePath(const std::string &rest) {
    std::string path = Computer() + "!" + rest;
    DWORD size = 0;
    BYTE data[512] = {};
    if (HRESULT hr = QxOnlineGetTargetSize(path.c_str(), &size)) return hr;
    if (HRESULT hr = QxOnlineGetTargetData(path.c_str(), data, sizeof data)) return hr;
    return server_->SetTargetFromTargetData(data, size);
  }
  // Get_Attributes_All of Identity instance 1, copied as the front does.
  HRESULT ReadIdentity(Identity &out) {
    QxASAInternalObjectID id;
    id.SetClass(1);
    id.SetInstance(1);
    QxMsgHandle *handle = new QxMsgHandle;
    HRESULT hr = server_->GetAttributesAll(handle, &id);
    if (SUCCEEDED(hr)) {
      out.image.assign(270, 0xFF);
      DWORD size = 270;
      hr = server_->CopyReplyData(handle, out.image.data(), &size);
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

  std::unique_ptr<Context> context_;
  QxASAPacketServer *server_ = nullptr;
};

TEST_F(PacketServerTest, ReadsTheIdentityAlongTheDriverForm) {
  Start();
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  ASSERT_EQ(server_->StartCommunicating(), S_OK);
  EXPECT_FALSE(server_->DeviceInfo().empty()) << "the path check keeps the device's reply";
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_ALREADY_COMMUNICATING);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  server_->StopCommunicating();
  EXPECT_TRUE(server_->DeviceInfo().empty());
  EXPECT_NE(ReadIdentity(id), S_OK);
}

TEST_F(PacketServerTest, AConnectedChannelOpensCarriesAndCloses) {
  Start();
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  ASSERT_EQ(server_->StartCommunicating(0, 0, true), S_OK);
  EXPECT_EQ(server_->LargestRequest(), 500u - 2u) << "an open connection carries no route";
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  server_->StopCommunicating();
  // The library forgot the connection: a second one opens afresh.
  ASSERT_EQ(server_->StartCommunicating(0, 0, true), S_OK);
  ASSERT_EQ(ReadIdentity(id), S_OK);
}

TEST_F(PacketServerTest, ReadsTheIdentityAlongAPathString) {
  Start();
  ASSERT_EQ(UsePath("SIM-1\\2"), S_OK);
  EXPECT_EQ(+server_->Target()->NetworkKind, static_cast<DWORD>(QxNetWAYFIND));
  ASSERT_EQ(server_->StartCommunicating(), S_OK);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
}

TEST_F(PacketServerTest, ReadsTheIdentityOverEtherNetIpOnLoopback) {
  cvsrv::DeviceOptions options;
  ASSERT_TRUE(cvsrv::ParseIdentity("1,14,15,13.1,12345,Kestrel L85", options.identity));
  cvsrv::EnipServer device(options, "127.0.0.1", 0);
  device.Start();
  std::string station = "127.0.0.1:" + std::to_string(device.port());
  Start();
  ASSERT_EQ(UsePath("ENIP-1\\" + station), S_OK);
  ASSERT_EQ(server_->StartCommunicating(), S_OK);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  server_->StopCommunicating();

  // The driver form: the station as an extended link address in hexadecimal.
  const std::string hex = StationHex(station);
  ASSERT_EQ(server_->SetTargetOtherNetwork("ENIP-1", hex.c_str()), S_OK) << hex;
  ASSERT_EQ(server_->StartCommunicating(), S_OK);
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
  EXPECT_EQ(server_->CopyReplyData(handle, out, &size), qx::QxE_REPLY_NO_DATA) << "no reply yet";
  const struct {
    std::vector<BYTE> bytes;
    HRESULT hr;
    DWORD size;
  } cases[] = {
      {{0x81, 0, 0x00, 0, 1, 2, 3}, S_OK, 3},
      {{0x81, 0, 0x1E, 0, 1, 2}, S_OK, 2},              // embedded service error
      {{0x81, 0, 0x0A, 1, 0x34, 0x12, 9}, S_OK, 1},     // additional status skipped
      {{0x81, 0, 0x08, 0}, qx::QxE_CIP_ERROR_REPLY, 270},
      {{0x81, 0, 0x00}, qx::QxE_REPLY_NO_DATA, 270},    // shorter than its header
      {{0x81, 0, 0x00, 5, 1, 2}, qx::QxE_REPLY_NO_DATA, 270},  // lies about its additional status
  };
  for (const auto &c : cases) {
    reply(c.bytes);
    size = sizeof out;
    EXPECT_EQ(server_->CopyReplyData(handle, out, &size), c.hr) << static_cast<int>(c.bytes[2]);
    EXPECT_EQ(size, c.size) << static_cast<int>(c.bytes[2]);
  }
  std::vector<BYTE> big(304, 0x55);
  big[0] = 0x81, big[1] = 0, big[2] = 0, big[3] = 0;
  reply(big);
  size = 270;
  EXPECT_EQ(server_->CopyReplyData(handle, out, &size), qx::QxE_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 300u);
  handle->Release();
}

TEST_F(PacketServerTest, TestModeTwoAnswersAtOnceWithAnEmptyGoodReply) {
  Start(2);
  ASSERT_EQ(server_->SetTargetOtherNetwork("NO-SUCH-DRIVER", "01 00"), S_OK);
  ASSERT_EQ(server_->StartCommunicating(), S_OK);
  Identity id;
  EXPECT_EQ(ReadIdentity(id), S_OK);
  EXPECT_TRUE(id.image.empty());
}

TEST_F(PacketServerTest, ChannelsFollowNetworkKindAndProtocol) {
  Start(1);
  QxCommTarget *t = server_->Target();
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  t->Protocol = QxProtoPCCCNOFRAG;
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_NOT_SUPPORTED) << "kind 4";
  EXPECT_FALSE(server_->Communicating());
  ASSERT_EQ(server_->SetTargetProtocol("CNET", "SIM-1"), S_OK);
  EXPECT_EQ(server_->StartCommunicating(), S_OK) << "kind 1";
  EXPECT_TRUE(server_->Communicating());
  EXPECT_FALSE(server_->HasChannel());
  server_->StopCommunicating();
  t->NetworkKind = 6;
  t->Protocol = QxProtoASA;
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_NOT_SUPPORTED);
}

TEST_F(PacketServerTest, PcccChannelsOpenTheirDriverAndServeNoMessages) {
  Start();
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  server_->Target()->Protocol = QxProtoPCCC;
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_NOT_SUPPORTED) << "the path check cannot be sent";
  ASSERT_EQ(server_->SetTargetOtherNetwork("NO-SUCH", "02 02"), S_OK);
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_CHANNEL_OPEN_FAILED);
  server_->Target()->Protocol = QxProtoASA;
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_DRIVER_OPEN_FAILED);
}

TEST_F(PacketServerTest, ADeviceWithoutGetAttributesAllIsReadAListAtATime) {
  Start();
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 06"), S_OK);
  ASSERT_EQ(server_->StartCommunicating(), S_OK);
  Identity id;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  // A smaller connection halves the list until it fits: 7, then 3 at a time.
  server_->Target()->ConnectionSize = 300;
  ASSERT_EQ(ReadIdentity(id), S_OK);
  ExpectKestrel(id);
  // Halving stops at one attribute; the name alone does not fit here.
  server_->Target()->ConnectionSize = 100;
  EXPECT_EQ(ReadIdentity(id), qx::QxE_TOO_MANY_ATTRIBUTES);
  // Too small for any request: no wrap-around, nothing sent.
  server_->Target()->ConnectionSize = 10;
  EXPECT_EQ(server_->LargestRequest(), 0u);
  EXPECT_EQ(ReadIdentity(id), qx::QxE_TOO_MANY_ATTRIBUTES);
}

TEST_F(PacketServerTest, DevicesThatRefuseOrNeverAnswerEndThePathCheckInBoundedTime) {
  Start();
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 05"), S_OK);
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_NO_DEVICE);
  EXPECT_FALSE(server_->Communicating());
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 04"), S_OK);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_NO_DEVICE);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 09"), S_OK);
  EXPECT_EQ(server_->StartCommunicating(), qx::QxE_NO_DEVICE) << "no such station";
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
    ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
    ASSERT_EQ(server_->StartCommunicating(), S_OK);
    Identity id;
    EXPECT_EQ(ReadIdentity(id), S_OK);
    EXPECT_EQ(SettledThreadCount(before + kClientThreads), before + kClientThreads) << "round " << round;
    server_->StopCommunicating();
    // A connected channel: its service thread, and with thread optimization
    // the worker that waits for its replies.
    ASSERT_EQ(server_->StartCommunicating(0, 0, true), S_OK);
    size_t channelThreads = round == 2 ? 1 : 2;
    EXPECT_EQ(ReadIdentity(id), S_OK);
    EXPECT_EQ(SettledThreadCount(before + kClientThreads + channelThreads), before + kClientThreads + channelThreads)
        << "round " << round;
    server_->StopCommunicating();
    EXPECT_EQ(SettledThreadCount(before + kClientThreads), before + kClientThreads) << "round " << round;
    // A silent station, unconnected and connected.
    ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 04"), S_OK);
    EXPECT_EQ(server_->StartCommunicating(), qx::QxE_NO_DEVICE);
    EXPECT_EQ(server_->StartCommunicating(0, 0, true), qx::QxE_NO_DEVICE);
    // An open connection left to the server's deletion.
    ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
    ASSERT_EQ(server_->StartCommunicating(0, 0, true), S_OK);
    delete server_;
    server_ = nullptr;
    context_.reset();
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
    ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 07"), S_OK);
    uint32_t late = qx::LateReplies();
    EXPECT_EQ(server_->StartCommunicating(0, 0, connected), qx::QxE_NO_DEVICE) << connected;
    // The request's worker, or the connection's threads, are joined at once,
    // long before the reply could wake them.
    EXPECT_EQ(SettledThreadCount(before + kClientThreads, 20), before + kClientThreads) << connected;
    EXPECT_EQ(qx::LateReplies(), late) << "the reply is not in yet";
    // The reply lands in the message alone, which the client library holds.
    for (int i = 0; i < 500 && qx::LateReplies() == late; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(qx::LateReplies(), late + 1) << connected;
    delete server_;
    server_ = nullptr;
    context_.reset();
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
  ASSERT_EQ(server_->SetTargetOtherNetwork("SIM-1", "02 02"), S_OK);
  ASSERT_EQ(server_->StartCommunicating(), S_OK);
  delete server_;
  server_ = nullptr;
  context_.reset();
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
  EXPECT_EQ(id.BuildPath(path), qx::QxE_NO_PATH);
  EXPECT_EQ(id.SetClass(0x1234), S_OK);
  EXPECT_EQ(id.SetInstance(1), S_OK);
  EXPECT_EQ(id.Add(QxASAInternalObjectID::kAttribute, 7), S_OK);
  EXPECT_EQ(id.SetInstance(70000), qx::QxE_OUT_OF_RANGE);
  EXPECT_EQ(id.Add(3, 1), qx::QxE_OUT_OF_RANGE);
  ASSERT_EQ(id.BuildPath(path), S_OK);
  EXPECT_EQ(path, (std::vector<BYTE>{0x21, 0x00, 0x34, 0x12, 0x24, 0x01, 0x30, 0x07}));
}

TEST(TimeOut, TriplingAndExtendingNeverWrap) {
  EXPECT_EQ(qx::TripleTimeOut(32000), 96000u);
  EXPECT_EQ(qx::TripleTimeOut(0x7FFFFFFF), INFINITE - 1);
  qx::QxCommTimeOut parent(1000), child(10, &parent);
  child.Extend(5);
  EXPECT_EQ(child.Value(), 15u);
  EXPECT_EQ(parent.Value(), 1005u);
  child.Extend(INFINITE);
  EXPECT_EQ(parent.Value(), INFINITE - 1);
}

}  // namespace
