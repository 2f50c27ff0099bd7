// BSTR: a 4-byte byte length, the text, then a wide null. The pointer handed
// out is the text's, so a BSTR reads as a terminated OLECHAR string. As on
// 64-bit Windows the text is 8-byte aligned: the block starts with 4 bytes of
// our own (the text's capacity, so a shorter string can reuse the block), then
// the length.
#include <oleauto.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace {

constexpr size_t kHeader = 2 * sizeof(DWORD);
constexpr size_t kGranule = 16;  // blocks grow in steps, zeroed past the text

char *BlockOf(BSTR s) { return reinterpret_cast<char *>(s) - kHeader; }

DWORD Capacity(BSTR s) {
  DWORD c;
  memcpy(&c, BlockOf(s), sizeof c);
  return c;
}

// Room for `bytes` bytes of text and a whole wide null after them, rounded
// so that a byte length of either parity ends on a zeroed OLECHAR; 0 when it
// would not fit the 32-bit size the format has.
uint64_t TextRoom(UINT bytes) {
  uint64_t room = (uint64_t{bytes} + 1) / 2 * 2 + sizeof(OLECHAR);
  room = (room + kHeader + kGranule - 1) / kGranule * kGranule - kHeader;
  return room + kHeader > 0xFFFFFFFFull ? 0 : room;
}

// Sets the length and zeroes everything after the text up to the capacity.
void Finish(BSTR s, UINT bytes) {
  char *block = BlockOf(s);
  const DWORD length = bytes;
  memcpy(block + sizeof(DWORD), &length, sizeof length);
  memset(reinterpret_cast<char *>(s) + bytes, 0, Capacity(s) - bytes);
}

BSTR AllocBytes(UINT bytes) {
  const uint64_t room = TextRoom(bytes);
  if (!room) return nullptr;
  auto *block = static_cast<char *>(malloc(static_cast<size_t>(room + kHeader)));
  if (!block) return nullptr;
  const DWORD capacity = static_cast<DWORD>(room);
  memcpy(block, &capacity, sizeof capacity);
  return reinterpret_cast<BSTR>(block + kHeader);
}

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
  return SysAllocStringByteLen(reinterpret_cast<LPCSTR>(strIn), bytes);
}

BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len) {
  BSTR s = AllocBytes(len);
  if (!s) return nullptr;
  if (psz) memcpy(s, psz, len);
  else memset(s, 0, len);  // Windows leaves it undefined; zero is one such
  Finish(s, len);
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
  BSTR old = *pbstr;
  // What to copy: the source's bytes, but from the old string itself (the
  // source may lie inside it) never more than it holds; with no source the
  // old text is kept as far as it reaches.
  const char *from = reinterpret_cast<const char *>(psz);
  size_t copy = psz ? bytes : 0;
  if (old) {
    const char *begin = reinterpret_cast<const char *>(old);
    const char *end = begin + SysStringByteLen(old);
    if (!psz) {
      from = begin;
      copy = std::min<size_t>(bytes, end - begin);
    } else if (from >= begin && from <= end) {
      copy = std::min<size_t>(bytes, end - from);
    }
  }
  if (old && TextRoom(bytes) && TextRoom(bytes) <= Capacity(old)) {
    if (copy && from != reinterpret_cast<const char *>(old)) memmove(old, from, copy);
    memset(reinterpret_cast<char *>(old) + copy, 0, bytes - copy);
    Finish(old, bytes);
    return TRUE;
  }
  BSTR fresh = AllocBytes(bytes);
  if (!fresh) return FALSE;
  if (copy) memcpy(fresh, from, copy);
  memset(reinterpret_cast<char *>(fresh) + copy, 0, bytes - copy);
  Finish(fresh, bytes);
  SysFreeString(old);
  *pbstr = fresh;
  return TRUE;
}

void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString) free(BlockOf(bstrString));
}

UINT WINAPI SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  DWORD length;
  memcpy(&length, BlockOf(bstr) + sizeof(DWORD), sizeof length);
  return length;
}

UINT WINAPI SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }
