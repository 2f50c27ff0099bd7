#include <gtest/gtest.h>

#include "fresh_prefix.h"
#include "frame/port.h"
#include "catalog/installed_path.h"
#include "resolve/database_version_aliases.h"

#include <vector>

using namespace revdir;

namespace {

const WCHAR kKey[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1");
const WCHAR kValue[] = OLESTR("RevisionDirectoryDatabaseVersionAliases");

// Each test starts with the alias key present and no value in it.
class AliasValue : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { UseFreshPrefix(); }
  void SetUp() override {
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, kKey, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(DeleteDatabaseVersionAliasesValue());
  }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Brenmoor Software")); }

  static void Store(const std::vector<DWORD> &words, size_t bytes) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, kKey, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, kValue, 0, REG_BINARY, reinterpret_cast<const BYTE *>(words.data()),
                             static_cast<DWORD>(bytes)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static std::vector<DWORD> Stored(bool *present) {
    HKEY key;
    std::vector<DWORD> words(16);
    DWORD bytes = static_cast<DWORD>(words.size() * sizeof(DWORD));
    *present = RegOpenKeyW(HKEY_LOCAL_MACHINE, kKey, &key) == ERROR_SUCCESS &&
               RegQueryValueExW(key, kValue, nullptr, nullptr, reinterpret_cast<BYTE *>(words.data()), &bytes) ==
                   ERROR_SUCCESS;
    RegCloseKey(key);
    words.resize(*present ? bytes / sizeof(DWORD) : 0);
    return words;
  }
};

}  // namespace

TEST(QxBufferTest, GrowsExactlyAndNeverShrinks) {
  CDatabaseVersionNumberMappingArray buffer(2);
  ASSERT_EQ(buffer.Count, 2u);
  buffer.Data[0] = {1, 2};
  buffer.Data[1] = {3, 4};
  ASSERT_EQ(buffer.Resize(5), S_OK);
  ASSERT_EQ(buffer.Count, 5u);
  EXPECT_EQ(buffer.Data[0], CDatabaseVersionNumberMapping(1, 2));
  EXPECT_EQ(buffer.Data[1], CDatabaseVersionNumberMapping(3, 4));
  for (DWORD i = 2; i < 5; ++i) EXPECT_EQ(buffer.Data[i], CDatabaseVersionNumberMapping(0xFFFFFFFF, 0xFFFFFFFF));
  CDatabaseVersionNumberMapping *data = buffer.Data;
  EXPECT_EQ(buffer.Resize(3), S_OK);
  EXPECT_EQ(buffer.Count, 5u);
  EXPECT_EQ(buffer.Data, data);
  buffer.FreeBuffer();
  EXPECT_EQ(buffer.Data, nullptr);
  EXPECT_EQ(buffer.Count, 0u);
}

TEST(AliasSetTest, OneMappingPerAliasFirstWins) {
  EXPECT_TRUE(CDatabaseVersionNumberMapping(9, 1) < CDatabaseVersionNumberMapping(0, 2)) << "ordered by alias only";
  EXPECT_FALSE(CDatabaseVersionNumberMapping(1, 5) == CDatabaseVersionNumberMapping(2, 5));
  DatabaseVersionAliasSet aliases;
  EXPECT_TRUE(AddDatabaseVersionAlias(aliases, 3279, 4000));
  EXPECT_TRUE(AddDatabaseVersionAlias(aliases, 3279, 4000));
  EXPECT_FALSE(AddDatabaseVersionAlias(aliases, 3267, 4000));
  EXPECT_EQ(aliases.size(), 1u);
  EXPECT_EQ(FindDatabaseVersionAliasTarget(aliases, 4000), 3279u);
  EXPECT_EQ(FindDatabaseVersionAliasTarget(aliases, 4001), 0xFFFFFFFFu);
}

TEST(FindByDatabaseVersionTest, InstalledBeatsHigherElseHighest) {
  DatabaseVersionIndex index;
  for (const CRevisionInformation &record : kRevisionTable) index.insert(&record);
  ResetAllInstalledPaths();
  // 10.00 to 10.07 share database version 3071.
  EXPECT_EQ(FindRevisionByDatabaseVersion(index, 3071), &kRevisionTable[24]) << "10.07, none installed";
  SetInstalledPath(&kRevisionTable[20], OLESTR("C:\\Q\\Quillon.Exe"));  // 10.03
  SetInstalledPath(&kRevisionTable[19], OLESTR("C:\\P\\Quillon.Exe"));  // 10.02
  EXPECT_EQ(FindRevisionByDatabaseVersion(index, 3071), &kRevisionTable[20]) << "highest installed";
  EXPECT_EQ(FindRevisionByDatabaseVersion(index, 3072), nullptr);
  EXPECT_EQ(FindRevisionByDatabaseVersion(index, 0xFFFFFFFF), nullptr);
  ResetAllInstalledPaths();
}

