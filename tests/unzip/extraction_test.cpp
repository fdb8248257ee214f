// Extraction through the unzip component the way the installer runs it, on archives
// written by Info-ZIP zip, 7-Zip and other tools, and on hand-made archives that carry
// one fault each.
#include <gtest/gtest.h>

#include <set>

#include "archive/dos_time.h"
#include "archive/errors.h"
#include "platform/file_system.h"
#include "tests/unzip/test_support.h"
#include "unzip/item_extraction.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

bool IsReadOnly(const fs::path& p) {
  std::error_code ec;
  const fs::perms perms = fs::status(p, ec).permissions();
  const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  return !ec && (perms & write) == fs::perms::none;
}

class ExtractionTest : public TExtractTest {
 protected:
  std::string Archive(const std::string& name, const std::vector<TZipEntry>& entries) {
    return Make(name, BuildZip(entries));
  }
  void Extract(const std::string& zipFile) { ExtractAsInstaller(zipFile, Win(out), &failures); }
};

// A tree zipped by Info-ZIP: folders (one empty), stored and deflated files, an empty
// file, a name without a dot, a read-only file and distinct file times.
TEST_F(ExtractionTest, InfoZipTreeWithFoldersTimesAndAttributes) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const fs::path src = tmp / "src";
  struct TFile {
    const char* name;
    std::string data;
    const char* stamp;
  } files[] = {
      {"readme.txt", TextBytes(20000), "2021-03-04 05:06:08"},
      {"bin/data.bin", RandomBytes(70000), "2019-12-31 23:59:58"},
      {"bin/empty.bin", "", "2020-02-29 12:00:00"},
      {"docs/sub/deep.txt", TextBytes(300000, 5), "2023-07-01 00:00:00"},
      {"docs/readonly.txt", "do not touch", "2022-01-02 03:04:06"},
      {"noext", RandomBytes(10), "2024-10-11 10:11:12"},
  };
  for (const TFile& f : files) WriteFile(src / f.name, f.data);
  fs::create_directories(src / "emptyfolder");
  for (const TFile& f : files)
    ASSERT_EQ(ShellStatus("touch -d " + ShellQuote(f.stamp) + " " + ShellQuote((src / f.name).string())), 0);
  fs::permissions(src / "docs/readonly.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  // .bin files stored, everything else deflated.
  ASSERT_EQ(ShellStatus("zip -q -r -n .bin ../tree.zip .", src), 0);

  Extract(Win(tmp / "tree.zip"));

  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
  for (const TFile& f : files) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(fs::is_regular_file(out / f.name));
    EXPECT_EQ(ReadFile(out / f.name), f.data);
    EXPECT_EQ(fs::last_write_time(out / f.name), fs::last_write_time(src / f.name));
  }
  EXPECT_TRUE(fs::is_directory(out / "emptyfolder"));
  EXPECT_TRUE(IsReadOnly(out / "docs/readonly.txt"));
  EXPECT_FALSE(IsReadOnly(out / "readme.txt"));
}

// 7-Zip writes Deflate, Deflate64 and stored items; each must come back intact.
TEST_F(ExtractionTest, SevenZipMethods) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  const fs::path src = tmp / "src";
  WriteFile(src / "text.txt", TextBytes(400000, 9));
  WriteFile(src / "random.bin", RandomBytes(150000, 4));
  WriteFile(src / "dir/small.txt", "small");
  struct TCase {
    const char* option;
    uint8_t method;
  } cases[] = {{"-mm=Deflate", 8}, {"-mm=Deflate64", 9}, {"-mm=Copy", 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.option);
    const std::string name = std::string("7z") + c.option + ".zip";
    ASSERT_EQ(ShellStatus("7zz a -bd -bso0 -tzip " + std::string(c.option) + " " + ShellQuote((tmp / name).string()) + " .", src), 0);
    const fs::path target = out / c.option;
    fs::create_directories(target);
    failures.clear();
    ExtractAsInstaller(Win(tmp / name), Win(target), &failures);
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    EXPECT_EQ(ReadFile(target / "text.txt"), ReadFile(src / "text.txt"));
    EXPECT_EQ(ReadFile(target / "random.bin"), ReadFile(src / "random.bin"));
    EXPECT_EQ(ReadFile(target / "dir/small.txt"), "small");

    TArcUnZipper probe;
    probe.SetFileName(Win(tmp / name));
    const int i = probe.FindFile("text.txt");
    ASSERT_GE(i, 0);
    EXPECT_EQ(probe.GetItem(i)->CompressionMethod(), c.method);
  }
}

