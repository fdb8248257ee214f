// Items compressed with bzip2 (12), LZMA (14), WavPack (97) and PPMd (98), extracted
// through the unzip component: the corpus archives, archives 7-Zip writes at test time,
// WavPack items built from WAV files, and items damaged in the ways the decoders must
// answer (a failure reported, no file left behind).
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <set>

#include "archive/errors.h"
#include "archive/zip_archive.h"
#include "rtl/stream.h"
#include "tests/codecs/codec_test_support.h"
#include "tests/unzip/library_items.h"
#include "unzip/item_extraction.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

// The stored bytes replaced, sizes in the headers following them.
TZipEntry WithData(TZipEntry entry, std::string data) {
  entry.Data = std::move(data);
  entry.CompressedSize = static_cast<uint32_t>(entry.Data.size());
  return entry;
}

// What decoding the first item of an archive into a stream raises: "" when nothing.
std::string DecodeFailure(const std::string& zipBytes) {
  rtl::TMemoryStream bytes;
  bytes.WriteString(zipBytes);
  TArcZipArchive zip(&bytes, "memory");
  zip.Load();
  rtl::TMemoryStream sink;
  try {
    UnzipItemToStream(&zip, zip.Items(0), &sink);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

class LibraryMethodsTest : public ::testing::Test {
 protected:
  TempFolder tmp{"library-methods"};
  fs::path out = tmp / "out";
  std::vector<TItemFailure> failures;

  void SetUp() override { fs::create_directories(out); }
  // Extracts the archive as the installer does into a folder of its own under out and
  // answers that folder; the failures are those of this extraction.
  fs::path ExtractInto(const fs::path& zipFile, const std::string& folder, const std::string& password = {}) {
    const fs::path target = out / folder;
    fs::create_directories(target);
    failures.clear();
    ExtractAsInstaller(Win(zipFile), Win(target), &failures, password);
    return target;
  }
  // The same for a hand-made archive written first.
  fs::path Extract(const std::string& name, const std::vector<TZipEntry>& entries) {
    WriteFile(tmp / name, BuildZip(entries));
    return ExtractInto(tmp / name, name);
  }
};

// Every item of the corpus's bzip2, LZMA and PPMd archives, with and without data
// descriptors, is one of the three payloads with its listed CRC-32.
TEST_F(LibraryMethodsTest, CorpusArchives) {
  const std::string corpus = CorpusFolder();
  const std::set<uint32_t> payloadCrcs = {0xcfb109c8, 0x088814e3, 0x9bd160fa};
  for (const char* file : {"Zip.bzip2.zip", "Zip.bzip2.dd.zip", "Zip.lzma.zip", "Zip.lzma.dd.zip", "Zip.ppmd.zip",
                           "Zip.ppmd.dd.zip"}) {
    SCOPED_TRACE(file);
    const fs::path target = ExtractInto(fs::path(corpus) / file, file);
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    int files = 0;
    ExpectTreeMatchesItems(Win(fs::path(corpus) / file), target, &files);
    EXPECT_EQ(files, 3);
    for (const auto& e : fs::recursive_directory_iterator(target)) {
      if (e.is_regular_file()) {
        EXPECT_EQ(payloadCrcs.count(Crc32(ReadFile(e.path()))), 1u) << e.path();
      }
    }
  }
  // The empty LZMA item is written (an empty item is never decoded); its stored date is
  // invalid, which is reported after the file was closed.
  const fs::path target = ExtractInto(fs::path(corpus) / "Zip.lzma.empty.zip", "empty");
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"empty_lzma.txt", ptExtract, ecOther, 0}}));
  EXPECT_TRUE(fs::is_regular_file(target / "empty_lzma.txt"));
  EXPECT_EQ(fs::file_size(target / "empty_lzma.txt"), 0u);
}