TEST(ProcessCheckTest, FileNameAfterBackslashElseColon) {
  EXPECT_TRUE(IsAliasRegisteringProgram(ModuleFileNamePart(OLESTR("C:\\Program Files\\Q\\QUILLON.EXE"))));
  EXPECT_TRUE(IsAliasRegisteringProgram(ModuleFileNamePart(OLESTR("C:Quillon.exe"))));
  EXPECT_TRUE(IsAliasRegisteringProgram(ModuleFileNamePart(OLESTR("revisiondirectoryunittest.EXE"))));
  EXPECT_FALSE(IsAliasRegisteringProgram(ModuleFileNamePart(OLESTR("C:\\Quillon.exe\\other.exe"))));
  EXPECT_FALSE(IsAliasRegisteringProgram(ModuleFileNamePart(OLESTR("C:\\Q\\Quillon.exe.bak"))));
  EXPECT_FALSE(IsAliasRegisteringProgram(ModuleFileNamePart(OLESTR("C:\\Q\\"))));
}

TEST_F(AliasValue, SavedInAliasOrderAndLoadedBack) {
  DatabaseVersionAliasSet aliases;
  EXPECT_TRUE(SaveDatabaseVersionAliases(aliases));
  bool present = true;
  Stored(&present);
  EXPECT_FALSE(present) << "an empty set writes nothing";
  AddDatabaseVersionAlias(aliases, 3279, 5000);
  AddDatabaseVersionAlias(aliases, 3267, 4000);
  ASSERT_TRUE(SaveDatabaseVersionAliases(aliases));
  EXPECT_EQ(Stored(&present), (std::vector<DWORD>{3267, 4000, 3279, 5000}));
  DatabaseVersionAliasSet loaded;
  EXPECT_TRUE(LoadDatabaseVersionAliases(loaded));
  EXPECT_EQ(loaded, aliases);
}

TEST_F(AliasValue, SavingMergesWithWhatIsStoredWhereTheStoredTargetStays) {
  bool present = false;
  Store({3213, 3000, 3279, 5000}, 16);
  DatabaseVersionAliasSet aliases;
  AddDatabaseVersionAlias(aliases, 3279, 3000);  // another target for a stored alias
  AddDatabaseVersionAlias(aliases, 3267, 4000);
  ASSERT_TRUE(SaveDatabaseVersionAliases(aliases));
  const std::vector<DWORD> merged{3213, 3000, 3267, 4000, 3279, 5000};
  EXPECT_EQ(Stored(&present), merged);
  DatabaseVersionAliasSet expected;
  for (size_t i = 0; i < merged.size(); i += 2) AddDatabaseVersionAlias(expected, merged[i], merged[i + 1]);
  EXPECT_EQ(aliases, expected) << "the set becomes what was written";

  // A malformed value is no one's set: it is written over.
  Store({3213, 3000, 7}, 12);
  DatabaseVersionAliasSet mine;
  AddDatabaseVersionAlias(mine, 3267, 4000);
  ASSERT_TRUE(SaveDatabaseVersionAliases(mine));
  EXPECT_EQ(Stored(&present), (std::vector<DWORD>{3267, 4000}));
}

TEST_F(AliasValue, MalformedValuesAreDeletedEmptyAndDuplicateOnesStay) {
  DatabaseVersionAliasSet aliases;
  bool present = false;
  Store({3279, 4000, 7}, 12);
  EXPECT_FALSE(LoadDatabaseVersionAliases(aliases));
  EXPECT_TRUE(aliases.empty());
  Stored(&present);
  EXPECT_FALSE(present) << "12 bytes: deleted";

  Store({}, 0);
  EXPECT_TRUE(LoadDatabaseVersionAliases(aliases));
  EXPECT_TRUE(aliases.empty());
  Stored(&present);
  EXPECT_TRUE(present) << "0 bytes: stays";

  Store({3279, 4000, 3279, 4000}, 16);
  EXPECT_TRUE(LoadDatabaseVersionAliases(aliases));
  EXPECT_EQ(aliases.size(), 1u);
  Stored(&present);
  EXPECT_TRUE(present);

  aliases.clear();
  Store({3213, 3000, 3279, 4000, 3267, 4000}, 24);
  EXPECT_FALSE(LoadDatabaseVersionAliases(aliases));
  EXPECT_TRUE(aliases.empty()) << "a conflict drops the mappings loaded before it too";
  Stored(&present);
  EXPECT_FALSE(present);
}

TEST_F(AliasValue, MissingKeyOrValue) {
  DatabaseVersionAliasSet aliases;
  EXPECT_FALSE(LoadDatabaseVersionAliases(aliases)) << "no value";
  EXPECT_TRUE(DeleteDatabaseVersionAliasesValue()) << "no value";
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, OLESTR("SOFTWARE\\Brenmoor Software"));
  EXPECT_TRUE(DeleteDatabaseVersionAliasesValue()) << "no key";
  AddDatabaseVersionAlias(aliases, 3279, 4000);
  EXPECT_FALSE(SaveDatabaseVersionAliases(aliases)) << "the key is never created here";
  HKEY key;
  EXPECT_NE(RegOpenKeyW(HKEY_LOCAL_MACHINE, kKey, &key), ERROR_SUCCESS);
}
