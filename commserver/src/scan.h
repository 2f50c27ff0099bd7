// A sweep for devices (DTL_ScanIdentities): List Identity over UDP to a list
// of addresses and to an interface's broadcast address, or Get_Attributes_All
// to each station of a simulated driver; then the Identity object of each
// slot of every device found, through its backplane.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "address_list.h"
#include "config.h"
#include "cvapi32.h"
#include "engine.h"

namespace commserver {

// An interface's IPv4 address and where its broadcasts go, in host order.
struct BroadcastTarget {
  uint32_t local = 0;
  uint32_t broadcast = 0;
};
// The named interface's (Windows: its friendly or its adapter name), or
// nullopt when there is none or it has no IPv4 address.
std::optional<BroadcastTarget> FindBroadcast(const std::string &interfaceName);

struct ScanRequest {
  std::shared_ptr<const Config> config;  // keeps driver alive
  // A simulated kind: its stations are swept. EtherNet/IP: its time-outs
  // serve the backplane reads. Null: built-in time-outs.
  const Driver *driver = nullptr;
  AddressList targets;
  std::optional<BroadcastTarget> broadcast;
  uint64_t maxAddresses = 1024;  // also caps the answers a broadcast may bring
  uint16_t port = 0;
  uint32_t timeoutMs = 0;
  uint32_t rate = 0;   // requests per second
  int backplane = -1;  // the last slot read, or < 0 for none
  DTL_SCAN_FOUND found = nullptr;
  uintptr_t context = 0;
};

// What the sweep saw (elapsed_ms is left to the caller) and how it ended:
// DTL_SUCCESS, DTL_E_FAIL (no socket) or DTL_E_CLOSING (the engine stopped).
using ScanDone = std::function<void(long result, const DTL_SCAN_STATS &stats)>;

// Runs the sweep on the engine's worker; found and then done are called there.
void StartScan(Engine &engine, ScanRequest request, ScanDone done);

}  // namespace commserver
