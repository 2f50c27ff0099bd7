// The commands that change the prefix: register and unregister the
// component, list and clear the database-version aliases.
#include <cstdio>
#include <cstring>
#include <vector>

#include "catalog/registry_keys.h"
#include "commands.h"
#include "output.h"
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
    fprintf(stderr, "revdir alias: the stored aliases are not whole records (%lu bytes); the directory drops them\n",
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
    fprintf(stderr, "revdir %s: the machine's classes cannot be written here; try --user\n", g_command);
  return FAILED(hr) ? Report(g_command, hr) : kOk;
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
