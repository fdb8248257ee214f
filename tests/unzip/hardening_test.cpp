// Extraction against hostile and damaged archives and a hostile target folder: nothing
// is written outside the target or beyond an item's declared size, overlapping items and
// miscounted directories are refused, a failed item leaves no file and the older copy.
#include <gtest/gtest.h>
#include <unistd.h>

#include "archive/errors.h"
#include "archive/zip_archive.h"
#include "rtl/stream.h"
#include "tests/support/links.h"
#include "tests/support/zlib_deflate.h"
#include "tests/unzip/test_support.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace qelvo::archive;

class HardeningTest : public TExtractTest {
 protected:
  std::string Archive(const std::string& name, const std::vector<TZipEntry>& entries, const TZipLayout& layout = {}) {
    return Make(name, BuildZip(entries, layout));
  }
  void Extract(const std::string& zipFile) { ExtractAsInstaller(zipFile, Win(out), &failures); }
  // The error code an archive's opening fails with; 0 when it opens.
  static int32_t OpeningError(const std::string& bytes) {
    rtl::TMemoryStream stream;
    stream.WriteString(bytes);
    TArcZipArchive zip(&stream, "t.zip");
    try {
      zip.Load();
    } catch (const EArcException& e) {
      return e.ErrorCode;
    }
    return 0;
  }
  std::vector<std::string> FilesBelow(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root))
      if (!e.is_directory()) {
        const std::u8string name = fs::relative(e.path(), root).generic_u8string();
        names.emplace_back(name.begin(), name.end());
      }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// Links planted in the target (for a folder on the way, or in the item's own place) are
// never followed: such items are refused as unsafe and the files outside stay as they were.
TEST_F(HardeningTest, PlantedSymbolicLinksAreNeverFollowed) {
  const fs::path outside = tmp / "outside";
  fs::create_directories(outside);
  WriteFile(outside / "victim.txt", "precious");
  fs::create_directories(out / "real");
  std::string why;
  if (!PlantFolderLink(outside, out / "link", &why) ||
      !PlantFileLink(outside / "victim.txt", out / "victim.txt", &why) ||
      !PlantFolderLink(outside, out / "real" / "deeper", &why))
    GTEST_SKIP() << "links cannot be planted here: " << why;
  Extract(Archive("links.zip", {StoredEntry("link/x.txt", "escaped"), StoredEntry("victim.txt", "overwritten"),
                                StoredEntry("real/deeper/y.txt", "escaped"), StoredEntry("real/ok.txt", "ok")}));
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"link/x.txt", ptExtract, ecArchive, kArcUnsafePath},
                                                 {"victim.txt", ptExtract, ecArchive, kArcUnsafePath},
                                                 {"real/deeper/y.txt", ptExtract, ecArchive, kArcUnsafePath}}));
  EXPECT_EQ(FilesBelow(outside), (std::vector<std::string>{"victim.txt"}));
  EXPECT_EQ(ReadFile(outside / "victim.txt"), "precious");
  EXPECT_EQ(ReadFile(out / "real/ok.txt"), "ok");
}

// A name with an empty segment is normalised; one that only Windows refuses fails with a
// code of its own on every platform. Names are flagged UTF-8 (the superscript ports).
TEST_F(HardeningTest, NamesWindowsWouldRefuse) {
  auto utf8Entry = [](const char* name, const std::string& data) {
    TZipEntry e = StoredEntry(name, data);
    e.Flags |= 0x0800;
    return e;
  };
  std::vector<TZipEntry> entries{utf8Entry("a//b.txt", "b")};
  const char* refused[] = {"co:lon.txt", "dir/q?.txt", "star*.txt", "pipe|.txt",  "lt<.txt",     "gt>.txt",
                           "quote\".txt", "tab\t.txt", "CON",       "nul.txt",    "d/Aux/x",     "com1.log",
                           "LPT9",        "trail.",    "space ",    "dir./x.txt", "nul .txt",    "conin$",
                           "Com0",        "COM\xc2\xb9", "lpt\xc2\xb3.txt"};
  std::vector<TItemFailure> expected;
  for (const char* name : refused) {
    entries.push_back(utf8Entry(name, "x"));
    expected.push_back({name, ptExtract, ecArchive, kArcBadWindowsName});
  }
  // Near misses Windows takes as they are.
  for (const char* name : {"console.txt", "com10", "LPT\xc2\xb4.txt", " lead.txt"})
    entries.push_back(utf8Entry(name, "fine"));
  Extract(Archive("names.zip", entries));
  EXPECT_EQ(failures, expected);
  EXPECT_EQ(FilesBelow(out),
            (std::vector<std::string>{" lead.txt", "LPT\xc2\xb4.txt", "a/b.txt", "com10", "console.txt"}));
}

