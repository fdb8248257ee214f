// Every ZIP of the corpus (archives written by other tools, tests/data/corpus) opens and
// lists its items with the names, sizes, CRCs, methods and DOS stamps of its listing, or
// fails the way its notes say.
#include <gtest/gtest.h>

#include "archive/crc32.h"
#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/path_map.h"
#include "rtl/exceptions.h"
#include "split_sets.h"
#include "test_support.h"

namespace qelvo::archive {
namespace {

using qelvo::test::CorpusFolder;

struct TListedItem {
  const char* name;
  int64_t size, packed;
  uint32_t crc;
  int method;
  uint16_t date, time;
  bool folder;
};

struct TListing {
  const char* file;
  size_t commentLength;
  std::vector<TListedItem> items;
};

// Names as this system decodes them: OEM names in code page 850 ("ÔÑßÔ.txt" for the
// Cyrillic name written by a DOS-host tool), Unicode path fields where their CRC holds.
const TListing kListings[] = {
    {"PrePostHeaders.zip", 0, {
        {"icredible_mockAPI_version/", 0, 0, 0x00000000, 0, 0x4971, 0x546A, true},
        {"icredible_mockAPI_version/.DS_Store", 10244, 1809, 0x3B164DE7, 8, 0x4971, 0x5989, false},
        {"icredible_mockAPI_version/EmptyClass.h", 26, 26, 0x6D9729EB, 0, 0x4ACB, 0xBC52, false},
        {"icredible_mockAPI_version/EmptyClass.m", 31, 31, 0x45C703C0, 0, 0x4ACB, 0xBC52, false},
    }},
    {"Zip.EntryComment.zip", 0, {
        {"test.txt", 15, 15, 0xD296755A, 0, 0x5AF3, 0x9E4E, false},
    }},
    {"Zip.Evil.zip", 0, {
        {"good.txt", 19, 19, 0xF34F6F0F, 0, 0x4C8F, 0xB08F, false},
        {"..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134..\134Temp\134evil.txt", 20, 20, 0x397B4160, 0, 0x4C8F, 0xB095, false},
    }},
    {"Zip.LongComment.zip", 4097, {
        {"A Text File.txt", 0, 0, 0x00000000, 0, 0x518D, 0xB82D, false},
    }},
    {"Zip.UnicodePathExtra.zip", 0, {
        {"\352\266\226\352\267\233\352\266\226\352\267\231\352\267\252\352\266\226\352\267\227\352\267\252\352\266\226\352\267\231_wav.frq", 10024, 6611, 0xEA1AEEBD, 8, 0x465A, 0x8387, false},
    }},
    {"Zip.badlocalextra.zip", 0, {
        {"first.txt", 199, 25, 0x03F00687, 8, 0x4EAD, 0x50B2, false},
    }},
    {"Zip.bzip2.dd.zip", 0, {
        {"\321\202\320\265\321\201\321\202.txt", 15498, 2824, 0x9BD160FA, 12, 0x3ED7, 0xAC7A, false},
        {"exe/test.exe", 45056, 19769, 0xCFB109C8, 12, 0x2CB3, 0x4575, false},
        {"jpg/test.jpg", 40372, 39559, 0x088814E3, 12, 0x3EE5, 0x8808, false},
    }},
    {"Zip.bzip2.zip", 0, {
        {"Empty/", 0, 0, 0x00000000, 0, 0x3EE5, 0x84FB, true},
        {"exe/", 0, 0, 0x00000000, 0, 0x3EE5, 0x8745, true},
        {"exe/test.exe", 45056, 19773, 0xCFB109C8, 12, 0x2CB3, 0x4576, false},
        {"jpg/", 0, 0, 0x00000000, 0, 0x3EE5, 0x881B, true},
        {"jpg/test.jpg", 40372, 39563, 0x088814E3, 12, 0x3EE5, 0x8809, false},
        {"\303\224\303\221\303\237\303\224.txt", 15498, 2817, 0x9BD160FA, 12, 0x3ED7, 0xAC7B, false},
    }},
    {"Zip.deflate.dd.zip", 0, {
        {"\321\202\320\265\321\201\321\202.txt", 15498, 2741, 0x9BD160FA, 8, 0x3EE5, 0x89F0, false},
        {"exe/test.exe", 45056, 19002, 0xCFB109C8, 8, 0x3EE5, 0x89F0, false},
        {"jpg/test.jpg", 40372, 38922, 0x088814E3, 8, 0x3EE5, 0x89F0, false},
    }},
    {"Zip.deflate.zip", 0, {
        {"Empty/", 0, 0, 0x00000000, 0, 0x3EE5, 0x84FB, true},
        {"exe/", 0, 0, 0x00000000, 0, 0x3EE5, 0x8745, true},
        {"exe/test.exe", 45056, 18628, 0xCFB109C8, 8, 0x2CB3, 0x4576, false},
        {"jpg/", 0, 0, 0x00000000, 0, 0x3EE5, 0x881B, true},
        {"jpg/test.jpg", 40372, 38908, 0x088814E3, 8, 0x3EE5, 0x8809, false},
        {"\303\224\303\221\303\237\303\224.txt", 15498, 2695, 0x9BD160FA, 8, 0x3ED7, 0xAC7B, false},
    }},
    {"Zip.deflate64.zip", 0, {
        {"Empty/", 0, 0, 0x00000000, 0, 0x3EE5, 0x5CFB, true},
        {"exe/", 0, 0, 0x00000000, 0, 0x3EE5, 0x5F45, true},
        {"exe/test.exe", 45056, 18612, 0xCFB109C8, 9, 0x2CB3, 0x1D76, false},
        {"jpg/", 0, 0, 0x00000000, 0, 0x3EE5, 0x601B, true},
        {"jpg/test.jpg", 40372, 38704, 0x088814E3, 9, 0x3EE5, 0x6009, false},
        {"\303\224\303\221\303\237\303\224.txt", 15498, 2645, 0x9BD160FA, 9, 0x3ED7, 0x847B, false},
    }},
    {"Zip.implode.zip", 0, {
        {"EXE/TEST.EXE", 45056, 19828, 0xCFB109C8, 6, 0x5501, 0x9AE2, false},
        {"JPG/TEST.JPG", 40372, 40372, 0x088814E3, 0, 0x5501, 0x9AE2, false},
        {"\316\223\303\221\303\237\316\223.txt", 15498, 2942, 0x9BD160FA, 6, 0x5501, 0x9AE2, false},
    }},
    {"Zip.lzma.dd.zip", 0, {
        {"\321\202\320\265\321\201\321\202.txt", 15498, 2696, 0x9BD160FA, 14, 0x3EE5, 0x8A1B, false},
        {"exe/test.exe", 45056, 17518, 0xCFB109C8, 14, 0x3EE5, 0x8A1B, false},
        {"jpg/test.jpg", 40372, 38863, 0x088814E3, 14, 0x3EE5, 0x8A1B, false},
    }},
    {"Zip.lzma.empty.zip", 0, {
        {"empty_lzma.txt", 0, 19, 0x00000000, 14, 0x0000, 0x0000, false},
    }},
    {"Zip.lzma.zip", 0, {
        {"Empty/", 0, 0, 0x00000000, 0, 0x3EE5, 0x84FB, true},
        {"exe/", 0, 0, 0x00000000, 0, 0x3EE5, 0x8745, true},
        {"exe/test.exe", 45056, 17508, 0xCFB109C8, 14, 0x2CB3, 0x4576, false},
        {"jpg/", 0, 0, 0x00000000, 0, 0x3EE5, 0x881B, true},
        {"jpg/test.jpg", 40372, 38861, 0x088814E3, 14, 0x3EE5, 0x8809, false},
        {"\303\224\303\221\303\237\303\224.txt", 15498, 2687, 0x9BD160FA, 14, 0x3ED7, 0xAC7B, false},
    }},
    {"Zip.none.datadescriptors.zip", 0, {
        {"first.txt", 199, 199, 0x03F00687, 0, 0x4EAD, 0x50B2, false},
        {"second.txt", 197, 197, 0xD55FC7EB, 0, 0x4EAD, 0x50B8, false},
    }},
    {"Zip.none.encrypted.zip", 0, {
        {"first.txt", 199, 227, 0x00000000, 99, 0x4EAD, 0x80B2, false},
        {"second.txt", 197, 225, 0x00000000, 99, 0x4EAD, 0x80B8, false},
    }},
    {"Zip.none.zip", 0, {
        {"Empty/", 0, 0, 0x00000000, 0, 0x3EE5, 0x84FB, true},
        {"exe/", 0, 0, 0x00000000, 0, 0x3EE5, 0x8745, true},
        {"exe/test.exe", 45056, 45056, 0xCFB109C8, 0, 0x2CB3, 0x4576, false},
        {"jpg/", 0, 0, 0x00000000, 0, 0x3EE5, 0x881B, true},
        {"jpg/test.jpg", 40372, 40372, 0x088814E3, 0, 0x3EE5, 0x8809, false},
        {"\303\224\303\221\303\237\303\224.txt", 15498, 15498, 0x9BD160FA, 0, 0x3ED7, 0xAC7B, false},
    }},
    {"Zip.ppmd.dd.zip", 0, {
        {"\321\202\320\265\321\201\321\202.txt", 15498, 2585, 0x9BD160FA, 98, 0x3EE5, 0x8A25, false},
        {"exe/test.exe", 45056, 17641, 0xCFB109C8, 98, 0x3EE5, 0x8A25, false},
        {"jpg/test.jpg", 40372, 39255, 0x088814E3, 98, 0x3EE5, 0x8A26, false},
    }},
    {"Zip.ppmd.zip", 0, {
        {"Empty/", 0, 0, 0x00000000, 0, 0x3EE5, 0x84FB, true},
        {"exe/", 0, 0, 0x00000000, 0, 0x3EE5, 0x8745, true},
        {"exe/test.exe", 45056, 17607, 0xCFB109C8, 98, 0x2CB3, 0x4576, false},
        {"jpg/", 0, 0, 0x00000000, 0, 0x3EE5, 0x881B, true},
        {"jpg/test.jpg", 40372, 39256, 0x088814E3, 98, 0x3EE5, 0x8809, false},
        {"\303\224\303\221\303\237\303\224.txt", 15498, 2485, 0x9BD160FA, 98, 0x3ED7, 0xAC7B, false},
    }},
    {"Zip.reduce1.zip", 0, {
        {"TECT.TXT", 15498, 5391, 0x9BD160FA, 1, 0x5501, 0x9AE2, false},
        {"TEST.EXE", 45056, 22064, 0xCFB109C8, 2, 0x5501, 0x9AE2, false},
        {"TEST.JPG", 40372, 39261, 0x088814E3, 2, 0x5501, 0x9AE2, false},
    }},
    {"Zip.reduce2.zip", 0, {
        {"TECT.TXT", 15498, 5391, 0x9BD160FA, 1, 0x5501, 0x9AE2, false},
        {"TEST.EXE", 45056, 21563, 0xCFB109C8, 3, 0x5501, 0x9AE2, false},
        {"TEST.JPG", 40372, 39253, 0x088814E3, 3, 0x5501, 0x9AE2, false},
    }},
    {"Zip.reduce3.zip", 0, {
        {"TECT.TXT", 15498, 5391, 0x9BD160FA, 1, 0x5501, 0x9AE2, false},
        {"TEST.EXE", 45056, 21423, 0xCFB109C8, 4, 0x5501, 0x9AE2, false},
        {"TEST.JPG", 40372, 39252, 0x088814E3, 4, 0x5501, 0x9AE2, false},
    }},
    {"Zip.reduce4.zip", 0, {
        {"TECT.TXT", 15498, 5391, 0x9BD160FA, 1, 0x5501, 0x9AE2, false},
        {"TEST.EXE", 45056, 21271, 0xCFB109C8, 5, 0x5501, 0x9AE2, false},
        {"TEST.JPG", 40372, 39201, 0x088814E3, 5, 0x5501, 0x9AE2, false},
    }},
    {"Zip.shrink.zip", 0, {
        {"TECT.TXT", 15498, 5391, 0x9BD160FA, 1, 0x5501, 0xA2E2, false},
        {"TEST.EXE", 45056, 25138, 0xCFB109C8, 1, 0x5501, 0xA2E2, false},
        {"TEST.JPG", 40372, 40372, 0x088814E3, 0, 0x5501, 0xA2E2, false},
    }},
    {"Zip.zip64.zip", 162, {
        {"\321\202\320\265\321\201\321\202.txt", 15498, 2741, 0x9BD160FA, 8, 0x4A33, 0x851B, false},
        {"exe/test.exe", 45056, 19002, 0xCFB109C8, 8, 0x4A33, 0x851B, false},
        {"jpg/test.jpg", 40372, 38922, 0x088814E3, 8, 0x4A33, 0x851B, false},
    }},
    {"zipcrypto.zip", 0, {
        {"brown.txt", 6, 18, 0x5EBC8AEA, 0, 0x5299, 0x7599, false},
        {"dog.txt", 4, 16, 0x1CE2272B, 0, 0x5299, 0x75B3, false},
        {"fox.txt", 4, 16, 0x7BB1E13E, 0, 0x5299, 0x75A0, false},
        {"jumps.txt", 6, 18, 0x50E56685, 0, 0x5299, 0x75A4, false},
        {"lazy.txt", 5, 17, 0x5E343B10, 0, 0x5299, 0x75B1, false},
        {"over.txt", 0, 12, 0x00000000, 0, 0x5299, 0x75A9, false},
        {"quick.txt", 6, 18, 0x2AED86FA, 0, 0x5299, 0x7593, false},
        {"the.txt", 3, 15, 0x3C456DE6, 0, 0x5299, 0x7579, false},
    }},
};

std::string CorpusFile(const std::string& name) { return platform::FromNativePath(CorpusFolder() + "/" + name); }

std::unique_ptr<TArcZipArchive> OpenCorpus(const std::string& name) {
  return std::make_unique<TArcZipArchive>(CorpusFile(name), platform::fmOpenRead | platform::fmShareDenyNone);
}

class Corpus : public ::testing::Test {};

TEST_F(Corpus, EveryArchiveListsAsItsListingSays) {
  for (const TListing& listing : kListings) {
    SCOPED_TRACE(listing.file);
    auto a = OpenCorpus(listing.file);
    a->Load();
    {
      platform::TFileStream f(CorpusFile(listing.file), platform::fmOpenRead | platform::fmShareDenyNone);
      EXPECT_EQ(ProbeZip(f), atZip);
    }
    EXPECT_EQ(a->ZipfileComment().size(), listing.commentLength);
    ASSERT_EQ(a->Count(), static_cast<int>(listing.items.size()));
    for (int i = 0; i < a->Count(); ++i) {
      const TListedItem& want = listing.items[i];
      TArcZipItem* item = a->Items(i);
      SCOPED_TRACE(want.name);
      EXPECT_EQ(item->FileName(), want.name);
      EXPECT_EQ(item->UncompressedSize(), want.size);
      EXPECT_EQ(item->CompressedSize(), want.packed);
      EXPECT_EQ(item->CRC32(), want.crc);
      EXPECT_EQ(item->CompressionMethod(), want.method);
      EXPECT_EQ(item->LastModFileDate(), want.date);
      EXPECT_EQ(item->LastModFileTime(), want.time);
      EXPECT_EQ(item->IsDirectory(), want.folder);
    }
  }
}

TEST_F(Corpus, NotesOnParticularFiles) {
  {
    auto a = OpenCorpus("zipcrypto.zip");
    a->Load();
    for (int i = 0; i < a->Count(); ++i) EXPECT_TRUE(a->Items(i)->IsEncrypted());
  }
  {
    // AES: method 99, encrypted; listing it works, extracting is refused elsewhere.
    auto a = OpenCorpus("Zip.none.encrypted.zip");
    a->Load();
    EXPECT_EQ(a->Items(0)->CompressionMethod(), 99);
    EXPECT_TRUE(a->Items(0)->IsEncrypted());
  }
  {
    // Written with descriptors: the central directory still has sizes and CRCs.
    auto a = OpenCorpus("Zip.none.datadescriptors.zip");
    a->Load();
    EXPECT_EQ(a->Items(1)->GeneralPurposeBitFlag() & 8, 8);
    EXPECT_EQ(a->Items(1)->NativeFileAttributes(), 0u);  // Unix 0644
  }
  {
    auto a = OpenCorpus("Zip.EntryComment.zip");
    a->Load();
    EXPECT_EQ(a->Items(0)->FileComment(), "This is a comment on test.txt");
  }
  {
    // A DOS stamp of zeros cannot be turned into a date.
    auto a = OpenCorpus("Zip.lzma.empty.zip");
    a->Load();
    EXPECT_THROW(a->Items(0)->LastModTimeAsDateTime(), rtl::EConvertError);
  }
}

TEST_F(Corpus, Zip64EndRecordWithUnescapedWrongOffsetIsRefused) {
  // Its end record gives the directory offset 114 without escaping it; only escaped
  // values are taken from the zip64 record, so the directory is looked for at 114 and
  // not found, as other readers also refuse it.
  auto a = OpenCorpus("Zip.zip64.compressedonly.zip");
  EXPECT_THROW(a->Load(), EArcZipInvalid);
}

TEST_F(Corpus, SplitSetsAreReadPartByPart) {
  // Stored items, so each item's data is its content: every byte read through the
  // parts, the item that crosses from .z01 into .zip included, adds up to its CRC-32.
  for (const char* name : {"Infozip.nocomp.multi.zip", "WinZip26.nocomp.multi.zip"}) {
    SCOPED_TRACE(name);
    platform::TFileStream f(CorpusFile(name), platform::fmOpenRead | platform::fmShareDenyNone);
    EXPECT_EQ(ProbeZip(f), atSpannedZip);
    auto a = OpenCorpus(name);
    a->Load();
    EXPECT_TRUE(a->Spanned());
    ASSERT_EQ(a->Count(), 5);
    for (int i = 0; i < a->Count(); ++i) {
      SCOPED_TRACE(a->Items(i)->FileName());
      EXPECT_EQ(Crc32OfBytes(testing::ItemStoredData(*a, i)), a->Items(i)->CRC32());
    }
  }
}

TEST_F(Corpus, EvilNamesAreRefusedAndTheGoodOneExtracted) {
  qelvo::test::TempFolder tmp;
  auto a = OpenCorpus("Zip.Evil.zip");
  a->Load();
  a->SetBaseDirectory(tmp.Windows());
  a->SetExtractOptions({eoCreateDirs, eoRestorePath});
  std::vector<std::string> written, failed;
  a->ExtractHelper = [&](TArcArchive*, TArcArchiveItem* item, const std::string& useName) {
    written.push_back(useName);
    platform::TFileStream out(useName, platform::fmCreate);
    out.WriteString(item->FileName());
  };
  a->OnProcessItemFailure = [&](TArcArchive*, TArcArchiveItem* item, TArcProcessType type, TArcErrorClass cls,
                                int32_t code) {
    EXPECT_EQ(type, ptExtract);
    EXPECT_EQ(cls, ecArchive);
    EXPECT_EQ(code, 30);
    failed.push_back(item->FileName());
  };
  a->ExtractFiles("*.*");
  EXPECT_EQ(written, (std::vector<std::string>{tmp.WindowsFile("good.txt")}));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("Temp\\evil.txt"), std::string::npos);
  EXPECT_FALSE(qelvo::test::NativeExists(tmp.Native() + "/../Temp"));
}

}  // namespace
}  // namespace qelvo::archive
