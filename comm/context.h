// The context's internals shared by the targets, the packet server and the
// channels.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "adf.h"
#include "packet_log.h"
#include "qxonline.h"

namespace comm {

// The library lock. It exists from load, so starting and ending the context
// and every look at its state are serialised from the first call on; it is
// recursive, like every critical section.
class LibraryLock {
 public:
  LibraryLock();
  ~LibraryLock();
  LibraryLock(const LibraryLock &) = delete;
  LibraryLock &operator=(const LibraryLock &) = delete;
};

bool Initialized();
DWORD TestMode();
bool ThreadOptimization();
bool RealTime();
// The "ConnectionWatchDog" setting read at start (reported, it changes nothing else).
bool ConnectionWatchDog();
QxASADiagnostics *CurrentLog();
// The object definitions read at start, or null when none were found.
const adf::Catalog *Definitions();
// The class revision table of the initialize record: (class, revision).
std::vector<std::pair<uint16_t, uint16_t>> ClassRevisionTable();
bool RevisionTableLoaded();
void SetRevisionTableLoaded();

// Starts the communications server's client interface once per context
// (count: 15 for PCCC channels, else 1): 0 or the HRESULT to return.
HRESULT StartClientInterface(uint32_t count = 1);

// The driver id for a driver name, opened once and kept in the open-driver
// table (test mode 1: made up; 2: skipped, id 0).
HRESULT OpenDriver(const char *name, DWORD *driverId);
// Entries of the open-driver table (for tests).
size_t OpenDriverCount();

// The default record's values a packet server needs at run time.
inline constexpr DWORD kDefaultTimeOutMs = 32000;
inline constexpr DWORD kDefaultConnectionSize = 500;

}  // namespace comm