// Output beyond the declared size, or short of it, is corrupted data: the item fails and
// nothing of it is left; a size of 0 cannot hide real data.
TEST_F(HardeningTest, DecodedSizeMustMatchTheDeclaredOne) {
  const std::string plain = TextBytes(200000);
  auto declared = [&](const std::string& name, uint32_t size) {
    TZipEntry e = DeflatedEntry(name, plain);
    e.UncompressedSize = size;
    return e;
  };
  WriteFile(out / "zero.txt", "older copy");
  Extract(Archive("sizes.zip", {declared("more.txt", 1000), declared("zero.txt", 0), declared("less.txt", 300000),
                                declared("right.txt", 200000)}));
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"more.txt", ptExtract, ecArchive, kArcZipCorruptedData},
                                                 {"zero.txt", ptExtract, ecArchive, kArcZipCorruptedData},
                                                 {"less.txt", ptExtract, ecArchive, kArcZipCorruptedData}}));
  EXPECT_EQ(FilesBelow(out), (std::vector<std::string>{"right.txt", "zero.txt"}));
  EXPECT_EQ(ReadFile(out / "zero.txt"), "older copy");

  // Into a caller's stream, where nothing is removed afterwards, the decoder stops at the
  // declared size.
  unzip::TArcUnZipper unzipper;
  unzipper.SetFileName(Win(tmp / "sizes.zip"));
  rtl::TMemoryStream sink;
  unzipper.ExtractToStream("more.txt", &sink);
  EXPECT_LE(sink.Size(), 1000);
}

// Opening refuses items that share local bytes (one block listed many times) and a
// directory that holds more records than its end record counts; exactly 65,535 entries
// with a plain end record open.
TEST_F(HardeningTest, DirectoryShapesAtOpening) {
  const std::string block = RawDeflate(std::string(1 << 20, '\0'));
  TZipEntry bomb = DeflatedEntry("0", std::string(1 << 20, '\0'));
  std::string overlapping = BuildZip({bomb});
  {
    // The same local data listed three times under different names.
    overlapping.erase(overlapping.find(std::string("PK\x01\x02", 4)));
    const uint32_t dir = static_cast<uint32_t>(overlapping.size());
    std::string central;
    for (const char* name : {"0", "1", "2"}) {
      TZipEntry e = bomb;
      e.Name = name;
      central += CentralHeader(e, 0);
    }
    overlapping += central;
    AppendLe32(overlapping, 0x06054B50);
    AppendLe32(overlapping, 0);
    AppendLe16(overlapping, 3);
    AppendLe16(overlapping, 3);
    AppendLe32(overlapping, static_cast<uint32_t>(central.size()));
    AppendLe32(overlapping, dir);
    AppendLe16(overlapping, 0);
  }
  const std::vector<TZipEntry> three{StoredEntry("a", "a"), StoredEntry("b", "b"), StoredEntry("c", "c")};
  EXPECT_EQ(OpeningError(overlapping), kArcZipOverlappingItems);
  EXPECT_EQ(OpeningError(BuildZip(three, TZipLayout().Announcing(2))), kArcZipDirectoryMismatch);
  EXPECT_EQ(OpeningError(BuildZip(three, TZipLayout().Announcing(0))), kArcZipDirectoryMismatch);
  EXPECT_EQ(OpeningError(BuildZip(three)), 0);

  if (!HaveTool("python3")) GTEST_FAIL() << "python3 is needed to write the 65,535-entry archive";
  const fs::path many = tmp / "many.zip";
  ASSERT_EQ(ShellStatus("python3 -c 'import zipfile,sys\n"
                        "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
                        "    [z.writestr(str(i), b\"\") for i in range(65535)]' " +
                        ShellQuote(many.string())),
            0);
  unzip::TArcUnZipper unzipper;
  unzipper.SetFileName(Win(many));
  EXPECT_EQ(unzipper.Count(), 65535);
}

