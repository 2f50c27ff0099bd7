#include "packet_log.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "context.h"

namespace comm {

namespace {
// 100-ns intervals between 1601 and 1970.
constexpr uint64_t kEpochDelta = 116444736000000000ull;

std::string VFormat(const char *format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}
}  // namespace

std::string TimeStamp() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) - kEpochDelta;
  std::time_t seconds = static_cast<std::time_t>(t / 10000000);
  unsigned short ms = static_cast<unsigned short>(t / 10000 % 1000);
  char date[64] = "";
  {
    // localtime's buffer is shared; this lock serialises its users.
    static struct Lock {
      CRITICAL_SECTION cs;
      Lock() { InitializeCriticalSection(&cs); }
      ~Lock() { DeleteCriticalSection(&cs); }
    } g_lock;
    EnterCriticalSection(&g_lock.cs);
    if (const std::tm *tm = std::localtime(&seconds)) std::strftime(date, sizeof date, "%a %b %d %H:%M:%S %Y", tm);
    LeaveCriticalSection(&g_lock.cs);
  }
  if (std::strlen(date) < 24) return "??? ??? ?? ??:??:??.000 ????";
  char out[64];
  std::snprintf(out, sizeof out, "%.19s.%03hu %.4s", date, ms, date + 20);
  return out;
}

std::string HexBytes(const uint8_t *data, size_t size) {
  std::string out;
  char cell[8];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(cell, sizeof cell, "%02X", data[i]);
    out += (i % 16 == 0) ? (i ? "\n    " : "    ") : " ";
    out += cell;
  }
  return out;
}

QxASADiagnostics::QxASADiagnostics(HANDLE file) : m_file(file) { InitializeCriticalSection(&m_lock); }

QxASADiagnostics::~QxASADiagnostics() {
  CloseHandle(m_file);
  DeleteCriticalSection(&m_lock);
}

QxASADiagnostics *QxASADiagnostics::Open(const char *folder, const char *name) {
  if (!folder || !*folder) return nullptr;
  std::string dir = folder;
  if (dir.back() == '\\' || dir.back() == '/') dir.pop_back();
  std::string upper = dir;
  for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "NOLOGFILE" || dir.empty()) return nullptr;
  std::string path = dir + "\\" + (name && *name ? name : "QxOnline") + ".Log";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  auto *log = new QxASADiagnostics(file);
  log->Printf("\nASA Packet Log File Opened on %s\n", TimeStamp().c_str());
  return log;
}

void QxASADiagnostics::Write(const std::string &text) {
  EnterCriticalSection(&m_lock);
  DWORD written = 0;
  WriteFile(m_file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  LeaveCriticalSection(&m_lock);
}

void QxASADiagnostics::Printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  Write(text);
}

void QxASADiagnostics::Bytes(const char *direction, const uint8_t *data, size_t size) {
  std::string text;
  if (size > 65535) {
    text = std::string("WARNING: ") + direction +
           " PACKET TOO LARGE FOR LOGGING MECHANISM.  ONLY THE FIRST 65,535 BYTES LOGGED!\n";
    size = 65535;
  }
  Write(text + HexBytes(data, size) + "\n");
}

QxASADiagnostics *Log() { return CurrentLog(); }

void LogLine(const char *format, ...) {
  QxASADiagnostics *log = Log();
  if (!log) return;
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  log->Write(text + "\n");
}

}  // namespace comm
