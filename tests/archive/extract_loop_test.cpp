// The archive model's extract loop, driven through a recording format: which items are
// visited, where each one would land, which events run, how failures are reported, and
// that stored names cannot leave the base folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive.h"
#include "archive/paths.h"
#include "platform/file_system.h"
#include "rtl/exceptions.h"
#include "test_support.h"

namespace qelvo::archive {
namespace {

using qelvo::test::NativeExists;
using qelvo::test::ReadFile;
using qelvo::test::TempFolder;
using qelvo::test::WriteFile;

class TStubItem : public TArcArchiveItem {
 public:
  TStubItem(const std::string& name, bool folder) : folder_(folder) { FFileName = name; }
  bool IsDirectory() const override { return folder_; }

 private:
  bool folder_;
};

// A format that records what the model asks of it.
class TRecordingArchive : public TArcArchive {
 public:
  TRecordingArchive(rtl::TStream* s, std::vector<std::string> names) : TArcArchive(s, "stub"), names_(std::move(names)) {}

  std::unique_ptr<TArcArchiveItem> CreateItem(const std::string& name) override {
    return std::make_unique<TStubItem>(name, !name.empty() && name.back() == '/');
  }
  void ExtractItemByIndex(int index, const std::string& useName) override {
    EXPECT_EQ(CurrentItem(), Items(index));
    Calls.push_back(Items(index)->FileName() + " -> " + useName);
    if (Failure && Failure(Items(index))) std::rethrow_exception(Failure(Items(index)));
  }
  void ExtractItemByIndexToStream(int index, rtl::TStream*) override { Calls.push_back("stream " + Items(index)->FileName()); }
  void ReadArchive() override {
    for (const std::string& n : names_) ItemList()->Add(CreateItem(n));
  }
  void WriteArchive() override { Calls.push_back("write"); }
  void TestItemByIndex(int index) override {
    Calls.push_back("test " + Items(index)->FileName());
    if (Items(index)->FileName() == "bad") throw EArcZipBadCRC();
  }

  std::vector<std::string> Calls;
  std::function<std::exception_ptr(TArcArchiveItem*)> Failure;

 private:
  std::vector<std::string> names_;
};

class ExtractLoop : public ::testing::Test {
 protected:
  std::unique_ptr<TRecordingArchive> Make(std::vector<std::string> names, TArcExtractOptions options) {
    auto a = std::make_unique<TRecordingArchive>(&stream_, std::move(names));
    a->Load();
    a->SetBaseDirectory(base);
    a->SetExtractOptions(options);
    a->OnProcessItemFailure = [this](TArcArchive*, TArcArchiveItem* item, TArcProcessType type, TArcErrorClass cls,
                                     int32_t code) {
      failures.push_back(item->FileName() + " " + std::to_string(type) + "/" + std::to_string(cls) + "/" +
                         std::to_string(code));
    };
    a->OnArchiveProgress = [this](TArcArchive*, uint8_t p, bool& abort) {
      progress.push_back(p);
      abort = p == abortAt;
    };
    a->OnConfirmProcessItem = [this](TArcArchive*, TArcArchiveItem* item, TArcProcessType, bool& confirm) {
      confirmed.push_back(item->FileName());
      confirm = item->FileName() != refuse;
    };
    return a;
  }
  std::string At(const std::string& relative) const { return WithTrailingBackslash(base) + relative; }

