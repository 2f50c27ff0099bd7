#include "kernel32/paths.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "kernel32/prefix.h"
#include "kernel32/text.h"

namespace platform {

namespace {

bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }

std::string CurrentDir() {
  std::vector<char> buf(PATH_MAX);
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return "/";
    buf.resize(buf.size() * 2);
  }
  return buf.data();
}

std::string DriveC() { return PrefixDir() + "/drive_c"; }

std::vector<std::string> SplitUnix(const std::string &path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    if (j > i) parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

// Lexically resolves "." and ".." of a Linux path; ".." never climbs above
// the first `floor` components (the root of a drive).
void Push(std::vector<std::string> &parts, size_t floor, const std::string &c) {
  if (c.empty() || c == ".") return;
  if (c == "..") {
    if (parts.size() > floor) parts.pop_back();
    return;
  }
  parts.push_back(c);
}

bool StartsWithDir(const std::string &path, const std::string &dir) {
  return path.size() >= dir.size() && path.compare(0, dir.size(), dir) == 0 &&
         (path.size() == dir.size() || path[dir.size()] == '/');
}

// The case-insensitive match of `name` in `dir`, if any. Ties (names that
// differ only in case on a case-sensitive file system) go to the smallest
// name so the choice is stable.
std::optional<std::string> FindNoCase(const std::string &dir, const std::string &name) {
  DIR *d = opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return std::nullopt;
  std::u16string want = FromUtf8Lossy(name);
  // Two ASCII names compare without converting: a directory is scanned for
  // every component not spelt as on disk.
  auto ascii = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  bool asciiName = ascii(name);
  std::optional<std::string> best;
  while (dirent *e = readdir(d)) {
    std::string_view entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    bool same = asciiName && ascii(entry)
                    ? entry.size() == name.size() &&
                          std::equal(entry.begin(), entry.end(), name.begin(),
                                     [&](char a, char b) { return lower(a) == lower(b); })
                    : EqualNoCase(FromUtf8Lossy(entry), want);
    if (same && (!best || entry < *best)) best = std::string(entry);
  }
  closedir(d);
  return best;
}

std::string Join(const std::vector<std::string> &parts, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to; ++i) out += "/" + parts[i];
  return out;
}

// Spells each component as it exists on disk; stops at the first one that is
// missing, since nothing below it can exist.
std::string ResolveCase(const std::vector<std::string> &parts) {
  std::string path;
  size_t i = 0;
  for (; i < parts.size(); ++i) {
    std::string exact = path + "/" + parts[i];
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) {
      path = exact;
      continue;
    }
    auto found = FindNoCase(path, parts[i]);
    if (!found) break;
    path += "/" + *found;
  }
  path += Join(parts, i, parts.size());
  return path.empty() ? "/" : path;
}

// Drive root as Linux path components, or false for a drive that is not mapped.
bool DriveRoot(char16_t letter, std::vector<std::string> &root) {
  char16_t up = letter >= u'a' && letter <= u'z' ? letter - 32 : letter;
  if (up == u'Z') {
    root.clear();
    return true;
  }
  if (up == u'C') {
    root = SplitUnix(DriveC());
    return true;
  }
  return false;
}

// The drive the current directory is on: its root components.
std::vector<std::string> CurrentDriveRoot(const std::string &cwd) {
  std::string c = DriveC();
  return StartsWithDir(cwd, c) ? SplitUnix(c) : std::vector<std::string>();
}

bool ValidWindowsComponent(std::u16string_view c) {
  for (char16_t ch : c) {
    if (ch < 0x20) return false;
    switch (ch) {
      case u'<': case u'>': case u':': case u'"': case u'|': case u'?': case u'*':
        return false;
      default:
        break;
    }
  }
  return true;
}

