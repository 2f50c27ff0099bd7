// The RevisionDirectory class: the component's entry object.
#pragma once

#include "frame/port.h"
#include "QuillonRevisionDirectory.h"
#include "directory/revision_collections.h"
#include "catalog/revision_table.h"
#include "frame/com_object.h"
#include "frame/dispatch_impl.h"
#include "frame/errors.h"
#include "revision/processor_type.h"

namespace revdir {

class CRevisionDirectory : public DispatchImpl<IRevisionDirectory_V6, &IID_IRevisionDirectory_V6>,
                           public ISupportErrorInfo,
                           public ObjectRoot {
 public:
  CRevisionDirectory();
  void FinalRelease();

  // The language of a directory initialised on this thread.
  static LONG LanguageIdFromThreadLocale();
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
  void ReleaseCollections();
  HRESULT NewRevision(const CRevisionInformation *record, IRevision **out);
  // Marks a release installed from a registry value; S_FALSE when the value
  // is missing, a failure (with error information) for an unknown release.
  HRESULT SetInstalledPathFromValue(HKEY key, const WCHAR *valueName, DWORD bytesMax, DWORD major, DWORD minor);
  HRESULT ScanLanguagePackKeys();
  HRESULT ScanNumberedReleaseKeys();
  template <class Collection>
  HRESULT GetCollection(Collection *collection, typename Collection::Interface **out);

  ComObject<CRevisions> *m_revisions = nullptr;
  ComObject<CAvailableRevisions> *m_availableRevisions = nullptr;
  ComObject<CProcessorTypes> *m_processorTypes = nullptr;
  ComObject<CProcessorTypes> *m_supportedProcessorTypes = nullptr;
  ComObject<CProcessorTypes> *m_mrsSupportedProcessorTypes = nullptr;
  DatabaseVersionIndex m_databaseVersionIndex;
  SoftwareVersionIndex m_softwareVersionIndex;
  LONG m_languageId = -1;
  CErrorInfo m_errorInfo;
};

}  // namespace revdir
