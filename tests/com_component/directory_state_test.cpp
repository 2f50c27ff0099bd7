// The directory under threads, the process-wide installed paths, registry
// text that cannot be trusted, and the look-up by database version.
#include "component_fixture.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

const WCHAR kReleases[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1\\English");
const WCHAR kLanguagePack[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon");
const WCHAR kAliasKey[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1");
const WCHAR kAliasValue[] = OLESTR("RevisionDirectoryDatabaseVersionAliases");

// Writes raw bytes of any type, as a careless installer might.
void SetMachineValue(const WString &key, const WCHAR *name, DWORD type, const void *bytes, DWORD size) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE *>(bytes), size), ERROR_SUCCESS);
  RegCloseKey(k);
}

void Install(const WCHAR *subkey, const WCHAR *version, const WCHAR *bin) {
  WString key = WString(kReleases) + OLESTR("\\") + subkey;
  SetMachineString(key.c_str(), OLESTR("Product Version"), version);
  SetMachineString(key.c_str(), OLESTR("Bin"), bin);
}

// The installed path of release major.minor; empty when it is not installed.
WString PathOf(IRevisionDirectory_V6 *directory, LONG major, LONG minor) {
  ComPtr<IRevision> revision;
  if (directory->GetRevisionFromSoftwareVersion(major, minor, revision.Out()) != S_OK) return OLESTR("?");
  Bstr path;
  return revision->get_InstalledPath(path.Out()) == S_OK ? path.Str() : WString();
}

std::pair<LONG, LONG> VersionFor(IRevisionDirectory_V6 *directory, LONG databaseVersion, HRESULT *hr) {
  ComPtr<IRevision> revision;
  *hr = directory->GetRevisionFromDatabaseVersion(databaseVersion, revision.Out());
  LONG major = -1, minor = -1;
  if (revision) {
    revision->get_MajorSoftwareVersion(&major);
    revision->get_MinorSoftwareVersion(&minor);
  }
  return {major, minor};
}

std::pair<LONG, LONG> V(LONG major, LONG minor) { return {major, minor}; }

class DirectoryState : public MachineKeysTest {};

}  // namespace

// One directory re-initialised on two threads while four others read it:
// every reader must see a whole state (all 50 releases) and nothing freed.
TEST_F(DirectoryState, InitializeWhileOtherThreadsRead) {
  Install(OLESTR("15"), OLESTR("15.01.0123"), OLESTR("C:\\Q\\Bin"));
  auto directory = InitializedDirectory();
  std::atomic<bool> stop{false};
  std::atomic<int> faults{0};
  auto initializer = [&] {
    for (int i = 0; i < 150; ++i)
      if (directory->Initialize() != S_OK) ++faults;
  };
  auto reader = [&](int kind) {
    while (!stop.load()) {
      if (kind == 0) {
        ComPtr<IRevisions> all;
        LONG count = 0;
        if (directory->get_Revisions(all.Out()) != S_OK || all->get_Count(&count) != S_OK || count != 50) ++faults;
      } else if (kind == 1) {
        ComPtr<IRevision> revision;
        if (directory->GetRevisionFromMajorRev(12, revision.Out()) != S_OK) ++faults;
      } else if (kind == 2) {
        ComPtr<IRevision> revision;
        if (directory->GetRevisionFromDatabaseVersion(3279, revision.Out()) != S_OK) ++faults;
      } else {
        ComPtr<IProcessorTypes> types;
        ComPtr<IAvailableRevisions> available;
        if (directory->get_ProcessorTypes(types.Out()) != S_OK ||
            directory->get_AvailableRevisions(available.Out()) != S_OK)
          ++faults;
      }
    }
  };
  std::vector<std::thread> readers;
  for (int kind = 0; kind < 4; ++kind) readers.emplace_back(reader, kind);
  std::thread first(initializer), second(initializer);
  first.join();
  second.join();
  stop = true;
  for (auto &t : readers) t.join();
  EXPECT_EQ(faults.load(), 0);
}

