// qelvo-unzip as a user runs it: its output and its exit status (0 all items fine,
// 1 some item failed, 2 the archive could not be opened or the command line is wrong).
#include <gtest/gtest.h>

#include <cerrno>
#include <regex>

#include "platform/os_error.h"
#include "tests/support/environment.h"
#include "tests/unzip/test_support.h"

namespace qelvo::unzip::test {
namespace {

#ifdef QELVO_UNZIP_TOOL

struct TRun {
  int status = -1;
  std::string out;
  std::string err;
};

class ToolTest : public ::testing::Test {
 protected:
  TempFolder tmp;

  TRun Run(const std::string& args) {
    const std::string cmd = ShellQuote(QELVO_UNZIP_TOOL) + " " + args + " >" + ShellQuote((tmp / "stdout").string()) + " 2>" +
                            ShellQuote((tmp / "stderr").string());
    TRun r;
    for (int attempt = 0; attempt < 2; ++attempt) {
      r = {ShellStatus(cmd, tmp.Native()), "", ""};
      r.out = ReadFile(tmp / "stdout");
      r.err = ReadFile(tmp / "stderr");
      if (!WineLostTheRun(r.status, r.out + r.err)) break;
    }
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
  EXPECT_NE(r.err.find("tokenized.txt: unsupported compression method 7 (tokenized) [2]"), std::string::npos)
      << "err: " << r.err << "\nout: " << r.out;
  EXPECT_NE(r.err.find("bad.txt: CRC mismatch [19]"), std::string::npos) << r.err;
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
  EXPECT_NE(missing.err.find("secret.txt: encrypted: a password is required (-P) [4]"), std::string::npos)
      << missing.err;
  const TRun wrong = Run("-q enc.zip -d out3 -P nope");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("secret.txt: wrong password [4]"), std::string::npos) << wrong.err;
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
  EXPECT_NE(r.err.find("bad.txt: CRC mismatch [19]"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("described.txt: local header does not match the central directory [22]"), std::string::npos)
      << r.err;
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
      {"-n -o a.zip", "only one of -n and -o may be given"},
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
  EXPECT_NE(missing.err.find("in/big.bin: "), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("set.z02"), std::string::npos) << missing.err;
}

TEST_F(ToolTest, HelpAndVersion) {
  for (const char* args : {"-h", "--help", "-l a.zip --help"}) {
    SCOPED_TRACE(args);
    const TRun r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("usage: qelvo-unzip", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("-n  never overwrite"), std::string::npos) << r.out;
  }
  const TRun v = Run("--version");
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("qelvo-unzip ", 0), 0u) << v.out;
}

TEST_F(ToolTest, UnmatchedMaskExitsWithOne) {
  const std::string zip = Make("m.zip", {StoredEntry("a.txt", "a"), StoredEntry("b.log", "b")});
  const TRun r = Run(zip + " -d out '*.txt' '*.doc'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("caution: filename not matched: *.doc"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("*.txt"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(tmp / "out/a.txt"), "a");
}

// Default and -o replace an existing file; -n keeps it and says so in the summary.
TEST_F(ToolTest, OverwriteOptions) {
  const std::string zip = Make("o.zip", {StoredEntry("f.txt", "new")});
  const struct {
    const char* option;
    const char* content;
  } cases[] = {{"", "new"}, {"-o", "new"}, {"-n", "old"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    WriteFile(tmp / "out/f.txt", "old");
    const TRun r = Run(zip + " -d out " + c.option);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(tmp / "out/f.txt"), c.content);
    EXPECT_EQ(r.out.find("kept (not overwritten)") != std::string::npos, std::string(c.option) == "-n") << r.out;
  }
}

// Names and reasons reach the terminal with their control characters escaped.
TEST_F(ToolTest, ControlCharactersAreEscaped) {
  TZipEntry bad = StoredEntry("red\x1b[31m\x07.txt", "x");
  *bad.Crc ^= 1;
  const std::string zip = Make("esc.zip", {bad});
  for (const char* command : {"-l ", "-t ", ""}) {
    SCOPED_TRACE(command);
    const TRun r = Run(command + zip + (*command ? "" : " -d out"));
    const std::string all = r.out + r.err;
    EXPECT_EQ(all.find('\x1b'), std::string::npos) << all;
    EXPECT_EQ(all.find('\x07'), std::string::npos) << all;
    EXPECT_NE(all.find("red\\x1b[31m\\x07.txt"), std::string::npos) << all;
  }
}

// A size near INT64_MAX is summed without wrapping: the total stays positive and exact.
TEST_F(ToolTest, ListTotalDoesNotOverflow) {
  std::vector<TZipEntry> entries;
  for (const char* name : {"big1", "big2"}) {
    TZipEntry e = StoredEntry(name, "");
    e.UncompressedSize = 0xFFFFFFFFu;
    std::string sizes;
    AppendLe64(sizes, 0x7FFFFFFFFFFFFFF0ull);
    e.CentralExtra = SubField(0x0001, sizes);
    entries.push_back(e);
  }
  const TRun r = Run("-l " + Make("big.zip", entries));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("18446744073709551584"), std::string::npos) << r.out;
}

// A file that cannot grow (the size limit stands in for a full disk) fails the item with
// the OS's reason and the path; nothing is left under the item's name.
TEST_F(ToolTest, FullDiskNamesTheReasonAndThePath) {
  const std::string zip = Make("big.zip", {StoredEntry("big.bin", std::string(1 << 20, 'z')), StoredEntry("s.txt", "s")});
  const std::string cmd = "trap '' XFSZ; ulimit -f 256; " + ShellQuote(QELVO_UNZIP_TOOL) + " -q " + zip + " -d out >" +
                          ShellQuote((tmp / "stdout").string()) + " 2>" + ShellQuote((tmp / "stderr").string());
  const int status = ShellStatus("sh -c " + ShellQuote(cmd), tmp.Native());
  const std::string err = ReadFile(tmp / "stderr");
  EXPECT_EQ(status, 1) << err;
  EXPECT_NE(err.find("big.bin: Cannot write"), std::string::npos) << err;
  // "...big.bin": REASON [ecInOutError CODE]: the system's own text for its code. Wine
  // turns the Linux size limit into a general failure; a real full disk is the platform
  // suite's (FileStreamFullDisk).
  std::smatch m;
  ASSERT_TRUE(std::regex_search(err, m, std::regex("big\\.bin\": ([^\\[\n]+) \\[ecInOutError ([0-9]+)\\]"))) << err;
  EXPECT_EQ(m[1].str(), platform::SysErrorMessage(std::stoi(m[2].str())));
#ifndef _WIN32
  EXPECT_EQ(m[2].str(), std::to_string(EFBIG));
#endif
  EXPECT_FALSE(fs::exists(tmp / "out/big.bin"));
  EXPECT_EQ(ReadFile(tmp / "out/s.txt"), "s");
  for (const auto& e : fs::directory_iterator(tmp / "out")) EXPECT_NE(e.path().filename().string().rfind("~qz", 0), 0u);
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
