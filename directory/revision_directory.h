// The RevisionDirectory class: the component's entry object. Its members are
// defined in this folder (revision_directory.cpp: the object, Initialize,
// errors, collections and ProgIds; revision_lookups.cpp: the look-ups of a
// release; alias_registration.cpp: database-version aliases); what they look
// up, read or ask is done by plain functions of catalog/, resolve/ and
// online/.
#pragma once

#include "frame/port.h"
#include <memory>

#include "QuillonRevisionDirectory.h"
#include "catalog/database_version_mapping.h"
#include "catalog/revision_table.h"
#include "directory/revision_collections.h"
#include "frame/com_object.h"
#include "frame/dispatch_impl.h"
#include "frame/errors.h"
#include "revision/processor_type.h"

namespace revdir {

// What one Initialize built. Never changed once published: Initialize builds
// a new one completely and swaps it in, and every call works on the one it
// took a reference to, so a re-initialisation on another thread never frees
// or half-builds what a reader is using.
struct DirectoryState {
  DirectoryState() = default;
  ~DirectoryState();
  DirectoryState(const DirectoryState &) = delete;
  DirectoryState &operator=(const DirectoryState &) = delete;

  ComObject<CRevisions> *revisions = nullptr;
  ComObject<CAvailableRevisions> *availableRevisions = nullptr;
  ComObject<CProcessorTypes> *processorTypes = nullptr;
  ComObject<CProcessorTypes> *supportedProcessorTypes = nullptr;
  ComObject<CProcessorTypes> *mrsSupportedProcessorTypes = nullptr;
  DatabaseVersionIndex databaseVersionIndex;
  SoftwareVersionIndex softwareVersionIndex;
  LONG languageId = -1;
};
using DirectoryStateRef = std::shared_ptr<const DirectoryState>;

// The language of a state; -1 (no language) before the first Initialize.
inline LONG LanguageOf(const DirectoryStateRef &state) { return state ? state->languageId : -1; }

class CRevisionDirectory : public DispatchImpl<IRevisionDirectory_V6, &IID_IRevisionDirectory_V6>,
                           public ISupportErrorInfo,
                           public ObjectRoot {
 public:
  CRevisionDirectory();
  ~CRevisionDirectory();
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
  // The IDL's parameter name, which the scheme's PascalCase pattern misses.
  STDMETHODIMP get_MRS_SupportedProcessorTypes(
      IProcessorTypes **MRS_SupportedProcessorTypes) override;  // NOLINT(readability-identifier-naming)
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
  // The state the call works on: a reference to the last one published.
  DirectoryStateRef State() const;
  HRESULT InitializeLocked();
  HRESULT NewRevision(const DirectoryState &state, const CRevisionInformation *record, IRevision **out);
  // The release of `majorRev` (FindRevisionByMajorRev); a failure with error
  // information when the directory is not initialised or has no such release.
  HRESULT FindByMajorRev(const DirectoryStateRef &state, LONG majorRev, const CRevisionInformation **record);
  // Marks a release installed from a registry value; S_FALSE when the value
  // is missing or unreadable, a failure (with error information) for an
  // unknown release.
  HRESULT SetInstalledPathFromValue(const DirectoryState &state, HKEY key, const WCHAR *valueName, DWORD bytesMax,
                                    DWORD major, DWORD minor);
  HRESULT ScanLanguagePackKeys(const DirectoryState &state);
  HRESULT ScanNumberedReleaseKeys(const DirectoryState &state);
  template <class Collection>
  HRESULT GetCollection(Collection *DirectoryState::*member, typename Collection::Interface **out);

  // m_lock guards m_state and m_aliases, held only to copy or swap them;
  // m_initializeLock makes one Initialize at a time per directory.
  mutable CRITICAL_SECTION m_lock;
  CRITICAL_SECTION m_initializeLock;
  DirectoryStateRef m_state;
  DatabaseVersionAliasSet m_aliases;
  CErrorInfo m_errorInfo;
};

// Holds a critical section for a scope.
class CriticalSectionHold {
 public:
  explicit CriticalSectionHold(CRITICAL_SECTION &section) : m_section(section) { EnterCriticalSection(&m_section); }
  ~CriticalSectionHold() { LeaveCriticalSection(&m_section); }
  CriticalSectionHold(const CriticalSectionHold &) = delete;
  CriticalSectionHold &operator=(const CriticalSectionHold &) = delete;

 private:
  CRITICAL_SECTION &m_section;
};

}  // namespace revdir