// Two directories initialised on two threads: the installed paths are the
// process's, and neither directory's reset may fall between the other's scan
// and its reading of what the scan found.
TEST_F(DirectoryState, TwoDirectoriesInitialisingAtOnceEachSeeWhatIsInstalled) {
  Install(OLESTR("15"), OLESTR("15.01.0123"), OLESTR("C:\\Q\\Bin"));
  std::atomic<int> wrong{0};
  auto initializer = [&] {
    auto directory = InitializedDirectory();
    for (int i = 0; i < 1500; ++i) {
      ComPtr<IAvailableRevisions> available;
      LONG count = -1;
      if (directory->Initialize() != S_OK || directory->get_AvailableRevisions(available.Out()) != S_OK ||
          available->get_Count(&count) != S_OK || count != 1)
        ++wrong;
    }
  };
  std::thread first(initializer), second(initializer);
  first.join();
  second.join();
  EXPECT_EQ(wrong.load(), 0) << "rounds in which a directory saw nothing installed";
}

TEST_F(DirectoryState, InstalledPathsLastAsLongAsAnyDirectory) {
  Install(OLESTR("15"), OLESTR("15.01.0123"), OLESTR("C:\\Q\\Bin"));
  auto kept = InitializedDirectory();
  ComPtr<IRevision> held;
  ASSERT_EQ(kept->GetRevisionFromMajorRev(15, held.Out()), S_OK);
  {
    ComPtr<IRevisionDirectory_V6> never;
    ASSERT_EQ(NewDirectory(never.Out()), S_OK);
    auto other = InitializedDirectory();
  }
  // The live directory still agrees with itself.
  ComPtr<IRevision> latest;
  EXPECT_EQ(kept->get_LatestAvailableRevision(latest.Out()), S_OK);
  LONG available = 0;
  held->get_IsAvailable(&available);
  EXPECT_EQ(available, 1);
  EXPECT_EQ(PathOf(kept.Get(), 15, 1), WString(OLESTR("C:\\Q\\Bin\\Quillon.Exe")));

  // With no directory left, nothing is installed until one initialises.
  kept.Reset();
  ComPtr<IRevisionDirectory_V6> fresh;
  ASSERT_EQ(NewDirectory(fresh.Out()), S_OK);
  held->get_IsAvailable(&available);
  EXPECT_EQ(available, 0);
}

// Registry text is bounded by the byte count returned, may lack its null or
// end in half a character, may be too long or not text at all.
TEST_F(DirectoryState, RegistryTextThatCannotBeTrusted) {
  // Unterminated, odd byte count: the half character is dropped.
  const WCHAR version[] = OLESTR("15.01.0123");
  const WCHAR bin[] = OLESTR("C:\\Q\\BinX");
  WString key15 = WString(kReleases) + OLESTR("\\15");
  SetMachineValue(key15, OLESTR("Product Version"), REG_SZ, version, 10 * sizeof(WCHAR) + 1);
  SetMachineValue(key15, OLESTR("Bin"), REG_SZ, bin, 8 * sizeof(WCHAR) + 1);
  // Not text: a number and bytes are no version and no folder.
  WString key14 = WString(kReleases) + OLESTR("\\14");
  DWORD number = 14;
  SetMachineValue(key14, OLESTR("Product Version"), REG_DWORD, &number, sizeof number);
  SetMachineString(key14.c_str(), OLESTR("Bin"), OLESTR("C:\\Q14"));
  WString key13 = WString(kReleases) + OLESTR("\\13");
  SetMachineString(key13.c_str(), OLESTR("Product Version"), OLESTR("13.00.0001"));
  SetMachineValue(key13, OLESTR("Bin"), REG_BINARY, bin, sizeof bin);
  // Too long: beyond 8192 bytes for the version, 4096 for the folder.
  WString longVersion = OLESTR("12.03.0001") + WString(4100, WCHAR(' '));
  WString longBin = WString(2100, WCHAR('x'));
  Install(OLESTR("123"), longVersion.c_str(), OLESTR("C:\\Q12"));
  Install(OLESTR("121"), OLESTR("12.01.0001"), longBin.c_str());
  // Ignored names.
  Install(OLESTR("r15"), OLESTR("11.16.0001"), OLESTR("C:\\Q11"));

  auto directory = InitializedDirectory();
  EXPECT_EQ(PathOf(directory.Get(), 15, 1), WString(OLESTR("C:\\Q\\Bin\\Quillon.Exe")));
  EXPECT_EQ(PathOf(directory.Get(), 14, 1), WString());
  EXPECT_EQ(PathOf(directory.Get(), 13, 0), WString());
  EXPECT_EQ(PathOf(directory.Get(), 12, 3), WString());
  EXPECT_EQ(PathOf(directory.Get(), 12, 1), WString());
  EXPECT_EQ(PathOf(directory.Get(), 11, 16), WString()) << "r15 is no numbered release";
}