// Archives from other tools: Deflate, Deflate64, shrink, reduce with its four factors,
// implode, stored, data descriptors, zip64, data before and after the archive. Every payload is one of the corpus's three files.
TEST_F(ExtractionTest, CorpusArchivesExtractEveryPayload) {
  const std::string corpus = CorpusFolder();
  const std::set<uint32_t> payloadCrcs = {0xcfb109c8, 0x088814e3, 0x9bd160fa};
  struct TCase {
    const char* file;
    int files;
  } cases[] = {
      {"Zip.deflate.zip", 3},   {"Zip.none.zip", 3},  {"Zip.deflate64.zip", 3},
      {"Zip.deflate.dd.zip", 3}, {"Zip.zip64.zip", 3}, {"Zip.none.datadescriptors.zip", 2},
      {"PrePostHeaders.zip", 3}, {"Zip.UnicodePathExtra.zip", 1}, {"Zip.badlocalextra.zip", 1},
      {"Zip.shrink.zip", 3},     {"Zip.reduce1.zip", 3}, {"Zip.reduce2.zip", 3},
      {"Zip.reduce3.zip", 3},    {"Zip.reduce4.zip", 3}, {"Zip.implode.zip", 3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path target = out / c.file;
    fs::create_directories(target);
    failures.clear();
    const std::string zipFile = Win(fs::path(corpus) / c.file);
    ExtractAsInstaller(zipFile, Win(target), &failures);
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    int files = 0;
    ExpectTreeMatchesItems(zipFile, target, &files);
    EXPECT_EQ(files, c.files);
    if (std::string(c.file).rfind("Zip.", 0) == 0 && c.files == 3) {
      for (const auto& e : fs::recursive_directory_iterator(target)) {
        if (!e.is_regular_file()) continue;
        EXPECT_EQ(payloadCrcs.count(Crc32(ReadFile(e.path()))), 1u) << e.path();
      }
    }
  }
  // The corpus's Deflate64 archive holds the folder "Empty/".
  EXPECT_TRUE(fs::is_directory(out / "Zip.deflate64.zip" / "Empty"));
}

// Extracting over an earlier extraction replaces every file without asking.
TEST_F(ExtractionTest, OverwritesExistingFiles) {
  const std::string zipFile = Archive("a.zip", {StoredEntry("a.txt", "new a"), DeflatedEntry("d/b.txt", TextBytes(5000))});
  WriteFile(out / "a.txt", "an older and longer content that must disappear");
  WriteFile(out / "d/b.txt", "old b");
  Extract(zipFile);
  Extract(zipFile);
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
  EXPECT_EQ(ReadFile(out / "a.txt"), "new a");
  EXPECT_EQ(ReadFile(out / "d/b.txt"), TextBytes(5000));
}

// Hand-made items, one fault each, next to a good item that must still be written.
TEST_F(ExtractionTest, ItemFailuresAreReportedAndLeaveNoFile) {
  const std::string good = TextBytes(3000, 2);
  const std::string plain = TextBytes(100000, 3);

  TZipEntry tokenized = StoredEntry("tokenized.txt", "abc");
  tokenized.Method = 7;
  TZipEntry xz = StoredEntry("xz.txt", "abc");
  xz.Method = 95;  // xz: no decoder
  TZipEntry shortStored = StoredEntry("short.txt", "0123456789");
  shortStored.UncompressedSize = 11;  // one byte more than stored
  TZipEntry cutDeflate = DeflatedEntry("cut.txt", plain);
  cutDeflate.Data.resize(cutDeflate.Data.size() / 2);
  cutDeflate.CompressedSize = static_cast<uint32_t>(cutDeflate.Data.size());
  TZipEntry garbage = DeflatedEntry("garbage.txt", plain);
  garbage.Data = std::string(garbage.Data.size(), '\xff');
  TZipEntry badCrcStored = StoredEntry("crc-stored.txt", "payload");
  *badCrcStored.Crc ^= 1;
  TZipEntry badCrcDeflated = DeflatedEntry("crc-deflated.txt", plain);
  *badCrcDeflated.Crc ^= 0x80000000u;
  TZipEntry version64 = StoredEntry("v64.txt", "x");
  version64.VersionNeeded = 64;
  TZipEntry version63 = StoredEntry("v63.txt", "y");
  version63.VersionNeeded = 63;
  TZipEntry emptyBadCrc = StoredEntry("empty-bad-crc.txt", "");
  *emptyBadCrc.Crc = 0x12345678;
  TZipEntry emptyStrangeMethod = StoredEntry("empty-method7.txt", "");
  emptyStrangeMethod.Method = 7;
  TZipEntry badLocal = StoredEntry("bad-local.txt", "z");

  std::string zip = BuildZip({StoredEntry("good.txt", good), tokenized, xz, shortStored, cutDeflate, garbage,
                              badCrcStored, badCrcDeflated, version64, version63, emptyBadCrc, emptyStrangeMethod,
                              badLocal});
  // Break the local header signature of the last item ("PK\3\4" right before its name).
  const size_t at = zip.find("bad-local.txt") - 30;
  ASSERT_EQ(zip.substr(at, 4), std::string("PK\3\4"));
  zip[at] = 'X';
  WriteFile(tmp / "faults.zip", zip);

  Extract(Win(tmp / "faults.zip"));

  const std::vector<TItemFailure> expected = {
      {"tokenized.txt", ptExtract, ecArchive, kArcZipInvalidMethod},
      {"xz.txt", ptExtract, ecArchive, kArcZipInvalidMethod},
      {"short.txt", ptExtract, ecOther, 0},  // "Stream read error"
      {"cut.txt", ptExtract, ecOther, 0},    // the decoder's corrupted-stream error
      {"garbage.txt", ptExtract, ecOther, 0},
      {"crc-stored.txt", ptExtract, ecArchive, kArcZipBadCRC},
      {"crc-deflated.txt", ptExtract, ecArchive, kArcZipBadCRC},
      {"v64.txt", ptExtract, ecArchive, kArcZipVersion},
      {"bad-local.txt", ptExtract, ecArchive, kArcZipInvalid},
  };
  EXPECT_EQ(failures, expected);
  EXPECT_EQ(ReadFile(out / "good.txt"), good);
  EXPECT_EQ(ReadFile(out / "v63.txt"), "y");
  // Empty items are written without method or CRC check.
  EXPECT_TRUE(fs::is_regular_file(out / "empty-bad-crc.txt"));
  EXPECT_TRUE(fs::is_regular_file(out / "empty-method7.txt"));
  for (const TItemFailure& f : expected) EXPECT_FALSE(fs::exists(out / f.Name)) << f.Name << " was left behind";
}

// A CRC mismatch removes what it has just written and reports code 19 once; an older
// copy stays as it was (the new one would only have replaced it once verified), and no
// temporary file is left beside it.
TEST_F(ExtractionTest, CrcMismatchRemovesTheCorruptedFile) {
  TZipEntry bad = DeflatedEntry("data.txt", TextBytes(50000));
  *bad.Crc ^= 0xFF;
  WriteFile(out / "data.txt", "previous version");
  Extract(Archive("crc.zip", {bad}));
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"data.txt", ptExtract, ecArchive, 19}}));
  EXPECT_EQ(ReadFile(out / "data.txt"), "previous version");
  fs::remove(out / "data.txt");
  Extract(Archive("crc2.zip", {bad}));
  EXPECT_TRUE(fs::is_empty(out));
}

