// A directory identifies controllers along routes of the communications
// library: the device simulator on loopback (direct and through a backplane,
// both route forms) and simulated devices of our server library configured in
// the registry (answering, absent, silent, refusing).
#include <chrono>
#include <string>

#include "comm_fixture.h"
#include "component_fixture.h"
#include "enip_server.h"
#include "hostile_device.h"
#include "online/controller_identity.h"

using namespace comm;

namespace {

// (major, minor) software version of a revision.
std::pair<LONG, LONG> Version(IRevision *revision) {
  LONG major = -1, minor = -1;
  revision->get_MajorSoftwareVersion(&major);
  revision->get_MinorSoftwareVersion(&minor);
  return {major, minor};
}

WString W(const std::string &s) { return WString(s.begin(), s.end()); }

class OnlineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConfigureDrivers();
    SetOptions("");
  }
  void TearDown() override {
    RemoveConfiguration();
    DeleteMachineTree(kMakerKey);
  }
  // The controller's release along a route, and the error text it raised.
  HRESULT Identify(IRevisionDirectory_V6 *directory, const std::string &route, IRevision **out) {
    Bstr text(W(route).c_str());
    return directory->GetRevisionFromController(text.Get(), out);
  }
  // Identifies along route and expects what the controller id gives.
  void ExpectSameAsId(IRevisionDirectory_V6 *directory, const std::string &route, LONG type, LONG code, LONG major) {
    ComPtr<IRevision> byRoute, byId;
    HRESULT expected = directory->GetRevisionFromControllerId(type, code, major, byId.Out());
    ASSERT_EQ(Identify(directory, route, byRoute.Out()), expected) << route;
    if (SUCCEEDED(expected)) {
      EXPECT_EQ(Version(byRoute.Get()), Version(byId.Get())) << route;
    }
  }
  void ExpectNoDevice(IRevisionDirectory_V6 *directory, const std::string &route) {
    ComPtr<IRevision> revision;
    TakeErrorInfo();
    EXPECT_EQ(Identify(directory, route, revision.Out()), RdE_NoDeviceFound) << route;
    EXPECT_FALSE(revision) << route;
    Bstr expected;
    directory->GetErrorDescription(RdE_NoDeviceFound, expected.Out());
    ErrorInfo error = TakeErrorInfo();
    EXPECT_TRUE(error.present) << route;
    EXPECT_EQ(platform::Narrow(error.description), platform::Narrow(expected.Str())) << route;
  }
};

TEST_F(OnlineTest, ControllersOnLoopbackAreIdentifiedAlongBothRouteForms) {
  commserver::DeviceOptions options;
  ASSERT_TRUE(commserver::ParseIdentity("1,14,15,13.1,12345,Kestrel L85", options.identity));
  ASSERT_TRUE(commserver::ParseIdentity("1,14,3,12.1,17,Arvane in slot 3", options.slots[3]));
  commserver::EnipServer device(options, "127.0.0.1", 0);
  device.Start();
  const std::string station = "127.0.0.1:" + std::to_string(device.Port());
  auto directory = InitializedDirectory();

  // The path form: this computer's name goes in front of a path without one;
  // the prefix in any case, with blanks behind it, is the same route.
  ExpectSameAsId(directory.Get(), "cvpath:ENIP-1\\" + station, 14, 15, 13);
  ExpectSameAsId(directory.Get(), "CVPATH: \t " + Computer() + "!ENIP-1\\" + station, 14, 15, 13);
  ExpectSameAsId(directory.Get(), "cvpath:ENIP-1\\" + station + "\\Backplane\\3", 14, 3, 12);
  // The driver form: the station and then port 1, slot 3.
  ExpectSameAsId(directory.Get(), "ENIP-1%" + StationHex(station), 14, 15, 13);
  ExpectSameAsId(directory.Get(), "ENIP-1%" + StationHex(station) + " 01 03", 14, 3, 12);
  // A slot nobody sits in, another server's name, a second "%" in the path.
  ExpectNoDevice(directory.Get(), "cvpath:ENIP-1\\" + station + "\\Backplane\\4");
  ExpectNoDevice(directory.Get(), "cvpath:ELSEWHERE!ENIP-1\\" + station);
  ExpectNoDevice(directory.Get(), "ENIP-1%" + StationHex(station) + " %01 03");
  device.Stop();
}

