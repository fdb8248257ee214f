#include <gtest/gtest.h>

#include <set>

#include "tests/support/drive_fixture.h"
#include "platform/clock.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/locale_settings.h"
#include "platform/os_error.h"
#include "tests/platform/os_codes.h"

namespace qelvo::platform {
namespace {

using FileSystem = qelvo::test::DriveC;
using test::kOsCodes;

void Touch(const std::string& path, const std::string& content = "x") {
  TFileStream(path, fmCreate).WriteString(content);
}

TEST_F(FileSystem, FoldersFilesAndSizes) {
  EXPECT_TRUE(ForceDirectories("C:\\QelvoERP\\programas\\sub\\"));
  EXPECT_TRUE(DirectoryExists("C:\\QelvoERP\\programas"));
  EXPECT_TRUE(ForceDirectories("C:\\QelvoERP\\programas"));  // already there
  EXPECT_FALSE(FileExists("C:\\QelvoERP"));
  Touch("C:\\QelvoERP\\a.txt", "12345");
  EXPECT_TRUE(FileExists("C:\\QelvoERP\\a.txt"));
  EXPECT_EQ(FileSize("C:\\QelvoERP\\a.txt"), 5);
  EXPECT_EQ(FileSize("C:\\QelvoERP\\none"), -1);
  EXPECT_EQ(FileGetAttr("C:\\QelvoERP") & faDirectory, faDirectory);

  // A file in the way of a folder.
  EXPECT_FALSE(ForceDirectories("C:\\QelvoERP\\a.txt\\x"));
  EXPECT_EQ(GetLastOSError(), kOsCodes.NotADirectory);
  EXPECT_FALSE(ForceDirectories("D:\\x"));
  EXPECT_EQ(GetLastOSError(), kErrorPathNotMapped);
  EXPECT_FALSE(SysErrorMessage(kErrorPathNotMapped).empty());
}

TEST_F(FileSystem, DeleteRenameAndReadOnly) {
  Touch("C:\\a");
  Touch("C:\\b");
  EXPECT_FALSE(RenameFile("C:\\a", "C:\\b"));  // the target exists
  EXPECT_EQ(GetLastOSError(), kOsCodes.Exists);
  EXPECT_TRUE(RenameFile("C:\\a", "C:\\c"));
  EXPECT_FALSE(FileExists("C:\\a"));

  ASSERT_TRUE(FileSetAttr("C:\\c", faReadOnly | faHidden));
  EXPECT_EQ(FileGetAttr("C:\\c") & faReadOnly, faReadOnly);
  EXPECT_FALSE(DeleteFile("C:\\c"));
  EXPECT_EQ(GetLastOSError(), kOsCodes.AccessDenied);
  ASSERT_TRUE(FileSetAttr("C:\\c", faArchive));
  EXPECT_EQ(FileGetAttr("C:\\c") & faReadOnly, 0u);
  EXPECT_TRUE(DeleteFile("C:\\c"));
  EXPECT_FALSE(DeleteFile("C:\\c"));
  EXPECT_EQ(GetLastOSError(), kOsCodes.NotFound);
  EXPECT_EQ(FileGetAttr("C:\\c"), kInvalidAttributes);
}

TEST_F(FileSystem, LastWriteTimeFromLocalDateTime) {
  Touch("C:\\t");
  const rtl::TDateTime when = rtl::EncodeDate(2009, 7, 14) + rtl::EncodeTime(13, 45, 30, 0);
  ASSERT_TRUE(FileSetDate("C:\\t", when));
  rtl::TDateTime back = 0;
  ASSERT_TRUE(FileGetDate("C:\\t", back));
  EXPECT_NEAR(back, when, 1.0 / 86400 / 2);
  EXPECT_FALSE(FileSetDate("C:\\missing", when));
}

TEST_F(FileSystem, TemporaryNamesAndVolumeQueries) {
  std::set<std::string> names;
  for (int i = 0; i < 5; ++i) {
    const std::string n = GetTempFileName("C:\\", "qel");
    ASSERT_FALSE(n.empty());
    EXPECT_EQ(n.rfind("C:\\qel", 0), 0u) << n;
    EXPECT_TRUE(FileExists(n));
    names.insert(n);
  }
  EXPECT_EQ(names.size(), 5u);
  EXPECT_EQ(GetTempFileName("D:\\", "x"), "");
  EXPECT_EQ(GetTempPath().back(), '\\');
  EXPECT_TRUE(DirectoryExists(GetTempPath()));
  EXPECT_GT(DiskFree("C:\\"), 0);
  EXPECT_EQ(DiskFree("D:\\"), -1);
  EXPECT_EQ(GetDriveType("C:\\"), TDriveType::Fixed);
  EXPECT_EQ(GetDriveType("D:\\"), TDriveType::NoRootDir);
}

TEST_F(FileSystem, ExecutableFolder) {
  const std::string exe = ExeFolder();
  EXPECT_EQ(exe.back(), '\\');
  EXPECT_TRUE(DirectoryExists(exe));
}

TEST(Clock, CounterTickAndSleep) {
  const int64_t c0 = QueryPerformanceCounter();
  const uint32_t t0 = GetTickCount();
  Sleep(20);
  const double ms = static_cast<double>(QueryPerformanceCounter() - c0) * 1000.0 / QueryPerformanceFrequency();
  EXPECT_GE(ms, 19.0);
  EXPECT_GE(static_cast<uint32_t>(GetTickCount() - t0), 19u);
  EXPECT_GT(Now(), rtl::EncodeDate(2020, 1, 1));
}

TEST(Locale, SeparatorsOfBrazilianAndEnglishLocales) {
  const auto br = FormatSettingsFor("pt_BR.UTF-8");
  const auto en = FormatSettingsFor("en_US.UTF-8");
  if (br.DecimalSeparator == "." ) GTEST_SKIP() << "pt_BR.UTF-8 is not installed (scripts/install-deps generates it)";
  EXPECT_EQ(br.DecimalSeparator, ",");
  EXPECT_EQ(br.ThousandSeparator, ".");
  EXPECT_EQ(en.DecimalSeparator, ".");
  EXPECT_EQ(en.ThousandSeparator, ",");
  EXPECT_EQ(rtl::FormatFloat("###,###,##0", 1536000.0 / 1024 * 1000, br), "1.500.000");
}

}  // namespace
}  // namespace qelvo::platform