// Without any failure handler (as the installer runs it) nothing reaches the caller.
TEST_F(ExtractionTest, WithoutHandlerFailuresAreDropped) {
  TZipEntry tokenized = StoredEntry("tokenized.txt", "abc");
  tokenized.Method = 7;
  TZipEntry bad = StoredEntry("bad.txt", "abc");
  *bad.Crc ^= 1;
  WriteFile(tmp / "mixed.zip", BuildZip({tokenized, bad, StoredEntry("ok.txt", "ok")}));
  EXPECT_NO_THROW(ExtractAsInstaller(Win(tmp / "mixed.zip"), Win(out)));
  EXPECT_EQ(ReadFile(out / "ok.txt"), "ok");
  EXPECT_FALSE(fs::exists(out / "tokenized.txt"));
  EXPECT_FALSE(fs::exists(out / "bad.txt"));
}

// A stamp that is no date (month 0) still gives the whole file; only the time is not
// applied, and the conversion error is reported.
TEST_F(ExtractionTest, InvalidDateKeepsTheFileAndReportsTheConversion) {
  TZipEntry e = StoredEntry("dated.txt", "content");
  e.Date = (45 << 9) | (0 << 5) | 1;  // 2025-00-01
  TZipEntry folder = FolderEntry("docs/");
  Extract(Archive("date.zip", {e, folder}));
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"dated.txt", ptExtract, ecOther, 0}}));
  EXPECT_EQ(ReadFile(out / "dated.txt"), "content");
  EXPECT_TRUE(fs::is_directory(out / "docs"));
}

