// What the POSIX platform maps: the temporary folder on Z:, the XDG desktop, the user's
// locale from the environment.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/file_system.h"
#include "platform/locale_settings.h"
#include "tests/support/drive_fixture.h"

namespace qelvo::platform {
namespace {

using FileSystem = qelvo::test::DriveC;

TEST_F(FileSystem, TemporaryFolderIsOnZ) { EXPECT_EQ(GetTempPath().substr(0, 3), "Z:\\"); }

TEST_F(FileSystem, DesktopFromXdgSettings) {
  const std::string home = root_ + "/home";
  ::setenv("HOME", home.c_str(), 1);
  ::unsetenv("XDG_DESKTOP_DIR");
  ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
  EXPECT_EQ(GetSpecialFolder(CSIDL_DESKTOP), "C:\\home\\Desktop\\");
  ASSERT_TRUE(ForceDirectories("C:\\home\\.config"));
  std::ofstream(home + "/.config/user-dirs.dirs") << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Área de Trabalho\"\n";
  EXPECT_EQ(GetSpecialFolder(CSIDL_DESKTOP), "C:\\home\\Área de Trabalho\\");
  ::setenv("XDG_DESKTOP_DIR", "/srv/desk", 1);
  EXPECT_EQ(GetSpecialFolder(CSIDL_DESKTOP), "Z:\\srv\\desk\\");
  ::unsetenv("XDG_DESKTOP_DIR");
  ::unsetenv("XDG_CONFIG_HOME");
  ::unsetenv("HOME");
  EXPECT_EQ(GetSpecialFolder(CSIDL_DESKTOP), "");
}

TEST(Locale, UserSeparatorsFromTheEnvironment) {
  if (FormatSettingsFor("pt_BR.UTF-8").DecimalSeparator == ".") GTEST_SKIP() << "pt_BR.UTF-8 is not installed";
  ::setenv("LC_ALL", "pt_BR.UTF-8", 1);
  EXPECT_EQ(UserFormatSettings().DecimalSeparator, ",");
  ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace qelvo::platform
