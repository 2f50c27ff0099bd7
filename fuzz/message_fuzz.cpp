// FormatMessage over arbitrary message strings, with every insert argument
// a valid string: malformed inserts fail cleanly and nothing is written
// past the caller's buffer.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > (1 << 12)) return 0;
  std::vector<WCHAR> text(size / 2 + 1, 0);
  memcpy(text.data(), data, size / 2 * sizeof(WCHAR));
  static const WCHAR kArg[] = {'a', 'r', 'g', 0};
  DWORD_PTR args[99];
  for (auto &a : args) a = reinterpret_cast<DWORD_PTR>(kArg);

  for (DWORD width : {0u, static_cast<DWORD>(FORMAT_MESSAGE_MAX_WIDTH_MASK)}) {
    DWORD flags = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | width;
    std::vector<WCHAR> out(64);
    DWORD n = FormatMessageW(flags, text.data(), 0, 0, out.data(), 64, reinterpret_cast<va_list *>(args));
    if (n >= 64 || (n && out[n] != 0)) abort();
    LPWSTR allocated = nullptr;
    n = FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, text.data(), 0, 0, reinterpret_cast<LPWSTR>(&allocated),
                       0, reinterpret_cast<va_list *>(args));
    if (n && (!allocated || allocated[n] != 0)) abort();
    LocalFree(allocated);
  }
  return 0;
}
