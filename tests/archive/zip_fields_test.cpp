// Record-level rules: DOS stamps, attributes, flag-derived properties, the extra-field
// walk and the name decoding rules, each driven by crafted headers.
#include <gtest/gtest.h>

#include "archive/crc32.h"
#include "archive/dos_time.h"
#include "archive/errors.h"
#include "archive/extra_field.h"
#include "archive/zip_names.h"
#include "archive/zip_records.h"
#include "platform/file_system.h"
#include "rtl/exceptions.h"
#include "test_support.h"

namespace qelvo::archive {
namespace {

using testing::CentralHeader;
using testing::AppendLe16;
using testing::AppendLe32;
using testing::AppendLe64;
using testing::StreamOf;
using testing::SubField;
using testing::TZipEntry;

TEST(DosStamp, RoundTripsAndRefusesInvalidParts) {
  const rtl::TDateTime t = DosStampToDateTime(0x5A21, 0x6000);
  int y, mo, d, h, mi, s, ms;
  rtl::DecodeDate(t, y, mo, d);
  rtl::DecodeTime(t, h, mi, s, ms);
  EXPECT_EQ((std::array{y, mo, d, h, mi, s}), (std::array{2025, 1, 1, 12, 0, 0}));
  const struct {
    uint16_t date, time;
  } valid[] = {{0x5A21, 0x6000}, {0x0021, 0x0000}, {0xFF9F, 0xBF7D}, {0x285D, 0x8B1D}};  // 2107-12-31, 2000-02-29
  for (const auto& v : valid) {
    const TArcDosStamp back = DateTimeToDosStamp(DosStampToDateTime(v.date, v.time));
    EXPECT_EQ(back.Date, v.date);
    EXPECT_EQ(back.Time, v.time);
  }
  const struct {
    uint16_t date, time;
    const char* error;
  } invalid[] = {
      {0x0000, 0x0000, rtl::kInvalidDateEncode},  // day and month 0
      {0x0020, 0x0000, rtl::kInvalidDateEncode},  // day 0
      {0x0001, 0x0000, rtl::kInvalidDateEncode},  // month 0
      {0x01BF, 0x0000, rtl::kInvalidDateEncode},  // month 13
      {0x005E, 0x0000, rtl::kInvalidDateEncode},  // 30 February 1980
      {0x5A21, 0xC000, rtl::kInvalidTimeEncode},  // hour 24
      {0x5A21, 0x0780, rtl::kInvalidTimeEncode},  // minute 60
      {0x5A21, 0x001E, rtl::kInvalidTimeEncode},  // seconds field 30
  };
  for (const auto& v : invalid) {
    try {
      DosStampToDateTime(v.date, v.time);
      ADD_FAILURE() << std::hex << v.date << " " << v.time;
    } catch (const rtl::EConvertError& e) {
      EXPECT_STREQ(e.what(), v.error);
    }
  }
  const TArcDosStamp early = DateTimeToDosStamp(rtl::EncodeDate(1979, 12, 31));
  const TArcDosStamp late = DateTimeToDosStamp(rtl::EncodeDate(2108, 1, 1));
  EXPECT_EQ(early.Date | early.Time | late.Date | late.Time, 0);
}

TEST(ZipAttributes, NativeAttributesByHostAndMode) {
  const struct {
    uint8_t host;
    uint32_t external, native;
  } cases[] = {
      {0, 0x00000021, 0x21},      // DOS: low byte as it is
      {0, 0x00000010, 0x10},
      {11, 0x00010023, 0x23},     // not Unix, value small: low byte
      {3, 0x41ED0010, 0x10},      // Unix folder 0755
      {3, 0x81A40000, 0x00},      // regular file 0644
      {3, 0x81240000, 0x01},      // regular file 0444: read-only
      {3, 0xA1FF0000, 0x04},      // symbolic link
      {3, 0x11800000, 0x04},      // FIFO, writable
      {3, 0x21800000, 0x04},      // character device
      {3, 0x61800000, 0x04},      // block device
      {3, 0xC1800000, 0x04},      // socket
      {3, 0x41000000, 0x11},      // folder without owner write
      {3, 0x00000020, 0x01},      // mode 0: nothing but read-only
      {0, 0x81A40020, 0x00},      // DOS host but a Unix mode above $1FFFF
  };
  for (const auto& c : cases)
    EXPECT_EQ(ZipNativeFileAttributes(c.host, c.external), c.native) << int(c.host) << " " << std::hex << c.external;
}

TEST(ZipHeader, FlagAndMethodDerivedProperties) {
  TArcZipDirectoryFileHeader h;
  for (uint16_t field : {0x0008, 0x0088, 0x0108}) {
    h.FCompressionMethod = field;
    EXPECT_EQ(h.CompressionMethod(), 8) << field;
  }
  const struct {
    uint16_t method, flags;
    TArcZipDeflationOption deflation;
    TArcZipDictionarySize dictionary;
    int trees;
    bool descriptor;
  } cases[] = {
      {8, 0x0000, doNormal, dsInvalid, 0, false}, {8, 0x0002, doMaximum, dsInvalid, 0, false},
      {8, 0x0004, doFast, dsInvalid, 0, false},   {8, 0x0006, doSuperFast, dsInvalid, 0, false},
      {8, 0x0008, doNormal, dsInvalid, 0, true},  {6, 0x0000, doInvalid, ds4K, 2, false},
      {6, 0x0002, doInvalid, ds8K, 2, false},     {6, 0x0004, doInvalid, ds4K, 3, false},
      {0, 0x0008, doInvalid, dsInvalid, 0, false},
  };
  for (const auto& c : cases) {
    h.FCompressionMethod = c.method;
    h.FGeneralPurposeBitFlag = c.flags;
    EXPECT_EQ(h.DeflationOption(), c.deflation);
    EXPECT_EQ(h.DictionarySize(), c.dictionary);
    EXPECT_EQ(h.ShannonFanoTreeCount(), c.trees);
    EXPECT_EQ(h.HasDataDescriptor(), c.descriptor);
  }
  h.FGeneralPurposeBitFlag = kZipFlagEncrypted | kZipFlagUTF8;
  EXPECT_TRUE(h.IsEncrypted());
  EXPECT_TRUE(h.IsUTF8());
  h.FUncompressedSize = 200;
  h.FCompressedSize = 62;
  EXPECT_DOUBLE_EQ(h.CompressionRatio(), 75.0);  // encrypted: 12 header bytes not counted
  h.FUncompressedSize = 0;
  EXPECT_DOUBLE_EQ(h.CompressionRatio(), 0.0);
}

TEST(ZipHeader, MethodNamesIgnoreTheTopBitAndShowUnknownNumbers) {
  const struct {
    uint8_t method;
    const char* name;
  } cases[] = {{0, "Stored"}, {8, "Deflated"}, {9, "Deflate64"}, {0x88, "Deflated"},
               {99, "AES"},   {13, "Unk:013"}, {0x8D, "Unk:141"}};
  for (const auto& c : cases) EXPECT_EQ(ZipMethodName(c.method), c.name) << int{c.method};
}

TEST(ZipHeader, CentralHeaderReadsFieldsAndFailsOnSignatureOrTruncatedExtra) {
  TZipEntry e;
  e.Name = "dir/a.txt";
  e.Data = "hello";
  e.CentralExtra = SubField(0x5455, "12345");
  e.Comment = "note";
  const std::string record = CentralHeader(e, 1234);
  {
    auto s = StreamOf(record);
    TArcZipDirectoryFileHeader h;
    h.LoadFromStream(*s);
    EXPECT_EQ(h.FFileName, "dir/a.txt");
    EXPECT_EQ(h.FFileComment, "note");
    EXPECT_EQ(h.FRelativeOffset, 1234u);
    EXPECT_EQ(h.FCRC32, Crc32OfBytes("hello"));
    EXPECT_EQ(h.FExtraField.Count(), 1);
    EXPECT_EQ(h.HostSystem(), 3);
    EXPECT_EQ(s->Position(), static_cast<int64_t>(record.size()));
  }
  {
    std::string bad = record;
    bad[3] = 9;
    auto s = StreamOf(bad);
    TArcZipDirectoryFileHeader h;
    EXPECT_THROW(h.LoadFromStream(*s), EArcZipInvalid);
  }
  {
    // Cut inside the extra field: the exact read fails.
    auto s = StreamOf(record.substr(0, 46 + 9 + 3));
    TArcZipDirectoryFileHeader h;
    EXPECT_THROW(h.LoadFromStream(*s), rtl::EReadError);
  }
  for (size_t cut : {0u, 3u}) {
    // A header cut inside its signature fails on the signature.
    auto s = StreamOf(record.substr(0, cut));
    TArcZipDirectoryFileHeader h;
    EXPECT_THROW(h.LoadFromStream(*s), EArcZipInvalid) << cut;
  }
  {
    // Cut after its signature, the fields the stream could not fill stay as they were.
    auto s = StreamOf(record.substr(0, 20));
    TArcZipDirectoryFileHeader h;
    h.FCompressedSize = 77;
    h.LoadFromStream(*s);
    EXPECT_EQ(h.FCompressedSize, 77u);
    EXPECT_EQ(h.FCRC32, Crc32OfBytes("hello"));
    EXPECT_EQ(h.FFileName, "");
  }
}

TEST(ZipFooter, EndRecordAndZip64Resolution) {
  std::string eocd;
  AppendLe32(eocd, kZipEndOfCentralDirSignature);
  AppendLe16(eocd, 0xFFFF);
  AppendLe16(eocd, 0xFFFF);
  AppendLe16(eocd, 0xFFFF);
  AppendLe16(eocd, 0xFFFF);
  AppendLe32(eocd, 0xFFFFFFFF);
  AppendLe32(eocd, 0xFFFFFFFF);
  AppendLe16(eocd, 3);
  eocd += "abc";
  TArcZipDirectoryFileFooter f;
  auto s = StreamOf(eocd);
  f.LoadFromStream(*s);
  EXPECT_TRUE(f.IsZip64());
  EXPECT_EQ(f.FZipfileComment, "abc");
  std::string z64;
  AppendLe32(z64, kZip64EndOfCentralDirSignature);
  AppendLe64(z64, 44);
  AppendLe16(z64, 45);
  AppendLe16(z64, 45);
  AppendLe32(z64, 0);
  AppendLe32(z64, 0);
  AppendLe64(z64, 70000);
  AppendLe64(z64, 70000);
  AppendLe64(z64, 5000000000ull);
  AppendLe64(z64, 6000000000ull);
  auto s2 = StreamOf(z64);
  f.LoadZip64FromStream(*s2);
  EXPECT_EQ(f.FDiskNumber, 0u);
  EXPECT_EQ(f.FTotalEntries, 70000u);
  EXPECT_EQ(f.FDirectorySize, 5000000000ull);
  EXPECT_EQ(f.FDirectoryOffset, 6000000000ull);
  // A truncated comment is a read error.
  auto s3 = StreamOf(eocd.substr(0, eocd.size() - 1));
  TArcZipDirectoryFileFooter g;
  EXPECT_THROW(g.LoadFromStream(*s3), rtl::EReadError);
  // Only the escaped values are taken from the zip64 record.
  TArcZipDirectoryFileFooter plain;
  plain.FTotalEntries = 5;
  auto s4 = StreamOf(z64);
  plain.LoadZip64FromStream(*s4);
  EXPECT_EQ(plain.FTotalEntries, 5u);
  auto s5 = StreamOf("PK\x06\x07" + z64.substr(4));
  EXPECT_THROW(plain.LoadZip64FromStream(*s5), EArcZipInvalid);
}

TEST(ExtraField, WalkClampsLiesAndEditsInPlace) {
  TArcExtraField x;
  // Second sub-field claims 100 bytes where 3 remain.
  std::string raw = SubField(0x1111, "ab");
  AppendLe16(raw, 0x2222);
  AppendLe16(raw, 100);
  raw += "xyz";
  x.SetBuffer(std::vector<uint8_t>(raw.begin(), raw.end()));
  std::string_view d;
  ASSERT_TRUE(x.Get(0x2222, d));
  EXPECT_EQ(d, "xyz");
  EXPECT_EQ(x.Buffer()[8], 3);  // the size word was rewritten
  EXPECT_EQ(x.Count(), 2);
  EXPECT_EQ(x.GetID(1), 0x2222);
  EXPECT_THROW(x.GetID(2), rtl::EListError);
  EXPECT_FALSE(x.Has(0x3333));
  // A trailing fragment shorter than a head is no sub-field.
  raw += "\x01\x02\x03";
  x.SetBuffer(std::vector<uint8_t>(raw.begin(), raw.end()));
  EXPECT_EQ(x.Count(), 2);

  TArcExtraField y;
  y.Put(0x0001, "12345678", 8);
  y.Put(0x7075, "u", 1);
  y.Put(0x0001, "ABCDEFGH", 8);  // same size: in place, order kept
  EXPECT_EQ(y.GetID(0), 0x0001);
  y.Put(0x0001, "XY", 2);  // other size: moved to the end
  EXPECT_EQ(y.GetID(0), 0x7075);
  EXPECT_EQ(y.GetID(1), 0x0001);
  std::unique_ptr<rtl::TMemoryStream> copy;
  ASSERT_TRUE(y.GetStream(0x0001, copy));
  EXPECT_EQ(copy->DataString(), "XY");
  EXPECT_EQ(copy->Position(), 0);
  y.Delete(0x7075);
  EXPECT_EQ(y.Count(), 1);
  TArcExtraField z;
  z.CloneFrom(y, 0x0001);
  EXPECT_TRUE(z.Has(0x0001));
  z.CloneFrom(y, 0x7075);  // absent in the source: removed here
  z.Put(0x7075, "q", 1);
  z.CloneFrom(y, 0x7075);
  EXPECT_FALSE(z.Has(0x7075));
  z.Assign(x);
  EXPECT_EQ(z.Buffer(), x.Buffer());
  z.Clear();
  EXPECT_EQ(z.Count(), 0);
}

TEST(NameCharset, DetectNameCharset) {
  const struct {
    const char* raw;
    TArcCharset charset;
  } cases[] = {
      {"plain.txt", csASCII},
      {"", csASCII},
      {"caf\xC3\xA9.txt", csUTF8},
      {"\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.txt", csUTF8},
      {"\xF0\x9F\x98\x80", csUTF8},
      {"caf\xE9.txt", csANSI},          // lone Latin-1 byte
      {"\xC3", csANSI},                 // sequence cut at the end
      {"\xC0\xAF", csANSI},             // overlong lead
      {"\xF5\x80\x80\x80", csANSI},
      {"\x82\xAB", csANSI},             // continuation byte first
      {"\xE2\xA5\xE1\xE2.txt", csANSI},  // OEM bytes that look like a lead
  };
  for (const auto& c : cases) EXPECT_EQ(DetectNameCharset(c.raw), c.charset) << c.raw;
}

TEST(NameCharset, LooksLikeOemText) {
  const struct {
    const char* raw;
    int codePage;
    bool oem;
  } cases[] = {
      {"plain", 850, false},       // no high byte
      {"\x82", 850, true},         // in B, not in A
      {"\xE9", 850, false},        // 0xE9 is ANSI-plausible, not in B
      {"\xB5", 850, true},
      {"\x82\xC0", 850, false},    // 0xC0 is outside B
      {"\xE9\xE1", 850, false},    // in B and in A: no byte marks it OEM
      {"\x82", 437, true},
      {"\xE2", 437, false},
      {"\x82", 1252, false},       // no table for the page
      {"\x82", 866, true},
      {"\x80\x81", 866, false},
  };
  for (const auto& c : cases) EXPECT_EQ(LooksLikeOemText(c.raw, c.codePage), c.oem) << c.raw << " " << c.codePage;
}

// One central header per rule, decoded with the system's pages (ANSI 1252, OEM 850)
// unless the case says otherwise.
TEST(NameDecoding, RulesInOrder) {
  const std::string cyrillicUtf8 = "\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.txt";
  auto unicodePath = [](const std::string& raw, const std::string& utf8, uint8_t version = 1,
                        uint32_t crcDelta = 0) {
    std::string d(1, static_cast<char>(version));
    AppendLe32(d, Crc32OfBytes(raw) + crcDelta);
    return SubField(0x7075, d + utf8);
  };
  auto nucx = [](const std::u16string& name, int sizeDelta = 0) {
    std::string d = "NUCX";
    AppendLe32(d, static_cast<uint32_t>(name.size() + sizeDelta));
    for (char16_t c : name) AppendLe16(d, c);
    return SubField(0x554E, d);
  };
  const struct {
    const char* what;
    std::string raw;
    uint16_t flags;
    uint16_t madeBy;
    std::string extra;
    TArcCodePages pages;
    std::string expected;
  } cases[] = {
      {"flag 11", "caf\xC3\xA9", kZipFlagUTF8, 0x0014, "", {}, "caf\xC3\xA9"},
      {"flag 11, malformed", "a\xFF", kZipFlagUTF8, 0x0014, "", {}, "a\xEF\xBF\xBD"},
      {"valid UTF-8 without flag", cyrillicUtf8, 0, 0x0014, "", {}, cyrillicUtf8},
      {"unicode path extra", "\x82\xAB.frq", 0, 0x0014, unicodePath("\x82\xAB.frq", "\xEA\xB6\x96.frq"), {},
       "\xEA\xB6\x96.frq"},
      {"unicode path with wrong CRC", "\x82.txt", 0, 0x0014, unicodePath("\x82.txt", "x.txt", 1, 1), {},
       "\xC3\xA9.txt"},
      {"unicode path version 2", "\x82.txt", 0, 0x0014, unicodePath("\x82.txt", "x.txt", 2), {}, "\xC3\xA9.txt"},
      {"unicode path too short", "\x82", 0, 0x0014, unicodePath("\x82", "x"), {}, "\xC3\xA9"},
      {"NUCX name", "\x82.txt", 0, 0x0B14, nucx(u"\u0436.txt"), {}, "\xD0\xB6.txt"},
      {"NUCX with wrong count", "\x82.txt", 0, 0x0014, nucx(u"\u0436.txt", 1), {}, "\xC3\xA9.txt"},
      {"same ANSI and OEM page", "\x82.txt", 0, 0x0014, "", {1252, 1252}, "\xE2\x80\x9A.txt"},
      {"DOS host: OEM", "\xE2\xA5\xE1\xE2.txt", 0, 0x0014, "", {}, "\xC3\x94\xC3\x91\xC3\x9F\xC3\x94.txt"},
      {"other host, OEM-looking", "\x82.txt", 0, 0x0B14, "", {}, "\xC3\xA9.txt"},
      {"other host, ANSI-looking", "caf\xE9.txt", 0, 0x0B14, "", {}, "caf\xC3\xA9.txt"},
      {"Unix host, all high bytes OEM", "\x82\xE9", 0, 0x0314, "", {}, "\xC3\xA9\xC3\x9A"},
      {"Unix host, one byte not OEM", "\x82\xC0", 0, 0x0314, "", {}, "\xE2\x80\x9A\xC3\x80"},
  };
  for (const auto& c : cases) {
    TZipEntry e;
    e.Name = c.raw;
    e.Flags = c.flags;
    e.VersionMadeBy = c.madeBy;
    e.CentralExtra = c.extra;
    auto s = StreamOf(CentralHeader(e, 0));
    TArcZipDirectoryFileHeader h;
    h.LoadFromStream(*s);
    EXPECT_EQ(DecodeZipName(h, c.pages), c.expected) << c.what;
  }
  EXPECT_EQ(DecodeRawName("\x82.txt"), "\xC3\xA9.txt");
  EXPECT_EQ(DecodeRawName("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(DecodeRawName(cyrillicUtf8), cyrillicUtf8);
  EXPECT_EQ(DecodeRawName("plain"), "plain");
}

}  // namespace
}  // namespace qelvo::archive
