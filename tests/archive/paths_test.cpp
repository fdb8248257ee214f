#include "archive/paths.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "rtl/exceptions.h"
#include "test_support.h"

namespace qelvo::archive {
namespace {

TEST(PathRules, GetPathType) {
  const struct {
    const char* path;
    TArcPathType type;
  } cases[] = {
      {"a.txt", ptNone},          {"", ptNone},
      {"docs\\a.txt", ptRelative}, {"\\a.txt", ptRelative},
      {"..\\a.txt", ptRelative},   {"docs/a.txt", ptRelative},
      {"C:a.txt", ptAbsolute},     {"C:\\a.txt", ptAbsolute},
      {"\\\\srv\\share\\a.txt", ptAbsolute}, {"a\\\\b", ptAbsolute},
      {"x:", ptAbsolute},
  };
  for (const auto& c : cases) EXPECT_EQ(GetPathType(c.path), c.type) << c.path;
}

TEST(PathRules, WithTrailingBackslash) {
  const struct {
    const char *in, *out;
  } cases[] = {{"", ""}, {"C:", "C:"}, {"C:\\x", "C:\\x\\"}, {"C:\\x\\", "C:\\x\\"}, {"rel", "rel\\"}};
  for (const auto& c : cases) EXPECT_EQ(WithTrailingBackslash(c.in), c.out) << c.in;
}

TEST(PathRules, SplitPathParts) {
  const struct {
    const char *path, *drive, *folder, *name;
  } cases[] = {
      {"C:\\dir\\f.txt", "C:", "dir\\", "f.txt"},
      {"\\\\srv\\share\\dir\\f.txt", "\\\\srv\\share", "dir\\", "f.txt"},
      {"C:f.txt", "C:", "", "f.txt"},
      {"dir/sub/f.txt", "", "dir\\sub\\", "f.txt"},
      {"f.txt", "", "", "f.txt"},
      {"\\\\srv\\share\\f", "\\\\srv\\share", "", "f"},
      {"\\\\srv\\", "\\\\srv\\", "", ""},
      {"C:\\", "C:", "", ""},
  };
  for (const auto& c : cases) {
    const TArcPathParts p = SplitPathParts(c.path);
    EXPECT_EQ(p.Drive, c.drive) << c.path;
    EXPECT_EQ(p.Folder, c.folder) << c.path;
    EXPECT_EQ(p.FileName, c.name) << c.path;
  }
  std::string path = "C:\\dir\\f.txt";
  RemoveDrive(path);
  EXPECT_EQ(path, "dir\\f.txt");
}

TEST(PathRules, ParentRefsSlashesAndBackslashCounting) {
  std::string p = "..\\..\\a\\..\\b";
  RemoveLeadingParentRefs(p);
  EXPECT_EQ(p, "a\\..\\b");
  p = "..";
  RemoveLeadingParentRefs(p);
  EXPECT_EQ(p, "..");
  p = "a/b\\c";
  ToBackslashes(p);
  EXPECT_EQ(p, "a\\b\\c");
  ToForwardSlashes(p);
  EXPECT_EQ(p, "a/b/c");
  EXPECT_EQ(PositionOfNthBackslash("C:\\A\\B", 2), 4);
  EXPECT_EQ(PositionOfNthBackslash("C:\\A\\B", 3), 6);
  // Counted in UTF-16 units: "é" is one unit, two UTF-8 bytes.
  EXPECT_EQ(PositionOfNthBackslash("\xC3\xA9\\x", 1), 1);
}

TEST(PathRules, WildcardMatch) {
  const struct {
    const char *text, *pattern;
    bool match;
  } cases[] = {
      {"ABC", "A?C", true},      {"AC", "A?C", false},       {"ABBC", "A?C", false},
      {"A", "A*", true},         {"AB", "*B", true},         {"B", "*B", true},
      {"README", "*.*", true},   {"", "?", false},           {"", "*", false},
      {"", "", true},            {"A", "", false},           {"abc", "ABC", false},
      {"A.B.C", "*.C", true},    {"AXBXC", "A*B*C", true},   {"AXBX", "A*B*C", false},
      {"A.TXT", "*.TX?", true},  {"AB", "A**.*", true},      {"\xC3\xA9", "?", true},
      {"AB", "A*.*", false},
  };
  for (const auto& c : cases) EXPECT_EQ(WildcardMatch(c.text, c.pattern), c.match) << c.text << " ~ " << c.pattern;
  // Many stars against a long miss stay fast.
  EXPECT_FALSE(WildcardMatch(std::string(5000, 'A'), "*A*A*A*A*A*A*A*A*B"));
}

TEST(PathRules, NameMatchesMask) {
  const struct {
    const char *name, *mask;
    bool match;
  } cases[] = {
      {"a.txt", "*.TXT", true},
      {"docs\\a.txt", "docs\\*.txt", true},
      {"docs\\sub\\a.txt", "docs\\*.txt", false},
      {"docs\\sub\\a.txt", "*\\*.txt", true},
      {"docs\\a.txt", "*\\*.txt", true},
      {"deep\\er\\a.txt", "*.txt", true},
      {"a.log", "*.txt", false},
      {"\xC3\xA9.txt", "\xC3\x89.TXT", false},  // only a to z fold
      {"README", "*.*", true},
  };
  for (const auto& c : cases) EXPECT_EQ(NameMatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
}

TEST(PathRules, PercentOf) {
  const struct {
    int64_t total, done;
    int percent;
  } cases[] = {{0, 5, 0}, {-1, 0, 0}, {3, 3, 100}, {3, 1, 33}, {3, 7, 100}, {200, 1, 0}, {INT64_MAX, INT64_MAX / 2, 49}};
  for (const auto& c : cases) EXPECT_EQ(PercentOf(c.total, c.done), c.percent) << c.total << "/" << c.done;
}

TEST(PathRules, CreateDirectoryPathCreatesEveryMissingLevel) {
  qelvo::test::TempFolder tmp;
  const std::string a = tmp.WindowsFile("A");
  ASSERT_TRUE(platform::CreateDir(a));
  CreateDirectoryPath(a + "\\B\\C");
  EXPECT_TRUE(platform::DirectoryExists(a + "\\B"));
  EXPECT_TRUE(platform::DirectoryExists(a + "\\B\\C"));
  CreateDirectoryPath(a + "\\B\\C");  // existing: nothing to do
  // A level blocked by a file raises the I/O error and keeps the levels made before.
  qelvo::test::WriteFile(tmp.File("A/file"), "x");
  EXPECT_THROW(CreateDirectoryPath(a + "\\file\\D"), rtl::EInOutError);
  EXPECT_EQ(FileSizeOf(a + "\\file"), 1);
  EXPECT_EQ(FileSizeOf(a + "\\missing"), -1);
}

}  // namespace
}  // namespace qelvo::archive
