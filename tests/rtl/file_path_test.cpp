#include <gtest/gtest.h>

#include "rtl/file_path.h"

namespace qelvo::rtl {
namespace {

TEST(FilePath, SplitsAtTheLastBackslashOrDriveColon) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  } cases[] = {
      {"C:\\QelvoERP\\programas\\app.exe", "C:\\QelvoERP\\programas\\", "app.exe"},
      {"C:\\QelvoPDV\\", "C:\\QelvoPDV\\", ""},
      {"C:app.exe", "C:", "app.exe"},
      {"C:", "C:", ""},
      {"\\\\srv\\share\\a.txt", "\\\\srv\\share\\", "a.txt"},
      {"docs/a.txt", "", "docs/a.txt"},  // "/" is no delimiter here
      {"a.txt", "", "a.txt"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFilePath(c.path) + ExtractFileName(c.path), c.path);
  }
}

TEST(FilePath, ChangeFileExtReplacesOnlyTheFileNamesExtension) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"Qelvo ERP", "Qelvo ERP.lnk"},
      {"Qelvo v2.1", "Qelvo v2.lnk"},
      {"C:\\a.b\\app", "C:\\a.b\\app.lnk"},  // a dot in a folder name is not an extension
      {"C:x.y", "C:x.lnk"},
      {"", ".lnk"},
  };
  for (const auto& c : cases) EXPECT_EQ(ChangeFileExt(c.in, ".lnk"), c.out) << c.in;
}

TEST(FilePath, IncludeTrailingBackslashAddsOneOnlyWhenMissing) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"C:\\x", "C:\\x\\"}, {"C:\\x\\", "C:\\x\\"}, {"C:", "C:\\"}, {"", "\\"}};
  for (const auto& c : cases) EXPECT_EQ(IncludeTrailingBackslash(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace qelvo::rtl