TEST_F(DirectoryState, LanguagePackValueMissingOrNotTextEndsTheScheme) {
  // Dutch keeps its own language id but reads the English keys.
  SetMachineString((WString(kLanguagePack) + OLESTR("\\10.02.00.00")).c_str(), OLESTR("x"), OLESTR("y"));
  Install(OLESTR("15"), OLESTR("15.01.0123"), OLESTR("C:\\Q\\Bin"));
  auto dutch = InitializedDirectory(0x0413);
  EXPECT_EQ(PathOf(dutch.Get(), 10, 2), WString()) << "no path value: scheme 1 ends";
  EXPECT_EQ(PathOf(dutch.Get(), 15, 1), WString(OLESTR("C:\\Q\\Bin\\Quillon.Exe"))) << "English keys";
  const WCHAR folder[] = OLESTR("D:\\Old");
  SetMachineValue(kLanguagePack, OLESTR("group1Component2SourceDirTemplate1"), REG_BINARY, folder, sizeof folder);
  ASSERT_EQ(dutch->Initialize(), S_OK);
  EXPECT_EQ(PathOf(dutch.Get(), 10, 2), WString());
  SetMachineValue(kLanguagePack, OLESTR("group1Component2SourceDirTemplate1"), REG_EXPAND_SZ, folder, sizeof folder);
  ASSERT_EQ(dutch->Initialize(), S_OK);
  EXPECT_EQ(PathOf(dutch.Get(), 10, 2), WString(OLESTR("D:\\Old\\Quillon.Exe")));
}

TEST_F(DirectoryState, DatabaseVersionLookUpAndAliases) {
  ComPtr<IRevisionDirectory_V6> fresh;
  ASSERT_EQ(NewDirectory(fresh.Out()), S_OK);
  HRESULT hr;
  VersionFor(fresh.Get(), 3279, &hr);
  EXPECT_EQ(hr, RdE_NotInitialized);
  EXPECT_EQ(fresh->RegisterDatabaseVersionAlias(), RdE_NotInitialized);
  EXPECT_EQ(fresh->UnregisterAllDatabaseVersionAliases(), S_OK) << "before Initialize, without key or value";

  // 10.02 installed, 10.07 (same database version, higher) not.
  Install(OLESTR("102"), OLESTR("10.02.0001"), OLESTR("C:\\Q10"));
  // Aliases: 4000 -> 15.x; 5000 -> 4000, itself an alias; 3071 and 3149,
  // which releases carry (installed or not), -> 15.x; 0xFFFFFFFF -> 14.x.
  const DWORD stored[] = {3279, 4000, 4000, 5000, 3279, 3071, 3279, 3149, 3267, 0xFFFFFFFF};
  SetMachineValue(kAliasKey, kAliasValue, REG_BINARY, stored, sizeof stored);
  auto directory = InitializedDirectory();
  EXPECT_EQ(VersionFor(directory.Get(), 3071, &hr), V(10, 2)) << "installed beats higher; no alias";
  EXPECT_EQ(VersionFor(directory.Get(), 3149, &hr), V(12, 6)) << "highest of those not installed; no alias";
  EXPECT_EQ(VersionFor(directory.Get(), 4000, &hr), V(15, 1));
  VersionFor(directory.Get(), 5000, &hr);
  EXPECT_EQ(hr, RdE_RevisionNotFound) << "one alias step only";
  EXPECT_EQ(VersionFor(directory.Get(), -1, &hr), V(14, 1)) << "-1 is 0xFFFFFFFF";
  EXPECT_EQ(directory->RegisterDatabaseVersionAlias(), RdE_NotQuillon) << "this program may not register";

  // Other directories keep their own list; removal is machine-wide.
  ASSERT_EQ(fresh->UnregisterAllDatabaseVersionAliases(), S_OK);
  EXPECT_EQ(VersionFor(directory.Get(), 4000, &hr), V(15, 1));
  ASSERT_EQ(directory->Initialize(), S_OK);
  VersionFor(directory.Get(), 4000, &hr);
  EXPECT_EQ(hr, RdE_RevisionNotFound);
}
