// Database versions to releases: the look-up over a directory's index, the
// alias set and its persistent form in the registry, and the check that the
// calling process is the application that may register an alias.
#pragma once

#include "frame/port.h"
#include <windows.h>

#include "catalog/database_version_mapping.h"
#include "catalog/revision_table.h"
#include "frame/errors.h"
#include "frame/qx_buffer.h"

namespace revdir {

// The staging buffer between an alias set and the registry value.
class CDatabaseVersionNumberMappingArray : public QxBuffer<CDatabaseVersionNumberMapping> {
 public:
  using QxBuffer::QxBuffer;
  ~CDatabaseVersionNumberMappingArray() override = default;
};

// Of the releases that carry `version`: the installed one with the highest
// software version, else the highest; null when none carries it.
const CRevisionInformation *FindRevisionByDatabaseVersion(const DatabaseVersionIndex &index, DWORD version);

// The target of `alias`, 0xFFFFFFFF when it has none.
DWORD FindDatabaseVersionAliasTarget(const DatabaseVersionAliasSet &aliases, DWORD alias);

// Inserts (target, alias) unless the alias is mapped already; true when it
// was inserted or the same mapping was there. Throws std::bad_alloc.
bool AddDatabaseVersionAlias(DatabaseVersionAliasSet &aliases, DWORD target, DWORD alias);

// The lock every process takes to change the registry value, so that one
// process's read, merge and write never interleaves with another's (a named
// mutex; it excludes the other threads of the process too, and a thread may
// take it again). Held from construction to destruction when it was had.
class DatabaseVersionAliasesLock {
 public:
  DatabaseVersionAliasesLock();
  ~DatabaseVersionAliasesLock();
  DatabaseVersionAliasesLock(const DatabaseVersionAliasesLock &) = delete;
  DatabaseVersionAliasesLock &operator=(const DatabaseVersionAliasesLock &) = delete;
  explicit operator bool() const { return m_owned; }

 private:
  HANDLE m_mutex;
  bool m_owned = false;
};

// Merges the set into the registry value under a lock that every process
// honours (an alias already stored keeps its target) and hands back what
// was written; nothing for an empty set. False, with the set unchanged, when
// the key is missing, the lock cannot be had or the write fails.
bool SaveDatabaseVersionAliases(DatabaseVersionAliasSet &aliases);

// Fills `aliases` from the registry value. A value whose length is not a
// multiple of 8, or that maps one alias to two targets, is deleted and
// leaves the set empty. Throws std::bad_alloc.
bool LoadDatabaseVersionAliases(DatabaseVersionAliasSet &aliases);

// Deletes the registry value under the lock; true when it is gone (or never
// was).
bool DeleteDatabaseVersionAliasesValue();

// The file name of a module path: after the last "\", else after the last
// ":", else the whole text.
const WCHAR *ModuleFileNamePart(const WCHAR *path);
// The two executables that may register an alias, ignoring case.
bool IsAliasRegisteringProgram(const WCHAR *fileName);

// The application's two entry points in the calling process, found without
// loading anything; false when a module or an export is missing.
struct QuillonVersionEntryPoints {
  DWORD (*ActualDatabaseVersionNumber)();
  DWORD (*QxGetSoftwareVersion)();
};
bool FindQuillonVersionEntryPoints(QuillonVersionEntryPoints *entryPoints);

// What the application in the calling process says of itself: the database
// version it really writes, and its software version (major in the high
// word).
struct ApplicationVersions {
  DWORD actualDatabaseVersion = 0;
  DWORD softwareVersion = 0;
};

// The versions of the application that the calling process is;
// RdE_NotQuillon, without error information, when the process is no program
// that may register an alias or lacks the application's entry points.
Outcome<ApplicationVersions> ReadApplicationVersions();

}  // namespace revdir
