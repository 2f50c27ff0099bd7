// The communications server's client interface ("cvapi32"): the entry points,
// their error numbers and every layout that crosses the library boundary.
// Both sides include this header: the library in commserver/ exports these
// functions, and the component's loader in comm/ calls them through pointers it
// resolves by name at run time, so the types below are the whole contract.
//
// All multi-byte fields are little-endian and every structure is packed: the
// layouts are byte layouts, identical on Linux and on Windows x64.
//
// Threads: every entry point may be called from any thread. Completion
// callbacks run on the library's own worker thread, never inside the call that
// started the request; they may run before that call has returned to its
// caller. A callback must not call DTL_UNINIT.
#ifndef CVAPI32_H
#define CVAPI32_H

#include <stdint.h>

#if defined(_WIN32)
#define DTL_CALL __stdcall
#if defined(CVAPI32_BUILDING)
#define DTL_API __declspec(dllexport)
#else
#define DTL_API
#endif
#else
#define DTL_CALL
#if defined(CVAPI32_BUILDING)
#define DTL_API __attribute__((visibility("default")))
#else
#define DTL_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- Error numbers (the result of every entry point; 0 is success) --------
enum {
  DTL_SUCCESS = 0,
  DTL_E_FAIL = 1,             // an internal failure (out of memory, thread start)
  DTL_E_BAD_ARG = 2,          // a null pointer or a value out of range
  DTL_E_NOT_INIT = 3,         // DTL_INIT_BSW_EX has not been called
  DTL_E_BAD_PATH = 4,         // the path string does not follow the syntax
  DTL_E_NO_SERVER = 5,        // the path names a server that is not this computer
  DTL_E_NO_DRIVER = 6,        // the path or handle names a driver that is not configured
  DTL_E_TOO_SMALL = 7,        // a caller's buffer is too small; nothing was written
  DTL_E_BAD_TARGET = 8,       // target data that is not in the stored form below
  DTL_E_ROUTE_TOO_LONG = 9,   // a route longer than DTL_ROUTE_MAX bytes
  DTL_E_BAD_HEADER = 10,      // a message header of an unknown type or driver
  DTL_E_NO_CONNECTION = 11,   // a connection id that is not open
  DTL_E_NOT_SUPPORTED = 12,   // a request this driver kind does not serve
  DTL_E_CONFIG = 13,          // the driver configuration in the registry is unusable

  // Completion states (iostat of a completion callback).
  DTL_E_TIMEOUT = 20,          // no reply within the request's or the driver's time-out
  DTL_E_NO_DEVICE = 21,        // the device refused or did not accept the connection
  DTL_E_CONNECTION_LOST = 22,  // the device closed the connection before its reply was whole
  DTL_E_BAD_REPLY = 23,        // a reply that breaks the protocol (short, long, lying lengths)
  DTL_E_REPLY_TOO_LONG = 24,   // the reply does not fit the caller's reply buffer
  DTL_E_ENCAP_STATUS = 25,     // the device answered with a non-zero encapsulation status

  DTL_E_ALREADY_INIT = 39,  // DTL_INIT_BSW_EX: already initialised (counted; still ready)
  DTL_E_NO_FUNCTION = 68,   // loader only: the library lacks this entry point
  DTL_E_CLOSING = 138       // the library is shutting down: request refused, no callback follows
};

// ---- Limits ---------------------------------------------------------------
#define DTL_TARGET_MAX 510      // largest stored target (header included)
#define DTL_ROUTE_MAX 510       // largest route of a message header
#define DTL_NAME_MAX 32         // driver names: at most 31 characters
#define DTL_MAX_DRIVERS 64      // what DTL_MaxDrivers reports

// ---- Network types of the driver kinds (registry value "NetworkType" may override) ----
#define DTL_NET_ETHERNET_IP 0x0120
#define DTL_NET_SIMULATED 0x0100
#define DTL_NET_VIRTUAL_BACKPLANE 0x0110  // fixed: callers look for exactly this type

// Driver kinds (registry value "Kind": "EtherNet/IP", "Simulated", "VirtualBackplane").
#define DTL_KIND_ETHERNET_IP 1
#define DTL_KIND_SIMULATED 2
#define DTL_KIND_VIRTUAL_BACKPLANE 3

#pragma pack(push, 1)

// DTL_INIT_BSW_EX's arguments (optional: null means all defaults).
typedef struct DTL_INIT_ARGS {
  uint32_t size;            // sizeof(DTL_INIT_ARGS)
  uint32_t reserved;        // 0
  const char *config_key;   // HKLM key of the configuration; null: DTL_DEFAULT_CONFIG_KEY
} DTL_INIT_ARGS;

