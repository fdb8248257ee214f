#include "archive/zip_names.h"

#include <array>

#include "archive/crc32.h"
#include "archive/extra_field.h"
#include "archive/zip_records.h"
#include "platform/code_page.h"
#include "rtl/byte_order.h"

namespace qelvo::archive {

namespace {

// Byte values 0x80..0xFF as 16 bytes: byte k holds 0x80 + 8k .. 0x80 + 8k + 7, bit 0 the
// lowest. Set A: plausible as ANSI text; set B: plausible as OEM text of the code page.
struct TOemSets {
  int CodePage;
  std::array<uint8_t, 16> A;
  std::array<uint8_t, 16> B;
};

constexpr std::array<uint8_t, 16> Hex(const char (&s)[33]) {
  std::array<uint8_t, 16> r{};
  auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  for (int k = 0; k < 16; ++k) r[k] = static_cast<uint8_t>(nibble(s[2 * k]) << 4 | nibble(s[2 * k + 1]));
  return r;
}

constexpr TOemSets kOemSets[] = {
    {437, Hex("005400D400002000FFFF7FFFFFFF7FFF"), Hex("FFFFFF073F00000000000000FF6F0000")},
    {720, Hex("02F4019500042000FFFF7FFFFFFF109A"), Hex("AC1FE8EFFF3F000000000000FFFF0000")},
    {737, Hex("00000000040020D7FFFFFBFFFFFFFF7F"), Hex("FFFFFFFFFFFF000000000000FFFF3100")},
    {775, Hex("0000000000850085FFFF7FFFFFFF7F7F"), Hex("FFFFBF2F3F20E061C080FF01FF7F0000")},
    {850, Hex("005400D400000000FFFF7FFFFFFF7FFF"), Hex("FFFFFF2F3F00E000C000FF41FF3F0000")},
    {852, Hex("00F400F4288408D6FFFF7FFFFFFF7F7F"), Hex("FFFFFFBFFF3BE061C000FF61FF7F0038")},
    {855, Hex("0BF401F42E851CF5FFFFFFFFFFFFFFFF"), Hex("FFFFFFFFFF3FE061C000FF61FF7FFE1F")},
    {857, Hex("0014009400000000FFFF7FFFFFFF7FFF"), Hex("FFFFFFEFFF00E000C000DC417F3E0000")},
    {862, Hex("000000000000200000007000FFFFFF07"), Hex("FFFFFF073F00000000000000FF6F0000")},
    {866, Hex("0BF401F42E853CF5FFFFFFFFFFFFFFFF"), Hex("FFFFFFFFFFFF000000000000FFFFFF00")},
};

bool InSet(const std::array<uint8_t, 16>& set, uint8_t b) {
  const int v = b - 0x80;
  return (set[v >> 3] >> (v & 7)) & 1;
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// Malformed sequences become U+FFFD.
std::string DecodeUtf8(std::string_view s) {
  if (rtl::IsValidUtf8(s)) return std::string(s);
  return rtl::Utf16ToUtf8(rtl::Utf8ToUtf16(s));
}

std::string FromCodePage(std::string_view raw, int codePage) {
  if (IsAscii(raw)) return std::string(raw);
  return platform::CodePageToUtf8(raw, codePage);
}

// The UTF-8 name of a $7075 sub-field: version 1 and the CRC-32 of the raw name.
bool UnicodePathName(TArcExtraField& extra, std::string_view raw, std::string& name) {
  std::string_view d;
  if (!extra.Get(kUnicodePathExtraFieldID, d) || d.size() <= 6) return false;
  const auto* p = reinterpret_cast<const uint8_t*>(d.data());
  if (p[0] != 1 || rtl::GetLe32(p + 1) != Crc32OfBytes(raw)) return false;
  name = DecodeUtf8(d.substr(5));
  return true;
}

// The UTF-16 name of a "NUCX" $554E sub-field.
bool NucxName(TArcExtraField& extra, std::string& name) {
  std::string_view d;
  if (!extra.Get(kNucxNameExtraFieldID, d) || d.size() <= 10 || d.substr(0, 4) != "NUCX") return false;
  const auto* p = reinterpret_cast<const uint8_t*>(d.data());
  const uint64_t units = rtl::GetLe32(p + 4);
  if (d.size() != 8 + 2 * units) return false;
  std::u16string u(static_cast<size_t>(units), u'\0');
  for (size_t i = 0; i < u.size(); ++i) u[i] = static_cast<char16_t>(rtl::GetLe16(p + 8 + 2 * i));
  name = rtl::Utf16ToUtf8(u);
  return true;
}

}  // namespace

TArcCharset DetectNameCharset(std::string_view raw) {
  TArcCharset answer = csASCII;
  int pending = 0;
  for (unsigned char b : raw) {
    if (b >= 0x80) answer = csANSI;
    if (pending > 0) {
      if (b < 0x80 || b > 0xBF) return answer;
      --pending;
    } else if ((b >= 0x80 && b <= 0xC1) || b >= 0xF5) {
      return answer;
    } else if (b >= 0xC2 && b <= 0xDF) {
      pending = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      pending = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      pending = 3;
    }
  }
  if (pending == 0 && answer == csANSI) return csUTF8;
  return answer;
}

bool LooksLikeOemText(std::string_view raw, int oemCodePage) {
  const TOemSets* sets = nullptr;
  for (const TOemSets& s : kOemSets)
    if (s.CodePage == oemCodePage) sets = &s;
  if (sets == nullptr) return false;
  bool outsideAnsi = false;
  for (unsigned char b : raw) {
    if (b < 0x80) continue;
    if (!InSet(sets->B, b)) return false;
    if (!InSet(sets->A, b)) outsideAnsi = true;
  }
  return outsideAnsi;
}

bool LooksLikeOemText(std::string_view raw) { return LooksLikeOemText(raw, rtl::kOemCodePage); }

std::string DecodeZipName(TArcZipDirectoryFileHeader& header, const TArcCodePages& pages) {
  const std::string_view raw = header.FFileName;
  std::string name;
  if (header.IsUTF8() || DetectNameCharset(raw) == csUTF8) return DecodeUtf8(raw);
  if (UnicodePathName(header.FExtraField, raw, name)) return name;
  if (NucxName(header.FExtraField, name)) return name;
  if (pages.Ansi == pages.Oem) return FromCodePage(raw, pages.Ansi);
  if (header.HostSystem() == kZipHostDos) return FromCodePage(raw, pages.Oem);
  return FromCodePage(raw, LooksLikeOemText(raw, pages.Oem) ? pages.Oem : pages.Ansi);
}

std::string DecodeRawName(std::string_view raw, const TArcCodePages& pages) {
  switch (DetectNameCharset(raw)) {
    case csASCII: return FromCodePage(raw, pages.Ansi);
    case csANSI: return FromCodePage(raw, LooksLikeOemText(raw, pages.Oem) ? pages.Oem : pages.Ansi);
    case csUTF8: return DecodeUtf8(raw);
  }
  return std::string(raw);
}

}  // namespace qelvo::archive
