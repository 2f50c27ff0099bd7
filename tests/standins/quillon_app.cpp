// A stand-in for a release's application executable: it records what it was
// started with (its arguments and working directory, see standins.h) and,
// when asked, shows a top-level window after a delay, as the application
// shows its main window some time after it starts. On Windows it is also the
// application's local server and holds projects open (local_server.cpp).
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "standins.h"

namespace {

// The text of the marker file in the working directory: tells the tests
// which folder the program was started in.
std::string Marker() {
  std::string text;
  if (FILE *f = fopen(STANDIN_MARKER_FILE, "rb")) {
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
  }
  return text;
}

}  // namespace

#ifdef _WIN32
#include <windows.h>

#include "local_server.h"
#include "platform/text/wide_text.h"

namespace {

std::wstring Variable(const char *name) {
  std::wstring wide(name, name + strlen(name));
  wchar_t value[1024];
  DWORD n = GetEnvironmentVariableW(wide.c_str(), value, 1024);
  return n && n < 1024 ? std::wstring(value, n) : std::wstring();
}

void Write(const std::wstring &path, const std::string &record) {
  std::wstring partial = path + L".partial";
  FILE *f = _wfopen(partial.c_str(), L"wb");
  if (!f) return;
  fwrite(record.data(), 1, record.size(), f);
  fclose(f);
  MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Runs the window's messages for the given time.
void ShowWindowFor(DWORD delayMs, DWORD lingerMs) {
  Sleep(delayMs);
  HWND window = CreateWindowExW(0, L"STATIC", L"Stand-in application", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                                100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return;
  DWORD end = GetTickCount() + lingerMs;
  for (DWORD now = GetTickCount(); static_cast<LONG>(end - now) > 0; now = GetTickCount()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  DestroyWindow(window);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  std::string record = Marker();
  record += '\0';
  for (int i = 1; i < argc; ++i) record += platform::Narrow(argv[i]) + '\0';
  std::wstring path = Variable(STANDIN_RECORD_VARIABLE);
  if (!path.empty()) Write(path, record);
  AutomationStart automation = AutomationRequested(argc, argv);
  if (automation.server || automation.project) return ServeAutomation(automation);
  std::wstring linger = Variable(STANDIN_LINGER_VARIABLE), delay = Variable(STANDIN_WINDOW_DELAY_VARIABLE);
  DWORD lingerMs = linger.empty() ? 3000 : wcstoul(linger.c_str(), nullptr, 10);
  if (!delay.empty())
    ShowWindowFor(wcstoul(delay.c_str(), nullptr, 10), lingerMs);
  else
    Sleep(lingerMs);
  return 0;
}

#else
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

void Write(const std::string &path, const std::string &record) {
  std::string partial = path + ".partial";
  FILE *f = fopen(partial.c_str(), "wb");
  if (!f) return;
  fwrite(record.data(), 1, record.size(), f);
  fclose(f);
  rename(partial.c_str(), path.c_str());
}

unsigned Milliseconds(const char *variable, unsigned otherwise) {
  const char *text = getenv(variable);
  return text ? static_cast<unsigned>(strtoul(text, nullptr, 10)) : otherwise;
}

// A top-level window with _NET_WM_PID, as a desktop program's main window.
void ShowWindowFor(unsigned delayMs, unsigned lingerMs) {
  usleep(delayMs * 1000);
  xcb_connection_t *c = xcb_connect(nullptr, nullptr);
  if (!xcb_connection_has_error(c)) {
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    static const char kPid[] = "_NET_WM_PID";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kPid - 1, kPid), nullptr);
    if (atom) {
      uint32_t pid = static_cast<uint32_t>(getpid());
      xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
      free(atom);
    }
    xcb_map_window(c, window);
    xcb_flush(c);
  }
  usleep(lingerMs * 1000);
  xcb_disconnect(c);
}

}  // namespace

int main(int argc, char **argv) {
  std::string record = Marker();
  record += '\0';
  for (int i = 1; i < argc; ++i) record += std::string(argv[i]) + '\0';
  if (const char *path = getenv(STANDIN_RECORD_VARIABLE)) Write(path, record);
  unsigned lingerMs = Milliseconds(STANDIN_LINGER_VARIABLE, 3000);
  if (getenv(STANDIN_WINDOW_DELAY_VARIABLE))
    ShowWindowFor(Milliseconds(STANDIN_WINDOW_DELAY_VARIABLE, 0), lingerMs);
  else
    usleep(lingerMs * 1000);
  return 0;
}
#endif
