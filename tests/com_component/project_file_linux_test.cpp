// Paths as a Linux user of the command-line tool passes them: plain, or
// through drive Z: (the root) with either separator.
#include "project_file_fixture.h"

TEST(ProjectFileLinux, PlainAndDriveZPathsReachTheSameFile) {
  ScratchDir dir;
  std::u16string folder = dir.path().u16string();  // "/tmp/revdir-test-..."
  WriteFileBytes(folder + u"/Line1.pjx", "MODULE Local (Major := 15, Minor := 1)");
  std::u16string backslashes = folder;
  std::replace(backslashes.begin(), backslashes.end(), u'/', u'\\');
  auto directory = InitializedDirectory();
  for (const std::u16string &path :
       {folder + u"/Line1.pjx", u"Z:" + folder + u"/line1.PJX", u"z:" + backslashes + u"\\Line1.pjx"}) {
    ComPtr<IRevision> revision;
    ASSERT_EQ(directory->GetRevisionFromProjectFile(Bstr(path.c_str()).get(), revision.out()), S_OK) << Utf8(path);
    EXPECT_EQ(SoftwareVersion(revision.get()), std::make_pair(15, 1));
  }
}
