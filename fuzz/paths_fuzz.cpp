// Windows paths as callers pass them: drive letters, separators, "." and
// "..", device prefixes, odd characters and unpaired surrogates. The calls
// only look (attributes, loaded modules), so nothing on disk changes.
#include <stdlib.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Drive C: in a throwaway prefix, not the user's.
  setenv("REVDIR_PREFIX", "/tmp/revdir-paths-fuzz", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::u16string path(size / 2, u'\0');
  if (!path.empty()) memcpy(path.data(), data, path.size() * 2);
  // Names end at the first null, as a C string does.
  path.resize(std::char_traits<char16_t>::length(path.c_str()));
  SetLastError(0);
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == 0) abort();
  SetLastError(0);
  if (!GetModuleHandleW(path.c_str()) && GetLastError() == 0) abort();
  std::string narrow(reinterpret_cast<const char *>(data), size);
  narrow.resize(strlen(narrow.c_str()));
  SetLastError(0);
  if (!GetModuleHandleA(narrow.c_str()) && GetLastError() == 0) abort();
  return 0;
}
