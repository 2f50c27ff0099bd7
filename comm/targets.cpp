// Targets: the default record, the target-data cache, the setters of the two
// route forms and the path text of the driver form.
#include "targets.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "context.h"
#include "cvapi_loader.h"

namespace comm {

namespace {

struct Cache {
  std::vector<BYTE> data;
  std::string path;    // the top path string the data belongs to
  std::string server;  // and its server, so "server!top" also hits
};

// Static storage, so that unloading the module holding the library frees it.
QxCommTarget g_defaultStorage;
QxCommTarget *g_default = nullptr;
Cache g_cache;

bool SameTextN(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    int x = std::toupper(static_cast<unsigned char>(a[i])), y = std::toupper(static_cast<unsigned char>(b[i]));
    if (x != y) return false;
    if (!x) return true;
  }
  return true;
}

// The record to work on: the caller's, or the default one.
QxCommTarget &Target(QxCommTarget *t) { return t ? *t : DefaultTarget(); }

bool CacheHit(const char *path) {
  if (!*path || g_cache.path.empty()) return false;
  if (SameText(path, g_cache.path.c_str())) return true;
  std::string full = g_cache.server + "!" + g_cache.path;
  return SameText(path, full.c_str());
}

void CacheStore(const BYTE *data, size_t size, const std::string &path, const std::string &server) {
  if (size && size == g_cache.data.size() && std::memcmp(data, g_cache.data.data(), size) == 0) {
    LogLine(" - New Target Data same as Cached Target Data");
  } else {
    bool dropped = !g_cache.data.empty();
    g_cache.data.clear();
    if (!data || size == 0) {
      LogLine(dropped ? " - Target Data Cache Emptied; Clearing Tracery Path"
                      : " - Target Data Cache is Empty; Clearing Tracery Path");
      g_cache.path.clear();
      g_cache.server.clear();
      return;
    }
    g_cache.data.assign(data, data + size);
    LogLine(" - Target Data Cached");
  }
  g_cache.path = path;
  g_cache.server = server;
}

void LogResult(HRESULT hr) {
  if (const char *name = QxErrorName(hr))
    LogLine("%s", name);
  else
    LogLine("Returning 0x%08x", static_cast<unsigned>(hr));
}

// Steps shared by QxOnlineGetTargetSize and QxOnlineGetTargetData: the target
// data for a path string, from the cache or from the server.
HRESULT FetchTarget(const char *function, const char *pString, const void *out, std::vector<BYTE> &data,
                    bool &cached) {
  LogLine("\n%s Thread ID 0x%08x", function, static_cast<unsigned>(GetCurrentThreadId()));
  LogLine("Tracery Path String = %s", pString ? pString : "<null>");
  if (!Initialized()) return QxE_NOT_INITIALIZED;
  if (!pString || !out) return E_INVALIDARG;
  if (HRESULT hr = StartClientInterface()) return hr;
  LibraryLock lock;
  cached = CacheHit(pString);
  if (cached) {
    data = g_cache.data;
    return S_OK;
  }
  long error = 0;
  DTL_TARGET *target = cvapi::DTL_CreateTargetFromPathString(pString, &error, 1);
  char server[64] = "", driver[64] = "", top[kQxPathTextMax] = "";
  HRESULT hr = S_OK;
  uint32_t size = 0;
  if (!target || cvapi::DTL_GetTargetSize(target, &size) != DTL_SUCCESS || size + DTL_TARGET_HEADER > 0xFFFF) {
    hr = QxE_COMM_DTLERROR;
  } else {
    cvapi::DTL_GetTargetSrvrName(target, server, sizeof server);
    cvapi::DTL_GetTargetDrvrName(target, driver, sizeof driver);
    cvapi::DTL_GetTargetTopPathString(target, top, sizeof top);
    // The stored form is the reported size plus its header: what a caller copies.
    size_t whole = size + DTL_TARGET_HEADER;
    data.assign(reinterpret_cast<const BYTE *>(target), reinterpret_cast<const BYTE *>(target) + whole);
    CacheStore(data.data(), top[0] ? whole : 0, top, server);
  }
  if (target) cvapi::DTL_DestroyTarget(target);
  if (FAILED(hr)) {
    LogLine(" Server Name from Target = %s", server[0] ? server : "<blank>");
    LogLine(" Driver Name from Target = %s", driver[0] ? driver : "<blank>");
    LogLine("Tracery Path from Target = %s", top[0] ? top : "<blank>");
  }
  return hr;
}

bool ParseHexByte(const char *two, BYTE *out) {
  int v = 0;
  for (int i = 0; i < 2; ++i) {
    char c = two[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * 16 + d;
  }
  *out = static_cast<BYTE>(v);
  return true;
}

void ClearPath(QxCommTarget &t) {
  CopyField(t.PathString, sizeof t.PathString, "00");
  t.PathBytes.count = 0;
}

}  // namespace

QxCommTarget &DefaultTarget() {
  LibraryLock lock;
  if (!g_default) {
    g_default = &g_defaultStorage;
    ResetDefaultTarget();
  }
  return *g_default;
}

void ResetDefaultTarget() {
  LibraryLock lock;
  if (!g_default) g_default = &g_defaultStorage;
  QxCommTarget &t = *g_default;
  std::memset(&t, 0, sizeof t);
  t.NetworkKind = kQxNetDf1;
  t.Protocol = kQxProtoAsa;
  CopyField(t.DriverName, sizeof t.DriverName, "MK_DF1-1");
  t.NetworkType = 1;
  t.DefaultTimeOut = kDefaultTimeOutMs;
  t.ConnectionSize = kDefaultConnectionSize;
  t.RequestedPacketInterval = 8000000;
  t.TimeOutMultiplier = 0;
  t.OptionsWord = 0x2000;
}

void EmptyTargetCache() {
  LibraryLock lock;
  g_cache = Cache();
}

bool CopyField(char *field, size_t size, const char *text) {
  size_t n = strnlen(text, size);
  bool fits = n < size;
  if (!fits) n = size - 1;
  std::memcpy(field, text, n);
  field[n] = 0;
  return fits;
}

void ApplyOptions(QxCommTarget &t, const char *options) {
  // Words separated by blanks; double quotes keep blanks inside a word.
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (const char *p = options; *p; ++p) {
    if (*p == '"') {
      quoted = !quoted;
      any = true;
    } else if ((*p == ' ' || *p == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += *p;
      any = true;
    }
  }
  if (any) words.push_back(word);
  for (const std::string &w : words) {
    size_t eq = w.find('=');
    if ((w[0] != '/' && w[0] != '-') || eq == std::string::npos) {
      LogLine("Option ignored: %s", w.c_str());
      continue;
    }
    std::string name = w.substr(1, eq - 1), value = w.substr(eq + 1);
    auto number = [&value](DWORD min, DWORD max, DWORD &out) {
      char *end = nullptr;
      unsigned long v = std::strtoul(value.c_str(), &end, 0);
      if (value.empty() || *end || v < min || v > max) return false;
      out = static_cast<DWORD>(v);
      return true;
    };
    DWORD v = 0;
    if (SameText(name.c_str(), "TimeOut") && number(1, 0x7FFFFFFF, v)) {
      t.DefaultTimeOut = v;
    } else if (SameText(name.c_str(), "ConnectionSize") && number(16, 0xFFFF, v)) {
      t.ConnectionSize = v;
    } else if (SameText(name.c_str(), "LogPath")) {
      if (!CopyField(t.FilePathString, sizeof t.FilePathString, value.c_str())) LogLine("File Path String Truncated!");
    } else if (SameText(name.c_str(), "LogName")) {
      if (!CopyField(t.LogFileName, sizeof t.LogFileName, value.c_str())) LogLine("File Name Truncated to 8 Characters!");
    } else if (SameText(name.c_str(), "Adf")) {
      if (!CopyField(t.AdfValueString, sizeof t.AdfValueString, value.c_str())) LogLine("ASAOBJ Value String Truncated!");
    } else if (SameText(name.c_str(), "Options") && number(0, 0xFFFF, v)) {
      t.OptionsWord = static_cast<WORD>(v);
    } else {
      LogLine("Option ignored: %s", w.c_str());
    }
  }
}

bool SameText(const char *a, const char *b) { return SameTextN(a, b, SIZE_MAX); }

}  // namespace comm

using namespace comm;

void QxParsePathString(QxCommTarget *target, const char *text) {
  // The default record is shared with every thread of the process.
  LibraryLock lock;
  QxCommTarget &t = Target(target);
  // A text of fewer than two characters is the empty path.
  t.PathString[0] = 0;
  t.PathBytes.count = 0;
  size_t length = text ? strnlen(text, kQxPathTextMax) : 0;
  if (length < 2) return;
  // At most 1023 characters, cut at the last blank that fits when there is one.
  if (length > kQxPathTextMax - 1) {
    LogLine("Path too long! Truncated!");
    length = kQxPathTextMax - 1;
    for (size_t i = length; i > 2; --i)
      if (text[i] == ' ') {
        length = i;
        break;
      }
  }
  std::memcpy(t.PathString, text, length);
  t.PathString[length] = 0;
  // Groups of two hexadecimal digits and a blank (or the end).
  WORD count = 0;
  for (size_t i = 0; i < length; i += 3) {
    BYTE b;
    bool whole = i + 2 <= length && ParseHexByte(t.PathString + i, &b);
    bool separated = i + 2 == length || (i + 2 < length && t.PathString[i + 2] == ' ');
    if (!whole || !separated) {
      LogLine("Invalid Path String!");
      t.PathString[0] = 0;
      return;
    }
    if (count == kQxMaxPathBytes) {
      LogLine("HEX Data Buffer Too Small!");
      t.PathString[0] = 0;
      return;
    }
    t.PathBytes.bytes[count++] = b;
  }
  t.PathBytes.count = count;
}

HRESULT QxSetTargetProtocol(QxCommTarget *target, const char *protocol, const char *driver) {
  LibraryLock lock;
  QxCommTarget &t = Target(target);
  if (!driver) return E_INVALIDARG;
  const char *network = protocol ? protocol : "";
  if (!*network) {
    if (SameTextN(driver, "TCP", 3))
      network = "ENET";
    else if (SameTextN(driver, "MK_KTC", 6))
      network = "CNET";
    else if (SameTextN(driver, "MK_KT", 5) || SameTextN(driver, "BSW_KT", 6))
      network = "DHP";
    else if (SameTextN(driver, "MK_DF1", 6))
      network = "DF1";
    else
      network = "ONET";
  }
  static const struct {
    const char *name;
    QxNetworkKind kind;
  } kNetworkKinds[] = {
      {"DF1", kQxNetDf1}, {"CNET", kQxNetCnet}, {"ENET", kQxNetEnet}, {"ONET", kQxNetOnet}, {"DHP", kQxNetDhp}};
  for (const auto &k : kNetworkKinds) {
    if (SameText(network, k.name)) {
      if (strnlen(driver, sizeof t.DriverName) >= sizeof t.DriverName)
        t.DriverName[0] = 0;
      else
        CopyField(t.DriverName, sizeof t.DriverName, driver);
      t.NetworkKind = k.kind;
      return S_OK;
    }
  }
  if (SameText(network, "WAYFIND")) return QxE_NOT_SUPPORTED;
  return E_FAIL;
}

HRESULT QxSetTargetOtherNetwork(QxCommTarget *target, const char *driver, const char *path) {
  if (!Initialized()) return QxE_NOT_INITIALIZED;
  if (!driver) return E_INVALIDARG;
  HRESULT remembered = S_OK;
  std::string chosen = driver;
  // The virtual backplane stands for whichever driver of that type is configured.
  if (TestMode() == 0 && std::strcmp(driver, "MK_VBP-1") == 0) {
    if (HRESULT hr = StartClientInterface()) return hr;
    uint32_t count = cvapi::DTL_MaxDrivers();
    if (count == 0 || count > 4096) count = DTL_MAX_DRIVERS;
    std::vector<DTL_DRIVER_INFO> list(count);
    long r = cvapi::DTL_DRIVER_LIST_EX(list.data(), &count, 0);
    if (r != DTL_SUCCESS && r != DTL_E_TOO_SMALL) return QxE_COMM_DTLERROR;
    count = std::min<uint32_t>(count, static_cast<uint32_t>(list.size()));
    if (count == 0) return QxE_NO_VIRTUAL_BACKPLANE;
    remembered = QxE_NO_VIRTUAL_BACKPLANE;
    for (uint32_t i = 0; i < count; ++i) {
      if (list[i].network_type == DTL_NET_VIRTUAL_BACKPLANE) {
        chosen.assign(list[i].name, strnlen(list[i].name, sizeof list[i].name));
        remembered = S_OK;
        break;
      }
    }
  }
  LibraryLock lock;
  QxCommTarget &t = Target(target);
  if (chosen.size() >= sizeof t.DriverName)
    t.DriverName[0] = 0;
  else
    CopyField(t.DriverName, sizeof t.DriverName, chosen.c_str());
  if (path)
    QxParsePathString(&t, path);
  else
    ClearPath(t);
  t.NetworkKind = kQxNetOnet;
  return remembered;
}

HRESULT QxSetTargetFromTargetData(QxCommTarget *target, const BYTE *data, DWORD count) {
  LibraryLock lock;
  QxCommTarget &t = Target(target);
  HRESULT hr = S_OK;
  if (!data && count) {
    hr = E_INVALIDARG;
  } else if (count > kQxMaxTargetData) {
    hr = E_FAIL;  // nothing is stored: the record holds at most 510 bytes
  } else {
    if (count) std::memcpy(t.TargetData, data, count);
    t.TargetDataSize = static_cast<WORD>(count);
  }
  t.NetworkKind = kQxNetWayfind;
  return hr;
}

HRESULT QxOnlineCopyDefaultTarget(QxCommTarget *out) {
  if (!out) return E_INVALIDARG;
  LibraryLock lock;
  if (!Initialized()) return QxE_NOT_INITIALIZED;
  std::memcpy(out, &DefaultTarget(), sizeof *out);
  return S_OK;
}

void QxOnlineLogTarget(const QxCommTarget *target) {
  if (!Log()) return;
  LibraryLock lock;
  const QxCommTarget &t = target ? *target : DefaultTarget();
  LogLine("Target Data:");
  char server[64] = "", driver[64] = "", top[kQxPathTextMax] = "";
  uint16_t family = 0;
  DTL_DTSA dtsa;
  const void *data = t.TargetData;
  if (t.TargetDataSize < DTL_TARGET_HEADER || cvapi::DTL_CreateDtsaFromTarget(data, &dtsa) != DTL_SUCCESS) {
    LogLine("Can't Create Dtsa!");
    return;
  }
  cvapi::DTL_GetTargetSrvrName(data, server, sizeof server);
  cvapi::DTL_GetTargetDrvrName(data, driver, sizeof driver);
  cvapi::DTL_GetTargetTopPathString(data, top, sizeof top);
  cvapi::DTL_GetTargetPlcFamily(data, &family);
  LogLine("Server:         %s", server);
  LogLine("Driver:         %s", driver);
  LogLine("Local network:  %d", static_cast<int>(dtsa.driver));
  LogLine("Remote network: %d", static_cast<int>(dtsa.route_size));
  LogLine("Tracery string: %s", top);
  LogLine("PLC Family:     %04x", family);
  if (family == 0x400) LogLine("  TesselPrime");
}

HRESULT QxOnlineGetTargetSize(const char *pString, DWORD *pSize) {
  std::vector<BYTE> data;
  bool cached = false;
  HRESULT hr = FetchTarget("QxOnlineGetTargetSize(pString, pSize) ", pString, pSize, data, cached);
  if (SUCCEEDED(hr)) {
    *pSize = static_cast<DWORD>(data.size() & 0xFFFF);
    if (cached) LogLine("  *pSize = 0x%08x - from Cached Target Data", static_cast<unsigned>(*pSize));
  }
  LogResult(hr);
  return hr;
}

HRESULT QxOnlineGetTargetData(const char *pString, BYTE *pByte, DWORD dwSize) {
  std::vector<BYTE> data;
  bool cached = false;
  HRESULT hr = FetchTarget("QxOnlineGetTargetData(pString, pByte, dwSize) ", pString, pByte, data, cached);
  if (SUCCEEDED(hr)) {
    if (cached) LogLine("wTargetSize = %d bytes - from Cached Target Data", static_cast<int>(data.size()));
    if (data.size() > dwSize)
      hr = QxE_COMM_BUFFERTOOSMALL;
    else
      std::memcpy(pByte, data.data(), data.size());
  }
  LogResult(hr);
  return hr;
}

bool QxOnlineIsTesselController(const QxCommTarget *pTarget) {
  if (!Initialized()) return false;
  if (StartClientInterface() != S_OK) return false;
  LibraryLock lock;
  const QxCommTarget &t = pTarget ? *pTarget : DefaultTarget();
  uint16_t family = 0;
  if (t.TargetDataSize < DTL_TARGET_HEADER || cvapi::DTL_GetTargetPlcFamily(t.TargetData, &family) != DTL_SUCCESS)
    return false;
  if (family & 0x400) return true;
  if (family != 0) return false;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<LPCWSTR>(u"Software\\Brenmoor Software\\Quillon\\CommParameters.1"),
                    0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  DWORD value = 0, type = 0, size = sizeof value;
  LONG r = RegQueryValueExW(key, reinterpret_cast<LPCWSTR>(u"CorvidDoesntKnowAllProcessors"), nullptr, &type,
                            reinterpret_cast<BYTE *>(&value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_DWORD && value != 0;
}

HRESULT QxOnlineGetTopPathString(const QxCommTarget *pTarget, char *pString, DWORD dwSize) {
  if (!pString || !dwSize) return E_INVALIDARG;
  if (!Initialized()) return QxE_NOT_INITIALIZED;
  if (HRESULT hr = StartClientInterface()) return hr;
  LibraryLock lock;
  const QxCommTarget &t = pTarget ? *pTarget : DefaultTarget();
  if (t.TargetDataSize < DTL_TARGET_HEADER) return QxE_COMM_DTLERROR;
  long r = cvapi::DTL_GetTargetTopPathString(t.TargetData, pString, dwSize);
  if (r == DTL_E_TOO_SMALL) return QxE_COMM_BUFFERTOOSMALL;
  return r == DTL_SUCCESS ? S_OK : QxE_COMM_DTLERROR;
}
