// Registry functions built on the wide core: the ANSI forms (names and
// string data through the ANSI code page), RegGetValueW, RegCopyTreeW and
// the older and shorter forms (RegSetValue, RegQueryValue, RegDeleteKeyEx,
// RegDeleteKeyValue).
#include <string.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "advapi32/value_store.h"
#include "kernel32/memory_probe.h"
#include "text/wide_text.h"

namespace {

bool IsString(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A name argument: null stays null.
class WideName {
 public:
  explicit WideName(const char *s) {
    if (s) m_text = platform::Widen(s, CP_ACP);
  }
  const WCHAR *Get() const { return m_text ? m_text->c_str() : nullptr; }

 private:
  std::optional<std::u16string> m_text;
};

// Stored data as an ANSI caller sees it: strings in the code page.
std::vector<BYTE> AnsiData(DWORD type, std::vector<BYTE> data) {
  if (!IsString(type)) return data;
  std::u16string wide(data.size() / 2, u'\0');
  memcpy(wide.data(), data.data(), wide.size() * 2);
  std::string text = platform::Narrow(wide, CP_ACP);
  return std::vector<BYTE>(text.begin(), text.end());
}

// Hands data to a caller's buffer as the Reg*Value functions do.
LONG GiveData(const std::vector<BYTE> &data, BYTE *out, DWORD *cb) {
  if (!cb) return ERROR_SUCCESS;
  const DWORD need = static_cast<DWORD>(data.size());
  if (out) {
    if (*cb < need) {
      *cb = need;
      return ERROR_MORE_DATA;
    }
    if (need) memcpy(out, data.data(), need);
  }
  *cb = need;
  return ERROR_SUCCESS;
}

// GiveData for ANSI string data: a string stored without its terminator
// gets one behind it when the buffer has room, though the count leaves it out.
LONG GiveAnsi(DWORD type, const std::vector<BYTE> &data, BYTE *out, DWORD *cb) {
  const DWORD capacity = out && cb ? *cb : 0;
  LONG e = GiveData(data, out, cb);
  if (!e && out && IsString(type) && !data.empty() && data.back() && data.size() < capacity) out[data.size()] = 0;
  return e;
}

// A whole value through the wide API, retrying while it grows under us.
LONG QueryWide(HKEY key, const WCHAR *name, DWORD *type, std::vector<BYTE> *data) {
  for (;;) {
    DWORD size = static_cast<DWORD>(data->size());
    LONG e = RegQueryValueExW(key, name, nullptr, type, data->empty() ? nullptr : data->data(), &size);
    if (e == ERROR_SUCCESS && (!data->empty() || size == 0)) {
      data->resize(size);
      return e;
    }
    if (e != ERROR_SUCCESS && e != ERROR_MORE_DATA) return e;
    data->resize(size ? size : 1);
  }
}

// The name and data of the index-th value through the wide API.
LONG EnumWide(HKEY key, DWORD index, std::u16string *name, DWORD *type, std::vector<BYTE> *data) {
  DWORD maxName = 0, maxData = 0;
  if (LONG e = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                                &maxData, nullptr, nullptr))
    return e;
  name->assign(maxName + 1, u'\0');
  data->resize(maxData);
  DWORD cch = maxName + 1, cb = maxData;
  LONG e = RegEnumValueW(key, index, name->data(), &cch, nullptr, type, data->data(), &cb);
  if (e) return e;
  name->resize(cch);
  data->resize(cb);
  return ERROR_SUCCESS;
}

LONG CopyTree(HKEY from, HKEY to) {
  std::u16string name;
  std::vector<BYTE> data;
  DWORD type;
  for (DWORD i = 0;; ++i) {
    LONG e = EnumWide(from, i, &name, &type, &data);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e) return e;
    if ((e = RegSetValueExW(to, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())))) return e;
  }
  for (DWORD i = 0;; ++i) {
    WCHAR sub[256];
    DWORD cch = 256;
    LONG e = RegEnumKeyExW(from, i, sub, &cch, nullptr, nullptr, nullptr, nullptr);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e) return e;
    HKEY src, dest;
    if ((e = RegOpenKeyExW(from, sub, 0, KEY_READ, &src))) return e;
    e = RegCreateKeyExW(to, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &dest, nullptr);
    if (!e) {
      e = CopyTree(src, dest);
      RegCloseKey(dest);
    }
    RegCloseKey(src);
    if (e) return e;
  }
  return ERROR_SUCCESS;
}