// A local header naming another item than its central entry fails the item.
TEST_F(HardeningTest, LocalNameMustMatchTheCentralOne) {
  std::string bytes = BuildZip({StoredEntry("name.txt", "data"), StoredEntry("other.txt", "o")});
  bytes[30] = 'N';  // the first local header's name
  Extract(Make("names.zip", bytes));
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"name.txt", ptExtract, ecArchive, kArcZipInvalidLFH}}));
  EXPECT_EQ(FilesBelow(out), (std::vector<std::string>{"other.txt"}));
}

// A file standing where a folder must go fails that item alone.
TEST_F(HardeningTest, FolderThatCannotBeCreatedFailsOnlyItsItem) {
  WriteFile(out / "blocked", "a file");
  Extract(Archive("blocked.zip", {StoredEntry("blocked/x.txt", "x"), StoredEntry("later.txt", "later")}));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].Name, "blocked/x.txt");
  EXPECT_EQ(failures[0].ErrorClass, ecInOutError);
  EXPECT_EQ(ReadFile(out / "later.txt"), "later");
}

// Sizes and offsets near INT64_MAX fail their item without overflowing anywhere.
TEST_F(HardeningTest, HugeStoredValuesFailCleanly) {
  std::vector<TZipEntry> entries;
  for (const char* name : {"huge-stored", "huge-deflated"}) {
    TZipEntry e = StoredEntry(name, "tiny");
    if (name[5] == 'd') e.Method = 8;
    e.CompressedSize = 0xFFFFFFFFu;
    e.UncompressedSize = 0xFFFFFFFFu;
    std::string sizes;
    AppendLe64(sizes, 0x7FFFFFFFFFFFFFFFull);
    AppendLe64(sizes, 0x7FFFFFFFFFFFFFFFull);
    e.CentralExtra = SubField(0x0001, sizes);
    entries.push_back(e);
  }
  // Each alone: with both, the second would overlap the first's endless data.
  for (const TZipEntry& e : entries) {
    SCOPED_TRACE(e.Name);
    failures.clear();
    Extract(Archive(e.Name + ".zip", {e}));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(fs::is_empty(out));
  }
}

// Testing every item is one pass over the items: the archive progress advances once per
// item, however many there are.
TEST_F(HardeningTest, TestingAllItemsIsOnePass) {
  std::vector<TZipEntry> entries;
  for (int i = 0; i < 3000; ++i) entries.push_back(StoredEntry("f" + std::to_string(i), "x"));
  TZipEntry bad = StoredEntry("bad", "y");
  *bad.Crc ^= 1;
  entries.push_back(bad);
  const std::string zip = Archive("many.zip", entries);
  unzip::TArcUnZipper unzipper;
  unzipper.SetFileName(zip);
  int progressEvents = 0, failed = 0;
  unzipper.OnArchiveProgress = [&](TArcBaseBrowser*, uint8_t, bool&) { ++progressEvents; };
  unzipper.OnProcessItemFailure = [&](TArcBaseBrowser*, TArcArchiveItem*, TArcProcessType, TArcErrorClass,
                                      int32_t code) {
    ++failed;
    EXPECT_EQ(code, kArcZipBadCRC);
  };
  unzipper.TestFiles("*.*");
  EXPECT_EQ(failed, 1);
  EXPECT_LE(progressEvents, 3002);
}

}  // namespace
}  // namespace qelvo::unzip::test
