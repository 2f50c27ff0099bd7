// Files: CreateFile and the calls on file handles, plus the path-based calls.
#include "kernel32/file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "kernel32/errno_map.h"
#include "kernel32/paths.h"
#include "kernel32/text.h"

namespace platform {

namespace {

constexpr DWORD kReadRights = GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE | FILE_READ_DATA;
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kDeleteRights = GENERIC_ALL | DELETE;

bool Reads(DWORD access) { return access & kReadRights; }
bool Writes(DWORD access) { return access & kWriteRights; }
bool Deletes(DWORD access) { return access & kDeleteRights; }

// Open files of this process, for share modes and mapped-file checks.
struct OpenFileEntry {
  std::vector<std::pair<DWORD, DWORD>> opens;  // access, share of each handle
  int mappings = 0;
};

struct OpenFileTable {
  std::mutex lock;
  std::map<std::pair<dev_t, ino_t>, OpenFileEntry> files;
};

OpenFileTable &Files() {
  static OpenFileTable *g_table = new OpenFileTable;  // handles may be closed during exit
  return *g_table;
}

bool Conflicts(DWORD access, DWORD share, DWORD otherAccess, DWORD otherShare) {
  return (Reads(access) && !(otherShare & FILE_SHARE_READ)) || (Writes(access) && !(otherShare & FILE_SHARE_WRITE)) ||
         (Deletes(access) && !(otherShare & FILE_SHARE_DELETE)) ||
         (Reads(otherAccess) && !(share & FILE_SHARE_READ)) || (Writes(otherAccess) && !(share & FILE_SHARE_WRITE)) ||
         (Deletes(otherAccess) && !(share & FILE_SHARE_DELETE));
}

// Windows' read-only attribute binds even an administrator; here it is a file
// without any write permission bit, which binds root the same way.
bool ReadOnlyMode(mode_t mode) { return (mode & 0222) == 0; }

DWORD ErrorForPath(int err, const std::string &path) {
  if (err == ENOENT) return NotFoundError(path);
  return Win32ErrorFromErrno(err);
}

bool TruncateToZero(int fd, bool writable) {
  if (writable) return ftruncate(fd, 0) == 0;
  // A handle without write access may still replace the file's contents.
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  int w = open(self.c_str(), O_WRONLY | O_CLOEXEC);
  if (w < 0) return false;
  bool ok = ftruncate(w, 0) == 0;
  close(w);
  return ok;
}

std::shared_ptr<FileObject> FileFromHandle(HANDLE h) { return GetHandleObjectAs<FileObject>(h); }

bool FileSize(const FileObject &f, int64_t &size) {
  struct stat st;
  if (fstat(f.Fd(), &st) != 0) {
    SetLastErrorFromErrno();
    return false;
  }
  size = st.st_size;
  return true;
}

}  // namespace

FileObject::FileObject(int fd, dev_t dev, ino_t ino, DWORD access, DWORD share)
    : m_fd(fd), m_dev(dev), m_ino(ino), m_access(access), m_share(share) {}

FileObject::~FileObject() {
  {
    OpenFileTable &t = Files();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.files.find({m_dev, m_ino});
    if (it != t.files.end()) {
      auto &opens = it->second.opens;
      for (auto o = opens.begin(); o != opens.end(); ++o) {
        if (o->first == m_access && o->second == m_share) {
          opens.erase(o);
          break;
        }
      }
      if (opens.empty() && it->second.mappings == 0) t.files.erase(it);
    }
  }
  close(m_fd);
}

std::shared_ptr<FileObject> FileObject::Stream(int fd, DWORD access) {
  // Not entered in the table of opens: share modes bind files opened by path.
  auto f = std::make_shared<FileObject>(fd, 0, 0, access, FILE_SHARE_READ | FILE_SHARE_WRITE);
  f->m_stream = true;
  return f;
}

bool FileObject::CanRead() const { return Reads(m_access); }
bool FileObject::CanWrite() const { return Writes(m_access); }
bool FileObject::AppendOnly() const {
  return (m_access & FILE_APPEND_DATA) && !(m_access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA));
}

void AddFileMapping(dev_t dev, ino_t ino) {
  OpenFileTable &t = Files();
  std::lock_guard<std::mutex> g(t.lock);
  ++t.files[{dev, ino}].mappings;
}

void RemoveFileMapping(dev_t dev, ino_t ino) {
  OpenFileTable &t = Files();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.files.find({dev, ino});
  if (it == t.files.end()) return;
  if (--it->second.mappings == 0 && it->second.opens.empty()) t.files.erase(it);
}

