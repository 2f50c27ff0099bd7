// GetRevisionFromProjectFile as a client calls it: files written to a
// scratch folder, early- and late-bound calls, and the error information.
#include "project_file_fixture.h"

namespace {

const char kEntry[] = "CONTROLLER Line1 (Major := 12)\r\n\tMODULE Local (Major := 15, Minor := 1)\r\nEND_MODULE\r\n";

// The system's text for a code, in the thread's language.
WString SystemText(DWORD code) {
  WCHAR buffer[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           512, nullptr);
  return WString(buffer, n);
}

// The directory's own answer for a database version, to compare with.
HRESULT ByDatabaseVersion(IRevisionDirectory_V6 *directory, LONG version, std::pair<int, int> *found) {
  ComPtr<IRevision> revision;
  HRESULT hr = directory->GetRevisionFromDatabaseVersion(version, revision.Out());
  if (revision) *found = SoftwareVersion(revision.Get());
  return hr;
}

class ProjectFile : public ::testing::Test {
 protected:
  ScratchDir m_dir;
};

class ProjectFileWithAliases : public MachineKeysTest {
 protected:
  ScratchDir m_dir;
};

}  // namespace

TEST_F(ProjectFile, PathsWithoutAProjectExtensionAreRefused) {
  auto directory = InitializedDirectory();
  ComPtr<IRevision> revision;
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(OLESTR("C:\\Work\\Line1.pjx")).Get(), nullptr), E_INVALIDARG);
  EXPECT_EQ(directory->GetRevisionFromProjectFile(nullptr, revision.Out()), E_INVALIDARG);
  EXPECT_EQ(TakeErrorInfo().description, SystemText(static_cast<DWORD>(E_INVALIDARG)));
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(OLESTR("C:\\Work\\Line1")).Get(), revision.Out()), E_INVALIDARG);
  // The last "." of the whole path: here it is a folder's.
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(OLESTR("C:\\proj.old\\plant")).Get(), revision.Out()),
            RdE_InvalidProjectFileType);
  EXPECT_EQ(TakeErrorInfo().description, WString(OLESTR("Error -2147205874 (0x80043d0e) encountered.")));
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(OLESTR("C:\\Work\\Line1.pjx.bak")).Get(), revision.Out()),
            RdE_InvalidProjectFileType);
  EXPECT_FALSE(revision);
}

TEST_F(ProjectFile, TextExportNamesTheReleaseOfItsMajorRevision) {
  auto directory = InitializedDirectory();
  for (const WCHAR *name : {OLESTR("Line1.pjx"), OLESTR("LINE2.PJX"), OLESTR("line3.Pjx")}) {
    WString path = m_dir / name;
    WriteFileBytes(path, kEntry);
    ComPtr<IRevision> revision;
    ASSERT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()), S_OK)
        << platform::Narrow(path);
    EXPECT_EQ(SoftwareVersion(revision.Get()), std::make_pair(15, 1));
    // Forward slashes separate as well.
    std::replace(path.begin(), path.end(), OLESTR('\\'), OLESTR('/'));
    EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()), S_OK)
        << platform::Narrow(path);
  }
  // A major revision no release has comes back from the major-revision look-up.
  WString path = m_dir / OLESTR("Future.pjx");
  WriteFileBytes(path, "MODULE Local (Major := 16, Minor := 0)");
  ComPtr<IRevision> revision;
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()), RdE_RevisionNotFound);
}

