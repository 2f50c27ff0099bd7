// The driver form's path text and the target setters that need no server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "comm_fixture.h"

namespace {

struct PathCase {
  const char *text;
  std::vector<uint8_t> bytes;  // empty: no path
  const char *stored;          // the path string kept
};

std::vector<uint8_t> Bytes(const QxCommTarget &t) {
  return {t.PathBytes.bytes, t.PathBytes.bytes + t.PathBytes.count};
}

TEST(PathText, GroupsOfTwoHexDigitsAndABlankBecomeBytes) {
  const PathCase cases[] = {
      {"01 00", {0x01, 0x00}, "01 00"},
      {"0a FF 12", {0x0A, 0xFF, 0x12}, "0a FF 12"},
      {"7f", {0x7F}, "7f"},
      {"", {}, ""},
      {"0", {}, ""},            // shorter than one group: the empty path
      {"01 0", {}, ""},         // an odd last group
      {"0100", {}, ""},         // no blank between groups
      {"01  00", {}, ""},       // two blanks
      {"01 00 ", {0x01, 0x00}, "01 00 "},  // a blank may end the last group too
      {"0g 00", {}, ""},        // not hexadecimal
      {"01 00%02", {}, ""},     // a second "%" of a route breaks the format
  };
  auto t = std::make_unique<QxCommTarget>();
  for (const PathCase &c : cases) {
    std::memset(t.get(), 0xAB, sizeof *t);
    QxParsePathString(t.get(), c.text);
    EXPECT_EQ(Bytes(*t), c.bytes) << '"' << c.text << '"';
    EXPECT_STREQ(t->PathString, c.stored) << '"' << c.text << '"';
  }
}

std::string Groups(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.append(i ? " 5A" : "5A");
  return s;
}

TEST(PathText, LimitsAreFiveHundredTenBytesAndTenTwentyThreeCharacters) {
  auto t = std::make_unique<QxCommTarget>();
  QxParsePathString(t.get(), Groups(340).c_str());  // 1019 characters
  EXPECT_EQ(+t->PathBytes.count, 340);
  // 400 groups are 1199 characters: cut at the last blank within 1023 (at
  // 1022), leaving 341 whole groups.
  QxParsePathString(t.get(), Groups(400).c_str());
  EXPECT_EQ(+t->PathBytes.count, 341);
  EXPECT_EQ(std::strlen(t->PathString), 1022u);
  // Without a blank the text is cut at 1023 characters, which cannot be read.
  std::string solid(2000, 'A');
  QxParsePathString(t.get(), solid.c_str());
  EXPECT_EQ(+t->PathBytes.count, 0);
  EXPECT_STREQ(t->PathString, "");
}

TEST(Targets, AnEmptyProtocolPicksTheNetworkByDriverName) {
  const struct {
    const char *driver;
    DWORD kind;
  } cases[] = {{"TCP-1", kQxNetEnet},   {"tcp", kQxNetEnet},     {"MK_KTC-1", kQxNetCnet}, {"MK_KT-1", kQxNetDhp},
               {"BSW_KT-2", kQxNetDhp}, {"MK_DF1-3", kQxNetDf1}, {"SIM-1", kQxNetOnet},    {"", kQxNetOnet}};
  auto t = std::make_unique<QxCommTarget>();
  for (const auto &c : cases) {
    t->NetworkKind = 99;
    EXPECT_EQ(QxSetTargetProtocol(t.get(), "", c.driver), S_OK) << c.driver;
    EXPECT_EQ(+t->NetworkKind, c.kind) << c.driver;
    EXPECT_STREQ(t->DriverName, c.driver);
  }
  EXPECT_EQ(QxSetTargetProtocol(t.get(), "dhp", "X"), S_OK);
  EXPECT_EQ(+t->NetworkKind, static_cast<DWORD>(kQxNetDhp));
  EXPECT_EQ(QxSetTargetProtocol(t.get(), "WAYFIND", "X"), comm::QxE_NOT_SUPPORTED);
  EXPECT_EQ(QxSetTargetProtocol(t.get(), "SERIAL", "X"), E_FAIL);
  // A driver name that does not fit its field is stored as empty, never cut.
  std::string huge(600, 'D');
  EXPECT_EQ(QxSetTargetProtocol(t.get(), "ONET", huge.c_str()), S_OK);
  EXPECT_STREQ(t->DriverName, "");
}

TEST(Targets, TargetDataOfMoreThanFiveHundredTenBytesStoresNothing) {
  auto t = std::make_unique<QxCommTarget>();
  std::memset(t.get(), 0, sizeof *t);
  std::vector<BYTE> data(511, 0x42);
  EXPECT_EQ(QxSetTargetFromTargetData(t.get(), data.data(), 511), E_FAIL);
  EXPECT_EQ(+t->TargetDataSize, 0);
  EXPECT_EQ(+t->NetworkKind, static_cast<DWORD>(kQxNetWayfind));
  EXPECT_EQ(QxSetTargetFromTargetData(t.get(), data.data(), 510), S_OK);
  EXPECT_EQ(+t->TargetDataSize, 510);
}

}  // namespace
