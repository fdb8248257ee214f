// Archives damaged at random places must never crash the extraction, write outside the
// target folder or leave a file whose content differs from what was stored: every
// failure is an exception at opening or an item-failure report.
#include <gtest/gtest.h>

#include "archive/errors.h"
#include "tests/unzip/test_support.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

struct TPristine {
  std::string Bytes;
  std::vector<uint32_t> Crcs;  // of every payload
  std::string Password;
};

// One damaged copy at base/a.zip extracted into base/out and tested; opened tells whether
// it opened at all.
void ExtractDamagedCopy(const fs::path& base, const TPristine& pristine, int round, bool& opened) {
  TArcUnZipper unzipper;
  unzipper.OnProcessItemFailure = [](TArcBaseBrowser*, TArcArchiveItem*, TArcProcessType, TArcErrorClass, int32_t) {};
  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetPassword(pristine.Password);
  try {
    unzipper.SetFileName(Win(base / "a.zip"));
  } catch (const rtl::Exception&) {
    return;  // refused at opening: fine
  }
  opened = true;
  unzipper.SetBaseDirectory(Win(base / "out"));
  try {
    unzipper.ExtractFiles("*.*");
  } catch (const rtl::Exception&) {
    // A damaged name may ask for a folder that cannot be made; that stops the run.
  }
  // Whatever was written is a stored payload, byte for byte, under out/.
  for (const auto& e : fs::recursive_directory_iterator(base)) {
    if (!e.is_regular_file() || e.path() == base / "a.zip") continue;
    const fs::path rel = fs::relative(e.path(), base / "out");
    ASSERT_FALSE(rel.empty() || *rel.begin() == "..") << e.path();
    const std::string data = ReadFile(e.path());
    bool known = data.empty();
    for (uint32_t crc : pristine.Crcs) known = known || Crc32(data) == crc;
    EXPECT_TRUE(known) << "round " << round << ": " << rel;
  }
  unzipper.ClearTags();
  unzipper.TagItems("*.*");
  try {
    unzipper.TestTaggedItems();
  } catch (const rtl::Exception&) {
  }
}

// Damages the archive in rounds (a few random bytes, sometimes a cut) and extracts and
// tests each copy. Once the unzipper is gone no file of the round may still be open,
// whichever path it took (Windows refuses to remove an open file).
void DamageAndExtract(const TempFolder& tmp, const TPristine& pristine, int rounds, uint32_t seed, int& opened) {
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int round = 0; round < rounds; ++round) {
    std::string damaged = pristine.Bytes;
    const int flips = 1 + static_cast<int>(next() % 4);
    for (int f = 0; f < flips; ++f) damaged[next() % damaged.size()] = static_cast<char>(next());
    if (round % 10 == 9) damaged.resize(next() % damaged.size());  // cut short now and then
    const fs::path base = tmp / ("r" + std::to_string(seed));
    fs::create_directories(base / "out");
    WriteFile(base / "a.zip", damaged);

    bool roundOpened = false;
    ExtractDamagedCopy(base, pristine, round, roundOpened);
    if (roundOpened) ++opened;
    std::error_code ec;
    fs::remove_all(base, ec);
    ASSERT_FALSE(ec) << "round " << round << (roundOpened ? "" : " (refused at opening)")
                     << ": a file is left open: " << ec.message();
  }
}

TEST(DamagedArchives, RandomByteDamageIsContained) {
  TempFolder tmp;
  const std::vector<TZipEntry> entries = {StoredEntry("stored.txt", TextBytes(3000, 1)),
                                          DeflatedEntry("dir/deflated.txt", TextBytes(60000, 2)),
                                          DeflatedEntry("random.bin", RandomBytes(5000, 3)), FolderEntry("empty/"),
                                          StoredEntry("tail.txt", "end")};
  TPristine plain{BuildZip(entries), {}, ""};
  for (const TZipEntry& e : entries) plain.Crcs.push_back(*e.Crc);
  int opened = 0;
  DamageAndExtract(tmp, plain, 300, 12345, opened);
  EXPECT_GT(opened, 100);  // most damage is in the data, not in the end record

  // Encrypted items: damaged encryption headers and cipher text.
  if (!HaveTool("zip")) return;
  WriteFile(tmp / "src/a.txt", TextBytes(20000, 4));
  WriteFile(tmp / "src/b.bin", RandomBytes(3000, 5));
  ASSERT_EQ(ShellStatus("zip -q -P pw ../enc.zip a.txt b.bin", tmp / "src"), 0);
  TPristine encrypted{ReadFile(tmp / "enc.zip"), {Crc32(TextBytes(20000, 4)), Crc32(RandomBytes(3000, 5))}, "pw"};
  opened = 0;
  DamageAndExtract(tmp, encrypted, 150, 777, opened);
  EXPECT_GT(opened, 50);
}

}  // namespace
}  // namespace qelvo::unzip::test