#define DTL_DEFAULT_CONFIG_KEY "SOFTWARE\\Brenmoor Software\\Corvid"

// A target's stored form: what DTL_CreateTargetFromPathString returns, what a
// caller copies as "target data", and what DTL_GetTargetSize measures. The
// reported size counts the body only, so the stored form is that size plus 4.
//   0  u16  body size (the reported size)
//   2  u8   format, DTL_TARGET_FORMAT
//   3  u8   0
//   4  body: the server name, NUL, the top path string ("DRIVER\hop\..."), NUL
typedef struct DTL_TARGET {
  uint16_t body_size;
  uint8_t format;
  uint8_t reserved;
  char body[DTL_TARGET_MAX - 4];
} DTL_TARGET;
#define DTL_TARGET_FORMAT 1
#define DTL_TARGET_HEADER 4

// One entry of DTL_DRIVER_LIST_EX: 64 bytes, the name at byte 28.
typedef struct DTL_DRIVER_INFO {
  uint32_t handle;         // 0  what DTL_GetHandleByDriverName returns for the name
  uint16_t network_type;   // 4
  uint16_t kind;           // 6  DTL_KIND_*
  char server[20];         // 8  this computer's name
  char name[DTL_NAME_MAX]; // 28 NUL-terminated
  uint32_t reserved;       // 60
} DTL_DRIVER_INFO;

// Message headers of DTL_ASA_MSG_CB. The destination address (DTSA) made by
// DTL_CreateDtsaFromTarget is an unconnected header and is passed as one.
#define DTL_MSG_UNCONNECTED 110
#define DTL_MSG_CONNECTED 111

// Type 110: the route is a CIP port-segment path. Its first segment names the
// device on the driver's network (for EtherNet/IP: the IPv4 address, optionally
// ":port", as an extended link address); further segments are hops beyond it.
typedef struct DTL_MSG_UNCONNECTED_HDR {
  uint32_t type;                 // 0  DTL_MSG_UNCONNECTED
  uint32_t driver;               // 4  driver handle
  uint16_t reserved;             // 8  0
  uint32_t route_size;           // 10 bytes of route that follow (at most DTL_ROUTE_MAX)
  uint8_t route[DTL_ROUTE_MAX];  // 14
} DTL_MSG_UNCONNECTED_HDR, DTL_DTSA;

// Type 111: a connection opened by DTL_ASA_OPEN.
typedef struct DTL_MSG_CONNECTED_HDR {
  uint32_t type;           // 0  DTL_MSG_CONNECTED
  uint32_t driver;         // 4  driver handle (informational; the connection decides)
  uint32_t connection_id;  // 8
} DTL_MSG_CONNECTED_HDR;

// DTL_ASA_OPEN's connection request.
typedef struct DTL_ASA_CONN_REQUEST {
  uint32_t size;               // sizeof(DTL_ASA_CONN_REQUEST)
  uint16_t connection_size;    // bytes
  uint32_t rpi_us;             // requested packet interval, microseconds
  uint8_t timeout_multiplier;  // 0, 1, 2: interval times 4, 8, 16
  uint8_t reserved;
  DTL_DTSA destination;        // where to
} DTL_ASA_CONN_REQUEST;

// ---- Discovery ----------------------------------------------------------------
// DTL_ScanIdentities' arguments. Zero in any number means its default.
typedef struct DTL_SCAN_ARGS {
  uint32_t size;           // sizeof(DTL_SCAN_ARGS)
  uint32_t timeout_ms;     // how long each address is waited for; default 1000
  uint32_t rate;           // List Identity requests sent per second; default 5000
  uint32_t max_addresses;  // the most unicast addresses a sweep may cover; default 1024
  int32_t backplane;       // < 0: devices only; N (0 to 255): also slots 0 to N of each device's backplane
  uint16_t port;           // the devices' UDP and TCP port; default 44818
  uint16_t reserved;       // 0
  // Networks ("192.168.1.0/24", prefix 0 to 32) and hosts ("192.168.1.10"),
  // separated by spaces or commas. A prefix up to 30 leaves out its network
  // and broadcast addresses; host bits beside a prefix are ignored; an
  // address named twice is swept once. Null or empty: none (a broadcast or a
  // driver alone).
  const char *targets;
  // Null, or an interface's name: List Identity is also broadcast there (the
  // interface's broadcast address, else its address with the host bits set).
  const char *broadcast_interface;
  // Null: EtherNet/IP over UDP. Else a configured driver: a Simulated or
  // VirtualBackplane one is scanned station by station, with targets null;
  // an EtherNet/IP one lends its time-outs to the backplane reads.
  const char *driver;
} DTL_SCAN_ARGS;

