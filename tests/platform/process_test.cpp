// CreateProcessW: what the started program receives, and the errors.
#include <windows.h>

#include <gtest/gtest.h>

#include "fresh_prefix.h"
#include "standin_record.h"

namespace {

class Process : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { UseFreshPrefix(); }

  // Starts the stand-in with a command line after its quoted path.
  BOOL Start(const WString &arguments, const WCHAR *folder, PROCESS_INFORMATION *pi) {
    WString line = OLESTR("\"") + m_installation.WindowsBin() + OLESTR("\\quillon.exe\" ") + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, folder, &si,
                          pi);
  }

  StandInInstallation m_installation;
};

}  // namespace

TEST_F(Process, ArgumentsAreSplitByTheRulesOfTheCRuntime) {
  // Each case: the command-line text and the arguments a Windows program gets.
  struct Case {
    const WCHAR *text;
    std::vector<std::string> args;
  } cases[] = {
      {OLESTR("a  b\tc"), {"a", "b", "c"}},
      {OLESTR("\"with blank\" x\"y z\"w"), {"with blank", "xy zw"}},
      {OLESTR("a\\\\b c\\"), {"a\\\\b", "c\\"}},
      {OLESTR("\\\"q \\\\\"s t\" \\\\\\\"u"), {"\"q", "\\s t", "\\\"u"}},
      {OLESTR("\"\" \"a\"\"b\" end"), {"", "a\"b", "end"}},
      {OLESTR(""), {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(Printable(c.text));
    StandInInstallation installation;
    PROCESS_INFORMATION pi = {};
    WString line = OLESTR("\"") + installation.WindowsBin() + OLESTR("\\Quillon.Exe\" ") + c.text;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << GetLastError();
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::vector<std::string> record = installation.WaitForRecord();
    ASSERT_FALSE(record.empty());
    EXPECT_EQ(std::vector<std::string>(record.begin() + 1, record.end()), c.args);
  }
}

TEST_F(Process, StartsInTheGivenFolderFoundIgnoringCase) {
  PROCESS_INFORMATION pi = {};
  WString folder = m_installation.WindowsBin() + OLESTR("\\");
  ASSERT_TRUE(Start(OLESTR("x"), folder.c_str(), &pi)) << GetLastError();
  EXPECT_NE(pi.dwProcessId, 0u);
  EXPECT_NE(pi.dwProcessId, GetCurrentProcessId());
  EXPECT_TRUE(CloseHandle(pi.hProcess));
  EXPECT_TRUE(CloseHandle(pi.hThread));
  std::vector<std::string> record = m_installation.WaitForRecord();
  ASSERT_EQ(record.size(), 2u);
  EXPECT_EQ(record[0], m_installation.Marker());
}

TEST_F(Process, FailuresGiveTheWindowsErrors) {
  PROCESS_INFORMATION pi = {};
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  WString missing = OLESTR("\"") + m_installation.WindowsBin() + OLESTR("\\Missing.exe\" a");
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(CreateProcessW(nullptr, missing.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  WString noFolder = OLESTR("\"") + m_installation.WindowsBin() + OLESTR("\\Nowhere\\Quillon.Exe\"");
  EXPECT_FALSE(CreateProcessW(nullptr, noFolder.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  // The program is searched for; a missing folder is no different.
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  WString badFolder = m_installation.WindowsBin() + OLESTR("\\Nowhere");
  EXPECT_FALSE(Start(OLESTR(""), badFolder.c_str(), &pi));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(m_installation.Recorded());
}

TEST_F(Process, AFileThatIsNoProgramNeverStartsHoweverOften) {
  // The failure is learnt from the child while its pid comes from another
  // process: run it often enough that either report may arrive first.
  m_installation.ReplaceProgramWithText("NotAProgram.exe");
  WString line = OLESTR("\"") + m_installation.WindowsBin() + OLESTR("\\NotAProgram.exe\"");
  int started = 0, otherErrors = 0;
  for (int i = 0; i < 2000; ++i) {
    PROCESS_INFORMATION pi = {};
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ++started;
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    } else if (GetLastError() != ERROR_BAD_EXE_FORMAT) {
      ++otherErrors;
    }
  }
  EXPECT_EQ(started, 0);
  EXPECT_EQ(otherErrors, 0);
}
