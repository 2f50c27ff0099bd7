// Linux-only behaviour: the ANSI code page is UTF-8, the computer name is
// the host's, and LocalFree knows the blocks it handed out.
#include <windows.h>

#include <string.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "conformance.h"

namespace {

TEST(LinuxSystem, AnsiCodePageIsUtf8) {
  EXPECT_EQ(GetACP(), (UINT)CP_UTF8);
  WCHAR wide[4];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\xc3\xa4", -1, wide, 4), 2);
  EXPECT_EQ(wide[0], 0xe4);
}

TEST(LinuxSystem, ComputerNameIsTheUpperCasedHostName) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  std::string expected(host, strcspn(host, "."));
  for (auto &c : expected) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (expected.size() > MAX_COMPUTERNAME_LENGTH) expected.resize(MAX_COMPUTERNAME_LENGTH);
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(std::string(name), expected);
}

TEST(LinuxSystem, LocalFreeRefusesWhatItDidNotAllocate) {
  int notABlock = 0;
  ResetLastError();
  EXPECT_EQ(LocalFree(&notABlock), (HLOCAL)&notABlock);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  HLOCAL block = LocalAlloc(LPTR, 16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(LocalFree(block), nullptr);
  // A second free of the same block is refused too.
  EXPECT_EQ(LocalFree(block), block);
}

}  // namespace
