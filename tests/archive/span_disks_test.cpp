// Sets spread over removable disks, with removable media played by the injectable
// drive-type answer and each "disk change" a copy of that disk's file under the
// archive's name: the disk requests, aborting them, the default prompt installed by the
// front end, and the writing stream's parts.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/crc32.h"
#include "archive/disk_prompt.h"
#include "archive/errors.h"
#include "archive/span_read_stream.h"
#include "archive/span_write_stream.h"
#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "platform/path_map.h"
#include "rtl/exceptions.h"
#include "split_sets.h"
#include "test_support.h"

namespace qelvo::archive {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using qelvo::test::HaveTool;
using qelvo::test::ReadFile;
using qelvo::test::TempFolder;

// A drive folder holding "set.zip" and a shelf of disks (the parts of a zip -s set).
class DiskSets : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip not installed";
    std::mt19937 gen(7);
    for (const char* name : {"one.bin", "two.bin"}) {
      std::string data(90000, '\0');
      for (char& c : data) c = static_cast<char>(gen() & 0xFF);
      tmp_.Write("src/" + std::string(name), data);
    }
    const fs::path last = MakeSplitSet(tmp_, "shelf/set.zip", "64k", {"src/one.bin", "src/two.bin"}, "-0");
    disks_ = SetParts(last);
    ASSERT_GE(disks_.size(), 3u);
    InsertDisk(static_cast<int>(disks_.size()));
  }
  // Puts disk n (1-based) into the drive.
  void InsertDisk(int n) {
    fs::create_directories(tmp_ / "drive");
    qelvo::test::CopyOver(disks_[static_cast<size_t>(n - 1)], tmp_ / "drive/set.zip");
  }
  std::unique_ptr<TArcZipArchive> Open() {
    return std::make_unique<TArcZipArchive>(tmp_.WindowsFile("drive/set.zip"),
                                            platform::fmOpenRead | platform::fmShareDenyNone);
  }
  // Reads every item through the disks; true when each one's CRC holds.
  static bool ReadAll(TArcZipArchive& a) {
    bool ok = a.Count() == 2;
    for (int i = 0; i < a.Count(); ++i) ok = ok && Crc32OfBytes(ItemStoredData(a, i)) == a.Items(i)->CRC32();
    return ok;
  }

  TempFolder tmp_{"disks"};
  ScopedRemovableDrives removable_;
  std::vector<fs::path> disks_;
};

// Records the boxes it is shown and answers them, inserting the disk asked for.
class TRecordingPrompt : public IArcDiskPrompt {
 public:
  std::function<bool(const std::string& text)> Answer;
  std::vector<std::string> Seen;
  bool AskForDisk(const std::string& caption, const std::string& text) override {
    Seen.push_back(caption + ": " + text);
    return Answer(text);
  }
};

TEST_F(DiskSets, EachDiskIsRequestedByNumberWhenItIsNeeded) {
  auto a = Open();
  std::vector<int> asked;
  a->OnRequestNthDisk = [&](void* sender, uint8_t disk, bool&) {
    EXPECT_EQ(sender, a.get());
    asked.push_back(disk);
    InsertDisk(disk);
  };
  a->Load();
  auto& stream = dynamic_cast<TArcSpanReadStream&>(*a->Stream());
  EXPECT_FALSE(stream.IsSplit());
  EXPECT_TRUE(ReadAll(*a));
  // The directory's disk first, then the items from disk 1 on, every change asked for.
  ASSERT_FALSE(asked.empty());
  std::vector<int> fromFirstItem(std::find(asked.begin(), asked.end(), 1), asked.end());
  std::vector<int> expected;
  for (int n = 1; n <= static_cast<int>(disks_.size()); ++n) expected.push_back(n);
  // The second item starts on a disk the first one ended on, so it is asked again only
  // when reading went on to another disk.
  EXPECT_EQ(std::vector<int>(fromFirstItem.begin(), fromFirstItem.begin() + static_cast<long>(expected.size())),
            expected);
}

