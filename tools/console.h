// Everything revdir prints goes through here: printf-like text in UTF-8 for
// standard output and standard error. A console gets it as UTF-16, so every
// character shows whatever the console's code page; a file or pipe gets the
// UTF-8 bytes as they are (LF line ends, no byte-order mark).
#pragma once

#include <string>
#include <string_view>

// GCC and Clang check the arguments against the format; other compilers
// take the plain declarations.
#if defined(__GNUC__)
#define REVDIR_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define REVDIR_PRINTF_LIKE
#endif

namespace revdir {

void Out(const char *format, ...) REVDIR_PRINTF_LIKE;
void Err(const char *format, ...) REVDIR_PRINTF_LIKE;
// Text as it is, for output that may hold a '%'.
void WriteOut(std::string_view utf8);
void WriteErr(std::string_view utf8);

}  // namespace revdir