// %NAME% replaced by the variable's value; unknown names stay as written.
std::u16string Expand(std::u16string_view s) {
  std::u16string out;
  while (!s.empty()) {
    size_t open = s.find(u'%');
    size_t close = open == s.npos ? s.npos : s.find(u'%', open + 1);
    if (close == s.npos) break;
    out += s.substr(0, open);
    std::u16string name(s.substr(open + 1, close - open - 1));
    DWORD n = name.empty() ? 0 : GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (n) {
      std::u16string value(n, u'\0');
      value.resize(GetEnvironmentVariableW(name.c_str(), value.data(), n));
      out += value;
      s.remove_prefix(close + 1);
    } else {
      out += s.substr(open, close - open);  // the closing '%' may open the next name
      s.remove_prefix(close);
    }
  }
  return out += s;
}

// The RRF_RT_* bit that admits a value type.
DWORD TypeFlag(DWORD type) {
  switch (type) {
    case REG_NONE: return RRF_RT_REG_NONE;
    case REG_SZ: return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ: return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY: return RRF_RT_REG_BINARY;
    case REG_DWORD: return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ: return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD: return RRF_RT_REG_QWORD;
    default: return 0;
  }
}

LONG GetValue(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, DWORD *type, std::vector<BYTE> *data) {
  HKEY key = hkey;
  if (lpSubKey && *lpSubKey) {
    if (LONG e = RegOpenKeyExW(hkey, lpSubKey, 0, KEY_QUERY_VALUE, &key)) return e;
  }
  LONG e = QueryWide(key, lpValue, type, data);
  if (key != hkey) RegCloseKey(key);
  if (e) return e;
  if (IsString(*type)) {
    std::u16string text(data->size() / 2, u'\0');
    memcpy(text.data(), data->data(), text.size() * 2);
    if (*type == REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)) {
      text = Expand(text.substr(0, text.find(u'\0')));
      *type = REG_SZ;
    }
    // Strings come back terminated, even when stored without.
    if (text.empty() || text.back() != u'\0') text += u'\0';
    data->resize(text.size() * 2);
    memcpy(data->data(), text.data(), data->size());
  }
  const DWORD wanted = dwFlags & RRF_RT_ANY;
  if (!(TypeFlag(*type) & wanted)) return ERROR_UNSUPPORTED_TYPE;
  // RRF_RT_DWORD and RRF_RT_QWORD take binary data of exactly that size.
  if (*type == REG_BINARY && (wanted == RRF_RT_DWORD || wanted == RRF_RT_QWORD) &&
      data->size() != (wanted == RRF_RT_DWORD ? 4u : 8u))
    return ERROR_DATATYPE_MISMATCH;
  if ((*type == REG_DWORD && data->size() != 4) || (*type == REG_QWORD && data->size() != 8))
    return ERROR_DATATYPE_MISMATCH;
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                            PVOID pvData, LPDWORD pcbData) {
  if ((pvData && !pcbData) || !(dwFlags & RRF_RT_ANY)) return ERROR_INVALID_PARAMETER;
  // Expandable strings come back expanded unless RRF_NOEXPAND says otherwise.
  if ((dwFlags & RRF_RT_REG_EXPAND_SZ) && !(dwFlags & RRF_NOEXPAND)) return ERROR_INVALID_PARAMETER;
  const DWORD capacity = pvData ? *pcbData : 0;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  LONG e = GetValue(hkey, lpSubKey, lpValue, dwFlags, &type, &data);
  if (!e) {
    if (pdwType) *pdwType = type;
    e = GiveData(data, static_cast<BYTE *>(pvData), pcbData);
  }
  if (e && pvData && (dwFlags & RRF_ZEROONFAILURE)) memset(pvData, 0, capacity);
  return e;
}

