// From a click to an installed product folder: the real windows, the real download and
// unzip components, nginx serving the demo package set on loopback, the boxes answered
// by the test, launches caught by a recording xdg-open, shortcuts read back by lnkinfo.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "app/platform_shell.h"
#include "app/real_components.h"
#include "tests/app/doubles/lnk_reader.h"
#include "tests/support/nginx.h"
#include "tests/support/temp_folder.h"
#include "qt_harness.h"
#include "ui/program.h"

namespace qelvo::ui::testing {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;
using app::testing::LnkInfo;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

Files Tree(const fs::path& root) {
  Files files;
  if (!fs::exists(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = Slurp(e.path());
  return files;
}

class EndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    serverFolder_ = new test::TempFolder("e2e");
    serverWork_ = serverFolder_->Native();
    packages_ = serverWork_ / "packages";
    peer_ = new test::NginxPeer;
    // The demo package set, served with the demo's own configuration.
    const std::string build = std::string(QELVO_SOURCE_DIR) + "/demo/build-packages '" + packages_.string() + "' >/dev/null";
    if (std::system(build.c_str()) != 0)
      buildError_ = "demo/build-packages failed";
    else
      peer_->StartFromTemplate(std::string(QELVO_SOURCE_DIR) + "/demo/nginx.conf.in", (packages_ / "www").string());
    // A company name that needs escaping in the URL.
    const fs::path layouts = packages_ / "www/qelvo/public/layoutpdv";
    std::error_code ec;
    fs::copy_file(layouts / "demo.zip", layouts / "Café & Cia.zip", ec);
  }
  static void TearDownTestSuite() {
    delete peer_;
    peer_ = nullptr;
    delete serverFolder_;
    serverFolder_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(peer_->Running()) << (buildError_.empty() ? peer_->Error() : buildError_);
    run_ = std::make_unique<test::TempFolder>("e2e-run");
    root_ = run_->Native();
    fs::create_directories(root_ / "drive_c");
    fs::create_directories(root_ / "Desktop");
    fs::create_directories(root_ / "bin");
    ::setenv("QELVO_DRIVE_C", (root_ / "drive_c").c_str(), 1);
    ::setenv("XDG_DESKTOP_DIR", (root_ / "Desktop").c_str(), 1);
    const fs::path opener = root_ / "bin" / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << (root_ / "opened.log").string() << "'\n";
    fs::permissions(opener, fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
    ::setenv("PATH", ((root_ / "bin").string() + ":" + oldPath_).c_str(), 1);

    app::TInstallerConfig c;
    c.ExeFolder = "C:\\inst\\";
    c.PackageHost = "127.0.0.1";
    c.PackagePort = peer_->Port();
    c.Format = {",", "."};
    program_ = std::make_unique<TProgram>(shell_, components_, c);
    Main().ShowCentred();
  }
  void TearDown() override {
    program_.reset();
    ::setenv("PATH", oldPath_.c_str(), 1);
    ::unsetenv("QELVO_DRIVE_C");
    ::unsetenv("XDG_DESKTOP_DIR");
    run_.reset();
  }

  TfrmPrincipalQelvoOneInstall& Main() { return program_->frmPrincipalQelvoOneInstall; }
  void Run(int profile) {
    Main().rgProdutosItems->button(profile)->setChecked(true);
    Main().cxButton1->click();
  }
  fs::path C(const std::string& rel) const { return root_ / "drive_c" / rel; }
  Files Source(std::initializer_list<const char*> packages) const {
    Files merged;
    for (const char* p : packages)
      for (auto& [k, v] : Tree(packages_ / "src" / p)) merged[k] = v;
    return merged;
  }
  // Launched files, once the detached openers have written them (bounded wait).
  std::set<std::string> Opened(size_t expected) const {
    std::set<std::string> lines;
    for (int i = 0; i < 300; ++i) {
      lines.clear();
      std::ifstream in(root_ / "opened.log");
      std::string l;
      while (std::getline(in, l)) lines.insert(l);
      if (lines.size() >= expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return lines;
  }
  void ExpectShortcut(const std::string& name, const std::string& target, const std::string& folder) {
    auto info = LnkInfo(root_ / "Desktop" / (name + ".lnk"));
    EXPECT_EQ(info["Description"], name);
    EXPECT_EQ(info["Local path"], target);
    EXPECT_EQ(info["Working directory"], folder);
  }

  static inline test::NginxPeer* peer_ = nullptr;
  static inline fs::path packages_;
  static inline std::string buildError_;
  static inline test::TempFolder* serverFolder_ = nullptr;
  static inline fs::path serverWork_;
  std::unique_ptr<test::TempFolder> run_;
  fs::path root_;
  std::string oldPath_;
  app::TPlatformShell shell_;
  app::TRealComponentFactory components_;
  std::unique_ptr<TProgram> program_;
};

TEST_F(EndToEnd, ErpServerFromAnEmptyTempFolderToACompleteProductFolder) {
  auto boxes = std::make_unique<TBoxAnswerer>();
  Run(1);
  const std::string msi = "C:\\inst\\temp\\mariadb-10.2.32-winx64.msi";
  EXPECT_EQ(boxes->Texts(),
            (std::vector<std::string>{"message Arquivo baixado em " + msi +
                                          ", vamos prosseguir e instalar o banco de dados!",
                                      "message Nesse momento vamos configurar o Pool de memória e o usuário do banco "
                                      "de dados, caso precise de auxilio fale com o suporte"}));
  EXPECT_EQ(Tree(C("QelvoERP")), Source({"erp-full", "erp", "webserver", "bridge", "schemas"}));
  // Every package stays in temp, complete, with no part file left.
  for (const char* f : {"QelvoERPFull.zip", "QelvoERP.zip", "QelvoWebServerSvc.zip", "QelvoBridge.zip", "schemas.zip",
                        "mariadb-10.2.32-winx64.msi"})
    EXPECT_TRUE(fs::is_regular_file(C("inst/temp") / f)) << f;
  for (const auto& e : fs::directory_iterator(C("inst/temp"))) EXPECT_NE(e.path().extension(), ".part") << e.path();

  ExpectShortcut("QelvoERP", "C:\\QelvoERP\\Vaskir2.exe", "C:\\QelvoERP\\");
  ExpectShortcut("HeidiSQL", "C:\\QelvoERP\\heidisql.exe", "C:\\QelvoERP\\");
  EXPECT_EQ(Opened(3), (std::set<std::string>{C("QelvoERP/programas/capicom.exe").string(),
                                              C("QelvoERP/programas/TeamViewer_Setup.exe").string(),
                                              C("inst/temp/mariadb-10.2.32-winx64.msi").string()}));

  // The bar ends on the last package downloaded, whole: its range is that package's size
  // (also when its body came in the same read as the head) and it stands at the end.
  std::set<int> packageSizes;
  for (const auto& e : fs::directory_iterator(C("inst/temp"))) packageSizes.insert(static_cast<int>(e.file_size()));
  EXPECT_TRUE(packageSizes.count(Main().ProgressBar1->maximum())) << Main().ProgressBar1->maximum();
  EXPECT_EQ(Main().ProgressBar1->value(), Main().ProgressBar1->maximum());
  EXPECT_NE(Main().lConnectionInfo->text().indexOf(" KB/s  -  "), -1);
  EXPECT_FALSE(program_->frmStatus.isVisible());

  // Second run answered No: one question per package and no request to the server.
  const int requests = peer_->RequestCount();
  boxes.reset();
  TBoxAnswerer again;
  Run(1);
  std::vector<std::string> confirms;
  for (const auto& b : again.Seen)
    if (b.Kind == "confirm") {
      const std::string prefix = "Já existe um arquivo ";
      confirms.push_back(b.Text.substr(prefix.size(), b.Text.find(' ', prefix.size()) - prefix.size()));
    }
  EXPECT_EQ(confirms, (std::vector<std::string>{"QelvoERPFull.zip", "mariadb-10.2.32-winx64.msi", "QelvoERP.zip",
                                                "QelvoWebServerSvc.zip", "QelvoBridge.zip", "schemas.zip"}));
  EXPECT_EQ(again.Seen.size(), 8u);  // and the database step's two messages
  EXPECT_EQ(peer_->RequestCount(), requests);
  // The shortcuts were written again over the first ones.
  std::set<std::string> links;
  for (const auto& e : fs::directory_iterator(root_ / "Desktop")) links.insert(e.path().filename().string());
  EXPECT_EQ(links, (std::set<std::string>{"HeidiSQL.lnk", "QelvoERP.lnk"}));
  EXPECT_EQ(Tree(C("QelvoERP")), Source({"erp-full", "erp", "webserver", "bridge", "schemas"}));
}

TEST_F(EndToEnd, PdvCompleteAsksForTheLayoutUntilOneExists) {
  TBoxAnswerer boxes;
  boxes.Inputs = {"inexistente", "../demo", "Café & Cia"};
  const int before = peer_->RequestCount();
  Run(0);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"input Nome da Empresa", "message O layout não existe inexistente.zip",
                                                     "input Nome da Empresa", "message O layout não existe ../demo.zip",
                                                     "input Nome da Empresa"}));
  // Full package, missing layout, escaped layout, bridge, update: the unsafe name sent nothing.
  EXPECT_EQ(peer_->RequestCount() - before, 5);
  EXPECT_TRUE(fs::is_regular_file(C("inst/temp/Café & Cia.zip")));
  EXPECT_EQ(Tree(C("QelvoPDV")), Source({"pdv-full", "layout-demo", "bridge", "pdv"}));
  ExpectShortcut("QelvoPDV", "C:\\QelvoPDV\\QelvoPDV.exe", "C:\\QelvoPDV\\");
  ExpectShortcut("HeidiSQL", "C:\\QelvoPDV\\heidisql.exe", "C:\\QelvoPDV\\");
  EXPECT_EQ(Opened(3), (std::set<std::string>{C("QelvoPDV/programas/capicom.exe").string(),
                                              C("QelvoPDV/programas/mariadb-10.2.32-winx64.msi").string(),
                                              C("QelvoPDV/programas/TeamViewer_Setup.exe").string()}));
  // The missing layout was never completed.
  EXPECT_FALSE(fs::exists(C("inst/temp/inexistente.zip")));
}

TEST_F(EndToEnd, YesForAPackageTheServerLostUnpacksThePreviousCopy) {
  {
    TBoxAnswerer first;
    Run(7);
    ASSERT_TRUE(first.Seen.empty());
  }
  const fs::path served = packages_ / "www/qelvo/public/QelvoWebServerSvc.zip";
  fs::rename(served, served.string() + ".away");
  fs::remove_all(C("inst/temp/QelvoWebServerSvc"));
  TBoxAnswerer boxes;
  boxes.ConfirmAnswer = [](const TBox&) { return true; };
  Run(7);
  fs::rename(served.string() + ".away", served);
  // The operator asked for a new copy and learns that the older one is installed instead.
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"confirm Já existe um arquivo QelvoWebServerSvc.zip baixado. "
                                                     "Deseja descartar e baixar novamente?",
                                                     "message O novo download de QelvoWebServerSvc.zip não terminou "
                                                     "(o servidor respondeu 404 Not Found). A cópia que já estava na "
                                                     "pasta temp será instalada."}));
  EXPECT_EQ(Slurp(C("inst/temp/QelvoWebServerSvc.zip")), Slurp(served));
  EXPECT_EQ(Tree(C("inst/temp/QelvoWebServerSvc")), Tree(packages_ / "src/webserver/QelvoWebServerSvc"));
}

TEST_F(EndToEnd, AMissingPackageEndsTheRunWithTheUnzipError) {
  // The web-server profile against a server path that is not there: nothing arrives,
  // and unpacking the missing file is what fails.
  fs::rename(packages_ / "www/qelvo/public/QelvoWebServerSvc.zip",
             packages_ / "www/qelvo/public/away.zip");
  TBoxAnswerer boxes;
  Run(7);
  fs::rename(packages_ / "www/qelvo/public/away.zip",
             packages_ / "www/qelvo/public/QelvoWebServerSvc.zip");
  ASSERT_EQ(boxes.Seen.size(), 1u);
  EXPECT_EQ(boxes.Seen[0].Kind, "error");
  EXPECT_EQ(boxes.Seen[0].Text, "File not found");
  EXPECT_FALSE(fs::exists(C("inst/temp/QelvoWebServerSvc.zip")));
  EXPECT_TRUE(Main().cxButton1->isEnabled());
}

}  // namespace
}  // namespace qelvo::ui::testing
