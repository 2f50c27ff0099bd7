// The client library through the component's loader, for the suites that
// drive it: drivers configured in the registry (a simulated network, an
// EtherNet/IP driver with short time-outs), a request's completion, and
// identity reads along path strings.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "cip.h"
#include "cvapi_loader.h"
#include "fresh_prefix.h"
#include "sim_registry.h"

namespace commserver {

using Bytes = std::vector<uint8_t>;
inline constexpr char kKey[] = "SOFTWARE\\Brenmoor Software\\Corvid Tests";

using platform::Widen;
using support::SetDword;
using support::SetIdentity;
using support::SetText;

inline std::string Computer() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  GetComputerNameA(name, &size);
  return std::string(name, size);
}

// One request's completion.
struct Done {
  std::mutex m;
  std::condition_variable cv;
  bool called = false;
  int calls = 0;
  uint32_t iostat = 0, size = 0, ext = 0;
  uint8_t reply[600] = {};

  static void DTL_CALL Callback(uintptr_t context, uint32_t iostat, uint32_t size, uint32_t ext) {
    auto *d = reinterpret_cast<Done *>(context);
    std::lock_guard<std::mutex> g(d->m);
    d->called = true;
    ++d->calls;
    d->iostat = iostat, d->size = size, d->ext = ext;
    d->cv.notify_all();
  }
  bool Wait(int ms = 10000) {
    std::unique_lock<std::mutex> g(m);
    return cv.wait_for(g, std::chrono::milliseconds(ms), [this] { return called; });
  }
  Bytes Reply() const { return Bytes(reply, reply + size); }
};

class Library : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    UseFreshPrefix();
    std::string d = std::string(kKey) + "\\Drivers\\";
    SetText(d + "SIM-1", "Kind", "Simulated");
    SetDword(d + "SIM-1", "ReplyTimeout", 300);
    SetIdentity(d + "SIM-1\\Devices\\2", 14, 15, 13, "Kestrel L85");
    SetDword(d + "SIM-1\\Devices\\2", "PlcFamily", 0x400);
    SetIdentity(d + "SIM-1\\Devices\\2\\1\\3", 12, 166, 2, "Bridge Module");
    SetIdentity(d + "SIM-1\\Devices\\4", 14, 1, 1, "Silent One");
    SetDword(d + "SIM-1\\Devices\\4", "Silent", 1);
    SetIdentity(d + "SIM-1\\Devices\\5", 14, 1, 1, "Refuser");
    SetDword(d + "SIM-1\\Devices\\5", "CipError", 0x08);
    SetIdentity(d + "SIM-1\\Devices\\6", 14, 9, 9, "Slow");
    SetDword(d + "SIM-1\\Devices\\6", "ReplyDelay", 50);
    SetText(d + "VBP-A", "Kind", "VirtualBackplane");
    SetIdentity(d + "VBP-A\\Devices\\1", 14, 92, 20, "Backplane Controller");
    SetText(d + "ENIP-1", "Kind", "EtherNet/IP");
    SetDword(d + "ENIP-1", "ConnectTimeout", 1000);
    SetDword(d + "ENIP-1", "ReplyTimeout", 500);
    // Unused connections end within a test.
    SetDword(d + "ENIP-1", "IdleTime", 1000);
    SetText(d + "ODD-1", "Kind", "Carrier Pigeon");
  }
  // Nothing of ours stays in a real registry.
  static void TearDownTestSuite() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Widen(kKey).c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, Widen("SOFTWARE\\Brenmoor Software").c_str());  // only when empty
  }
  void SetUp() override {
    DTL_INIT_ARGS args{sizeof args, 0, kKey};
    ASSERT_EQ(comm::cvapi::DTL_INIT_BSW_EX(1, &args), 0);
  }
  void TearDown() override { EXPECT_EQ(comm::cvapi::DTL_UNINIT(0), 0); }
  // The last context ends and the next one starts.
  static void NextContext() {
    ASSERT_EQ(comm::cvapi::DTL_UNINIT(0), 0);
    DTL_INIT_ARGS args{sizeof args, 0, kKey};
    ASSERT_EQ(comm::cvapi::DTL_INIT_BSW_EX(1, &args), 0);
  }

  // Identity read along a path string: target, destination address, message.
  static long Read(const std::string &top, Done &done, uint8_t service = 0x01, Bytes data = {}) {
    long error = -1;
    DTL_TARGET *target = comm::cvapi::DTL_CreateTargetFromPathString((Computer() + "!" + top).c_str(), &error, 1u);
    if (!target) return error;
    DTL_DTSA dtsa;
    long r = comm::cvapi::DTL_CreateDtsaFromTarget(target, &dtsa);
    comm::cvapi::DTL_DestroyTarget(target);
    if (!r) r = comm::cvapi::DTL_OpenDtsa(&dtsa);
    if (r) return r;
    auto path = commserver::cip::EncodeLogicalPath(1, 1);
    return comm::cvapi::DTL_ASA_MSG_CB(&dtsa, service, path.data(), static_cast<uint32_t>(path.size()), data.data(),
                                       static_cast<uint32_t>(data.size()), done.reply,
                                       static_cast<uint32_t>(sizeof done.reply), 5000u, &Done::Callback,
                                       reinterpret_cast<uintptr_t>(&done));
  }
  // The identity in a successful Get_Attributes_All reply.
  static std::optional<commserver::cip::Identity> Identity(const Done &d) {
    auto reply = commserver::cip::ParseReply({d.reply, d.size});
    if (d.iostat || !reply || reply->status || reply->data.size() < 15) return std::nullopt;
    commserver::Reader r(reply->data);
    commserver::cip::Identity id;
    id.vendor = r.U16(), id.deviceType = r.U16(), id.productCode = r.U16(), id.major = r.U8(), id.minor = r.U8();
    id.status = r.U16(), id.serial = r.U32();
    auto name = r.Bytes(r.U8());
    id.name.assign(name.begin(), name.end());
    return id;
  }
};

}  // namespace commserver