// 7-Zip's bzip2, LZMA (with and without end marker) and PPMd at several orders and
// memory sizes, plain and encrypted. 1 MiB of model memory is far less than the
// sample needs, so those models restart (order 2 and 16) or are cut back (order 16
// with -mx=9) many times while decoding.
TEST_F(LibraryMethodsTest, SevenZipArchives) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  const fs::path src = tmp / "src";
  const std::string mixed = TextBytes(1200000, 3) + RandomBytes(300000, 4) + TextBytes(500000, 5);
  WriteFile(src / "mixed.bin", mixed);
  WriteFile(src / "dir/small.txt", "small");
  WriteFile(src / "empty.txt", "");
  struct TCase {
    const char* switches;
    uint16_t method;
    int ppmdRestoreMethod;  // -1 when not PPMd
  } cases[] = {
      {"-mm=BZip2", kMethodBzip2, -1},
      {"-mm=BZip2 -mx=1", kMethodBzip2, -1},
      {"-mm=LZMA", kMethodLzma, -1},
      {"-mm=LZMA:eos=off", kMethodLzma, -1},
      {"-mm=LZMA -md=64k -mx=9", kMethodLzma, -1},
      {"-mm=PPMd", kMethodPPMd, 0},
      {"-mm=PPMd -mo=2 -mmem=1m", kMethodPPMd, 0},
      {"-mm=PPMd -mo=16 -mmem=1m", kMethodPPMd, 0},
      {"-mm=PPMd -mx=9 -mo=16 -mmem=1m", kMethodPPMd, 1},
      {"-mm=PPMd -mx=7 -mmem=2m", kMethodPPMd, 1},
      {"-mm=BZip2 -ptest -mem=ZipCrypto", kMethodBzip2, -1},
      {"-mm=LZMA -ptest -mem=ZipCrypto", kMethodLzma, -1},
      {"-mm=PPMd -ptest -mem=ZipCrypto", kMethodPPMd, 0},
  };
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.switches);
    const std::string name = "7z-" + std::to_string(++n) + ".zip";
    fs::remove(tmp / name);
    ASSERT_EQ(ShellStatus("7zz a -bd -bso0 -tzip " + std::string(c.switches) + " " + ShellQuote((tmp / name).string()) +
                              " .",
                          src.string()),
              0);
    const fs::path target = ExtractInto(tmp / name, name, "test");
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    EXPECT_TRUE(ReadFile(target / "mixed.bin") == mixed);
    EXPECT_EQ(ReadFile(target / "dir/small.txt"), "small");
    EXPECT_TRUE(fs::is_regular_file(target / "empty.txt"));

    TArcUnZipper probe;
    probe.SetFileName(Win(tmp / name));
    const int i = probe.FindFile("mixed.bin");
    ASSERT_GE(i, 0);
    EXPECT_EQ(probe.GetItem(i)->CompressionMethod(), c.method);
    if (c.ppmdRestoreMethod >= 0 && !probe.GetItem(i)->IsEncrypted()) {
      for (const qelvo::test::TListedEntry& e : qelvo::test::ReadZipEntries(ReadFile(tmp / name))) {
        if (e.Name == "mixed.bin") {
          EXPECT_EQ(static_cast<uint8_t>(e.Data.at(1)) >> 4, c.ppmdRestoreMethod);
        }
      }
    }
  }
}

// Bit 1 of the flags (end marker present) does not change how an LZMA item is decoded:
// the item's size ends the stream either way.
TEST_F(LibraryMethodsTest, LzmaEndMarkerFlagIsNotConsulted) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  const std::string plain = TextBytes(300000, 8);
  for (const char* switches : {"-mm=LZMA", "-mm=LZMA:eos=off"}) {
    SCOPED_TRACE(switches);
    TZipEntry entry = SevenZipEntry(tmp, "a.txt", plain, switches);
    ASSERT_EQ(entry.Method, kMethodLzma);
    for (const bool flag : {false, true}) {
      entry.Flags = static_cast<uint16_t>(flag ? entry.Flags | 2 : entry.Flags & ~2);
      const fs::path target = Extract(std::string("eos-") + (flag ? "1" : "0") + ".zip", {entry});
      EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
      EXPECT_TRUE(ReadFile(target / "a.txt") == plain);
    }
  }
}

