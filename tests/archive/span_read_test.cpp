// Split sets made by Info-ZIP zip -s and renamed the ways users meet them, read part by
// part: the part names, OnRequestImage, items that cross parts, a missing part, and the
// operations the reading stream refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "archive/crc32.h"
#include "archive/errors.h"
#include "archive/span_read_stream.h"
#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "platform/path_map.h"
#include "rtl/byte_order.h"
#include "rtl/exceptions.h"
#include "rtl/file_path.h"
#include "split_sets.h"
#include "test_support.h"

namespace qelvo::archive {
namespace {

namespace fs = std::filesystem;
using namespace testing;
using qelvo::test::HaveTool;
using qelvo::test::TempFolder;

std::string Noise(size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

std::unique_ptr<TArcZipArchive> OpenSet(const fs::path& lastPart) {
  auto a = std::make_unique<TArcZipArchive>(platform::FromNativePath(lastPart.string()),
                                            platform::fmOpenRead | platform::fmShareDenyNone);
  return a;
}

// Stored items of a set read back byte for byte.
void ExpectItemsRead(TArcZipArchive& a, const std::map<std::string, std::string>& files) {
  ASSERT_EQ(a.Count(), static_cast<int>(files.size()));
  for (int i = 0; i < a.Count(); ++i) {
    SCOPED_TRACE(a.Items(i)->FileName());
    ASSERT_TRUE(files.count(a.Items(i)->FileName()));
    EXPECT_TRUE(ItemStoredData(a, i) == files.at(a.Items(i)->FileName()));
  }
}

class SplitSets : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip not installed";
    // Sizes around the part sizes, so items start, end and cross at many places.
    files_ = {{"a.bin", Noise(150000, 1)},
              {"b.bin", Noise(1, 2)},
              {"c.bin", Noise(70000, 3)},
              {"empty.bin", ""},
              {"d.bin", Noise(65536, 4)}};
    for (const auto& [name, data] : files_) tmp_.Write(name, data);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> n;
    for (const auto& f : files_) n.push_back(f.first);
    return n;
  }

  TempFolder tmp_{"span"};
  std::map<std::string, std::string> files_;
};

TEST_F(SplitSets, ItemsCrossingPartsAreReadAtSeveralPartSizes) {
  for (const char* size : {"64k", "100k", "1m"}) {
    SCOPED_TRACE(size);
    const fs::path last = MakeSplitSet(tmp_, std::string("set") + size + ".zip", size, Names(), "-0");
    const size_t parts = SetParts(last).size();
    auto a = OpenSet(last);
    a->Load();
    EXPECT_EQ(a->Spanned(), parts > 1);
    ExpectItemsRead(*a, files_);
    if (std::string(size) == "64k") {
      EXPECT_EQ(parts, 5u);
      // Reading runs on from one part into the next: the 150000-byte item spans three.
      auto& stream = dynamic_cast<TArcSpanReadStream&>(*a->Stream());
      EXPECT_TRUE(stream.IsSplit());
      EXPECT_EQ(stream.LastImage(), 4u);
    }
  }
}

TEST_F(SplitSets, PartsRenamedTheWaysTheNamingRuleExpects) {
  // A four-character extension keeps its first character (".pack" -> ".p01"), a name
  // without an extension takes ".01".
  const fs::path last = MakeSplitSet(tmp_, "set.zip", "64k", Names(), "-0");
  const std::vector<fs::path> parts = SetParts(last);
  struct TCase {
    const char* lastName;
    const char* partPattern;
  } cases[] = {{"pack/set.pack", "pack/set.p%02d"}, {"bare/set", "bare/set.%02d"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.lastName);
    fs::create_directories((tmp_ / c.lastName).parent_path());
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      char name[64];
      std::snprintf(name, sizeof name, c.partPattern, static_cast<int>(i + 1));
      fs::copy_file(parts[i], tmp_ / name);
    }
    fs::copy_file(last, tmp_ / c.lastName);
    auto a = OpenSet(tmp_ / c.lastName);
    a->Load();
    ExpectItemsRead(*a, files_);
  }
}

