#include "directory/revision_directory.h"
#include "frame/port.h"

namespace revdir {

CRevisionDirectory::CRevisionDirectory()
    : m_errorInfo(W("QuillonRevisionDirectory.RevisionDirectory"), IID_IRevisionDirectory_V6) {}

void CRevisionDirectory::FinalRelease() {}

void *CRevisionDirectory::FindInterface(REFIID riid) {
  IRevisionDirectory_V6 *dual = this;
  if (IsEqualGUID(riid, IID_IRevisionDirectory_V6) || IsEqualGUID(riid, IID_IRevisionDirectory_V5) ||
      IsEqualGUID(riid, IID_IRevisionDirectory_V4) || IsEqualGUID(riid, IID_IRevisionDirectory_V3) ||
      IsEqualGUID(riid, IID_IRevisionDirectory_V2) || IsEqualGUID(riid, IID_IRevisionDirectory) ||
      IsEqualGUID(riid, IID_IDispatch) || IsEqualGUID(riid, IID_IUnknown))
    return dual;
  if (IsEqualGUID(riid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo *>(this);
  return nullptr;
}

HRESULT CRevisionDirectory::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
  return CreateComInstance<CRevisionDirectory>(outer, riid, ppv);
}

STDMETHODIMP CRevisionDirectory::InterfaceSupportsErrorInfo(REFIID riid) {
  const IID *supported[] = {&IID_IRevisionDirectory_V6, &IID_IRevisionDirectory_V5, &IID_IRevisionDirectory_V4,
                            &IID_IRevisionDirectory_V3, &IID_IRevisionDirectory_V2, &IID_IRevisionDirectory};
  for (const IID *iid : supported)
    if (IsEqualGUID(riid, *iid)) return S_OK;
  return S_FALSE;
}

STDMETHODIMP CRevisionDirectory::GetErrorDescription(HRESULT ErrorCode, BSTR *Text) {
  if (!Text) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Text = ErrorDescription(ErrorCode, m_languageId);
  return S_OK;
}

STDMETHODIMP CRevisionDirectory::GetErrorConstantAndDescription(HRESULT ErrorCode, BSTR *Constant, BSTR *Text) {
  if (Constant) *Constant = nullptr;
  if (Text) *Text = nullptr;
  if (!Constant || !Text) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Constant = RdErrorConstantName(ErrorCode);
  *Text = ErrorDescription(ErrorCode, m_languageId);
  return S_OK;
}

STDMETHODIMP CRevisionDirectory::IsInterfaceVersionSupported(RdRevisionDirectoryInterfaceVersions InterfaceVersion,
                                                             VARIANT_BOOL *IsSupported) {
  if (!IsSupported) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *IsSupported = VARIANT_FALSE;
  switch (static_cast<LONG>(InterfaceVersion)) {
    case 256:
    case 512:
    case 768:
    case 1024:
    case 1280:
    case 1536: *IsSupported = VARIANT_TRUE; break;
    default: break;
  }
  return S_OK;
}

// Members whose behaviour lands with the directory's state.
#define NOT_YET(out)                                             \
  do {                                                           \
    if (!(out)) return m_errorInfo.ReportSystemError(E_INVALIDARG); \
    *(out) = nullptr;                                            \
    return E_NOTIMPL;                                            \
  } while (0)

STDMETHODIMP CRevisionDirectory::get_AvailableRevisions(IAvailableRevisions **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::get_LatestAvailableRevision(IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::get_ProcessorTypes(IProcessorTypes **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::get_Revisions(IRevisions **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetRevisionFromDatabaseVersion(LONG, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetRevisionFromMajorRev(LONG, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetRevisionFromProjectFile(BSTR, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::RESERVED(LONG, LONG, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::Initialize() { return E_NOTIMPL; }
STDMETHODIMP CRevisionDirectory::TestModeInitialize(VARIANT_BOOL) { return E_NOTIMPL; }
STDMETHODIMP CRevisionDirectory::GetRevisionFromSoftwareVersion(LONG, LONG, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetRevisionFromMajorSoftwareVersion(LONG, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::get_SupportedProcessorTypes(IProcessorTypes **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::get_MRS_SupportedProcessorTypes(IProcessorTypes **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetRevisionFromController(BSTR, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetRevisionFromControllerId(LONG, LONG, LONG, IRevision **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::RegisterDatabaseVersionAlias() { return E_NOTIMPL; }
STDMETHODIMP CRevisionDirectory::UnregisterAllDatabaseVersionAliases() { return E_NOTIMPL; }
STDMETHODIMP CRevisionDirectory::FindQuillonApplicationInstance(BSTR, IDispatch **p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::get_QuillonApplicationProgId(BSTR *p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetQuillonApplicationProgIdForLanguage(RdSupportedLanguages, BSTR *p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::get_QuillonServicesProgId(BSTR *p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetQuillonServicesProgIdForLanguage(RdSupportedLanguages, BSTR *p) { NOT_YET(p); }
STDMETHODIMP CRevisionDirectory::GetProgIdLanguage(RdSupportedLanguages, BSTR *p) { NOT_YET(p); }

}  // namespace revdir