namespace {

int MappingsOf(dev_t dev, ino_t ino) {
  OpenFileTable &t = Files();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.files.find({dev, ino});
  return it == t.files.end() ? 0 : it->second.mappings;
}

// Enters a new open of the file into the process's table, unless its access
// and sharing conflict with an open one (or it truncates a mapped file):
// then the Windows error, and nothing entered.
DWORD RecordOpen(const struct stat &st, DWORD access, DWORD share, bool truncate) {
  OpenFileTable &t = Files();
  std::lock_guard<std::mutex> g(t.lock);
  OpenFileEntry &entry = t.files[{st.st_dev, st.st_ino}];
  DWORD error = ERROR_SUCCESS;
  for (const auto &[a, s] : entry.opens) {
    if (Conflicts(access, share, a, s)) error = ERROR_SHARING_VIOLATION;
  }
  if (!error && truncate && entry.mappings > 0) error = ERROR_USER_MAPPED_FILE;
  if (error) {
    if (entry.opens.empty() && entry.mappings == 0) t.files.erase({st.st_dev, st.st_ino});
    return error;
  }
  entry.opens.emplace_back(access, share);
  return ERROR_SUCCESS;
}

HANDLE OpenFile(const std::string &path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  const bool read = Reads(access), write = Writes(access);
  int mode = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  // Non-blocking only for the open itself: a FIFO's open would otherwise
  // wait for a writer. Such files are refused below.
  int base = mode | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  mode_t perms = (flags & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  int fd = -1;
  bool existed = false;
  for (;;) {
    if (disposition == CREATE_NEW) {
      fd = open(path.c_str(), base | O_CREAT | O_EXCL, perms);
      if (fd < 0 && errno == EEXIST) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
    } else {
      int flagsNoCreate = base;
      // A handle for attributes only needs no read permission.
      if (!read && !write) flagsNoCreate = O_PATH | O_CLOEXEC;
      fd = open(path.c_str(), flagsNoCreate);
      existed = fd >= 0;
      if (fd < 0 && errno == ENOENT && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)) {
        fd = open(path.c_str(), base | O_CREAT | O_EXCL, perms);
        if (fd < 0 && errno == EEXIST) continue;  // created meanwhile: open it
      }
    }
    break;
  }
  if (fd < 0) {
    int err = errno;
    // ENXIO: a socket, or a FIFO without a reader; refused as below.
    SetLastError(err == EISDIR || err == ENXIO ? ERROR_ACCESS_DENIED : ErrorForPath(err, path));
    return INVALID_HANDLE_VALUE;
  }

  struct stat st;
  if (fstat(fd, &st) != 0) {
    SetLastErrorFromErrno();
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  const bool truncate = existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
  // A file path names a file on Windows; a directory (and here a FIFO,
  // socket or device, which Windows has no path for) is refused as it
  // refuses a directory.
  if (!S_ISREG(st.st_mode) || (existed && (write || truncate) && ReadOnlyMode(st.st_mode))) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int status = fcntl(fd, F_GETFL);  // an attributes-only handle has no O_NONBLOCK
  if (status >= 0 && (status & O_NONBLOCK) && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    SetLastErrorFromErrno();
    close(fd);
    return INVALID_HANDLE_VALUE;
  }

  if (DWORD error = RecordOpen(st, access, share, truncate)) {
    close(fd);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<FileObject>(fd, st.st_dev, st.st_ino, access, share);

  if (truncate && !TruncateToZero(fd, write)) {
    SetLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = NewHandle(file);
  if (!h) return INVALID_HANDLE_VALUE;
  // Windows reports whether an existing file was opened or replaced.
  SetLastError((disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) && existed ? ERROR_ALREADY_EXISTS
                                                                                       : ERROR_SUCCESS);
  return h;
}

}  // namespace

}  // namespace platform

using namespace platform;

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/) {
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwShareMode & ~DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Truncating needs a handle that may write.
  if (dwCreationDisposition == TRUNCATE_EXISTING && !Writes(dwDesiredAccess)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto path = UnixPath(View(lpFileName));
  if (!path) return INVALID_HANDLE_VALUE;
  return OpenFile(*path, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  auto wide = WideFromAnsi(lpFileName);
  if (!wide) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(wide->c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes, dwCreationDisposition,
                     dwFlagsAndAttributes, hTemplateFile);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  auto f = FileFromHandle(hFile);
  if (!f) return FALSE;
  // Only synchronous handles exist here, and the byte count is required.
  if (lpOverlapped || !lpNumberOfBytesRead) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!f->CanRead()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(f->lock);
  char *out = static_cast<char *>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToRead) {
    ssize_t n = f->IsStream() ? read(f->Fd(), out + done, nNumberOfBytesToRead - done)
                              : pread(f->Fd(), out + done, nNumberOfBytesToRead - done, f->position + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (done) break;
      SetLastErrorFromErrno();
      return FALSE;
    }
    if (n == 0) break;  // end of file: success with fewer bytes
    done += static_cast<DWORD>(n);
    if (f->IsStream()) break;  // a pipe or terminal gives what it has
  }
  f->position += done;
  *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  auto f = FileFromHandle(hFile);
  if (!f) return FALSE;
  if (lpOverlapped || !lpNumberOfBytesWritten) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!f->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(f->lock);
  if (f->AppendOnly() && !FileSize(*f, f->position)) return FALSE;
  const char *in = static_cast<const char *>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = f->IsStream() ? write(f->Fd(), in + done, nNumberOfBytesToWrite - done)
                              : pwrite(f->Fd(), in + done, nNumberOfBytesToWrite - done, f->position + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      f->position += done;
      *lpNumberOfBytesWritten = done;
      SetLastErrorFromErrno();
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  f->position += done;
  *lpNumberOfBytesWritten = done;
  return TRUE;
}

BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod) {
  auto f = FileFromHandle(hFile);
  if (!f) return FALSE;
  if (dwMoveMethod > FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(f->lock);
  if (f->IsStream()) {
    // The kernel's position, shared with every handle on the descriptor.
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t at = lseek(f->Fd(), liDistanceToMove.QuadPart, kWhence[dwMoveMethod]);
    if (at < 0) {
      SetLastErrorFromErrno();
      return FALSE;
    }
    if (lpNewFilePointer) lpNewFilePointer->QuadPart = at;
    return TRUE;
  }
  int64_t base = 0;
  if (dwMoveMethod == FILE_CURRENT) base = f->position;
  if (dwMoveMethod == FILE_END && !FileSize(*f, base)) return FALSE;
  int64_t target;
  if (__builtin_add_overflow(base, liDistanceToMove.QuadPart, &target)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return FALSE;
  }
  f->position = target;
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = target;
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  // Without a high part the distance is a signed 32-bit value; with one, the
  // two halves form a signed 64-bit distance.
  LARGE_INTEGER distance;
  if (lpDistanceToMoveHigh) {
    distance.QuadPart = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh))
                                              << 32) |
                                             static_cast<uint32_t>(lDistanceToMove));
  } else {
    distance.QuadPart = lDistanceToMove;
  }
  LARGE_INTEGER pos;
  if (!SetFilePointerEx(hFile, distance, &pos, dwMoveMethod)) return INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(pos.QuadPart >> 32);
  DWORD low = static_cast<DWORD>(pos.QuadPart);
  // A valid position whose low half looks like the failure value.
  if (low == INVALID_SET_FILE_POINTER) SetLastError(ERROR_SUCCESS);
  return low;
}

