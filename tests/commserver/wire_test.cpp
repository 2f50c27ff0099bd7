#include <gtest/gtest.h>

#include "address_list.h"
#include "cip.h"
#include "cvapi32.h"
#include "enip.h"
#include "path_string.h"

namespace {

using namespace commserver;
using Bytes = std::vector<uint8_t>;

TEST(PathString, GoodPathsGiveStationHopsAndTopPath) {
  Path p;
  ASSERT_EQ(ParsePath("PC1!ENIP-1\\192.168.1.10:2222\\Backplane\\2\\3\\10.0.0.9", p), DTL_SUCCESS);
  EXPECT_EQ(p.server, "PC1");
  EXPECT_EQ(p.driver, "ENIP-1");
  EXPECT_EQ(p.station, "192.168.1.10:2222");
  ASSERT_EQ(p.hops.size(), 2u);
  EXPECT_EQ(p.hops[0], (cip::Hop{1, "2"}));
  EXPECT_EQ(p.hops[1], (cip::Hop{3, "10.0.0.9"}));
  EXPECT_EQ(p.top, "ENIP-1\\192.168.1.10:2222\\Backplane\\2\\3\\10.0.0.9");

  ASSERT_EQ(ParsePath("pc1!MK_KTC-1\\002", p), DTL_SUCCESS);
  EXPECT_EQ(p.station, "2");
  EXPECT_TRUE(p.hops.empty());
}

TEST(PathString, BadPathsAreRefused) {
  const char *bad[] = {
      "",  "PC1", "!DRV\\1", "PC1!", "PC1!DRV", "PC1!DRV\\", "PC1!DRV\\1\\Backplane", "PC1!DRV\\256",
      "PC1!DRV\\1.2.3", "PC1!DRV\\1.2.3.4:0", "PC1!DRV\\1.2.3.4:65536", "PC1!DRV\\1\\0\\1", "PC1!DRV\\1\\65535\\1",
      "PC1!DRV\\1\\Backplane\\x", "PC 1!DRV\\1", "PC1!DR V\\1", "PC1!DRV\\1\\\\", "PC1!DRV\\1\\1\\1.2.3.999",
      "PC1!AVeryLongDriverNameThatIsTooLong\\1",
  };
  for (const char *text : bad) {
    Path p;
    EXPECT_EQ(ParsePath(text, p), DTL_E_BAD_PATH) << text;
  }
  // A route too long for a message header.
  std::string path = "PC1!DRV\\1";
  for (int i = 0; i < 40; ++i) path += "\\3\\100.100.100.100";
  Path p;
  EXPECT_EQ(ParsePath(path, p), DTL_E_BAD_PATH);
}

TEST(Route, EncodesPortSegmentsAndDecodesThemBack) {
  Path p;
  ASSERT_EQ(ParsePath("PC1!ENIP-1\\10.1.2.3\\Backplane\\2\\20\\7", p), DTL_SUCCESS);
  auto route = EncodeRoute(p);
  ASSERT_TRUE(route);
  // Station: port 2 with an 8-byte extended link and a pad; backplane slot 2;
  // port 20 needs the 16-bit port form.
  Bytes want = {0x12, 8, '1', '0', '.', '1', '.', '2', '.', '3', 0x01, 0x02, 0x0F, 20, 0, 7};
  EXPECT_EQ(*route, want);
  auto hops = cip::DecodeRoute(*route);
  ASSERT_TRUE(hops);
  EXPECT_EQ(*hops, (std::vector<cip::Hop>{{2, "10.1.2.3"}, {1, "2"}, {20, "7"}}));

  // Truncated segments, non-port segments and bad pads are refused.
  for (Bytes bad : {Bytes{0x01}, Bytes{0x12, 8, '1'}, Bytes{0x20, 0x01}, Bytes{0x11, 1, 'A', 5}, Bytes{0x00, 1},
                    Bytes{0x0F, 0xFF, 0xFF, 1}})
    EXPECT_FALSE(cip::DecodeRoute(bad)) << bad.size();
}

TEST(Target, StoredFormIsReportedSizePlusFourAndChecked) {
  auto stored = EncodeTarget("PC1", "SIM-1\\2");
  ASSERT_TRUE(stored);
  size_t body = (*stored)[0] | ((*stored)[1] << 8);
  EXPECT_EQ(stored->size(), body + 4);
  auto text = DecodeTarget(stored->data());
  ASSERT_TRUE(text);
  EXPECT_EQ(text->server, "PC1");
  EXPECT_EQ(text->top, "SIM-1\\2");

  auto corrupt = [&](size_t at, uint8_t v) {
    Bytes b = *stored;
    b.resize(DTL_TARGET_MAX);
    b[at] = v;
    return DecodeTarget(b.data()).has_value();
  };
  EXPECT_FALSE(corrupt(2, 9));                    // format
  EXPECT_FALSE(corrupt(0, 200));                  // body size past the last NUL
  EXPECT_FALSE(corrupt(0, 0xFF));                 // larger than any target
  EXPECT_FALSE(corrupt(stored->size() - 1, 'x'));  // unterminated
  EXPECT_FALSE(EncodeTarget("PC1", std::string(600, 'a')));
}

TEST(Replies, ShortLongAndLyingRepliesAreErrors) {
  EXPECT_FALSE(cip::ParseReply(Bytes{0x81, 0, 0}));               // short
  EXPECT_FALSE(cip::ParseReply(Bytes{0x81, 0, 1, 2, 0x04, 0x02})); // claims two status words, has one
  EXPECT_FALSE(cip::ParseReply(Bytes{0x01, 0, 0, 0}));             // not a reply
  auto good = cip::ParseReply(Bytes{0x81, 0, 1, 1, 0x18, 0x03, 0xAA});
  ASSERT_TRUE(good);
  EXPECT_EQ(good->status, 1);
  EXPECT_EQ(good->ext, std::vector<uint16_t>{0x0318});
  EXPECT_EQ(good->data.size(), 1u);

  Bytes mr = {0x81, 0, 0, 0};
  Bytes data = enip::SendRRData(mr);
  auto item = enip::ParseSendRRData(data);
  ASSERT_TRUE(item);
  EXPECT_EQ(Bytes(item->begin(), item->end()), mr);
  Bytes longer = data;
  longer.push_back(0);  // a byte no item accounts for
  EXPECT_FALSE(enip::ParseSendRRData(longer));
  // The data item's length (bytes 14 and 15; its type is at 12) claiming
  // more than there is, or less.
  Bytes lying = data;
  lying[14] = 200;
  EXPECT_FALSE(enip::ParseSendRRData(lying));
  lying[14] = static_cast<uint8_t>(mr.size() - 2);
  EXPECT_FALSE(enip::ParseSendRRData(lying));
  EXPECT_FALSE(enip::ParseSendRRData(Bytes(data.begin(), data.begin() + 9)));
  EXPECT_FALSE(enip::ParseHeader(Bytes(23, 0)));
}

TEST(Identity, AnswersAllAttributesAndAttributeLists) {
  cip::Identity id{1, 14, 15, 13, 2, 0x3060, 0x12345678, "Kestrel L85"};
  auto path = cip::EncodeLogicalPath(1, 1);
  auto all = cip::AnswerIdentity(id, *cip::ParseRequest(cip::BuildRequest(0x01, path, {})));
  Bytes want = {0x81, 0, 0, 0, 1, 0, 14, 0, 15, 0, 13, 2, 0x60, 0x30, 0x78, 0x56, 0x34, 0x12, 11};
  want.insert(want.end(), id.name.begin(), id.name.end());
  EXPECT_EQ(all, want);

  Bytes list = {2, 0, 3, 0, 9, 0};  // product code and an attribute that does not exist
  auto some = cip::AnswerIdentity(id, *cip::ParseRequest(cip::BuildRequest(0x03, path, list)));
  EXPECT_EQ(some, (Bytes{0x83, 0, 0x0A, 0, 2, 0, 3, 0, 0, 0, 15, 0, 9, 0, 0x14, 0}));

  auto other = cip::AnswerIdentity(id, *cip::ParseRequest(cip::BuildRequest(0x01, cip::EncodeLogicalPath(2, 1), {})));
  EXPECT_EQ(other[2], 0x05);
  auto service = cip::AnswerIdentity(id, *cip::ParseRequest(cip::BuildRequest(0x4C, path, {})));
  EXPECT_EQ(service[2], 0x08);
  auto cut = cip::AnswerIdentity(id, *cip::ParseRequest(cip::BuildRequest(0x03, path, Bytes{2, 0, 3})));
  EXPECT_EQ(cut[2], 0x13);
}

TEST(UnconnectedSend, RoundTripsWithOddEmbeddedRequests) {
  Bytes embedded = {0x01, 0x02, 0x20, 0x01, 0x24, 0x01, 0x77};  // odd: padded on the wire
  Bytes route = {0x01, 0x03};
  auto data = cip::BuildUnconnectedSend(embedded, route);
  auto parsed = cip::ParseUnconnectedSend(data);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(Bytes(parsed->embedded.begin(), parsed->embedded.end()), embedded);
  EXPECT_EQ(Bytes(parsed->route.begin(), parsed->route.end()), route);
  data.push_back(0);
  EXPECT_FALSE(cip::ParseUnconnectedSend(data));
}

TEST(AddressList, NetworksLeaveOutTheirOwnAndBroadcastAddressesAndOverlapsCountOnce) {
  AddressList list;
  ASSERT_EQ(ParseAddressList(" 10.0.0.0/30,10.0.0.8/31 192.168.1.7,,10.0.0.0/29\t192.168.1.7/32 ", 1024, list),
            AddressListError::kNone);
  // /29: .1 to .6; the /30 inside it adds nothing; the /31 keeps both; the host once.
  EXPECT_EQ(list.ranges,
            (std::vector<AddressRange>{{0x0A000001, 0x0A000006}, {0x0A000008, 0x0A000009}, {0xC0A80107, 0xC0A80107}}));
  EXPECT_EQ(list.count, 9u);
  EXPECT_TRUE(list.Contains(0x0A000009));
  EXPECT_FALSE(list.Contains(0x0A000007));
  EXPECT_FALSE(list.Contains(0x0A000000));
  EXPECT_FALSE(list.Contains(0x0A00000A));
  std::vector<uint32_t> walked;
  for (AddressCursor c(list); !c.Done(); c.Next()) walked.push_back(c.Current());
  ASSERT_EQ(walked.size(), 9u);
  EXPECT_EQ(walked.front(), 0x0A000001u);
  EXPECT_EQ(walked.back(), 0xC0A80107u);

  // Host bits with a prefix name their network; the ends of the space wrap nowhere.
  ASSERT_EQ(ParseAddressList("255.255.255.255 0.0.0.0 10.1.2.3/24", 1024, list), AddressListError::kNone);
  EXPECT_EQ(list.count, 256u);
  EXPECT_TRUE(list.Contains(0x0A010201) && list.Contains(0) && list.Contains(0xFFFFFFFF));
  ASSERT_EQ(ParseAddressList(" , ", 1024, list), AddressListError::kNone);
  EXPECT_EQ(list.count, 0u);
}

TEST(AddressList, MalformedTextAndTooManyAddressesAreRefused) {
  AddressList list;
  for (const char *bad :
       {"010.0.0.1", "10.0.0.256", "10.0.0", "10.0.0.1.2", "10..0.1", "10.0.0.1/33", "10.0.0.1/", "10.0.0.1/08",
        "10.0.0.1/24/2", "a.b.c.d", "10.0.0.1;10.0.0.2", "+1.2.3.4", "1.2.3.4 x", "0x0A.0.0.1", "1.2.3.4/-1"})
    EXPECT_EQ(ParseAddressList(bad, 1024, list), AddressListError::kSyntax) << bad;
  EXPECT_EQ(ParseAddressList("10.0.0.0/22", 1021, list), AddressListError::kTooMany);
  EXPECT_EQ(ParseAddressList("10.0.0.0/22", 1022, list), AddressListError::kNone);
  // Counted from the ranges, never listed: the whole space is refused at once.
  EXPECT_EQ(ParseAddressList("0.0.0.0/0", 1024, list), AddressListError::kTooMany);
  EXPECT_EQ(ParseAddressList("1.2.3.4 1.2.3.4 1.2.3.4", 1, list), AddressListError::kNone);
}

}  // namespace
