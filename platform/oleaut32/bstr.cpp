// BSTR: a 4-byte byte length, the text, then a wide null. The pointer handed
// out is the text's, so a BSTR reads as a terminated OLECHAR string.
#include <oleauto.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr size_t kPrefix = sizeof(DWORD);

// Allocates room for `bytes` bytes of text, with the prefix and a wide null;
// null when the whole would not fit the 32-bit size the format has.
BSTR AllocBytes(UINT bytes) {
  const uint64_t total = uint64_t{kPrefix} + bytes + sizeof(OLECHAR);
  if (total > 0xFFFFFFFFull) return nullptr;
  auto *block = static_cast<char *>(malloc(static_cast<size_t>(total)));
  if (!block) return nullptr;
  const DWORD length = bytes;
  memcpy(block, &length, kPrefix);
  char *text = block + kPrefix;
  text[bytes] = 0;
  text[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(text);
}

char *BlockOf(BSTR s) { return reinterpret_cast<char *>(s) - kPrefix; }

bool CharBytes(UINT len, UINT *bytes) {
  if (len > 0x7FFFFFFFu) return false;  // the byte count would not fit 32 bits
  *bytes = len * 2;
  return true;
}

}  // namespace

BSTR WINAPI SysAllocString(const OLECHAR *psz) {
  if (!psz) return nullptr;
  size_t len = 0;
  while (psz[len]) ++len;
  if (len > 0x7FFFFFFFu) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(len));
}

BSTR WINAPI SysAllocStringLen(const OLECHAR *strIn, UINT ui) {
  UINT bytes;
  if (!CharBytes(ui, &bytes)) return nullptr;
  BSTR s = AllocBytes(bytes);
  if (s && strIn) memcpy(s, strIn, bytes);
  return s;
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len) {
  BSTR s = AllocBytes(len);
  if (s && psz) memcpy(s, psz, len);
  return s;
}

INT WINAPI SysReAllocString(BSTR *pbstr, const OLECHAR *psz) {
  if (!pbstr) return FALSE;
  if (!psz) {  // Windows frees the old string and leaves null
    SysFreeString(*pbstr);
    *pbstr = nullptr;
    return TRUE;
  }
  size_t len = 0;
  while (psz[len]) ++len;
  if (len > 0x7FFFFFFFu) return FALSE;
  return SysReAllocStringLen(pbstr, psz, static_cast<UINT>(len));
}

INT WINAPI SysReAllocStringLen(BSTR *pbstr, const OLECHAR *psz, UINT len) {
  if (!pbstr) return FALSE;
  UINT bytes;
  if (!CharBytes(len, &bytes)) return FALSE;
  BSTR fresh = AllocBytes(bytes);
  if (!fresh) return FALSE;
  // The source may lie inside the old string, so copy before freeing it.
  // With no source the old text is kept, as far as it reaches.
  if (psz) {
    memcpy(fresh, psz, bytes);
  } else if (*pbstr) {
    UINT old = SysStringByteLen(*pbstr);
    memcpy(fresh, *pbstr, old < bytes ? old : bytes);
  }
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString) free(BlockOf(bstrString));
}

UINT WINAPI SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  DWORD length;
  memcpy(&length, BlockOf(bstr), kPrefix);
  return length;
}

UINT WINAPI SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }
