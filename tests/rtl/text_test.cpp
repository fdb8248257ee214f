#include <gtest/gtest.h>

#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace qelvo::rtl {
namespace {

TEST(Utf, RoundTripsAndCountsUtf16Units) {
  const std::string s = "a\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80";  // a ç € 😀
  const std::u16string w = Utf8ToUtf16(s);
  ASSERT_EQ(w.size(), 5u);  // the emoji is a surrogate pair
  EXPECT_EQ(w[1], u'\u00E7');
  EXPECT_EQ(w[3], 0xD83D);
  EXPECT_EQ(Utf16ToUtf8(w), s);
}

TEST(Utf, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xC3", u"\uFFFD"},                // truncated
      {"\xC0\x80", u"\uFFFD\uFFFD"},      // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"a\xFF" "b", u"a\uFFFDb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.in), c.out);
    EXPECT_FALSE(IsValidUtf8(c.in));
  }
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(0xDC00))), "\xEF\xBF\xBD");
  EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD ok"));
}

TEST(CaseMapping, AsciiOnly) {
  EXPECT_EQ(UpperCaseAscii("a\xC3\xA7\xC3\xA3o-z"), "A\xC3\xA7\xC3\xA3O-Z");
  EXPECT_TRUE(SameTextAscii("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(SameTextAscii("a", "ab"));
}

}  // namespace
}  // namespace qelvo::rtl
