// The client library against a device that breaks the protocol in one way
// at a time: every broken reply ends with its status within the driver's
// time-out, a kept connection serves only while it is in step, and after a
// kept connection drops only a read goes again.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hostile_device.h"
#include "library_fixture.h"

namespace {

using namespace commserver;
using support::Device;
using support::Fault;
using support::Options;

constexpr uint8_t kGetAttributesAll = 0x01;
constexpr uint8_t kReset = 0x05;

class Hostile : public Library {
 protected:
  static std::string Station(const Device &d) { return "ENIP-1\\127.0.0.1:" + std::to_string(d.Port()); }
  // Reads the identity and waits for the answer.
  static void ReadAndWait(const Device &d, Done &done, uint8_t service = kGetAttributesAll) {
    ASSERT_EQ(Read(Station(d), done, service), 0);
    ASSERT_TRUE(done.Wait());
  }
};

TEST_F(Hostile, EveryBrokenReplyEndsWithItsStatusWithinTheDriversTimeOut) {
  const struct {
    Fault fault;
    uint32_t iostat;
    uint32_t ext;
    const char *what;
  } cases[] = {
      {Fault::kLongHeader, DTL_E_TIMEOUT, 0, "a header promising more than follows"},
      {Fault::kShortHeader, DTL_E_BAD_REPLY, 0, "a header counting less than follows"},
      {Fault::kLongItem, DTL_E_BAD_REPLY, 0, "an item longer than its data"},
      {Fault::kWrongSession, DTL_E_BAD_REPLY, 0, "another session's reply"},
      {Fault::kWrongItemType, DTL_E_BAD_REPLY, 0, "a connected data item"},
      {Fault::kTrailingJunk, DTL_E_BAD_REPLY, 0, "junk after the items"},
      {Fault::kCloseMidReply, DTL_E_CONNECTION_LOST, 0, "closed mid-reply"},
      {Fault::kEncapStatus, DTL_E_ENCAP_STATUS, 0x65, "an encapsulation status"},
      {Fault::kTrickle, DTL_E_TIMEOUT, 0, "a byte every 20 ms"},
      {Fault::kSilent, DTL_E_TIMEOUT, 0, "silence"},
  };
  std::vector<std::unique_ptr<Device>> devices;
  std::vector<std::unique_ptr<Done>> done;
  auto start = std::chrono::steady_clock::now();
  for (const auto &c : cases) {
    devices.push_back(std::make_unique<Device>(Options(c.fault)));
    done.push_back(std::make_unique<Done>());
    ASSERT_EQ(Read(Station(*devices.back()), *done.back()), 0) << c.what;
  }
  for (size_t i = 0; i < done.size(); ++i) ASSERT_TRUE(done[i]->Wait()) << cases[i].what;
  // All together within the driver's 500 ms, with room for a slow machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  for (size_t i = 0; i < done.size(); ++i) {
    EXPECT_EQ(done[i]->iostat, cases[i].iostat) << cases[i].what;
    EXPECT_EQ(done[i]->ext, cases[i].ext) << cases[i].what;
    EXPECT_EQ(done[i]->size, 0u) << cases[i].what;
    EXPECT_EQ(done[i]->calls, 1) << cases[i].what;
  }
}

TEST_F(Hostile, AReplyInPiecesIsReadWholeAndJunkAfterOneSpoilsNoOther) {
  Options slowly(Fault::kTrickle);
  slowly.trickleMs = 2;
  Device trickle(slowly);
  Done pieces;
  ReadAndWait(trickle, pieces);
  ASSERT_TRUE(Identity(pieces)) << pieces.iostat;
  EXPECT_EQ(Identity(pieces)->productCode, 15);

  // Bytes nobody asked for wait on the kept connection: it is not used again.
  Device junk(Options(Fault::kJunkAfterReply));
  for (int i = 0; i < 2; ++i) {
    Done d;
    ReadAndWait(junk, d);
    ASSERT_TRUE(Identity(d)) << "read " << i << ": " << d.iostat;
  }
  EXPECT_EQ(junk.Connections(), 2);
}

// A Reset is carried out at most once; that needs a kept connection the device
// has closed to be noticed before anything is sent on it.
TEST_F(Hostile, AConnectionTheDeviceClosedIsNotReused) {
  Device closer(Options(Fault::kCloseAfterReply));
  Done first, reset;
  ReadAndWait(closer, first);
  ASSERT_TRUE(Identity(first)) << first.iostat;
  for (int i = 0; i < 200 && closer.Closed() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(closer.Closed(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // its end reaches our side
  ReadAndWait(closer, reset, kReset);
  EXPECT_EQ(reset.iostat, 0u);
  EXPECT_EQ(reset.Reply(), (Bytes{0x85, 0, 0, 0}));
  EXPECT_EQ(closer.Connections(), 2);
  EXPECT_EQ(closer.Requests(kReset), 1);
}

TEST_F(Hostile, AfterAKeptConnectionDropsOnlyAReadIsSentAgain) {
  Device dropper(Options(Fault::kDropReused));
  Done first, again, reset;
  ReadAndWait(dropper, first);
  ASSERT_TRUE(Identity(first)) << first.iostat;
  // The connection is kept for the process's next context too.
  NextContext();
  // Dropped unanswered on the kept connection, answered on a new one.
  ReadAndWait(dropper, again);
  ASSERT_TRUE(Identity(again)) << again.iostat;
  EXPECT_EQ(dropper.Requests(kGetAttributesAll), 3);
  EXPECT_EQ(dropper.Connections(), 2);
  // The device may have reset already: the loss is reported, nothing repeated.
  ReadAndWait(dropper, reset, kReset);
  EXPECT_EQ(reset.iostat, uint32_t{DTL_E_CONNECTION_LOST});
  EXPECT_EQ(reset.calls, 1);
  EXPECT_EQ(dropper.Requests(kReset), 1);
  EXPECT_EQ(dropper.Connections(), 2);
}

}  // namespace
