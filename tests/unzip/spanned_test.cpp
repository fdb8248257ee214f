// Split and spanned sets through the unzip component, the way the installer unpacks:
// sets written by Info-ZIP zip -s (deflated and stored, several part sizes) and the
// corpus sets, parts renamed through OnRequestImage, a missing part, disks asked for
// through the component's event, and 7-Zip's volume pieces, which are not a ZIP set.
#include <gtest/gtest.h>

#include "archive/errors.h"
#include "tests/archive/split_sets.h"
#include "tests/unzip/test_support.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;
using archive::testing::MakeSplitSet;
using archive::testing::ScopedRemovableDrives;
using archive::testing::SetParts;

class SpannedExtraction : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip not installed";
    files_ = {{"src/text.txt", TextBytes(400000, 3)},
              {"src/noise.bin", RandomBytes(180000, 4)},
              {"src/sub/small.txt", "small"},
              {"src/sub/empty.txt", ""}};
    for (const auto& [name, data] : files_) tmp_.Write(name, data);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> n;
    for (const auto& f : files_) n.push_back(f.first);
    return n;
  }
  void ExpectExtracted(const fs::path& out) {
    for (const auto& [name, data] : files_) EXPECT_TRUE(ReadFile(out / name) == data) << name;
  }

  TempFolder tmp_{"spanx"};
  std::map<std::string, std::string> files_;
};

TEST_F(SpannedExtraction, ZipSplitSetsExtractAndTest) {
  struct TCase {
    const char* size;
    const char* args;
    const char* password;
  } cases[] = {
      {"64k", "", ""}, {"64k", "-0", ""}, {"150k", "", ""}, {"300k", "-0", ""}, {"64k", "-P secret", "secret"}};
  int n = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.size) + " " + c.args);
    const std::string set = "set" + std::to_string(++n) + ".zip";
    const fs::path last = MakeSplitSet(tmp_, set, c.size, Names(), c.args);
    EXPECT_GT(SetParts(last).size(), 1u);
    std::vector<TItemFailure> failures;
    const fs::path out = tmp_ / ("out" + std::to_string(n));
    fs::create_directories(out);
    ExtractAsInstaller(Win(last), Win(out), &failures, c.password);
    EXPECT_TRUE(failures.empty());
    ExpectExtracted(out);

    // Testing decodes every item through the parts; a byte changed in a middle part
    // fails the item it belongs to (as a CRC report or as the decoder's error).
    std::vector<std::string> bad;
    auto testAll = [&] {
      bad.clear();
      TArcUnZipper unzipper;
      unzipper.SetPassword(c.password);
      unzipper.SetFileName(Win(last));
      EXPECT_EQ(unzipper.ArchiveType(), atSpannedZip);
      unzipper.OnProcessItemFailure = [&](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType, TArcErrorClass,
                                          int32_t) { bad.push_back(item->FileName()); };
      for (int i = 0; i < unzipper.Count(); ++i) {
        unzipper.ClearTags();
        unzipper.Items(i)->SetTagged(true);
        try {
          unzipper.TestTaggedItems();
        } catch (const std::exception&) {
          bad.push_back(unzipper.Items(i)->FileName());
        }
      }
    };
    testAll();
    EXPECT_TRUE(bad.empty());
    std::string middle = ReadFile(SetParts(last)[1]);
    middle[middle.size() / 2] ^= 0x55;
    WriteFile(SetParts(last)[1], middle);
    testAll();
    EXPECT_EQ(bad.size(), 1u);
  }
}

TEST_F(SpannedExtraction, CorpusSplitSetsExtract) {
  for (const char* name : {"Infozip.nocomp.multi.zip", "WinZip26.nocomp.multi.zip"}) {
    SCOPED_TRACE(name);
    const fs::path out = tmp_ / name;
    fs::create_directories(out);
    std::vector<TItemFailure> failures;
    ExtractAsInstaller(Win(fs::path(CorpusFolder()) / name), Win(out), &failures);
    EXPECT_TRUE(failures.empty());
    int files = 0;
    ExpectTreeMatchesItems(Win(fs::path(CorpusFolder()) / name), out, &files);
    EXPECT_EQ(files, 3);
  }
}