LSTATUS WINAPI RegCopyTreeW(HKEY hKeySrc, LPCWSTR lpSubKey, HKEY hKeyDest) {
  HKEY from = hKeySrc;
  if (lpSubKey && *lpSubKey) {
    if (LONG e = RegOpenKeyExW(hKeySrc, lpSubKey, 0, KEY_READ, &from)) return e;
  }
  LONG e = CopyTree(from, hKeyDest);
  if (from != hKeySrc) RegCloseKey(from);
  return e;
}

LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return RegOpenKeyW(hKey, WideName(lpSubKey).Get(), phkResult);
}

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return RegOpenKeyExW(hKey, WideName(lpSubKey).Get(), ulOptions, samDesired, phkResult);
}

LSTATUS WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return RegCreateKeyW(hKey, WideName(lpSubKey).Get(), phkResult);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD dwOptions,
                               REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  return RegCreateKeyExW(hKey, WideName(lpSubKey).Get(), Reserved, nullptr, dwOptions, samDesired, lpSecurityAttributes,
                         phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) { return RegDeleteKeyW(hKey, WideName(lpSubKey).Get()); }

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return RegDeleteValueW(hKey, WideName(lpValueName).Get());
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                              DWORD cbData) {
  if (!IsString(dwType)) return RegSetValueExW(hKey, WideName(lpValueName).Get(), Reserved, dwType, lpData, cbData);
  std::string text(cbData, '\0');
  if (!platform::CopyFromCaller(text.data(), lpData, cbData)) return ERROR_NOACCESS;
  // A count that stops just short of the terminator takes it in, as on
  // Windows; any other string is stored exactly as counted.
  char next = 1;
  if (cbData && text.back() && platform::CopyFromCaller(&next, lpData + cbData, 1) && !next) text += '\0';
  std::u16string wide = platform::Widen(text, CP_ACP);
  std::vector<BYTE> data(wide.size() * sizeof(WCHAR));
  if (!data.empty()) memcpy(data.data(), wide.data(), data.size());
  return platform::SetValueAsGiven(hKey, WideName(lpValueName).Get(), dwType, std::move(data));
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  LONG e = QueryWide(hKey, WideName(lpValueName).Get(), &type, &data);
  if (e) {
    if (e == ERROR_FILE_NOT_FOUND && lpcbData && !lpData) *lpcbData = 0;
    return e;
  }
  if (lpType) *lpType = type;
  return GiveAnsi(type, AnsiData(type, std::move(data)), lpData, lpcbData);
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  std::u16string wname;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (LONG e = EnumWide(hKey, dwIndex, &wname, &type, &data)) return e;
  data = AnsiData(type, std::move(data));
  std::string name = platform::Narrow(wname, CP_ACP);
  if (lpType) *lpType = type;
  // When the name or the data does not fit, neither buffer nor the name's
  // count is touched; the data's count says what it needs.
  if (name.size() + 1 > *lpcchValueName || (lpData && *lpcbData < data.size())) {
    if (lpcbData) *lpcbData = static_cast<DWORD>(data.size());
    return ERROR_MORE_DATA;
  }
  memcpy(lpValueName, name.c_str(), name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(name.size());
  return GiveAnsi(type, data, lpData, lpcbData);
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
  WCHAR wide[256];
  DWORD cch = 256;
  if (LONG e = RegEnumKeyExW(hKey, dwIndex, wide, &cch, nullptr, nullptr, nullptr, lpftLastWriteTime)) return e;
  std::string name = platform::Narrow(platform::WideView(wide, cch), CP_ACP);
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass && lpcchClass) {  // keys carry no class
    if (*lpcchClass) lpClass[0] = 0;
    *lpcchClass = 0;
  }
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
  if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  LONG e = RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, lpcSubKeys, lpcbMaxSubKeyLen, lpcbMaxClassLen,
                            lpcValues, lpcbMaxValueNameLen, lpcbMaxValueLen, lpcbSecurityDescriptor,
                            lpftLastWriteTime);
  if (!e && lpcchClass) {
    if (lpClass && *lpcchClass) lpClass[0] = 0;
    *lpcchClass = 0;
  }
  return e;
}

