// FormatMessage with system messages and message strings, and the
// LocalAlloc'ed buffers it can return.
#include <windows.h>

#include <string>
#include <vector>

#include "conformance.h"

namespace {

constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

std::string SystemText(DWORD id, DWORD flags = kSystem) {
  WCHAR buf[512];
  DWORD n = FormatMessageW(flags, nullptr, id, 0, buf, 512, nullptr);
  return n ? Printable(buf) : "(failed " + std::to_string(GetLastError()) + ")";
}

std::string FromString(const WCHAR *format, ...) {
  va_list args;
  va_start(args, format);
  WCHAR buf[256];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, format, 0, 0, buf, 256, &args);
  va_end(args);
  return n ? Printable(buf) : "(failed " + std::to_string(GetLastError()) + ")";
}


// Wine's system message table has texts of its own wording and lacks most
// COM codes; these tests check Windows' texts and the lengths that follow.
#define SKIP_WINE_TEXTS() \
  if (RunningUnderWine()) GTEST_SKIP() << "Wine's system message texts differ from Windows'"
}  // namespace

TEST(FormatMessage, ReturnsTheSystemTextsWithTheirLineBreak) {
  SKIP_WINE_TEXTS();
  EXPECT_EQ(SystemText(E_INVALIDARG), "The parameter is incorrect.\r\n");
  EXPECT_EQ(SystemText(E_FAIL), "Unspecified error\r\n");
  EXPECT_EQ(SystemText(E_NOINTERFACE), "No such interface supported\r\n");
  EXPECT_EQ(SystemText(E_UNEXPECTED), "Catastrophic failure\r\n");
  EXPECT_EQ(SystemText(REGDB_E_CLASSNOTREG), "Class not registered\r\n");
  EXPECT_EQ(SystemText(CLASS_E_NOAGGREGATION), "Class does not support aggregation (or class object is remote)\r\n");
  EXPECT_EQ(SystemText(DISP_E_MEMBERNOTFOUND), "Member not found.\r\n");
  EXPECT_EQ(SystemText(TYPE_E_LIBNOTREGISTERED), "Library not registered.\r\n");
  EXPECT_EQ(SystemText(CO_E_NOTINITIALIZED), "CoInitialize has not been called.\r\n");
  EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.\r\n");
  // An HRESULT wrapping a Win32 error has that error's text.
  EXPECT_EQ(SystemText(E_ACCESSDENIED), SystemText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(SystemText(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)), "The specified module could not be found.\r\n");
  // Inserts stay as they are when ignored.
  EXPECT_EQ(SystemText(ERROR_BAD_EXE_FORMAT), "%1 is not a valid Win32 application.\r\n");
  EXPECT_EQ(SystemText(STG_E_FILENOTFOUND), "%1 could not be found.\r\n");
  // Any maximum width turns the text's own line breaks into spaces.
  EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED, kSystem | FORMAT_MESSAGE_MAX_WIDTH_MASK), "Access is denied. ");
}

TEST(FormatMessage, KnowsEveryCodeTheComponentCanMeet) {
  SKIP_WINE_TEXTS();
  const DWORD win32[] = {1,    2,    3,    4,    5,    6,    8,    13,   14,   18,   32,   80,   87,   111,
                         122,  123,  126,  127,  131,  183,  193,  234,  259,  1006, 1009, 1010, 1011, 1012,
                         1013, 1014, 1015, 1016, 1017, 1018, 1113, 1460, 1812, 1813, 1814, 1815};
  for (DWORD e : win32) {
    std::string text = SystemText(e);
    EXPECT_TRUE(text.size() > 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) << e << ": " << text;
    EXPECT_EQ(SystemText(HRESULT_FROM_WIN32(e)), text) << e;
  }
  std::vector<HRESULT> hresults = {E_INVALIDARG, E_POINTER, E_FAIL,  E_OUTOFMEMORY, E_NOINTERFACE, E_NOTIMPL,
                                   E_UNEXPECTED, E_HANDLE,  E_ABORT, E_ACCESSDENIED};
  for (HRESULT h = CLASS_E_NOAGGREGATION; h <= CLASS_E_NOTLICENSED; ++h) hresults.push_back(h);
  for (HRESULT h = REGDB_E_READREGDB; h <= REGDB_E_BADTHREADINGMODEL; ++h) hresults.push_back(h);
  for (HRESULT h = MK_E_CONNECTMANUALLY; h <= CO_E_RELEASED; ++h) hresults.push_back(h);
  for (HRESULT h = DISP_E_MEMBERNOTFOUND; h <= DISP_E_BUFFERTOOSMALL; ++h) hresults.push_back(h);
  for (HRESULT h = STG_E_INVALIDFUNCTION; h <= STG_E_INVALIDPOINTER; ++h)
    if (h != (HRESULT)0x80030007) hresults.push_back(h);
  for (HRESULT h : {TYPE_E_BUFFERTOOSMALL, TYPE_E_ELEMENTNOTFOUND, TYPE_E_CANTLOADLIBRARY, TYPE_E_CIRCULARTYPE,
                    CO_E_INIT_TLS, CO_E_NOT_SUPPORTED, CO_E_SERVER_EXEC_FAILURE, RPC_E_CHANGED_MODE})
    hresults.push_back(h);
  for (HRESULT h : hresults) {
    std::string text = SystemText(h);
    EXPECT_TRUE(text.size() > 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        << std::hex << (ULONG)h << ": " << text;
  }
}

TEST(FormatMessage, FailsLikeWindows) {
  SKIP_WINE_TEXTS();
  WCHAR buf[64];
  struct Case {
    DWORD flags, id, language, error;
  } cases[] = {
      {kSystem, 0x80041234, 0, ERROR_MR_MID_NOT_FOUND},
      {kSystem, 0x8007ABCD, 0, ERROR_MR_MID_NOT_FOUND},
      // Only English texts exist: another language has none.
      {kSystem, (DWORD)E_FAIL, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), ERROR_RESOURCE_LANG_NOT_FOUND},
      {kSystem | FORMAT_MESSAGE_FROM_STRING, (DWORD)E_FAIL, 0, ERROR_INVALID_PARAMETER},
      {FORMAT_MESSAGE_IGNORE_INSERTS, (DWORD)E_FAIL, 0, ERROR_INVALID_PARAMETER},
  };
  for (const auto &c : cases) {
    ResetLastError();
    EXPECT_EQ(FormatMessageW(c.flags, nullptr, c.id, c.language, buf, 64, nullptr), 0u) << std::hex << c.id;
    EXPECT_EQ(GetLastError(), c.error) << std::hex << c.id;
  }
  EXPECT_EQ(FormatMessageW(kSystem, nullptr, E_FAIL, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buf, 64, nullptr),
            19u);
}