  TempFolder tmp;
  std::string base = tmp.Windows();
  rtl::TMemoryStream stream_;
  std::vector<std::string> failures, confirmed;
  std::vector<int> progress;
  int abortAt = -1;
  std::string refuse;
};

const TArcExtractOptions kAll{eoCreateDirs, eoRestorePath};

TEST_F(ExtractLoop, VisitsEveryItemInOrderWithProgress) {
  auto a = Make({"a.txt", "docs/b.txt", "docs/", "README", "c.log"}, kAll);
  a->ExtractFiles("*.*");
  EXPECT_EQ(a->Calls, (std::vector<std::string>{"a.txt -> " + At("a.txt"), "docs/b.txt -> " + At("docs\\b.txt"),
                                                "docs/ -> " + At("docs"), "README -> " + At("README"),
                                                "c.log -> " + At("c.log")}));
  EXPECT_EQ(progress, (std::vector<int>{20, 40, 60, 80, 100, 100}));
  EXPECT_TRUE(platform::DirectoryExists(At("docs")));  // parent of docs\b.txt prepared
  EXPECT_TRUE(failures.empty());
}

TEST_F(ExtractLoop, MasksAndExclusions) {
  const std::vector<std::string> names{"a.txt", "b.log", "c.dat", "sub/d.txt", "sub/", "NODOT"};
  const struct {
    const char *mask, *exclusion;
    std::vector<std::string> visited;
  } cases[] = {
      {"*.*", "", {"a.txt", "b.log", "c.dat", "sub/d.txt", "sub/", "NODOT"}},
      {"", "", {}},
      {"*.*", "*.txt;*.log", {"c.dat", "sub/", "NODOT"}},
      {"*.*", " *.txt ", {"b.log", "c.dat", "sub/", "NODOT"}},
      {"*.TXT", "", {"a.txt", "sub/d.txt"}},
      {"sub\\*.txt", "", {"sub/d.txt"}},
      {"sub/*", "", {"sub/d.txt"}},
      {"C:*.dat;nodot", "", {"c.dat", "NODOT"}},  // the mask's drive is dropped
  };
  for (const auto& c : cases) {
    progress.clear();
    auto a = Make(names, kAll);
    a->ExtractFilesEx(c.mask, c.exclusion);
    std::vector<std::string> visited;
    for (const std::string& call : a->Calls) visited.push_back(call.substr(0, call.find(" -> ")));
    EXPECT_EQ(visited, c.visited) << c.mask << " | " << c.exclusion;
    EXPECT_EQ(progress.size(), names.size() + 1) << "progress for every index, and 100";
  }
}

TEST_F(ExtractLoop, FolderItemsAndPathsUnderEachOptionSet) {
  const std::vector<std::string> names{"a/x.txt", "b/x.txt", "a/"};
  {
    SCOPED_TRACE("create folders only: bare names in the base folder, folders skipped");
    auto a = Make(names, {eoCreateDirs});
    a->ExtractFiles("*.*");
    EXPECT_EQ(a->Calls, (std::vector<std::string>{"a/x.txt -> " + At("x.txt"), "b/x.txt -> " + At("x.txt")}));
    EXPECT_EQ(confirmed.back(), "a/");  // visited, then skipped when resolving
  }
  {
    SCOPED_TRACE("no options: folders not visited");
    confirmed.clear();
    auto a = Make(names, {});
    a->ExtractFiles("*.*");
    EXPECT_EQ(a->Calls.size(), 2u);
    EXPECT_EQ(confirmed, (std::vector<std::string>{"a/x.txt", "b/x.txt"}));
  }
  {
    SCOPED_TRACE("restore paths only: a missing folder stops the loop");
    auto a = Make(names, {eoRestorePath});
    try {
      a->ExtractFiles("*.*");
      ADD_FAILURE() << "no error";
    } catch (const EArcNoSuchDirectory& e) {
      EXPECT_STREQ(e.what(), "Directory does not exist");
    }
    EXPECT_TRUE(a->Calls.empty());
    EXPECT_FALSE(platform::DirectoryExists(At("a")));
  }
  {
    SCOPED_TRACE("tagged items: folders still need both options");
    auto a = Make(names, {eoCreateDirs});
    a->TagItems("a\\*");
    a->ExtractTaggedItems();
    EXPECT_EQ(a->Calls, (std::vector<std::string>{"a/x.txt -> " + At("x.txt")}));
  }
}

TEST_F(ExtractLoop, OverwriteConfirmation) {
  WriteFile(tmp.File("keep.txt"), "old");
  WriteFile(tmp.File("move.txt"), "old");
  auto a = Make({"keep.txt", "move.txt", "new.txt"}, kAll);
  std::vector<std::string> asked;
  a->OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
    asked.push_back(name);
    if (name == At("keep.txt")) confirm = false;
    if (name == At("move.txt")) name = At("moved.txt");
  };
  a->ExtractFiles("*.*");
  EXPECT_EQ(asked, (std::vector<std::string>{At("keep.txt"), At("move.txt")}));
  EXPECT_EQ(a->Calls, (std::vector<std::string>{"move.txt -> " + At("moved.txt"), "new.txt -> " + At("new.txt")}));
  EXPECT_TRUE(failures.empty()) << "a refused overwrite is no failure";
}

TEST_F(ExtractLoop, ItemFailuresAreReportedAndTheLoopGoesOn) {
  auto a = Make({"crc", "create", "io", "other", "std", "fine"}, kAll);
  a->Failure = [](TArcArchiveItem* item) -> std::exception_ptr {
    const std::string n = item->FileName();
    if (n == "crc") return std::make_exception_ptr(EArcZipBadCRC());
    if (n == "create") return std::make_exception_ptr(rtl::EFCreateError("Cannot create file"));
    if (n == "io") return std::make_exception_ptr(rtl::EInOutError("disk full", 28));
    if (n == "other") return std::make_exception_ptr(Exception("odd"));
    if (n == "std") return std::make_exception_ptr(std::bad_alloc());
    return nullptr;
  };
  a->ExtractFiles("*.*");
  EXPECT_EQ(failures, (std::vector<std::string>{"crc 2/0/19", "create 2/3/0", "io 2/1/28", "other 2/6/0", "std 2/6/0"}));
  EXPECT_EQ(a->Calls.size(), 6u);
  // Refused by the confirmation: not extracted, not a failure.
  failures.clear();
  refuse = "fine";
  a->Calls.clear();
  a->ExtractAt(5, "");
  EXPECT_TRUE(a->Calls.empty());
  EXPECT_TRUE(failures.empty());
}

TEST_F(ExtractLoop, UserAbortThroughArchiveProgress) {
  auto a = Make({"1", "2", "3", "4"}, kAll);
  abortAt = 50;
  EXPECT_THROW(a->ExtractFiles("*.*"), EArcUserAbort);
  EXPECT_EQ(a->Calls.size(), 2u);
  EXPECT_EQ(progress, (std::vector<int>{25, 50}));
}

TEST_F(ExtractLoop, StoredNamesStayInsideTheBaseFolder) {
  const std::string outside = tmp.Windows() + "-outside";
  const struct {
    std::string stored;
    TArcExtractOptions options;
    std::string newName;
    std::string landsAt;  // "" when refused
  } cases[] = {
      {"../evil.txt", kAll, "", ""},
      {"..\\..\\..\\Temp\\evil.txt", kAll, "", ""},
      {"a/../../x.txt", kAll, "", ""},
      {"C:\\Windows\\x.dll", kAll, "", ""},
      {"C:x.dll", kAll, "", ""},
      {"\\\\srv\\share\\x", kAll, "", ""},
      {"../up/", kAll, "", ""},
      {"..", kAll, "", ""},
      {std::string("a/..\0b/x.txt", 12), kAll, "", ""},
      {"a/./../b.txt", kAll, "", "b.txt"},
      {"a\\..\\b.txt", kAll, "", "b.txt"},
      {"/rooted/x.txt", kAll, "", "rooted\\x.txt"},
      {"../../flat.txt", {eoCreateDirs}, "", "flat.txt"},  // only the file name is used
      {"../given.txt", kAll, outside + "\\given.txt", "GIVEN"},  // a caller's name is used as given
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    failures.clear();
    // Each case in a base folder of its own, to see that a refused one leaves it empty.
    const std::string caseFolder = tmp.File("base" + std::to_string(n++));
    std::filesystem::create_directories(caseFolder);
    base = tmp.WindowsFile("base" + std::to_string(n - 1));
    auto a = Make({c.stored}, c.options);
    a->ExtractAt(0, c.newName);
    if (c.landsAt.empty()) {
      EXPECT_TRUE(a->Calls.empty());
      EXPECT_EQ(failures, (std::vector<std::string>{c.stored + " 2/0/30"}));
      EXPECT_TRUE(std::filesystem::is_empty(caseFolder));
    } else if (c.landsAt == "GIVEN") {
      ASSERT_EQ(a->Calls.size(), 1u);
      EXPECT_EQ(a->Calls[0], c.stored + " -> " + c.newName);
    } else {
      ASSERT_EQ(a->Calls.size(), 1u);
      EXPECT_EQ(a->Calls[0], c.stored + " -> " + At(c.landsAt));
      EXPECT_TRUE(failures.empty());
    }
  }
  EXPECT_FALSE(NativeExists(tmp.Native() + "/up"));
  EXPECT_FALSE(NativeExists(tmp.Native() + "/../up"));
  std::error_code ec;
  std::filesystem::remove_all(tmp.Native() + "-outside", ec);
}

TEST_F(ExtractLoop, BaseDirectorySetter) {
  auto a = Make({"x"}, kAll);
  a->SetBaseDirectory(tmp.Windows() + "\\");
  EXPECT_EQ(a->BaseDirectory(), tmp.Windows());
  a->SetBaseDirectory("Z:\\");
  EXPECT_EQ(a->BaseDirectory(), "Z:\\");
  EXPECT_THROW(a->SetBaseDirectory(tmp.Windows() + "\\missing"), EArcNoSuchDirectory);
  EXPECT_EQ(a->BaseDirectory(), "Z:\\");
  a->SetBaseDirectory("");
  EXPECT_EQ(a->BaseDirectory(), "");
  a->ExtractAt(0, "");
  EXPECT_EQ(a->Calls, (std::vector<std::string>{"x -> x"}));  // relative to the current folder
}

TEST_F(ExtractLoop, LookupTaggingStreamsAndTests) {
  auto a = Make({"readme.txt", "bad", "docs/a.txt"}, kAll);
  EXPECT_EQ(a->FindFile("README.TXT"), 0);
  EXPECT_EQ(a->FindFile("nothing"), -1);
  a->TagItems("*.txt");
  EXPECT_TRUE(a->Items(0)->Tagged() && a->Items(2)->Tagged() && !a->Items(1)->Tagged());
  a->UnTagItems("docs\\*");
  EXPECT_FALSE(a->Items(2)->Tagged());
  a->ClearTags();
  EXPECT_FALSE(a->Items(0)->Tagged());
  rtl::TMemoryStream out;
  a->ExtractToStream("Docs/A.TXT", &out);
  EXPECT_EQ(a->Calls.back(), "stream docs/a.txt");
  a->TagItems("*");
  EXPECT_THROW(a->TestTaggedItems(), EArcZipBadCRC) << "test failures leave the loop";
  a->SetStatus(asInvalid);
  EXPECT_THROW(a->ExtractFiles("*.*"), EArcNoArchive);
  EXPECT_THROW(a->ExtractToStream("bad", &out), EArcNoArchive);
}

TEST_F(ExtractLoop, EmptyArchiveRaisesNoEvents) {
  auto a = Make({}, kAll);
  a->ExtractFiles("*.*");
  EXPECT_TRUE(progress.empty());
  EXPECT_TRUE(confirmed.empty());
}

TEST_F(ExtractLoop, LoggingWritesUtf16Entries) {
  auto a = Make({"f\xC3\xA9.txt"}, kAll);
  a->SetLogFile(tmp.WindowsFile("log.txt"));
  a->SetLogging(true);
  a->ExtractFiles("*.*");
  a->SetLogging(false);
  const std::string log = ReadFile(tmp.File("log.txt"));
  const std::u16string text(reinterpret_cast<const char16_t*>(log.data()), log.size() / 2);
  const std::string utf8 = rtl::Utf16ToUtf8(text);
  EXPECT_EQ(utf8.rfind("stub logging ", 0), 0u) << utf8;
  EXPECT_NE(utf8.find("\r\nf\xC3\xA9.txt extracted "), std::string::npos) << utf8;
  EXPECT_EQ(utf8.substr(utf8.size() - 2), "\r\n");
  a->SetLogFile(tmp.WindowsFile("no/such/folder/log.txt"));
  try {
    a->SetLogging(true);
    ADD_FAILURE();
  } catch (const EArcException& e) {
    EXPECT_STREQ(e.what(), "Error creating Log File");
  }
}

TEST_F(ExtractLoop, ChangeBookkeeping) {
  auto a = Make({"a.txt", "b.txt"}, kAll);
  a->Move(a->Items(0), "b.txt");  // another active item has that name
  EXPECT_EQ(failures, (std::vector<std::string>{"a.txt 4/0/7"}));
  a->SetStoreOptions({soStripDrive});
  a->Move(a->Items(0), "C:\\dir\\c.txt");
  EXPECT_EQ(a->Items(0)->FileName(), "dir\\c.txt");
  EXPECT_EQ(a->ItemList()->Find("DIR\\C.TXT"), 0);
  EXPECT_EQ(a->ItemList()->Find("a.txt"), -1);
  a->DeleteFiles("b.txt");
  EXPECT_EQ(a->Items(1)->Action(), aaDelete);
  EXPECT_FALSE(a->ItemList()->IsActiveDupe("b.txt"));
  EXPECT_TRUE(a->IsDirty());
  a->Save();
  EXPECT_EQ(a->Calls, (std::vector<std::string>{"write"}));
  EXPECT_FALSE(a->IsDirty());
}

TEST(ArchiveList, ElfHashBucketsAndLookups) {
  EXPECT_EQ(ElfHashOfName("A"), 65u);
  EXPECT_EQ(ElfHashOfName("abc"), 17763u);
  EXPECT_EQ(ElfHashOfName("\xC3\xA9"), 0xC9u);  // upper-cased before hashing
  // Long enough for the high nibble to fold back.
  uint32_t h = 0;
  for (char16_t c : std::u16string_view(u"ABCDEFGHIJKLMNOP")) {
    h = (h << 4) + c;
    const uint32_t g = h & 0xF0000000u;
    if (g) h ^= g >> 24;
    h &= ~g;
  }
  EXPECT_EQ(ElfHashOfName("abcdefghijklmnop"), h);
  EXPECT_EQ(HashName("abcdefghijklmnop"), static_cast<int>(h % 1021));

  TArcArchiveList list;
  list.Add(std::make_unique<TStubItem>("Dir/File.txt", false));
  list.Add(std::make_unique<TStubItem>("other", false));
  list.Add(std::make_unique<TStubItem>("dir/file.TXT", false));
  EXPECT_EQ(list.Find("DIR/FILE.TXT"), 2) << "newest entry heads its bucket";
  EXPECT_EQ(list.Find("none"), -1);
  list.Delete(2);
  EXPECT_EQ(list.Find("dir/file.txt"), 0);
  list.Put(0, std::make_unique<TStubItem>("renamed", false));
  EXPECT_EQ(list.Find("dir/file.txt"), -1);
  EXPECT_EQ(list.Find("RENAMED"), 0);
  EXPECT_THROW(list.Get(2), rtl::EListError);
  try {
    list.Get(-1);
  } catch (const rtl::EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
  }
  int n = 0;
  for (TArcArchiveItem* item : list) n += item != nullptr;
  EXPECT_EQ(n, 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Find("renamed"), -1);

  // A list that does not own its items searches linearly and frees nothing.
  TStubItem kept("kept", false);
  {
    TArcArchiveList borrowed(false);
    borrowed.Add(&kept);
    EXPECT_EQ(borrowed.Find("KEPT"), 0);
    EXPECT_EQ(kept.NextItem, nullptr);
    // Ownership follows the list's kind: neither list takes the other kind of item.
    EXPECT_THROW(borrowed.Add(std::make_unique<TStubItem>("given", false)), rtl::Exception);
    EXPECT_THROW(list.Add(&kept), rtl::Exception);
    EXPECT_EQ(borrowed.Count(), 1);
    EXPECT_EQ(list.Count(), 0);
  }
  EXPECT_EQ(kept.FileName(), "kept");
}

}  // namespace
}  // namespace qelvo::archive
