// Paths as a Linux user of the command-line tool passes them: plain, or
// through drive Z: (the root) with either separator.
#include <sys/stat.h>

#include "project_file_fixture.h"

TEST(ProjectFileLinux, PlainAndDriveZPathsReachTheSameFile) {
  ScratchDir dir;
  std::u16string folder = dir.Path().u16string();  // "/tmp/revdir-test-..."
  WriteFileBytes(folder + u"/Line1.pjx", "MODULE Local (Major := 15, Minor := 1)");
  std::u16string backslashes = folder;
  std::replace(backslashes.begin(), backslashes.end(), u'/', u'\\');
  auto directory = InitializedDirectory();
  for (const std::u16string &path :
       {folder + u"/Line1.pjx", u"Z:" + folder + u"/line1.PJX", u"z:" + backslashes + u"\\Line1.pjx"}) {
    ComPtr<IRevision> revision;
    ASSERT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).Get(), revision.Out()), S_OK)
        << platform::Narrow(path);
    EXPECT_EQ(SoftwareVersion(revision.Get()), std::make_pair(15, 1));
  }
}

TEST(ProjectFileLinux, APathThatIsNoRegularFileEndsAtOnceWithTheSystemText) {
  ScratchDir dir;
  auto directory = InitializedDirectory();
  for (const char *name : {"fifo.pjx", "fifo.acd"}) {
    std::filesystem::path fifo = dir.Path() / name;
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ComPtr<IRevision> revision;
    EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr(fifo.u16string().c_str()).Get(), revision.Out()),
              RdE_UnableToAccessProjectFile)
        << name;
    WCHAR denied[256];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                             0, denied, 256, nullptr);
    EXPECT_EQ(TakeErrorInfo().description, WString(denied, n)) << name;
  }
  // A folder named like a project is no project either.
  std::filesystem::create_directory(dir.Path() / "folder.acd");
  ComPtr<IRevision> revision;
  EXPECT_EQ(directory->GetRevisionFromProjectFile(Bstr((dir.Path() / "folder.acd").u16string().c_str()).Get(),
                                                  revision.Out()),
            RdE_UnableToAccessProjectFile);
}
