// Start and end of the communications library's context: the reference count,
// registry parameters, the object definitions, the packet log and the
// communications server's client interface.
#include "context.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "cvapi_loader.h"
#include "platform/text/wide_text.h"
#include "targets.h"

namespace comm {

namespace {

constexpr char kTopKey[] = "SOFTWARE\\Brenmoor Software\\";
constexpr char kSecondKey[] = "Quillon.1\\Communications\\";
constexpr DWORD kDriverTableGrowth = 16;
constexpr const char *kCipObjectNames[] = {"TesselPrime", "DCL", "PKA", "UserDefined", "TrendServer"};

const char *CipObjectName(DWORD set) { return set < 5 ? kCipObjectNames[set] : "UnSupported"; }

struct DriverEntry {
  std::string name;
  DWORD id = 0;
};

struct Context {
  CRITICAL_SECTION lock;
  DWORD refs = 0;
  DWORD testMode = 0;
  bool realTime = false;
  bool threadOptimization = true;
  std::vector<DriverEntry> drivers;
  DWORD driverNumber = 0;
  QxASADiagnostics *log = nullptr;
  std::optional<adf::Catalog> definitions;
  std::vector<std::pair<uint16_t, uint16_t>> classRevisions;
  bool revisionTableLoaded = false;
  bool clientUp = false;
  bool watchDog = false;
  std::string topKey = kTopKey, secondKey = kSecondKey;
  HKEY hive = HKEY_LOCAL_MACHINE;
  std::string application;