TEST_F(OnlineTest, TheAnsweredIdentityIsLookedUpAsItsControllerId) {
  auto directory = InitializedDirectory();
  // Station 2 answers device type 14, product code 15, major revision 13;
  // its vendor, serial number and name play no part.
  ComPtr<IRevision> revision;
  ASSERT_EQ(Identify(directory.Get(), "SIM-1%02 02", revision.Out()), S_OK);
  EXPECT_EQ(Version(revision.Get()).first, 13);
  ExpectSameAsId(directory.Get(), "SIM-1%02 02", 14, 15, 13);
  ExpectSameAsId(directory.Get(), "cvpath:SIM-1\\2", 14, 15, 13);
  // Answers with an uncatalogued type, or one the release does not support,
  // are the look-up's own errors, unchanged.
  ExpectSameAsId(directory.Get(), "SIM-1%02 03", 12, 166, 2);
  SetIdentity(std::string(kDrivers) + "SIM-1\\Devices\\7", 14, 3, 15, "Too new");
  ExpectSameAsId(directory.Get(), "SIM-1%02 07", 14, 3, 15);
  // A device that serves only attribute lists is read a list at a time.
  ExpectSameAsId(directory.Get(), "SIM-1%02 06", 14, 15, 13);
}

TEST_F(OnlineTest, EveryFailureOnTheWayIsNoDeviceFound) {
  auto directory = InitializedDirectory();
  ExpectNoDevice(directory.Get(), "SIM-1\\2");  // neither form
  ExpectNoDevice(directory.Get(), "");
  ExpectNoDevice(directory.Get(), "SIM-1%02 09");     // nobody at station 9
  ExpectNoDevice(directory.Get(), "SIM-1%02 05");     // a CIP error for every request
  ExpectNoDevice(directory.Get(), "NOSUCH-1%02 02");  // a driver the server does not know
  ExpectNoDevice(directory.Get(), "cvpath:NOSUCH-1\\2");
  ExpectNoDevice(directory.Get(), "SIM-1%02 0");  // a path text the library refuses
  ExpectNoDevice(directory.Get(), "cvpath:");
}

TEST_F(OnlineTest, ASilentControllerEndsTheCallWithinTheLibrarysTimeOut) {
  commserver::DeviceOptions options;
  ASSERT_TRUE(commserver::ParseIdentity("1,14,15,13.1,12345,Kestrel L85", options.identity));
  options.silent = true;
  commserver::EnipServer device(options, "127.0.0.1", 0);
  device.Start();
  // Well below the drivers' own reply time-outs, so this one is what ends it.
  SetOptions("/TimeOut=200");
  auto directory = InitializedDirectory();
  auto start = std::chrono::steady_clock::now();
  ExpectNoDevice(directory.Get(), "cvpath:ENIP-1\\127.0.0.1:" + std::to_string(device.Port()));
  ExpectNoDevice(directory.Get(), "SIM-1%02 04");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  device.Stop();
}

// A driver without a ReplyTimeout of its own cuts no request's wait short:
// the library's own time-out per request rules.
TEST_F(OnlineTest, AControllerAnsweringAfterThreeSecondsIsIdentified) {
  std::string slow = std::string(kDrivers) + "SIM-2";
  SetText(slow, "Kind", "Simulated");
  SetIdentity(slow + "\\Devices\\2", 14, 15, 13, "Kestrel L85");
  SetDword(slow + "\\Devices\\2", "ReplyDelay", 3100);
  auto directory = InitializedDirectory();
  ExpectSameAsId(directory.Get(), "SIM-2%02 02", 14, 15, 13);
}

// The look-up needs vendor, device type, product code and revision: the first
// 8 data bytes of Get_Attributes_All. A reply without all of them names no
// controller, and the identity keeps nothing of it.
TEST_F(OnlineTest, AnIdentityReplyShorterThanItsLookUpFieldsIsNoDevice) {
  auto directory = InitializedDirectory();
  for (size_t n : {5u, 7u, 8u}) {
    support::Options options;
    // Get_Attributes_All's reply header, then vendor 1, type 14, code 15, 13.2.
    options.cipReply = {0x81, 0, 0, 0, 0x01, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x0D, 0x02};
    options.cipReply.resize(4 + n);
    support::Device device(options);
    const std::string route = "cvpath:ENIP-1\\127.0.0.1:" + std::to_string(device.Port());
    if (n < 8) {
      ExpectNoDevice(directory.Get(), route);
      revdir::CControllerIdentity identity;
      EXPECT_NE(identity.Read(W(route).c_str()), S_OK) << n;
      EXPECT_EQ(identity.VendorId(), 0xFFFF) << n;
      EXPECT_EQ(identity.DeviceType(), 0xFFFF) << n;
      EXPECT_EQ(identity.ProductCode(), 0xFFFF) << n;
    } else {
      ExpectSameAsId(directory.Get(), route, 14, 15, 13);
    }
  }
}

