// Wide-string helpers: the wide printf family, strsafe, the secure copy
// functions, lstr* and linguistic comparison.
#include <windows.h>

// The wide printf family is what these tests are about; strsafe.h would
// otherwise mark it deprecated.
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>
#include <wchar.h>

#include <errno.h>
#include <stdarg.h>

#include <string>

#include "conformance.h"

namespace {

constexpr WCHAR kGuard = 0xCCCC;

#ifdef _WIN32
void IgnoreInvalidParameter(const wchar_t *, const wchar_t *, const wchar_t *, unsigned, uintptr_t) {}
#endif

class WideStrings : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    // Let the secure functions return their errors instead of ending the process.
    _set_invalid_parameter_handler(IgnoreInvalidParameter);
#endif
  }
  // A buffer of n units followed by guard units that nothing may touch.
  WCHAR *Buffer(size_t n) {
    m_buf.assign(n + 4, kGuard);
    m_size = n;
    return m_buf.data();
  }
  bool GuardIntact() const {
    for (size_t i = m_size; i < m_buf.size(); ++i)
      if (m_buf[i] != kGuard) return false;
    return true;
  }
  std::basic_string<WCHAR> m_buf;
  size_t m_size = 0;
};

std::string Format(const WCHAR *fmt, ...) {
  WCHAR buf[256];
  va_list args;
  va_start(args, fmt);
  int n = _vsnwprintf(buf, 255, fmt, args);
  va_end(args);
  if (n < 0) return "(failed)";
  buf[n] = 0;
  return Printable(buf);
}

}  // namespace

TEST(WidePrintf, FollowsTheWindowsConversions) {
  EXPECT_EQ(Format(OLESTR("Error %d (0x%08x) encountered."), 42, 0x1f), "Error 42 (0x0000001f) encountered.");
  // The precision bounds what is read: the narrow text has no terminator.
  const char level[4] = {'W', 'A', 'R', 'N'};
  EXPECT_EQ(Format(OLESTR("%.19s.%03hu %.4hs"), OLESTR("2024-01-02 03:04:05.999"), (unsigned short)7, level),
            "2024-01-02 03:04:05.007 WARN");
  EXPECT_EQ(Format(OLESTR("%-5d|%5d|%05d|%+d|% d|%d"), 42, 42, 42, 42, 42, -42), "42   |   42|00042|+42| 42|-42");
  EXPECT_EQ(Format(OLESTR("%x %X %#x %o %#o %u"), 255, 255, 255, 255, 255, 4000000000u), "ff FF 0xff 377 0377 4000000000");
  EXPECT_EQ(Format(OLESTR("[%.3d][%.0d][%*d][%-*d][%.*s]"), 5, 0, 4, 7, 3, 7, 2, OLESTR("abc")), "[005][][   7][7  ][ab]");
  EXPECT_EQ(Format(OLESTR("%I64d %lld %I64u %zu %I32d"), (LONGLONG)(-9223372036854775807LL - 1), 1LL << 40,
                   (ULONGLONG)-1, (size_t)123, 7),
            "-9223372036854775808 1099511627776 18446744073709551615 123 7");
  // l is 32 bits wide, h and hh cut to 16 and 8 bits.
  EXPECT_EQ_OR_WINE("-1 4464 44 ffffffff", "-1 4464 300 ffffffff",
                    Format(OLESTR("%ld %hd %hhd %lx"), (LONG)-1, 70000, 300, (ULONG)0xffffffffu), "Wine's msvcrt reads hh as h");
  // In wide functions %s and %c are wide, %hs/%S and %hc/%C narrow.
  EXPECT_EQ(Format(OLESTR("%s %ls %hs %S %c %hc %C"), OLESTR("wide"), OLESTR("wl"), "nar", "NS", OLESTR('W'), 'n', 'N'),
            "wide wl nar NS W n N");
  EXPECT_EQ(Format(OLESTR("%s|%%|%5.1f|%p"), (const WCHAR *)nullptr, 3.14159, (void *)0x1234),
            "(null)|%|  3.1|0000000000001234");
}

