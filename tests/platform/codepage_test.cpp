// MultiByteToWideChar and WideCharToMultiByte with UTF-8.
#include <windows.h>

#include <string>

#include "conformance.h"

namespace {

// "a", a-umlaut, the euro sign and U+1F600 (a surrogate pair): 1+2+3+4 bytes.
const char kUtf8[] = "a\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80";
const WCHAR kUtf16[] = {0x61, 0xe4, 0x20ac, 0xd83d, 0xde00, 0};

}  // namespace

TEST(CodePage, ConvertsBothWaysWithWindowsCounts) {
  // -1 counts the terminator; an explicit length does not add one.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, nullptr, 0), 6);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, 10, nullptr, 0), 5);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, nullptr, 0, nullptr, nullptr), 11);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, 5, nullptr, 0, nullptr, nullptr), 10);

  WCHAR wide[8];
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 8), 6);
  EXPECT_EQ(std::basic_string<WCHAR>(wide), std::basic_string<WCHAR>(kUtf16));
  // CP_ACP is the process's ANSI code page, whichever the system has.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kUtf8, -1, nullptr, 0),
            MultiByteToWideChar(GetACP(), 0, kUtf8, -1, nullptr, 0));
  char narrow[16];
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 16, nullptr, nullptr), 11);
  EXPECT_STREQ(narrow, kUtf8);
}

TEST(CodePage, OneUnitTooSmallFailsWithoutWritingPast) {
  WCHAR wide[6 + 4];
  for (auto &c : wide) c = 0xCCCC;
  ResetLastError();
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 5), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  for (int i = 5; i < 10; ++i) EXPECT_EQ(wide[i], 0xCCCC) << "unit " << i;

  char narrow[11 + 4];
  memset(narrow, 0xCC, sizeof narrow);
  ResetLastError();
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 10, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  for (int i = 10; i < 15; ++i) EXPECT_EQ((unsigned char)narrow[i], 0xCC) << "byte " << i;
}

TEST(CodePage, InvalidSequencesAreReplacedOrRefused) {
  WCHAR wide[8];
  // A byte that starts no sequence, and an encoded surrogate.
  for (const char *bad : {"x\xff", "x\xed\xa0\x80"}) {
    ResetLastError();
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_UNICODE_TRANSLATION);
  }
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "x\xff", -1, wide, 8), 3);
  EXPECT_EQ(wide[1], 0xFFFD);

  const WCHAR lone[] = {OLESTR('a'), 0xD800, OLESTR('b'), 0};
  char narrow[8];
  ResetLastError();
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, narrow, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_UNICODE_TRANSLATION);
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, narrow, 8, nullptr, nullptr), 6);
  EXPECT_STREQ(narrow, "a\xef\xbf\xbd" "b");
}

TEST(CodePage, BadArgumentsGiveTheWindowsErrors) {
  WCHAR wide[4];
  char narrow[4];
  BOOL used = kSentinel;
  auto check = [](int result, DWORD expected, const char *what) {
    DWORD error = GetLastError();
    EXPECT_EQ(result, 0) << what;
    EXPECT_EQ(error, expected) << what;
  };
  ResetLastError();
  check(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4), ERROR_INVALID_PARAMETER, "null source");
  ResetLastError();
  check(MultiByteToWideChar(CP_UTF8, 0, "ab", 0, wide, 4), ERROR_INVALID_PARAMETER, "empty source");
  ResetLastError();
  check(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 4), ERROR_INVALID_PARAMETER, "null output with size");
  // Wine accepts the flags and the default character that UTF-8 refuses.
  auto checkOrWine = [&check](int result, DWORD expected, const char *what) {
    if (RunningUnderWine() && result != 0) return;
    check(result, expected, what);
  };
  ResetLastError();
  checkOrWine(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "ab", -1, wide, 4), ERROR_INVALID_FLAGS,
              "flags for UTF-8");
  ResetLastError();
  check(MultiByteToWideChar(54321, 0, "ab", -1, wide, 4), ERROR_INVALID_PARAMETER, "unknown code page");
  ResetLastError();
  checkOrWine(WideCharToMultiByte(CP_UTF8, 0, OLESTR("ab"), -1, narrow, 4, nullptr, &used), ERROR_INVALID_PARAMETER,
              "default character with UTF-8");
  EXPECT_EQ_OR_WINE((BOOL)kSentinel, FALSE, used, "Wine accepts the default character that UTF-8 refuses");
  ResetLastError();
  checkOrWine(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, OLESTR("ab"), -1, narrow, 4, nullptr, nullptr),
              ERROR_INVALID_FLAGS, "flags for UTF-8");
  ResetLastError();
  check(WideCharToMultiByte(CP_UTF8, 0, OLESTR("ab"), -1, narrow, -1, nullptr, nullptr), ERROR_INVALID_PARAMETER,
        "negative output size");
}