// A path that is already a Linux path: no drive, and names are taken as
// they are (no trailing dots dropped).
std::optional<std::string> LinuxPath(std::u16string_view p) {
  auto utf8 = ToUtf8(p);
  if (!utf8) {
    SetLastError(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  for (auto &ch : *utf8) {
    if (ch == '\\') ch = '/';  // both separate here too
  }
  // Names a Win32 caller cannot spell are refused here as well.
  for (size_t i = 0; i < p.size();) {
    size_t j = p.find_first_of(u"\\/", i);
    if (j == std::u16string_view::npos) j = p.size();
    if (!ValidWindowsComponent(p.substr(i, j - i))) {
      SetLastError(ERROR_INVALID_NAME);
      return std::nullopt;
    }
    i = j + 1;
  }
  std::vector<std::string> parts;
  for (const auto &c : SplitUnix(*utf8)) Push(parts, 0, c);
  return ResolveCase(parts);
}

// Drops a Win32 device-namespace prefix, which names the same paths; false
// (with the error set) for network paths and devices, which do not exist
// here.
bool StripDevicePrefix(std::u16string_view &p) {
  if (p.size() >= 4 && IsSep(p[0]) && IsSep(p[1]) && (p[2] == u'?' || p[2] == u'.') && IsSep(p[3])) {
    p.remove_prefix(4);
    if (p.size() >= 4 && EqualNoCase(p.substr(0, 3), u"UNC") && IsSep(p[3])) {
      SetLastError(ERROR_BAD_NETPATH);
      return false;
    }
    // Only drives are mapped; devices such as named pipes do not exist here.
    if (p.size() < 2 || p[1] != u':') {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
    }
  } else if (p.size() >= 2 && IsSep(p[0]) && IsSep(p[1])) {
    SetLastError(ERROR_BAD_NETPATH);
    return false;
  }
  return true;
}

// Where a Windows path starts: the components it is relative to, and how
// many of them ".." cannot climb above (the drive's root). Drops the drive.
bool StartOf(std::u16string_view &p, std::vector<std::string> &parts, size_t &floor) {
  std::string cwd = CurrentDir();
  if (p.size() >= 2 && p[1] == u':' && ((p[0] >= u'a' && p[0] <= u'z') || (p[0] >= u'A' && p[0] <= u'Z'))) {
    std::vector<std::string> root;
    if (!DriveRoot(p[0], root)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    floor = root.size();
    p.remove_prefix(2);
    // "C:name" is relative to the current directory when that is on drive C:.
    if (!p.empty() && !IsSep(p[0]) && CurrentDriveRoot(cwd) == root)
      parts = SplitUnix(cwd);
    else
      parts = root;
  } else if (IsSep(p[0])) {
    parts = CurrentDriveRoot(cwd);
    floor = parts.size();
  } else {
    parts = SplitUnix(cwd);
    floor = CurrentDriveRoot(cwd).size();
  }
  return true;
}

// Appends the components of a Windows path as Windows reads them.
bool PushWindowsComponents(std::u16string_view p, std::vector<std::string> &parts, size_t floor) {
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = i;
    while (j < p.size() && !IsSep(p[j])) ++j;
    std::u16string_view c = p.substr(i, j - i);
    if (c != u"." && c != u"..") {
      // Windows drops trailing dots and spaces of a name.
      while (!c.empty() && (c.back() == u'.' || c.back() == u' ')) c.remove_suffix(1);
      if (!ValidWindowsComponent(c)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
      }
    }
    auto utf8 = ToUtf8(c);
    if (!utf8) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
    }
    Push(parts, floor, *utf8);
    i = j + 1;
  }
  return true;
}

}  // namespace

std::optional<std::string> UnixPath(std::u16string_view p) {
  if (p.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  if (p[0] == u'/' && !(p.size() > 1 && p[1] == u'/')) return LinuxPath(p);
  if (!StripDevicePrefix(p)) return std::nullopt;
  std::vector<std::string> parts;
  size_t floor;
  if (!StartOf(p, parts, floor) || !PushWindowsComponents(p, parts, floor)) return std::nullopt;
  return ResolveCase(parts);
}

std::optional<std::string> UnixPathUtf8(std::string_view p) {
  auto wide = FromUtf8(p);
  if (!wide) {
    SetLastError(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  return UnixPath(*wide);
}

std::u16string WindowsPath(std::string_view unixPath) {
  std::string path(unixPath);
  if (path.empty() || path[0] != '/') path = CurrentDir() + "/" + path;
  std::vector<std::string> parts;
  for (const auto &c : SplitUnix(path)) Push(parts, 0, c);
  std::string abs = parts.empty() ? "/" : Join(parts, 0, parts.size());

  std::string drive = DriveC();
  std::string rest;
  char letter = 'Z';
  if (StartsWithDir(abs, drive)) {
    letter = 'C';
    rest = abs.substr(drive.size());
  } else {
    char real[PATH_MAX];
    if (realpath(drive.c_str(), real) && StartsWithDir(abs, real)) {
      letter = 'C';
      rest = abs.substr(strlen(real));
    } else {
      rest = abs == "/" ? "" : abs;
    }
  }
  std::u16string out;
  out += static_cast<char16_t>(letter);
  out += u':';
  for (char16_t ch : FromUtf8Lossy(rest)) out += ch == u'/' ? u'\\' : ch;
  if (out.size() == 2) out += u'\\';
  return out;
}

DWORD NotFoundError(const std::string &unixPath) {
  size_t slash = unixPath.find_last_of('/');
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : unixPath.substr(0, slash);
  struct stat st;
  return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

std::optional<std::u16string> WideFromAnsi(const char *s) {
  if (!s) return std::u16string();
  return FromUtf8(s);
}

}  // namespace platform
