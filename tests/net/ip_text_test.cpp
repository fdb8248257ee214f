#include "net/ip_text.h"

#include <gtest/gtest.h>

namespace qelvo::net {
namespace {

TEST(IpText, RecognisesIPv4) {
  for (const char* yes : {"1.2.3.4", "0.0.0.0", "255.255.255.255", "1 . 2 . 3 . 4", "127.0.0.1"})
    EXPECT_TRUE(IsIPv4Text(yes)) << yes;
  for (const char* no : {"1.2.3.4.5", "1.2.3", "1.2.3.256", "", "a.b.c.d", "1.2.3.-4", "1.2.3.0x1", "::1"})
    EXPECT_FALSE(IsIPv4Text(no)) << no;
}

TEST(IpText, RecognisesIPv6) {
  for (const char* yes : {"::", "::1", "fe80::1", "1:2:3:4:5:6:7:8", "fe80::1%4", "1:2:", "2001:DB8::ff", "1::"})
    EXPECT_TRUE(IsIPv6Text(yes)) << yes;
  for (const char* no : {"1::2::3", "1", "::g", "", "1:2:3:4:5:6:7:8:9", "12345::1", "fe80::1%zz", "1.2.3.4", "host"})
    EXPECT_FALSE(IsIPv6Text(no)) << no;
}

TEST(IpText, Conversions) {
  EXPECT_EQ(IPv4TextToBytes("1.2.3.4"), std::string("\x01\x02\x03\x04"));
  EXPECT_EQ(IPv4TextToBytes("0.0.0.1"), std::string("\0\0\0\x01", 4));
  EXPECT_EQ(ExpandIPv6Text("1::"), "1:0:0:0:0:0:0:0");
  EXPECT_EQ(ExpandIPv6Text("::1"), "0:0:0:0:0:0:0:1");
  EXPECT_EQ(ExpandIPv6Text("1:2:3:4:5:6::7"), "1:2:3:4:5:6:0:7");
  EXPECT_EQ(ExpandIPv6Text("1:2:3:4:5:6:7:8:"), "");
  EXPECT_EQ(ExpandIPv6Text(""), "");

  const ByteString loop = IPv6TextToBytes("::1");
  EXPECT_EQ(loop, std::string(15, '\0') + "\x01");
  EXPECT_EQ(IPv6TextToBytes("2001:db8::1").substr(0, 4), "\x20\x01\x0d\xb8");
  EXPECT_EQ(IPv6TextToBytes("1::2::3"), std::string(16, '\0'));
  EXPECT_EQ(IPv6TextToBytes("fe80::1%4"), IPv6TextToBytes("fe80::1"));
}

TEST(IpText, BytesToCompressedText) {
  auto text = [](std::initializer_list<uint16_t> groups) {
    uint8_t b[16];
    int i = 0;
    for (uint16_t g : groups) {
      b[i++] = static_cast<uint8_t>(g >> 8);
      b[i++] = static_cast<uint8_t>(g);
    }
    return IPv6BytesToText(b);
  };
  EXPECT_EQ(text({0, 1, 0, 1, 0, 1, 1, 1}), "::1:0:1:0:1:1:1");
  EXPECT_EQ(text({1, 0, 0, 0, 0, 0, 0, 0}), "1::");
  EXPECT_EQ(text({0, 0, 0, 0, 0, 0, 0, 1}), "::1");
  EXPECT_EQ(text({0, 0, 0, 0, 0, 0, 0, 0}), "::0");
  EXPECT_EQ(text({0x2001, 0xdb8, 0, 0, 1, 0, 0, 0}), "2001:db8:0:0:1::");
  EXPECT_EQ(text({1, 2, 3, 4, 5, 6, 7, 8}), "1:2:3:4:5:6:7:8");
  EXPECT_EQ(text({0xfe80, 0, 0, 0, 0xabc, 0, 0, 0xffff}), "fe80::abc:0:0:ffff");
  // Round trip through the parser.
  for (const char* s : {"2001:db8::1", "::1", "1::", "fe80::abc:0:0:ffff"}) EXPECT_EQ(IPv6BytesToText(IPv6TextToBytes(s)), s);
}

}  // namespace
}  // namespace qelvo::net
