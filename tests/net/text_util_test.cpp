#include "net/text_util.h"

#include <gtest/gtest.h>

#include "net/codec_util.h"

namespace qelvo::net {
namespace {

TEST(TextUtil, BeforeAfterAndTrim) {
  EXPECT_EQ(TextBefore("abc", ":"), "abc");
  EXPECT_EQ(TextBefore("a:b:c", ":"), "a");
  EXPECT_EQ(TextAfter("abc", ":"), "abc");
  EXPECT_EQ(TextAfter("a:", ":"), "");
  EXPECT_EQ(TextAfter("a:b:c", ":"), "b:c");
  EXPECT_EQ(TrimSpaces("  a\t b \t "), "a\t b \t");
  EXPECT_EQ(TrimSpacesLeft("  a  "), "a  ");
  EXPECT_EQ(TrimSpacesRight("  a  "), "  a");
}

TEST(TextUtil, TakeTokenConsumesTheLastTokenWhole) {
  std::string s = "1 . 2";
  EXPECT_EQ(TakeToken(s, "."), "1");
  EXPECT_EQ(s, "2");
  EXPECT_EQ(TakeToken(s, "."), "2");
  EXPECT_EQ(s, "");
}

struct UrlCase {
  const char* url;
  TUrlParts want;
};

TEST(TextUtil, SplitUrl) {
  const UrlCase cases[] = {
      {"host:8080", {"http", "", "", "host", "8080", "/", "", "/"}},
      {"http://h/files/pkg.zip", {"http", "", "", "h", "80", "/files/pkg.zip", "", "/files/pkg.zip"}},
      {"HTTPS://h", {"HTTPS", "", "", "h", "443", "/", "", "/"}},
      {"ftp://u:p:q@h/x", {"ftp", "u", "p:q", "h", "21", "/x", "", "/x"}},
      {"http://[2001:db8::1]:8080/a?b=c", {"http", "", "", "2001:db8::1", "8080", "/a", "b=c", "/a?b=c"}},
      {"http://[::1]/", {"http", "", "", "::1", "80", "/", "", "/"}},
      {"http://user@h/p#frag", {"http", "user", "", "h", "80", "/p#frag", "", "/p#frag"}},
      {"/a?x=http://b", {"/a?x=http", "", "", "b", "80", "/", "", "/"}},
      {"http://h/a@b", {"http", "", "", "h", "80", "/a@b", "", "/a@b"}},
      {"", {"http", "", "", "localhost", "80", "/", "", "/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const TUrlParts u = SplitUrl(c.url);
    EXPECT_EQ(u.Protocol, c.want.Protocol);
    EXPECT_EQ(u.User, c.want.User);
    EXPECT_EQ(u.Password, c.want.Password);
    EXPECT_EQ(u.Host, c.want.Host);
    EXPECT_EQ(u.Port, c.want.Port);
    EXPECT_EQ(u.Path, c.want.Path);
    EXPECT_EQ(u.Parameters, c.want.Parameters);
    EXPECT_EQ(u.RequestUri, c.want.RequestUri);
  }
}

TEST(TextUtil, PercentDecode) {
  const std::pair<const char*, std::string> cases[] = {
      {"a%41", "aA"},       {"abc%4", "abc"},   {"a%zz", "a%zz"}, {"a%2Fb", "a/b"},     {"a%2fb", "a/b"},
      {"%", ""},            {"x%\r\ny", "xy"},  {"x%\n\ry", "xy"}, {"x%\ny", "xy"},     {"%00z", std::string("\0z", 2)},
      {"100%%41", "100%A"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(PercentDecode(in), want) << in;
  EXPECT_EQ(DecodeEscapes("a=41b", '='), "aAb");
}

TEST(TextUtil, Base64) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"user:pass", "dXNlcjpwYXNz"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(Base64Encode(in), want) << in;
  EXPECT_EQ(Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(TextUtil, FindLineBreak) {
  struct Case {
    std::string in;
    int64_t pos;
    std::string brk;
  } cases[] = {
      {"ab\r", 2, "\r"}, {"ab\r\ncd", 2, "\r\n"}, {"ab\n\rcd", 2, "\n\r"}, {"a\nb", 1, "\n"},
      {"a\r\rb", 1, "\r"}, {"abc", -1, ""},      {"", -1, ""},
  };
  for (const auto& c : cases) {
    const TLineBreak b = FindLineBreak(c.in);
    EXPECT_EQ(b.Position, c.pos);
    EXPECT_EQ(b.Break, c.brk);
  }
}

TEST(TextUtil, NextHeaderLineJoinsContinuations) {
  rtl::TStringList lines;
  lines.Add("X-A: one");
  lines.Add(" two");
  lines.Add("\tthree  ");
  lines.Add("X-B: b");
  lines.Add("=tail");
  lines.Add("");
  lines.Add(" never joined: after the blank line");
  int i = 0;
  EXPECT_EQ(NextHeaderLine(lines, i), "X-A: one two three");
  EXPECT_EQ(i, 3);
  EXPECT_EQ(NextHeaderLine(lines, i), "X-B: b =tail");
  EXPECT_EQ(NextHeaderLine(lines, i), "");
  EXPECT_EQ(NextHeaderLine(lines, i), " never joined: after the blank line");
  EXPECT_EQ(i, lines.Count());

  rtl::TStringList last;  // the last line of a list is never joined
  last.Add("A: 1");
  last.Add(" 2");
  i = 0;
  EXPECT_EQ(NextHeaderLine(last, i), "A: 1");
}

TEST(TextUtil, PackingAndReplace) {
  EXPECT_EQ(PackWord(0x1234), "\x12\x34");
  EXPECT_EQ(UnpackWord("\x12\x34", 0), 0x1234);
  EXPECT_EQ(UnpackWord("\x12", 0), 0x1200);
  EXPECT_EQ(UnpackWord("", 5), 0);
  EXPECT_EQ(UnpackWord("\x12\x34", -1), 0x12);
  EXPECT_EQ(UnpackWord("\x12\x34", -2), 0);
  EXPECT_EQ(PackLongWord(0x01020304), "\x01\x02\x03\x04");
  EXPECT_EQ(SwapByteOrder(0x01020304), 0x04030201u);
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(CountChar("a:b::c", ':'), 3);
}

// The bounds every wire and address field relies on: digit count, value limit (checked
// without overflow), the digit alphabet of each base, and an untouched value on refusal.
struct NumberCase {
  const char* name;
  bool hex;
  std::string text;
  size_t maxDigits;
  uint64_t maxValue;
  bool ok;
  uint64_t value;
};

TEST(TextUtil, BoundedNumberParsing) {
  constexpr uint64_t kInt64Max = 0x7FFFFFFFFFFFFFFFull;
  const NumberCase cases[] = {
      {"plain decimal", false, "8080", kAnyDigitCount, UINT64_MAX, true, 8080},
      {"empty", false, "", kAnyDigitCount, UINT64_MAX, false, 0},
      {"sign refused", false, "+1", kAnyDigitCount, UINT64_MAX, false, 0},
      {"space refused", false, " 1", kAnyDigitCount, UINT64_MAX, false, 0},
      {"hex digit in decimal", false, "1a", kAnyDigitCount, UINT64_MAX, false, 0},
      {"nine digits within a nine-digit bound", false, "999999999", 9, UINT64_MAX, true, 999999999},
      {"ten digits over it, even as zeros", false, "0000000001", 9, UINT64_MAX, false, 0},
      {"byte at its limit", false, "255", 3, 255, true, 255},
      {"byte over its limit", false, "256", 3, 255, false, 0},
      {"int64 max exactly", false, "9223372036854775807", kAnyDigitCount, kInt64Max, true, kInt64Max},
      {"one past int64 max", false, "9223372036854775808", kAnyDigitCount, kInt64Max, false, 0},
      {"uint64 max exactly", false, "18446744073709551615", kAnyDigitCount, UINT64_MAX, true, UINT64_MAX},
      {"past uint64 max does not wrap", false, "18446744073709551616", kAnyDigitCount, UINT64_MAX, false, 0},
      {"long leading zeros without a digit bound", false, "000000000000000000000042", kAnyDigitCount, 255, true, 42},
      {"hex either case", true, "1aF", kAnyDigitCount, UINT64_MAX, true, 0x1AF},
      {"hex group at its limit", true, "ffff", kAnyDigitCount, 0xFFFF, true, 0xFFFF},
      {"hex group over its limit", true, "10000", kAnyDigitCount, 0xFFFF, false, 0},
      {"hex with leading zeros", true, "0000ffff", kAnyDigitCount, 0xFFFF, true, 0xFFFF},
      {"hex int64 max", true, "7fffffffffffffff", kAnyDigitCount, kInt64Max, true, kInt64Max},
      {"hex past int64 max", true, "8000000000000000", kAnyDigitCount, kInt64Max, false, 0},
      {"hex past 64 bits", true, "10000000000000000", kAnyDigitCount, UINT64_MAX, false, 0},
      {"not a hex digit", true, "12g", kAnyDigitCount, UINT64_MAX, false, 0},
      {"hex prefix refused", true, "0x1", kAnyDigitCount, UINT64_MAX, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint64_t value = 7;
    const bool ok = c.hex ? ParseHex(c.text, value, c.maxDigits, c.maxValue)
                          : ParseDecimal(c.text, value, c.maxDigits, c.maxValue);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(value, c.ok ? c.value : 7u);
  }
  EXPECT_EQ(DecimalOrZero("65535"), 65535);
  EXPECT_EQ(DecimalOrZero("999999999"), 999999999);
  EXPECT_EQ(DecimalOrZero("1000000000"), 0);
  EXPECT_EQ(DecimalOrZero("12x"), 0);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('g'), -1);
}

TEST(TextUtil, StreamBytes) {
  rtl::TMemoryStream m;
  WriteBytesToStream(m, "hello");
  m.SetPosition(1);
  EXPECT_EQ(ReadBytesFromStream(m, 10), "ello");
  EXPECT_EQ(ReadBytesFromStream(m, 10), "");
}

TEST(TextUtil, TickSpanSurvivesOneWrap) {
  const std::tuple<uint32_t, uint32_t, uint32_t> cases[] = {
      {5, 5, 0}, {100, 250, 150}, {0xFFFFFFF0u, 0x10, 0x20}, {0x7FFFFFFFu, 0x80000001u, 2}, {0, 0xFFFFFFFFu, 0xFFFFFFFFu},
  };
  for (const auto& [a, b, want] : cases) EXPECT_EQ(TickSpan(a, b), want) << a << " " << b;
  const uint32_t t0 = TickNow();
  EXPECT_LT(TickSpan(t0, TickNow()), 1000u);
}

}  // namespace
}  // namespace qelvo::net
