// Registration of database-version aliases from inside the application: this
// program carries the name of the application's test host and loads the two
// modules that report the application's versions.
#include "component_fixture.h"

#include <vector>

namespace {

const WCHAR kAliasKey[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1");
const WCHAR kAliasValue[] = OLESTR("RevisionDirectoryDatabaseVersionAliases");

using Setter = void (*)(DWORD);

// The stored alias records as (target, alias, target, alias, ...).
std::vector<DWORD> StoredAliases() {
  HKEY key;
  std::vector<DWORD> words(32);
  DWORD bytes = static_cast<DWORD>(words.size() * sizeof(DWORD));
  bool present = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAliasKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (present) {
    present = RegQueryValueExW(key, kAliasValue, nullptr, nullptr, reinterpret_cast<BYTE *>(words.data()), &bytes) ==
              ERROR_SUCCESS;
    RegCloseKey(key);
  }
  words.resize(present ? bytes / sizeof(DWORD) : 0);
  return words;
}

LONG MinorFor(IRevisionDirectory_V6 *directory, LONG databaseVersion) {
  ComPtr<IRevision> revision;
  LONG minor = -1;
  if (directory->GetRevisionFromDatabaseVersion(databaseVersion, revision.out()) == S_OK)
    revision->get_MinorSoftwareVersion(&minor);
  return minor;
}

class AliasHost : public MachineKeysTest {
 protected:
  void SetUp() override {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAliasKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  // The application's versions: its database version and its software
  // version (major revision in the high 16 bits).
  void Report(DWORD databaseVersion, DWORD softwareVersion) {
    reinterpret_cast<Setter>(reinterpret_cast<void *>(GetProcAddress(m_database, "SetReportedVersion")))(
        databaseVersion);
    reinterpret_cast<Setter>(reinterpret_cast<void *>(GetProcAddress(m_utilities, "SetReportedVersion")))(
        softwareVersion);
  }
  HMODULE m_database = nullptr;
  HMODULE m_utilities = nullptr;
};

}  // namespace

TEST_F(AliasHost, RegistersOnlyWithBothModulesLoaded) {
  auto directory = InitializedDirectory();
  EXPECT_EQ(GetModuleHandleA("QxDbSrvs.DLL"), nullptr);
  EXPECT_EQ(directory->RegisterDatabaseVersionAlias(), RdE_NotQuillon);
  m_database = LoadLibraryA("QxDbSrvs.DLL");
  ASSERT_NE(m_database, nullptr);
  EXPECT_EQ(GetModuleHandleA("QxDbSrvs.DLL"), m_database) << "found by its file name once loaded";
  EXPECT_EQ(GetModuleHandleA("qxdbsrvs.dll"), m_database);
  EXPECT_EQ(directory->RegisterDatabaseVersionAlias(), RdE_NotQuillon) << "the utility module is missing";
  m_utilities = LoadLibraryA("SysUtils.DLL");
  ASSERT_NE(m_utilities, nullptr);
  ASSERT_NE(GetProcAddress(m_database, "?ActualDatabaseVersionNumber@DbISAM@@SAKXZ"), nullptr);
  ASSERT_NE(GetProcAddress(m_utilities, "?QxGetSoftwareVersion@@YAKXZ"), nullptr);
  EXPECT_EQ(GetProcAddress(m_database, "?QxGetSoftwareVersion@@YAKXZ"), nullptr);

  // 15.x writes database version 4000, which no release carries.
  Report(4000, 0x000F0001);
  ASSERT_EQ(directory->RegisterDatabaseVersionAlias(), S_OK);
  EXPECT_EQ(StoredAliases(), (std::vector<DWORD>{3279, 4000}));
  EXPECT_EQ(MinorFor(directory.get(), 4000), 1);
  // Twice: one mapping. Another target for the same version: the first stays.
  ASSERT_EQ(directory->RegisterDatabaseVersionAlias(), S_OK);
  Report(4000, 0x000E0000);
  ASSERT_EQ(directory->RegisterDatabaseVersionAlias(), S_OK);
  EXPECT_EQ(StoredAliases(), (std::vector<DWORD>{3279, 4000}));
  // A database version the release carries itself is no alias.
  Report(3267, 0x000E0000);
  ASSERT_EQ(directory->RegisterDatabaseVersionAlias(), S_OK);
  EXPECT_EQ(StoredAliases(), (std::vector<DWORD>{3279, 4000}));
  // A major revision no release has fails as the look-up by it does.
  Report(5000, 0x00100000);
  EXPECT_EQ(directory->RegisterDatabaseVersionAlias(), RdE_RevisionNotFound);

  // Each directory writes its whole set: the last writer's set wins.
  auto first = InitializedDirectory();
  auto second = InitializedDirectory();
  Report(4001, 0x000F0001);
  ASSERT_EQ(first->RegisterDatabaseVersionAlias(), S_OK);
  Report(4002, 0x000D0000);
  ASSERT_EQ(second->RegisterDatabaseVersionAlias(), S_OK);
  EXPECT_EQ(StoredAliases(), (std::vector<DWORD>{3279, 4000, 3213, 4002}));
  auto later = InitializedDirectory();
  EXPECT_EQ(MinorFor(later.get(), 4002), 4);
  EXPECT_EQ(MinorFor(later.get(), 4001), -1);
  EXPECT_EQ(MinorFor(first.get(), 4001), 1) << "the registering directory keeps its own";

  ASSERT_EQ(later->UnregisterAllDatabaseVersionAliases(), S_OK);
  EXPECT_TRUE(StoredAliases().empty());
  FreeLibrary(m_utilities);
  FreeLibrary(m_database);
}
