// The version scanner's field widths, as swscanf reads them: a width bounds
// the digits of one number, a sign counts against it.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "catalog/scan.h"

namespace {

struct Case {
  const WCHAR *text;
  const WCHAR *format;
  std::vector<LONG> numbers;  // what is stored, in order
};

}  // namespace

TEST(ScanVersion, FieldWidths) {
  const Case cases[] = {
      {OLESTR("15.01.0123"), OLESTR("%d.%d.%d"), {15, 1, 123}},
      {OLESTR("1501"), OLESTR("%2d%2d"), {15, 1}},
      {OLESTR("1501"), OLESTR("%02d%02d"), {15, 1}},  // a leading 0 is part of the width, no flag
      {OLESTR("150123"), OLESTR("%2d%d"), {15, 123}},
      {OLESTR("15"), OLESTR("%1d%1d%1d"), {1, 5}},  // the third field finds no digit
      {OLESTR("-123"), OLESTR("%2d%d"), {-1, 23}},    // the sign takes one of the two
      {OLESTR("-5"), OLESTR("%1d"), {}},               // the sign takes the whole width
      {OLESTR("12345678901"), OLESTR("%10d"), {1234567890}},
      {OLESTR("  7.8"), OLESTR("%1d.%1d"), {7, 8}},
      {OLESTR("7x8"), OLESTR("%d.%d"), {7}},
  };
  for (const Case &c : cases) {
    LONG numbers[3] = {-99, -99, -99};
    int stored = revdir::ScanVersion(c.text, c.format, numbers, 3);
    ASSERT_EQ(stored, static_cast<int>(c.numbers.size())) << "case " << (&c - cases);
    for (int i = 0; i < stored; ++i) EXPECT_EQ(numbers[i], c.numbers[i]) << "field " << i;
    if (stored < 3) {
      EXPECT_EQ(numbers[stored], -99) << "wrote past the fields it stored";
    }
  }
}
