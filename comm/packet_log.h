// The packet log (QxASADiagnostics): a text file written only when a log
// folder is configured. Every call writes whole lines under the log's lock, so
// lines of different threads never interleave.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <string>

namespace comm {

// "Wed Jan 02 02:03:55.123 2019": the first 19 characters of the C library's
// date text, the milliseconds and the year.
std::string TimeStamp();

class QxASADiagnostics {
 public:
  ~QxASADiagnostics();
  // Opens "<folder>\<name>.Log" for writing from the start; null when the
  // folder is "NOLOGFILE" (any case, trailing backslash ignored) or the file
  // cannot be made.
  static QxASADiagnostics *Open(const char *folder, const char *name);

  // One formatted text; a text with line breaks is written as it is.
  void Printf(const char *format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void Write(const std::string &text);
  // Bytes as hexadecimal, sixteen to a line, at most 65535 of them
  // (direction: "TRANSMIT" or "RECEIVE", for the warning above that).
  void Bytes(const char *direction, const uint8_t *data, size_t size);

 private:
  explicit QxASADiagnostics(HANDLE file);
  HANDLE m_file;
  CRITICAL_SECTION m_lock;
};

// The process's packet log, or null. Writes through these helpers are no-ops
// without one.
QxASADiagnostics *Log();
void LogLine(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string HexBytes(const uint8_t *data, size_t size);

}  // namespace comm
