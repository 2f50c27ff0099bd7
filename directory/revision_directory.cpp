#include "frame/port.h"
#include "directory/revision_directory.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "catalog/installed_path.h"
#include "catalog/processor_catalog.h"
#include "catalog/registry_keys.h"
#include "catalog/scan.h"
#include "frame/boundary.h"
#include "resolve/database_version_aliases.h"
#include "revision/progid.h"
#include "revision/revision.h"

namespace revdir {

namespace {

// Process-wide: while set, Initialize reads no registry keys.
std::atomic<bool> g_testMode{false};

// The installed paths are process-wide: Initialize's reset, its scans and its
// reading of what they found are one step for the process, or another
// directory's reset in between leaves this one with nothing installed.
class InstalledPathsLock {
 public:
  InstalledPathsLock() { InitializeCriticalSection(&m_section); }
  ~InstalledPathsLock() { DeleteCriticalSection(&m_section); }
  InstalledPathsLock(const InstalledPathsLock &) = delete;
  InstalledPathsLock &operator=(const InstalledPathsLock &) = delete;
  CRITICAL_SECTION &Section() { return m_section; }

 private:
  CRITICAL_SECTION m_section;
};
InstalledPathsLock g_installedPathsLock;

struct LanguageKeys {
  LONG languageId;
  const WCHAR *languagePackKey;
  const WCHAR *numberedReleaseKey;
};

const LanguageKeys kLanguageKeys[] = {
    {1031, REVDIR_PRODUCT_KEY OLESTR(" German"), REVDIR_RELEASES_KEY OLESTR("\\German")},
    {1034, REVDIR_PRODUCT_KEY OLESTR(" Spanish"), REVDIR_RELEASES_KEY OLESTR("\\Spanish")},
    {1036, REVDIR_PRODUCT_KEY OLESTR(" French"), REVDIR_RELEASES_KEY OLESTR("\\French")},
    {1040, REVDIR_PRODUCT_KEY OLESTR(" Italian"), REVDIR_RELEASES_KEY OLESTR("\\Italian")},
    {1041, REVDIR_PRODUCT_KEY OLESTR(" Japanese"),
     REVDIR_RELEASES_KEY OLESTR("\\Japanese")},
    {1042, REVDIR_PRODUCT_KEY OLESTR(" Korean"), REVDIR_RELEASES_KEY OLESTR("\\Korean")},
    {1046, REVDIR_PRODUCT_KEY OLESTR(" Portuguese"),
     REVDIR_RELEASES_KEY OLESTR("\\Portuguese")},
    {2052, REVDIR_PRODUCT_KEY OLESTR(" Chinese"), REVDIR_RELEASES_KEY OLESTR("\\Chinese")},
};
const LanguageKeys kEnglishKeys = {1033, REVDIR_PRODUCT_KEY,
                                   REVDIR_RELEASES_KEY OLESTR("\\English")};

const LanguageKeys &KeysFor(LONG languageId) {
  for (const auto &k : kLanguageKeys)
    if (k.languageId == languageId) return k;
  return kEnglishKeys;
}

// Closes a registry key on every path out of a scope.
class KeyHolder {
 public:
  KeyHolder() = default;
  ~KeyHolder() {
    if (m_key) RegCloseKey(m_key);
  }
  KeyHolder(const KeyHolder &) = delete;
  KeyHolder &operator=(const KeyHolder &) = delete;
  HKEY *Out() { return &m_key; }
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
};

HRESULT AnySuccessAsOk(HRESULT hr) { return SUCCEEDED(hr) ? S_OK : hr; }

template <class T>
void ReleaseAndNull(T *&p) {
  if (p) p->Release();
  p = nullptr;
}

// A registry value as text: only a string value is text; the returned byte
// count bounds it (an odd last byte is no character), and it ends at its
// first null or its last whole character, terminated or not. False when the
// value is missing, larger than `bytesMax`, or not a string.
bool ReadRegistryText(HKEY key, const WCHAR *name, DWORD bytesMax, std::basic_string<WCHAR> *text) {
  auto buffer = std::make_unique<WCHAR[]>(bytesMax / sizeof(WCHAR) + 1);
  DWORD size = bytesMax;
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer.get()), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  const WCHAR *begin = buffer.get();
  const WCHAR *end = begin + std::min(size, bytesMax) / sizeof(WCHAR);
  text->assign(begin, std::find(begin, end, WCHAR(0)));
  return true;
}

}  // namespace

DirectoryState::~DirectoryState() {
  ReleaseAndNull(revisions);
  ReleaseAndNull(availableRevisions);
  ReleaseAndNull(processorTypes);
  ReleaseAndNull(supportedProcessorTypes);
  ReleaseAndNull(mrsSupportedProcessorTypes);
}

