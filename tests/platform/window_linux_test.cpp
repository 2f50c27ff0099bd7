// Top-level windows on the X11 display: a program's window is found by its
// process, and only once it is mapped.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fresh_prefix.h"
#include "standin_record.h"
#include "virtual_display.h"

namespace {

struct Search {
  DWORD pid;
  int windows;
  bool visible;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  auto *search = reinterpret_cast<Search *>(param);
  ++search->windows;
  DWORD pid = 0xdeadbeef;
  DWORD thread = GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window)) {
    EXPECT_EQ(thread, pid);
    search->visible = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TEST(Windows, NoDisplayHasNoWindows) {
  const char *old = getenv("DISPLAY");
  std::string saved = old ? old : "";
  unsetenv("DISPLAY");
  Search search{0, 0, false};
  EXPECT_TRUE(EnumWindows(Visit, reinterpret_cast<LPARAM>(&search)));
  EXPECT_EQ(search.windows, 0);
  EXPECT_FALSE(IsWindowVisible(reinterpret_cast<HWND>(0x400001)));
  if (old) setenv("DISPLAY", saved.c_str(), 1);
}

TEST(Windows, AProgramsWindowIsFoundOnceItShows) {
  VirtualDisplay display;
  if (!display.Ok()) GTEST_SKIP() << "no Xvfb: no display to show windows on";
  UseFreshPrefix();
  StandInInstallation installation;
  SetVariable(STANDIN_WINDOW_DELAY_VARIABLE, "1000");
  SetVariable(STANDIN_LINGER_VARIABLE, "10000");
  DWORD processId = 0;
  ASSERT_TRUE(StartProgram(OLESTR("\"") + installation.WindowsBin() + OLESTR("\\Quillon.Exe\""), &processId));

  Search search{processId, 0, false};
  EXPECT_TRUE(EnumWindows(Visit, reinterpret_cast<LPARAM>(&search)));
  EXPECT_FALSE(search.visible) << "shown before its delay";
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!search.visible && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    search = Search{processId, 0, false};
    // The enumeration stops at the window: the callback said so.
    if (!EnumWindows(Visit, reinterpret_cast<LPARAM>(&search))) {
      EXPECT_TRUE(search.visible);
    }
  }
  EXPECT_TRUE(search.visible);

  SetLastError(0xdeadbeef);
  DWORD pid = 1;
  EXPECT_EQ(GetWindowThreadProcessId(reinterpret_cast<HWND>(0x7ffffff0), &pid), 0u);
  EXPECT_EQ(pid, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}