namespace {

// The default value of hKey\subKey as a terminated string; a key without
// one reads as the empty string.
LONG QueryDefault(HKEY hKey, LPCWSTR subKey, DWORD *type, std::vector<BYTE> *data) {
  HKEY key = hKey;
  if (subKey && *subKey) {
    if (LONG e = RegOpenKeyExW(hKey, subKey, 0, KEY_QUERY_VALUE, &key)) return e;
  }
  LONG e = QueryWide(key, nullptr, type, data);
  if (key != hKey) RegCloseKey(key);
  if (e == ERROR_FILE_NOT_FOUND) {
    *type = REG_SZ;
    data->clear();
  } else if (e) {
    return e;
  }
  if (IsString(*type)) {
    data->resize(data->size() & ~size_t{1});
    if (data->empty() || (*data)[data->size() - 1] || (*data)[data->size() - 2]) data->insert(data->end(), {0, 0});
  }
  return ERROR_SUCCESS;
}

// Sets the default value of hKey\subKey (made when missing) to a string.
LONG SetDefault(HKEY hKey, LPCWSTR subKey, const BYTE *data, DWORD size, bool ansi) {
  HKEY key = hKey;
  if (subKey && *subKey) {
    if (LONG e = RegCreateKeyExW(hKey, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)) return e;
  }
  LONG e =
      ansi ? RegSetValueExA(key, nullptr, 0, REG_SZ, data, size) : RegSetValueExW(key, nullptr, 0, REG_SZ, data, size);
  if (key != hKey) RegCloseKey(key);
  return e;
}

}  // namespace

// Only a string, and its length, not the count given, says how much is stored.
LSTATUS WINAPI RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD) {
  if (dwType != REG_SZ || !lpData) return ERROR_INVALID_PARAMETER;
  size_t n = 0;
  while (lpData[n]) ++n;
  return SetDefault(hKey, lpSubKey, reinterpret_cast<const BYTE *>(lpData), static_cast<DWORD>((n + 1) * sizeof(WCHAR)),
                    false);
}

LSTATUS WINAPI RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD) {
  if (dwType != REG_SZ || !lpData) return ERROR_INVALID_PARAMETER;
  return SetDefault(hKey, WideName(lpSubKey).Get(), reinterpret_cast<const BYTE *>(lpData),
                    static_cast<DWORD>(strlen(lpData) + 1), true);
}

LSTATUS WINAPI RegQueryValueW(HKEY hKey, LPCWSTR lpSubKey, LPWSTR lpData, PLONG lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (LONG e = QueryDefault(hKey, lpSubKey, &type, &data)) return e;
  return GiveData(data, reinterpret_cast<BYTE *>(lpData), reinterpret_cast<DWORD *>(lpcbData));
}

LSTATUS WINAPI RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, PLONG lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  if (LONG e = QueryDefault(hKey, WideName(lpSubKey).Get(), &type, &data)) return e;
  return GiveData(AnsiData(type, std::move(data)), reinterpret_cast<BYTE *>(lpData),
                  reinterpret_cast<DWORD *>(lpcbData));
}

// There is one registry view, which any view asked for names.
LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM, DWORD) { return RegDeleteKeyW(hKey, lpSubKey); }

LSTATUS WINAPI RegDeleteKeyExA(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, DWORD Reserved) {
  return RegDeleteKeyExW(hKey, WideName(lpSubKey).Get(), samDesired, Reserved);
}

LSTATUS WINAPI RegDeleteKeyValueW(HKEY hKey, LPCWSTR lpSubKey, LPCWSTR lpValueName) {
  HKEY key = hKey;
  if (lpSubKey && *lpSubKey) {
    if (LONG e = RegOpenKeyExW(hKey, lpSubKey, 0, KEY_SET_VALUE, &key)) return e;
  }
  LONG e = RegDeleteValueW(key, lpValueName);
  if (key != hKey) RegCloseKey(key);
  return e;
}

LSTATUS WINAPI RegDeleteKeyValueA(HKEY hKey, LPCSTR lpSubKey, LPCSTR lpValueName) {
  return RegDeleteKeyValueW(hKey, WideName(lpSubKey).Get(), WideName(lpValueName).Get());
}