TEST_F(SplitSets, OnRequestImageRenamesAndAborts) {
  const fs::path last = MakeSplitSet(tmp_, "set.zip", "64k", Names(), "-0");
  const std::vector<fs::path> parts = SetParts(last);
  // Parts kept under names of their own: "piece-1.bin"...
  for (size_t i = 0; i + 1 < parts.size(); ++i)
    fs::rename(parts[i], tmp_ / ("piece-" + std::to_string(i + 1) + ".bin"));
  std::vector<std::pair<int32_t, std::string>> asked;
  auto a = OpenSet(last);
  a->OnRequestImage = [&](void* sender, int32_t n, std::string& name, bool&) {
    EXPECT_NE(dynamic_cast<TArcSpanReadStream*>(static_cast<rtl::TStream*>(sender)), nullptr);
    asked.emplace_back(n, rtl::ExtractFileName(name));
    name = platform::FromNativePath((tmp_ / ("piece-" + std::to_string(n) + ".bin")).string());
  };
  a->Load();
  ExpectItemsRead(*a, files_);
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.front(), std::make_pair(int32_t{1}, std::string("set.z01")));

  auto aborted = OpenSet(last);
  aborted->OnRequestImage = [](void*, int32_t, std::string&, bool& abort) { abort = true; };
  try {
    aborted->Load();
    ADD_FAILURE() << "loaded";
  } catch (const EArcUserAbort& e) {
    EXPECT_STREQ(e.what(), "Process aborted by user");
  }
}

TEST_F(SplitSets, AMissingMiddlePartFailsItsItemsOnly) {
  const fs::path last = MakeSplitSet(tmp_, "set.zip", "64k", Names(), "-0");
  const std::vector<fs::path> parts = SetParts(last);
  ASSERT_EQ(parts.size(), 5u);
  fs::remove(parts[2]);  // set.z03
  auto a = OpenSet(last);
  a->Load();  // the directory lies in the last part
  int failed = 0;
  for (int i = 0; i < a->Count(); ++i) {
    const std::string name = a->Items(i)->FileName();
    try {
      EXPECT_TRUE(ItemStoredData(*a, i) == files_.at(name)) << name;
    } catch (const rtl::EFOpenError& e) {
      // Named by the part that is missing; later items are read again afterwards.
      EXPECT_NE(std::string(e.what()).find("set.z03"), std::string::npos) << e.what();
      ++failed;
    }
  }
  EXPECT_GE(failed, 1);
  EXPECT_LT(failed, a->Count() - 1);
}

TEST(SpanReadStream, RefusesWhatASetCannotDo) {
  TempFolder tmp{"span"};
  tmp.Write("x.z01", "first part");
  tmp.Write("x.zip", "last part");
  auto last = std::make_unique<platform::TFileStream>(tmp.WindowsFile("x.zip"), platform::fmOpenRead);
  TArcSpanReadStream s(tmp.WindowsFile("x.zip"), std::move(last), 1);
  EXPECT_TRUE(s.IsSplit());
  // Reading runs from part 0 into part 1 and stops at the end of the last.
  s.SeekImage(0, 6);
  char buf[64];
  EXPECT_EQ(s.Read(buf, sizeof buf), 13);
  EXPECT_EQ(std::string(buf, 13), "partlast part");
  EXPECT_EQ(s.Seek(0, rtl::soCurrent), 9);
  struct TSeekCase {
    int64_t offset;
    rtl::TSeekOrigin origin;
  } seeks[] = {{1, rtl::soCurrent}, {0, rtl::soBeginning}, {0, rtl::soEnd}};
  for (const TSeekCase& c : seeks) {
    try {
      s.Seek(c.offset, c.origin);
      ADD_FAILURE() << "seek accepted";
    } catch (const EArcException& e) {
      EXPECT_STREQ(e.what(), "TArcSpanReadStream.Seek unsupported");
      EXPECT_EQ(e.ErrorCode, 0);
    }
  }
  try {
    s.Write("x", 1);
    ADD_FAILURE() << "write accepted";
  } catch (const EArcException& e) {
    EXPECT_STREQ(e.what(), "TArcSpanReadStream.Write unsupported");
  }
  // Positions a damaged directory could name: a part beyond the last, an offset
  // outside its part.
  EXPECT_THROW(s.SeekImage(2, 0), EArcZipInvalid);
  EXPECT_THROW(s.SeekImage(0, 11), EArcZipInvalid);
  EXPECT_THROW(s.SeekImage(0, -1), EArcZipInvalid);
  s.SeekImage(0, 10);  // the end of a part is a valid place: reading goes on in the next
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "last");
}

