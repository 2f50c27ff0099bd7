#include "kernel32/shared_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "kernel32/prefix.h"

namespace platform {

namespace {

// A file name for any object name: its safe characters for the reader,
// then a hash of the whole name so that names differing elsewhere differ.
std::string FileNameFor(const std::u16string &name) {
  std::string readable;
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (char16_t c : name) {
    hash = (hash ^ c) * 1099511628211ull;
    bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
                c == u'-' || c == u'_';
    if (readable.size() < 64) readable += safe ? static_cast<char>(c) : '_';
  }
  static const char kHex[] = "0123456789abcdef";
  std::string suffix(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) suffix[i] = kHex[hash & 15];
  return "mutex-" + readable + "-" + suffix;
}

bool SetLock(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void WriteMark(int fd, char mark) {
  while (pwrite(fd, &mark, 1, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

SharedLockFile::SharedLockFile(const std::u16string &name) {
  std::string dir = PrefixDir() + "/objects";
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return;
  m_fd = open((dir + "/" + FileNameFor(name)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

SharedLockFile::~SharedLockFile() {
  if (m_fd >= 0) close(m_fd);  // the kernel drops the lock with the last descriptor
}

bool SharedLockFile::TryTake(bool *abandoned) {
  if (m_fd < 0 || m_held) return m_held;
  if (!SetLock(m_fd, F_WRLCK)) return false;
  m_held = true;
  char mark = 0;
  *abandoned = pread(m_fd, &mark, 1, 0) == 1 && mark == 1;
  return true;
}

void SharedLockFile::MarkOwned() {
  if (m_held) WriteMark(m_fd, 1);
}

void SharedLockFile::Drop(bool released) {
  if (!m_held) return;
  if (released) WriteMark(m_fd, 0);
  SetLock(m_fd, F_UNLCK);
  m_held = false;
}

}  // namespace platform