TEST(FormatMessage, NeverWritesPastTheBuffer) {
  SKIP_WINE_TEXTS();
  // "Unspecified error\r\n" is 19 units and needs 20.
  WCHAR wide[19 + 3];
  for (auto &c : wide) c = 0xCCCC;
  ResetLastError();
  EXPECT_EQ(FormatMessageW(kSystem, nullptr, E_FAIL, 0, wide, 19, nullptr), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  for (int i = 19; i < 22; ++i) EXPECT_EQ(wide[i], 0xCCCC);
  EXPECT_EQ(FormatMessageW(kSystem, nullptr, E_FAIL, 0, wide, 20, nullptr), 19u);

  char narrow[19 + 3];
  memset(narrow, 0xCC, sizeof narrow);
  ResetLastError();
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, E_FAIL, 0, narrow, 19, nullptr), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  for (int i = 19; i < 22; ++i) EXPECT_EQ((unsigned char)narrow[i], 0xCC);
  EXPECT_EQ(FormatMessageA(kSystem, nullptr, E_FAIL, 0, narrow, 20, nullptr), 19u);
  EXPECT_STREQ(narrow, "Unspecified error\r\n");
}

TEST(FormatMessage, AllocatesWithLocalAlloc) {
  SKIP_WINE_TEXTS();
  LPWSTR text = (LPWSTR)(ULONG_PTR)kSentinel;
  DWORD n = FormatMessageW(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, E_POINTER, 0, (LPWSTR)&text, 0,
                           nullptr);
  ASSERT_EQ(n, 17u);
  EXPECT_EQ(Printable(text), "Invalid pointer\r\n");
  EXPECT_EQ(LocalFree(text), nullptr);

  LPSTR narrow = nullptr;
  ASSERT_EQ(FormatMessageA(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, E_POINTER, 0, (LPSTR)&narrow, 0,
                           nullptr),
            17u);
  EXPECT_STREQ(narrow, "Invalid pointer\r\n");
  EXPECT_EQ(LocalFree(narrow), nullptr);
  // A failed call leaves a null pointer behind.
  text = (LPWSTR)(ULONG_PTR)kSentinel;
  EXPECT_EQ(FormatMessageW(kSystem | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x80041234, 0, (LPWSTR)&text, 0,
                           nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
}

TEST(FormatMessage, ExpandsInsertsOfAMessageString) {
  EXPECT_EQ(FromString(OLESTR("%1 has %2!d! items%n%3!08X!%%"), OLESTR("box"), 5, 0xBEEF), "box has 5 items\r\n0000BEEF%");
  EXPECT_EQ(FromString(OLESTR("%2 before %1%0 and not this"), OLESTR("one"), OLESTR("two")), "two before one");

  DWORD_PTR args[] = {(DWORD_PTR)OLESTR("file.txt"), 42};
  WCHAR buf[64];
  ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, OLESTR("%1 (%2!u!)"), 0, 0, buf,
                           64, (va_list *)args),
            0u);
  EXPECT_EQ(Printable(buf), "file.txt (42)");

  // In the narrow function %1 is a narrow string.
  DWORD_PTR narrowArgs[] = {(DWORD_PTR) "disk", 3};
  char out[64];
  ASSERT_GT(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "%1 #%2!d!", 0, 0, out, 64,
                           (va_list *)narrowArgs),
            0u);
  EXPECT_STREQ(out, "disk #3");

  // Ignoring inserts keeps them and the character escapes, but not the line
  // and message ends.
  ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, OLESTR("%1!d! 100%% %.%ndone%0 not"),
                           0, 0, buf, 64, nullptr),
            0u);
  EXPECT_EQ(Printable(buf), "%1!d! 100%% %.\r\ndone");

  // Inserts without arguments are refused.
  ResetLastError();
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, OLESTR("%1"), 0, 0, buf, 64, nullptr), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}
