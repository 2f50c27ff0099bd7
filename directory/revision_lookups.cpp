// The directory's look-ups of a release: by major revision, software
// version, database version (and its aliases), controller identity, the
// controller at the end of a route and project file. Each checks its
// arguments and the directory's state, asks the plain look-ups of resolve/
// and online/, and reports what they found or why not.
#include "frame/port.h"

#include "directory/revision_directory.h"

#include "catalog/installed_path.h"
#include "catalog/processor_catalog.h"
#include "online/controller_identity.h"
#include "resolve/database_version_aliases.h"
#include "resolve/project_file.h"
#include "resolve/version_lookups.h"

namespace revdir {

HRESULT CRevisionDirectory::FindByMajorRev(const DirectoryStateRef &state, LONG majorRev,
                                           const CRevisionInformation **record) {
  *record = nullptr;
  if (!state || !state->revisions) return m_errorInfo.ReportError(RdE_NotInitialized, LanguageOf(state));
  *record = FindRevisionByMajorRev(state->revisions->Set(), static_cast<DWORD>(majorRev));
  if (!*record) return m_errorInfo.ReportError(RdE_RevisionNotFound, state->languageId);
  return S_OK;
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromMajorRev(LONG MajorRev, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  DirectoryStateRef state = State();
  const CRevisionInformation *record;
  HRESULT hr = FindByMajorRev(state, MajorRev, &record);
  if (FAILED(hr)) return hr;
  return NewRevision(*state, record, p);
}

STDMETHODIMP CRevisionDirectory::get_LatestAvailableRevision(IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  DirectoryStateRef state = State();
  if (!state || state->softwareVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, LanguageOf(state));
  const CRevisionInformation *record = FindLatestInstalledRevision(state->softwareVersionIndex);
  if (!record) return m_errorInfo.ReportError(RdE_RevisionNotInstalled, state->languageId);
  return NewRevision(*state, record, p);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromSoftwareVersion(LONG Major, LONG Minor, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  DirectoryStateRef state = State();
  if (!state || state->softwareVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, LanguageOf(state));
  const CRevisionInformation *record =
      FindBySoftwareVersion(state->softwareVersionIndex, static_cast<DWORD>(Major), static_cast<DWORD>(Minor));
  if (!record) return m_errorInfo.ReportError(RdE_RevisionNotFound, state->languageId);
  return NewRevision(*state, record, p);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromMajorSoftwareVersion(LONG Major, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  DirectoryStateRef state = State();
  if (!state || state->softwareVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, LanguageOf(state));
  const CRevisionInformation *record =
      FindRevisionByMajorSoftwareVersion(state->softwareVersionIndex, static_cast<DWORD>(Major));
  if (!record) return m_errorInfo.ReportError(RdE_RevisionNotFound, state->languageId);
  return NewRevision(*state, record, p);
}

STDMETHODIMP CRevisionDirectory::RESERVED(LONG Arg1, LONG, IRevision **Arg3) {
  return GetRevisionFromMajorSoftwareVersion(Arg1, Arg3);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromDatabaseVersion(LONG DatabaseVersion, IRevision **Revision) {
  if (!Revision) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Revision = nullptr;
  DirectoryStateRef state = State();
  if (!state || state->databaseVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, LanguageOf(state));
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

STDMETHODIMP CRevisionDirectory::GetRevisionFromControllerId(LONG ProductType, LONG ProductCode, LONG MajorRev,
                                                             IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  DirectoryStateRef state = State();
  // The catalogue is static: this step needs no Initialize.
  const CProcessorTypeRow *type = FindControllerType(ProductType, ProductCode);
  if (!type) return m_errorInfo.ReportError(RdE_NotA_TesselController, LanguageOf(state));
  const CRevisionInformation *record;
  HRESULT hr = FindByMajorRev(state, MajorRev, &record);
  if (FAILED(hr)) return hr;
  // Deliberately without error information, as the revision's own answer.
  if (!FindProcessorFirmware(record, type->Id)) return RdE_ProcessorTypeNotSupported;
  return NewRevision(*state, record, p);
}

// Everything on the way to the controller is one error; what the identity
// names is looked up as any controller id is.
STDMETHODIMP CRevisionDirectory::GetRevisionFromController(BSTR EncodedRouteString, IRevision **Revision) {
  if (!Revision) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Revision = nullptr;
  if (!EncodedRouteString) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  Outcome<ControllerId> controller = IdentifyController(EncodedRouteString);
  if (controller.Failed()) return m_errorInfo.Report(controller.failure, LanguageOf(State()));
  const ControllerId &id = controller.value;
  return GetRevisionFromControllerId(id.productType, id.productCode, id.majorRev, Revision);
}

// A text export names its release by major revision, a project database by
// database version; each is then looked up as those members look it up.
STDMETHODIMP CRevisionDirectory::GetRevisionFromProjectFile(BSTR FullPathToProjectFile, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (!FullPathToProjectFile) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  Outcome<ProjectFileKey> file = ReadProjectFileKey(FullPathToProjectFile);
  if (file.Failed()) return m_errorInfo.Report(file.failure, LanguageOf(State()));
  if (file.value.kind == ProjectFileKey::Kind::kMajorRev) return GetRevisionFromMajorRev(file.value.value, p);
  return GetRevisionFromDatabaseVersion(file.value.value, p);
}

}  // namespace revdir