// Damaged items: each fails with its decoder's error (or the CRC check), is reported as
// an item failure, and leaves no file; the good item beside it is written.
TEST_F(LibraryMethodsTest, DamagedItemsFailAndLeaveNoFile) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  const std::string plain = TextBytes(200000, 11) + RandomBytes(20000, 12);
  const TZipEntry bzip2 = SevenZipEntry(tmp, "item", plain, "-mm=BZip2");
  const TZipEntry lzma = SevenZipEntry(tmp, "item", plain, "-mm=LZMA:eos=off");
  const TZipEntry ppmd = SevenZipEntry(tmp, "item", plain, "-mm=PPMd -mo=6");
  ASSERT_EQ(bzip2.Method, kMethodBzip2);
  ASSERT_EQ(lzma.Method, kMethodLzma);
  ASSERT_EQ(ppmd.Method, kMethodPPMd);

  TZipEntry lzmaProps4 = lzma;
  lzmaProps4.Data[2] = 4;  // properties size 4: one byte short of lc/lp/pb + dictionary
  lzmaProps4.Data.erase(8, 1);
  lzmaProps4 = WithData(lzmaProps4, lzmaProps4.Data);
  TZipEntry bzip2Longer = bzip2;
  bzip2Longer.UncompressedSize = *bzip2.UncompressedSize + 1;
  TZipEntry ppmdOrder1 = ppmd;
  ppmdOrder1.Data[0] = static_cast<char>(ppmdOrder1.Data[0] & 0xF0);
  std::string bzip2Flipped = bzip2.Data;
  bzip2Flipped[bzip2Flipped.size() / 2] ^= 0x10;
  struct TCase {
    const char* label;
    TZipEntry entry;
    TArcErrorClass errorClass;
    int32_t code;
    const char* message;  // what decoding into a stream raises (its start)
  } cases[] = {
      {"lzma properties size 4", lzmaProps4, ecOther, 0, "LZMA \"Unsupported\" Error."},
      // Every decode step still consumed input: fewer bytes, no LZMA error.
      {"lzma cut short", WithData(lzma, lzma.Data.substr(0, lzma.Data.size() - 200)), ecArchive, kArcZipBadCRC,
       "Failed CRC Check"},
      {"bzip2 size larger than its data", bzip2Longer, ecOther, 0, "Stream read error"},
      {"bzip2 damaged block", WithData(bzip2, bzip2Flipped), ecOther, 0, "error -4"},
      {"bzip2 cut short", WithData(bzip2, bzip2.Data.substr(0, bzip2.Data.size() / 2)), ecOther, 0,
       "Stream read error"},
      {"ppmd cut short", WithData(ppmd, ppmd.Data.substr(0, ppmd.Data.size() / 2)), ecArchive, kArcReadError,
       "Error reading archive"},
      {"ppmd model order 1", ppmdOrder1, ecOther, 0, "PPMd data error: model order 1 is not valid"},
      {"wavpack not a wavpack stream", WithData(StoredEntry("item", plain), plain.substr(0, 5000)), ecOther, 0,
       "WavPack decompression failed: "},
  };
  cases[std::size(cases) - 1].entry.Method = kMethodWavPack;
  int n = 0;
  for (TCase& c : cases) {
    SCOPED_TRACE(c.label);
    c.entry.Name = "bad.bin";
    const std::string name = "damaged-" + std::to_string(++n) + ".zip";
    const fs::path target = Extract(name, {c.entry, StoredEntry("good.txt", "good")});
    EXPECT_EQ(failures, (std::vector<TItemFailure>{{"bad.bin", ptExtract, c.errorClass, c.code}}));
    EXPECT_FALSE(fs::exists(target / "bad.bin"));
    EXPECT_EQ(ReadFile(target / "good.txt"), "good");
    const std::string raised = DecodeFailure(ReadFile(tmp / name));
    EXPECT_EQ(raised.substr(0, std::strlen(c.message)), c.message);
    EXPECT_FALSE(raised.empty());
  }
}