#define DTL_SLOT_NONE 0xFFFF  // DTL_IDENTITY.slot of the device itself

// One device or backplane module found.
typedef struct DTL_IDENTITY {
  uint32_t size;          // sizeof(DTL_IDENTITY)
  char address[48];       // the IPv4 address that answered ("127.0.0.2"), or a driver's station
  uint16_t slot;          // the backplane slot, or DTL_SLOT_NONE
  uint16_t vendor;        // the Identity object's attributes 1 to 7
  uint16_t device_type;
  uint16_t product_code;
  uint8_t major_revision;
  uint8_t minor_revision;
  uint16_t status;
  uint32_t serial_number;
  uint8_t state;          // List Identity's state byte; 0xFF for a module or a station
  uint8_t reserved[3];
  uint32_t reported_ipv4; // the socket address the reply names (a.b.c.d as (a << 24) | ...); 0 for modules
  char product_name[256]; // NUL-terminated, at most 255 bytes
} DTL_IDENTITY;

// What a sweep saw besides the identities it reports.
typedef struct DTL_SCAN_STATS {
  uint32_t size;          // sizeof(DTL_SCAN_STATS)
  uint32_t requests;      // List Identity requests sent (broadcast included)
  uint32_t replies;       // replies accepted (one per answering address)
  uint32_t malformed;     // replies dropped as malformed
  uint32_t wrong_source;  // replies dropped: from an unexpected port or address
  uint32_t duplicates;    // further replies from an address already answered
  uint32_t modules;       // backplane slots that answered
  uint32_t elapsed_ms;    // the sweep's duration
} DTL_SCAN_STATS;

#pragma pack(pop)

// One identity found; runs on the library's worker thread, one call at a time,
// before DTL_ScanIdentities returns. It must not call into the library.
typedef void(DTL_CALL *DTL_SCAN_FOUND)(uintptr_t context, const DTL_IDENTITY *identity);

// Connection states of the open and close callbacks.
#define DTL_CONN_OPENED 1
#define DTL_CONN_ERROR 2
#define DTL_CONN_FAILED 3
#define DTL_CONN_TIMED_OUT 4
#define DTL_CONN_CLOSED 5

// Completion of DTL_ASA_MSG_CB: exactly one call for every request the call
// accepted (result 0), none for a refused one. iostat 0: the reply buffer holds
// reply_size bytes of a CIP reply (reply service, 0, general status, additional
// status size in words, additional status, data); a CIP error is a reply, not
// an iostat. Otherwise iostat is a DTL_E_* completion state, reply_size is 0 (or
// the size that was needed, for DTL_E_REPLY_TOO_LONG) and ext_error carries
// the encapsulation status or 0.
typedef void(DTL_CALL *DTL_MSG_DONE)(uintptr_t context, uint32_t iostat, uint32_t reply_size, uint32_t ext_error);
// Completion of DTL_ASA_OPEN (state DTL_CONN_*, the new connection id) and of
// DTL_ASA_CLOSE (state DTL_CONN_CLOSED).
typedef void(DTL_CALL *DTL_CONN_DONE)(uintptr_t context, uint32_t state, uint32_t connection_id, uint32_t ext_error);

// ---- Entry points -----------------------------------------------------------
// Reference-counted start: 0 on the first call, DTL_E_ALREADY_INIT on later
// ones (both mean ready). max_defines is accepted and not used.
DTL_API long DTL_CALL DTL_INIT_BSW_EX(uint32_t max_defines, const DTL_INIT_ARGS *args);
// Ends one DTL_INIT_BSW_EX; the last one completes pending requests with
// DTL_E_CLOSING and stops the worker thread. flags must be 0.
DTL_API long DTL_CALL DTL_UNINIT(uint32_t flags);

// Parses "SERVER!DRIVER\hop\..." into a new target (free with DTL_DestroyTarget)
// or returns null with *error set. flags: 1 also requires the driver to be
// configured; 0 checks the syntax only.
DTL_API DTL_TARGET *DTL_CALL DTL_CreateTargetFromPathString(const char *path, long *error, uint32_t flags);
// The reported size of a target or of target data in the stored form.
DTL_API long DTL_CALL DTL_GetTargetSize(const void *target, uint32_t *size);
// Copies the server name, the driver name or the top path string
// ("DRIVER\hop\...") into text (size bytes, NUL included).
DTL_API long DTL_CALL DTL_GetTargetSrvrName(const void *target, char *text, uint32_t size);
DTL_API long DTL_CALL DTL_GetTargetDrvrName(const void *target, char *text, uint32_t size);
DTL_API long DTL_CALL DTL_GetTargetTopPathString(const void *target, char *text, uint32_t size);
// The controller family word: the device's configured "PlcFamily" for the
// simulated kinds, 0 (unknown) otherwise.
DTL_API long DTL_CALL DTL_GetTargetPlcFamily(const void *target, uint16_t *family);
DTL_API long DTL_CALL DTL_DestroyTarget(DTL_TARGET *target);

