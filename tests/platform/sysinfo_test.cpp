// The computer name and environment variables.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "conformance.h"

namespace {

TEST(ComputerName, IsBoundedAndUpperCase) {
  DWORD size = 0;
  ResetLastError();
  EXPECT_FALSE(GetComputerNameW(nullptr, &size));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUFFER_OVERFLOW);
  ASSERT_GE(size, 2u);
  ASSERT_LE(size, (DWORD)MAX_COMPUTERNAME_LENGTH + 1);
  DWORD needed = size;

  // One unit too small: the size needed and nothing past the buffer.
  WCHAR wide[MAX_COMPUTERNAME_LENGTH + 4];
  for (auto &c : wide) c = 0xCCCC;
  size = needed - 1;
  EXPECT_FALSE(GetComputerNameW(wide, &size));
  EXPECT_EQ(size, needed);
  for (DWORD i = needed - 1; i < MAX_COMPUTERNAME_LENGTH + 4; ++i) EXPECT_EQ(wide[i], 0xCCCC);

  size = needed;
  ASSERT_TRUE(GetComputerNameW(wide, &size));
  EXPECT_EQ(size, needed - 1);
  for (DWORD i = 0; i < size; ++i) EXPECT_FALSE(wide[i] >= OLESTR('a') && wide[i] <= OLESTR('z')) << Printable(wide);

  char narrow[MAX_COMPUTERNAME_LENGTH + 4];
  memset(narrow, 0xCC, sizeof narrow);
  size = needed - 1;
  ResetLastError();
  EXPECT_FALSE(GetComputerNameA(narrow, &size));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUFFER_OVERFLOW);
  EXPECT_EQ(size, needed);
  for (DWORD i = needed - 1; i < sizeof narrow; ++i) EXPECT_EQ((unsigned char)narrow[i], 0xCC);
  ASSERT_TRUE(GetComputerNameA(narrow, &size));
  EXPECT_EQ(narrow, Printable(wide));
}

TEST(EnvironmentVariable, IsBoundedAndCaseInsensitive) {
  ASSERT_TRUE(SetEnvironmentVariableW(OLESTR("REVDIR_TEST_VAR"), OLESTR("value")));
  EXPECT_EQ(GetEnvironmentVariableW(OLESTR("REVDIR_TEST_VAR"), nullptr, 0), 6u);
  WCHAR buf[5 + 3];
  for (auto &c : buf) c = 0xCCCC;
  EXPECT_EQ(GetEnvironmentVariableW(OLESTR("REVDIR_TEST_VAR"), buf, 5), 6u);
  for (int i = 5; i < 8; ++i) EXPECT_EQ(buf[i], 0xCCCC);
  EXPECT_EQ(GetEnvironmentVariableW(OLESTR("revdir_test_var"), buf, 6), 5u);
  EXPECT_EQ(Printable(buf), "value");

  ResetLastError();
  EXPECT_EQ(GetEnvironmentVariableW(OLESTR("REVDIR_NO_SUCH_VAR"), buf, 6), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ENVVAR_NOT_FOUND);

  // Set in another case, it is the same variable; a null value removes it.
  ASSERT_TRUE(SetEnvironmentVariableW(OLESTR("Revdir_Test_Var"), OLESTR("other")));
  EXPECT_EQ(GetEnvironmentVariableW(OLESTR("REVDIR_TEST_VAR"), buf, 6), 5u);
  EXPECT_EQ(Printable(buf), "other");
  ASSERT_TRUE(SetEnvironmentVariableW(OLESTR("revdir_test_var"), nullptr));
  EXPECT_EQ(GetEnvironmentVariableW(OLESTR("REVDIR_TEST_VAR"), buf, 6), 0u);
  ResetLastError();
  EXPECT_FALSE(SetEnvironmentVariableW(OLESTR("A=B"), OLESTR("x")));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

}  // namespace
