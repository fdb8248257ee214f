// Tar archives: the corpus, archives GNU tar and Python's tarfile write at test time, the
// header number rules and the confinement of names and links.
#include <gtest/gtest.h>

#include <algorithm>

#include <map>
#include <string>
#include <vector>

#include "archive/errors.h"
#include "codecs/tar_archive.h"
#include "rtl/stream.h"
#include "tests/unzip/test_support.h"
#include "unzip/archive_type.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

struct TListed {
  std::string Name;
  int64_t Size;
  bool Folder;
  bool operator==(const TListed&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TListed& l) {
  return os << l.Name << " " << l.Size << (l.Folder ? " dir" : "");
}

std::vector<TListed> ListOf(TArcUnZipper& unzipper) {
  std::vector<TListed> list;
  for (int i = 0; i < unzipper.Count(); ++i) {
    TArcArchiveItem* item = unzipper.Items(i);
    list.push_back({item->FileName(), item->UncompressedSize(), item->IsDirectory()});
  }
  return list;
}

class TarTest : public TExtractTest {
 protected:
  void Open(TArcUnZipper& unzipper, const std::string& file) {
    unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
    unzipper.OnProcessItemFailure = [this](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType p,
                                           TArcErrorClass c, int32_t code) {
      failures.push_back({item->FileName(), p, c, code});
    };
    unzipper.SetFileName(file);
    unzipper.SetBaseDirectory(Win(out));
  }
  // Builds tmp/src from files (name -> content; a name ending in "/" is a folder).
  void MakeSource(const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) {
      if (name.back() == '/')
        fs::create_directories(tmp / "src" / name);
      else
        WriteFile(tmp / "src" / name, content);
    }
  }
};

TEST_F(TarTest, CorpusTarListsAndExtracts) {
  TArcUnZipper unzipper;
  Open(unzipper, Win(fs::path(CorpusFolder()) / "Tar.tar"));
  EXPECT_EQ(unzipper.ArchiveType(), atTar);
  ASSERT_EQ(unzipper.Count(), 6);
  EXPECT_EQ(ListOf(unzipper)[2], (TListed{"exe/test.exe", 45056, false}));
  EXPECT_EQ(ListOf(unzipper)[4], (TListed{"jpg/test.jpg", 40372, false}));
  EXPECT_TRUE(unzipper.Items(0)->IsDirectory());
  unzipper.ExtractFiles("*.*");
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(fs::file_size(out / "exe/test.exe"), 45056u);
  EXPECT_TRUE(fs::is_directory(out / "Empty"));
  unzipper.TagItems("*.*");
  unzipper.TestTaggedItems();
  EXPECT_TRUE(failures.empty());
}

