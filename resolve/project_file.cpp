#include "frame/port.h"
#include "resolve/project_file.h"

#include <wchar.h>

#include "directory/revision_directory.h"
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

// Reports the calling thread's last error and fails as the project file
// being out of reach.
HRESULT ReportUnableToAccess(const CErrorInfo &errors, DWORD error) {
  errors.ReportSystemError(static_cast<LONG>(error));
  return RdE_UnableToAccessProjectFile;
}

// The database version in the last four bytes of a project database.
HRESULT ReadDatabaseVersion(const CErrorInfo &errors, const WCHAR *path, DWORD *version) {
  HANDLE file = OpenProjectFile(path);
  if (file == INVALID_HANDLE_VALUE) return ReportUnableToAccess(errors, GetLastError());
  // With the high half the distance is 64 bits wide, so a database larger
  // than 4 GiB is read too.
  LONG high = -1;
  SetLastError(NO_ERROR);
  if (SetFilePointer(file, -4, &high, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    CloseHandle(file);
    return errors.ReportSystemError(E_INVALIDARG);
  }
  BYTE bytes[4];
  DWORD read = 0;
  BOOL ok = ReadFile(file, bytes, sizeof bytes, &read, nullptr);
  DWORD error = ok ? ERROR_HANDLE_EOF : GetLastError();
  CloseHandle(file);
  // A file cut short after the seek gives fewer bytes: no version at all.
  if (!ok || read != sizeof bytes) return ReportUnableToAccess(errors, error);
  DWORD v = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
            static_cast<DWORD>(bytes[3]) << 24;
  if (v > 0x7FFFFFFF) v -= 0x7FFFFFFF;
  *version = v;
  return S_OK;
}

}  // namespace

CProjectExportReader::~CProjectExportReader() {
  if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

HRESULT CProjectExportReader::Open(const WCHAR *path) {
  m_file = OpenProjectFile(path);
  if (m_file == INVALID_HANDLE_VALUE) return ReportUnableToAccess(m_owner, GetLastError());
  // The length is taken once: a file that grows meanwhile is read this far,
  // one that shrinks as far as it goes.
  LARGE_INTEGER size;
  if (!GetFileSizeEx(m_file, &size)) return ReportUnableToAccess(m_owner, GetLastError());
  // An empty file is refused as the system refuses to map it.
  if (size.QuadPart == 0) return ReportUnableToAccess(m_owner, ERROR_FILE_INVALID);
  m_textLength = static_cast<uint64_t>(size.QuadPart);
  m_block.reset(new (std::nothrow) unsigned char[kBlockBytes]);
  if (!m_block) return m_owner.ReportSystemError(E_OUTOFMEMORY);
  return S_OK;
}

HRESULT CProjectExportReader::Feed(ExportScanner &scanner, uint64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(m_file, position, nullptr, FILE_BEGIN)) return ReportUnableToAccess(m_owner, GetLastError());
  while (offset < m_textLength) {
    uint64_t left = m_textLength - offset;
    DWORD want = left < kBlockBytes ? static_cast<DWORD>(left) : kBlockBytes;
    DWORD got = 0;
    if (!ReadFile(m_file, m_block.get(), want, &got, nullptr)) return ReportUnableToAccess(m_owner, GetLastError());
    if (got == 0) break;  // the file shrank: its text ends here
    offset += got;
    if (!scanner.Feed(m_block.get(), got)) break;
  }
  return S_OK;
}

HRESULT CProjectExportReader::Scan() {
  ExportScanner scanner;
  HRESULT hr = Feed(scanner, 0);
  // Lists nested beyond the scanner's bound: read again from where it lost
  // track. Each pass starts further on, so this ends.
  while (SUCCEEDED(hr) && !scanner.Finish()) hr = Feed(scanner, scanner.BeginRestart());
  if (FAILED(hr)) return hr;
  ExportScanResult result = scanner.Result();
  m_majorRevision = result.major;
  m_minorRevision = result.minor;
  return result.found() ? S_OK : m_owner.ReportError(RdE_InvalidProjectFileContents);
}

HRESULT CProjectExportReader::Read(const WCHAR *path) {
  HRESULT hr = Open(path);
  if (FAILED(hr)) return hr;
  return Scan();
}

HRESULT GetRevisionFromProjectFile(IRevisionDirectory *self, const CErrorInfo &errors, BSTR path,
                                   IRevision **revision) {
  if (!revision) return errors.ReportSystemError(E_INVALIDARG);
  *revision = nullptr;
  if (!path) return errors.ReportSystemError(E_INVALIDARG);
  // The last "." of the whole path, folders included.
  const WCHAR *extension = wcsrchr(path, OLESTR('.'));
  if (!extension) return errors.ReportSystemError(E_INVALIDARG);
  if (_wcsicmp(extension, OLESTR(".pjx")) == 0) {
    LONG major;
    {
      CProjectExportReader reader(errors);
      HRESULT hr = reader.Read(path);
      if (FAILED(hr)) return hr;
      major = reader.MajorRevision();
    }
    return self->GetRevisionFromMajorRev(major, revision);
  }
  if (_wcsicmp(extension, OLESTR(".acd")) == 0) {
    DWORD version = 0;
    HRESULT hr = ReadDatabaseVersion(errors, path, &version);
    if (FAILED(hr)) return hr;
    return self->GetRevisionFromDatabaseVersion(static_cast<LONG>(version), revision);
  }
  // Reported as the system reports codes it has no text for.
  errors.ReportSystemError(RdE_InvalidProjectFileType);
  return RdE_InvalidProjectFileType;
}

// The directory's member: its look-ups live with the other resolving roads.
STDMETHODIMP CRevisionDirectory::GetRevisionFromProjectFile(BSTR FullPathToProjectFile, IRevision **p) {
  return revdir::GetRevisionFromProjectFile(this, m_errorInfo, FullPathToProjectFile, p);
}

}  // namespace revdir
