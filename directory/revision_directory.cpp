#include "frame/port.h"
#include "directory/revision_directory.h"

#include <atomic>
#include <memory>

#include "catalog/installed_path.h"
#include "catalog/scan.h"
#include "revision/progid.h"
#include "resolve/project_file.h"
#include "revision/revision.h"
#include "catalog/registry_keys.h"

namespace revdir {

namespace {

// Process-wide: while set, Initialize reads no registry keys.
std::atomic<bool> g_testMode{false};

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

}  // namespace

CRevisionDirectory::CRevisionDirectory()
    : m_errorInfo(OLESTR("QuillonRevisionDirectory.RevisionDirectory"), IID_IRevisionDirectory_V6) {}

void CRevisionDirectory::ReleaseCollections() {
  ReleaseAndNull(m_revisions);
  ReleaseAndNull(m_availableRevisions);
  ReleaseAndNull(m_processorTypes);
  ReleaseAndNull(m_supportedProcessorTypes);
  ReleaseAndNull(m_mrsSupportedProcessorTypes);
}

void CRevisionDirectory::FinalRelease() {
  ReleaseCollections();
  // The installed paths are process-wide; a directory's end forgets them.
  ResetAllInstalledPaths();
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

HRESULT CRevisionDirectory::NewRevision(const CRevisionInformation *record, IRevision **out) {
  HRESULT hr = CRevision::CreateBound(record, m_languageId, IID_IRevision, reinterpret_cast<void **>(out));
  if (FAILED(hr)) return m_errorInfo.ReportError(hr, m_languageId);
  return hr;
}

template <class Collection>
HRESULT CRevisionDirectory::GetCollection(Collection *collection, typename Collection::Interface **out) {
  if (!out) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *out = nullptr;
  if (!collection) return m_errorInfo.ReportError(RdE_NotInitialized);
  collection->AddRef();
  *out = collection;
  return S_OK;
}

// --- Initialize --------------------------------------------------------------

HRESULT CRevisionDirectory::SetInstalledPathFromValue(HKEY key, const WCHAR *valueName, DWORD bytesMax, DWORD major,
                                                      DWORD minor) {
  auto buffer = std::make_unique<BYTE[]>(bytesMax + sizeof(WCHAR));
  DWORD size = bytesMax;
  DWORD type;
  if (RegQueryValueExW(key, valueName, nullptr, &type, buffer.get(), &size) != ERROR_SUCCESS) return S_FALSE;
  // The stored text need not be terminated; terminate it here.
  buffer[size] = 0;
  buffer[size + 1] = 0;
  const CRevisionInformation *record = FindBySoftwareVersion(m_softwareVersionIndex, major, minor);
  if (!record) return m_errorInfo.ReportError(RdE_InvalidRevisionDirectoryInternalState);
  std::basic_string<WCHAR> path(reinterpret_cast<const WCHAR *>(buffer.get()));
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

HRESULT CRevisionDirectory::ScanLanguagePackKeys() {
  return ScanSubkeys(KeysFor(m_languageId).languagePackKey, [this](HKEY key, const WCHAR *name) -> HRESULT {
    LONG numbers[4];
    if (ScanVersion(name, OLESTR("%d.%02d.%02d.%02d"), numbers, 4) != 4) return S_OK;
    // The value is the language key's own, so every listed release gets the
    // same folder; nothing set (S_FALSE) or a failure ends this scheme.
    return SetInstalledPathFromValue(key, OLESTR("group1Component2SourceDirTemplate1"), 4096,
                                     static_cast<DWORD>(numbers[0]), static_cast<DWORD>(numbers[1]));
  });
}

HRESULT CRevisionDirectory::ScanNumberedReleaseKeys() {
  return ScanSubkeys(KeysFor(m_languageId).numberedReleaseKey, [this](HKEY key, const WCHAR *name) -> HRESULT {
    if (!IsAllDigits(name)) return S_OK;
    KeyHolder release;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, release.Out()) != ERROR_SUCCESS) return S_OK;
    BYTE version[8192 + sizeof(WCHAR)];
    DWORD size = 8192;
    if (RegQueryValueExW(release.Get(), OLESTR("Product Version"), nullptr, nullptr, version, &size) != ERROR_SUCCESS)
      return S_OK;
    version[size] = 0;
    version[size + 1] = 0;
    LONG numbers[3];
    if (ScanVersion(reinterpret_cast<const WCHAR *>(version), OLESTR("%d.%02d.%04d"), numbers, 3) != 3) return S_OK;
    // Nothing set goes on with the next release; only a failure ends the scheme.
    HRESULT hr = SetInstalledPathFromValue(release.Get(), OLESTR("Bin"), 4096, static_cast<DWORD>(numbers[0]),
                                           static_cast<DWORD>(numbers[1]));
    return FAILED(hr) ? hr : S_OK;
  });
}

STDMETHODIMP CRevisionDirectory::Initialize() {
  // 1. Reset.
  ReleaseCollections();
  ResetAllInstalledPaths();
  // 2. Language.
  m_languageId = LanguageIdFromThreadLocale();
  m_errorInfo.SetLanguageId(m_languageId);
  // 3. The five collections.
  HRESULT hr = ComObject<CRevisions>::Create(&m_revisions);
  if (FAILED(hr)) return hr;
  m_revisions->AddRef();
  m_revisions->SetLanguageId(m_languageId);
  hr = ComObject<CAvailableRevisions>::Create(&m_availableRevisions);
  if (FAILED(hr)) return hr;
  m_availableRevisions->AddRef();
  m_availableRevisions->SetLanguageId(m_languageId);
  for (auto *slot : {&m_processorTypes, &m_supportedProcessorTypes, &m_mrsSupportedProcessorTypes}) {
    hr = CProcessorTypes::CreateEmpty(slot);
    if (FAILED(hr)) return hr;
    (*slot)->SetLanguageId(m_languageId);
  }
  // 4. The indices and the collection of every release.
  for (const CRevisionInformation &record : RevisionTable) {
    m_databaseVersionIndex.insert(&record);
    m_softwareVersionIndex.insert(&record);
    m_revisions->Set().insert(CMajorRevKey{&record, m_languageId});
  }
  // 5. The catalogue of all controller types.
  hr = InsertProcessorTypes(m_processorTypes->Set(), ProcessorTypeCatalog, ProcessorTypeCatalogCount, m_languageId);
  if (FAILED(hr)) return hr;
  // 6. What is installed; the scans' outcome does not change the result.
  if (!g_testMode.load()) {
    ScanLanguagePackKeys();
    ScanNumberedReleaseKeys();
  }
  // 7. What is available, and the types the installed releases support.
  for (const CRevisionInformation &record : RevisionTable) {
    if (!IsInstalled(&record)) continue;
    m_availableRevisions->Set().insert(CMajorRevKey{&record, m_languageId});
    hr = InsertProcessorTypes(m_supportedProcessorTypes->Set(), record.ProcessorTypeTable, record.ProcessorTypeCount,
                              m_languageId);
    if (SUCCEEDED(hr) && record.MajorRev >= 10)
      hr = InsertProcessorTypes(m_mrsSupportedProcessorTypes->Set(), record.ProcessorTypeTable,
                                record.ProcessorTypeCount, m_languageId);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

STDMETHODIMP CRevisionDirectory::TestModeInitialize(VARIANT_BOOL InitializeForTestMode) {
  g_testMode = InitializeForTestMode != 0;
  return static_cast<IRevisionDirectory *>(this)->Initialize();
}

// --- Errors -------------------------------------------------------------------

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

// --- Queries ------------------------------------------------------------------

STDMETHODIMP CRevisionDirectory::get_AvailableRevisions(IAvailableRevisions **p) {
  return GetCollection(m_availableRevisions, p);
}
STDMETHODIMP CRevisionDirectory::get_Revisions(IRevisions **p) { return GetCollection(m_revisions, p); }
STDMETHODIMP CRevisionDirectory::get_ProcessorTypes(IProcessorTypes **p) { return GetCollection(m_processorTypes, p); }
STDMETHODIMP CRevisionDirectory::get_SupportedProcessorTypes(IProcessorTypes **p) {
  return GetCollection(m_supportedProcessorTypes, p);
}
STDMETHODIMP CRevisionDirectory::get_MRS_SupportedProcessorTypes(IProcessorTypes **p) {
  return GetCollection(m_mrsSupportedProcessorTypes, p);
}

STDMETHODIMP CRevisionDirectory::get_LatestAvailableRevision(IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (m_softwareVersionIndex.empty()) return m_errorInfo.ReportError(RdE_NotInitialized);
  for (auto it = m_softwareVersionIndex.rbegin(); it != m_softwareVersionIndex.rend(); ++it)
    if (IsInstalled(*it)) return NewRevision(*it, p);
  return m_errorInfo.ReportError(RdE_RevisionNotInstalled);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromMajorRev(LONG MajorRev, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (!m_revisions) return m_errorInfo.ReportError(RdE_NotInitialized);
  const auto &set = m_revisions->Set();
  CRevisionInformation key = MajorRevSearchKey(static_cast<DWORD>(MajorRev));
  auto upper = set.upper_bound(CMajorRevKey{&key, m_languageId});
  if (upper == set.begin()) return m_errorInfo.ReportError(RdE_RevisionNotFound);
  auto it = upper;
  do {
    --it;
    if (it->Revision->MajorRev < static_cast<DWORD>(MajorRev)) break;
    if (IsInstalled(it->Revision)) return NewRevision(it->Revision, p);
  } while (it != set.begin());
  auto highest = std::prev(upper);
  if (highest->Revision->MajorRev == static_cast<DWORD>(MajorRev)) return NewRevision(highest->Revision, p);
  return m_errorInfo.ReportError(RdE_RevisionNotFound);
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

STDMETHODIMP CRevisionDirectory::GetRevisionFromSoftwareVersion(LONG Major, LONG Minor, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (m_softwareVersionIndex.empty()) return m_errorInfo.ReportError(RdE_NotInitialized);
  const CRevisionInformation *record =
      FindBySoftwareVersion(m_softwareVersionIndex, static_cast<DWORD>(Major), static_cast<DWORD>(Minor));
  if (!record) return m_errorInfo.ReportError(RdE_RevisionNotFound);
  return NewRevision(record, p);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromMajorSoftwareVersion(LONG Major, IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  if (m_softwareVersionIndex.empty()) return m_errorInfo.ReportError(RdE_NotInitialized);
  CRevisionInformation key = SoftwareVersionSearchKey(static_cast<DWORD>(Major), RevisionKeyAny);
  auto end = m_softwareVersionIndex.lower_bound(&key);  // after the last of Major
  const CRevisionInformation *highest = nullptr;
  for (auto it = end; it != m_softwareVersionIndex.begin();) {
    --it;
    if ((*it)->MajorSoftwareVersion != static_cast<DWORD>(Major)) break;
    if (!highest) highest = *it;
    if (IsInstalled(*it)) return NewRevision(*it, p);
  }
  if (!highest) return m_errorInfo.ReportError(RdE_RevisionNotFound);
  return NewRevision(highest, p);
}

STDMETHODIMP CRevisionDirectory::RESERVED(LONG Arg1, LONG, IRevision **Arg3) {
  return static_cast<IRevisionDirectory_V2 *>(this)->GetRevisionFromMajorSoftwareVersion(Arg1, Arg3);
}

STDMETHODIMP CRevisionDirectory::GetRevisionFromControllerId(LONG ProductType, LONG ProductCode, LONG MajorRev,
                                                             IRevision **p) {
  if (!p) return m_errorInfo.ReportSystemError(E_INVALIDARG);
  *p = nullptr;
  const CProcessorTypeRow *row = nullptr;
  for (const CProcessorTypeRow &r : ProcessorTypeCatalog) {
    if (r.ProductType == ProductType && r.ProductCode == ProductCode) {
      row = &r;
      break;
    }
  }
  if (!row) return m_errorInfo.ReportError(RdE_NotA_TesselController);
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

STDMETHODIMP CRevisionDirectory::GetRevisionFromProjectFile(BSTR FullPathToProjectFile, IRevision **p) {
  return revdir::GetRevisionFromProjectFile(this, m_errorInfo, FullPathToProjectFile, p);
}

// --- Members whose behaviour lands with their own work --------------------------


STDMETHODIMP CRevisionDirectory::GetRevisionFromDatabaseVersion(LONG, IRevision **p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevisionDirectory::GetRevisionFromController(BSTR, IRevision **p) { REVDIR_NOT_YET(m_errorInfo, p); }
STDMETHODIMP CRevisionDirectory::RegisterDatabaseVersionAlias() { return E_NOTIMPL; }
STDMETHODIMP CRevisionDirectory::UnregisterAllDatabaseVersionAliases() { return E_NOTIMPL; }
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
  return AnySuccessAsOk(GetApplicationBaseProgId(m_languageId, m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::GetQuillonApplicationProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return AnySuccessAsOk(GetApplicationBaseProgId(LanguageId, m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::get_QuillonServicesProgId(BSTR *p) {
  return AnySuccessAsOk(GetServicesBaseProgId(m_languageId, m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::GetQuillonServicesProgIdForLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return AnySuccessAsOk(GetServicesBaseProgId(LanguageId, m_errorInfo, p));
}
STDMETHODIMP CRevisionDirectory::GetProgIdLanguage(RdSupportedLanguages LanguageId, BSTR *p) {
  return AnySuccessAsOk(GetProgIdLanguageSuffix(LanguageId, m_errorInfo, p));
}

}  // namespace revdir