CRevisionDirectory::CRevisionDirectory()
    : m_errorInfo(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), IID_IRevisionDirectory_V6) {
  InitializeCriticalSection(&m_lock);
  InitializeCriticalSection(&m_initializeLock);
  HoldInstalledPaths();
}

CRevisionDirectory::~CRevisionDirectory() {
  // The installed paths are process-wide: they go with the last directory.
  ReleaseInstalledPaths();
  DeleteCriticalSection(&m_initializeLock);
  DeleteCriticalSection(&m_lock);
}

void CRevisionDirectory::FinalRelease() {
  m_state.reset();
  m_aliases.clear();
}

DirectoryStateRef CRevisionDirectory::State() const {
  CriticalSectionHold hold(m_lock);
  return m_state;
}

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

LONG CRevisionDirectory::LanguageIdFromThreadLocale() {
  LONG language = LANGIDFROMLCID(GetThreadLocale());
  switch (PRIMARYLANGID(language)) {
    case LANG_CHINESE: return 2052;
    case LANG_GERMAN: return 1031;
    case LANG_ENGLISH: return 1033;
    case LANG_SPANISH: return 1034;
    case LANG_FRENCH: return 1036;
    case LANG_ITALIAN: return 1040;
    case LANG_JAPANESE: return 1041;
    case LANG_KOREAN: return 1042;
    case LANG_PORTUGUESE: return 1046;
    default: return language;
  }
}

HRESULT CRevisionDirectory::NewRevision(const DirectoryState &state, const CRevisionInformation *record,
                                        IRevision **out) {
  HRESULT hr = CRevision::CreateBound(record, state.languageId, IID_IRevision, reinterpret_cast<void **>(out));
  if (FAILED(hr)) return m_errorInfo.ReportError(hr, state.languageId);
  return hr;
}

template <class Collection>
HRESULT CRevisionDirectory::GetCollection(Collection *DirectoryState::*member, typename Collection::Interface **out) {
  if (!out) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *out = nullptr;
  DirectoryStateRef state = State();
  Collection *collection = state ? state.get()->*member : nullptr;
  if (!collection) return m_errorInfo.ReportError(RdE_NotInitialized, LanguageOf(state));
  collection->AddRef();
  *out = collection;
  return S_OK;
}

// --- Initialize --------------------------------------------------------------

HRESULT CRevisionDirectory::SetInstalledPathFromValue(const DirectoryState &state, HKEY key, const WCHAR *valueName,
                                                      DWORD bytesMax, DWORD major, DWORD minor) {
  std::basic_string<WCHAR> path;
  if (!ReadRegistryText(key, valueName, bytesMax, &path)) return S_FALSE;
  const CRevisionInformation *record = FindBySoftwareVersion(state.softwareVersionIndex, major, minor);
  if (!record) return m_errorInfo.ReportError(RdE_InvalidRevisionDirectoryInternalState, state.languageId);
  path += OLESTR("\\Quillon.Exe");
  SetInstalledPath(record, path.c_str());
  return S_OK;
}