TEST_F(TarTest, CorpusExtensionHeaders) {
  struct TCase {
    const char* File;
    std::vector<TListed> Expected;
    bool ReadOnly;
  };
  const std::string longDir =
      "wp-content/plugins/gravityformsextend/lib/Aws/Symfony/Component/ClassLoader/Tests/Fixtures/Apc/beta/Apc/"
      "ApcPrefixCollision/A/B/";
  const TCase cases[] = {
      {"Tar.PaxLocalHeader.tar", {{"pax/overridden-name.txt", 10, false}, {"second.txt", 2, false}}, true},
      {"Tar.PaxGlobalHeader.tar",
       {{"global-one.txt", 5, false}, {"global-local-override.txt", 6, false}, {"global-three.txt", 5, false}},
       true},
      {"Tar.Empty.tar", {}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    TArcUnZipper unzipper;
    Open(unzipper, Win(fs::path(CorpusFolder()) / c.File));
    EXPECT_EQ(ListOf(unzipper), c.Expected);
    if (auto* tar = dynamic_cast<codecs::TArcTarArchive*>(unzipper.Archive())) {
      EXPECT_EQ(tar->ArchReadOnly(), c.ReadOnly);
    }
    unzipper.ExtractFiles("*.*");
    EXPECT_TRUE(failures.empty());
    for (const TListed& l : c.Expected) EXPECT_EQ(fs::file_size(out / l.Name), static_cast<uintmax_t>(l.Size));
  }
  TArcUnZipper unzipper;
  Open(unzipper, Win(fs::path(CorpusFolder()) / "Tar.LongPathsWithLongNameExtension.tar"));
  ASSERT_EQ(unzipper.Count(), 19);
  EXPECT_EQ(unzipper.Items(16)->FileName(), longDir + "Bar.php");
  EXPECT_EQ(unzipper.Items(18)->FileName(), "a.txt");
  unzipper.ExtractFiles("*.*");
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(fs::file_size(out / (longDir + "Foo.php")), 1u);
}

TEST_F(TarTest, GnuTarFormats) {
  if (!HaveTool("tar")) GTEST_SKIP() << "GNU tar missing";
  const std::string longName = std::string(150, 'n') + ".txt";
  MakeSource({{"dir/", ""},
              {"dir/a.txt", "alpha\n"},
              {"dir/big.bin", TextBytes(70000)},
              {"deep/" + std::string(120, 'p') + "/x.txt", "deep\n"},
              {longName, "long\n"}});
  ASSERT_TRUE(RunShell("cd " + ShellQuote((tmp / "src").string()) + " && ln -s dir/a.txt link && ln dir/a.txt hard"));
  struct TCase {
    const char* Format;
    bool LongNames;
  };
  for (const TCase c : {TCase{"v7", false}, TCase{"ustar", false}, TCase{"gnu", true}, TCase{"posix", true},
                        TCase{"oldgnu", true}}) {
    SCOPED_TRACE(c.Format);
    const fs::path tarFile = tmp / (std::string(c.Format) + ".tar");
    const std::string members = c.LongNames ? "dir link hard deep " + longName : "dir link hard";
    ASSERT_TRUE(RunQuiet("tar --format=" + std::string(c.Format) + " -cf " + ShellQuote(tarFile.string()) + " -C " +
                         ShellQuote((tmp / "src").string()) + " " + members));
    const fs::path dest = out / c.Format;
    fs::create_directories(dest);
    TArcUnZipper unzipper;
    Open(unzipper, Win(tarFile));
    unzipper.SetBaseDirectory(Win(dest));
    unzipper.ExtractFiles("*.*");
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(ReadFile(dest / "dir/a.txt"), "alpha\n");
    EXPECT_EQ(ReadFile(dest / "dir/big.bin"), TextBytes(70000));
    // Links become plain files, never links.
    EXPECT_FALSE(fs::is_symlink(dest / "link"));
    EXPECT_TRUE(fs::is_regular_file(dest / "link"));
    if (c.LongNames) {
      EXPECT_EQ(ReadFile(dest / longName), "long\n");
      EXPECT_EQ(ReadFile(dest / "deep" / std::string(120, 'p') / "x.txt"), "deep\n");
    }
    unzipper.TagItems("*.*");
    unzipper.TestTaggedItems();
    EXPECT_TRUE(failures.empty());
  }
}

TEST_F(TarTest, PythonPaxLongAndUtf8Names) {
  if (!HaveTool("python3")) GTEST_SKIP();
  const std::string name200 = std::string(96, 'a') + "/" + std::string(103, 'b');
  const std::string utf8 = "d\xc3\xa9j\xc3\xa0/\xe6\x97\xa5\xe6\x9c\xac.txt";
  const fs::path tarFile = tmp / "py.tar";
  const std::string script =
      "import tarfile,io,sys\n"
      "t=tarfile.open(sys.argv[1],'w',format=tarfile.PAX_FORMAT)\n"
      "for n,d in (('" + name200 + "',b'two hundred'),(sys.argv[2],b'utf8'*300)):\n"
      "  i=tarfile.TarInfo(n);i.size=len(d);i.mtime=1700000000;t.addfile(i,io.BytesIO(d))\n"
      "t.close()\n";
  WriteFile(tmp / "mk.py", script);
  ASSERT_TRUE(RunShell("python3 " + ShellQuote((tmp / "mk.py").string()) + " " + ShellQuote(tarFile.string()) +
                       " " + ShellQuote(utf8)));
  TArcUnZipper unzipper;
  Open(unzipper, Win(tarFile));
  ASSERT_EQ(unzipper.Count(), 2);
  EXPECT_EQ(unzipper.Items(0)->FileName(), name200);
  EXPECT_EQ(unzipper.Items(1)->FileName(), utf8);
  unzipper.ExtractFiles("*.*");
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadFile(out / name200), "two hundred");
  EXPECT_EQ(fs::file_size(out / Utf8Path(utf8)), 1200u);
}

// Hand-made headers: the checksum is filled in last.
std::string TarHeader(const std::string& name, char flag, const std::string& sizeField,
                      const std::string& linkName = "", const std::string& prefix = "") {
  std::string h(512, '\0');
  h.replace(0, name.size(), name);
  h.replace(100, 7, "0000644");
  h.replace(124, sizeField.size(), sizeField);
  h.replace(136, 11, "14222222222");
  h[156] = flag;
  h.replace(157, linkName.size(), linkName);
  h.replace(257, 6, std::string("ustar\0", 6));
  h.replace(263, 2, "00");
  h.replace(345, prefix.size(), prefix);
  h.replace(148, 8, "        ");
  unsigned sum = 0;
  for (unsigned char ch : h) sum += ch;
  char field[8];
  std::snprintf(field, sizeof field, "%06o", sum);
  h.replace(148, 7, std::string(field, 7));
  return h;
}

