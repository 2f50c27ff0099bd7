// Top-level windows: the windows of the X11 display named by DISPLAY. An
// HWND is an X window id; a window's process is its _NET_WM_PID. Without a
// display there are no windows, as on a desktop that has none open.
#include <windows.h>
#include <xcb/xcb.h>

#include <stdlib.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Display {
  std::string name;
  xcb_connection_t *connection = nullptr;
  xcb_atom_t pidAtom = XCB_ATOM_NONE;
  ~Display() {
    if (connection) xcb_disconnect(connection);
  }
};

std::mutex g_displayMutex;

// The connection to the current display, opened again when DISPLAY changed
// or the server went away; null without a display.
std::shared_ptr<Display> CurrentDisplay() {
  static std::shared_ptr<Display> g_current;
  const char *env = getenv("DISPLAY");
  std::string name = env ? env : "";
  std::lock_guard<std::mutex> g(g_displayMutex);
  if (g_current && g_current->name == name && !xcb_connection_has_error(g_current->connection)) return g_current;
  g_current.reset();
  if (name.empty()) return nullptr;
  auto display = std::make_shared<Display>();
  display->name = name;
  display->connection = xcb_connect(name.c_str(), nullptr);
  if (xcb_connection_has_error(display->connection)) return nullptr;
  static const char kPid[] = "_NET_WM_PID";
  // Created when missing: the connection is kept, and a program that sets
  // the property later must still be found.
  xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
      display->connection, xcb_intern_atom(display->connection, 0, sizeof kPid - 1, kPid), nullptr);
  if (atom) {
    display->pidAtom = atom->atom;
    free(atom);
  }
  g_current = display;
  return g_current;
}

xcb_window_t WindowOf(HWND hwnd) { return static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(hwnd)); }

// _NET_WM_PID of a window, 0 when it has none.
DWORD PidOf(const Display &d, xcb_window_t window) {
  if (d.pidAtom == XCB_ATOM_NONE) return 0;
  xcb_get_property_reply_t *reply = xcb_get_property_reply(
      d.connection, xcb_get_property(d.connection, 0, window, d.pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
  DWORD pid = 0;
  if (reply) {
    if (reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
      pid = *static_cast<uint32_t *>(xcb_get_property_value(reply));
    free(reply);
  }
  return pid;
}

std::vector<xcb_window_t> Children(const Display &d, xcb_window_t parent, bool *ok) {
  std::vector<xcb_window_t> children;
  xcb_query_tree_reply_t *tree = xcb_query_tree_reply(d.connection, xcb_query_tree(d.connection, parent), nullptr);
  *ok = tree != nullptr;
  if (tree) {
    xcb_window_t *list = xcb_query_tree_children(tree);
    children.assign(list, list + xcb_query_tree_children_length(tree));
    free(tree);
  }
  return children;
}

}  // namespace

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (!lpEnumFunc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<Display> d = CurrentDisplay();
  if (!d) return TRUE;
  std::vector<xcb_window_t> windows;
  for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(d->connection)); it.rem;
       xcb_screen_next(&it)) {
    bool ok;
    std::vector<xcb_window_t> children = Children(*d, it.data->root, &ok);
    // X lists children bottom to top; Windows enumerates from the top.
    windows.insert(windows.end(), children.rbegin(), children.rend());
  }
  // The list is a snapshot: windows may close while the callback runs, and
  // the calls on them then answer as for a closed window.
  for (xcb_window_t w : windows)
    if (!lpEnumFunc(reinterpret_cast<HWND>(static_cast<uintptr_t>(w)), lParam)) return FALSE;
  return TRUE;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  std::shared_ptr<Display> d = CurrentDisplay();
  if (!d || !hWnd) return FALSE;
  xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
      d->connection, xcb_get_window_attributes(d->connection, WindowOf(hWnd)), nullptr);
  if (!attributes) return FALSE;
  BOOL visible = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  free(attributes);
  return visible;
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  if (lpdwProcessId) *lpdwProcessId = 0;
  std::shared_ptr<Display> d = CurrentDisplay();
  bool ok = false;
  std::vector<xcb_window_t> children;
  if (d && hWnd) children = Children(*d, WindowOf(hWnd), &ok);
  if (!ok) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  DWORD pid = PidOf(*d, WindowOf(hWnd));
  // A reparenting window manager puts each program's window into a frame of
  // its own: the frame's process is that of the window inside.
  for (size_t i = 0; !pid && i < children.size(); ++i) pid = PidOf(*d, children[i]);
  if (lpdwProcessId) *lpdwProcessId = pid;
  // Differs: X names no thread; a process's main thread has its id.
  return pid;
}
