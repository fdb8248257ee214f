#include <gtest/gtest.h>

#include "platform/path_map.h"
#include "tests/support/drive_fixture.h"
#include "rtl/exceptions.h"

namespace qelvo::platform {
namespace {

using PathMap = qelvo::test::DriveC;

TEST_F(PathMap, WindowsToNative) {
  struct Case {
    const char* windows;
    std::string native;  // "@" stands for the drive-C root
  } cases[] = {
      {"C:\\QelvoERP\\", "@/QelvoERP"},
      {"c:\\QelvoERP\\bin\\a.exe", "@/QelvoERP/bin/a.exe"},
      {"C:/mixed\\slashes/x", "@/mixed/slashes/x"},
      {"C:\\", "@"},
      {"C:", "@"},
      {"C:\\a\\.\\b\\..\\c", "@/a/c"},
      {"C:\\..\\..\\etc\\passwd", "@/etc/passwd"},  // '..' stops at the drive root
      {"Z:\\tmp\\x", "/tmp/x"},
      {"z:\\", "/"},
      {"\\tmp\\x", "/tmp/x"},
      {"temp\\a.zip", "temp/a.zip"},
  };
  for (const auto& c : cases) {
    std::string expected = c.native;
    if (expected[0] == '@') expected = root_ + expected.substr(1);
    auto got = ToNativePath(c.windows);
    ASSERT_TRUE(got.has_value()) << c.windows;
    EXPECT_EQ(*got, expected) << c.windows;
  }
}

TEST_F(PathMap, UnmappedPathsMapNowhere) {
  for (const char* p : {"D:\\x", "A:\\", "\\\\srv\\share\\x", "//srv/share"}) {
    EXPECT_FALSE(ToNativePath(p).has_value()) << p;
  }
  EXPECT_THROW(ToNativePathOrThrow("Q:\\x"), rtl::EInOutError);
}

TEST_F(PathMap, NativeToWindowsAndBack) {
  struct Case {
    std::string native;
    const char* windows;
  } cases[] = {
      {root_ + "/QelvoERP/a.exe", "C:\\QelvoERP\\a.exe"},
      {root_, "C:\\"},
      {"/tmp/x y", "Z:\\tmp\\x y"},
      {"/", "Z:\\"},
      {root_ + "x/y", ""},  // a sibling whose name merely starts like the root
  };
  for (const auto& c : cases) {
    const std::string w = FromNativePath(c.native);
    if (*c.windows) EXPECT_EQ(w, c.windows) << c.native;
    else EXPECT_EQ(w.substr(0, 2), "Z:") << c.native;
    auto back = ToNativePath(w);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, c.native) << w;
  }
}

}  // namespace
}  // namespace qelvo::platform
