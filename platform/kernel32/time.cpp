// Sleeping and clocks.
#include <errno.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>
#include <windows.h>

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr ULONGLONG kUnixEpochAsFileTime = 116444736000000000ull;

}  // namespace

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    sched_yield();  // gives up the rest of the time slice
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) pause();
  }
  timespec left{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// Milliseconds since boot, including time suspended, as the tick count is.
ULONGLONG WINAPI GetTickCount64(void) {
  timespec ts;
  clock_gettime(CLOCK_BOOTTIME, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000 + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000;
}

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(GetTickCount64()); }

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  if (!lpSystemTimeAsFileTime) return;
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  ULONGLONG t = kUnixEpochAsFileTime + static_cast<ULONGLONG>(ts.tv_sec) * 10000000ull +
                static_cast<ULONGLONG>(ts.tv_nsec) / 100;
  lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(t);
  lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(t >> 32);
}
