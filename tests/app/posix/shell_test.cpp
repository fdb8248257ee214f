// Shortcuts as real .lnk files read back by an independent reader (lnkinfo), and
// detached launches through xdg-open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "app/platform_shell.h"
#include "app/shortcut_name.h"
#include "tests/app/doubles/lnk_reader.h"
#include "platform/shell.h"
#include "tests/support/temp_folder.h"

namespace qelvo::app {
namespace {

namespace fs = std::filesystem;
using qelvo::app::testing::LnkInfo;

using qelvo::test::TempFolder;

// A native path as the program takes it through drive Z:.
std::string ZPath(const fs::path& native) { return "Z:" + native.string(); }

TEST(ShellLink, LnkinfoReadsBackTheLinkAndASecondSaveReplacesIt) {
  ASSERT_EQ(std::system("command -v lnkinfo >/dev/null"), 0) << "lnkinfo (liblnk-utils) is needed";
  TempFolder dir;
  TPlatformShell shell;
  const std::string link = ZPath(dir / "QelvoERP.lnk");
  shell.SaveShellLink({"Atalho antigo", "C:\\Old\\old.exe", "", "C:\\Old\\"}, link);
  shell.SaveShellLink({"QelvoERP", "C:\\QelvoERP\\Vaskir2.exe", "", "C:\\QelvoERP\\"}, link);
  auto info = LnkInfo(dir / "QelvoERP.lnk");
  EXPECT_EQ(info["Local path"], "C:\\QelvoERP\\Vaskir2.exe");
  EXPECT_EQ(info["Description"], "QelvoERP");
  EXPECT_EQ(info["Working directory"], "C:\\QelvoERP\\");
  EXPECT_EQ(info.count("Command line arguments"), 0u);
  EXPECT_EQ(info["Drive type"], "Fixed (3)");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Native()), fs::directory_iterator()), 1);
}

TEST(ShellLink, CarriesUnicodeArgumentsAndTheTargetsSize) {
  TempFolder dir;
  std::ofstream(dir / "caixa.exe") << "12345";
  const std::string target = ZPath(dir / "caixa.exe");
  platform::TShellLink l{"Caixa Café", target, "--modo loja", ZPath(dir / "")};
  ASSERT_TRUE(platform::SaveShellLink(l, ZPath(dir / "Caixa.lnk")));
  auto info = LnkInfo(dir / "Caixa.lnk");
  EXPECT_EQ(info["Description"], "Caixa Café");
  EXPECT_EQ(info["Command line arguments"], "--modo loja");
  EXPECT_EQ(info["Local path"], target);
  EXPECT_EQ(info["File size"], "5 bytes");
  EXPECT_NE(info["Modification time"].find("UTC"), std::string::npos) << info["Modification time"];
}

TEST(ShellLink, HeaderAndFlags) {
  const auto bytes = platform::EncodeShellLink({"d", "C:\\a.exe", "", ""}, {});
  ASSERT_GE(bytes.size(), 0x4Cu + 4);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x4C\0\0\0", 4));
  EXPECT_EQ(bytes.substr(4, 16), std::string("\x01\x14\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16));
  // LinkInfo, a name, Unicode strings; no working folder, no arguments, no item-ID list.
  EXPECT_EQ(static_cast<unsigned char>(bytes[0x14]), 0x86);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(4, '\0'));
  EXPECT_FALSE(platform::SaveShellLink({"d", "C:\\a.exe", "", ""}, "Q:\\no\\drive.lnk"));
}

TEST(ShortcutFileName, ReplacesTheExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"QelvoERP", "QelvoERP.lnk"}, {"HeidiSQL", "HeidiSQL.lnk"}, {"setup.exe", "setup.lnk"},
      {"v1.2.3", "v1.2.lnk"},       {"x.", "x.lnk"},              {"dir.d\\name", "dir.d\\name.lnk"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ShortcutFileName(in), out) << in;
}

// A stand-in xdg-open that records its argument.
class FakeOpener : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path script = dir_ / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (dir_ / "opened").string() << ".tmp'\nmv '"
                          << (dir_ / "opened").string() << ".tmp' '" << (dir_ / "opened").string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    const char* old = std::getenv("PATH");
    oldPath_ = old ? old : "";
    ::setenv("PATH", (dir_.Native() + ":" + oldPath_).c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", oldPath_.c_str(), 1); }
  std::string WaitOpened() {
    const auto file = dir_ / "opened";
    for (int i = 0; i < 500 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  TempFolder dir_;
  std::string oldPath_;
};

TEST_F(FakeOpener, OpensTheNativePathDetached) {
  TPlatformShell shell;
  TShellExecuteRequest r;
  r.Verb = "open";
  r.File = "Z:" + (dir_ / "setup.msi").string();
  const auto before = std::chrono::steady_clock::now();
  shell.ShellExecute(r);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  EXPECT_EQ(WaitOpened(), (dir_ / "setup.msi").string());
}

TEST_F(FakeOpener, AFileOnNoDriveIsNotOpened) {
  EXPECT_FALSE(platform::ShellOpen("Q:\\programas\\capicom.exe"));
  EXPECT_FALSE(fs::exists(dir_ / "opened"));
}

}  // namespace
}  // namespace qelvo::app
