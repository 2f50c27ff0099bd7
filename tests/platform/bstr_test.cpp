// BSTR allocation and its length prefix, as Windows behaves.
#include <windows.h>

#include <oleauto.h>
#include <string.h>

#include "conformance.h"

namespace {

DWORD Prefix(BSTR s) {
  DWORD n;
  memcpy(&n, reinterpret_cast<const char *>(s) - 4, 4);
  return n;
}

}  // namespace

TEST(Bstr, PrefixTextAndTerminator) {
  BSTR s = SysAllocString(OLESTR("hello"));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Prefix(s), 10u);
  EXPECT_EQ(SysStringLen(s), 5u);
  EXPECT_EQ(SysStringByteLen(s), 10u);
  EXPECT_EQ(memcmp(s, OLESTR("hello"), 12), 0) << Printable(s);
  SysFreeString(s);

  // Embedded nulls are part of the length.
  s = SysAllocStringLen(OLESTR("a\0b"), 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[1], 0);
  EXPECT_EQ(s[2], OLESTR('b'));
  EXPECT_EQ(s[3], 0);
  SysFreeString(s);

  // With no source the text is left as it is, but terminated.
  s = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 4u);
  EXPECT_EQ(s[4], 0);
  SysFreeString(s);

  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, ByteLengthsMayBeOdd) {
  BSTR s = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);
  const char *bytes = reinterpret_cast<const char *>(s);
  EXPECT_EQ(memcmp(bytes, "abc\0\0", 5), 0) << "a wide null follows the bytes";
  EXPECT_EQ(s[2], 0) << "the first whole character after the bytes is a null";
  SysFreeString(s);
}

TEST(Bstr, TextIsEightByteAligned) {
  for (UINT n : {0u, 1u, 3u, 8u, 100u}) {
    BSTR s = SysAllocStringLen(nullptr, n);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(s) % 8, 0u) << n << " characters at " << static_cast<void *>(s);
    SysFreeString(s);
  }
}

TEST(Bstr, SizesThatOverflowFail) {
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
  BSTR s = SysAllocString(OLESTR("keep"));
  EXPECT_FALSE(SysReAllocStringLen(&s, nullptr, 0x80000000u));
  EXPECT_EQ(Printable(s), "keep") << "a failed reallocation leaves the string alone";
  SysFreeString(s);
}

TEST(Bstr, Reallocation) {
  BSTR s = SysAllocString(OLESTR("abcdef"));
  EXPECT_TRUE(SysReAllocString(&s, OLESTR("xy")));
  EXPECT_EQ(SysStringLen(s), 2u);
  EXPECT_EQ(Printable(s), "xy");
  // The source may be part of the string being replaced.
  EXPECT_TRUE(SysReAllocString(&s, OLESTR("0123456789")));
  EXPECT_TRUE(SysReAllocStringLen(&s, s + 3, 4));
  EXPECT_EQ(Printable(s), "3456");
  // No source keeps the old text as far as it reaches.
  EXPECT_TRUE(SysReAllocStringLen(&s, nullptr, 2));
  EXPECT_EQ(SysStringLen(s), 2u);
  EXPECT_EQ(Printable(s), "34");
  SysFreeString(s);

  // Grown from its own text: the old characters stay and nothing past them
  // is read.
  s = SysAllocString(OLESTR("abc"));
  ASSERT_TRUE(SysReAllocStringLen(&s, s, 40));
  EXPECT_EQ(SysStringLen(s), 40u);
  EXPECT_EQ(memcmp(s, OLESTR("abc"), 3 * sizeof(OLECHAR)), 0);
  EXPECT_EQ(s[40], 0);
  // Shrunk from its own tail.
  ASSERT_TRUE(SysReAllocStringLen(&s, s + 1, 2));
  EXPECT_EQ(Printable(s), "bc");
  SysFreeString(s);

  BSTR none = nullptr;
  EXPECT_TRUE(SysReAllocStringLen(&none, OLESTR("new"), 3));
  EXPECT_EQ(Printable(none), "new");
  SysFreeString(none);
}
