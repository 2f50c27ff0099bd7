#include "config.h"

#include <windows.h>

#include <optional>

#include "cvapi32.h"
#include "platform/text/wide_text.h"

namespace commserver {

namespace {

// Up to n characters or the first null as ASCII, anything beyond it '?'.
// Not the code page's bytes: names and texts read here reach the wire (the
// simulated devices' product names) and the drivers' fixed name fields, and
// both stay ASCII, the same on every system.
std::string AsciiText(const WCHAR *w, size_t n) {
  std::string s;
  for (size_t i = 0; i < n && w[i]; ++i) s.push_back(w[i] < 0x80 ? static_cast<char>(w[i]) : '?');
  return s;
}

class Key {
 public:
  Key(HKEY parent, const std::string &sub) {
    auto w = platform::Widen(sub, CP_ACP);
    if (RegOpenKeyExW(parent, w.c_str(), 0, KEY_READ, &m_key) != ERROR_SUCCESS) m_key = nullptr;
  }
  ~Key() {
    if (m_key) RegCloseKey(m_key);
  }
  Key(const Key &) = delete;
  Key &operator=(const Key &) = delete;
  explicit operator bool() const { return m_key != nullptr; }
  HKEY Get() const { return m_key; }

  std::vector<std::string> Subkeys() const {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      DWORD size = 256;
      if (RegEnumKeyExW(m_key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      names.push_back(AsciiText(name, size));
    }
    return names;
  }
  std::optional<uint32_t> Dword(const char *name) const {
    auto w = platform::Widen(name, CP_ACP);
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExW(m_key, w.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
      return std::nullopt;
    return value;
  }
  std::optional<std::string> Text(const char *name) const {
    auto w = platform::Widen(name, CP_ACP);
    WCHAR value[512];
    DWORD type = 0, size = sizeof value;
    if (RegQueryValueExW(m_key, w.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(value), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
      return std::nullopt;
    return AsciiText(value, size / sizeof(WCHAR));
  }

 private:
  HKEY m_key = nullptr;
};

void ReadDevice(const Key &key, SimDevice &d, int depth) {
  auto &id = d.identity;
  id.vendor = static_cast<uint16_t>(key.Dword("Vendor").value_or(0));
  id.deviceType = static_cast<uint16_t>(key.Dword("DeviceType").value_or(0));
  id.productCode = static_cast<uint16_t>(key.Dword("ProductCode").value_or(0));
  id.major = static_cast<uint8_t>(key.Dword("MajorRevision").value_or(0));
  id.minor = static_cast<uint8_t>(key.Dword("MinorRevision").value_or(0));
  id.status = static_cast<uint16_t>(key.Dword("Status").value_or(0));
  id.serial = key.Dword("SerialNumber").value_or(0);
  id.name = key.Text("ProductName").value_or("");
  d.plcFamily = static_cast<uint16_t>(key.Dword("PlcFamily").value_or(0));
  d.delayMs = key.Dword("ReplyDelay").value_or(0);
  d.silent = key.Dword("Silent").value_or(0) != 0;
  d.cipError = static_cast<uint8_t>(key.Dword("CipError").value_or(0));
  d.cipExt = static_cast<uint16_t>(key.Dword("CipExtendedError").value_or(0));
  d.refuseService = static_cast<uint8_t>(key.Dword("RefuseService").value_or(0));
  d.holdMs = key.Dword("HoldReply").value_or(0);
  // Beyond: subkeys named after a port, each with subkeys named after links.
  if (depth >= 16) return;
  for (const auto &port : key.Subkeys()) {
    uint16_t number = 0;
    if (port == "Backplane" || port == "backplane")
      number = cip::kBackplanePort;
    else if (!port.empty() && port.size() <= 5 && port.find_first_not_of("0123456789") == std::string::npos)
      number = static_cast<uint16_t>(std::stoul(port));
    if (number == 0) continue;
    Key portKey(key.Get(), port);
    for (const auto &link : portKey.Subkeys()) {
      Key linkKey(portKey.Get(), link);
      ReadDevice(linkKey, d.beyond[{number, link}], depth + 1);
    }
  }
}

}  // namespace

long ReadConfig(const std::string &key, Config &out, std::vector<std::string> *skipped) {
  Config c;
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  if (GetComputerNameA(name, &size)) c.server.assign(name, size);
  Key drivers(HKEY_LOCAL_MACHINE, key + "\\Drivers");
  if (drivers) {
    for (const auto &n : drivers.Subkeys()) {
      Key k(drivers.Get(), n);
      Driver d;
      d.name = n;
      std::string kind = k.Text("Kind").value_or("");
      if (kind == "EtherNet/IP") {
        d.kind = DTL_KIND_ETHERNET_IP, d.networkType = DTL_NET_ETHERNET_IP;
      } else if (kind == "Simulated") {
        d.kind = DTL_KIND_SIMULATED, d.networkType = DTL_NET_SIMULATED;
      } else if (kind == "VirtualBackplane") {
        d.kind = DTL_KIND_VIRTUAL_BACKPLANE, d.networkType = DTL_NET_VIRTUAL_BACKPLANE;
      }
      if (!d.kind || n.empty() || n.size() >= DTL_NAME_MAX || c.drivers.size() >= DTL_MAX_DRIVERS) {
        if (skipped) skipped->push_back(n);
        continue;
      }
      if (auto t = k.Dword("NetworkType"); t && d.kind != DTL_KIND_VIRTUAL_BACKPLANE)
        d.networkType = static_cast<uint16_t>(*t);
      d.connectTimeoutMs = k.Dword("ConnectTimeout").value_or(d.connectTimeoutMs);
      d.replyTimeoutMs = k.Dword("ReplyTimeout");
      d.idleTimeMs = k.Dword("IdleTime").value_or(d.idleTimeMs);
      Key devices(k.Get(), "Devices");
      if (devices) {
        for (const auto &station : devices.Subkeys()) {
          Key s(devices.Get(), station);
          ReadDevice(s, d.devices[station], 0);
        }
      }
      c.drivers.push_back(std::move(d));
    }
  }
  out = std::move(c);
  return DTL_SUCCESS;
}

const SimDevice *FindSimDevice(const Driver &driver, const std::string &station, const std::vector<cip::Hop> &hops) {
  auto it = driver.devices.find(station);
  if (it == driver.devices.end()) return nullptr;
  const SimDevice *d = &it->second;
  for (const auto &hop : hops) {
    auto next = d->beyond.find({hop.port, hop.link});
    if (next == d->beyond.end()) return nullptr;
    d = &next->second;
  }
  return d;
}

}  // namespace commserver