// WavPack items built from WAV files the test makes: the extracted file is the WAV,
// byte for byte (header, samples, trailing chunk), for every sample width, mono and
// stereo. Silence in an 8-bit file comes back as bytes of 128.
TEST_F(LibraryMethodsTest, WavPackItemsGiveBackTheWavFile) {
  if (!HaveTool("wavpack")) GTEST_SKIP() << "wavpack is not installed";
  struct TCase {
    TWavFormat format;
    const char* switches;
  } cases[] = {
      {{8, 1}, ""},          {{8, 2}, ""},        {{16, 1}, ""},           {{16, 2}, "-hh"},
      {{24, 1}, "-f"},       {{24, 2}, ""},       {{32, 2}, ""},           {{32, 2, true}, ""},
      {{16, 2, false, true}, ""}, {{8, 1, false, true}, "-x"},
  };
  int n = 0;
  for (const TCase& c : cases) {
    const std::string label = std::to_string(c.format.Bits) + (c.format.Float ? "f" : "") + "-bit " +
                              std::to_string(c.format.Channels) + "ch" + (c.format.Trailer ? " trailer" : "") + " " +
                              c.switches;
    SCOPED_TRACE(label);
    // More frames than one output buffer holds, and not a multiple of the call size;
    // the 8-bit and 24-bit mono files get an odd data chunk and so a pad byte.
    const std::string wav = MakeWav(c.format, 70001 + n * 1000);
    const TZipEntry entry = WavPackEntry(tmp, "sound.wav", wav, c.switches);
    ASSERT_FALSE(entry.Data.empty());
    const fs::path target = Extract("wavpack-" + std::to_string(++n) + ".zip", {entry});
    EXPECT_TRUE(failures.empty()) << ::testing::PrintToString(failures);
    EXPECT_TRUE(ReadFile(target / "sound.wav") == wav);
    if (c.format.Bits == 8) {
      // Frames 0..99 are silence; the data chunk starts after the 44-byte header.
      EXPECT_EQ(ReadFile(target / "sound.wav").substr(44, 100 * c.format.Channels),
                std::string(100 * c.format.Channels, '\x80'));
    }
  }
}

#ifdef QELVO_UNZIP_TOOL
// qelvo-unzip names the four methods in its listing and tests such items.
TEST_F(LibraryMethodsTest, ToolListsAndTestsTheMethods) {
  if (!HaveTool("7zz") || !HaveTool("wavpack")) GTEST_SKIP() << "7zz or wavpack is not installed";
  const std::string plain = TextBytes(50000, 21);
  std::vector<TZipEntry> entries = {
      SevenZipEntry(tmp, "a.bz2.txt", plain, "-mm=BZip2"),
      SevenZipEntry(tmp, "b.lzma.txt", plain, "-mm=LZMA"),
      SevenZipEntry(tmp, "c.ppmd.txt", plain, "-mm=PPMd"),
      WavPackEntry(tmp, "d.wav", MakeWav({16, 2}, 5000)),
  };
  WriteFile(tmp / "methods.zip", BuildZip(entries));
  const std::string list = tmp.File("list.out");
  const std::string tool = ShellQuote(QELVO_UNZIP_TOOL) + " ";
  ASSERT_EQ(ShellStatus(tool + "-l methods.zip >" + ShellQuote(list), tmp.Native()), 0);
  const std::string listing = ReadFile(list);
  for (const char* line : {"BZip2", "LZMA", "PPMd", "WavPack"}) EXPECT_NE(listing.find(line), std::string::npos) << line;
  EXPECT_NE(listing.find("     50000  BZip2      "), std::string::npos) << listing;

  ASSERT_EQ(ShellStatus(tool + "-t methods.zip >" + ShellQuote(list) + " 2>&1", tmp.Native()), 0) << ReadFile(list);
  EXPECT_NE(ReadFile(list).find("4 items tested, 0 failed"), std::string::npos) << ReadFile(list);
}
#endif

}  // namespace
}  // namespace qelvo::unzip::test
