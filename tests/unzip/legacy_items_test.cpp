// Items of the legacy methods through item extraction: corrupted data fails the item
// with an archive error and leaves no file, data cut short is caught by the CRC check,
// and a reduce or implode item decoded into a caller's stream is appended to it.
#include <gtest/gtest.h>

#include "archive/errors.h"
#include "tests/unzip/test_support.h"
#include "unzip/item_extraction.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

class LegacyItemsTest : public ::testing::Test {
 protected:
  TempFolder tmp;
  fs::path out = tmp / "out";
  void SetUp() override { fs::create_directories(out); }
};

// The stored bytes and the directory values of one corpus item.
struct TCorpusItem {
  std::string Data;
  TZipEntry Entry;
};

TCorpusItem CorpusItem(const std::string& archiveFile, const std::string& itemName) {
  rtl::TMemoryStream bytes;
  bytes.WriteString(ReadFile(fs::path(CorpusFolder()) / archiveFile));
  TArcZipArchive zip(&bytes, archiveFile);
  zip.Load();
  for (int i = 0; i < zip.Count(); ++i) {
    TArcZipItem& item = *zip.Items(i);
    if (item.FileName() != itemName) continue;
    std::unique_ptr<rtl::TStream> data = OpenItemDataStream(zip, item);
    TCorpusItem result;
    result.Data.resize(static_cast<size_t>(item.CompressedSize()));
    data->ReadBuffer(result.Data.data(), static_cast<int64_t>(result.Data.size()));
    TZipEntry& e = result.Entry;
    e.Name = itemName;
    e.Method = static_cast<uint16_t>(item.CompressionMethod());
    e.Flags = item.ItemInfo().FGeneralPurposeBitFlag;
    e.Crc = item.CRC32();
    e.UncompressedSize = static_cast<uint32_t>(item.UncompressedSize());
    return result;
  }
  ADD_FAILURE() << itemName << " not in " << archiveFile;
  return {};
}

TZipEntry Legacy(const std::string& name, uint16_t method, const std::string& data, uint32_t size, uint32_t crc = 0) {
  TZipEntry e;
  e.Name = name;
  e.Method = method;
  e.Data = data;
  e.CompressedSize = static_cast<uint32_t>(data.size());
  e.UncompressedSize = size;
  e.Crc = crc;
  return e;
}

TEST_F(LegacyItemsTest, CorruptedOrShortDataFailsTheItemAndLeavesNoFile) {
  // A shrunk item cut in half: decoding ends quietly, the CRC reports it.
  const TCorpusItem shrunk = CorpusItem("Zip.shrink.zip", "TEST.EXE");
  TZipEntry cut = Legacy("cut.exe", 1, shrunk.Data.substr(0, shrunk.Data.size() / 2), *shrunk.Entry.UncompressedSize,
                         *shrunk.Entry.Crc);
  // An implode length tree of 80 values (5 x 16) and a reduce follower set of 33.
  const std::string tooManyValues = std::string(1, '\x04') + std::string(5, '\xF5') + std::string(20, '\0');
  const TZipEntry tree = Legacy("tree.bin", 6, tooManyValues, 1000);
  const TZipEntry followers = Legacy("followers.bin", 3, std::string("\x21") + std::string(40, '\0'), 1000);
  WriteFile(tmp / "faults.zip", BuildZip({cut, tree, followers, StoredEntry("good.txt", "good")}));

  std::vector<TItemFailure> failures;
  ExtractAsInstaller(Win(tmp / "faults.zip"), Win(out), &failures);
  const std::vector<TItemFailure> expected = {
      {"cut.exe", ptExtract, ecArchive, kArcZipBadCRC},
      {"tree.bin", ptExtract, ecArchive, kArcZipCorruptedData},
      {"followers.bin", ptExtract, ecArchive, kArcZipCorruptedData},
  };
  EXPECT_EQ(failures, expected);
  for (const TItemFailure& f : expected) EXPECT_FALSE(fs::exists(out / f.Name)) << f.Name;
  EXPECT_EQ(ReadFile(out / "good.txt"), "good");
}

// A size declared smaller than the data: the decoders stop there and the CRC check fails
// the item; the file is not left behind.
TEST_F(LegacyItemsTest, OutputStopsAtTheDeclaredSize) {
  std::vector<TZipEntry> entries;
  for (const auto& [archiveFile, itemName] : {std::pair{"Zip.shrink.zip", "TEST.EXE"}, {"Zip.reduce3.zip", "TEST.EXE"},
                                              {"Zip.implode.zip", "EXE/TEST.EXE"}}) {
    const TCorpusItem item = CorpusItem(archiveFile, itemName);
    const std::string name = std::string(archiveFile) + ".bin";
    entries.push_back(Legacy(name, item.Entry.Method, item.Data, 1000, *item.Entry.Crc));
    entries.back().Flags = item.Entry.Flags;
  }
  WriteFile(tmp / "small.zip", BuildZip(entries));
  rtl::TMemoryStream bytes;
  bytes.WriteString(ReadFile(tmp / "small.zip"));
  TArcZipArchive zip(&bytes, "small.zip");
  zip.Load();
  for (int i = 0; i < zip.Count(); ++i) {
    SCOPED_TRACE(zip.Items(i)->FileName());
    std::vector<int32_t> codes;
    zip.OnProcessItemFailure = [&](TArcArchive*, TArcArchiveItem*, TArcProcessType, TArcErrorClass, int32_t code) {
      codes.push_back(code);
    };
    rtl::TMemoryStream sink;
    UnzipItemToStream(&zip, zip.Items(i), &sink);
    EXPECT_EQ(sink.Size(), 1000);
    EXPECT_EQ(codes, std::vector<int32_t>{kArcZipBadCRC});
  }
}

// Reduce and implode write through a sliding window; a caller's stream that already
// holds bytes keeps them, and the item follows.
TEST_F(LegacyItemsTest, DecodingIntoAStreamAppends) {
  for (const char* file : {"Zip.shrink.zip", "Zip.reduce2.zip", "Zip.implode.zip"}) {
    SCOPED_TRACE(file);
    rtl::TMemoryStream bytes;
    bytes.WriteString(ReadFile(fs::path(CorpusFolder()) / file));
    TArcZipArchive zip(&bytes, file);
    zip.Load();
    for (int i = 0; i < zip.Count(); ++i) {
      TArcZipItem& item = *zip.Items(i);
      if (item.CompressionMethod() == 0) continue;
      rtl::TMemoryStream sink;
      sink.WriteString("already here");
      UnzipItemToStream(&zip, &item, &sink);
      const std::string all = sink.DataString();
      ASSERT_EQ(all.size(), 12 + static_cast<size_t>(item.UncompressedSize())) << item.FileName();
      EXPECT_EQ(all.substr(0, 12), "already here");
      EXPECT_EQ(Crc32(all.substr(12)), item.CRC32()) << item.FileName();
    }
  }
}

}  // namespace
}  // namespace qelvo::unzip::test
