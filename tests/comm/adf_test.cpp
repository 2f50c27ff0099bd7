// The object-definition reader: the shipped file, and what it refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "adf.h"

namespace {

TEST(Adf, TheShippedFileDefinesTheIdentityObject) {
  std::ifstream in(REVDIR_COMM_ADF_PATH, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  comm::adf::Error error;
  auto catalog = comm::adf::Parse(text.str(), &error);
  ASSERT_TRUE(catalog) << error.line << ": " << error.message;
  const comm::adf::ClassDef *identity = catalog->Find(1);
  ASSERT_NE(identity, nullptr);
  std::vector<size_t> sizes;
  for (const auto &a : identity->attributes) sizes.push_back(a.MaxSize());
  // Vendor, device type, product code, revision, status, serial, name.
  EXPECT_EQ(sizes, (std::vector<size_t>{2, 2, 2, 2, 2, 4, 256}));
  EXPECT_EQ(identity->attributes.back().id, 7);
}

TEST(Adf, BadFilesAreRefusedWithTheirLine) {
  const struct {
    const char *text;
    int line;
  } cases[] = {
      {"CLASS 1 A REVISION 1\nATTRIBUTE 1 X UINT\n", 2},              // END missing
      {"CLASS 1 A REVISION 1\nATTRIBUTE 1 X FLOAT\nEND\n", 2},        // unknown type
      {"CLASS 1 A REVISION 1\nATTRIBUTE 2 X UINT\nATTRIBUTE 2 Y UINT\nEND\n", 3},
      {"CLASS 1 A REVISION 1\nEND\n", 2},                             // no attributes
      {"CLASS 1 A REVISION 1\nATTRIBUTE 1 X UINT\nEND\nclass 0x1 B revision 2\n", 4},  // twice
      {"CLASS 0 A REVISION 1\n", 1},
      {"CLASS 65536 A REVISION 1\n", 1},
      {"CLASS 1 9A REVISION 1\n", 1},
      {"ATTRIBUTE 1 X UINT\n", 1},
      {"END\n", 1},
      {"CLASS 1 A REVISION 1 EXTRA\n", 1},
      {"; fine\n\xff\n", 2},
  };
  for (const auto &c : cases) {
    comm::adf::Error error;
    EXPECT_FALSE(comm::adf::Parse(c.text, &error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text << " -> " << error.message;
    EXPECT_FALSE(error.message.empty());
  }
  std::string longLine = "; " + std::string(300, 'x');
  EXPECT_FALSE(comm::adf::Parse(longLine, nullptr));
  EXPECT_FALSE(comm::adf::Parse(std::string(comm::adf::kMaxFileSize + 1, '\n'), nullptr));
  EXPECT_TRUE(comm::adf::Parse("# nothing\r\n\r\n", nullptr));
}

TEST(Adf, AValueIsNeverSizedBeyondWhatIsThere) {
  comm::adf::Attribute name{7, "Name", 0, true}, word{5, "Status", 2, false};
  const uint8_t text[] = {3, 'a', 'b', 'c'};
  EXPECT_EQ(comm::adf::ValueSize(name, text, 4), 4u);
  EXPECT_EQ(comm::adf::ValueSize(name, text, 3), 0u);
  EXPECT_EQ(comm::adf::ValueSize(name, text, 0), 0u);
  EXPECT_EQ(comm::adf::ValueSize(word, text, 1), 0u);
  EXPECT_EQ(comm::adf::ValueSize(word, text, 2), 2u);
}

}  // namespace
