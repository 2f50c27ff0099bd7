// Registry writers for tests that configure the communications server's
// client library: drivers, and simulated devices with their Identity.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/text/wide_text.h"

#include <string>

namespace support {

inline HKEY CreateKey(HKEY hive, const std::string &path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(hive, platform::Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  return key;
}
inline void SetDword(const std::string &path, const char *name, DWORD v, HKEY hive = HKEY_LOCAL_MACHINE) {
  HKEY key = CreateKey(hive, path);
  RegSetValueExW(key, platform::Widen(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
  RegCloseKey(key);
}
inline void SetText(const std::string &path, const char *name, const std::string &v, HKEY hive = HKEY_LOCAL_MACHINE) {
  HKEY key = CreateKey(hive, path);
  auto w = platform::Widen(v);
  RegSetValueExW(key, platform::Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(w.c_str()),
                 static_cast<DWORD>((w.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
}
inline void DeleteTree(const std::string &path, HKEY hive = HKEY_LOCAL_MACHINE) {
  RegDeleteTreeW(hive, platform::Widen(path).c_str());
}
// A simulated device's Identity attributes.
inline void SetIdentity(const std::string &device, DWORD type, DWORD code, DWORD major, const std::string &name) {
  SetDword(device, "Vendor", 1);
  SetDword(device, "DeviceType", type);
  SetDword(device, "ProductCode", code);
  SetDword(device, "MajorRevision", major);
  SetDword(device, "MinorRevision", 7);
  SetDword(device, "SerialNumber", 0xC0FFEE);
  SetText(device, "ProductName", name);
}

}  // namespace support