  Context() { InitializeCriticalSection(&lock); }
  ~Context() { DeleteCriticalSection(&lock); }
};

Context &LibraryContext() {
  // A static object, not a heap one: the component module holding this
  // library may be unloaded and loaded again many times in one process.
  static Context g_context;
  return g_context;
}
// The lock exists from load, before any caller can race on the count.
[[maybe_unused]] const bool kCreatedAtLoad = (LibraryContext(), true);

// A registry value as text (REG_SZ, or a REG_DWORD in decimal), at most max bytes.
std::optional<std::string> ReadValue(HKEY hive, const std::string &key, const char *name, size_t max = 1024) {
  HKEY h;
  platform::WideString k = platform::Widen(key, CP_ACP);
  if (RegOpenKeyExW(hive, k.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  WCHAR buffer[1025] = {};
  DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
  platform::WideString n = platform::Widen(name, CP_ACP);
  LONG r = RegQueryValueExW(h, n.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(buffer),
                            &size);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return std::nullopt;
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD v;
    std::memcpy(&v, buffer, sizeof v);
    return std::to_string(v);
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  size_t chars = size / sizeof(WCHAR);
  while (chars && buffer[chars - 1] == 0) --chars;
  std::string text = platform::Narrow(platform::WideView(buffer, chars), CP_ACP);
  if (text.size() > max) text.resize(max);
  return text;
}

// A value that reads as a number: REG_DWORD, or text of decimal digits.
std::optional<DWORD> ReadNumber(HKEY hive, const std::string &key, const char *name) {
  auto text = ReadValue(hive, key, name);
  if (!text || text->empty() || text->size() > 10) return std::nullopt;
  uint64_t v = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<DWORD>(v);
}

std::string ParameterKey() { return LibraryContext().topKey + LibraryContext().secondKey; }

const char *HiveName(HKEY hive) {
  if (hive == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (hive == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  return "<hive of the initialize record>";
}

// A replacement key of the initialize record: under 128 characters, with a
// trailing backslash.
void TakeKey(std::string &out, const char *given) {
  if (!given || !*given || std::strlen(given) >= 128) return;
  out = given;
  if (out.back() != '\\') out += '\\';
}

// "comm" beside the host program, when it holds the definitions.
void FindDefinitionFolder(QxCommTarget &target) {
  if (target.AdfValueString[0]) return;
  char path[1024];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n < 2 || n >= sizeof path) return;
  std::string folder(path, n);
  size_t slash = folder.find_last_of("\\/");
  if (slash == std::string::npos) return;
  folder.resize(slash + 1);
  folder += "comm\\";
  platform::WideString file = platform::Widen(folder + adf::kFileName, CP_ACP);
  DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  CopyField(target.AdfValueString, sizeof target.AdfValueString, folder.c_str());
}

std::optional<adf::Catalog> LoadDefinitions(const char *folder) {
  if (!folder || !*folder) return std::nullopt;
  std::string path = folder;
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  path += adf::kFileName;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string text(adf::kMaxFileSize + 1, '\0');
  DWORD read = 0;
  BOOL ok = ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(file);
  if (!ok) return std::nullopt;
  text.resize(read);
  adf::Error error;
  auto catalog = adf::Parse(text, &error);
  if (!catalog) LogLine("ERROR: %s line %d: %s", path.c_str(), error.line, error.message.c_str());
  return catalog;
}

void StartupReport(const QxOnlineInitInfo *info, DWORD size) {
  QxASADiagnostics *log = LibraryContext().log;
  if (!log) return;
  struct Row {
    const char *label;
    std::string value;
  };
  const QxCommTarget &t = DefaultTarget();
  std::vector<Row> rows = {
      {"Size", std::to_string(size)},
      {"Revision", std::to_string(info && size >= kQxInitSizeBase ? info->Revision : 0)},
      {"TestMode", std::to_string(LibraryContext().testMode)},
      {"CIP Objects", CipObjectName(t.CipObjects)},
      {"Application", LibraryContext().application.empty() ? "<null>" : LibraryContext().application},
      {"Library Type",
       info && size >= kQxInitSizeBase ? std::string(info->LibraryType, strnlen(info->LibraryType, 8)) : ""},
      {"Console Window", info && size >= kQxInitSizeConsole && info->ConsoleWindow == 1 ? "Disabled" : "Enabled"},
      {"Registry Key Hive", HiveName(LibraryContext().hive)},
      {"Top Level Registry Key", LibraryContext().topKey},
      {"Second Level Registry Key", LibraryContext().secondKey},
      {"Class Revision Size", std::to_string(LibraryContext().classRevisions.size())},
  };
  size_t width = 0;
  for (const Row &r : rows) width = std::max(width, std::strlen(r.label));
  std::string text = "\nQxOnline Initialize Information\n";
  char line[512];
  for (const Row &r : rows) {
    std::snprintf(line, sizeof line, "%*s: %s\n", static_cast<int>(width), r.label, r.value.c_str());
    text += line;
  }
  for (size_t i = 0; i < LibraryContext().classRevisions.size(); ++i) {
    std::snprintf(line, sizeof line, " %03d", LibraryContext().classRevisions[i].first);
    text += line;
    if (i % 12 == 11 || i + 1 == LibraryContext().classRevisions.size()) text += "\n";
  }
  log->Write(text);
}

}  // namespace

LibraryLock::LibraryLock() { EnterCriticalSection(&LibraryContext().lock); }
LibraryLock::~LibraryLock() { LeaveCriticalSection(&LibraryContext().lock); }

bool Initialized() {
  LibraryLock lock;
  return LibraryContext().refs > 0;
}
DWORD TestMode() {
  LibraryLock lock;
  return LibraryContext().testMode;
}
bool ThreadOptimization() {
  LibraryLock lock;
  return LibraryContext().threadOptimization;
}
bool RealTime() {
  LibraryLock lock;
  return LibraryContext().realTime;
}
bool ConnectionWatchDog() {
  LibraryLock lock;
  return LibraryContext().watchDog;
}
QxASADiagnostics *CurrentLog() {
  LibraryLock lock;
  return LibraryContext().log;
}
const adf::Catalog *Definitions() {
  LibraryLock lock;
  return LibraryContext().definitions ? &*LibraryContext().definitions : nullptr;
}
std::vector<std::pair<uint16_t, uint16_t>> ClassRevisionTable() {
  LibraryLock lock;
  return LibraryContext().classRevisions;
}
bool RevisionTableLoaded() {
  LibraryLock lock;
  return LibraryContext().revisionTableLoaded;
}
void SetRevisionTableLoaded() {
  LibraryLock lock;
  LibraryContext().revisionTableLoaded = true;
}

HRESULT StartClientInterface(uint32_t count) {
  LibraryLock lock;
  if (!LibraryContext().refs) return QxE_NOT_INITIALIZED;
  if (LibraryContext().clientUp) return S_OK;
  long r = cvapi::DTL_INIT_BSW_EX(count, nullptr);
  if (r != DTL_SUCCESS && r != DTL_E_ALREADY_INIT) {
    LogLine("ERROR: Corvid DTL_INIT_BSW_EX() - retval=%ld", r);
    return QxE_COMM_DTLERROR;
  }
  LibraryContext().clientUp = true;
  return S_OK;
}

HRESULT OpenDriver(const char *name, DWORD *driverId) {
  LibraryLock lock;
  Context &c = LibraryContext();
  *driverId = 0;
  if (c.testMode == 2) return S_OK;
  LogLine("Opening Corvid Entry Number %u", static_cast<unsigned>(c.drivers.size()));
  for (const DriverEntry &e : c.drivers) {
    if (SameText(e.name.c_str(), name)) {
      *driverId = e.id;
      LogLine(" - Already Started...");
      return S_OK;
    }
  }
  DWORD id;
  if (c.testMode == 1) {
    id = 0xDEAD0001u + c.driverNumber;
  } else {
    long handle = cvapi::DTL_GetHandleByDriverName(name);
    if (handle == -1) {
      LogLine("ERROR: from Corvid DTL_GetHandleByDriverName() - m_driverID=0x%08x", 0xFFFFFFFFu);
      LogLine("       forcing DTL_E_DRIVER_NAME_INVALID");
      LogLine("       DriverName = %s", name);
      return QxE_DRIVER_OPEN_FAILED;
    }
    id = static_cast<DWORD>(handle);
  }
  // A driver the table cannot take is still used, only opened again next time.
  *driverId = id;
  try {
    // The log tells of the table's growth every sixteen drivers.
    if (!c.drivers.empty() && c.drivers.size() % kDriverTableGrowth == 0)
      LogLine("pDriverInfo->numberOfOpenDrivers is %d - Allocating More Entries!", static_cast<int>(c.drivers.size()));
    c.drivers.push_back({name, id});
  } catch (const std::bad_alloc &) {
    LogLine("Driver Not Added!");
    return S_OK;
  }
  ++c.driverNumber;
  LogLine(" - Successful");
  return S_OK;
}

size_t OpenDriverCount() {
  LibraryLock lock;
  return LibraryContext().drivers.size();
}

}  // namespace comm

using namespace comm;

void QxOnlineFillInitInfo(QxOnlineInitInfo *info, DWORD size) {
  if (!info) return;
  size = std::min<DWORD>(size, sizeof *info);
  std::memset(info, 0, size);
  // Every field the size holds whole: a record too short for the reader's
  // thresholds (a 32-bit caller's 54 bytes here) still says what it is.
  auto holds = [size](size_t offset, size_t bytes) { return offset + bytes <= size; };
  if (holds(offsetof(QxOnlineInitInfo, Revision), sizeof info->Revision)) info->Revision = 5;
  if (holds(offsetof(QxOnlineInitInfo, Size), sizeof info->Size)) info->Size = size;
  if (holds(offsetof(QxOnlineInitInfo, LibraryType), sizeof info->LibraryType))
    std::memcpy(info->LibraryType, "STATIC", 7);
  // CIP Objects 0 and Console Window 0 are the zeroes above.
}

DWORD QxOnlineReferenceCount() {
  LibraryLock lock;
  return LibraryContext().refs;
}

void QxOnlineInitialize(const char *name, QxOnlineInitInfo *info) {
  LibraryLock lock;
  Context &c = LibraryContext();
  // Later starts only count.
  if (c.refs > 0) {
    ++c.refs;
    return;
  }
  QxCommTarget &t = DefaultTarget();
  c.topKey = kTopKey;
  c.secondKey = kSecondKey;
  c.hive = HKEY_LOCAL_MACHINE;
  c.testMode = 0;
  c.application.clear();
  c.classRevisions.clear();
  c.revisionTableLoaded = false;
  FindDefinitionFolder(t);
  // Without a configured log folder there is no packet log.
  CopyField(t.FilePathString, sizeof t.FilePathString, "NOLOGFILE");
  // The record, as far as its Size reaches.
  DWORD size = info ? info->Size : 0;
  if (info && size >= kQxInitSizeBase) {
    c.testMode = info->TestMode;
    TakeKey(c.topKey, info->TopLevelRegistryKey);
    TakeKey(c.secondKey, info->SecondLevelRegistryKey);
    if (info->Application) c.application.assign(info->Application, strnlen(info->Application, 260));
    if (info->CipObjects != t.CipObjects) {
      if (t.CipObjects == 0)
        t.CipObjects = info->CipObjects;
      else
        info->CipObjects = t.CipObjects;
    }
    if (const WORD *table = info->ClassRevisionTable) {
      WORD count = std::min<WORD>(table[0], 256);
      for (WORD i = 0; i < count; ++i) c.classRevisions.emplace_back(table[1 + 2 * i], table[2 + 2 * i]);
    }
    if (size >= kQxInitSizeHive && info->RegistryKeyHive)
      c.hive = reinterpret_cast<HKEY>(static_cast<uintptr_t>(static_cast<LONG>(info->RegistryKeyHive)));
  }
  std::string key = ParameterKey();
  auto options = ReadValue(c.hive, key, "CommandLine", 128);
  if (options) ApplyOptions(t, options->c_str());
  if (t.OptionsWord & 0x2000) t.OptionsWord &= static_cast<WORD>(~0x2000);
  c.drivers.clear();
  c.driverNumber = 0;
  c.realTime = GetPriorityClass(GetCurrentProcess()) == REALTIME_PRIORITY_CLASS;
  auto optimization = ReadNumber(c.hive, key, "ThreadOptimization");
  c.threadOptimization = c.realTime || !optimization || *optimization != 0;
  if (name && *name && !CopyField(t.LogFileName, sizeof t.LogFileName, name))
    LogLine("File Name Truncated to 8 Characters!");
  c.log = QxASADiagnostics::Open(t.FilePathString, t.LogFileName[0] ? t.LogFileName : "QxOnline");
  // The definitions beside the host program, or where the options put them.
  c.definitions = LoadDefinitions(t.AdfValueString);
  c.refs = 1;
  StartupReport(info, size);
  LogLine("Command Line        = %s", options && !options->empty() ? options->c_str() : "<empty>");
  // The watch-dog setting, told to whoever debugs the host, in the log; the
  // debugger is looked for only when there is a log to tell it in.
  auto watchDog = ReadNumber(c.hive, key, "ConnectionWatchDog");
  c.watchDog = watchDog && *watchDog;
  if (!c.watchDog && c.log && IsDebuggerPresent()) {
    LogLine("MSVC Lockup -- ASAPacketServer Connection Watch Dog Thread is DISABLED");
    LogLine("               Set Registry Key %s\\%sConnectionWatchDog = 1", HiveName(c.hive), key.c_str());
    LogLine("               to ENABLE Connection Watch Dog Thread");
  }
}

void QxOnlineUninitialize() {
  LibraryLock lock;
  Context &c = LibraryContext();
  if (c.refs == 0) return;
  if (c.refs > 1) {
    --c.refs;
    return;
  }
  LogLine("Closing Drivers Opened for Wayfind");
  c.drivers.clear();
  c.drivers.shrink_to_fit();
  EmptyTargetCache();
  delete c.log;
  c.log = nullptr;
  c.definitions.reset();
  if (c.clientUp) cvapi::DTL_UNINIT(0);
  c.clientUp = false;
  ResetDefaultTarget();
  c.refs = 0;
}
