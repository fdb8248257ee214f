// Reading central directories: hand-made records for the failure cases, archives
// written at test time by Info-ZIP zip and Python's zipfile, and the content probes.
#include <gtest/gtest.h>

#include <chrono>

#include "archive/crc32.h"
#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "rtl/exceptions.h"
#include "test_support.h"

namespace qelvo::archive {
namespace {

using namespace testing;
using namespace qelvo::test;

std::vector<TZipEntry> ThreeEntries() {
  std::vector<TZipEntry> e(3);
  e[0].Name = "a.txt";
  e[0].Data = "alpha";
  e[1].Name = "dir/";
  e[1].ExternalAttributes = 0x41ED0010;
  e[2].Name = "dir/b.bin";
  e[2].Data = std::string(300, 'b');
  return e;
}

// Loads bytes through a memory stream the archive does not own.
struct TLoaded {
  std::unique_ptr<rtl::TMemoryStream> stream;
  std::unique_ptr<TArcZipArchive> archive;
};

TLoaded LoadBytes(const std::string& bytes) {
  TLoaded l;
  l.stream = StreamOf(bytes);
  l.archive = std::make_unique<TArcZipArchive>(l.stream.get(), "test.zip");
  l.archive->Load();
  return l;
}

void ExpectThreeEntries(TArcZipArchive& a) {
  ASSERT_EQ(a.Count(), 3);
  EXPECT_EQ(a.Items(0)->FileName(), "a.txt");
  EXPECT_EQ(a.Items(0)->UncompressedSize(), 5);
  EXPECT_EQ(a.Items(0)->CRC32(), Crc32OfBytes("alpha"));
  EXPECT_TRUE(a.Items(1)->IsDirectory());
  EXPECT_EQ(a.Items(2)->DiskFileName(), "dir\\b.bin");
  EXPECT_EQ(a.Items(2)->CompressedSize(), 300);
}

TEST(ZipReader, LoadsPlainCommentedAndPaddedArchives) {
  const struct {
    const char* what;
    TZipLayout layout;
  } cases[] = {
      {"plain", TZipLayout()},
      {"short comment", TZipLayout().WithComment("hello")},
      {"64 KiB comment", TZipLayout().WithComment(std::string(65535, 'c'))},
      {"a false end signature in the comment does not hide the real record",
       TZipLayout().WithComment(std::string("xxPK\x05\x06", 6) + std::string(30, '\xFF'))},
      {"70 KiB after the end record", TZipLayout().WithSuffix(std::string(70 * 1024, '\0'))},
      {"zip64 records", TZipLayout().WithZip64()},
      {"zip64 with comment and padding", TZipLayout().WithComment("z").WithZip64().WithSuffix(std::string(1000, 'p'))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TLoaded l = LoadBytes(BuildZip(ThreeEntries(), c.layout));
    ExpectThreeEntries(*l.archive);
    EXPECT_EQ(l.archive->ZipfileComment(), c.layout.ArchiveComment);
    EXPECT_FALSE(l.archive->IsExecutable());
    EXPECT_EQ(l.archive->StubSize(), 0xFFFFFFFFu);
    EXPECT_EQ(l.archive->Status(), asIdle);
    EXPECT_FALSE(l.archive->Spanned());
  }
}

TEST(ZipReader, SelfExtractingStubGivesStubSize) {
  for (const std::string& stub : {std::string("MZ") + std::string(998, 's'), std::string("\x7F" "ELF") + std::string(60, 'e')}) {
    TLoaded l = LoadBytes(BuildZip(ThreeEntries(), TZipLayout().WithPrefix(stub)));
    ExpectThreeEntries(*l.archive);
    EXPECT_TRUE(l.archive->IsExecutable());
    EXPECT_EQ(l.archive->StubSize(), stub.size());
    auto s = StreamOf(BuildZip(ThreeEntries(), TZipLayout().WithPrefix(stub)));
    s->SetPosition(7);
    EXPECT_EQ(ProbeSelfExtractingZip(*s), atSelfExtZip);
    EXPECT_EQ(ProbeZip(*s), atZip);
    EXPECT_EQ(s->Position(), 7);
  }
  // Data in front that is no executable: still a ZIP, but not self-extracting.
  auto s = StreamOf(BuildZip(ThreeEntries(), TZipLayout().WithPrefix("junk")));
  EXPECT_EQ(ProbeSelfExtractingZip(*s), atUnknown);
  EXPECT_EQ(ProbeZip(*s), atZip);
}

TEST(ZipReader, EmptyStreamLoadsWithoutItems) {
  TLoaded l = LoadBytes("");
  EXPECT_EQ(l.archive->Count(), 0);
  EXPECT_EQ(l.archive->Status(), asIdle);
  TLoaded e = LoadBytes(BuildZip({}));
  EXPECT_EQ(e.archive->Count(), 0);
}

TEST(ZipReader, FailureTable) {
  const std::string good = BuildZip(ThreeEntries());
  const std::string zip64 = BuildZip(ThreeEntries(), TZipLayout().WithZip64());
  const size_t eocd = good.size() - 22;
  std::string overlong = good;
  overlong[good.size() - 2] = 10;  // comment length 10, nothing follows
  std::string badCentral = good;
  badCentral[good.find(std::string("PK\x01\x02", 4)) + 2] = 9;
  std::string badZip64Record = zip64;
  badZip64Record[zip64.find(std::string("PK\x06\x06", 4)) + 3] = 9;
  std::string zip64RecordPastEnd = zip64;
  {
    const size_t loc = zip64.find(std::string("PK\x06\x07", 4));
    for (int i = 0; i < 8; ++i) zip64RecordPastEnd[loc + 8 + i] = '\x7F';
  }
  std::string offsetPastEnd = good;
  offsetPastEnd.replace(eocd + 16, 4, "\xF0\xFF\xFF\x7F");
  std::string hugeNameAtEnd = good.substr(0, good.find(std::string("PK\x01\x02", 4)));
  {
    // The only central header claims a 65535-byte name, 65535 extra bytes and a comment,
    // and the file ends right after its fixed part.
    TZipEntry e;
    e.Name = "x";
    std::string h = CentralHeader(e, 0).substr(0, 46);
    h.replace(28, 6, "\xFF\xFF\xFF\xFF\xFF\xFF");
    const size_t dir = hugeNameAtEnd.size();
    hugeNameAtEnd += h;
    std::string tail;
    AppendLe32(tail, 0x06054B50);
    AppendLe32(tail, 0);
    AppendLe16(tail, 1);
    AppendLe16(tail, 1);
    AppendLe32(tail, 46);
    AppendLe32(tail, static_cast<uint32_t>(dir));
    AppendLe16(tail, 0);
    hugeNameAtEnd += tail;
  }
  const struct {
    const char* what;
    std::string bytes;
    int32_t code;  // archive error code, or -1 for the stream read error
    bool invalidates;
  } cases[] = {
      {"no end record", good.substr(0, eocd), kArcZipInvalid, true},
      {"end record's comment longer than the file", overlong, kArcZipInvalid, true},
      {"not a ZIP at all", std::string(5000, 'x'), kArcZipInvalid, true},
      {"four entries announced, three present", BuildZip(ThreeEntries(), TZipLayout().Announcing(4)), kArcZipInvalid,
       false},
      {"billions announced", BuildZip(ThreeEntries(), TZipLayout().WithZip64().Announcing(4000000000ll)),
       kArcZipInvalid, false},
      {"wrong central signature", badCentral, kArcZipInvalid, false},
      {"zip64 locator missing", BuildZip(ThreeEntries(), TZipLayout().WithZip64().WithoutZip64Locator()),
       kArcZipInvalid, false},
      {"wrong zip64 record signature", badZip64Record, kArcZipInvalid, false},
      {"zip64 record offset past the end", zip64RecordPastEnd, -1, false},
      {"truncated end record", good.substr(0, good.size() - 1), kArcZipInvalid, true},
      {"directory offset past the end", offsetPastEnd, kArcZipInvalid, false},
      {"lengths that reach past the end", hugeNameAtEnd, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto s = StreamOf(c.bytes);
    TArcZipArchive a(s.get(), "bad.zip");
    try {
      a.Load();
      ADD_FAILURE() << "loaded";
    } catch (const EArcException& e) {
      EXPECT_EQ(e.ErrorCode, c.code) << e.what();
    } catch (const rtl::EReadError& e) {
      EXPECT_EQ(c.code, -1);
      EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_EQ(a.Status() == asInvalid, c.invalidates);
  }
}

TEST(ZipReader, Zip64SubFieldSuppliesEscapedValuesAndMustBeLongEnough) {
  TZipEntry e;
  e.Name = "big.bin";
  e.Data = "0123456789";
  std::string z;
  AppendLe64(z, 5000000000ull);  // uncompressed
  AppendLe64(z, 4000000000ull);  // compressed
  AppendLe64(z, 7);              // local header offset (bogus, but taken)
  AppendLe32(z, 0);
  const std::string full = SubField(0x0001, z);
  auto central = [&](const std::string& extra) {
    TZipEntry c = e;
    c.CentralExtra = extra;
    std::string h = CentralHeader(c, 0);
    // Escape both sizes and the offset.
    for (size_t at : {20u, 24u, 42u}) h.replace(at, 4, "\xFF\xFF\xFF\xFF");
    return h;
  };
  auto s = StreamOf(central(full));
  TArcZipItem item;
  item.LoadFromStream(*s);
  EXPECT_EQ(item.UncompressedSize(), 5000000000ll);
  EXPECT_EQ(item.CompressedSize(), 4000000000ll);
  EXPECT_EQ(item.RelativeOffset(), 7);
  EXPECT_EQ(item.DiskNumberStart(), 0u);
  auto shortField = StreamOf(central(SubField(0x0001, z.substr(0, 16))));
  TArcZipItem cut;
  EXPECT_THROW(cut.LoadFromStream(*shortField), rtl::EReadError);
}

TEST(ZipReader, ProbesRecogniseSpannedSets) {
  const struct {
    const char* what;
    std::string bytes;
    TArcArchiveType type;
  } cases[] = {
      {"plain", BuildZip(ThreeEntries()), atZip},
      {"first disk marker, no end record", std::string("PK\x07\x08", 4) + std::string(100, 'x'), atSpannedZip},
      {"end record on disk 2", BuildZip(ThreeEntries(), TZipLayout().OnDisk(2)), atSpannedZip},
      {"three bytes", "PK\x07", atUnknown},
      {"empty", "", atUnknown},
      {"HTML page", "<html><body>Not found</body></html>", atUnknown},
  };
  for (const auto& c : cases) {
    auto s = StreamOf(c.bytes);
    EXPECT_EQ(ProbeZip(*s), c.type) << c.what;
    EXPECT_EQ(s->Position(), 0) << c.what;
  }
}

TEST(ZipReader, SpannedSetNeedsItsOwnFileAndItsParts) {
  const std::string bytes = BuildZip(ThreeEntries(), TZipLayout().OnDisk(1));
  // On a caller's stream: spanned sets need the archive's own file stream.
  auto s = StreamOf(bytes);
  TArcZipArchive onStream(s.get(), "set.zip");
  EXPECT_THROW(onStream.Load(), EArcZipBadSpanStream);
  // On its own file: the directory is in this last part, the items in the missing first.
  TempFolder tmp;
  WriteFile(tmp.File("set.zip"), bytes);
  TArcZipArchive onFile(tmp.WindowsFile("set.zip"), platform::fmOpenRead | platform::fmShareDenyNone);
  onFile.Load();
  ASSERT_EQ(onFile.Count(), 3);
  try {
    onFile.SeekItemLocalHeader(*onFile.Items(0));
    ADD_FAILURE() << "found the item";
  } catch (const rtl::EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("set.z01"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(onFile.Spanned());
}

TEST(ZipReader, EndRecordSearchCoversTheWholeFile) {
  // The end record sits 300 KiB before the end; the window search still reaches it.
  const std::string bytes = BuildZip(ThreeEntries(), TZipLayout().WithSuffix(std::string(300 * 1024, 'q')));
  auto s = StreamOf(bytes);
  const int64_t at = FindEndOfCentralDirectory(*s);
  EXPECT_EQ(at, static_cast<int64_t>(bytes.size() - 300 * 1024 - 22));
  EXPECT_EQ(s->Position(), at);
  auto none = StreamOf(std::string(10, 'x'));
  none->SetPosition(3);
  EXPECT_EQ(FindEndOfCentralDirectory(*none), -1);
  EXPECT_EQ(none->Position(), 3);
}

TEST(ZipReader, HostileInputCostsTimeProportionalToItsSize) {
  // 8 MiB without any end record: the window search reads it once and gives up.
  const auto start = std::chrono::steady_clock::now();
  auto s = StreamOf(std::string(8 * 1024 * 1024, 'x'));
  TArcZipArchive a(s.get(), "flood.zip");
  EXPECT_THROW(a.Load(), EArcZipInvalid);
  // Three headers announced as 65534 entries: the loop ends at the first missing one.
  std::string many = BuildZip(ThreeEntries(), TZipLayout().Announcing(65534));
  auto m = StreamOf(many);
  TArcZipArchive b(m.get(), "many.zip");
  EXPECT_THROW(b.Load(), EArcZipInvalid);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(ZipReader, ArchiveProgressAndAbort) {
  auto s = StreamOf(BuildZip(ThreeEntries()));
  TArcZipArchive a(s.get(), "p.zip");
  std::vector<int> seen;
  a.OnArchiveProgress = [&](TArcArchive*, uint8_t p, bool& abort) {
    seen.push_back(p);
    abort = p == 66;
  };
  EXPECT_THROW(a.Load(), EArcUserAbort);
  EXPECT_EQ(seen, (std::vector<int>{33, 66}));
  EXPECT_EQ(a.Status(), asInvalid);
  EXPECT_THROW(a.ExtractFiles("*.*"), EArcNoArchive);
}

TEST(ZipReader, ItemHelpersAreRequired) {
  TLoaded l = LoadBytes(BuildZip(ThreeEntries()));
  TArcZipArchive& a = *l.archive;
  EXPECT_THROW(a.ExtractItemByIndex(0, "x"), EArcZipNoExtraction);
  rtl::TMemoryStream out;
  EXPECT_THROW(a.ExtractItemByIndexToStream(0, &out), EArcZipNoExtraction);
  EXPECT_THROW(a.TestItemByIndex(0), EArcZipNoExtraction);
  std::vector<std::string> calls;
  a.TestHelper = [&](TArcArchive* sender, TArcArchiveItem* item) {
    EXPECT_EQ(sender, &a);
    calls.push_back("test " + item->FileName());
  };
  a.ExtractToStreamHelper = [&](TArcArchive*, TArcArchiveItem* item, rtl::TStream* stream) {
    EXPECT_EQ(stream, &out);
    calls.push_back("stream " + item->FileName());
  };
  a.TagItems("*.txt");
  a.TestTaggedItems();
  a.ExtractToStream("DIR/B.BIN", &out);
  a.ExtractToStream("missing", &out);
  EXPECT_EQ(calls, (std::vector<std::string>{"test a.txt", "stream dir/b.bin"}));
  // Nothing pending: saving a loaded archive does nothing.
  a.Save();
}

TEST(ZipReader, LongNamesAndStoredNameNormalising) {
  std::vector<TZipEntry> e(1);
  e[0].Name = std::string(65535, 'n');
  TLoaded l = LoadBytes(BuildZip(e));
  ASSERT_EQ(l.archive->Count(), 1);
  EXPECT_EQ(l.archive->Items(0)->FileName().size(), 65535u);

  TArcZipArchive& a = *l.archive;
  const struct {
    const char* path;
    TArcStoreOptions options;
    const char* stored;
  } cases[] = {
      {"C:\\dir\\f.txt", {}, "dir/f.txt"},
      {"\\\\srv\\share\\dir\\f.txt", {}, "dir/f.txt"},
      {"\\x.txt", {}, "x.txt"},
      {"\\", {}, "/"},
      {"C:\\dir\\f.txt", {soStripPath}, "f.txt"},
      {"..\\..\\a\\b", {soRemoveDots}, "a/b"},
  };
  for (const auto& c : cases) {
    TArcStoreOptions options = c.options;
    options.Include(soStripDrive);
    a.SetStoreOptions(options);
    EXPECT_EQ(a.NormalizeStoredName(c.path), c.stored) << c.path;
  }
}

TEST(ZipReader, ItemSettersKeepTheCentralHeaderReadyForWriting) {
  TArcZipItem item;
  item.SetFileName("caf\xC3\xA9.txt");
  EXPECT_EQ(item.RawFileName(), "caf\xC3\xA9.txt");
  EXPECT_EQ(item.GeneralPurposeBitFlag() & kZipFlagUTF8, kZipFlagUTF8);
  item.SetFileName("plain.txt");
  EXPECT_EQ(item.GeneralPurposeBitFlag() & kZipFlagUTF8, 0);
  item.SetUncompressedSize(5000000000ll);
  item.SetCompressedSize(10);
  EXPECT_EQ(item.ItemInfo().FUncompressedSize, 0xFFFFFFFFu);
  EXPECT_EQ(item.ItemInfo().FCompressedSize, 10u);
  std::string_view z;
  ASSERT_TRUE(item.ExtraField().Get(kZip64ExtraFieldID, z));
  EXPECT_EQ(z.size(), 8u);
  // Written and read back, the header gives the same effective values.
  rtl::TMemoryStream s;
  item.ItemInfo().SaveToStream(s);
  s.SetPosition(0);
  TArcZipItem back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.UncompressedSize(), 5000000000ll);
  EXPECT_EQ(back.CompressedSize(), 10);
  EXPECT_EQ(back.FileName(), "plain.txt");
  item.SetUncompressedSize(1);
  EXPECT_FALSE(item.ExtraField().Has(kZip64ExtraFieldID));
}

// --- Archives written by peers --------------------------------------------------------

class PeerArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(tmp.File("src/readme.txt"), "read me\n");
    WriteFile(tmp.File("src/sub/data.bin"), std::string(100000, '\x5A'));
    WriteFile(tmp.File("src/sub/empty.txt"), "");
  }
  std::unique_ptr<TArcZipArchive> Open(const std::string& name) {
    auto a = std::make_unique<TArcZipArchive>(tmp.WindowsFile(name), platform::fmOpenRead | platform::fmShareDenyNone);
    a->Load();
    return a;
  }
  TempFolder tmp;
};

TEST_F(PeerArchives, InfoZipWithCommentForcedZip64AndStub) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip not installed";
  const std::string src = ShellQuote(tmp.File("src"));
  ASSERT_TRUE(RunShell("cd " + src + " && zip -qr -X ../plain.zip readme.txt sub"));
  ASSERT_TRUE(RunShell("cd " + src + " && echo 'archive comment' | zip -qz -fz ../z64.zip readme.txt sub/data.bin"));
  WriteFile(tmp.File("stub"), "MZ" + std::string(4094, '\x90'));
  ASSERT_TRUE(RunShell("cat " + ShellQuote(tmp.File("stub")) + " " + ShellQuote(tmp.File("plain.zip")) + " > " +
                  ShellQuote(tmp.File("sfx.exe")) + " && zip -qA " + ShellQuote(tmp.File("sfx.exe"))));

  auto plain = Open("plain.zip");
  ASSERT_EQ(plain->Count(), 4);
  EXPECT_EQ(plain->Items(0)->FileName(), "readme.txt");
  EXPECT_EQ(plain->Items(1)->FileName(), "sub/");
  EXPECT_TRUE(plain->Items(1)->IsDirectory());
  EXPECT_EQ(plain->Items(1)->NativeFileAttributes() & 0x10, 0x10u);
  const int data = plain->FindFile("sub/data.bin");
  ASSERT_GE(data, 0);
  EXPECT_EQ(plain->Items(data)->UncompressedSize(), 100000);
  EXPECT_EQ(plain->Items(data)->CRC32(), Crc32OfBytes(std::string(100000, '\x5A')));
  EXPECT_EQ(plain->Items(data)->CompressionMethod(), 8);
  EXPECT_LT(plain->Items(data)->CompressedSize(), 1000);

  auto z64 = Open("z64.zip");
  ASSERT_EQ(z64->Count(), 2);
  EXPECT_EQ(z64->ZipfileComment(), "archive comment");
  EXPECT_EQ(z64->Items(1)->UncompressedSize(), 100000);
  EXPECT_TRUE(z64->Info().FTotalEntries == 2);

  auto sfx = Open("sfx.exe");
  EXPECT_EQ(sfx->Count(), 4);
  EXPECT_TRUE(sfx->IsExecutable());
  EXPECT_EQ(sfx->StubSize(), 4096u);
  platform::TFileStream f(tmp.WindowsFile("sfx.exe"), platform::fmOpenRead | platform::fmShareDenyNone);
  EXPECT_EQ(ProbeSelfExtractingZip(f), atSelfExtZip);
}

TEST_F(PeerArchives, PythonZipfileForcedZip64UnicodeAndComments) {
  if (!HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
  const std::string script = R"PY(
import zipfile, sys
out = sys.argv[1]
with zipfile.ZipFile(out + '/py64.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.comment = b'python comment'
    with z.open('forced.bin', 'w', force_zip64=True) as f:
        f.write(b'\x01' * 70000)
    i = zipfile.ZipInfo('caf\u00e9/\u0442\u0435\u0441\u0442.txt', (2020, 2, 29, 23, 59, 58))
    i.comment = b'item comment'
    z.writestr(i, 'text')
    z.writestr(zipfile.ZipInfo('folder/', (2001, 1, 1, 0, 0, 0)), '')
with zipfile.ZipFile(out + '/many.zip', 'w', zipfile.ZIP_STORED) as z:
    for n in range(70000):
        z.writestr('f%05d' % n, b'')
)PY";
  WriteFile(tmp.File("make.py"), script);
  ASSERT_TRUE(RunShell("python3 " + ShellQuote(tmp.File("make.py")) + " " + ShellQuote(tmp.Native())));
  auto a = Open("py64.zip");
  ASSERT_EQ(a->Count(), 3);
  EXPECT_EQ(a->ZipfileComment(), "python comment");
  EXPECT_EQ(a->Items(0)->UncompressedSize(), 70000);
  EXPECT_EQ(a->Items(0)->CRC32(), Crc32OfBytes(std::string(70000, '\x01')));
  EXPECT_EQ(a->Items(1)->FileName(), "caf\xC3\xA9/\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.txt");
  EXPECT_EQ(a->Items(1)->FileComment(), "item comment");
  EXPECT_EQ(a->Items(1)->LastModFileDate(), (40 << 9) | (2 << 5) | 29);
  EXPECT_EQ(a->Items(1)->LastModFileTime(), (23 << 11) | (59 << 5) | 29);
  EXPECT_TRUE(a->Items(2)->IsDirectory());
  // More than 65535 entries: the count comes from the zip64 record.
  auto many = Open("many.zip");
  ASSERT_EQ(many->Count(), 70000);
  EXPECT_EQ(many->Items(69999)->FileName(), "f69999");
  EXPECT_EQ(many->ItemList()->Find("F12345"), 12345);
}

}  // namespace
}  // namespace qelvo::archive
