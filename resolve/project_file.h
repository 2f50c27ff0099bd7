// GetRevisionFromProjectFile: the release a project file belongs to, by the
// database version at the end of a project database (".acd") or the
// controller module entry of a text export (".pjx").
#pragma once

#include "frame/port.h"
#include "QuillonRevisionDirectory.h"
#include "frame/errors.h"

#include <cstdint>
#include <memory>

namespace revdir {

// Reads a text export's controller module entry; one object per call. The
// file is read in blocks through one fixed buffer, so memory stays flat and
// a file that shrinks or grows meanwhile is read as far as it goes.
class CProjectExportReader {
 public:
  explicit CProjectExportReader(const CErrorInfo &owner) : m_owner(owner) {}
  ~CProjectExportReader();
  CProjectExportReader(const CProjectExportReader &) = delete;
  CProjectExportReader &operator=(const CProjectExportReader &) = delete;

  // S_OK when both revisions were found; a failure with error information.
  HRESULT Read(const WCHAR *path);
  LONG MajorRevision() const { return m_majorRevision; }
  LONG MinorRevision() const { return m_minorRevision; }

 private:
  HRESULT Open(const WCHAR *path);
  HRESULT Scan();
  // The file's bytes from `offset` up to the length taken at Open.
  HRESULT Feed(class ExportScanner &scanner, uint64_t offset);

  LONG m_majorRevision = -1;
  LONG m_minorRevision = -1;
  uint64_t m_textLength = 0;
  HANDLE m_file = INVALID_HANDLE_VALUE;
  std::unique_ptr<unsigned char[]> m_block;
  const CErrorInfo &m_owner;
};

// The whole method, for the directory `self` (called back through its own
// interface) whose error information `errors` holds.
HRESULT GetRevisionFromProjectFile(IRevisionDirectory *self, const CErrorInfo &errors, BSTR path,
                                   IRevision **revision);

}  // namespace revdir
