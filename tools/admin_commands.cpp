// The commands that change the prefix: register and unregister the
// component, list and clear the database-version aliases.
#include <cstdio>
#include <cstring>
#include <vector>

#include "catalog/registry_keys.h"
#include "commands.h"
#include "console.h"
#include "output.h"
#include "platform/text/wide_text.h"
#include "session.h"

namespace revdir {

namespace {

// The aliases as the directory stores them: records of two 32-bit numbers,
// the target database version first, then the alias. The directory reads
// the value's bytes whatever its type, and so does this.
int ListAliases(const Args &a) {
  RegKey key;
  const WCHAR *name = OLESTR("RevisionDirectoryDatabaseVersionAliases");
  LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, REVDIR_RELEASES_KEY, 0, KEY_QUERY_VALUE, key.Out());
  DWORD size = 0;
  std::vector<BYTE> data;
  if (rc == ERROR_SUCCESS) rc = RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, &size);
  if (rc == ERROR_SUCCESS && size) {
    data.resize(size);
    rc = RegQueryValueExW(key.Get(), name, nullptr, nullptr, data.data(), &size);
  }
  if (rc == ERROR_FILE_NOT_FOUND)
    size = 0;  // no key or no aliases registered
  else if (rc != ERROR_SUCCESS)
    return Report("reading the aliases", HRESULT_FROM_WIN32(rc));
  if (size % 8) {
    Err("revdir alias: the stored aliases are not whole records (%lu bytes); the directory drops them\n",
        static_cast<unsigned long>(size));
    return kComponent;
  }
  std::vector<Row> rows;
  for (DWORD i = 0; i < size; i += 8) {
    DWORD target, alias;
    memcpy(&target, &data[i], 4);
    memcpy(&alias, &data[i + 4], 4);
    rows.push_back({NumberField("alias", static_cast<long>(alias)), NumberField("target", static_cast<long>(target))});
  }
  return Print(a, rows, false);
}

}  // namespace

// register and unregister; --user (this command's own flag) for the current
// user alone, which needs no administrator rights.
int RegisterCommand(int argc, char **argv) {
  std::vector<char *> rest;
  bool user = false;
  for (int i = 0; i < argc; ++i) {
    if (strcmp(argv[i], "--user") == 0)
      user = true;
    else
      rest.push_back(argv[i]);
  }
  Session s;
  if (!s.Parse(static_cast<int>(rest.size()), rest.data(), "")) return s.status;
  const char *entry = strcmp(g_command, "register") == 0 ? "DllRegisterServer" : "DllUnregisterServer";
  HRESULT hr = user ? CallEntryForUser(entry) : CallEntry(entry);
  if (FAILED(hr) && !user && DeniedToMachine(hr))
    Err("revdir %s: the machine's classes cannot be written here; try --user\n", g_command);
  return FAILED(hr) ? Report(g_command, hr) : kOk;
}

// The tool's version, and the component's from the version resource of the
// module the tool loads; without that resource the component's version is
// unknown, which is a failure.
int VersionCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "")) return s.status;
  Out("revdir %s\n", REVDIR_VERSION);
  const std::string module = ModulePath();
  const platform::WideString path = platform::Widen(module);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<BYTE> info(size);
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  if (!size || !GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
      !VerQueryValueW(info.data(), OLESTR("\\"), reinterpret_cast<void **>(&fixed), &length) ||
      length < sizeof *fixed) {
    const DWORD error = size ? ERROR_RESOURCE_DATA_NOT_FOUND : GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      Err("revdir: the component %s is not there\n", module.c_str());
    else
      Err("revdir: the component %s has no version resource (error %lu)\n", module.c_str(),
          static_cast<unsigned long>(error));
    return kComponent;
  }
  Out("component %lu.%lu.%lu.%lu %s\n", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
      static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
      static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
      static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)), module.c_str());
  return kOk;
}

int AliasCommand(int argc, char **argv) {
  Session s;
  if (!s.Parse(argc, argv, "--format --property --lang", true)) return s.status;
  const std::string verb = s.a.positional.size() == 1 ? s.a.positional[0] : "";
  if (verb == "list") return ListAliases(s.a);
  if (verb != "clear") return Usage("the alias verbs are: list, clear");
  if (!s.Open()) return s.status;
  HRESULT hr = s.d->UnregisterAllDatabaseVersionAliases();
  return FAILED(hr) ? Report("alias clear", hr) : kOk;
}

}  // namespace revdir
