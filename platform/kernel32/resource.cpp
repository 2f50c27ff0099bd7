// Resources of a module: read from the .res image the module embeds (see
// resource_format.h), with Windows' choice of language.
#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "kernel32/module.h"
#include "kernel32/resource_format.h"
#include "kernel32/text.h"

namespace platform {

namespace {

uint16_t Word(const uint8_t *p) {
  uint16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

uint32_t Dword(const uint8_t *p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

// A TYPE or NAME field at p, not beyond end; p moves past it.
bool ReadId(const uint8_t *&p, const uint8_t *end, ResourceId &out) {
  if (end - p < 2) return false;
  if (Word(p) == 0xFFFF) {
    if (end - p < 4) return false;
    out = {{}, Word(p + 2)};
    p += 4;
    return true;
  }
  const uint8_t *q = p;
  while (end - q >= 2 && Word(q) != 0) q += 2;
  if (end - q < 2 || q == p) return false;
  out = {std::u16string_view(reinterpret_cast<const char16_t *>(p), (q - p) / 2), 0};
  p = q + 2;
  return true;
}

size_t AlignDword(size_t n) { return (n + 3) & ~size_t{3}; }

}  // namespace

std::optional<ResourceRecord> ReadResourceRecord(const uint8_t *begin, size_t size, size_t offset, size_t &next) {
  if (offset > size || size - offset < 8) return std::nullopt;
  const uint8_t *start = begin + offset;
  ResourceRecord r;
  r.start = start;
  r.size = Dword(start);
  uint32_t headerSize = Dword(start + 4);
  if (headerSize < 8 || headerSize > size - offset || r.size > size - offset - headerSize) return std::nullopt;
  const uint8_t *headerEnd = start + headerSize;
  const uint8_t *p = start + 8;
  if (!ReadId(p, headerEnd, r.type) || !ReadId(p, headerEnd, r.name)) return std::nullopt;
  p = begin + AlignDword(p - begin);
  // DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
  if (p > headerEnd || headerEnd - p < 16) return std::nullopt;
  r.language = Word(p + 6);
  r.data = headerEnd;
  next = AlignDword(offset + headerSize + r.size);
  return r;
}

namespace {

// The module's embedded .res image, or an empty span.
std::u8string_view ImageOf(HMODULE module) {
  auto info = FindModule(module);
  if (!info) return {};
  auto *begin = static_cast<const char8_t *>(ModuleSymbol(*info, kResourceSymbol));
  auto *end = static_cast<const char8_t *>(ModuleSymbol(*info, kResourceEndSymbol));
  if (!begin || !end || end < begin) return {};
  return std::u8string_view(begin, end - begin);
}

// Every well-formed record of the module, in file order; reading stops at
// the first malformed one.
std::vector<ResourceRecord> RecordsOf(HMODULE module) {
  std::u8string_view image = ImageOf(module);
  auto *base = reinterpret_cast<const uint8_t *>(image.data());
  std::vector<ResourceRecord> records;
  size_t offset = 0, next = 0;
  while (offset < image.size()) {
    auto r = ReadResourceRecord(base, image.size(), offset, next);
    if (!r) break;
    // The leading empty record only marks the format.
    if (!(r->size == 0 && r->type.name.empty() && r->type.id == 0)) records.push_back(*r);
    offset = next;
  }
  return records;
}

// An id as FindResource takes it: MAKEINTRESOURCE(n), "#n" or a name, which
// matches ignoring case.
bool Matches(const char16_t *query, const ResourceId &entry) {
  if (IS_INTRESOURCE(query)) return entry.name.empty() && entry.id == LOWORD(reinterpret_cast<ULONG_PTR>(query));
  std::u16string_view q = View(query);
  if (!q.empty() && q[0] == u'#') {
    unsigned value = 0;
    for (char16_t c : q.substr(1)) {
      if (c < u'0' || c > u'9' || value > 0xffff) return false;
      value = value * 10 + (c - u'0');
    }
    return q.size() > 1 && entry.name.empty() && entry.id == value;
  }
  return !entry.name.empty() && EqualNoCase(q, entry.name);
}

const ResourceRecord *WithLanguage(const std::vector<ResourceRecord> &c, bool (*match)(WORD, WORD), WORD lang) {
  const ResourceRecord *best = nullptr;
  for (auto &e : c) {
    if (match(e.language, lang) && (!best || e.language < best->language)) best = &e;
  }
  return best;
}

bool Exact(WORD have, WORD want) { return have == want; }
bool SamePrimary(WORD have, WORD want) { return PRIMARYLANGID(have) == PRIMARYLANGID(want); }

// Without a language the thread locale chooses; then its primary language,
// neutral, English, and at last whatever there is, as Windows does.
const ResourceRecord *ChooseLanguage(const std::vector<ResourceRecord> &c) {
  WORD thread = LANGIDFROMLCID(GetThreadLocale());
  const ResourceRecord *e = WithLanguage(c, Exact, thread);
  if (!e) e = WithLanguage(c, Exact, MAKELANGID(PRIMARYLANGID(thread), SUBLANG_NEUTRAL));
  if (!e) e = WithLanguage(c, SamePrimary, thread);
  if (!e) e = WithLanguage(c, SamePrimary, LANG_NEUTRAL);
  if (!e) e = WithLanguage(c, Exact, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (!e) e = WithLanguage(c, SamePrimary, LANG_ENGLISH);
  if (!e && !c.empty()) e = &c.front();
  return e;
}

std::optional<ResourceRecord> Find(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  std::vector<ResourceRecord> records = RecordsOf(module);
  if (records.empty()) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return std::nullopt;
  }
  if (!type || !name) {
    SetLastError(!type ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
    return std::nullopt;
  }
  bool typeFound = false;
  std::vector<ResourceRecord> candidates;
  for (const ResourceRecord &e : records) {
    if (!Matches(type, e.type)) continue;
    typeFound = true;
    if (Matches(name, e.name)) candidates.push_back(e);
  }
  if (candidates.empty()) {
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return std::nullopt;
  }
  const ResourceRecord *e;
  if (language == MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))
    e = ChooseLanguage(candidates);
  else if (SUBLANGID(language) == SUBLANG_NEUTRAL)
    e = WithLanguage(candidates, SamePrimary, language);
  else
    e = WithLanguage(candidates, Exact, language);
  if (!e) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return std::nullopt;
  }
  return *e;
}

// The record behind an HRSRC: one that starts a record of the module's own
// resources.
std::optional<ResourceRecord> Entry(HMODULE module, HRSRC res) {
  if (res) {
    for (const ResourceRecord &e : RecordsOf(module))
      if (e.start == reinterpret_cast<const uint8_t *>(res)) return e;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return std::nullopt;
}

// String `id` of the module's string table, in the thread's language: block
// id/16+1 holds 16 counted strings.
bool FindString(HINSTANCE instance, UINT id, std::u16string_view &out) {
  auto e = Find(instance, RT_STRING, MAKEINTRESOURCEW((LOWORD(id) >> 4) + 1), LANG_NEUTRAL);
  if (!e) return false;
  const char16_t *p = reinterpret_cast<const char16_t *>(e->data);
  const char16_t *end = p + e->size / sizeof(char16_t);
  for (UINT i = 0; i < (id & 15); ++i) {
    if (p >= end) return false;
    p += *p + 1;
  }
  if (p >= end || *p > end - p - 1) return false;
  out = std::u16string_view(p + 1, *p);
  return true;
}

}  // namespace

}  // namespace platform

using namespace platform;

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
  auto e = Find(hModule, lpType, lpName, wLanguage);
  return e ? reinterpret_cast<HRSRC>(const_cast<uint8_t *>(e->start)) : nullptr;
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  return FindResourceExW(hModule, lpType, lpName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
  auto e = Entry(hModule, hResInfo);
  return e ? const_cast<uint8_t *>(e->data) : nullptr;
}

// Resources are read-only data of the module: the "global" is the data itself.
LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  auto e = Entry(hModule, hResInfo);
  return e ? e->size : 0;
}

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax < 0) return 0;
  std::u16string_view s;
  if (!FindString(hInstance, uID, s)) {
    if (cchBufferMax > 0) lpBuffer[0] = 0;
    return 0;
  }
  if (cchBufferMax == 0) {
    // The caller asked for a read-only pointer into the resource itself.
    *reinterpret_cast<const WCHAR **>(lpBuffer) = s.data();
    return static_cast<int>(s.size());
  }
  size_t n = std::min(s.size(), static_cast<size_t>(cchBufferMax - 1));
  memcpy(lpBuffer, s.data(), n * sizeof(WCHAR));
  lpBuffer[n] = 0;
  return static_cast<int>(n);
}

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax <= 0) return 0;
  std::u16string_view s;
  if (!FindString(hInstance, uID, s)) {
    lpBuffer[0] = 0;
    return 0;
  }
  std::string narrow = ToUtf8Lossy(s);
  size_t n = narrow.size();
  if (n > static_cast<size_t>(cchBufferMax - 1)) {
    n = cchBufferMax - 1;
    // Cut at a character boundary, never inside a UTF-8 sequence.
    while (n > 0 && (static_cast<unsigned char>(narrow[n]) & 0xC0) == 0x80) --n;
  }
  memcpy(lpBuffer, narrow.data(), n);
  lpBuffer[n] = 0;
  return static_cast<int>(n);
}
