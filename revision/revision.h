// The Revision object: one release of the process-wide revision table.
#pragma once

#include "frame/port.h"
#include <atomic>

#include "QuillonRevisionDirectory.h"
#include "catalog/revision_table.h"
#include "frame/com_object.h"
#include "frame/dispatch_impl.h"
#include "frame/errors.h"

namespace revdir {

class CRevision : public DispatchImpl<IRevision_V2, &IID_IRevision_V2>, public ISupportErrorInfo, public ObjectRoot {
 public:
  CRevision();
  void FinalRelease();
  void *FindInterface(REFIID riid);
  void Bind(const CRevisionInformation *record, LONG languageId);

  // IRevision
  STDMETHODIMP get_ACDFileVersionNumber(LONG *ACDFileVersionNumber) override;
  STDMETHODIMP get_AutomationInterfaceVersion(BSTR *AutomationInterfaceVersion) override;
  STDMETHODIMP get_InstalledPath(BSTR *InstalledPath) override;
  STDMETHODIMP get_IsAvailable(LONG *IsAvailable) override;
  STDMETHODIMP get_MajorRev(LONG *MajorRev) override;
  STDMETHODIMP get_MinorRev(RdProcessorTypes ProcessorTypeId, LONG *MinorRev) override;
  STDMETHODIMP get_MajorSoftwareVersion(LONG *MajorSoftwareVersion) override;
  STDMETHODIMP get_MinorSoftwareVersion(LONG *MinorSoftwareVersion) override;
  STDMETHODIMP get_ProcessorIsSupported(RdProcessorTypes ProcessorTypeId, LONG *ProcessorIsSupported) override;
  STDMETHODIMP get_SupportedProcessorTypes(IProcessorTypes **SupportedProcessorTypes) override;
  STDMETHODIMP Launch(BSTR CommandLineArguments) override;
  STDMETHODIMP LaunchAndWaitForMainWindow(BSTR CommandLineArguments, ULONG TimeOutInSeconds) override;
  // IRevision_V2
  STDMETHODIMP CreateQuillonApplicationInstance(IDispatch **Dispatch) override;
  STDMETHODIMP CreateQuillonServicesInstance(IDispatch **Dispatch) override;
  STDMETHODIMP get_QuillonApplicationProgId(BSTR *ProgId) override;
  STDMETHODIMP GetQuillonApplicationProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *ProgId) override;
  STDMETHODIMP get_QuillonServicesProgId(BSTR *ProgId) override;
  STDMETHODIMP GetQuillonServicesProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *ProgId) override;
  STDMETHODIMP GetProgIdLanguage(RdSupportedLanguages LanguageId, BSTR *ProgIdLanguage) override;

  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);
  // Internal creation: a new object bound to a record and language, queried
  // for `iid` (IRevision for a directory's answer, IRevision_V2 from a
  // collection).
  static HRESULT CreateBound(const CRevisionInformation *record, LONG languageId, REFIID iid, void **out);

 private:
  HRESULT GetNumber(LONG *out, LONG noRecord, DWORD value);
  using BaseProgId = HRESULT (*)(LONG, const CErrorInfo &, BSTR *);
  HRESULT GetProgIdForLanguage(BaseProgId base, LONG languageId, BSTR *out);
  HRESULT ClassOf(HRESULT (STDMETHODCALLTYPE CRevision::*progIdGetter)(BSTR *), CLSID *clsid);

  // In-process, in-process handler, local or remote: any server will do.
  static constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                                      CLSCTX_REMOTE_SERVER;

  const CRevisionInformation *m_record = nullptr;
  // Built on first use; published once even when two threads race.
  std::atomic<IProcessorTypes *> m_supportedTypes{nullptr};
  LONG m_languageId = -1;
  CErrorInfo m_errorInfo;
};

}  // namespace revdir