TEST(SplitZip64Set, RecordsOnTheLastPartLeadToTheDirectory) {
  // A zip64 archive cut in two inside the second item's data, its records moved to the
  // last part the way a writer of split sets places them: the locator names disk 1 and
  // the set's two disks, the end record escapes its disk numbers.
  const std::string a = Noise(3000, 8), b = Noise(5000, 9);
  TZipEntry first, second;
  first.Name = "a.bin";
  first.Data = a;
  second.Name = "b.bin";
  second.Data = b;
  const std::string whole = BuildZip({first, second}, TZipLayout().WithZip64());
  const size_t cut = 4000;
  std::string last = whole.substr(cut);
  auto at = [&](const char* signature) { return last.rfind(std::string(signature, 4)); };
  auto* p = reinterpret_cast<uint8_t*>(last.data());
  const size_t record = at("PK\x06\x06"), locator = at("PK\x06\x07"), end = at("PK\x05\x06");
  const size_t directory = last.find(std::string("PK\x01\x02", 4));
  ASSERT_NE(record, std::string::npos);
  rtl::PutLe32(p + record + 16, 1);
  rtl::PutLe32(p + record + 20, 1);
  rtl::PutLe64(p + record + 48, directory);
  rtl::PutLe32(p + locator + 4, 1);
  rtl::PutLe64(p + locator + 8, record);
  rtl::PutLe32(p + locator + 16, 2);
  rtl::PutLe16(p + end + 4, 0xFFFF);
  rtl::PutLe16(p + end + 6, 0xFFFF);
  TempFolder tmp{"span"};
  tmp.Write("x.z01", whole.substr(0, cut));
  tmp.Write("x.zip", last);
  auto set = OpenSet(tmp / "x.zip");
  set->Load();
  EXPECT_TRUE(set->Spanned());
  ExpectItemsRead(*set, {{"a.bin", a}, {"b.bin", b}});
}

TEST(SpanPartNames, FollowTheExtensionRule) {
  struct TCase {
    const char* archive;
    int32_t n;
    const char* part;
  } cases[] = {
      {"C:\\d\\data.zip", 1, "C:\\d\\data.z01"},
      {"C:\\d\\data.zip", 12, "C:\\d\\data.z12"},
      {"C:\\d\\data.zip", 100, "C:\\d\\data.z100"},
      {"C:\\d\\set.pack", 3, "C:\\d\\set.p03"},
      {"C:\\d\\name", 1, "C:\\d\\name.01"},
      {"C:\\d\\name", 2, "C:\\d\\name.02"},
      {"C:\\d.x\\name", 1, "C:\\d.x\\name.01"},
      {"C:\\d\\name.", 1, "C:\\d\\name.01"},
      {"a.b.zip", 2, "a.b.z02"},
  };
  for (const TCase& c : cases) EXPECT_EQ(SpanPartName(c.archive, c.n), c.part) << c.archive << " " << c.n;
}

}  // namespace
}  // namespace qelvo::archive
