// Resources of a module: found through the directory the module exports
// (see resource_format.h), with Windows' choice of language.
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

const ResourceDirectory *DirectoryOf(HMODULE module) {
  auto info = FindModule(module);
  if (!info) return nullptr;
  auto *dir = static_cast<const ResourceDirectory *>(ModuleSymbol(*info, kResourceSymbol));
  if (!dir || dir->magic != kResourceMagic || dir->version != kResourceVersion) return nullptr;
  return dir;
}

// An id as FindResource takes it: MAKEINTRESOURCE(n), "#n" or a name, which
// matches ignoring case.
bool Matches(const char16_t *query, const char16_t *entryName, uint16_t entryId) {
  if (IS_INTRESOURCE(query)) return !entryName && entryId == LOWORD(reinterpret_cast<ULONG_PTR>(query));
  std::u16string_view q = View(query);
  if (!q.empty() && q[0] == u'#') {
    unsigned value = 0;
    for (char16_t c : q.substr(1)) {
      if (c < u'0' || c > u'9' || value > 0xffff) return false;
      value = value * 10 + (c - u'0');
    }
    return q.size() > 1 && !entryName && entryId == value;
  }
  return entryName && EqualNoCase(q, View(entryName));
}

const ResourceEntry *WithLanguage(const std::vector<const ResourceEntry *> &c, bool (*match)(WORD, WORD), WORD lang) {
  const ResourceEntry *best = nullptr;
  for (auto *e : c) {
    if (match(e->language, lang) && (!best || e->language < best->language)) best = e;
  }
  return best;
}

bool Exact(WORD have, WORD want) { return have == want; }
bool SamePrimary(WORD have, WORD want) { return PRIMARYLANGID(have) == PRIMARYLANGID(want); }

// Without a language the thread locale chooses; then its primary language,
// neutral, English, and at last whatever there is, as Windows does.
const ResourceEntry *ChooseLanguage(const std::vector<const ResourceEntry *> &c) {
  WORD thread = LANGIDFROMLCID(GetThreadLocale());
  const ResourceEntry *e = WithLanguage(c, Exact, thread);
  if (!e) e = WithLanguage(c, Exact, MAKELANGID(PRIMARYLANGID(thread), SUBLANG_NEUTRAL));
  if (!e) e = WithLanguage(c, SamePrimary, thread);
  if (!e) e = WithLanguage(c, SamePrimary, LANG_NEUTRAL);
  if (!e) e = WithLanguage(c, Exact, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (!e) e = WithLanguage(c, SamePrimary, LANG_ENGLISH);
  if (!e && !c.empty()) e = c.front();
  return e;
}

const ResourceEntry *Find(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  const ResourceDirectory *dir = DirectoryOf(module);
  if (!dir) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  if (!type || !name) {
    SetLastError(!type ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  bool typeFound = false;
  std::vector<const ResourceEntry *> candidates;
  for (uint32_t i = 0; i < dir->count; ++i) {
    const ResourceEntry &e = dir->entries[i];
    if (!Matches(type, e.type_name, e.type_id)) continue;
    typeFound = true;
    if (Matches(name, e.name, e.name_id)) candidates.push_back(&e);
  }
  if (candidates.empty()) {
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  const ResourceEntry *e;
  if (language == MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))
    e = ChooseLanguage(candidates);
  else if (SUBLANGID(language) == SUBLANG_NEUTRAL)
    e = WithLanguage(candidates, SamePrimary, language);
  else
    e = WithLanguage(candidates, Exact, language);
  if (!e) SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
  return e;
}

// The entry behind an HRSRC, checked against the module's own directory.
const ResourceEntry *Entry(HMODULE module, HRSRC res) {
  const ResourceDirectory *dir = res ? DirectoryOf(module) : nullptr;
  auto *e = reinterpret_cast<const ResourceEntry *>(res);
  if (!dir || e < dir->entries || e >= dir->entries + dir->count) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return e;
}

// String `id` of the module's string table, in the thread's language.
bool FindString(HINSTANCE instance, UINT id, std::u16string_view &out) {
  const ResourceEntry *e = Find(instance, RT_STRING, MAKEINTRESOURCEW((LOWORD(id) >> 4) + 1), LANG_NEUTRAL);
  if (!e) return false;
  const char16_t *p = static_cast<const char16_t *>(e->data);
  const char16_t *end = p + e->size / sizeof(char16_t);
  for (UINT i = 0; i < (id & 15); ++i) {
    if (p >= end) return false;
    p += *p + 1;
  }
  if (p >= end || p + 1 + *p > end) return false;
  out = std::u16string_view(p + 1, *p);
  return true;
}

}  // namespace

}  // namespace platform

using namespace platform;

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
  return reinterpret_cast<HRSRC>(const_cast<ResourceEntry *>(Find(hModule, lpType, lpName, wLanguage)));
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  return FindResourceExW(hModule, lpType, lpName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
  const ResourceEntry *e = Entry(hModule, hResInfo);
  return e ? const_cast<void *>(e->data) : nullptr;
}

// Resources are read-only data of the module: the "global" is the data itself.
LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  const ResourceEntry *e = Entry(hModule, hResInfo);
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
