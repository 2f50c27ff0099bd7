// The RevisionDirectory class: the component's entry object.
#pragma once

#include "QuillonRevisionDirectory.h"
#include "frame/com_object.h"
#include "frame/dispatch_impl.h"
#include "frame/errors.h"

namespace revdir {

class CRevisionDirectory : public DispatchImpl<IRevisionDirectory_V6, &IID_IRevisionDirectory_V6>,
                           public ISupportErrorInfo,
                           public ObjectRoot {
 public:
  CRevisionDirectory();
  void FinalRelease();
  void *FindInterface(REFIID riid);

  // IRevisionDirectory
  STDMETHODIMP get_AvailableRevisions(IAvailableRevisions **AvailableRevisions) override;
  STDMETHODIMP get_LatestAvailableRevision(IRevision **LatestAvailableRevision) override;
  STDMETHODIMP get_ProcessorTypes(IProcessorTypes **ProcessorTypes) override;
  STDMETHODIMP get_Revisions(IRevisions **Revisions) override;
  STDMETHODIMP GetRevisionFromDatabaseVersion(LONG DatabaseVersion, IRevision **Revision) override;
  STDMETHODIMP GetRevisionFromMajorRev(LONG MajorRev, IRevision **Revision) override;
  STDMETHODIMP GetRevisionFromProjectFile(BSTR FullPathToProjectFile, IRevision **Revision) override;
  STDMETHODIMP RESERVED(LONG Arg1, LONG Arg2, IRevision **Arg3) override;
  STDMETHODIMP Initialize() override;
  STDMETHODIMP GetErrorDescription(HRESULT ErrorCode, BSTR *Text) override;
  STDMETHODIMP GetErrorConstantAndDescription(HRESULT ErrorCode, BSTR *Constant, BSTR *Text) override;
  STDMETHODIMP TestModeInitialize(VARIANT_BOOL InitializeForTestMode) override;
  // IRevisionDirectory_V2
  STDMETHODIMP GetRevisionFromSoftwareVersion(LONG MajorSoftwareVersion, LONG MinorSoftwareVersion,
                                              IRevision **Revision) override;
  STDMETHODIMP GetRevisionFromMajorSoftwareVersion(LONG MajorSoftwareVersion, IRevision **Revision) override;
  STDMETHODIMP IsInterfaceVersionSupported(RdRevisionDirectoryInterfaceVersions InterfaceVersion,
                                           VARIANT_BOOL *IsSupported) override;
  // IRevisionDirectory_V3
  STDMETHODIMP get_SupportedProcessorTypes(IProcessorTypes **SupportedProcessorTypes) override;
  STDMETHODIMP get_MRS_SupportedProcessorTypes(IProcessorTypes **MRS_SupportedProcessorTypes) override;
  // IRevisionDirectory_V4
  STDMETHODIMP GetRevisionFromController(BSTR EncodedRouteString, IRevision **Revision) override;
  STDMETHODIMP GetRevisionFromControllerId(LONG ProductType, LONG ProductCode, LONG MajorRev,
                                           IRevision **Revision) override;
  // IRevisionDirectory_V5
  STDMETHODIMP RegisterDatabaseVersionAlias() override;
  STDMETHODIMP UnregisterAllDatabaseVersionAliases() override;
  // IRevisionDirectory_V6
  STDMETHODIMP FindQuillonApplicationInstance(BSTR FullPathToACDFile, IDispatch **Dispatch) override;
  STDMETHODIMP get_QuillonApplicationProgId(BSTR *ProgId) override;
  STDMETHODIMP GetQuillonApplicationProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *ProgId) override;
  STDMETHODIMP get_QuillonServicesProgId(BSTR *ProgId) override;
  STDMETHODIMP GetQuillonServicesProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *ProgId) override;
  STDMETHODIMP GetProgIdLanguage(RdSupportedLanguages LanguageId, BSTR *ProgIdLanguage) override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  static HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv);

 private:
  LONG m_languageId = -1;
  CErrorInfo m_errorInfo;
};

}  // namespace revdir