TEST_F(WideStrings, SnwprintfTruncatesWithoutTerminator) {
  // Fits with room for the terminator.
  WCHAR *b = Buffer(6);
  EXPECT_EQ(_snwprintf(b, 6, OLESTR("%d"), 12345), 5);
  EXPECT_EQ(Printable(b), "12345");
  // Exactly full: all characters, no terminator.
  b = Buffer(5);
  EXPECT_EQ(_snwprintf(b, 5, OLESTR("%d"), 12345), 5);
  EXPECT_EQ(b[4], OLESTR('5'));
  EXPECT_TRUE(GuardIntact());
  // One unit too small: -1, nothing past the buffer.
  b = Buffer(4);
  EXPECT_EQ(_snwprintf(b, 4, OLESTR("%d"), 12345), -1);
  EXPECT_EQ(std::basic_string<WCHAR>(b, 4), std::basic_string<WCHAR>(OLESTR("1234")));
  EXPECT_TRUE(GuardIntact());
}

TEST_F(WideStrings, SwprintfSecureEmptiesATooSmallBuffer) {
  WCHAR *b = Buffer(6);
  EXPECT_EQ(swprintf_s(b, 6, OLESTR("%s-%d"), OLESTR("ab"), 12), 5);
  EXPECT_EQ(Printable(b), "ab-12");
  b = Buffer(5);
  errno = 0;
  EXPECT_EQ(swprintf_s(b, 5, OLESTR("%s-%d"), OLESTR("ab"), 12), -1);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_TRUE(GuardIntact());
}