TEST_F(DiskSets, AbortingOrHavingNobodyToAskFailsAsAUserAbort) {
  struct TCase {
    const char* what;
    bool handler;
  } cases[] = {{"handler aborts", true}, {"no handler, no prompt", false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    InsertDisk(static_cast<int>(disks_.size()));
    auto a = Open();
    if (c.handler) a->OnRequestNthDisk = [](void*, uint8_t, bool& abort) { abort = true; };
    try {
      a->Load();
      ReadAll(*a);
      ADD_FAILURE() << "read without the other disks";
    } catch (const EArcUserAbort& e) {
      EXPECT_STREQ(e.what(), "Process aborted by user");
    }
  }
}

TEST_F(DiskSets, TheDefaultRequestsGoToTheInstalledPrompt) {
  TRecordingPrompt prompt;
  TArcDiskPromptScope scope(&prompt);
  prompt.Answer = [&](const std::string& text) {
    const size_t at = text.find("number ");
    if (at != std::string::npos) InsertDisk(std::stoi(text.substr(at + 7)));
    return true;
  };
  auto a = Open();
  a->Load();
  EXPECT_TRUE(ReadAll(*a));
  ASSERT_FALSE(prompt.Seen.empty());
  EXPECT_EQ(prompt.Seen.front().substr(0, 15), "Insert floppy: ");
  EXPECT_NE(
      std::find(prompt.Seen.begin(), prompt.Seen.end(), "Insert floppy: Insert disk number 1 of the spanned disk set"),
      prompt.Seen.end());

  // Cancel in the box aborts. (The first archive goes first: Windows lets nobody replace
  // a file that an open archive holds.)
  a.reset();
  prompt.Seen.clear();
  prompt.Answer = [](const std::string&) { return false; };
  InsertDisk(static_cast<int>(disks_.size()));
  auto cancelled = Open();
  EXPECT_THROW(
      {
        cancelled->Load();
        ReadAll(*cancelled);
      },
      EArcUserAbort);
  EXPECT_EQ(prompt.Seen.size(), 1u);
}

TEST_F(DiskSets, TheFirstDiskInTheDriveAsksForTheLastOne) {
  InsertDisk(1);  // starts with the spanned-set marker and has no end record
  TRecordingPrompt prompt;
  TArcDiskPromptScope scope(&prompt);
  prompt.Answer = [&](const std::string& text) {
    if (text == kInsertLastDiskText) InsertDisk(static_cast<int>(disks_.size()));
    return true;
  };
  auto a = Open();
  a->Load();
  EXPECT_EQ(a->Count(), 2);
  ASSERT_FALSE(prompt.Seen.empty());
  EXPECT_EQ(prompt.Seen.front(), "Insert floppy: Insert the last disk in the spanned disk set");

  // The event, when assigned, is asked instead; its abort fails the opening.
  a.reset();
  InsertDisk(1);
  auto b = Open();
  int asked = 0;
  b->OnRequestLastDisk = [&](void*, bool& abort) {
    ++asked;
    abort = true;
  };
  EXPECT_THROW(b->Load(), EArcUserAbort);
  EXPECT_EQ(b->Status(), asInvalid);
  EXPECT_EQ(asked, 1);
}

// --- Writing parts ----------------------------------------------------------------------

// A disk that takes only so many bytes.
class TSmallDisk : public rtl::TMemoryStream {
 public:
  explicit TSmallDisk(int64_t room) : room_(room) {}
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t n = std::min(count, room_ - Size());
    return n > 0 ? rtl::TMemoryStream::Write(buffer, n) : 0;
  }

 private:
  int64_t room_;
};

TEST(SpanWriteStream, ThresholdPartsAreRenamedAndBlocksKeptWhole) {
  TempFolder tmp{"spanw"};
  const std::string name = tmp.WindowsFile("out.zip");
  std::string data(10000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  {
    TArcSpanWriteStream w(name, 4096, std::make_unique<platform::TFileStream>(name, platform::fmCreate));
    EXPECT_EQ(w.Write(data.data(), 4000), 4000);
    // A 200-byte block does not fit the 96 bytes left: it goes whole into part 2.
    EXPECT_TRUE(w.WriteUnspanned(data.data() + 4000, 200, false));
    EXPECT_EQ(w.CurrentImage(), 1u);
    EXPECT_EQ(w.ImageSize(), 200);
    // With FailOnSpan the block is not written at all, but the next part is started.
    EXPECT_FALSE(w.WriteUnspanned(data.data(), 4000, true));
    EXPECT_EQ(w.CurrentImage(), 2u);
    EXPECT_EQ(w.Write(data.data() + 4200, 5800), 5800);
    EXPECT_EQ(w.Seek(0, rtl::soCurrent), 1704);
    try {
      w.Seek(1, rtl::soCurrent);
      ADD_FAILURE();
    } catch (const EArcException& e) {
      EXPECT_STREQ(e.what(), "TArcSpanWriteStream.Seek unsupported");
    }
    try {
      char b;
      w.Read(&b, 1);
      ADD_FAILURE();
    } catch (const EArcException& e) {
      EXPECT_STREQ(e.what(), "TArcSpanWriteStream.Read unsupported");
    }
  }
  EXPECT_EQ(ReadFile(tmp.File("out.z01")), data.substr(0, 4000));
  EXPECT_EQ(ReadFile(tmp.File("out.z02")), data.substr(4000, 200));
  EXPECT_EQ(ReadFile(tmp.File("out.z03")), data.substr(4200, 4096));
  EXPECT_EQ(ReadFile(tmp.File("out.zip")), data.substr(4200 + 4096));
}

TEST(SpanWriteStream, FullDisksAskForBlankOnes) {
  TempFolder tmp{"spanw"};
  const std::string name = tmp.WindowsFile("out.zip");
  const std::string data(3000, 'q');
  {
    // Without a handler a full disk cannot be changed.
    TArcSpanWriteStream w(name, 0, std::make_unique<TSmallDisk>(1000));
    EXPECT_THROW(w.Write(data.data(), 3000), EArcUserAbort);
  }
  int asked = 0;
  TArcSpanWriteStream w(name, 0, std::make_unique<TSmallDisk>(1000));
  w.OnRequestBlankDisk = [&](void*, bool&) { ++asked; };
  EXPECT_EQ(w.Write(data.data(), 3000), 3000);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(w.CurrentImage(), 1u);
  w.ReleaseStream();
  EXPECT_EQ(ReadFile(tmp.File("out.zip")), std::string(2000, 'q'));
  TArcSpanWriteStream aborting(name, 0, std::make_unique<TSmallDisk>(10));
  aborting.OnRequestBlankDisk = [&](void*, bool& abort) { abort = true; };
  EXPECT_THROW(aborting.Write(data.data(), 100), EArcUserAbort);
}

}  // namespace
}  // namespace qelvo::archive
