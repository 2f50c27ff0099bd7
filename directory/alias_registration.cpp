// The directory's database-version aliases: the application registers the
// database version it really writes as an alias of its release's, and any
// client may forget them all.
#include "frame/port.h"

#include "directory/revision_directory.h"

#include "frame/boundary.h"
#include "resolve/database_version_aliases.h"

namespace revdir {

STDMETHODIMP CRevisionDirectory::RegisterDatabaseVersionAlias() {
  DirectoryStateRef state = State();
  if (!state || state->databaseVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, LanguageOf(state));
  // Only the application itself, with its database and utility modules
  // loaded, knows which database version it really writes.
  Outcome<ApplicationVersions> application = ReadApplicationVersions();
  if (application.Failed()) return m_errorInfo.Report(application.failure, state->languageId);
  const DWORD actual = application.value.actualDatabaseVersion;
  const CRevisionInformation *record;
  HRESULT hr = FindByMajorRev(state, static_cast<LONG>(application.value.softwareVersion >> 16), &record);
  if (FAILED(hr)) return hr;
  const DWORD target = record->ACDFileVersionNumber;
  if (target == actual) return S_OK;
  return OutOfMemoryGuard([&] {
    // Held from the set's change to its publication, so that this
    // directory's threads and other processes change the value in turn.
    DatabaseVersionAliasesLock store;
    DatabaseVersionAliasSet snapshot;
    {
      CriticalSectionHold hold(m_lock);
      AddDatabaseVersionAlias(m_aliases, target, actual);
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