std::string Padded(std::string data) {
  data.resize((data.size() + 511) / 512 * 512, '\0');
  return data;
}

TEST_F(TarTest, HeaderEdgeCases) {
  // A size field of spaces, digits and a space; the ustar prefix; a base-256 size.
  std::string base256(12, '\0');
  base256[0] = static_cast<char>(0x80);
  base256[11] = 3;
  const std::string tar = TarHeader("f", '0', "     12 ", "", "dir") + Padded("0123456789") +
                          TarHeader("g", '0', base256) + Padded("abc") + std::string(1024, '\0');
  TArcUnZipper unzipper;
  Open(unzipper, Make("edge.tar", tar));
  ASSERT_EQ(unzipper.Count(), 2);
  EXPECT_EQ(ListOf(unzipper)[0], (TListed{"dir/f", 10, false}));
  EXPECT_EQ(ListOf(unzipper)[1], (TListed{"g", 3, false}));
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(ReadFile(out / "dir/f"), "0123456789");
  EXPECT_EQ(ReadFile(out / "g"), "abc");
  EXPECT_EQ(codecs::OctalToInt("     12 "), 10);
  EXPECT_EQ(codecs::OctalToInt("        "), 0);
}

TEST_F(TarTest, NamesAndLinksStayInsideTheBaseFolder) {
  const std::string tar = TarHeader("ok.txt", '0', "2") + Padded("ok") + TarHeader("../escape.txt", '0', "3") + Padded("bad") +
                          TarHeader("/abs.txt", '0', "3") + Padded("abs") +
                          TarHeader("up", '2', "0", "../../outside") +
                          TarHeader("up/through.txt", '0', "3") + Padded("lnk") + std::string(1024, '\0');
  TArcUnZipper unzipper;
  Open(unzipper, Make("evil.tar", tar));
  // "up" is a file by then, so the folder for the last item cannot be made: that item
  // fails on its own, and nothing lands outside.
  std::vector<std::string> failed;
  unzipper.OnProcessItemFailure = [&](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType, TArcErrorClass,
                                      int32_t) { failed.push_back(item->FileName()); };
  unzipper.ExtractFiles("*.*");
  EXPECT_NE(std::find(failed.begin(), failed.end(), "up/through.txt"), failed.end());
  EXPECT_FALSE(fs::exists(tmp / "escape.txt"));
  EXPECT_FALSE(fs::exists(tmp / "outside"));
  EXPECT_FALSE(fs::is_symlink(out / "up"));
  EXPECT_EQ(ReadFile(out / "ok.txt"), "ok");
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(tmp.Native()))) {
    const std::string rel = fs::relative(entry.path(), fs::path(tmp.Native())).string();
    EXPECT_TRUE(rel.rfind("out", 0) == 0 || rel == "evil.tar") << rel;
  }
}

TEST_F(TarTest, DamagedArchives) {
  // A bad checksum fails the test of that item; a truncated item fails its extraction.
  std::string tar = TarHeader("a.txt", '0', "5") + Padded("hello") + TarHeader("bad.txt", '0', "1") + Padded("z") +
                    TarHeader("b.txt", '0', "2000") + "short";
  tar[1024 + 40] = 'x';  // breaks the second checksum
  TArcUnZipper unzipper;
  Open(unzipper, Make("bad.tar", tar));
  ASSERT_EQ(unzipper.Count(), 3);
  EXPECT_NO_THROW(unzipper.TestAt(0));
  EXPECT_THROW(unzipper.TestAt(1), EArcTarInvalid);
  unzipper.ExtractFiles("b.txt");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_FALSE(fs::exists(out / "b.txt"));

  TArcUnZipper corpus;
  Open(corpus, Win(fs::path(CorpusFolder()) / "TarCorrupted.tar"));
  EXPECT_GT(corpus.Count(), 0);
  corpus.ExtractFiles("*.*");
}

TEST(TarProbe, AnswersOnlyForPassingChecksums) {
  rtl::TMemoryStream good;
  const std::string h = TarHeader("x", '0', "0");
  good.WriteBuffer(h.data(), 512);
  good.Seek(0, rtl::soBeginning);
  EXPECT_EQ(ProbeTar(good), atTar);
  EXPECT_EQ(good.Position(), 0);
  rtl::TMemoryStream shortStream;
  shortStream.WriteBuffer(h.data(), 100);
  shortStream.Seek(0, rtl::soBeginning);
  EXPECT_EQ(ProbeTar(shortStream), atUnknown);
}

}  // namespace
}  // namespace qelvo::unzip::test
