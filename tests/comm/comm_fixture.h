// The communications library's tests: drivers and devices of our own client
// library configured in a fresh registry, and the library's parameters.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "fresh_prefix.h"
#include "qxonline.h"
#include "sim_registry.h"

namespace comm {

inline constexpr char kDrivers[] = "SOFTWARE\\Brenmoor Software\\Corvid\\Drivers\\";
inline constexpr char kParameters[] = "SOFTWARE\\Brenmoor Software\\Quillon.1\\Communications\\";

using platform::Widen;
using support::DeleteTree;
using support::SetDword;
using support::SetIdentity;
using support::SetText;

inline constexpr DWORD kHeldReplyMs = 1500;

// The library's option string ("CommandLine"), or none.
inline void SetOptions(const std::string &options) {
  if (options.empty())
    DeleteTree(kParameters);
  else
    SetText(kParameters, "CommandLine", options);
}

// SIM-1: station 2 a controller (family 0x400), 3 one of unknown family,
// 4 silent, 5 refusing every request with 0x08, 6 refusing only
// Get_Attributes_All, 7 answering 1.5 s late whatever the time-out; ENIP-1 an
// EtherNet/IP driver that keeps unused connections 200 ms.
inline void ConfigureDrivers() {
  UseFreshPrefix();
  std::string sim = std::string(kDrivers) + "SIM-1";
  SetText(sim, "Kind", "Simulated");
  SetDword(sim, "ReplyTimeout", 300);
  SetIdentity(sim + "\\Devices\\2", 14, 15, 13, "Kestrel L85");
  SetDword(sim + "\\Devices\\2", "PlcFamily", 0x400);
  SetIdentity(sim + "\\Devices\\3", 12, 166, 2, "Bridge Module");
  SetIdentity(sim + "\\Devices\\4", 14, 1, 1, "Silent One");
  SetDword(sim + "\\Devices\\4", "Silent", 1);
  SetIdentity(sim + "\\Devices\\5", 14, 1, 1, "Refuser");
  SetDword(sim + "\\Devices\\5", "CipError", 0x08);
  SetIdentity(sim + "\\Devices\\6", 14, 15, 13, "Kestrel L85");
  SetDword(sim + "\\Devices\\6", "RefuseService", 0x01);
  SetIdentity(sim + "\\Devices\\7", 14, 15, 13, "Kestrel L85");
  SetDword(sim + "\\Devices\\7", "HoldReply", kHeldReplyMs);
  std::string enip = std::string(kDrivers) + "ENIP-1";
  SetText(enip, "Kind", "EtherNet/IP");
  SetDword(enip, "ConnectTimeout", 1000);
  SetDword(enip, "ReplyTimeout", 500);
  // Its kept connections, and the client library's worker with them, end
  // soon after a test: the thread counts of the next start from nothing kept.
  SetDword(enip, "IdleTime", 200);
}

// Nothing of ours stays in a real registry (on Linux the prefix goes anyway).
inline void RemoveConfiguration() {
  DeleteTree("SOFTWARE\\Brenmoor Software\\Corvid");
  DeleteTree("SOFTWARE\\Brenmoor Software\\Quillon.1");
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, Widen("SOFTWARE\\Brenmoor Software").c_str());  // only when empty
  DeleteTree("SOFTWARE\\Brenmoor Software\\Quillon.1", HKEY_CURRENT_USER);
  RegDeleteKeyW(HKEY_CURRENT_USER, Widen("SOFTWARE\\Brenmoor Software").c_str());
}

// A whole file (a packet log), or "" when it cannot be read.
inline std::string ReadAll(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string Computer() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string("LOCALHOST");
}

// An EtherNet/IP station ("127.0.0.1:44818") as the driver form's path text:
// port 2 with an extended link address (the station's text), padded to an
// even length.
inline std::string StationHex(const std::string &station) {
  char cell[8];
  std::snprintf(cell, sizeof cell, "12 %02X", static_cast<unsigned>(station.size()));
  std::string hex = cell;
  for (char c : station) {
    std::snprintf(cell, sizeof cell, " %02X", static_cast<unsigned char>(c));
    hex += cell;
  }
  if (station.size() % 2) hex += " 00";
  return hex;
}

// One context for the length of a scope.
class Context {
 public:
  explicit Context(DWORD testMode = 0, const char *name = nullptr) {
    QxOnlineInitInfo info;
    QxOnlineFillInitInfo(&info, sizeof info);
    info.TestMode = testMode;
    QxOnlineInitialize(name, &info);
  }
  ~Context() { QxOnlineUninitialize(); }
  Context(const Context &) = delete;
  Context &operator=(const Context &) = delete;
};

}  // namespace comm