BOOL WINAPI GetFileSizeEx(HANDLE hFile, PLARGE_INTEGER lpFileSize) {
  auto f = FileFromHandle(hFile);
  if (!f) return FALSE;
  if (!lpFileSize) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  int64_t size;
  if (!FileSize(*f, size)) return FALSE;
  lpFileSize->QuadPart = size;
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(hFile, &size)) return INVALID_FILE_SIZE;
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size.QuadPart >> 32);
  DWORD low = static_cast<DWORD>(size.QuadPart);
  if (low == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
  return low;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  auto f = FileFromHandle(hFile);
  if (!f) return FALSE;
  if (!f->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fsync(f->Fd()) != 0 && errno != EINVAL) {
    SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  auto f = FileFromHandle(hFile);
  if (!f) return FALSE;
  if (!f->CanWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(f->lock);
  int64_t size;
  if (!FileSize(*f, size)) return FALSE;
  if (f->position < size && MappingsOf(f->Dev(), f->Ino()) > 0) {
    SetLastError(ERROR_USER_MAPPED_FILE);
    return FALSE;
  }
  if (ftruncate(f->Fd(), f->position) != 0) {
    SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  auto path = UnixPath(View(lpFileName));
  if (!path) return FALSE;
  struct stat st;
  if (lstat(path->c_str(), &st) != 0) {
    SetLastError(ErrorForPath(errno, *path));
    return FALSE;
  }
  if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && ReadOnlyMode(st.st_mode))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  OpenFileTable &t = Files();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.files.find({st.st_dev, st.st_ino});
  if (it != t.files.end()) {
    for (const auto &[a, s] : it->second.opens) {
      if (!(s & FILE_SHARE_DELETE)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
      }
    }
    if (it->second.mappings > 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  if (unlink(path->c_str()) != 0) {
    SetLastError(ErrorForPath(errno, *path));
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  auto path = UnixPath(View(lpFileName));
  if (!path) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  if (stat(path->c_str(), &st) != 0) {
    SetLastError(ErrorForPath(errno, *path));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return FILE_ATTRIBUTE_ARCHIVE | (ReadOnlyMode(st.st_mode) ? FILE_ATTRIBUTE_READONLY : 0);
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
  auto path = UnixPath(View(lpPathName));
  if (!path) return FALSE;
  if (mkdir(path->c_str(), 0777) != 0) {
    int err = errno;
    SetLastError(err == EEXIST ? ERROR_ALREADY_EXISTS : err == ENOENT ? ERROR_PATH_NOT_FOUND
                                                                      : Win32ErrorFromErrno(err));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  auto path = UnixPath(View(lpPathName));
  if (!path) return FALSE;
  struct stat st;
  if (lstat(path->c_str(), &st) != 0) {
    SetLastError(ErrorForPath(errno, *path));
    return FALSE;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (rmdir(path->c_str()) != 0) {
    int err = errno;
    SetLastError(err == ENOTEMPTY || err == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrorForPath(err, *path));
    return FALSE;
  }
  return TRUE;
}
