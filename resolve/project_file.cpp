// What a project file names its release by.
#include "frame/port.h"
#include "resolve/project_file.h"

#include <wchar.h>

#include <cstdint>
#include <memory>
#include <new>

#include "QuillonRevisionDirectory.h"
#include "resolve/export_scan.h"

namespace revdir {

namespace {

// Large enough that the system call per block is noise, small enough to stay
// in the processor's cache while it is scanned.
constexpr DWORD kBlockBytes = DWORD{1} << 18;

// Project files may be held open for writing by the application.
HANDLE OpenProjectFile(const WCHAR *path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The project file out of reach, with the system's text of why.
Failure UnableToAccess(DWORD error) { return SystemFailure(static_cast<LONG>(error), RdE_UnableToAccessProjectFile); }

// The database version in the last four bytes of a project database.
Outcome<ProjectFileKey> ReadDatabaseVersion(const WCHAR *path) {
  HANDLE file = OpenProjectFile(path);
  if (file == INVALID_HANDLE_VALUE) return {{}, UnableToAccess(GetLastError())};
  // With the high half the distance is 64 bits wide, so a database larger
  // than 4 GiB is read too.
  LONG high = -1;
  SetLastError(NO_ERROR);
  if (SetFilePointer(file, -4, &high, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    CloseHandle(file);
    return {{}, SystemFailure(E_INVALIDARG)};
  }
  BYTE bytes[4];
  DWORD read = 0;
  BOOL ok = ReadFile(file, bytes, sizeof bytes, &read, nullptr);
  DWORD error = ok ? ERROR_HANDLE_EOF : GetLastError();
  CloseHandle(file);
  // A file cut short after the seek gives fewer bytes: no version at all.
  if (!ok || read != sizeof bytes) return {{}, UnableToAccess(error)};
  DWORD v = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
            static_cast<DWORD>(bytes[3]) << 24;
  if (v > 0x7FFFFFFF) v -= 0x7FFFFFFF;
  return {{ProjectFileKey::Kind::kDatabaseVersion, static_cast<LONG>(v)}, {}};
}

// Reads a text export's controller module entry; one object per file.
class ExportReader {
 public:
  ExportReader() = default;
  ~ExportReader() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
  }
  ExportReader(const ExportReader &) = delete;
  ExportReader &operator=(const ExportReader &) = delete;

  // The major revision, or why there is none.
  Outcome<ProjectFileKey> Read(const WCHAR *path) {
    Failure failure = Open(path);
    if (failure.Failed()) return {{}, failure};
    return Scan();
  }

 private:
  Failure Open(const WCHAR *path);
  Outcome<ProjectFileKey> Scan();
  // The file's bytes from `offset` up to the length taken at Open.
  Failure Feed(ExportScanner &scanner, uint64_t offset);

  uint64_t m_textLength = 0;
  HANDLE m_file = INVALID_HANDLE_VALUE;
  std::unique_ptr<unsigned char[]> m_block;
};

Failure ExportReader::Open(const WCHAR *path) {
  m_file = OpenProjectFile(path);
  if (m_file == INVALID_HANDLE_VALUE) return UnableToAccess(GetLastError());
  // The length is taken once: a file that grows meanwhile is read this far,
  // one that shrinks as far as it goes.
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_file, &size)) return UnableToAccess(GetLastError());
  // An empty file is refused as the system refuses to map it.
  if (size.QuadPart == 0) return UnableToAccess(ERROR_FILE_INVALID);
  m_textLength = static_cast<uint64_t>(size.QuadPart);
  m_block.reset(new (std::nothrow) unsigned char[kBlockBytes]);
  if (!m_block) return SystemFailure(E_OUTOFMEMORY);
  return {};
}

Failure ExportReader::Feed(ExportScanner &scanner, uint64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(m_file, position, nullptr, FILE_BEGIN)) return UnableToAccess(GetLastError());
  while (offset < m_textLength) {
    uint64_t left = m_textLength - offset;
    DWORD want = left < kBlockBytes ? static_cast<DWORD>(left) : kBlockBytes;
    DWORD got = 0;
    if (!ReadFile(m_file, m_block.get(), want, &got, nullptr)) return UnableToAccess(GetLastError());
    if (got == 0) break;  // the file shrank: its text ends here
    offset += got;
    if (!scanner.Feed(m_block.get(), got)) break;
  }
  return {};
}

Outcome<ProjectFileKey> ExportReader::Scan() {
  ExportScanner scanner;
  Failure failure = Feed(scanner, 0);
  // Lists nested beyond the scanner's bound: read again from where it lost
  // track. Each pass starts further on, so this ends.
  while (!failure.Failed() && !scanner.Finish()) failure = Feed(scanner, scanner.BeginRestart());
  if (failure.Failed()) return {{}, failure};
  ExportScanResult result = scanner.Result();
  if (!result.Found()) return {{}, ComponentFailure(RdE_InvalidProjectFileContents)};
  return {{ProjectFileKey::Kind::kMajorRev, result.major}, {}};
}

}  // namespace

Outcome<ProjectFileKey> ReadProjectFileKey(const WCHAR *path) {
  // The last "." of the whole path, folders included.
  const WCHAR *extension = wcsrchr(path, OLESTR('.'));
  if (!extension) return {{}, SystemFailure(E_INVALIDARG)};
  if (_wcsicmp(extension, OLESTR(".pjx")) == 0) return ExportReader().Read(path);
  if (_wcsicmp(extension, OLESTR(".acd")) == 0) return ReadDatabaseVersion(path);
  // Reported as the system reports codes it has no text for.
  return {{}, SystemFailure(RdE_InvalidProjectFileType)};
}

}  // namespace revdir