// Times come from the DOS stamp as local time; Unix and DOS attributes map to the
// read-only bit; a read-only folder item still takes the files below it.
TEST_F(ExtractionTest, StoredTimesAndAttributes) {
  TZipEntry unixRo = StoredEntry("ro/unix.txt", "1");
  unixRo.ExternalAttributes = 0100444u << 16;
  TZipEntry dosRo = StoredEntry("ro/dos.txt", "2");
  dosRo.VersionMadeBy = 0x0014;  // DOS host
  dosRo.ExternalAttributes = 0x21;
  TZipEntry dosRw = StoredEntry("ro/rw.txt", "3");
  dosRw.VersionMadeBy = 0x0014;
  dosRw.ExternalAttributes = 0x20;
  dosRw.Time = (13 << 11) | (14 << 5) | 7;  // 13:14:14
  dosRw.Date = (41 << 9) | (6 << 5) | 30;   // 2021-06-30
  TZipEntry roFolder = FolderEntry("locked/");
  roFolder.ExternalAttributes = (040555u << 16) | 0x11;
  Extract(Archive("attr.zip", {unixRo, dosRo, dosRw, roFolder, StoredEntry("locked/inside.txt", "in")}));
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
  EXPECT_TRUE(IsReadOnly(out / "ro/unix.txt"));
  EXPECT_TRUE(IsReadOnly(out / "ro/dos.txt"));
  EXPECT_FALSE(IsReadOnly(out / "ro/rw.txt"));
  EXPECT_EQ(ReadFile(out / "locked/inside.txt"), "in");

  rtl::TDateTime written = 0;
  ASSERT_TRUE(platform::FileGetDate(Win(out / "ro/rw.txt"), written));
  EXPECT_NEAR(written, DosStampToDateTime(dosRw.Date, dosRw.Time), 0.5 / 86400);
}

// Data descriptors from Info-ZIP reading standard input: sizes and CRC only after the
// data, zero in the local header.
TEST_F(ExtractionTest, DataDescriptorItems) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  const std::string data = TextBytes(123456, 8);
  WriteFile(tmp / "input.txt", data);
  ASSERT_EQ(ShellStatus("zip -q streamed.zip - < input.txt", tmp.Native()), 0);
  Extract(Win(tmp / "streamed.zip"));
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
  EXPECT_EQ(ReadFile(out / "-"), data);

  // Hand-made: a stored item with a descriptor as well.
  TZipEntry dd = StoredEntry("dd.txt", "described later");
  dd.Flags |= 0x08;
  dd.ZeroLocalSizes = true;
  Extract(Archive("dd.zip", {dd}));
  EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
  EXPECT_EQ(ReadFile(out / "dd.txt"), "described later");
}

// The corpus's hostile archive: the item that climbs out of the base folder is refused,
// good.txt is written, nothing lands outside.
TEST_F(ExtractionTest, EvilArchiveWritesOnlyGoodTxt) {
  const std::string corpus = CorpusFolder();
  const fs::path base = out / "a/b/c";
  fs::create_directories(base);
  ExtractAsInstaller(Win(fs::path(corpus) / "Zip.Evil.zip"), Win(base), &failures);
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].ErrorClass, ecArchive);
  EXPECT_EQ(failures[0].ErrorCode, kArcUnsafePath);
  std::vector<fs::path> written;
  for (const auto& e : fs::recursive_directory_iterator(tmp.Native()))
    if (e.is_regular_file() && e.path().filename() != "Zip.Evil.zip") written.push_back(fs::relative(e.path(), base));
  EXPECT_EQ(written, (std::vector<fs::path>{"good.txt"}));
}

// The helpers on an archive of their own: without a failure event a CRC mismatch into
// a stream raises, with one it is reported and the bytes stay in the stream.
TEST_F(ExtractionTest, HelpersOnABareArchive) {
  TZipEntry bad = StoredEntry("bad.txt", "payload");
  *bad.Crc ^= 1;
  rtl::TMemoryStream bytes;
  bytes.WriteString(BuildZip({bad}));
  TArcZipArchive zip(&bytes, "memory");
  zip.Load();
  rtl::TMemoryStream sink;
  EXPECT_THROW(UnzipItemToStream(&zip, zip.Items(0), &sink), EArcZipBadCRC);
  EXPECT_THROW(UnzipItemToStream(&zip, zip.Items(0), nullptr), EArcBadStream);
  int reports = 0;
  zip.OnProcessItemFailure = [&](TArcArchive*, TArcArchiveItem*, TArcProcessType type, TArcErrorClass cls,
                                 int32_t code) {
    ++reports;
    EXPECT_EQ(type, ptExtract);
    EXPECT_EQ(cls, ecArchive);
    EXPECT_EQ(code, 19);
  };
  rtl::TMemoryStream kept;
  UnzipItemToStream(&zip, zip.Items(0), &kept);
  EXPECT_EQ(reports, 1);
  EXPECT_EQ(kept.DataString(), "payload");
  // Into a file the mismatch always raises, and the file goes.
  EXPECT_THROW(UnzipItemToFile(&zip, zip.Items(0), Win(out / "bad.txt")), EArcZipBadCRC);
  EXPECT_FALSE(fs::exists(out / "bad.txt"));
  EXPECT_EQ(reports, 1);
}

}  // namespace
}  // namespace qelvo::unzip::test
