#include "console.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/text/wide_text.h"

namespace revdir {

namespace {

void WriteTo(HANDLE h, std::string_view utf8) {
  DWORD mode = 0, done = 0;
  if (GetConsoleMode(h, &mode)) {
    platform::WideString text = platform::Widen(utf8);
    for (size_t at = 0; at < text.size(); at += done) {
      // A console takes a bounded number of characters per call.
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - at, 8192));
      // ...and never half of a surrogate pair.
      if (chunk > 1 && at + chunk < text.size() && IS_HIGH_SURROGATE(text[at + chunk - 1])) --chunk;
      if (!WriteConsoleW(h, text.data() + at, chunk, &done, nullptr) || done == 0) return;
    }
    return;
  }
  for (size_t at = 0; at < utf8.size(); at += done)
    if (!WriteFile(h, utf8.data() + at, static_cast<DWORD>(utf8.size() - at), &done, nullptr) || done == 0) return;
}

// Printing leaves the caller's last error as it was: a report may print
// before it reads it.
void Write(DWORD which, std::string_view utf8) {
  const DWORD error = GetLastError();
  HANDLE h = GetStdHandle(which);
  if (h != nullptr && h != INVALID_HANDLE_VALUE && !utf8.empty()) WriteTo(h, utf8);
  SetLastError(error);
}

std::string Format(const char *format, va_list args) {
  va_list again;
  va_copy(again, args);
  int size = vsnprintf(nullptr, 0, format, args);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) vsnprintf(out.data(), out.size() + 1, format, again);
  va_end(again);
  return out;
}

}  // namespace

void WriteOut(std::string_view utf8) { Write(STD_OUTPUT_HANDLE, utf8); }
void WriteErr(std::string_view utf8) { Write(STD_ERROR_HANDLE, utf8); }

void Out(const char *format, ...) {
  va_list args;
  va_start(args, format);
  WriteOut(Format(format, args));
  va_end(args);
}

void Err(const char *format, ...) {
  va_list args;
  va_start(args, format);
  WriteErr(Format(format, args));
  va_end(args);
}

}  // namespace revdir
