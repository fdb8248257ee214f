// Gzip and bzip2 files and compressed tars: the corpus, files gzip, bzip2 and Python
// write at test time, the gzip tail checks and the bzip2 naming rules.
#include <gtest/gtest.h>

#include <string>

#include "archive/errors.h"
#include "codecs/bzip2_archive.h"
#include "codecs/gzip_archive.h"
#include "platform/file_stream.h"
#include "tests/unzip/test_support.h"
#include "unzip/archive_type.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

class CompressedTest : public TExtractTest {
 protected:
  void Open(TArcUnZipper& unzipper, const std::string& file, bool tarAutoHandle) {
    unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
    unzipper.SetTarAutoHandle(tarAutoHandle);
    unzipper.SetTempDirectory(Win(tmp.Native()));
    unzipper.OnProcessItemFailure = [this](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType p,
                                           TArcErrorClass c, int32_t code) {
      failures.push_back({item->FileName(), p, c, code});
    };
    unzipper.SetFileName(file);
    unzipper.SetBaseDirectory(Win(out));
  }
  // Runs a shell line in tmp.
  void Sh(const std::string& line) { ASSERT_EQ(ShellStatus(line, tmp.Native()), 0) << line; }
};

TEST_F(CompressedTest, CorpusCompressedTars) {
  struct TCase {
    const char* File;
    TArcArchiveType Type;
  };
  for (const TCase c : {TCase{"Tar.tar.gz", atGzippedTar}, TCase{"Tar.tar.bz2", atBzippedTar},
                        TCase{"Tar.oldgnu.tar.gz", atGzippedTar}}) {
    SCOPED_TRACE(c.File);
    const std::string file = Win(fs::path(CorpusFolder()) / c.File);
    EXPECT_EQ(DetermineArchiveType(file), c.Type);
    TArcUnZipper unzipper;
    Open(unzipper, file, true);
    ASSERT_EQ(unzipper.Count(), 6);
    EXPECT_EQ(unzipper.Items(2)->FileName(), "exe/test.exe");
    unzipper.ExtractFiles("*.*");
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(fs::file_size(out / "exe/test.exe"), 45056u);
    EXPECT_EQ(fs::file_size(out / "jpg/test.jpg"), 40372u);
    unzipper.TagItems("*.*");
    unzipper.TestTaggedItems();
    // Off shows the one compressed item, which holds the whole tar.
    unzipper.SetTarAutoHandle(false);
    ASSERT_EQ(unzipper.Count(), 1);
    rtl::TMemoryStream tar;
    unzipper.Archive()->ExtractItemByIndexToStream(0, &tar);
    EXPECT_EQ(tar.Size() % 512, 0);
    EXPECT_GT(tar.Size(), 100000);
    unzipper.SetTarAutoHandle(true);
    EXPECT_EQ(unzipper.Count(), 6);
  }
}

TEST_F(CompressedTest, GzipFilesFromGzipAndPython) {
  if (!HaveTool("gzip") || !HaveTool("python3")) GTEST_SKIP();
  const std::string text = TextBytes(100000);
  WriteFile(tmp / "a.txt", text);
  Sh("gzip -k -c a.txt > named.gz && gzip -n -c a.txt > plain.gz");
  // Every optional header field, written by hand around zlib's raw deflate.
  WriteFile(tmp / "mk.py",
            "import zlib,struct,sys\n"
            "d=open('a.txt','rb').read()\n"
            "c=zlib.compressobj(9,zlib.DEFLATED,-15);z=c.compress(d)+c.flush()\n"
            "h=bytes([31,139,8,2|4|8|16])+struct.pack('<I',1700000000)+bytes([0,3])\n"
            "x=b'AB'+struct.pack('<H',3)+b'xyz'\n"
            "h+=struct.pack('<H',len(x))+x+b'full.txt\\0'+b'a comment\\0'\n"
            "h+=struct.pack('<H',zlib.crc32(h)&0xffff)\n"
            "t=struct.pack('<II',zlib.crc32(d),len(d))\n"
            "open('full.gz','wb').write(h+z+t)\n"
            "open('badcrc.gz','wb').write(h+z+struct.pack('<II',zlib.crc32(d)^1,len(d)))\n"
            "open('badsize.gz','wb').write(h+z+struct.pack('<II',zlib.crc32(d),len(d)+1))\n");
  Sh("python3 mk.py");
  struct TCase {
    const char* File;
    const char* Name;
  };
  for (const TCase c : {TCase{"named.gz", "a.txt"}, TCase{"plain.gz", "unknown"}, TCase{"full.gz", "full.txt"}}) {
    SCOPED_TRACE(c.File);
    TArcUnZipper unzipper;
    Open(unzipper, Win(tmp / c.File), true);
    EXPECT_EQ(unzipper.ArchiveType(), atGzip);
    ASSERT_EQ(unzipper.Count(), 1);
    EXPECT_EQ(unzipper.Items(0)->FileName(), c.Name);
    EXPECT_EQ(unzipper.Items(0)->UncompressedSize(), 100000);
    EXPECT_NO_THROW(unzipper.TestAt(0));
    unzipper.ExtractFiles("*.*");
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(ReadFile(out / c.Name), text);
  }
  {
    TArcUnZipper gz;
    Open(gz, Win(tmp / "full.gz"), true);
    auto* archive = dynamic_cast<codecs::TArcGzipArchive*>(gz.Archive());
    ASSERT_NE(archive, nullptr);
    auto* item = dynamic_cast<codecs::TArcGzipItem*>(gz.Items(0));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->FFileComment, "a comment");
    EXPECT_TRUE(item->FExtraField.Has(0x4241));
  }

  // The tail is checked in tests and on extraction; a failed file is not left behind.
  struct TBad {
    const char* File;
    int32_t Code;
  };
  for (const TBad b : {TBad{"badcrc.gz", kArcGzipBadCRC}, TBad{"badsize.gz", kArcGzipBadFileSize}}) {
    SCOPED_TRACE(b.File);
    failures.clear();
    fs::remove(out / "full.txt");
    TArcUnZipper unzipper;
    Open(unzipper, Win(tmp / b.File), true);
    try {
      unzipper.TestAt(0);
      ADD_FAILURE() << "test passed";
    } catch (const EArcException& e) {
      EXPECT_EQ(e.ErrorCode, b.Code);
    }
    unzipper.ExtractFiles("*.*");
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].ErrorCode, b.Code);
    EXPECT_FALSE(fs::exists(out / "full.txt"));
  }
}