TEST_F(WideStrings, StrsafeTruncatesAndTerminates) {
  WCHAR *b = Buffer(6);
  EXPECT_EQ(StringCchPrintfW(b, 6, OLESTR("%s%d"), OLESTR("abc"), 12), S_OK);
  EXPECT_EQ(Printable(b), "abc12");
  b = Buffer(5);
  EXPECT_EQ(StringCchPrintfW(b, 5, OLESTR("%s%d"), OLESTR("abc"), 12), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(Printable(b), "abc1");
  EXPECT_TRUE(GuardIntact());
  EXPECT_EQ(StringCchPrintfW(b, 0, OLESTR("x")), STRSAFE_E_INVALID_PARAMETER);

  b = Buffer(4);
  EXPECT_EQ(StringCchCopyW(b, 4, OLESTR("abcd")), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(Printable(b), "abc");
  EXPECT_TRUE(GuardIntact());
  b = Buffer(6);
  EXPECT_EQ(StringCchCopyW(b, 6, OLESTR("ab")), S_OK);
  EXPECT_EQ(StringCchCatW(b, 6, OLESTR("cd")), S_OK);
  EXPECT_EQ(StringCchCatW(b, 6, OLESTR("ef")), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(Printable(b), "abcde");
  EXPECT_TRUE(GuardIntact());
  // A destination without a terminator inside its size is refused untouched.
  b = Buffer(3);
  b[0] = b[1] = b[2] = OLESTR('x');
  EXPECT_EQ(StringCchCatW(b, 3, OLESTR("y")), STRSAFE_E_INVALID_PARAMETER);
  EXPECT_TRUE(GuardIntact());

  size_t len = kSentinel;
  EXPECT_EQ(StringCchLengthW(OLESTR("abc"), 4, &len), S_OK);
  EXPECT_EQ(len, 3u);
  EXPECT_EQ(StringCchLengthW(OLESTR("abc"), 3, &len), STRSAFE_E_INVALID_PARAMETER);
  EXPECT_EQ(len, 0u);
}

TEST_F(WideStrings, SecureCopiesReportAndEmptyOnOverflow) {
  WCHAR *b = Buffer(4);
  EXPECT_EQ(wcscpy_s(b, 4, OLESTR("abc")), 0);
  EXPECT_EQ(Printable(b), "abc");
  errno = 0;
  EXPECT_EQ(wcscpy_s(b, 4, OLESTR("abcd")), ERANGE);
  EXPECT_EQ(b[0], 0);
  EXPECT_TRUE(GuardIntact());

  EXPECT_EQ(wcsncpy_s(b, 4, OLESTR("abcdef"), 2), 0);
  EXPECT_EQ(Printable(b), "ab");
  EXPECT_EQ(wcsncpy_s(b, 4, OLESTR("abcdef"), _TRUNCATE), STRUNCATE);
  EXPECT_EQ(Printable(b), "abc");
  EXPECT_EQ(wcsncpy_s(b, 4, OLESTR("abcdef"), 4), ERANGE);
  EXPECT_EQ(b[0], 0);
  EXPECT_TRUE(GuardIntact());

  EXPECT_EQ(wcscpy_s(b, 4, OLESTR("ab")), 0);
  EXPECT_EQ(wcscat_s(b, 4, OLESTR("c")), 0);
  EXPECT_EQ(Printable(b), "abc");
  EXPECT_EQ(wcscat_s(b, 4, OLESTR("d")), ERANGE);
  EXPECT_EQ(b[0], 0);
  EXPECT_TRUE(GuardIntact());

  // lstrcpynW copies at most n - 1 characters and always terminates.
  b = Buffer(4);
  EXPECT_EQ(lstrcpynW(b, OLESTR("abcdef"), 4), b);
  EXPECT_EQ(Printable(b), "abc");
  EXPECT_TRUE(GuardIntact());
}

TEST(WideStringFunctions, CaseInsensitiveComparisonLowersAscii) {
  // Lower-casing puts '[' (0x5B) before 'a' (0x61); upper-casing would not.
  EXPECT_LT(_wcsicmp(OLESTR("["), OLESTR("A")), 0);
  EXPECT_EQ(_wcsicmp(OLESTR("Hello"), OLESTR("hELLO")), 0);
  EXPECT_EQ(_wcsnicmp(OLESTR("ABCx"), OLESTR("abcy"), 3), 0);
  EXPECT_GT(_wcsnicmp(OLESTR("ABCy"), OLESTR("abcx"), 4), 0);
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenW(OLESTR("abc")), 3);

  const WCHAR text[] = OLESTR("key=value=x");
  EXPECT_EQ(wcslen(text), 11u);
  EXPECT_EQ(wcschr(text, OLESTR('=')), text + 3);
  EXPECT_EQ(wcsrchr(text, OLESTR('=')), text + 9);
  EXPECT_EQ(wcsstr(text, OLESTR("value")), text + 4);
  EXPECT_EQ(wcsstr(text, OLESTR("nope")), nullptr);
  EXPECT_LT(wcscmp(OLESTR("abc"), OLESTR("abd")), 0);
  EXPECT_EQ(wcsncmp(OLESTR("abc"), OLESTR("abd"), 2), 0);
}

TEST(CompareString, IsLinguistic) {
  // Linguistic order puts "a" before "B", and lower case before upper.
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, OLESTR("a"), -1, OLESTR("B"), -1), CSTR_LESS_THAN);
  EXPECT_EQ(lstrcmpW(OLESTR("a"), OLESTR("A")), -1);
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, OLESTR("Hello"), -1, OLESTR("hELLO"), -1), CSTR_EQUAL);
  EXPECT_EQ(lstrcmpiW(OLESTR("Stra\u00dfe"), OLESTR("STRA\u00dfE")), 0);
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, OLESTR("abcX"), 3, OLESTR("abcY"), 3), CSTR_EQUAL);
  // A word sort weighs the hyphen last; a string sort weighs it as a symbol.
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, OLESTR("co-op"), -1, OLESTR("coo"), -1), CSTR_GREATER_THAN);
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, SORT_STRINGSORT, OLESTR("co-op"), -1, OLESTR("coo"), -1), CSTR_LESS_THAN);

  ResetLastError();
  int unknownFlag = CompareStringW(LOCALE_USER_DEFAULT, 0x40000000, OLESTR("a"), -1, OLESTR("a"), -1);
  DWORD error = GetLastError();
  EXPECT_EQ_OR_WINE(0, CSTR_EQUAL, unknownFlag, "Wine ignores an unknown flag and compares");
  if (unknownFlag == 0) {
    EXPECT_EQ(error, (DWORD)ERROR_INVALID_FLAGS);
  }
  ResetLastError();
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, nullptr, -1, OLESTR("a"), -1), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}
