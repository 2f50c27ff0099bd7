// The library's configuration: its drivers and, for the simulated kinds, the
// devices they serve. Read from the registry once, at initialisation.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cip.h"

namespace commserver {

// A simulated device: what it answers, and how.
struct SimDevice {
  cip::Identity identity;
  uint16_t plcFamily = 0;
  uint32_t delayMs = 0;     // before the reply
  bool silent = false;      // never answers
  uint8_t cipError = 0;     // a general status to answer every request with
  uint16_t cipExt = 0;      // and its extended status (0: none)
  uint8_t refuseService = 0;  // a service answered "service not supported" (0: none)
  uint32_t holdMs = 0;        // the reply comes this late, whatever the time-outs (0: none)
  // Devices beyond this one, by (port, link).
  std::map<std::pair<uint16_t, std::string>, SimDevice> beyond;
};

// The wait for a reply of a request that names no time-out of its own, on a
// driver that configures none.
inline constexpr uint32_t kDefaultReplyTimeoutMs = 3000;
inline constexpr uint32_t kDefaultIdleTimeMs = 10000;

struct Driver {
  std::string name;
  uint16_t kind = 0;  // DTL_KIND_*
  uint16_t networkType = 0;
  uint32_t connectTimeoutMs = 3000;
  // Configured, it caps every request's wait; unconfigured, a request's own
  // time-out rules and only a request without one waits the default.
  std::optional<uint32_t> replyTimeoutMs;
  // How long a device's connection is kept unused for its next request.
  uint32_t idleTimeMs = kDefaultIdleTimeMs;
  std::map<std::string, SimDevice> devices;  // by station
};

struct Config {
  std::vector<Driver> drivers;  // the index is the driver's handle
  std::string server;           // this computer's name
};

// Reads the drivers under key\Drivers of HKEY_LOCAL_MACHINE. A driver whose
// kind is unknown is left out (and noted in *skipped).
long ReadConfig(const std::string &key, Config &out, std::vector<std::string> *skipped = nullptr);

// The device at the end of a route, or null.
const SimDevice *FindSimDevice(const Driver &driver, const std::string &station, const std::vector<cip::Hop> &hops);

}  // namespace commserver
