// The directory's look-up by database version and the registration of
// database-version aliases.
#include "frame/port.h"
#include <string>

#include "directory/revision_directory.h"
#include "frame/boundary.h"
#include "resolve/database_version_aliases.h"

namespace revdir {

void CRevisionDirectory::ReloadDatabaseVersionAliases(DatabaseVersionAliasSet &aliases) {
  // A malformed value is deleted and loads nothing; Initialize succeeds anyway.
  LoadDatabaseVersionAliases(aliases);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromDatabaseVersion(LONG DatabaseVersion, IRevision **Revision) {
  if (!Revision) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Revision = nullptr;
  DirectoryStateRef state = State();
  if (!state || state->databaseVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, state ? state->languageId : -1);
  const DWORD version = static_cast<DWORD>(DatabaseVersion);
  const CRevisionInformation *record = FindRevisionByDatabaseVersion(state->databaseVersionIndex, version);
  // Only a version that no release carries is looked up as an alias, and
  // only one step: the target is never an alias in turn.
  if (!record) {
    DWORD target;
    {
      CriticalSectionHold hold(m_lock);
      target = FindDatabaseVersionAliasTarget(m_aliases, version);
    }
    record = FindRevisionByDatabaseVersion(state->databaseVersionIndex, target);
  }
  if (!record) return m_errorInfo.ReportError(RdE_RevisionNotFound, state->languageId);
  return NewRevision(*state, record, Revision);
}

STDMETHODIMP CRevisionDirectory::RegisterDatabaseVersionAlias() {
  DirectoryStateRef state = State();
  if (!state || state->databaseVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, state ? state->languageId : -1);
  // Only the application itself, with its database and utility modules
  // loaded, knows which database version it really writes.
  WCHAR path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0) return RdE_NotQuillon;
  path[MAX_PATH - 1] = 0;
  if (!IsAliasRegisteringProgram(ModuleFileNamePart(path))) return RdE_NotQuillon;
  QuillonVersionEntryPoints entryPoints;
  if (!FindQuillonVersionEntryPoints(&entryPoints)) return RdE_NotQuillon;
  const DWORD actual = entryPoints.ActualDatabaseVersionNumber();
  const DWORD software = entryPoints.QxGetSoftwareVersion();

  IRevision *revision = nullptr;
  HRESULT hr = static_cast<IRevisionDirectory *>(this)->GetRevisionFromMajorRev(static_cast<LONG>(software >> 16),
                                                                                  &revision);
  if (FAILED(hr)) return hr;
  LONG target = 0;
  hr = revision->get_ACDFileVersionNumber(&target);
  revision->Release();
  if (FAILED(hr)) return hr;
  if (static_cast<DWORD>(target) == actual) return S_OK;
  return OutOfMemoryGuard([&] {
    // Held from the set's change to its publication, so that this
    // directory's threads and other processes change the value in turn.
    DatabaseVersionAliasesLock store;
    DatabaseVersionAliasSet snapshot;
    {
      CriticalSectionHold hold(m_lock);
      AddDatabaseVersionAlias(m_aliases, static_cast<DWORD>(target), actual);
      snapshot = m_aliases;
    }
    // The value written holds what others stored too; the directory then
    // answers as the value does. Unsaved, the alias stays in memory only.
    if (store && SaveDatabaseVersionAliases(snapshot)) {
      CriticalSectionHold hold(m_lock);
      m_aliases.swap(snapshot);
    }
    return S_OK;
  });
}

STDMETHODIMP CRevisionDirectory::UnregisterAllDatabaseVersionAliases() {
  DatabaseVersionAliasesLock store;
  DatabaseVersionAliasSet old;
  {
    CriticalSectionHold hold(m_lock);
    old.swap(m_aliases);
  }
  DeleteDatabaseVersionAliasesValue();
  return S_OK;
}

}  // namespace revdir
