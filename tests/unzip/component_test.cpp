// The unzip component beyond the installer's path: opening and its failures, type
// detection, settings before and after opening, events, meters, streams and tests.
#include <gtest/gtest.h>

#include <functional>

#include "archive/errors.h"
#include "platform/file_system.h"
#include "platform/path_map.h"
#include "rtl/text.h"
#include "tests/unzip/test_support.h"
#include "unzip/archive_type.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {
namespace {

using namespace archive;

// Runs call and answers the message of the EArcException it raised with the expected
// code; "" when it raised nothing.
std::string ArcFailure(const std::function<void()>& call, int32_t expectedCode) {
  try {
    call();
  } catch (const EArcException& e) {
    EXPECT_EQ(e.ErrorCode, expectedCode) << e.what();
    return e.what();
  }
  return "";
}

class ComponentTest : public TExtractTest {
 protected:
  std::string GoodZip(const std::string& name = "good.zip") {
    return Make(name, BuildZip({StoredEntry("a.txt", "alpha"), FolderEntry("d/"), DeflatedEntry("d/b.txt", TextBytes(9000))}));
  }
  void Record(TArcUnZipper& u) {
    u.OnProcessItemFailure = [this](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType type, TArcErrorClass cls,
                                    int32_t code) { failures.push_back({item->FileName(), type, cls, code}); };
  }
};

TEST_F(ComponentTest, OpeningFailures) {
  std::string broken = BuildZip({StoredEntry("x.txt", "x")});
  broken[broken.find("PK\1\2") + 2] = 9;  // central header signature
  const std::string good = BuildZip({StoredEntry("x.txt", "x")});
  struct TCase {
    const char* name;
    std::string content;  // "-" for no file at all
    int32_t code;
    const char* message;
  } cases[] = {
      {"missing.zip", "-", kArcFileNotFound, "File not found"},
      {"empty.zip", "", kArcBadStream, "Invalid Stream"},
      {"page.zip", "<html><body>Not Found</body></html>\n", kArcUnhandledType, "Unhandled Archive Type"},
      {"data.dat", RandomBytes(5000), kArcUnhandledType, "Unhandled Archive Type"},
      {"cut.zip", good.substr(0, good.size() - 5), kArcUnhandledType, "Unhandled Archive Type"},
      {"broken.dat", broken, kArcZipInvalid, "Invalid file - not a PKZip file"},
      {"broken.zip", broken, kArcZipInvalid, "Invalid file - not a PKZip file"},
      {"package.cab", "MSCF" + RandomBytes(100), kArcUnhandledType, "Unhandled Archive Type"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.content != "-") WriteFile(tmp / c.name, c.content);
    TArcUnZipper unzipper;
    EXPECT_EQ(ArcFailure([&] { unzipper.SetFileName(Win(tmp / c.name)); }, c.code), c.message);
    EXPECT_EQ(unzipper.Count(), 0);
  }
}

// Types with readers still to come are recognised by name and refused.
// A failed opening leaves the component as it was when the check comes first, and
// keeps the archive object when its directory cannot be read.
TEST_F(ComponentTest, FailedOpeningsAndTheOpenArchive) {
  TArcUnZipper unzipper;
  const std::string good = GoodZip();
  unzipper.SetFileName(good);
  ASSERT_EQ(unzipper.Count(), 3);
  EXPECT_THROW(unzipper.SetFileName(Win(tmp / "nothere.zip")), EArcFileNotFound);
  EXPECT_EQ(unzipper.Count(), 3);
  EXPECT_EQ(unzipper.FileName(), good);

  std::string broken = BuildZip({StoredEntry("x.txt", "x")});
  broken[broken.find("PK\1\2") + 2] = 9;
  const std::string brokenName = Make("broken.zip", broken);
  EXPECT_THROW(unzipper.SetFileName(brokenName), EArcZipInvalid);
  EXPECT_NE(unzipper.Archive(), nullptr);
  EXPECT_EQ(unzipper.FileName(), brokenName);

  unzipper.CloseArchive();
  EXPECT_EQ(unzipper.Archive(), nullptr);
  EXPECT_EQ(unzipper.Status(), asInvalid);
  EXPECT_THROW(unzipper.ExtractFiles("*.*"), EArcNoArchive);
}

TEST_F(ComponentTest, TypeDetection) {
  const std::string sfx =
      BuildZip({StoredEntry("inside.txt", "from the stub")}, TZipLayout().WithPrefix("MZ" + RandomBytes(3000)));
  const std::string plain = BuildZip({StoredEntry("inside.txt", "plain")});
  struct TCase {
    const char* name;
    const std::string* content;
    TArcArchiveType type;
  } cases[] = {
      {"setup.exe", &sfx, atSelfExtZip}, {"setup.zip", &sfx, atZip}, {"setup.bin", &sfx, atSelfExtZip},
      {"plain.JAR", &plain, atZip},      {"plain", &plain, atZip},   {"plain.exe", &plain, atUnknown},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = Make(c.name, *c.content);
    EXPECT_EQ(DetermineArchiveType(file), c.type);
    if (c.type == atUnknown) continue;
    TArcUnZipper unzipper;
    unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
    unzipper.SetFileName(file);
    EXPECT_EQ(unzipper.ArchiveType(), c.type);
    unzipper.SetBaseDirectory(Win(out));
    unzipper.ExtractFiles("*.*");
    EXPECT_EQ(ReadFile(out / "inside.txt"), c.content == &sfx ? "from the stub" : "plain");
  }
  // Missing and empty files answer by name alone.
  EXPECT_EQ(DetermineArchiveType(Win(tmp / "nothing.tgz")), atGzippedTar);
  EXPECT_EQ(DetermineArchiveType(Make("empty.tbz", "")), atBzippedTar);
  EXPECT_EQ(ArchiveTypeOfExtension("C:\\dir.zip\\file"), atUnknown);
}

// Forcing a type skips detection; changing it is refused while the archive is invalid.
TEST_F(ComponentTest, ForcedTypeAndBusyArchive) {
  TArcUnZipper unzipper;
  unzipper.SetForceType(true);
  unzipper.SetArchiveType(atZip);
  EXPECT_THROW(unzipper.SetFileName(Make("page.html", "<html></html>")), EArcZipInvalid);
  EXPECT_EQ(unzipper.Status(), asInvalid);
  EXPECT_THROW(unzipper.SetArchiveType(atTar), EArcArchiveBusy);
  EXPECT_EQ(unzipper.ArchiveType(), atZip);
  unzipper.CloseArchive();
  unzipper.SetArchiveType(atTar);
  EXPECT_EQ(unzipper.ArchiveType(), atTar);
}

// Extract options reach the archive whether set before or after opening.
TEST_F(ComponentTest, ExtractOptionsInEitherOrder) {
  const std::string zipFile = GoodZip();
  for (const bool before : {true, false}) {
    SCOPED_TRACE(before);
    const fs::path target = out / (before ? "before" : "after");
    fs::create_directories(target);
    TArcUnZipper unzipper;
    if (before) unzipper.SetExtractOptions({eoCreateDirs});
    unzipper.SetFileName(zipFile);
    if (!before) unzipper.SetExtractOptions({eoCreateDirs});
    unzipper.SetBaseDirectory(Win(target));
    unzipper.ExtractFiles("*.*");
    // Without eoRestorePath every file lands flat in the base folder.
    EXPECT_EQ(ReadFile(target / "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(target / "b.txt"), TextBytes(9000));
    EXPECT_FALSE(fs::exists(target / "d"));
  }
}

TEST_F(ComponentTest, BaseDirectory) {
  const fs::path base = fs::path(platform::ToNativePath("C:\\QelvoPDV").value());
  fs::create_directories(base);
  TArcUnZipper unzipper;
  unzipper.SetBaseDirectory("C:\\QelvoPDV\\");
  EXPECT_EQ(unzipper.BaseDirectory(), "C:\\QelvoPDV\\");  // stored as given while closed
  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetFileName(GoodZip());
  EXPECT_EQ(unzipper.BaseDirectory(), "C:\\QelvoPDV");
  EXPECT_EQ(ArcFailure([&] { unzipper.SetBaseDirectory("C:\\Missing"); }, kArcNoSuchDirectory),
            "Directory does not exist");
  EXPECT_EQ(unzipper.BaseDirectory(), "C:\\QelvoPDV");
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(ReadFile(base / "d/b.txt"), TextBytes(9000));

  // A missing base folder set before opening is refused when the archive is bound.
  TArcUnZipper other;
  other.SetBaseDirectory("C:\\Missing");
  EXPECT_THROW(other.SetFileName(GoodZip("g2.zip")), EArcNoSuchDirectory);
}

TEST_F(ComponentTest, ConfirmOverwrite) {
  const std::string zipFile = GoodZip();
  WriteFile(out / "a.txt", "keep me");
  TArcUnZipper unzipper;
  Record(unzipper);
  std::vector<std::string> asked;
  unzipper.OnConfirmOverwrite = [&](std::string& name, bool& confirm) {
    asked.push_back(name);
    confirm = false;
  };
  unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
  unzipper.SetFileName(zipFile);
  unzipper.SetBaseDirectory(Win(out));
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(ReadFile(out / "a.txt"), "keep me");
  EXPECT_EQ(asked, (std::vector<std::string>{Win(out) + "\\a.txt"}));
  EXPECT_TRUE(failures.empty());

  // The handler may redirect the item instead.
  unzipper.OnConfirmOverwrite = [&](std::string& name, bool&) { name += ".new"; };
  unzipper.ExtractFiles("a.txt");
  EXPECT_EQ(ReadFile(out / "a.txt"), "keep me");
  EXPECT_EQ(ReadFile(out / "a.txt.new"), "alpha");
}

// Every event of an extraction, with the component as sender; none for an empty archive.
TEST_F(ComponentTest, EventsOfAnExtraction) {
  std::vector<std::string> events;
  auto watch = [&](TArcUnZipper& u) {
    u.OnArchiveProgress = [&](TArcBaseBrowser* s, uint8_t p, bool&) {
      EXPECT_EQ(s, &u);
      events.push_back("archive " + std::to_string(p));
    };
    u.OnArchiveItemProgress = [&](TArcBaseBrowser*, TArcArchiveItem* item, uint8_t p, bool&) {
      events.push_back("item " + item->FileName() + " " + std::to_string(p));
    };
    u.OnConfirmProcessItem = [&](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType t, bool&) {
      events.push_back("confirm " + item->FileName() + " " + std::to_string(t));
    };
    u.OnProcessItemFailure = [&](TArcBaseBrowser*, TArcArchiveItem* item, TArcProcessType, TArcErrorClass, int32_t c) {
      events.push_back("failure " + item->FileName() + " " + std::to_string(c));
    };
  };
  TArcUnZipper empty;
  int loads = 0, changes = 0;
  empty.OnLoad = [&](TArcBaseBrowser*) { ++loads; };
  empty.OnChange = [&](TArcBaseBrowser*) { ++changes; };
  empty.SetFileName(Make("empty.zip", BuildZip({})));
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(changes, 1);
  watch(empty);
  empty.ExtractFiles("*.*");
  EXPECT_TRUE(events.empty()) << ::testing::PrintToString(events);

  TZipEntry bad = StoredEntry("bad.txt", "b");
  bad.Method = 7;
  TArcUnZipper unzipper;
  watch(unzipper);
  unzipper.SetFileName(Make("two.zip", BuildZip({StoredEntry("one.txt", TextBytes(4)), bad})));
  unzipper.SetBaseDirectory(Win(out));
  events.clear();
  unzipper.ExtractFiles("*.*");
  EXPECT_EQ(events, (std::vector<std::string>{"confirm one.txt 2", "item one.txt 100", "archive 50",
                                              "confirm bad.txt 2", "failure bad.txt 2", "archive 100",
                                              "archive 100"}));
}

// Aborting an item from its progress stops it, removes its file and invalidates the
// archive, so that the next item stops the whole extraction; aborting from archive
// progress leaves ExtractFiles at once.
TEST_F(ComponentTest, UserAbort) {
  const std::string zipFile = Make("big.zip", BuildZip({DeflatedEntry("big.txt", TextBytes(2 << 20)),
                                                        StoredEntry("next.txt", "n")}));
  TArcUnZipper unzipper;
  Record(unzipper);
  unzipper.OnArchiveItemProgress = [](TArcBaseBrowser*, TArcArchiveItem*, uint8_t p, bool& abort) { abort = p >= 30; };
  unzipper.SetFileName(zipFile);
  unzipper.SetBaseDirectory(Win(out));
  EXPECT_THROW(unzipper.ExtractFiles("*.*"), EArcNoArchive);
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"big.txt", ptExtract, ecArchive, kArcUserAbort}}));
  EXPECT_FALSE(fs::exists(out / "big.txt"));
  EXPECT_FALSE(fs::exists(out / "next.txt"));
  EXPECT_EQ(unzipper.Status(), asInvalid);

  TArcUnZipper second;
  second.SetFileName(zipFile);
  second.SetBaseDirectory(Win(out));
  second.OnArchiveProgress = [](TArcBaseBrowser*, uint8_t, bool& abort) { abort = true; };
  EXPECT_THROW(second.ExtractFiles("*.*"), EArcUserAbort);
}

