// GUIDs as text: the braced registry form.
#include <objbase.h>

#include <chrono>

#include "ole32/com_internal.h"

namespace platform {

namespace {

int HexDigit(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads 2*bytes hex digits; stops at the first non-digit (even the null).
bool ReadHex(const OLECHAR *&p, int digits, uint64_t &out) {
  out = 0;
  for (int i = 0; i < digits; ++i) {
    int d = HexDigit(p[i]);
    if (d < 0) return false;
    out = (out << 4) | static_cast<uint64_t>(d);
  }
  p += digits;
  return true;
}

}  // namespace

bool ParseBracedGuid(const OLECHAR *s, GUID *out) {
  const OLECHAR *p = s;
  uint64_t v;
  GUID g;
  if (*p++ != u'{') return false;
  if (!ReadHex(p, 8, v) || *p++ != u'-') return false;
  g.Data1 = static_cast<uint32_t>(v);
  if (!ReadHex(p, 4, v) || *p++ != u'-') return false;
  g.Data2 = static_cast<uint16_t>(v);
  if (!ReadHex(p, 4, v) || *p++ != u'-') return false;
  g.Data3 = static_cast<uint16_t>(v);
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(p, 2, v)) return false;
    g.Data4[i] = static_cast<uint8_t>(v);
    if (i == 1 && *p++ != u'-') return false;
  }
  if (*p++ != u'}' || *p != 0) return false;
  *out = g;
  return true;
}

void FormatGuid(REFGUID g, OLECHAR out[CHARS_IN_GUID]) {
  static const char kDigits[] = "0123456789ABCDEF";
  OLECHAR *p = out;
  auto put = [&p](uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) *p++ = static_cast<OLECHAR>(kDigits[(v >> (4 * i)) & 0xF]);
  };
  *p++ = u'{';
  put(g.Data1, 8);
  *p++ = u'-';
  put(g.Data2, 4);
  *p++ = u'-';
  put(g.Data3, 4);
  *p++ = u'-';
  put(g.Data4[0], 2);
  put(g.Data4[1], 2);
  *p++ = u'-';
  for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
  *p++ = u'}';
  *p = 0;
}

std::u16string GuidText(REFGUID g) {
  OLECHAR buf[CHARS_IN_GUID];
  FormatGuid(g, buf);
  return std::u16string(buf, CHARS_IN_GUID - 1);
}

FILETIME FileTimeNow() {
  using namespace std::chrono;
  // 1601-01-01 to 1970-01-01 in 100 ns units.
  constexpr uint64_t kEpochDelta = 116444736000000000ull;
  auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  uint64_t t = kEpochDelta + static_cast<uint64_t>(since1970 / 100);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

}  // namespace platform

using platform::GuidText;
using platform::ParseBracedGuid;

HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  // No text names the null class.
  if (!lpsz || !*lpsz) {
    *pclsid = GUID_NULL;
    return S_OK;
  }
  if (ParseBracedGuid(lpsz, pclsid)) return S_OK;
  *pclsid = GUID_NULL;
  // Anything not in braced form may be a ProgID.
  if (*lpsz != u'{' && SUCCEEDED(CLSIDFromProgID(lpsz, pclsid))) return S_OK;
  *pclsid = GUID_NULL;
  return CO_E_CLASSSTRING;
}

HRESULT STDAPICALLTYPE IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
  if (!lpiid) return E_INVALIDARG;
  if (!lpsz || !*lpsz) {
    *lpiid = GUID_NULL;
    return S_OK;
  }
  if (ParseBracedGuid(lpsz, lpiid)) return S_OK;
  *lpiid = GUID_NULL;
  return E_INVALIDARG;
}

int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < CHARS_IN_GUID) return 0;
  platform::FormatGuid(rguid, lpsz);
  return CHARS_IN_GUID;
}

HRESULT STDAPICALLTYPE StringFromCLSID(REFCLSID rclsid, LPOLESTR *lplpsz) {
  if (!lplpsz) return E_INVALIDARG;
  *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc(CHARS_IN_GUID * sizeof(OLECHAR)));
  if (!*lplpsz) return E_OUTOFMEMORY;
  StringFromGUID2(rclsid, *lplpsz, CHARS_IN_GUID);
  return S_OK;
}

HRESULT STDAPICALLTYPE StringFromIID(REFIID rclsid, LPOLESTR *lplpsz) { return StringFromCLSID(rclsid, lplpsz); }
