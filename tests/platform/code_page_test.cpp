// Code pages and case mapping from the system's tables: the same answers on every system.
#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "rtl/exceptions.h"

namespace qelvo::platform {
namespace {

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
  EXPECT_THROW(CodePageToUtf8("\x80", 99999), rtl::EConvertError);
}

TEST(CaseMapping, Unicode) {
  const std::string s = "a\xC3\xA7\xC3\xA3o-z";  // "ação-z"
  EXPECT_EQ(UpperCaseUnicode(s), "A\xC3\x87\xC3\x83O-Z");
  EXPECT_EQ(LowerCaseUnicode("\xC3\x87\xC3\x83O"), "\xC3\xA7\xC3\xA3o");
  EXPECT_EQ(UpperCaseChar(u'\u00E9'), u'\u00C9');
}

}  // namespace
}  // namespace qelvo::platform