// Opens a key under HKEY_LOCAL_MACHINE and hands each subkey name (up to
// 4096 characters) to `visit` until it returns anything but S_OK, which ends
// the scan and is returned; a key that cannot be opened ends it with S_FALSE.
template <class Visit>
static HRESULT ScanSubkeys(const WCHAR *path, Visit visit) {
  KeyHolder key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return S_FALSE;
  auto name = std::make_unique<WCHAR[]>(4096);
  for (DWORD index = 0;; ++index) {
    DWORD chars = 4096;
    if (RegEnumKeyExW(key.Get(), index, name.get(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return S_OK;
    HRESULT hr = visit(key.Get(), name.get());
    if (hr != S_OK) return hr;
  }
}

HRESULT CRevisionDirectory::ScanLanguagePackKeys(const DirectoryState &state) {
  return ScanSubkeys(KeysFor(state.languageId).languagePackKey, [&](HKEY key, const WCHAR *name) -> HRESULT {
    LONG numbers[4];
    if (ScanVersion(name, OLESTR("%d.%02d.%02d.%02d"), numbers, 4) != 4) return S_OK;
    // The value is the language key's own, so every listed release gets the
    // same folder; nothing set (S_FALSE) or a failure ends this scheme.
    return SetInstalledPathFromValue(state, key, OLESTR("group1Component2SourceDirTemplate1"), 4096,
                                     static_cast<DWORD>(numbers[0]), static_cast<DWORD>(numbers[1]));
  });
}

HRESULT CRevisionDirectory::ScanNumberedReleaseKeys(const DirectoryState &state) {
  return ScanSubkeys(KeysFor(state.languageId).numberedReleaseKey, [&](HKEY key, const WCHAR *name) -> HRESULT {
    if (!IsAllDigits(name)) return S_OK;
    KeyHolder release;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, release.Out()) != ERROR_SUCCESS) return S_OK;
    std::basic_string<WCHAR> version;
    if (!ReadRegistryText(release.Get(), OLESTR("Product Version"), 8192, &version)) return S_OK;
    LONG numbers[3];
    if (ScanVersion(version.c_str(), OLESTR("%d.%02d.%04d"), numbers, 3) != 3) return S_OK;
    // Nothing set goes on with the next release; only a failure ends the scheme.
    HRESULT hr = SetInstalledPathFromValue(state, release.Get(), OLESTR("Bin"), 4096, static_cast<DWORD>(numbers[0]),
                                           static_cast<DWORD>(numbers[1]));
    return FAILED(hr) ? hr : S_OK;
  });
}

STDMETHODIMP CRevisionDirectory::Initialize() {
  CriticalSectionHold serialised(m_initializeLock);
  return OutOfMemoryGuard([&] { return InitializeLocked(); });
}

HRESULT CRevisionDirectory::InitializeLocked() {
  // Released at the end of step 7, when the paths have been read.
  std::optional<CriticalSectionHold> installedPaths(std::in_place, g_installedPathsLock.Section());
  // 1. Reset: the new state starts without collections, the old one stays
  // with its readers until published over; the aliases are reloaded below.
  ResetAllInstalledPaths();
  auto state = std::make_shared<DirectoryState>();
  DatabaseVersionAliasSet aliases;
  // A state that fails half-way is published as far as it got, as the old
  // collections are gone either way; the indices, once filled, stay filled.
  auto publish = [&](HRESULT hr) {
    if (FAILED(hr)) {
      DirectoryStateRef old = State();
      if (old) {
        state->databaseVersionIndex = old->databaseVersionIndex;
        state->softwareVersionIndex = old->softwareVersionIndex;
      }
    }
    DirectoryStateRef published = std::move(state);
    {
      CriticalSectionHold hold(m_lock);
      m_state.swap(published);
      m_aliases.swap(aliases);
      m_errorInfo.SetLanguageId(m_state->languageId);
    }
    // The old state and aliases go here, outside the lock.
    return hr;
  };
  // 2. Language.
  state->languageId = LanguageIdFromThreadLocale();
  // 3. The five collections.
  HRESULT hr = ComObject<CRevisions>::Create(&state->revisions);
  if (FAILED(hr)) return publish(hr);
  state->revisions->AddRef();
  hr = ComObject<CAvailableRevisions>::Create(&state->availableRevisions);
  if (FAILED(hr)) return publish(hr);
  state->availableRevisions->AddRef();
  for (auto *slot : {&state->processorTypes, &state->supportedProcessorTypes, &state->mrsSupportedProcessorTypes}) {
    hr = CProcessorTypes::CreateEmpty(slot);
    if (FAILED(hr)) return publish(hr);
  }
  // 4. The indices and the collection of every release.
  for (const CRevisionInformation &record : kRevisionTable) {
    state->databaseVersionIndex.insert(&record);
    state->softwareVersionIndex.insert(&record);
    state->revisions->Set().insert(CMajorRevKey{&record, state->languageId});
  }
  // 5. The catalogue of all controller types.
  hr = InsertProcessorTypes(state->processorTypes->Set(), kProcessorTypeCatalog, kProcessorTypeCatalogCount,
                            state->languageId);
  if (FAILED(hr)) return publish(hr);
  // 6. What is installed; the scans' outcome does not change the result.
  if (!g_testMode.load()) {
    ScanLanguagePackKeys(*state);
    ScanNumberedReleaseKeys(*state);
  }
  // 7. What is available, and the types the installed releases support.
  for (const CRevisionInformation &record : kRevisionTable) {
    if (!IsInstalled(&record)) continue;
    state->availableRevisions->Set().insert(CMajorRevKey{&record, state->languageId});
    hr = InsertProcessorTypes(state->supportedProcessorTypes->Set(), record.ProcessorTypeTable,
                              record.ProcessorTypeCount, state->languageId);
    if (SUCCEEDED(hr) && record.MajorRev >= 10)
      hr = InsertProcessorTypes(state->mrsSupportedProcessorTypes->Set(), record.ProcessorTypeTable,
                                record.ProcessorTypeCount, state->languageId);
    if (FAILED(hr)) return publish(hr);
  }
  installedPaths.reset();
  // 8. The aliases, as the registry holds them now. A malformed value is
  // deleted and loads nothing; Initialize succeeds anyway.
  LoadDatabaseVersionAliases(aliases);
  return publish(S_OK);
}

STDMETHODIMP CRevisionDirectory::TestModeInitialize(VARIANT_BOOL InitializeForTestMode) {
  g_testMode = InitializeForTestMode != 0;
  return static_cast<IRevisionDirectory *>(this)->Initialize();
}

// --- Errors -------------------------------------------------------------------

STDMETHODIMP CRevisionDirectory::GetErrorDescription(HRESULT ErrorCode, BSTR *Text) {
  if (!Text) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *Text = nullptr;
  DirectoryStateRef state = State();
  return OutOfMemoryGuard([&] {
    *Text = ErrorDescription(ErrorCode, LanguageOf(state));
    return *Text ? S_OK : E_OUTOFMEMORY;
  });
}

STDMETHODIMP CRevisionDirectory::GetErrorConstantAndDescription(HRESULT ErrorCode, BSTR *Constant, BSTR *Text) {
  if (Constant) *Constant = nullptr;
  if (Text) *Text = nullptr;
  if (!Constant || !Text) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  DirectoryStateRef state = State();
  return OutOfMemoryGuard([&] {
    *Constant = RdErrorConstantName(ErrorCode);
    *Text = ErrorDescription(ErrorCode, LanguageOf(state));
    if (*Constant && *Text) return S_OK;
    SysFreeString(*Constant);
    SysFreeString(*Text);
    *Constant = *Text = nullptr;
    return E_OUTOFMEMORY;
  });
}

// --- Queries ------------------------------------------------------------------

STDMETHODIMP CRevisionDirectory::get_AvailableRevisions(IAvailableRevisions **p) {
  return GetCollection(&DirectoryState::availableRevisions, p);
}
STDMETHODIMP CRevisionDirectory::get_Revisions(IRevisions **p) { return GetCollection(&DirectoryState::revisions, p); }
STDMETHODIMP CRevisionDirectory::get_ProcessorTypes(IProcessorTypes **p) {
  return GetCollection(&DirectoryState::processorTypes, p);
}
STDMETHODIMP CRevisionDirectory::get_SupportedProcessorTypes(IProcessorTypes **p) {
  return GetCollection(&DirectoryState::supportedProcessorTypes, p);
}
STDMETHODIMP CRevisionDirectory::get_MRS_SupportedProcessorTypes(IProcessorTypes **p) {
  return GetCollection(&DirectoryState::mrsSupportedProcessorTypes, p);
}

STDMETHODIMP CRevisionDirectory::IsInterfaceVersionSupported(RdRevisionDirectoryInterfaceVersions InterfaceVersion,
                                                             VARIANT_BOOL *IsSupported) {
  if (!IsSupported) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *IsSupported = VARIANT_FALSE;
  switch (InterfaceVersion) {
    case RdRevisionDirectoryInterfaceVersion_01_00:
    case RdRevisionDirectoryInterfaceVersion_02_00:
    case RdRevisionDirectoryInterfaceVersion_03_00:
    case RdRevisionDirectoryInterfaceVersion_04_00:
    case RdRevisionDirectoryInterfaceVersion_05_00:
    case RdRevisionDirectoryInterfaceVersion_06_00: *IsSupported = VARIANT_TRUE; break;
    default: break;
  }
  return S_OK;
}

// --- The running application and ProgIds ----------------------------------------

STDMETHODIMP CRevisionDirectory::FindQuillonApplicationInstance(BSTR FullPathToACDFile, IDispatch **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  // A null path names no project: nothing to bind.
  if (!FullPathToACDFile) return m_errorInfo.ReportError(RdE_FileNotOpenedByQuillon);
  // The application registers each open project under its file's moniker;
  // whatever the binding's own failure, no application has it open.
  if (FAILED(CoGetObject(FullPathToACDFile, nullptr, IID_IDispatch, reinterpret_cast<void **>(p)))) {
    *p = nullptr;
    return m_errorInfo.ReportError(RdE_FileNotOpenedByQuillon);
  }
  return S_OK;
}

// The ProgId members name no release and need no installation, so they work
// before Initialize (the directory's own language is -1 then, no language).
STDMETHODIMP CRevisionDirectory::get_QuillonApplicationProgId(BSTR *p) {
  return AnySuccessAsOk(GetApplicationBaseProgId(LanguageOf(State()), m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::GetQuillonApplicationProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return AnySuccessAsOk(GetApplicationBaseProgId(LanguageId, m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::get_QuillonServicesProgId(BSTR *p) {
  return AnySuccessAsOk(GetServicesBaseProgId(LanguageOf(State()), m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::GetQuillonServicesProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return AnySuccessAsOk(GetServicesBaseProgId(LanguageId, m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::GetProgIdLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return AnySuccessAsOk(GetProgIdLanguageSuffix(LanguageId, m_errorInfo, p));
}

}  // namespace revdir
