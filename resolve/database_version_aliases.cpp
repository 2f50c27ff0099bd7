#include "frame/port.h"
#include "resolve/database_version_aliases.h"

#include <wchar.h>

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

bool SaveDatabaseVersionAliases(const DatabaseVersionAliasSet &aliases) {
  if (aliases.empty()) return true;
  CDatabaseVersionNumberMappingArray staged;
  if (FAILED(staged.Resize(static_cast<DWORD>(aliases.size())))) return false;
  DWORD i = 0;
  for (const auto &mapping : aliases) staged.Data[i++] = mapping;
  OpenAliasKey key;
  if (!key) return false;
  return RegSetValueExW(key.Get(), kAliasValue, 0, REG_BINARY, reinterpret_cast<const BYTE *>(staged.Data),
                        staged.Count * sizeof(CDatabaseVersionNumberMapping)) == ERROR_SUCCESS;
}

bool LoadDatabaseVersionAliases(DatabaseVersionAliasSet &aliases) {
  DWORD size = 0;
  CDatabaseVersionNumberMappingArray stored;
  {
    OpenAliasKey key;
    if (!key) return false;
    if (RegQueryValueExW(key.Get(), kAliasValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    if (size % sizeof(CDatabaseVersionNumberMapping) != 0) {
      aliases.clear();
      DeleteDatabaseVersionAliasesValue();
      return false;
    }
    if (size == 0) return true;
    if (FAILED(stored.Resize(size / sizeof(CDatabaseVersionNumberMapping)))) return true;
    // Another process may rewrite the value between the two reads: only the
    // whole records actually read are used.
    DWORD read = size;
    if (RegQueryValueExW(key.Get(), kAliasValue, nullptr, nullptr, reinterpret_cast<BYTE *>(stored.Data), &read) !=
            ERROR_SUCCESS ||
        read != size)
      return false;
  }
  for (DWORD i = 0; i < stored.Count; ++i) {
    const CDatabaseVersionNumberMapping &record = stored.Data[i];
    if (!AddDatabaseVersionAlias(aliases, record.TargetDatabaseVersionNumber, record.AliasDatabaseVersionNumber)) {
      aliases.clear();
      DeleteDatabaseVersionAliasesValue();
      return false;
    }
  }
  return true;
}

bool DeleteDatabaseVersionAliasesValue() {
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

}  // namespace revdir
