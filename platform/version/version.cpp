// The version information of a file (version.dll): its VS_VERSION_INFO
// resource, read as data, and the values inside it.
//
// Every block of the resource has the same layout, DWORD-aligned from the
// resource's start:
//   WORD wLength (the whole block, children included), WORD wValueLength
//   (characters for text, bytes for binary), WORD wType (1 text, 0 binary),
//   WCHAR szKey[] with its terminator, padding, the value, padding, children.
// The root's key is "VS_VERSION_INFO" and its value a VS_FIXEDFILEINFO; its
// children are "StringFileInfo" (tables of strings per language and code
// page) and "VarFileInfo" (with "Translation", pairs of WORDs).
#include <windows.h>

#include <string.h>

#include <string_view>
#include <vector>

#include "kernel32/text.h"
#include "version/module_file.h"

namespace {

uint16_t Word(const uint8_t *p) {
  uint16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

size_t AlignDword(size_t n) { return (n + 3) & ~size_t{3}; }

// One block, found within [start, limit) of the resource at base.
struct Block {
  size_t start = 0, end = 0;        // offsets from the resource's start
  size_t value = 0, valueSize = 0;  // the value's offset and size in bytes
  uint16_t valueLength = 0;         // as stored: characters or bytes
  size_t children = 0;
  std::u16string key;
};

bool ReadBlock(const uint8_t *base, size_t start, size_t limit, Block *b) {
  if (start > limit || limit - start < 6) return false;
  const uint16_t length = Word(base + start);
  if (length < 6 || length > limit - start) return false;
  b->start = start;
  b->end = start + length;
  b->valueLength = Word(base + start + 2);
  const uint16_t type = Word(base + start + 4);
  b->key.clear();
  size_t p = start + 6;
  for (; p + 2 <= b->end; p += 2) {
    const char16_t c = static_cast<char16_t>(Word(base + p));
    if (!c) break;
    b->key += c;
  }
  if (p + 2 > b->end) return false;  // no terminator inside the block
  b->value = AlignDword(p + 2);
  b->valueSize = type == 1 ? size_t{b->valueLength} * 2 : b->valueLength;
  if (b->value > b->end || b->end - b->value < b->valueSize) {
    if (b->valueLength) return false;
    b->value = b->end;  // no value: the padding may be left out at the end
  }
  b->children = AlignDword(b->value + b->valueSize);
  return true;
}

// The child of `parent` named `key`, ignoring case.
bool FindChild(const uint8_t *base, const Block &parent, std::u16string_view key, Block *out) {
  size_t at = parent.children;
  Block child;
  while (at < parent.end && ReadBlock(base, at, parent.end, &child)) {
    if (platform::EqualNoCase(child.key, key)) {
      *out = child;
      return true;
    }
    at = AlignDword(child.end);
  }
  return false;
}

// The resource, checked to start with a whole root block.
DWORD ReadVersionResource(LPCWSTR path, std::vector<uint8_t> *data) {
  if (!path) return ERROR_INVALID_PARAMETER;
  DWORD e = platform::ReadModuleFileResource(platform::View(path), 16 /* RT_VERSION */, VS_VERSION_INFO, data);
  if (e) return e;
  Block root;
  if (!ReadBlock(data->data(), 0, data->size(), &root) || root.key != u"VS_VERSION_INFO")
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  data->resize(root.end);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle) {
  if (lpdwHandle) *lpdwHandle = 0;
  std::vector<uint8_t> data;
  if (DWORD e = ReadVersionResource(lptstrFilename, &data)) {
    SetLastError(e);
    return 0;
  }
  return static_cast<DWORD>(data.size());
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
  if (!lpData) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  std::vector<uint8_t> data;
  if (DWORD e = ReadVersionResource(lptstrFilename, &data)) {
    SetLastError(e);
    return FALSE;
  }
  // A short buffer takes what fits; its root then says so, so that
  // VerQueryValueW never reads past the copy.
  const size_t n = std::min<size_t>(dwLen, data.size());
  memcpy(lpData, data.data(), n);
  if (n < data.size() && n >= 2) {
    const uint16_t length = static_cast<uint16_t>(n);
    memcpy(lpData, &length, sizeof length);
  }
  return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID *lplpBuffer, PUINT puLen) {
  if (!pBlock || !lpSubBlock || !lplpBuffer) return FALSE;
  const uint8_t *base = static_cast<const uint8_t *>(pBlock);
  Block at;
  if (!ReadBlock(base, 0, Word(base), &at)) return FALSE;
  std::u16string_view path = platform::View(lpSubBlock);
  while (!path.empty()) {
    const size_t slash = path.find(u'\\');
    const std::u16string_view part = path.substr(0, slash);
    path = slash == std::u16string_view::npos ? std::u16string_view() : path.substr(slash + 1);
    if (part.empty()) continue;
    if (!FindChild(base, at, part, &at)) {
      SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return FALSE;
    }
  }
  *lplpBuffer = const_cast<uint8_t *>(base + at.value);
  if (puLen) *puLen = at.valueLength;
  return TRUE;
}
