// The directory's look-ups by software version and by controller identity.
#include "frame/port.h"
#include "catalog/installed_path.h"
#include "directory/revision_directory.h"

namespace revdir {

STDMETHODIMP CRevisionDirectory::GetRevisionFromSoftwareVersion(LONG Major, LONG Minor, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  DirectoryStateRef state = State();
  if (!state || state->softwareVersionIndex.empty())
    return m_errorInfo.ReportError(RdE_NotInitialized, state ? state->languageId : -1);
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
    return m_errorInfo.ReportError(RdE_NotInitialized, state ? state->languageId : -1);
  const auto &index = state->softwareVersionIndex;
  CRevisionInformation key = SoftwareVersionSearchKey(static_cast<DWORD>(Major), RevisionKeyAny);
  auto end = index.lower_bound(&key);  // after the last of Major
  const CRevisionInformation *highest = nullptr;
  for (auto it = end; it != index.begin();) {
    --it;
    if ((*it)->MajorSoftwareVersion != static_cast<DWORD>(Major)) break;
    if (!highest) highest = *it;
    if (IsInstalled(*it)) return NewRevision(*state, *it, p);
  }
  if (!highest) return m_errorInfo.ReportError(RdE_RevisionNotFound, state->languageId);
  return NewRevision(*state, highest, p);
}

STDMETHODIMP CRevisionDirectory::RESERVED(LONG Arg1, LONG, IRevision **Arg3) {
  return static_cast<IRevisionDirectory_V2 *>(this)->GetRevisionFromMajorSoftwareVersion(Arg1, Arg3);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromControllerId(LONG ProductType, LONG ProductCode, LONG MajorRev,
                                                             IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  // The catalogue is static: this step needs no Initialize.
  const CProcessorTypeRow *row = nullptr;
  for (DWORD i = 0; i < ProcessorTypeCatalogCount && !row; ++i) {
    const CProcessorTypeRow &r = ProcessorTypeCatalog[i];
    if (r.ProductType == ProductType && r.ProductCode == ProductCode) row = &r;
  }
  if (!row) {
    DirectoryStateRef state = State();
    return m_errorInfo.ReportError(RdE_NotA_TesselController, state ? state->languageId : -1);
  }
  IRevision *revision;
  HRESULT hr = static_cast<IRevisionDirectory *>(this)->GetRevisionFromMajorRev(MajorRev, &revision);
  if (FAILED(hr)) return hr;
  LONG supported = 0;
  hr = revision->get_ProcessorIsSupported(static_cast<RdProcessorTypes>(row->Id), &supported);
  if (FAILED(hr) || !supported) {
    revision->Release();
    return FAILED(hr) ? hr : static_cast<HRESULT>(RdE_ProcessorTypeNotSupported);
  }
  *p = revision;
  return S_OK;
}

}  // namespace revdir
