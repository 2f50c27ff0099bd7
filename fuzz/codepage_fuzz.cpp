// UTF-8 <-> UTF-16 conversion of arbitrary bytes: lenient decoding always
// succeeds, its result encodes strictly, well-formed input round-trips, and
// a buffer one unit too small is never overrun.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0 || size > (1 << 16)) return 0;
  const char *s = reinterpret_cast<const char *>(data);
  int len = static_cast<int>(size);

  int n = MultiByteToWideChar(CP_UTF8, 0, s, len, nullptr, 0);
  if (n <= 0) abort();
  std::vector<WCHAR> wide(n);
  if (MultiByteToWideChar(CP_UTF8, 0, s, len, wide.data(), n) != n) abort();
  if (n > 1) {
    std::vector<WCHAR> small(n - 1);
    if (MultiByteToWideChar(CP_UTF8, 0, s, len, small.data(), n - 1) != 0) abort();
  }

  int m = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), n, nullptr, 0, nullptr, nullptr);
  if (m <= 0) abort();
  std::string back(m, '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), n, back.data(), m, nullptr, nullptr) != m)
    abort();
  bool wellFormed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, len, nullptr, 0) == n;
  if (wellFormed && back != std::string(s, size)) abort();

  // The same bytes as UTF-16, lone surrogates and all.
  size_t units = size / 2;
  if (units) {
    std::vector<WCHAR> text(units);
    memcpy(text.data(), data, units * sizeof(WCHAR));
    int k = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    if (k <= 0) abort();
    std::vector<char> out(k);
    if (WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(units), out.data(), k, nullptr, nullptr) != k)
      abort();
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, out.data(), k, nullptr, 0) <= 0) abort();
  }
  return 0;
}
