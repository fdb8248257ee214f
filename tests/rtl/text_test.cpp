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

TEST(CodePages, HighBytesOfAnsiAndOem) {
  struct Case {
    int page;
    uint8_t byte;
    const char* utf8;
  } cases[] = {
      {1252, 0x80, "\xE2\x82\xAC"},  // €
      {1252, 0xE7, "\xC3\xA7"},      // ç
      {1252, 0xC3, "\xC3\x83"},      // Ã
      {1252, 0x9C, "\xC5\x93"},      // œ
      {1252, 0x81, "\xEF\xBF\xBD"},  // undefined
      {850, 0x87, "\xC3\xA7"},       // ç
      {850, 0xC6, "\xC3\xA3"},       // ã
      {850, 0x82, "\xC3\xA9"},       // é
      {850, 0xB5, "\xC3\x81"},       // Á
      {850, 0xC4, "\xE2\x94\x80"},   // box drawing ─
  };
  for (const auto& c : cases) {
    const std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(CodePageToUtf8(byte, c.page), c.utf8) << c.page << " " << int(c.byte);
    if (std::string(c.utf8) != "\xEF\xBF\xBD") {
      EXPECT_EQ(Utf8ToCodePage(c.utf8, c.page), byte);
    }
  }
  EXPECT_EQ(OemToUtf8("Ol\x87" "a"), "Ol\xC3\xA7" "a");
  EXPECT_EQ(Utf8ToOem("\xE2\x82\xAC"), "?");  // € has no OEM 850 byte
  EXPECT_THROW(CodePageToUtf8("\x80", 99999), EConvertError);
}

TEST(CaseMapping, AsciiOnlyVersusUnicode) {
  const std::string s = "a\xC3\xA7\xC3\xA3o-z";  // "ação-z"
  EXPECT_EQ(UpperCaseAscii(s), "A\xC3\xA7\xC3\xA3O-Z");
  EXPECT_EQ(UpperCaseUnicode(s), "A\xC3\x87\xC3\x83O-Z");
  EXPECT_EQ(LowerCaseUnicode("\xC3\x87\xC3\x83O"), "\xC3\xA7\xC3\xA3o");
  EXPECT_EQ(UpperCaseChar(u'\u00E9'), u'\u00C9');
  EXPECT_TRUE(SameTextAscii("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(SameTextAscii("a", "ab"));
}

}  // namespace
}  // namespace qelvo::rtl
