// qelvo-unzip as a user runs it: its output and its exit status (0 all items fine,
// 1 some item failed, 2 the archive could not be opened or the command line is wrong).
#include <gtest/gtest.h>

#include "tests/unzip/test_support.h"

namespace qelvo::unzip::test {
namespace {

#ifdef QELVO_UNZIP_TOOL

struct TRun {
  int status;
  std::string out;
  std::string err;
};

class ToolTest : public ::testing::Test {
 protected:
  TempFolder tmp;

  TRun Run(const std::string& args) {
    const std::string cmd = ShellQuote(QELVO_UNZIP_TOOL) + " " + args + " >" + ShellQuote((tmp / "stdout").string()) + " 2>" +
                            ShellQuote((tmp / "stderr").string());
    TRun r{ShellStatus(cmd, tmp.Native()), "", ""};
    r.out = ReadFile(tmp / "stdout");
    r.err = ReadFile(tmp / "stderr");
    return r;
  }
  std::string Make(const std::string& name, const std::vector<TZipEntry>& entries) {
    WriteFile(tmp / name, BuildZip(entries));
    return ShellQuote((tmp / name).string());
  }
};

TEST_F(ToolTest, ExtractsIntoTheGivenFolder) {
  const std::string zip = Make("ok.zip", {StoredEntry("a.txt", "alpha"), FolderEntry("d/"),
                                          DeflatedEntry("d/b.log", TextBytes(20000))});
  const TRun r = Run("-q " + zip + " -d out/new");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(ReadFile(tmp / "out/new/a.txt"), "alpha");
  EXPECT_EQ(ReadFile(tmp / "out/new/d/b.log"), TextBytes(20000));

  // Masks select items; -x is the default command; without -d the current folder.
  const TRun masked = Run("-x " + zip + " '*.log'");
  EXPECT_EQ(masked.status, 0) << masked.err;
  EXPECT_TRUE(fs::exists(tmp / "d/b.log"));
  EXPECT_FALSE(fs::exists(tmp / "a.txt"));
  EXPECT_NE(masked.out.find("0 failed"), std::string::npos) << masked.out;
}

TEST_F(ToolTest, ItemFailuresExitWithOne) {
  TZipEntry tokenized = StoredEntry("tokenized.txt", "abc");
  tokenized.Method = 7;
  TZipEntry bad = DeflatedEntry("bad.txt", TextBytes(1000));
  *bad.Crc ^= 1;
  const std::string zip = Make("mixed.zip", {tokenized, bad, StoredEntry("ok.txt", "ok")});
  const TRun r = Run(zip + " -d out");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("tokenized.txt: ecArchive 2: Cannot extract file - unsupported compression method"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("bad.txt: ecArchive 19: Failed CRC Check"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(tmp / "out/ok.txt"), "ok");
  EXPECT_FALSE(fs::exists(tmp / "out/bad.txt"));
}

TEST_F(ToolTest, PasswordOption) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  WriteFile(tmp / "src/secret.txt", "hidden");
  ASSERT_EQ(ShellStatus("zip -q -P pw ../enc.zip secret.txt", tmp / "src"), 0);
  EXPECT_EQ(Run("-q enc.zip -d out -P pw").status, 0);
  EXPECT_EQ(ReadFile(tmp / "out/secret.txt"), "hidden");
  const TRun missing = Run("-q enc.zip -d out2");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("secret.txt: ecArchive 4: Cannot extract file - invalid password"), std::string::npos)
      << missing.err;
}

TEST_F(ToolTest, ListsItems) {
  TZipEntry dated = DeflatedEntry("dir/x.txt", TextBytes(5000));
  dated.Time = (9 << 11) | (8 << 5);  // 09:08
  dated.Date = (42 << 9) | (3 << 5) | 4;  // 2022-03-04
  const std::string zip = Make("list.zip", {StoredEntry("a.txt", "alpha"), dated});
  const TRun r = Run("-l " + zip);
  EXPECT_EQ(r.status, 0) << r.err;
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", Crc32("alpha"));
  EXPECT_NE(r.out.find("         5  Stored     " + std::string(crc) + "  2025-01-01 12:00  a.txt"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("      5000  Deflated"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2022-03-04 09:08  dir/x.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 items"), std::string::npos) << r.out;
}

TEST_F(ToolTest, TestsEveryItem) {
  TZipEntry bad = StoredEntry("bad.txt", "damaged");
  *bad.Crc ^= 2;
  TZipEntry described = StoredEntry("described.txt", "dd");
  described.Flags |= 0x08;
  described.ZeroLocalSizes = true;
  const std::string good = Make("good.zip", {StoredEntry("a.txt", "a"), DeflatedEntry("b.txt", TextBytes(3000))});
  const TRun ok = Run("-t " + good);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find("2 items tested, 0 failed"), std::string::npos) << ok.out;

  const TRun r = Run("-t " + Make("bad.zip", {bad, described, StoredEntry("c.txt", "c")}));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad.txt: ecArchive 19: Failed CRC Check"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("described.txt: ecArchive 22: Invalid Local File Header entry"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("c.txt"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("3 items tested, 2 failed"), std::string::npos) << r.out;

  // Zip64 sizes in the local header are compared with the central ones.
  if (HaveTool("zip")) {
    WriteFile(tmp / "src/z.txt", TextBytes(1000));
    ASSERT_EQ(ShellStatus("zip -q -fz ../zip64.zip z.txt", tmp / "src"), 0);
    const TRun z = Run("-t zip64.zip");
    EXPECT_EQ(z.status, 0) << z.err;
  }
}

// The legacy methods are listed by name and tested item by item.
TEST_F(ToolTest, LegacyMethodsListAndTest) {
  struct TCase {
    const char* file;
    const char* method;
  } cases[] = {{"Zip.shrink.zip", "Shrunk"},     {"Zip.reduce1.zip", "Reduced1"}, {"Zip.reduce2.zip", "Reduced2"},
               {"Zip.reduce3.zip", "Reduced3"}, {"Zip.reduce4.zip", "Reduced4"}, {"Zip.implode.zip", "Imploded"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string zip = ShellQuote((fs::path(CorpusFolder()) / c.file).string());
    const TRun list = Run("-l " + zip);
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find(std::string("  ") + c.method + " "), std::string::npos) << list.out;
    const TRun test = Run("-t " + zip);
    EXPECT_EQ(test.status, 0) << test.err;
    EXPECT_NE(test.out.find("3 items tested, 0 failed"), std::string::npos) << test.out;
  }
}

TEST_F(ToolTest, OpeningAndUsageFailuresExitWithTwo) {
  WriteFile(tmp / "page.zip", "<html></html>");
  WriteFile(tmp / "empty.zip", "");
  struct TCase {
    const char* args;
    const char* message;
  } cases[] = {
      {"missing.zip", "cannot open missing.zip: File not found"},
      {"-l empty.zip", "cannot open empty.zip: Invalid Stream"},
      {"-t page.zip", "cannot open page.zip: Unhandled Archive Type"},
      {"", "no archive given"},
      {"-k a.zip", "unknown option -k"},
      {"a.zip -d", "option -d needs a value"},
      {"-l -t a.zip", "only one of -l, -t and -x may be given"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.args);
    const TRun r = Run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

TEST_F(ToolTest, SplitSetGivenByItsLastPart) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip not installed";
  const std::string big = RandomBytes(150000, 5), text = TextBytes(90000, 6);
  WriteFile(tmp / "in/big.bin", big);
  WriteFile(tmp / "in/notes.txt", text);
  ASSERT_EQ(ShellStatus("zip -q -s 64k set.zip in/big.bin in/notes.txt", tmp.Native()), 0);
  ASSERT_TRUE(fs::exists(tmp / "set.z02"));

  const TRun list = Run("-l set.zip");
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("in/big.bin"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("2 items"), std::string::npos) << list.out;
  const TRun test = Run("-t set.zip");
  EXPECT_EQ(test.status, 0) << test.err;
  EXPECT_NE(test.out.find("2 items tested, 0 failed"), std::string::npos) << test.out;
  const TRun extract = Run("-x -q set.zip -d out");
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_TRUE(ReadFile(tmp / "out/in/big.bin") == big);
  EXPECT_TRUE(ReadFile(tmp / "out/in/notes.txt") == text);

  // The first part is not the archive; the message says which file to give.
  const TRun first = Run("-l set.z01");
  EXPECT_EQ(first.status, 2);
  EXPECT_NE(first.err.find("give its last part"), std::string::npos) << first.err;
  // A missing part fails the items in it, named by the part.
  fs::remove(tmp / "set.z02");
  const TRun missing = Run("-t set.zip");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("in/big.bin: ecFileOpenError"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("set.z02"), std::string::npos) << missing.err;
}

#endif  // QELVO_UNZIP_TOOL

}  // namespace
}  // namespace qelvo::unzip::test

#ifdef QELVO_UNZIP_TOOL
namespace qelvo::unzip::test {
namespace {

// The tool shows a compressed tar's items: listed, tested and extracted.
TEST_F(ToolTest, CompressedTarsShowTheirItems) {
  for (const char* file : {"Tar.tar.gz", "Tar.tar.bz2", "Tar.tar"}) {
    SCOPED_TRACE(file);
    const std::string path = ShellQuote((fs::path(CorpusFolder()) / file).string());
    const TRun list = Run("-l " + path);
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("exe/test.exe"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("6 items"), std::string::npos) << list.out;
    const TRun test = Run("-t " + path);
    EXPECT_EQ(test.status, 0) << test.err;
    const TRun extract = Run("-q " + path + " -d out");
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(fs::file_size(tmp / "out/jpg/test.jpg"), 40372u);
    fs::remove_all(tmp / "out");
  }
}

}  // namespace
}  // namespace qelvo::unzip::test
#endif  // QELVO_UNZIP_TOOL
