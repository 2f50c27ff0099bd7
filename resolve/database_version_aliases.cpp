#include "frame/port.h"
#include "resolve/database_version_aliases.h"

#include <wchar.h>

#include "QuillonRevisionDirectory.h"
#include "catalog/installed_path.h"

namespace revdir {

namespace {

const WCHAR kAliasKey[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1");
const WCHAR kAliasValue[] = OLESTR("RevisionDirectoryDatabaseVersionAliases");

class OpenAliasKey {
 public:
  OpenAliasKey() : m_ok(RegOpenKeyW(HKEY_LOCAL_MACHINE, kAliasKey, &m_key) == ERROR_SUCCESS) {}
  ~OpenAliasKey() {
    if (m_ok) RegCloseKey(m_key);
  }
  OpenAliasKey(const OpenAliasKey &) = delete;
  OpenAliasKey &operator=(const OpenAliasKey &) = delete;
  explicit operator bool() const { return m_ok; }
  HKEY Get() const { return m_key; }

 private:
  HKEY m_key = nullptr;
  bool m_ok;
};

const WCHAR kAliasMutex[] = OLESTR("Global\\QuillonRevisionDirectory.DatabaseVersionAliases");
// A writer that hangs costs the others their write, never their call.
constexpr DWORD kAliasLockTimeoutMs = 30000;

enum class StoredRecords { kRead, kMissing, kMalformed, kNoMemory };

// The value's records, whole: Missing when there is no value or it changed
// between its two reads, Malformed when its length is no multiple of 8.
StoredRecords ReadAliasRecords(HKEY key, CDatabaseVersionNumberMappingArray &records) {
  DWORD size = 0;
  if (RegQueryValueExW(key, kAliasValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return StoredRecords::kMissing;
  if (size % sizeof(CDatabaseVersionNumberMapping) != 0) return StoredRecords::kMalformed;
  if (size == 0) return StoredRecords::kRead;
  if (FAILED(records.Resize(size / sizeof(CDatabaseVersionNumberMapping)))) return StoredRecords::kNoMemory;
  // Another process may rewrite the value between the two reads: only the
  // whole records actually read are used.
  DWORD read = size;
  if (RegQueryValueExW(key, kAliasValue, nullptr, nullptr, reinterpret_cast<BYTE *>(records.Data), &read) !=
          ERROR_SUCCESS ||
      read != size)
    return StoredRecords::kMissing;
  return StoredRecords::kRead;
}

// Adds the records in stored order; false at the first alias that has
// another target already.
bool AddRecords(DatabaseVersionAliasSet &aliases, const CDatabaseVersionNumberMappingArray &records) {
  for (DWORD i = 0; i < records.Count; ++i) {
    if (!AddDatabaseVersionAlias(aliases, records.Data[i].TargetDatabaseVersionNumber,
                                 records.Data[i].AliasDatabaseVersionNumber))
      return false;
  }
  return true;
}

}  // namespace

const CRevisionInformation *FindRevisionByDatabaseVersion(const DatabaseVersionIndex &index, DWORD version) {
  // The search key is equivalent to every release of the version: step back
  // from the position after the last of them.
  CRevisionInformation key = DatabaseVersionSearchKey(version);
  auto end = index.upper_bound(&key);
  const CRevisionInformation *highest = nullptr;
  for (auto it = end; it != index.begin();) {
    --it;
    if ((*it)->ACDFileVersionNumber != version) break;
    if (!highest) highest = *it;
    if (IsInstalled(*it)) return *it;
  }
  return highest;
}

DWORD FindDatabaseVersionAliasTarget(const DatabaseVersionAliasSet &aliases, DWORD alias) {
  auto it = aliases.find(CDatabaseVersionNumberMapping(0, alias));
  return it == aliases.end() ? 0xFFFFFFFF : it->TargetDatabaseVersionNumber;
}

bool AddDatabaseVersionAlias(DatabaseVersionAliasSet &aliases, DWORD target, DWORD alias) {
  auto [it, inserted] = aliases.insert(CDatabaseVersionNumberMapping(target, alias));
  return inserted || it->TargetDatabaseVersionNumber == target;
}

DatabaseVersionAliasesLock::DatabaseVersionAliasesLock() : m_mutex(CreateMutexW(nullptr, FALSE, kAliasMutex)) {
  if (!m_mutex) return;
  // An owner that ended holding it left the value whole: each write is one
  // registry call.
  DWORD wait = WaitForSingleObject(m_mutex, kAliasLockTimeoutMs);
  m_owned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

DatabaseVersionAliasesLock::~DatabaseVersionAliasesLock() {
  if (m_owned) ReleaseMutex(m_mutex);
  if (m_mutex) CloseHandle(m_mutex);
}

bool SaveDatabaseVersionAliases(DatabaseVersionAliasSet &aliases) {
  if (aliases.empty()) return true;
  DatabaseVersionAliasesLock lock;
  if (!lock) return false;
  OpenAliasKey key;
  if (!key) return false;
  // What other directories and processes stored since this one loaded stays:
  // an alias already stored keeps its target.
  DatabaseVersionAliasSet merged;
  if (CDatabaseVersionNumberMappingArray stored; ReadAliasRecords(key.Get(), stored) == StoredRecords::kRead)
    AddRecords(merged, stored);
  for (const auto &mapping : aliases)
    AddDatabaseVersionAlias(merged, mapping.TargetDatabaseVersionNumber, mapping.AliasDatabaseVersionNumber);
  CDatabaseVersionNumberMappingArray staged;
  if (FAILED(staged.Resize(static_cast<DWORD>(merged.size())))) return false;
  DWORD i = 0;
  for (const auto &mapping : merged) staged.Data[i++] = mapping;
  if (RegSetValueExW(key.Get(), kAliasValue, 0, REG_BINARY, reinterpret_cast<const BYTE *>(staged.Data),
                     staged.Count * sizeof(CDatabaseVersionNumberMapping)) != ERROR_SUCCESS)
    return false;
  aliases.swap(merged);
  return true;
}

bool LoadDatabaseVersionAliases(DatabaseVersionAliasSet &aliases) {
  CDatabaseVersionNumberMappingArray stored;
  StoredRecords result;
  {
    OpenAliasKey key;
    if (!key) return false;
    result = ReadAliasRecords(key.Get(), stored);
  }
  if (result == StoredRecords::kMalformed) {
    aliases.clear();
    DeleteDatabaseVersionAliasesValue();
    return false;
  }
  if (result == StoredRecords::kMissing) return false;
  // A Resize that failed loads nothing and still counts as loaded.
  if (result == StoredRecords::kNoMemory) return true;
  if (!AddRecords(aliases, stored)) {
    aliases.clear();
    DeleteDatabaseVersionAliasesValue();
    return false;
  }
  return true;
}

bool DeleteDatabaseVersionAliasesValue() {
  // Under the writers' lock, so that no merge writes back what was deleted.
  DatabaseVersionAliasesLock lock;
  OpenAliasKey key;
  if (!key) return true;
  LSTATUS status = RegDeleteValueW(key.Get(), kAliasValue);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

const WCHAR *ModuleFileNamePart(const WCHAR *path) {
  const WCHAR *slash = wcsrchr(path, WCHAR('\\'));
  if (slash) return slash + 1;
  const WCHAR *colon = wcsrchr(path, WCHAR(':'));
  return colon ? colon + 1 : path;
}

bool IsAliasRegisteringProgram(const WCHAR *fileName) {
  return _wcsicmp(fileName, OLESTR("RevisionDirectoryUnitTest.exe")) == 0 ||
         _wcsicmp(fileName, OLESTR("Quillon.exe")) == 0;
}

bool FindQuillonVersionEntryPoints(QuillonVersionEntryPoints *entryPoints) {
  HMODULE database = GetModuleHandleA("QxDbSrvs.DLL");
  HMODULE utilities = GetModuleHandleA("SysUtils.DLL");
  if (!database || !utilities) return false;
  FARPROC actual = GetProcAddress(database, "?ActualDatabaseVersionNumber@DbISAM@@SAKXZ");
  FARPROC software = GetProcAddress(utilities, "?QxGetSoftwareVersion@@YAKXZ");
  if (!actual || !software) return false;
  entryPoints->ActualDatabaseVersionNumber = reinterpret_cast<DWORD (*)()>(reinterpret_cast<void *>(actual));
  entryPoints->QxGetSoftwareVersion = reinterpret_cast<DWORD (*)()>(reinterpret_cast<void *>(software));
  return true;
}

Outcome<ApplicationVersions> ReadApplicationVersions() {
  WCHAR path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0) return {{}, SilentFailure(RdE_NotQuillon)};
  path[MAX_PATH - 1] = 0;
  if (!IsAliasRegisteringProgram(ModuleFileNamePart(path))) return {{}, SilentFailure(RdE_NotQuillon)};
  QuillonVersionEntryPoints entryPoints;
  if (!FindQuillonVersionEntryPoints(&entryPoints)) return {{}, SilentFailure(RdE_NotQuillon)};
  return {{entryPoints.ActualDatabaseVersionNumber(), entryPoints.QxGetSoftwareVersion()}, {}};
}

}  // namespace revdir