TEST_F(OnlineTest, AnUninitializedDirectoryStillAsksTheController) {
  ComPtr<IRevisionDirectory_V6> directory;
  ASSERT_EQ(NewDirectory(directory.Out()), S_OK);
  ComPtr<IRevision> revision;
  EXPECT_EQ(Identify(directory.Get(), "SIM-1%02 02", revision.Out()), RdE_NotInitialized);
  EXPECT_EQ(Identify(directory.Get(), "SIM-1%02 03", revision.Out()), RdE_NotA_TesselController);
  // Without an answer the look-up is never reached.
  EXPECT_EQ(Identify(directory.Get(), "SIM-1%02 09", revision.Out()), RdE_NoDeviceFound);
  EXPECT_FALSE(revision);
}

TEST_F(OnlineTest, TheIdentityIsReadInPlaceAndResetWhenAReadFails) {
  // A name of full length fills the image to its last byte.
  const std::string longName(255, 'N');
  SetIdentity(std::string(kDrivers) + "SIM-1\\Devices\\7", 14, 15, 13, longName);
  revdir::CControllerIdentity identity;
  EXPECT_EQ(identity.DeviceType(), 0xFFFF) << "nothing read yet";
  ASSERT_EQ(identity.Read(OLESTR("SIM-1%02 02")), S_OK);
  EXPECT_EQ(identity.VendorId(), 1);
  EXPECT_EQ(identity.DeviceType(), 14);
  EXPECT_EQ(identity.ProductCode(), 15);
  EXPECT_EQ(identity.MajorRevision(), 13);
  EXPECT_EQ(identity.MinorRevision(), 7);
  EXPECT_EQ(identity.SerialNumber(), 0xC0FFEEu);
  EXPECT_EQ(platform::Narrow(identity.ProductName()), "Kestrel L85");
  EXPECT_FALSE(identity.Connected()) << "disconnected after the read";
  ASSERT_EQ(identity.Read(OLESTR("SIM-1%02 07")), S_OK);
  EXPECT_EQ(platform::Narrow(identity.ProductName()), longName);
  // A failed read leaves all ones and no name, not the last controller's.
  EXPECT_NE(identity.Read(OLESTR("SIM-1%02 09")), S_OK);
  EXPECT_EQ(identity.DeviceType(), 0xFFFF);
  EXPECT_EQ(identity.ProductCode(), 0xFFFF);
  EXPECT_EQ(identity.MajorRevision(), 0xFF);
  EXPECT_EQ(identity.SerialNumber(), 0xFFFFFFFFu);
  EXPECT_EQ(platform::Narrow(identity.ProductName()), "");
  EXPECT_FALSE(identity.Connected());
}

TEST_F(OnlineTest, NullArgumentsAreInvalid) {
  auto directory = InitializedDirectory();
  Bstr route(OLESTR("SIM-1%02 02"));
  EXPECT_EQ(directory->GetRevisionFromController(route.Get(), nullptr), E_INVALIDARG);
  EXPECT_TRUE(TakeErrorInfo().present);
  IRevision *revision = reinterpret_cast<IRevision *>(static_cast<uintptr_t>(0xdeadbeef));
  EXPECT_EQ(directory->GetRevisionFromController(nullptr, &revision), E_INVALIDARG);
  EXPECT_EQ(revision, nullptr);
  EXPECT_TRUE(TakeErrorInfo().present);
}

TEST_F(OnlineTest, ScriptsReachItByName) {
  auto directory = InitializedDirectory();
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocString(OLESTR("cvpath:SIM-1\\2"));
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeByName(directory.Get(), OLESTR("GetRevisionFromController"), DISPATCH_METHOD, &arg, 1, &result),
            S_OK);
  ASSERT_EQ(result.vt, VT_DISPATCH);
  ComPtr<IRevision> revision;
  ASSERT_EQ(result.pdispVal->QueryInterface(IID_IRevision, revision.OutVoid()), S_OK);
  EXPECT_EQ(Version(revision.Get()).first, 13);
  VariantClear(&result);
  VariantClear(&arg);

  EXCEPINFO excep = {};
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocString(OLESTR("SIM-1%02 09"));
  EXPECT_EQ(
      InvokeByName(directory.Get(), OLESTR("GetRevisionFromController"), DISPATCH_METHOD, &arg, 1, &result, &excep),
      DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, RdE_NoDeviceFound);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  VariantClear(&arg);
}

}  // namespace