TEST_F(SpannedExtraction, RenamedPartsAreFoundThroughOnRequestImage) {
  const fs::path last = MakeSplitSet(tmp_, "set.zip", "64k", Names());
  const std::vector<fs::path> parts = SetParts(last);
  for (size_t i = 0; i + 1 < parts.size(); ++i) fs::rename(parts[i], tmp_ / ("download-" + std::to_string(i + 1)));
  const fs::path out = tmp_ / "out";
  fs::create_directories(out);
  TArcUnZipper unzipper;
  std::set<int32_t> asked;
  unzipper.SetOnRequestImage([&](void*, int32_t n, std::string& name, bool&) {
    asked.insert(n);
    name = Win(tmp_ / ("download-" + std::to_string(n)));
  });
  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetFileName(Win(last));
  unzipper.SetBaseDirectory(Win(out));
  unzipper.ExtractFiles("*.*");
  ExpectExtracted(out);
  EXPECT_EQ(asked.size(), parts.size() - 1);

  // Aborting the request fails the opening.
  TArcUnZipper aborting;
  aborting.SetOnRequestImage([](void*, int32_t, std::string&, bool& abort) { abort = true; });
  EXPECT_THROW(aborting.SetFileName(Win(last)), EArcUserAbort);
}

TEST_F(SpannedExtraction, AMissingPartFailsOnlyTheItemsInIt) {
  files_ = {{"a.bin", RandomBytes(100000, 1)}, {"b.bin", RandomBytes(100000, 2)}, {"c.bin", RandomBytes(100000, 3)}};
  for (const auto& [name, data] : files_) tmp_.Write(name, data);
  const fs::path last = MakeSplitSet(tmp_, "set.zip", "64k", Names());
  const std::vector<fs::path> parts = SetParts(last);
  ASSERT_EQ(parts.size(), 5u);
  fs::remove(parts[2]);  // set.z03: the middle of b.bin
  const fs::path out = tmp_ / "out";
  fs::create_directories(out);
  std::vector<TItemFailure> failures;
  ExtractAsInstaller(Win(last), Win(out), &failures);
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"b.bin", ptExtract, ecFileOpenError, 0}}));
  // The items before and after it, in other parts, are read.
  EXPECT_TRUE(ReadFile(out / "a.bin") == files_["a.bin"]);
  EXPECT_FALSE(fs::exists(out / "b.bin"));
  EXPECT_TRUE(ReadFile(out / "c.bin") == files_["c.bin"]);
}

TEST_F(SpannedExtraction, DisksAreAskedForThroughTheComponent) {
  const fs::path last = MakeSplitSet(tmp_, "shelf/set.zip", "64k", Names());
  const std::vector<fs::path> disks = SetParts(last);
  fs::create_directories(tmp_ / "drive");
  auto insert = [&](int n) {
    qelvo::test::CopyOver(disks[static_cast<size_t>(n - 1)], tmp_ / "drive/set.zip");
  };
  insert(static_cast<int>(disks.size()));
  ScopedRemovableDrives removable;
  const fs::path out = tmp_ / "out";
  fs::create_directories(out);
  TArcUnZipper unzipper;
  std::set<int> asked;
  unzipper.SetOnRequestNthDisk([&](void*, uint8_t disk, bool&) {
    asked.insert(disk);
    insert(disk);
  });
  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetFileName(Win(tmp_ / "drive/set.zip"));
  unzipper.SetBaseDirectory(Win(out));
  unzipper.ExtractFiles("*.*");
  ExpectExtracted(out);
  EXPECT_EQ(asked.size(), disks.size());
}

// 7-Zip's -v cuts one ordinary archive into byte pieces (NAME.zip.001, ...). They are not
// a ZIP split set and are not read as one: each piece is refused with a clear error, and
// the pieces joined in order are a plain archive.
TEST(VolumePieces, AreRefusedAloneAndReadWhenJoined) {
  if (!HaveTool("7zz")) GTEST_SKIP() << "7zz not installed";
  TempFolder tmp{"spanv"};
  const std::string data = RandomBytes(100000, 9);
  tmp.Write("v.txt", data);
  ASSERT_EQ(ShellStatus("7zz a -bd -tzip -mx0 -v40k pieces.zip v.txt >/dev/null", tmp.Native()), 0);
  ASSERT_TRUE(fs::exists(tmp / "pieces.zip.002"));
  for (const char* piece : {"pieces.zip.001", "pieces.zip.002"}) {
    TArcUnZipper unzipper;
    EXPECT_THROW(unzipper.SetFileName(Win(tmp / piece)), EArcException) << piece;
  }
  ASSERT_EQ(ShellStatus("cat pieces.zip.0* > joined.zip", tmp.Native()), 0);
  std::vector<TItemFailure> failures;
  ExtractAsInstaller(Win(tmp / "joined.zip"), Win(tmp.Native()) + "\\", &failures);
  EXPECT_TRUE(failures.empty());
  EXPECT_TRUE(ReadFile(tmp / "v.txt") == data);
}

}  // namespace
}  // namespace qelvo::unzip::test
