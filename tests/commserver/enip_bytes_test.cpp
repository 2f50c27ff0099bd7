// The wire byte for byte as the public EtherNet/IP encapsulation and CIP
// documents lay it out: what the client library sends and accepts, and what
// the device simulator answers. The client library and the simulator share one
// codec, so each side is held here to bytes written by hand, never to bytes
// the codec made.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "enip.h"
#include "enip_server.h"
#include "hostile_device.h"
#include "library_fixture.h"

namespace {

using namespace commserver;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Text(const std::string &s) { return Bytes(s.begin(), s.end()); }

// Encapsulation header: command, length, session handle, status, sender
// context (8), options; all little-endian.
Bytes Head(uint8_t command, uint8_t length, Bytes session, Bytes context = Bytes(8, 0)) {
  return Cat({{command, 0x00, length, 0x00}, session, {0, 0, 0, 0}, context, {0, 0, 0, 0}});
}
const Bytes kNoSession = {0, 0, 0, 0};
const Bytes kSession = {0x44, 0x33, 0x22, 0x11};  // 0x11223344

// RegisterSession (0x0065): protocol version 1, option flags 0.
const Bytes kRegisterSession = Cat({Head(0x65, 4, kNoSession), {0x01, 0x00, 0x00, 0x00}});
const Bytes kRegistered = Cat({Head(0x65, 4, kSession), {0x01, 0x00, 0x00, 0x00}});

// SendRRData (0x006F) data: interface handle 0, time-out 0, two items of the
// common packet format: the null address item (0x0000, length 0) and the
// unconnected data item (0x00B2) holding the message-router request.
Bytes Items(uint8_t mrLength) { return {0, 0, 0, 0, 0, 0, 0x02, 0x00, 0, 0, 0, 0, 0xB2, 0x00, mrLength, 0x00}; }

// Get_Attributes_All (0x01) of class 1 instance 1: path of 2 words, 8-bit
// class and instance segments.
const Bytes kGetIdentity = {0x01, 0x02, 0x20, 0x01, 0x24, 0x01};
// The Identity object's attributes 1 to 7: vendor 1, device type 14, product
// code 15, revision 13.2, status 0, serial 0x12345678, a short string name.
const Bytes kIdentity = Cat({{0x81, 0x00, 0x00, 0x00, 0x01, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x0D, 0x02, 0x00, 0x00,
                              0x78, 0x56, 0x34, 0x12, 0x0B},
                             Text("Kestrel L85")});

class Wire : public Library {};

TEST_F(Wire, TheClientSendsRegisterSessionAndSendRRDataAsWrittenAndAcceptsTheIdentityReply) {
  support::Options o;
  o.script = {kRegistered, Cat({Head(0x6F, 16 + 30, kSession), Items(30), kIdentity})};
  support::Device device(o);
  Done done;
  ASSERT_EQ(Read("ENIP-1\\127.0.0.1:" + std::to_string(device.Port()), done), 0);
  ASSERT_TRUE(done.Wait());
  EXPECT_EQ(done.iostat, 0u);
  EXPECT_EQ(done.Reply(), kIdentity);
  auto received = device.Received();
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[0], kRegisterSession);
  EXPECT_EQ(received[1], Cat({Head(0x6F, 16 + 6, kSession), Items(6), kGetIdentity}));
}

// Beyond the station the request goes inside Unconnected Send (0x52) to the
// Connection Manager (class 6, instance 1): priority/tick 0x0A, 2 time-out
// ticks, the embedded request's length, the request and a pad byte when its
// length is odd, the route path's length in words, a reserved byte, the route.
TEST_F(Wire, UnconnectedSendPadsTheEmbeddedRequestAndCountsTheRouteInWords) {
  support::Options o;
  o.script = {kRegistered, Cat({Head(0x6F, 16 + 4, kSession), Items(4), {0x85, 0x00, 0x00, 0x00}})};
  support::Device device(o);
  Done done;
  // A Reset of type 1: seven bytes, so padded.
  std::string top = "ENIP-1\\127.0.0.1:" + std::to_string(device.Port()) + "\\Backplane\\3\\2\\10.0.0.17";
  ASSERT_EQ(Read(top, done, 0x05, Bytes{0x01}), 0);
  ASSERT_TRUE(done.Wait());
  EXPECT_EQ(done.iostat, 0u);
  EXPECT_EQ(done.Reply(), (Bytes{0x85, 0x00, 0x00, 0x00}));
  Bytes mr = Cat({{0x52, 0x02, 0x20, 0x06, 0x24, 0x01, 0x0A, 0x02, 0x07, 0x00},
                  {0x05, 0x02, 0x20, 0x01, 0x24, 0x01, 0x01, 0x00},
                  // Seven words: backplane (port 1) slot 3; port 2 to the
                  // nine-character address as an extended link, padded.
                  {0x07, 0x00, 0x01, 0x03, 0x12, 0x09},
                  Text("10.0.0.17"),
                  {0x00}});
  ASSERT_EQ(mr.size(), 34u);
  auto received = device.Received();
  ASSERT_GE(received.size(), 2u);
  EXPECT_EQ(received[1], Cat({Head(0x6F, 16 + 34, kSession), Items(34), mr}));
}