TEST_F(ComponentTest, WithoutArchive) {
  TArcUnZipper unzipper;
  rtl::TMemoryStream sink;
  const std::function<void()> calls[] = {
      [&] { unzipper.ExtractFiles("*.*"); },      [&] { unzipper.ExtractFilesEx("*.*", ""); },
      [&] { unzipper.ExtractAt(0, ""); },         [&] { unzipper.ExtractToStream("a", &sink); },
      [&] { unzipper.ExtractTaggedItems(); },     [&] { unzipper.TestTaggedItems(); },
      [&] { unzipper.TagItems("*.*"); },          [&] { unzipper.UnTagItems("*.*"); },
      [&] { unzipper.ClearTags(); },              [&] { unzipper.Items(0); },
  };
  for (const auto& call : calls)
    EXPECT_EQ(ArcFailure(call, kArcNoArchive), "Archive does not exist - Filename is blank");
  EXPECT_EQ(unzipper.Count(), 0);
  EXPECT_EQ(unzipper.FindFile("a"), -1);
  EXPECT_EQ(unzipper.Stream(), nullptr);
  EXPECT_EQ(unzipper.ZipfileComment(), "");
  EXPECT_STREQ(TArcUnZipper::Version(), "5.0");
  EXPECT_EQ(unzipper.PasswordRetries(), 3);
  EXPECT_EQ(unzipper.ExtractOptions(), TArcExtractOptions{eoCreateDirs});

  unzipper.SetFileName(GoodZip());
  try {
    unzipper.Items(5);
    ADD_FAILURE();
  } catch (const rtl::EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  EXPECT_EQ(unzipper.FindFile("D/B.TXT"), 2);
}

// Opening over a caller's stream, extracting to streams and testing items.
TEST_F(ComponentTest, StreamsAndTests) {
  TZipEntry badCrc = DeflatedEntry("badcrc.txt", TextBytes(3000));
  *badCrc.Crc ^= 4;
  TZipEntry described = StoredEntry("described.txt", "dd");
  described.Flags |= 0x08;
  described.ZeroLocalSizes = true;
  TZipEntry tokenized = StoredEntry("tokenized.txt", "t");
  tokenized.Method = 7;
  const std::string bytes =
      BuildZip({StoredEntry("a.txt", "alpha"), DeflatedEntry("b.txt", TextBytes(70000)), badCrc, described, tokenized});
  rtl::TMemoryStream archiveStream;
  archiveStream.WriteString(bytes);

  TArcUnZipper unzipper;
  Record(unzipper);
  unzipper.SetFileName(GoodZip());
  unzipper.SetStream(&archiveStream);
  EXPECT_EQ(unzipper.FileName(), "");
  EXPECT_EQ(unzipper.Count(), 5);
  EXPECT_EQ(unzipper.Stream(), &archiveStream);

  rtl::TMemoryStream sink;
  sink.WriteString("head:");
  unzipper.ExtractToStream("B.TXT", &sink);
  EXPECT_EQ(sink.DataString(), "head:" + TextBytes(70000));
  // A CRC mismatch into a stream is reported; the bytes stay the caller's.
  rtl::TMemoryStream crcSink;
  unzipper.ExtractToStream("badcrc.txt", &crcSink);
  EXPECT_EQ(crcSink.DataString(), TextBytes(3000));
  EXPECT_EQ(failures, (std::vector<TItemFailure>{{"badcrc.txt", ptExtract, ecArchive, 19}}));
  failures.clear();

  struct TCase {
    const char* name;
    int32_t raisedCode;  // -1: passes
    bool reported19;
  } cases[] = {{"a.txt", -1, false},
               {"b.txt", -1, false},
               {"badcrc.txt", -1, true},
               {"described.txt", kArcZipInvalidLFH, false},  // local sizes are zero
               {"tokenized.txt", kArcZipInvalidMethod, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    failures.clear();
    unzipper.ClearTags();
    unzipper.TagItems(c.name);
    if (c.raisedCode < 0)
      EXPECT_NO_THROW(unzipper.TestTaggedItems());
    else
      ArcFailure([&] { unzipper.TestTaggedItems(); }, c.raisedCode);
    EXPECT_EQ(failures.size(), c.reported19 ? 1u : 0u);
  }

  unzipper.SetStream(nullptr);
  EXPECT_EQ(unzipper.Archive(), nullptr);
  rtl::TMemoryStream html;
  html.WriteString("<html></html>");
  EXPECT_THROW(unzipper.SetStream(&html), EArcUnhandledType);
}

class TMeter : public TArcBaseComponent, public IArcProgressMeter {
 public:
  explicit TMeter(TArcBaseComponent* owner) : TArcBaseComponent(owner) {}
  void ShowProgress(uint8_t p) override { shown.push_back(p); }
  void ResetProgress() override { ++resets; }
  std::vector<int> shown;
  int resets = 0;
};

TEST_F(ComponentTest, ProgressMetersAndOwnership) {
  TArcBaseComponent form(nullptr);
  auto* unzipper = new TArcUnZipper(&form);  // the form frees it
  auto* archiveMeter = new TMeter(&form);
  auto* itemMeter = new TMeter(&form);
  EXPECT_EQ(form.ComponentCount(), 3);
  unzipper->SetArchiveProgressMeter(archiveMeter);
  unzipper->SetItemProgressMeter(itemMeter);
  unzipper->SetFileName(Make("two.zip", BuildZip({StoredEntry("x.txt", "x"), StoredEntry("y.txt", "y")})));
  EXPECT_EQ(archiveMeter->resets, 1);
  EXPECT_EQ(itemMeter->resets, 1);
  EXPECT_EQ(archiveMeter->shown, (std::vector<int>{50, 100, 100}));  // reading the directory
  archiveMeter->shown.clear();
  unzipper->SetBaseDirectory(Win(out));
  unzipper->ExtractFiles("*.*");
  EXPECT_EQ(archiveMeter->shown, (std::vector<int>{50, 100, 100}));
  EXPECT_EQ(itemMeter->shown, (std::vector<int>{100, 100}));
  EXPECT_EQ(itemMeter->resets, 3);  // once more per item

  delete itemMeter;
  EXPECT_EQ(unzipper->ItemProgressMeter(), nullptr);
  EXPECT_EQ(unzipper->ArchiveProgressMeter(), archiveMeter);
  EXPECT_EQ(form.ComponentCount(), 2);
  unzipper->ExtractFiles("*.*");  // no meter left to call
}

TEST_F(ComponentTest, LogFile) {
  TArcUnZipper unzipper;
  unzipper.SetFileName(GoodZip());
  unzipper.SetBaseDirectory(Win(out));
  unzipper.SetLogFile(Win(tmp / "unzip.log"));
  EXPECT_TRUE(unzipper.Logging());
  unzipper.ExtractFiles("a.txt");
  unzipper.SetLogFile("");
  EXPECT_FALSE(unzipper.Logging());
  const std::string log = rtl::Utf16ToUtf8(std::u16string(
      reinterpret_cast<const char16_t*>(ReadFile(tmp / "unzip.log").data()), ReadFile(tmp / "unzip.log").size() / 2));
  EXPECT_NE(log.find(" logging "), std::string::npos) << log;
  EXPECT_NE(log.find("a.txt extracted "), std::string::npos) << log;

  EXPECT_EQ(ArcFailure([&] { unzipper.SetLogFile(Win(tmp / "no/such/folder.log")); }, 0), "Error creating Log File");
}

}  // namespace
}  // namespace qelvo::unzip::test
