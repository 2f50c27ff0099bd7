#include "frame/port.h"
#include "revision/revision.h"

#include "catalog/installed_path.h"
#include "revision/processor_type.h"

namespace revdir {

CRevision::CRevision() : m_errorInfo(OLESTR("QuillonRevisionDirectory.Revision"), IID_IRevision_V2) {}

void CRevision::FinalRelease() {
  if (IProcessorTypes *types = m_supportedTypes.exchange(nullptr)) types->Release();
}

void *CRevision::FindInterface(REFIID riid) {
  if (IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IRevision) || IsEqualGUID(riid, IID_IRevision_V2) ||
      IsEqualGUID(riid, IID_IUnknown))
    return static_cast<IRevision_V2 *>(this);
  if (IsEqualGUID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo *>(this);
  return nullptr;
}

void CRevision::Bind(const CRevisionInformation *record, LONG languageId) {
  m_record = record;
  m_languageId = languageId;
  m_errorInfo.SetLanguageId(languageId);
}

HRESULT CRevision::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return CreateComInstance<CRevision>(outer, riid, ppv);
}

HRESULT CRevision::CreateBound(const CRevisionInformation *record, LONG languageId, REFIID iid, void **out) {
  return CreateBoundInstance<CRevision>([&](CRevision &object) { object.Bind(record, languageId); }, iid, out);
}

STDMETHODIMP CRevision::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualGUID(riid, IID_IRevision_V2) || IsEqualGUID(riid, IID_IRevision) ? S_OK : S_FALSE;
}

HRESULT CRevision::GetNumber(LONG *out, LONG noRecord, DWORD value) {
  if (!out) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  if (!m_record) {
    *out = noRecord;
    return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  }
  *out = static_cast<LONG>(value);
  return S_OK;
}

STDMETHODIMP CRevision::get_ACDFileVersionNumber(LONG *p) {
  return GetNumber(p, -1, m_record ? m_record->ACDFileVersionNumber : 0);
}
STDMETHODIMP CRevision::get_MajorRev(LONG *p) { return GetNumber(p, -1, m_record ? m_record->MajorRev : 0); }
STDMETHODIMP CRevision::get_MajorSoftwareVersion(LONG *p) {
  return GetNumber(p, -1, m_record ? m_record->MajorSoftwareVersion : 0);
}
STDMETHODIMP CRevision::get_MinorSoftwareVersion(LONG *p) {
  return GetNumber(p, -1, m_record ? m_record->MinorSoftwareVersion : 0);
}
STDMETHODIMP CRevision::get_IsAvailable(LONG *p) { return GetNumber(p, 0, m_record && IsInstalled(m_record) ? 1 : 0); }

STDMETHODIMP CRevision::get_AutomationInterfaceVersion(BSTR *p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (!m_record) return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  *p = SysAllocString(m_record->AutomationInterfaceVersion);
  return *p ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CRevision::get_InstalledPath(BSTR *p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (!m_record) return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  // A copy taken under the table's lock: another thread may rewrite it.
  auto path = GetInstalledPath(m_record);
  if (!path) return m_errorInfo.ReportError(RdE_RevisionNotInstalled);
  *p = SysAllocStringLen(path->c_str(), static_cast<UINT>(path->size()));
  return *p ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CRevision::get_MinorRev(RdProcessorTypes ProcessorTypeId, LONG *p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = -1;
  if (!m_record) return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  const CProcessorTypeRow *row = FindProcessorFirmware(m_record, static_cast<LONG>(ProcessorTypeId));
  if (!row) return RdE_ProcessorTypeNotSupported;  // deliberately without error information
  *p = row->MinorRev;
  return S_OK;
}

STDMETHODIMP CRevision::get_ProcessorIsSupported(RdProcessorTypes ProcessorTypeId, LONG *p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = 0;
  if (!m_record) return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  *p = FindProcessorFirmware(m_record, static_cast<LONG>(ProcessorTypeId)) ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CRevision::get_SupportedProcessorTypes(IProcessorTypes **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  IProcessorTypes *types = m_supportedTypes.load();
  if (!types) {
    if (!m_record) return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
    ComObject<CProcessorTypes> *collection;
    HRESULT hr = CProcessorTypes::CreateEmpty(&collection);
    if (FAILED(hr)) return hr;
    hr = InsertProcessorTypes(collection->Set(), m_record->ProcessorTypeTable, m_record->ProcessorTypeCount,
                              m_languageId);
    if (FAILED(hr)) {
      collection->Release();
      return hr;
    }
    // The first thread to publish wins; a loser drops its copy, so every
    // caller gets the same object.
    IProcessorTypes *expected = nullptr;
    types = collection;
    if (!m_supportedTypes.compare_exchange_strong(expected, types)) {
      collection->Release();
      types = expected;
    }
  }
  types->AddRef();
  *p = types;
  return S_OK;
}

// Launching and automation instances land with their own work.

STDMETHODIMP CRevision::Launch(BSTR) { return E_NOTIMPL; }
STDMETHODIMP CRevision::LaunchAndWaitForMainWindow(BSTR, ULONG) { return E_NOTIMPL; }
STDMETHODIMP CRevision::CreateQuillonApplicationInstance(IDispatch **p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevision::CreateQuillonServicesInstance(IDispatch **p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevision::get_QuillonApplicationProgId(BSTR *p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevision::GetQuillonApplicationProgIdForLanguage(RdSupportedLanguages, BSTR *p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevision::get_QuillonServicesProgId(BSTR *p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevision::GetQuillonServicesProgIdForLanguage(RdSupportedLanguages, BSTR *p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevision::GetProgIdLanguage(RdSupportedLanguages, BSTR *p) { REVDIR_NOT_YET(m_errorInfo, p); }

}  // namespace revdir