// The simulator, asked in bytes written by hand, answers in such bytes.
TEST(WireSimulator, AnswersRegisterSessionSendRRDataAndUnconnectedSendAsWritten) {
  commserver::DeviceOptions options;
  ASSERT_TRUE(commserver::ParseIdentity("1,14,15,13.2,0x12345678,Kestrel L85", options.identity));
  ASSERT_TRUE(commserver::ParseIdentity("1,12,166,2.1,17,Bridge", options.slots[3]));
  ASSERT_TRUE(commserver::ParseIdentity("1,14,15,13.2,0x12345678,Kestrel L85", options.slots[0]));
  commserver::EnipServer server(options, "127.0.0.1", 0);
  server.Start();
  support::Client client(server.Port());
  ASSERT_TRUE(client.Connected());
  const Bytes context = {0xC0, 0xFF, 0xEE, 0, 0, 0, 0, 0x01};  // echoed in every reply

  Bytes registered = client.Ask(Cat({Head(0x65, 4, kNoSession, context), {0x01, 0x00, 0x00, 0x00}}), 28);
  ASSERT_EQ(registered.size(), 28u);
  Bytes session(registered.begin() + 4, registered.begin() + 8);
  EXPECT_NE(session, kNoSession);
  EXPECT_EQ(registered, Cat({Head(0x65, 4, session, context), {0x01, 0x00, 0x00, 0x00}}));

  Bytes want = Cat({Head(0x6F, 16 + 30, session, context), Items(30), kIdentity});
  EXPECT_EQ(client.Ask(Cat({Head(0x6F, 16 + 6, session, context), Items(6), kGetIdentity}), want.size()), want);

  // Get_Attribute_List (attribute 1) of slot 3's Identity object, through the backplane.
  Bytes routed = {0x52, 0x02, 0x20, 0x06, 0x24, 0x01, 0x0A, 0x02, 0x0A, 0x00, 0x03, 0x02, 0x20,
                  0x01, 0x24, 0x01, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x03};
  Bytes vendor = {0x83, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00};
  want = Cat({Head(0x6F, 16 + 12, session, context), Items(12), vendor});
  EXPECT_EQ(client.Ask(Cat({Head(0x6F, 16 + 24, session, context), Items(24), routed}), want.size()), want);

  // Get_Attributes_All of the controller in slot 0, then of slot 1, which is
  // empty: connection failure (0x01), extended status 0x0312 (link address
  // not valid).
  for (uint8_t slot : {0, 1}) {
    Bytes all = {0x52, 0x02, 0x20, 0x06, 0x24, 0x01, 0x0A, 0x02, 0x06, 0x00,
                 0x01, 0x02, 0x20, 0x01, 0x24, 0x01, 0x01, 0x00, 0x01, slot};
    Bytes reply = slot == 0 ? kIdentity : Bytes{0xD2, 0x00, 0x01, 0x01, 0x12, 0x03};
    auto size = static_cast<uint8_t>(reply.size());
    want = Cat({Head(0x6F, 16 + size, session, context), Items(size), reply});
    EXPECT_EQ(client.Ask(Cat({Head(0x6F, 16 + 20, session, context), Items(20), all}), want.size()), want) << +slot;
  }
  server.Stop();
}

// ListIdentity (0x0063): one item of type 0x000C holding the encapsulation
// version, the socket address (family, port and address big-endian, 8 zero
// bytes), vendor, device type, product code, revision, status, serial, the
// name as a short string, and the state.
Bytes ListIdentityItem(uint16_t port) {
  return Cat({{0x01, 0x00, 0x0C, 0x00, 0x2D, 0x00, 0x01, 0x00, 0x00, 0x02, static_cast<uint8_t>(port >> 8),
               static_cast<uint8_t>(port), 0x7F, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0},
              {0x01, 0x00, 0x0E, 0x00, 0x0F, 0x00, 0x0D, 0x02, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12, 0x0B},
              Text("Kestrel L85"),
              {0xFF}});
}