TEST_F(CompressedTest, MultiMemberGzip) {
  if (!HaveTool("gzip")) GTEST_SKIP();
  WriteFile(tmp / "one", "first part\n");
  WriteFile(tmp / "two", TextBytes(50000, 2));
  Sh("gzip -c one > m.gz && gzip -c two >> m.gz");
  TArcUnZipper unzipper;
  Open(unzipper, Win(tmp / "m.gz"), true);
  ASSERT_EQ(unzipper.Count(), 1);
  EXPECT_NO_THROW(unzipper.TestAt(0));
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(ReadFile(out / "one"), "first part\n" + TextBytes(50000, 2));
}

TEST_F(CompressedTest, Bzip2FilesAndNames) {
  if (!HaveTool("bzip2") || !HaveTool("tar")) GTEST_SKIP();
  const std::string data = TextBytes(300000, 7);
  WriteFile(tmp / "src/notes", data);
  WriteFile(tmp / "src/sub/x.bin", RandomBytes(5000, 8));
  for (int level = 1; level <= 9; level += 4) {
    SCOPED_TRACE(level);
    const std::string l = std::to_string(level);
    Sh("bzip2 -" + l + " -c src/notes > notes.bz2 && cp notes.bz2 data.tbz && tar -C src -cf - . | bzip2 -" + l +
       " > t" + l + ".tbz");
    for (const auto& [file, name] : {std::pair{"notes.bz2", "notes"}, std::pair{"data.tbz", "data.tar"}}) {
      TArcUnZipper unzipper;
      Open(unzipper, Win(tmp / file), true);
      ASSERT_EQ(unzipper.Count(), 1);
      EXPECT_EQ(unzipper.Items(0)->FileName(), name);
      EXPECT_NO_THROW(unzipper.TestAt(0));
      unzipper.ExtractFiles("*.*");
      EXPECT_EQ(ReadFile(out / name), data);
    }
    TArcUnZipper tar;
    Open(tar, Win(tmp / ("t" + l + ".tbz")), true);
    EXPECT_EQ(tar.ArchiveType(), atBzippedTar);
    tar.ExtractFiles("*.*");
    EXPECT_EQ(failures, std::vector<TItemFailure>{});
    EXPECT_EQ(ReadFile(out / "sub/x.bin"), RandomBytes(5000, 8));
  }
  // Fewer than 1024 decoded bytes: not recognised.
  WriteFile(tmp / "tiny", "tiny");
  Sh("bzip2 -c tiny > tiny.bz2");
  platform::TFileStream tiny(Win(tmp / "tiny.bz2"), platform::fmOpenRead | platform::fmShareDenyNone);
  EXPECT_EQ(ProbeBzip2(tiny), atUnknown);
  EXPECT_EQ(codecs::Bzip2ItemName(""), "unknown");
  EXPECT_EQ(codecs::Bzip2ItemName("C:\\x\\PACK.TBZ2"), "PACK.tar");
}

}  // namespace
}  // namespace qelvo::unzip::test
