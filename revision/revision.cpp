#include "frame/port.h"
#include "revision/revision.h"

#include "catalog/installed_path.h"
#include "frame/boundary.h"
#include "revision/launch.h"
#include "revision/progid.h"
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
  return OutOfMemoryGuard([&] {
    // A copy taken under the table's lock: another thread may rewrite it.
    auto path = GetInstalledPath(m_record);
    if (!path) return m_errorInfo.ReportError(RdE_RevisionNotInstalled);
    *p = SysAllocStringLen(path->c_str(), static_cast<UINT>(path->size()));
    return *p ? S_OK : E_OUTOFMEMORY;
  });
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

STDMETHODIMP CRevision::Launch(BSTR CommandLineArguments) {
  return LaunchRevision(m_record, m_languageId, m_errorInfo, CommandLineArguments, nullptr);
}

STDMETHODIMP CRevision::LaunchAndWaitForMainWindow(BSTR CommandLineArguments, ULONG TimeOutInSeconds) {
  LONG processId;
  HRESULT hr = LaunchRevision(m_record, m_languageId, m_errorInfo, CommandLineArguments, &processId);
  if (FAILED(hr)) return hr;
  // No window within the time-out is no failure: the release has started.
  WaitForMainWindow(static_cast<DWORD>(processId), TimeOutInSeconds);
  return S_OK;
}

HRESULT CRevision::GetProgIdForLanguage(BaseProgId base, LONG languageId, BSTR *p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  if (!m_record) {
    *p = nullptr;
    return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  }
  BSTR progId;
  HRESULT hr = base(languageId, m_errorInfo, &progId);
  if (FAILED(hr)) {
    *p = nullptr;
    return hr;
  }
  // The release's own classes: the ProgId with its interface version.
  UINT length = SysStringLen(progId);
  const WCHAR *suffix = m_record->AutomationInterfaceVersion;
  UINT suffixLength = 0;
  while (suffix[suffixLength]) ++suffixLength;
  *p = SysAllocStringLen(nullptr, length + suffixLength);
  if (*p) {
    memcpy(*p, progId, length * sizeof(WCHAR));
    memcpy(*p + length, suffix, suffixLength * sizeof(WCHAR));
  }
  SysFreeString(progId);
  return *p ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CRevision::GetQuillonApplicationProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return GetProgIdForLanguage(GetApplicationBaseProgId, LanguageId, p);
}

STDMETHODIMP CRevision::GetQuillonServicesProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return GetProgIdForLanguage(GetServicesBaseProgId, LanguageId, p);
}

// Through the object's own interface, as a derived class would be called.
STDMETHODIMP CRevision::get_QuillonApplicationProgId(BSTR *p) {
  HRESULT hr = GetQuillonApplicationProgIdForLanguage(static_cast<RdSupportedLanguages>(m_languageId), p);
  return SUCCEEDED(hr) ? S_OK : hr;
}

STDMETHODIMP CRevision::get_QuillonServicesProgId(BSTR *p) {
  HRESULT hr = GetQuillonServicesProgIdForLanguage(static_cast<RdSupportedLanguages>(m_languageId), p);
  return SUCCEEDED(hr) ? S_OK : hr;
}

STDMETHODIMP CRevision::GetProgIdLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return GetProgIdLanguageSuffix(LanguageId, m_errorInfo, p);
}

// The class of a ProgId, from the registry's class registrations.
HRESULT CRevision::ClassOf(HRESULT (STDMETHODCALLTYPE CRevision::*progIdGetter)(BSTR *), CLSID *clsid) {
  BSTR progId;
  HRESULT hr = (this->*progIdGetter)(&progId);
  if (FAILED(hr)) return hr;
  hr = CLSIDFromProgID(progId, clsid);
  SysFreeString(progId);
  if (FAILED(hr)) m_errorInfo.ReportSystemError(hr);
  return hr;
}

STDMETHODIMP CRevision::CreateQuillonApplicationInstance(IDispatch **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (!m_record) return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  CLSID clsid;
  HRESULT hr = ClassOf(&CRevision::get_QuillonApplicationProgId, &clsid);
  if (FAILED(hr)) return hr;
  IUnknown *object = nullptr;
  hr = CoCreateInstance(clsid, nullptr, kAnyServer, IID_IUnknown, reinterpret_cast<void **>(&object));
  // A local server's application starts only when its object is run.
  if (SUCCEEDED(hr)) hr = OleRun(object);
  if (SUCCEEDED(hr)) hr = object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(p));
  if (object) object->Release();
  if (FAILED(hr)) {
    *p = nullptr;
    return m_errorInfo.ReportSystemError(hr);
  }
  return S_OK;
}

STDMETHODIMP CRevision::CreateQuillonServicesInstance(IDispatch **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (!m_record) return m_errorInfo.ReportError(RdE_InvalidRevisionInternalState);
  CLSID clsid;
  HRESULT hr = ClassOf(&CRevision::get_QuillonServicesProgId, &clsid);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(clsid, nullptr, kAnyServer, IID_IDispatch, reinterpret_cast<void **>(p));
  if (FAILED(hr)) {
    *p = nullptr;
    return m_errorInfo.ReportSystemError(hr);
  }
  return S_OK;
}

}  // namespace revdir
