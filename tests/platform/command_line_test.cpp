// The command line and the standard handles: CommandLineToArgvW's splitting,
// GetCommandLineW as this process's own, and what is and is not a console.
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conformance.h"
#include "platform/text/wide_text.h"
#include "scratch.h"

namespace {

// The arguments of a command line as UTF-8, the block freed as Windows frees it.
std::vector<std::string> Split(const WCHAR *line) {
  int count = -1;
  LPWSTR *argv = CommandLineToArgvW(line, &count);
  std::vector<std::string> args;
  if (!argv) return {"(failed)"};
  for (int i = 0; i < count; ++i) args.push_back(platform::Narrow(argv[i]));
  EXPECT_EQ(argv[count], nullptr);
  EXPECT_EQ(LocalFree(argv), nullptr);
  return args;
}

TEST(CommandLineToArgv, SplitsByTheDocumentedRules) {
  struct Case {
    const WCHAR *line;
    std::vector<std::string> args;
  } cases[] = {
      // Blanks (spaces and tabs) separate; quotes keep them.
      {OLESTR("p a  b\tc "), {"p", "a", "b", "c"}},
      {OLESTR("p \"a b\" x\"y z\"w \"\""), {"p", "a b", "xy zw", ""}},
      // Backslashes are literal, except before a quote: 2n give n and the
      // quote opens or closes quoting, 2n+1 give n and a literal quote.
      {OLESTR("p a\\\\b c\\"), {"p", "a\\\\b", "c\\"}},
      {OLESTR("p a\\\\\\\"b \"c\\\\\" a\\\\\\\\\"b c\" d"), {"p", "a\\\"b", "c\\", "a\\\\b c", "d"}},
      {OLESTR("p \"\\\"q\\\"\""), {"p", "\"q\""}},
      // A quote right after the one that closed quoting is a literal quote,
      // and quoting stays closed.
      {OLESTR("p \"a\"\"b c\" d"), {"p", "a\"b", "c d"}},
      {OLESTR("p \"\"\"a\"\"\" b"), {"p", "\"a\"", "b"}},
      {OLESTR("p a\"\"\"b\" c"), {"p", "a\"b c"}},
      // The program name: quoted, up to the next quote whatever comes before
      // it; bare, up to the first blank, quotes included.
      {OLESTR("\"C:\\Program Files\\x.exe\" a"), {"C:\\Program Files\\x.exe", "a"}},
      {OLESTR("\"C:\\dir\\\" a\\\"b"), {"C:\\dir\\", "a\"b"}},
      {OLESTR("\"C:\\dir\\\"tail a"), {"C:\\dir\\", "tail", "a"}},
      {OLESTR("pro\"g a\" b"), {"pro\"g", "a b"}},
      {OLESTR(" a b"), {"", "a", "b"}},
      {OLESTR("\"unterminated program"), {"unterminated program"}},
      {OLESTR("p \"unterminated arg"), {"p", "unterminated arg"}},
  };
  for (const Case &c : cases) EXPECT_EQ(Split(c.line), c.args) << Printable(c.line);
}

TEST(CommandLineToArgv, EmptyLineAndErrors) {
  // No command line at all: the program's own path, alone.
  WCHAR exe[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(Split(OLESTR("")), std::vector<std::string>{platform::Narrow(platform::WideView(exe, n))});
  ResetLastError();
  EXPECT_EQ(CommandLineToArgvW(OLESTR("p a"), nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The line this process was given names this program first.
TEST(CommandLine, IsThisProcesssOwn) {
  const WCHAR *line = GetCommandLineW();
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line, GetCommandLineW()) << "one block for the process";
  std::vector<std::string> args = Split(line);
  ASSERT_FALSE(args.empty());
  EXPECT_NE(args[0].find("platform_tests"), std::string::npos) << args[0];
}

TEST(Console, AFileIsNoConsole) {
  ResetLastError();
  EXPECT_EQ(GetStdHandle(12345), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  ScratchDir dir;
  WString path = dir / OLESTR("out.txt");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD mode = kSentinel, written = kSentinel;
  ResetLastError();
  EXPECT_FALSE(GetConsoleMode(file, &mode));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ResetLastError();
  EXPECT_FALSE(WriteConsoleW(file, OLESTR("x"), 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(written, 0u);
  // What a console would not take, the file takes as bytes.
  EXPECT_TRUE(WriteFile(file, "\xce\xa9\n", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(GetFileSize(file, nullptr), 3u);
  CloseHandle(file);
}

}  // namespace
