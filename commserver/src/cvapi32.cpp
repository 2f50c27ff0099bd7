// The exported entry points: argument checks, the configuration and target
// bookkeeping under one lock, and hand-over of messages to the engine.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "address_list.h"
#include "config.h"
#include "cvapi32.h"
#include "engine.h"
#include "enip.h"
#include "path_string.h"
#include "scan.h"

using namespace commserver;

namespace {

// A critical section rather than std::mutex: mingw's win32 thread model has none.
class Lock {
 public:
  Lock() { InitializeCriticalSection(&m_cs); }
  void Enter() { EnterCriticalSection(&m_cs); }
  void Leave() { LeaveCriticalSection(&m_cs); }

 private:
  CRITICAL_SECTION m_cs;
};

class Guard {
 public:
  explicit Guard(Lock &lock) : m_lock(lock) { m_lock.Enter(); }
  ~Guard() { m_lock.Leave(); }
  Guard(const Guard &) = delete;
  Guard &operator=(const Guard &) = delete;

 private:
  Lock &m_lock;
};

struct State {
  Lock lock;
  int refs = 0;
  bool closing = false;  // the last DTL_UNINIT is stopping the engine
  std::shared_ptr<const Config> config;
  std::unique_ptr<Engine> engine;
  std::map<uint32_t, DTL_DTSA> connections;
  uint32_t nextConnection = 1;
};

State &LibraryState() {
  static State *g_state = new State;  // outlives static destruction: callbacks may still run
  return *g_state;
}

// A worker kept for idle connections after the last context must not
// outlive the library. On Windows it holds a reference on the library itself
// (a thread cannot be joined from DllMain); here the library's unload or the
// process's exit ends its sessions and joins it. Made at the first last
// DTL_UNINIT, after Asio's own statics, so it is destroyed before them.
void EndWorkerAtUnload() {
#if !defined(_WIN32)
  struct EndWorker {
    ~EndWorker() {
      State &s = LibraryState();
      Guard g(s.lock);
      if (s.refs == 0 && !s.closing && s.engine) s.engine->Stop();
    }
  };
  static EndWorker g_endWorker;
#endif
}

bool SameName(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

int DriverIndex(const Config &c, const std::string &name) {
  for (size_t i = 0; i < c.drivers.size(); ++i)
    if (SameName(c.drivers[i].name, name)) return static_cast<int>(i);
  return -1;
}

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

long CopyText(const std::string &text, char *out, uint32_t size) {
  if (!out) return DTL_E_BAD_ARG;
  if (text.size() + 1 > size) return DTL_E_TOO_SMALL;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return DTL_SUCCESS;
}

// A route in a destination address, resolved against the configuration.
struct Route {
  const Driver *driver = nullptr;
  uint32_t handle = 0;
  std::string station;
  std::vector<cip::Hop> hops;
};

long ResolveRoute(const Config &c, uint32_t handle, std::span<const uint8_t> bytes, Route &out) {
  if (handle >= c.drivers.size()) return DTL_E_NO_DRIVER;
  auto hops = cip::DecodeRoute(bytes);
  if (!hops || hops->empty()) return DTL_E_BAD_HEADER;
  Route r;
  r.driver = &c.drivers[handle];
  r.handle = handle;
  r.station = hops->front().link;
  r.hops.assign(hops->begin() + 1, hops->end());
  if (r.driver->kind == DTL_KIND_ETHERNET_IP && !ParseEndpoint(r.station, 1)) return DTL_E_BAD_HEADER;
  out = std::move(r);
  return DTL_SUCCESS;
}

// Reads an unconnected header (a destination address) from the caller's bytes.
long ResolveDtsa(const Config &c, const void *header, Route &out) {
  uint8_t fixed[14];
  std::memcpy(fixed, header, sizeof fixed);
  Reader r(fixed);
  uint32_t type = r.U32();
  uint32_t driver = r.U32();
  r.U16();
  uint32_t size = r.U32();
  if (type != DTL_MSG_UNCONNECTED) return DTL_E_BAD_HEADER;
  if (size == 0 || size > DTL_ROUTE_MAX) return DTL_E_ROUTE_TOO_LONG;
  return ResolveRoute(c, driver, {static_cast<const uint8_t *>(header) + 14, size}, out);
}

// The parsed target, its server checked against this computer.
long TargetPath(const void *target, Path &path) {
  auto text = DecodeTarget(target);
  if (!text) return DTL_E_BAD_TARGET;
  if (ParseTopPath(text->top, text->server, path) != DTL_SUCCESS) return DTL_E_BAD_TARGET;
  return DTL_SUCCESS;
}

// A sweep's arguments with their defaults, the targets parsed and the
// interface found; the driver is left to the caller, under the lock.
long ScanArguments(const DTL_SCAN_ARGS &args, ScanRequest &out) {
  if (args.size != sizeof args || args.reserved || args.backplane > 255) return DTL_E_BAD_ARG;
  ScanRequest r;
  r.timeoutMs = args.timeout_ms ? args.timeout_ms : 1000;
  r.rate = args.rate ? args.rate : 5000;
  r.maxAddresses = args.max_addresses ? args.max_addresses : 1024;
  r.port = args.port ? args.port : enip::kDefaultPort;
  r.backplane = args.backplane;
  if (args.targets && ParseAddressList(args.targets, r.maxAddresses, r.targets) != AddressListError::kNone)
    return DTL_E_BAD_ARG;
  if (args.broadcast_interface && !(r.broadcast = FindBroadcast(args.broadcast_interface))) return DTL_E_BAD_ARG;
  out = std::move(r);
  return DTL_SUCCESS;
}

// The driver a sweep names: a simulated one sweeps its stations and nothing
// else; any sweep without one needs addresses or a broadcast.
long ScanDriver(const Config &c, const char *name, ScanRequest &r) {
  bool network = r.targets.count || r.broadcast;
  if (name) {
    int i = DriverIndex(c, name);
    if (i < 0) return DTL_E_NO_DRIVER;
    r.driver = &c.drivers[i];
    if (r.driver->kind != DTL_KIND_ETHERNET_IP) return network ? DTL_E_NOT_SUPPORTED : DTL_SUCCESS;
  }
  return network ? DTL_SUCCESS : DTL_E_BAD_ARG;
}

// The sweep's end, handed from the worker to the caller waiting for it.
struct ScanWait {
  HANDLE event = nullptr;
  long result = DTL_E_FAIL;
  DTL_SCAN_STATS stats = {};
};

}  // namespace

extern "C" {

DTL_API long DTL_CALL DTL_INIT_BSW_EX(uint32_t, const DTL_INIT_ARGS *args) {
  State &s = LibraryState();
  Guard g(s.lock);
  if (s.closing) return DTL_E_CLOSING;
  if (s.refs > 0) {
    ++s.refs;
    return DTL_E_ALREADY_INIT;
  }
  std::string key = DTL_DEFAULT_CONFIG_KEY;
  if (args) {
    if (args->size < sizeof(DTL_INIT_ARGS)) return DTL_E_BAD_ARG;
    if (args->config_key) key = args->config_key;
  }
  auto config = std::make_shared<Config>();
  if (long r = ReadConfig(key, *config)) return r;
  s.config = std::move(config);
  // A worker kept for idle connections serves the new context.
  if (s.engine)
    s.engine->Reopen();
  else
    s.engine = std::make_unique<Engine>();
  s.connections.clear();
  s.refs = 1;
  return DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_UNINIT(uint32_t flags) {
  if (flags != 0) return DTL_E_BAD_ARG;
  State &s = LibraryState();
  Engine *engine;
  {
    Guard g(s.lock);
    if (s.refs == 0) return DTL_E_NOT_INIT;
    // Waiting for the worker from its own callback would never end.
    if (s.engine && s.engine->OnWorker()) return DTL_E_FAIL;
    if (--s.refs > 0) return DTL_SUCCESS;
    engine = s.engine.get();
    s.closing = true;
  }
  // Completes what is pending with DTL_E_CLOSING; idle connections stay for
  // the process's next context, for a while.
  engine->Close();
  EndWorkerAtUnload();
  Guard g(s.lock);
  s.config.reset();
  s.connections.clear();
  s.closing = false;
  return DTL_SUCCESS;
}

DTL_API DTL_TARGET *DTL_CALL DTL_CreateTargetFromPathString(const char *text, long *error, uint32_t flags) {
  long dummy;
  long &e = error ? *error : dummy;
  if (!text || (flags & ~1u)) return e = DTL_E_BAD_ARG, nullptr;
  Path path;
  if ((e = ParsePath(text, path)) != DTL_SUCCESS) return nullptr;
  if (!SameName(path.server, ComputerName())) return e = DTL_E_NO_SERVER, nullptr;
  if (flags & 1) {
    State &s = LibraryState();
    Guard g(s.lock);
    if (!s.config) return e = DTL_E_NOT_INIT, nullptr;
    if (DriverIndex(*s.config, path.driver) < 0) return e = DTL_E_NO_DRIVER, nullptr;
  }
  auto stored = EncodeTarget(path.server, path.top);
  if (!stored) return e = DTL_E_BAD_PATH, nullptr;
  auto *target = static_cast<DTL_TARGET *>(std::calloc(1, sizeof(DTL_TARGET)));
  if (!target) return e = DTL_E_FAIL, nullptr;
  std::memcpy(target, stored->data(), stored->size());
  e = DTL_SUCCESS;
  return target;
}

DTL_API long DTL_CALL DTL_GetTargetSize(const void *target, uint32_t *size) {
  if (!target || !size) return DTL_E_BAD_ARG;
  if (!DecodeTarget(target)) return DTL_E_BAD_TARGET;
  *size = static_cast<const uint8_t *>(target)[0] | (static_cast<const uint8_t *>(target)[1] << 8);
  return DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_GetTargetSrvrName(const void *target, char *text, uint32_t size) {
  auto t = target ? DecodeTarget(target) : std::nullopt;
  if (!t) return target ? DTL_E_BAD_TARGET : DTL_E_BAD_ARG;
  return CopyText(t->server, text, size);
}

DTL_API long DTL_CALL DTL_GetTargetDrvrName(const void *target, char *text, uint32_t size) {
  if (!target) return DTL_E_BAD_ARG;
  Path path;
  if (long r = TargetPath(target, path)) return r;
  return CopyText(path.driver, text, size);
}

DTL_API long DTL_CALL DTL_GetTargetTopPathString(const void *target, char *text, uint32_t size) {
  auto t = target ? DecodeTarget(target) : std::nullopt;
  if (!t) return target ? DTL_E_BAD_TARGET : DTL_E_BAD_ARG;
  return CopyText(t->top, text, size);
}

DTL_API long DTL_CALL DTL_GetTargetPlcFamily(const void *target, uint16_t *family) {
  if (!target || !family) return DTL_E_BAD_ARG;
  Path path;
  if (long r = TargetPath(target, path)) return r;
  State &s = LibraryState();
  Guard g(s.lock);
  if (!s.config) return DTL_E_NOT_INIT;
  int i = DriverIndex(*s.config, path.driver);
  if (i < 0) return DTL_E_NO_DRIVER;
  const SimDevice *d = FindSimDevice(s.config->drivers[i], path.station, path.hops);
  *family = d ? d->plcFamily : 0;
  return DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_DestroyTarget(DTL_TARGET *target) {
  std::free(target);
  return DTL_SUCCESS;
}

DTL_API uint32_t DTL_CALL DTL_MaxDrivers(void) { return DTL_MAX_DRIVERS; }

DTL_API long DTL_CALL DTL_DRIVER_LIST_EX(DTL_DRIVER_INFO *list, uint32_t *count, uint32_t) {
  if (!count || (!list && *count)) return DTL_E_BAD_ARG;
  State &s = LibraryState();
  Guard g(s.lock);
  if (!s.config) return DTL_E_NOT_INIT;
  const auto &drivers = s.config->drivers;
  uint32_t capacity = *count;
  for (uint32_t i = 0; i < drivers.size() && i < capacity; ++i) {
    DTL_DRIVER_INFO &e = list[i];
    std::memset(&e, 0, sizeof e);
    e.handle = i;
    e.network_type = drivers[i].networkType;
    e.kind = drivers[i].kind;
    std::strncpy(e.server, s.config->server.c_str(), sizeof e.server - 1);
    std::strncpy(e.name, drivers[i].name.c_str(), sizeof e.name - 1);
  }
  *count = static_cast<uint32_t>(drivers.size());
  return drivers.size() > capacity ? DTL_E_TOO_SMALL : DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_GetHandleByDriverName(const char *name) {
  if (!name) return -1;
  State &s = LibraryState();
  Guard g(s.lock);
  return s.config ? DriverIndex(*s.config, name) : -1;
}

DTL_API long DTL_CALL DTL_CreateDtsaFromTarget(const void *target, DTL_DTSA *dtsa) {
  if (!target || !dtsa) return DTL_E_BAD_ARG;
  Path path;
  if (long r = TargetPath(target, path)) return r;
  if (!SameName(path.server, ComputerName())) return DTL_E_NO_SERVER;
  State &s = LibraryState();
  Guard g(s.lock);
  if (!s.config) return DTL_E_NOT_INIT;
  int i = DriverIndex(*s.config, path.driver);
  if (i < 0) return DTL_E_NO_DRIVER;
  if (s.config->drivers[i].kind == DTL_KIND_ETHERNET_IP && !ParseEndpoint(path.station, 1)) return DTL_E_BAD_PATH;
  auto route = EncodeRoute(path);
  if (!route) return DTL_E_ROUTE_TOO_LONG;
  std::memset(dtsa, 0, sizeof *dtsa);
  dtsa->type = DTL_MSG_UNCONNECTED;
  dtsa->driver = static_cast<uint32_t>(i);
  dtsa->route_size = static_cast<uint32_t>(route->size());
  std::memcpy(dtsa->route, route->data(), route->size());
  return DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_OpenDtsa(const DTL_DTSA *dtsa) {
  if (!dtsa) return DTL_E_BAD_ARG;
  State &s = LibraryState();
  Guard g(s.lock);
  if (!s.config) return DTL_E_NOT_INIT;
  Route route;
  return ResolveDtsa(*s.config, dtsa, route);
}

DTL_API long DTL_CALL DTL_ASA_OPEN(const DTL_ASA_CONN_REQUEST *request, DTL_CONN_DONE callback, uintptr_t context,
                                   uint32_t) {
  if (!request || !callback || request->size < sizeof *request) return DTL_E_BAD_ARG;
  State &s = LibraryState();
  Guard g(s.lock);
  if (s.closing) return DTL_E_CLOSING;
  if (!s.config) return DTL_E_NOT_INIT;
  Route route;
  if (long r = ResolveDtsa(*s.config, &request->destination, route)) return r;
  uint32_t id = s.nextConnection++;
  s.connections[id] = request->destination;
  s.engine->Post([callback, context, id] { callback(context, DTL_CONN_OPENED, id, 0); });
  return DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_ASA_CLOSE(uint32_t connectionId, DTL_CONN_DONE callback, uintptr_t context) {
  State &s = LibraryState();
  Guard g(s.lock);
  if (s.closing) return DTL_E_CLOSING;
  if (!s.config) return DTL_E_NOT_INIT;
  if (!s.connections.erase(connectionId)) return DTL_E_NO_CONNECTION;
  if (callback)
    s.engine->Post([callback, context, connectionId] { callback(context, DTL_CONN_CLOSED, connectionId, 0); });
  return DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_ASA_MSG_CB(const void *header, uint8_t service, const uint8_t *path, uint32_t pathSize,
                                     const uint8_t *data, uint32_t dataSize, uint8_t *reply, uint32_t replyCapacity,
                                     uint32_t timeoutMs, DTL_MSG_DONE callback, uintptr_t context) {
  if (!header || !callback || (!reply && replyCapacity) || (!path && pathSize) || (!data && dataSize) || pathSize % 2 ||
      pathSize > DTL_ROUTE_MAX || dataSize > 4096)
    return DTL_E_BAD_ARG;
  State &s = LibraryState();
  Guard g(s.lock);
  if (s.closing) return DTL_E_CLOSING;
  if (!s.config) return DTL_E_NOT_INIT;
  uint32_t type;
  std::memcpy(&type, header, sizeof type);
  Route route;
  if (type == DTL_MSG_CONNECTED) {
    DTL_MSG_CONNECTED_HDR h;
    std::memcpy(&h, header, sizeof h);
    auto it = s.connections.find(h.connection_id);
    if (it == s.connections.end()) return DTL_E_NO_CONNECTION;
    if (long r = ResolveDtsa(*s.config, &it->second, route)) return r;
  } else if (long r = ResolveDtsa(*s.config, header, route)) {
    return r;
  }
  MsgRequest m;
  m.config = s.config;
  m.driver = route.driver;
  m.station = std::move(route.station);
  m.hops = std::move(route.hops);
  m.request = cip::BuildRequest(service, {path, pathSize}, {data, dataSize});
  m.reply = reply;
  m.capacity = replyCapacity;
  m.timeoutMs = timeoutMs;
  m.done = callback;
  m.context = context;
  s.engine->Send(std::move(m));
  return DTL_SUCCESS;
}

DTL_API long DTL_CALL DTL_ScanIdentities(const DTL_SCAN_ARGS *args, DTL_SCAN_FOUND found, uintptr_t context,
                                         DTL_SCAN_STATS *stats) {
  auto start = std::chrono::steady_clock::now();
  if (!args || !found || (stats && stats->size != sizeof *stats)) return DTL_E_BAD_ARG;
  ScanRequest request;
  if (long r = ScanArguments(*args, request)) return r;
  request.found = found;
  request.context = context;
  ScanWait wait;
  State &s = LibraryState();
  {
    Guard g(s.lock);
    if (s.closing) return DTL_E_CLOSING;
    if (!s.config) return DTL_E_NOT_INIT;
    // Waiting on the worker from its own callback would never end.
    if (s.engine->OnWorker()) return DTL_E_BAD_ARG;
    if (long r = ScanDriver(*s.config, args->driver, request)) return r;
    request.config = s.config;
    wait.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!wait.event) return DTL_E_FAIL;
    StartScan(*s.engine, std::move(request), [&wait](long result, const DTL_SCAN_STATS &seen) {
      wait.result = result;
      wait.stats = seen;
      SetEvent(wait.event);
    });
  }
  // The sweep ends by itself within its time-outs, or at once when the library stops.
  WaitForSingleObject(wait.event, INFINITE);
  CloseHandle(wait.event);
  if (stats) {
    *stats = wait.stats;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    stats->elapsed_ms = static_cast<uint32_t>(ms.count());
  }
  return wait.result;
}

}  // extern "C"