TEST(WireSimulator, ListIdentityIsAnsweredAndReadAsWritten) {
  commserver::DeviceOptions options;
  ASSERT_TRUE(commserver::ParseIdentity("1,14,15,13.2,0x12345678,Kestrel L85", options.identity));
  commserver::EnipServer server(options, "127.0.0.1", 0);
  server.Start();
  support::Client client(server.Port());
  const Bytes context = {1, 2, 3, 4, 5, 6, 7, 8};
  Bytes want = Cat({Head(0x63, 0x33, kNoSession, context), ListIdentityItem(server.Port())});
  EXPECT_EQ(client.Ask(Head(0x63, 0, kNoSession, context), want.size()), want);
  server.Stop();

  auto id = commserver::enip::ParseListIdentityReply(ListIdentityItem(44818));
  ASSERT_TRUE(id);
  EXPECT_EQ(id->vendor, 1);
  EXPECT_EQ(id->deviceType, 14);
  EXPECT_EQ(id->productCode, 15);
  EXPECT_EQ(id->major, 13);
  EXPECT_EQ(id->minor, 2);
  EXPECT_EQ(id->serial, 0x12345678u);
  EXPECT_EQ(id->name, "Kestrel L85");
}

// A sweep's request is a bare header; a reply counts only when the datagram
// is a whole ListIdentity item answering it.
TEST(WireDiscovery, ListIdentityIsAskedAndAnsweredByTheBook) {
  const Bytes context = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  const uint64_t ctx = 0x8877665544332211;
  EXPECT_EQ(commserver::enip::ListIdentityRequest(ctx), Head(0x63, 0, kNoSession, context));

  Bytes item = ListIdentityItem(0xAF12);
  item.back() = 0x03;  // state
  auto a = commserver::enip::ParseListIdentityDatagram(Cat({Head(0x63, 0x33, kNoSession, context), item}), ctx);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->state, 0x03);
  EXPECT_EQ(a->port, 0xAF12);
  EXPECT_EQ(a->ipv4, 0x7F000001u);
  EXPECT_EQ(a->identity.productCode, 15);
  EXPECT_EQ(a->identity.serial, 0x12345678u);
  EXPECT_EQ(a->identity.name, "Kestrel L85");

  // Each way of breaking the item, at its byte.
  auto broken = [&](size_t at, uint8_t v) {
    Bytes b = item;
    b[at] = v;
    return b;
  };
  const Bytes bad[] = {
      broken(0, 2),                         // two items announced
      broken(2, 0x0D),                      // not the identity item
      broken(4, 0x2E),                      // item longer than its contents
      broken(4, 0x2C),                      // item shorter than its contents
      broken(6, 2),                         // encapsulation version 2
      broken(9, 0x17),                      // not AF_INET
      broken(8, 2),                         // AF_INET written little-endian
      broken(38, 12),                       // name longer than what is there
      Bytes(item.begin(), item.end() - 1),  // no state byte (and a lying length)
      Cat({item, {0}}),                     // a byte after the item
      Bytes(item.begin(), item.begin() + 5),
  };
  for (size_t i = 0; i < std::size(bad); ++i) EXPECT_FALSE(commserver::enip::ParseListIdentity(bad[i])) << i;

  // The header: command, length, status and the echoed context.
  Bytes good = Cat({Head(0x63, 0x33, kNoSession, context), item});
  auto header = [&](size_t at, uint8_t v) {
    Bytes b = good;
    b[at] = v;
    return commserver::enip::ParseListIdentityDatagram(b, ctx).has_value();
  };
  EXPECT_FALSE(header(0, 0x64));  // another command
  EXPECT_FALSE(header(2, 0x34));  // length beyond the datagram
  EXPECT_FALSE(header(2, 0x32));  // length short of it
  EXPECT_FALSE(header(8, 1));     // a status
  EXPECT_FALSE(header(19, 0));    // someone else's context
  EXPECT_FALSE(commserver::enip::ParseListIdentityDatagram(Bytes(good.begin(), good.begin() + 23), ctx));
}

}  // namespace