DTL_API uint32_t DTL_CALL DTL_MaxDrivers(void);
// Fills up to *count entries; *count becomes the number of drivers configured.
// More drivers than entries: the entries that fit and DTL_E_TOO_SMALL.
DTL_API long DTL_CALL DTL_DRIVER_LIST_EX(DTL_DRIVER_INFO *list, uint32_t *count, uint32_t timeout_ms);
// The driver's handle, or -1 when no driver has this name (case-insensitive).
DTL_API long DTL_CALL DTL_GetHandleByDriverName(const char *name);

// Makes the destination address (an unconnected header) for target data.
DTL_API long DTL_CALL DTL_CreateDtsaFromTarget(const void *target, DTL_DTSA *dtsa);
// Checks that the address's driver is configured and its route is well formed.
DTL_API long DTL_CALL DTL_OpenDtsa(const DTL_DTSA *dtsa);

DTL_API long DTL_CALL DTL_ASA_OPEN(const DTL_ASA_CONN_REQUEST *request, DTL_CONN_DONE callback, uintptr_t context,
                                   uint32_t timeout_ms);
// Sends one CIP request (service, request path of path_size bytes, data) along
// the header's route; the reply arrives through callback. timeout_ms bounds the
// wait (0: the driver's own reply time-out alone).
DTL_API long DTL_CALL DTL_ASA_MSG_CB(const void *header, uint8_t service, const uint8_t *path, uint32_t path_size,
                                     const uint8_t *data, uint32_t data_size, uint8_t *reply, uint32_t reply_capacity,
                                     uint32_t timeout_ms, DTL_MSG_DONE callback, uintptr_t context);
DTL_API long DTL_CALL DTL_ASA_CLOSE(uint32_t connection_id, DTL_CONN_DONE callback, uintptr_t context);

// A sweep: List Identity to every address of args->targets over UDP (and the
// broadcast), paced at args->rate and all in flight at once, so that it lasts
// about one time-out; then, with args->backplane, the identity of each slot of
// each answering device's backplane, in parallel. Blocks until done; every
// identity found goes to found (stats optional; its size must be set). Must
// not be called from a callback of the library. Errors: DTL_E_NOT_INIT;
// DTL_E_BAD_ARG (null args or callback, a wrong size, reserved not 0,
// backplane above 255, a malformed target, no target at all, more addresses
// than max_addresses, an interface that does not exist or has no IPv4
// address, a call on the library's worker thread); DTL_E_NO_DRIVER;
// DTL_E_NOT_SUPPORTED (targets or a broadcast with a simulated driver);
// DTL_E_CLOSING (the last DTL_UNINIT ran meanwhile); DTL_E_FAIL (a socket that
// cannot be opened). Finding nothing, a simulated driver without stations
// included, is success.
DTL_API long DTL_CALL DTL_ScanIdentities(const DTL_SCAN_ARGS *args, DTL_SCAN_FOUND found, uintptr_t context,
                                         DTL_SCAN_STATS *stats);

// Every entry point's name, for a loader that resolves them by name (the
// types are those declared above).
#define DTL_ENTRY_POINTS(X) \
  X(DTL_INIT_BSW_EX) \
  X(DTL_UNINIT) \
  X(DTL_CreateTargetFromPathString) \
  X(DTL_GetTargetSize) \
  X(DTL_GetTargetSrvrName) \
  X(DTL_GetTargetDrvrName) \
  X(DTL_GetTargetTopPathString) \
  X(DTL_GetTargetPlcFamily) \
  X(DTL_DestroyTarget) \
  X(DTL_MaxDrivers) \
  X(DTL_DRIVER_LIST_EX) \
  X(DTL_GetHandleByDriverName) \
  X(DTL_CreateDtsaFromTarget) \
  X(DTL_OpenDtsa) \
  X(DTL_ASA_OPEN) \
  X(DTL_ASA_MSG_CB) \
  X(DTL_ASA_CLOSE) \
  X(DTL_ScanIdentities)

#ifdef __cplusplus
}
#endif

#endif  // CVAPI32_H