TEST_F(ProjectFile, TextExportFailuresAndTheirErrorInformation) {
  // German, so the component's own text is seen in the directory's language.
  auto directory = InitializedDirectory(0x0407);
  Bstr contentsText;
  ASSERT_EQ(directory->GetErrorDescription(RdE_InvalidProjectFileContents, contentsText.Out()), S_OK);
  struct {
    const WCHAR *name;
    const char *text;
  } invalid[] = {{OLESTR("none.pjx"), "MODULE LocalRack (Major := 15, Minor := 1)"},
                 {OLESTR("nominor.pjx"), "MODULE Local (Major := 15)"},
                 {OLESTR("quoted.pjx"), "MODULE Local (Description := \"a) b\", Major := 15, Minor := 1)"},
                 {OLESTR("tiny.pjx"), "MODULE"}};
  ComPtr<IRevision> revision;
  for (const auto &c : invalid) {
    WString path = m_dir / c.name;
    WriteFileBytes(path, c.text);
    EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()),
              RdE_InvalidProjectFileContents)
        << c.text;
    EXPECT_EQ(TakeErrorInfo().description, contentsText.Str()) << c.text;
  }
  WString empty = m_dir / OLESTR("empty.pjx");
  WriteFileBytes(empty, "");
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(empty.c_str()).Get(), revision.Out()),
            RdE_UnableToAccessProjectFile);
  WString missing = m_dir / OLESTR("missing.pjx");
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(missing.c_str()).Get(), revision.Out()),
            RdE_UnableToAccessProjectFile);
  EXPECT_EQ(TakeErrorInfo().description, SystemText(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(revision);
}

TEST_F(ProjectFile, UninitializedDirectoryReadsTheFileFirst) {
  ComPtr<IRevisionDirectory_V6> directory;
  ASSERT_EQ(NewDirectory(directory.Out()), S_OK);
  WString path = m_dir / OLESTR("Line1.pjx");
  WriteFileBytes(path, kEntry);
  ComPtr<IRevision> revision;
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()), RdE_NotInitialized);
  WString missing = m_dir / OLESTR("missing.acd");
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(missing.c_str()).Get(), revision.Out()),
            RdE_UnableToAccessProjectFile);
  // Nothing of the file stays open: it can be removed at once.
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST_F(ProjectFile, DatabaseReadsItsLastFourBytes) {
  auto directory = InitializedDirectory();
  ComPtr<IRevision> revision;
  WString shortFile = m_dir / OLESTR("short.acd");
  WriteFileBytes(shortFile, std::string("\x8d\x0c\x00", 3));
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(shortFile.c_str()).Get(), revision.Out()), E_INVALIDARG);
  EXPECT_EQ(TakeErrorInfo().description, SystemText(static_cast<DWORD>(E_INVALIDARG)));
  EXPECT_TRUE(DeleteFileW(shortFile.c_str())) << "the file was left open";

  std::pair<int, int> expected{-1, -1};
  if (ByDatabaseVersion(directory.Get(), 3213, &expected) == E_NOTIMPL)
    GTEST_SKIP() << "GetRevisionFromDatabaseVersion is not built yet";
  // Each file's version, and what the directory answers for it directly.
  struct {
    const WCHAR *name;
    std::string tail;
    LONG version;
  } cases[] = {{OLESTR("LINE1.ACD"), std::string("\x8d\x0c\x00\x00", 4), 3213},
               {OLESTR("line1.acd"), std::string(1000, 'x') + std::string("\x8d\x0c\x00\x00", 4), 3213},
               {OLESTR("reduced.acd"), std::string("\x00\x00\x00\x80", 4), 1},
               {OLESTR("top.acd"), std::string("\xff\xff\xff\xff", 4), static_cast<LONG>(0x80000000u)},
               {OLESTR("unknown.acd"), std::string("\x01\x00\x00\x00", 4), 1}};
  for (const auto &c : cases) {
    WString path = m_dir / c.name;
    WriteFileBytes(path, c.tail);
    std::pair<int, int> direct{-1, -1}, viaFile{-1, -1};
    HRESULT want = ByDatabaseVersion(directory.Get(), c.version, &direct);
    EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()), want)
        << platform::Narrow(path);
    if (revision) viaFile = SoftwareVersion(revision.Get());
    EXPECT_EQ(viaFile, direct) << platform::Narrow(path);
  }
  // Before Initialize the file is read, then the look-up refuses.
  ComPtr<IRevisionDirectory_V6> fresh;
  ASSERT_EQ(NewDirectory(fresh.Out()), S_OK);
  EXPECT_EQ(fresh->GetRevisionFromProjectFile(Bstr((m_dir / OLESTR("LINE1.ACD")).c_str()).Get(), revision.Out()),
            RdE_NotInitialized);
}

// A stored value above 0x7FFFFFFF loses 0x7FFFFFFF, not 0x80000000: with
// aliases for both neighbours, only that step picks the right one.
TEST_F(ProjectFileWithAliases, ReducedDatabaseVersionIsLookedUpWithItsAliases) {
  const WCHAR aliasKey[] = OLESTR("SOFTWARE\\Brenmoor Software\\Quillon.1");
  const DWORD aliases[] = {3267, 100, 3279, 101};  // 100 -> 14.x, 101 -> 15.x
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, aliasKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, OLESTR("RevisionDirectoryDatabaseVersionAliases"), 0, REG_BINARY,
                           reinterpret_cast<const BYTE *>(aliases), sizeof aliases),
            ERROR_SUCCESS);
  RegCloseKey(key);
  auto directory = InitializedDirectory();
  WString path = m_dir / OLESTR("aliased.acd");
  WriteFileBytes(path, std::string("\x64\x00\x00\x80", 4));  // 0x80000000 + 100
  ComPtr<IRevision> revision;
  ASSERT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()), S_OK);
  EXPECT_EQ(SoftwareVersion(revision.Get()), std::make_pair(15, 1));
}

TEST_F(ProjectFile, ReachableByName) {
  auto directory = InitializedDirectory();
  WString path = m_dir / OLESTR("Line1.pjx");
  WriteFileBytes(path, kEntry);
  VARIANT arg;
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocString(path.c_str());
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeByName(directory.Get(), OLESTR("GetRevisionFromProjectFile"), DISPATCH_METHOD, &arg, 1, &result),
            S_OK);
  ASSERT_EQ(result.vt, VT_DISPATCH);
  ComPtr<IRevision> revision;
  ASSERT_EQ(result.pdispVal->QueryInterface(IID_IRevision, revision.OutVoid()), S_OK);
  EXPECT_EQ(SoftwareVersion(revision.Get()), std::make_pair(15, 1));
  VariantClear(&result);
  VariantClear(&arg);
}
