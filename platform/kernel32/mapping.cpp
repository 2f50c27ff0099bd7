// File mappings: sections backed by a file or, for INVALID_HANDLE_VALUE, by
// anonymous memory, and the views mapped from them. A view keeps its section
// (and so its file) alive, as on Windows, until it is unmapped.
#include <errno.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

#include "kernel32/errno_map.h"
#include "kernel32/file.h"
#include "kernel32/text.h"

namespace platform {

namespace {

constexpr uint64_t kAllocationGranularity = 0x10000;

class MappingObject : public KernelObject {
 public:
  ~MappingObject() override {
    if (file) {
      RemoveFileMapping(file->Dev(), file->Ino());
    } else if (fd >= 0) {
      close(fd);
    }
  }
  bool Writable() const { return protect == PAGE_READWRITE || protect == PAGE_EXECUTE_READWRITE; }

  std::shared_ptr<FileObject> file;  // null for anonymous memory
  int fd = -1;
  uint64_t size = 0;
  DWORD protect = 0;
};

struct ViewEntry {
  size_t length;
  std::shared_ptr<MappingObject> section;
};

// Views by base address, and named sections by name (names are
// case-insensitive in the Win32 object namespace).
struct MappingState {
  std::mutex lock;
  std::map<uintptr_t, ViewEntry> views;
  std::map<std::u16string, std::weak_ptr<MappingObject>> named;
};

MappingState &State() {
  static MappingState *g_state = new MappingState;
  return *g_state;
}

std::u16string NameKey(std::u16string_view name) {
  std::u16string key(name);
  for (auto &c : key) c = UpperCase(c);
  return key;
}

bool ValidProtect(DWORD p) {
  return p == PAGE_READONLY || p == PAGE_READWRITE || p == PAGE_WRITECOPY || p == PAGE_EXECUTE_READ ||
         p == PAGE_EXECUTE_READWRITE;
}

std::shared_ptr<MappingObject> NewSection(HANDLE hFile, DWORD protect, uint64_t size) {
  auto m = std::make_shared<MappingObject>();
  m->protect = protect;
  if (hFile == INVALID_HANDLE_VALUE) {
    // Memory backed by the paging file: it needs a size.
    if (size == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    m->fd = memfd_create("revdir-section", MFD_CLOEXEC);
    if (m->fd < 0 || ftruncate(m->fd, static_cast<off_t>(size)) != 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    m->size = size;
    return m;
  }
  auto file = GetHandleObjectAs<FileObject>(hFile);
  if (!file) return nullptr;
  if (!file->CanRead() || (m->Writable() && !file->CanWrite())) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  struct stat st;
  if (fstat(file->Fd(), &st) != 0) {
    SetLastErrorFromErrno();
    return nullptr;
  }
  uint64_t fileSize = static_cast<uint64_t>(st.st_size);
  if (size == 0) {
    if (fileSize == 0) {
      SetLastError(ERROR_FILE_INVALID);
      return nullptr;
    }
    size = fileSize;
  } else if (size > fileSize) {
    // A writable section grows its file; a read-only one cannot.
    if (!m->Writable()) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    if (ftruncate(file->Fd(), static_cast<off_t>(size)) != 0) {
      SetLastErrorFromErrno();
      return nullptr;
    }
  }
  m->size = size;
  m->fd = file->Fd();
  AddFileMapping(file->Dev(), file->Ino());
  m->file = std::move(file);
  return m;
}

}  // namespace

}  // namespace platform

using namespace platform;

HANDLE WINAPI CreateFileMappingW(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpFileMappingAttributes*/, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCWSTR lpName) {
  DWORD protect = flProtect & 0xff;  // SEC_* flags above change nothing here
  if (!ValidProtect(protect)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  uint64_t size = (static_cast<uint64_t>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
  MappingState &s = State();
  std::u16string key = lpName && *lpName ? NameKey(View(lpName)) : std::u16string();
  if (!key.empty()) {
    std::shared_ptr<MappingObject> existing;
    {
      std::lock_guard<std::mutex> g(s.lock);
      auto it = s.named.find(key);
      if (it != s.named.end()) existing = it->second.lock();
    }
    if (existing) {
      HANDLE h = NewHandle(existing);
      if (h) SetLastError(ERROR_ALREADY_EXISTS);
      return h;
    }
  }
  auto section = NewSection(hFile, protect, size);
  if (!section) return nullptr;
  HANDLE h = NewHandle(section);
  if (!h) return nullptr;
  if (!key.empty()) {
    std::lock_guard<std::mutex> g(s.lock);
    s.named[key] = section;
  }
  SetLastError(ERROR_SUCCESS);
  return h;
}

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES lpFileMappingAttributes, DWORD flProtect,
                                 DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow, LPCSTR lpName) {
  std::u16string name;
  if (lpName) {
    auto wide = FromUtf8(lpName);
    if (!wide) {
      SetLastError(ERROR_INVALID_NAME);
      return nullptr;
    }
    name = *wide;
  }
  return CreateFileMappingW(hFile, lpFileMappingAttributes, flProtect, dwMaximumSizeHigh, dwMaximumSizeLow,
                            lpName ? name.c_str() : nullptr);
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess, DWORD dwFileOffsetHigh,
                            DWORD dwFileOffsetLow, SIZE_T dwNumberOfBytesToMap) {
  auto m = GetHandleObjectAs<MappingObject>(hFileMappingObject);
  if (!m) return nullptr;
  DWORD access = dwDesiredAccess & ~DWORD(0x20);  // FILE_MAP_EXECUTE adds nothing here
  bool write = access == FILE_MAP_ALL_ACCESS || (access & FILE_MAP_WRITE);
  bool copy = !write && (access & FILE_MAP_COPY);
  bool read = write || copy || (access & FILE_MAP_READ);
  if (!read) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (write && !m->Writable()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  uint64_t offset = (static_cast<uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
  if (offset % kAllocationGranularity) {
    SetLastError(ERROR_MAPPED_ALIGNMENT);
    return nullptr;
  }
  // A view must lie inside its section.
  if (offset >= m->size || dwNumberOfBytesToMap > m->size - offset) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  size_t length = dwNumberOfBytesToMap ? dwNumberOfBytesToMap : static_cast<size_t>(m->size - offset);
  int prot = PROT_READ | (write || copy ? PROT_WRITE : 0);
  void *p = mmap(nullptr, length, prot, copy ? MAP_PRIVATE : MAP_SHARED, m->fd, static_cast<off_t>(offset));
  if (p == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  MappingState &s = State();
  std::lock_guard<std::mutex> g(s.lock);
  s.views[reinterpret_cast<uintptr_t>(p)] = ViewEntry{length, std::move(m)};
  return p;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  std::shared_ptr<MappingObject> section;  // released outside the lock
  MappingState &s = State();
  std::lock_guard<std::mutex> g(s.lock);
  // Any address inside a view names that view.
  uintptr_t a = reinterpret_cast<uintptr_t>(lpBaseAddress);
  auto it = s.views.upper_bound(a);
  if (it == s.views.begin() || a >= std::prev(it)->first + std::prev(it)->second.length) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  --it;
  munmap(reinterpret_cast<void *>(it->first), it->second.length);
  section = std::move(it->second.section);
  s.views.erase(it);
  return TRUE;
}
