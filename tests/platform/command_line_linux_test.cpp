// Linux-only: GetCommandLineW made from the arguments the kernel holds, and
// the quoting that gives them back exactly through CommandLineToArgvW.
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/kernel32/command_line.h"
#include "platform/text/wide_text.h"

namespace {

std::vector<std::u16string> Split(const std::u16string &line) {
  int count = 0;
  LPWSTR *argv = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::u16string> args(argv, argv + (argv ? count : 0));
  LocalFree(argv);
  return args;
}

TEST(CommandLineLinux, GivesBackTheKernelsArguments) {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::u16string> expected;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\0', at);
    expected.push_back(platform::Widen(bytes.substr(at, end - at)));
    at = end + 1;
  }
  EXPECT_EQ(Split(GetCommandLineW()), expected);
}

TEST(CommandLineLinux, QuotingRoundTrips) {
  const std::vector<std::vector<std::u16string>> cases = {
      {u"/usr/bin/revdir", u"find", u"--project", u"/tmp/ünï/Lïne 1.pjx"},
      {u"prog name", u"", u"a b", u"\t", u"\"", u"\"\"", u"a\\", u"a\\\\", u"\\\"", u"a\\\"b\\", u"x\"\"\"y"},
      {u"", u"\"quoted\" and \\\\\"", u"end\\"},
  };
  for (const auto &args : cases) EXPECT_EQ(Split(platform::CommandLineOf(args)), args);
}

}  // namespace
