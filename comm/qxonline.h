// The communications library's process-wide context and its target records:
// start and end (reference-counted), registry parameters, the default target,
// and targets made from the two route forms (a server's path string turned
// into target data, or a driver name with a CIP path in hexadecimal text).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "qx_errors.h"

// The initialize record. Size says how much of it the caller filled; a field
// is read only when Size reaches the end of it.
//
// Historically the record is a 32-bit layout with 4-byte pointers: Revision 0,
// Size 4, TestMode 8, CIP Objects 12, Library Type 16, Application 24, Top
// Level Registry Key 28, Second Level Registry Key 32, Class Revision table 36,
// parameter list 40, Registry Key Hive 44, Console Window 48, flag 52; 54 bytes
// in all. A 64-bit caller cannot put its pointers at those offsets, so the
// record is declared with native pointers and the Size thresholds are the
// actual ends of its fields (offsetof below): on a 32-bit build they are 40,
// 44, 48, 52 and 54 as always; on a 64-bit build 56, 64, 68, 72 and 74. A
// 64-bit caller passes sizeof(QxOnlineInitInfo); a Size below the first
// threshold (such as 54 from a caller thinking in 32-bit terms) reads nothing.
#pragma pack(push, 1)
struct QxOnlineInitInfo {
  DWORD Revision;             // 5
  DWORD Size;                 // bytes of the record that are valid
  DWORD TestMode;             // 0 normal; 1 and 2 test modes
  DWORD CipObjects;           // 0 "TesselPrime", 1 "DCL", 2 "PKA", 3 "UserDefined", 4 "TrendServer"
  char LibraryType[8];        // "STATIC"
  const char *Application;    // or null
  const char *TopLevelRegistryKey;     // replaces "SOFTWARE\Brenmoor Software\"
  const char *SecondLevelRegistryKey;  // replaces "Quillon.1\Communications\"
  const WORD *ClassRevisionTable;      // count, then (class, revision) pairs
  const void *ParameterList;           // read when Size covers it; listed in the report only
  DWORD RegistryKeyHive;      // 0: the default hive; else a predefined key's low 32 bits (0x80000001 ...)
  DWORD ConsoleWindow;        // 1: console output disabled
  WORD Flag;                  // the alternate setting
};
#pragma pack(pop)

inline constexpr DWORD kQxInitSizeBase = offsetof(QxOnlineInitInfo, ParameterList);
inline constexpr DWORD kQxInitSizeParameters = offsetof(QxOnlineInitInfo, RegistryKeyHive);
inline constexpr DWORD kQxInitSizeHive = offsetof(QxOnlineInitInfo, ConsoleWindow);
inline constexpr DWORD kQxInitSizeConsole = offsetof(QxOnlineInitInfo, Flag);
inline constexpr DWORD kQxInitSizeFull = sizeof(QxOnlineInitInfo);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(QxOnlineInitInfo, Application) == 24 && kQxInitSizeBase == 40 && kQxInitSizeParameters == 44 &&
              kQxInitSizeHive == 48 && kQxInitSizeConsole == 52 && kQxInitSizeFull == 54);
#endif

// Zeroes size bytes (at most the record), then sets Revision 5, Size, CIP
// Objects 0, Library Type "STATIC" and Console Window 0: each field that the
// size holds whole, whatever the size.
void QxOnlineFillInitInfo(QxOnlineInitInfo *info, DWORD size);

enum QxNetworkKind : DWORD {
  kQxNetDf1 = 0,
  kQxNetCnet = 1,
  kQxNetDhp = 2,
  kQxNetEnet = 3,
  kQxNetOnet = 4,
  kQxNetWayfind = 5
};
enum QxProtocol : DWORD { kQxProtoPccc = 1, kQxProtoAsa = 2, kQxProtoPcccNoFrag = 3 };

inline constexpr DWORD kQxMaxPathBytes = 510;   // CIP route bytes of a target
inline constexpr DWORD kQxMaxTargetData = 510;  // target data from a path string
inline constexpr DWORD kQxPathTextMax = 1024;   // path text, terminator included

// A route of one network kind: byte count, then the bytes.
#pragma pack(push, 1)
struct QxRouteBytes {
  WORD count;
  BYTE bytes[kQxMaxPathBytes];
};

// Where a packet server talks to. Every packet server owns a copy of the
// process-wide default record; a null record pointer means the default one.
struct QxCommTarget {
  DWORD NetworkKind;
  DWORD Protocol;
  char PathString[kQxPathTextMax];   // CIP path text; "00" when cleared
  QxRouteBytes PathBytes;            // the path text parsed
  BYTE PathSpare[1024 - sizeof(QxRouteBytes)];
  char DriverName[512];
  WORD NetworkType;                  // 0x110: the virtual backplane driver
  char LogFileName[64];
  char AdfValueString[1024];         // folder of the object-definition files
  char FilePathString[1024];         // log folder, or "NOLOGFILE"
  DWORD DefaultTimeOut;              // ms
  DWORD ConnectionSize;              // bytes
  DWORD RequestedPacketInterval;     // microseconds
  DWORD TimeOutMultiplier;           // 0, 1, 2: interval times 4, 8, 16
  WORD OptionsWord;
  DWORD CipObjects;
  QxRouteBytes Df1Route, CnetRoute, DhpRoute, EnetRoute;
  WORD TargetDataSize;
  BYTE TargetData[512];
  BYTE Reserved[13274 - 2 * 4 - 1024 - 1024 - 512 - 2 - 64 - 1024 - 1024 - 5 * 4 - 2 - 4 * 512 - 2 - 512];
};
#pragma pack(pop)
static_assert(sizeof(QxCommTarget) == 13274);

// Start and end of the context; counted, so every start needs its end.
void QxOnlineInitialize(const char *name, QxOnlineInitInfo *info);
void QxOnlineUninitialize();
// The context's reference count (0: not initialized).
DWORD QxOnlineReferenceCount();

HRESULT QxOnlineGetTargetSize(const char *pString, DWORD *pSize);
HRESULT QxOnlineGetTargetData(const char *pString, BYTE *pByte, DWORD dwSize);
bool QxOnlineIsTesselController(const QxCommTarget *pTarget);
HRESULT QxOnlineGetTopPathString(const QxCommTarget *pTarget, char *pString, DWORD dwSize);

// Target setters. A null target means the default record (under its lock).
HRESULT QxSetTargetProtocol(QxCommTarget *target, const char *protocol, const char *driver);
HRESULT QxSetTargetOtherNetwork(QxCommTarget *target, const char *driver, const char *path);
HRESULT QxSetTargetFromTargetData(QxCommTarget *target, const BYTE *data, DWORD count);
// The path text of the driver form into the record's path string and bytes:
// two hexadecimal digits per byte, groups separated by single blanks.
void QxParsePathString(QxCommTarget *target, const char *text);
// A copy of the default record (13274 bytes) under its lock.
HRESULT QxOnlineCopyDefaultTarget(QxCommTarget *out);
// The target dump written to the packet log.
void QxOnlineLogTarget(const QxCommTarget *target);
