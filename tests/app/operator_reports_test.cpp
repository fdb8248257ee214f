// What the operator is told when a step goes on with less than it asked for: items an
// unpacking left out, a new download that did not finish while an older copy is in temp,
// and a layout name that would land on one of the installer's own packages. The real
// unzip component reads hand-made archives; the real download component talks to a
// scripted server on loopback.
#include <gtest/gtest.h>

#include <sstream>

#include "app/layout_name.h"
#include "app/real_components.h"
#include "tests/app/doubles/scripted.h"
#include "tests/support/script_server.h"
#include "tests/support/zip_builder.h"

namespace qelvo::app::testing {
namespace {

using qelvo::test::BuildZip;
using qelvo::test::StoredEntry;
using qelvo::test::TZipEntry;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// Scripted downloads, the real unzip component.
class TRealUnzipFactory : public TFakeFactory {
 public:
  using TFakeFactory::TFakeFactory;
  std::unique_ptr<IUnZipper> CreateUnZipper() override { return real_.CreateUnZipper(); }

 private:
  TRealComponentFactory real_;
};

// The real download component, scripted unpacking.
class TRealDownloadFactory : public TFakeFactory {
 public:
  using TFakeFactory::TFakeFactory;
  std::unique_ptr<IDownloader> CreateDownloader() override { return real_.CreateDownloader(); }

 private:
  TRealComponentFactory real_;
};

void UseFactory(TScriptedInstaller& s, IComponentFactory& factory, const std::string& host, int port) {
  TInstallerConfig config;
  config.ExeFolder = "C:\\inst\\";
  config.PackageHost = host;
  config.PackagePort = port;
  s.Installer =
      std::make_unique<TInstaller>(TInstallerPorts{s.View, s.Status, s.Dialogs, s.Pump, s.Shell, factory}, config);
}

// A stored item whose CRC does not match its bytes, and one with a method nobody reads.
TZipEntry BadCrc(const std::string& name) {
  TZipEntry e = StoredEntry(name, "conteudo de " + name);
  *e.Crc ^= 0x5A5A5A5A;
  return e;
}
TZipEntry UnknownMethod(const std::string& name) {
  TZipEntry e = StoredEntry(name, "dados");
  e.Method = 77;
  return e;
}

TEST(ItemFailures, OneBoxAfterThePackageNamesTheFirstFewAndTheRunGoesOn) {
  TScriptedInstaller s;
  TRealUnzipFactory factory(s.Log, s.Server);
  UseFactory(s, factory, "pkg.test", 8997);
  s.Server.Bodies[s.Url("/qelvo/public/qelvoLojafull.zip")] =
      BuildZip({StoredEntry("QelvoLoja.exe", "programa"), BadCrc("dados/a.txt"), UnknownMethod("dados/b.bin"),
                BadCrc("c.txt"), BadCrc("d.txt"), BadCrc("e.txt"), BadCrc("f.txt"), BadCrc("g.txt")});
  s.Server.Bodies[s.Url("/qelvo/public/qelvoloja.zip")] = BuildZip({StoredEntry("versao.txt", "2")});
  s.Press(6);

  // The box comes after the full package's unpacking, before its launches, and the
  // update package is still fetched and unpacked after it.
  const TLog seen = Filter(s.Log, {"download", "message", "launch", "shortcut", "error"});
  ASSERT_EQ(seen.size(), 6u) << ::testing::PrintToString(s.Log);
  EXPECT_EQ(seen[0].rfind("download ", 0), 0u);
  ASSERT_EQ(seen[1].rfind("message ", 0), 0u);
  EXPECT_EQ(seen[2].rfind("launch C:\\QelvoLoja\\programas\\capicom.exe", 0), 0u);
  EXPECT_EQ(seen[5], "download http://pkg.test:8997/qelvo/public/qelvoloja.zip -> " + kTemp + "QelvoLoja.zip");

  const std::vector<std::string> lines = Lines(seen[1].substr(8));
  ASSERT_EQ(lines.size(), 7u) << seen[1];
  EXPECT_EQ(lines[0], "O pacote QelvoLojaFull.zip foi descompactado, mas 7 itens não puderam ser extraídos:");
  const char* names[] = {"dados/a.txt", "dados/b.bin", "c.txt", "d.txt", "e.txt"};
  for (size_t i = 0; i < 5; ++i) {
    const std::string prefix = std::string(names[i]) + ": ";
    EXPECT_EQ(lines[i + 1].rfind(prefix, 0), 0u) << lines[i + 1];
    EXPECT_GT(lines[i + 1].size(), prefix.size()) << "a reason follows the name: " << lines[i + 1];
  }
  EXPECT_EQ(lines[6], "... e mais 2 itens.");
  EXPECT_EQ(s.ReadFile("C:\\QelvoLoja\\QelvoLoja.exe"), "programa");
  EXPECT_EQ(s.ReadFile("C:\\QelvoLoja\\versao.txt"), "2");
}

TEST(ItemFailures, APackageThatUnpacksWholeShowsNoBoxAndOneFailureIsNamedAlone) {
  TScriptedInstaller s;
  TRealUnzipFactory factory(s.Log, s.Server);
  UseFactory(s, factory, "pkg.test", 8997);
  s.Server.Bodies[s.Url("/qelvo/public/QelvoWebServerSvc.zip")] = BuildZip({StoredEntry("svc.exe", "x")});
  s.Press(7);
  EXPECT_TRUE(Filter(s.Log, {"message", "error"}).empty()) << ::testing::PrintToString(s.Log);

  s.Log.clear();
  s.Dialogs.ConfirmAnswer = true;
  s.Server.Bodies[s.Url("/qelvo/public/QelvoWebServerSvc.zip")] =
      BuildZip({StoredEntry("svc.exe", "x"), BadCrc("svc.ini")});
  s.Press(7);
  const TLog messages = Filter(s.Log, {"message", "error"});
  ASSERT_EQ(messages.size(), 1u);
  const std::vector<std::string> lines = Lines(messages[0].substr(8));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "O pacote QelvoWebServerSvc.zip foi descompactado, mas 1 item não pôde ser extraído:");
  EXPECT_EQ(lines[1].rfind("svc.ini: ", 0), 0u);
}

// The layout step unpacks through the same routine.
TEST(ItemFailures, TheLayoutStepReportsItsItemsToo) {
  TScriptedInstaller s;
  TRealUnzipFactory factory(s.Log, s.Server);
  UseFactory(s, factory, "pkg.test", 8997);
  s.Server.Bodies[s.Url("/qelvo/public/layoutpdv/loja.zip")] = BuildZip({StoredEntry("a.lay", "a"), BadCrc("b.lay")});
  s.Dialogs.Inputs = {"loja"};
  s.Installer->BaixarLayoutPDV();
  const TLog messages = Filter(s.Log, {"message", "input"});
  ASSERT_EQ(messages.size(), 2u) << ::testing::PrintToString(s.Log);
  EXPECT_EQ(
      messages[1].rfind("message O pacote loja.zip foi descompactado, mas 1 item não pôde ser extraído:\nb.lay: ", 0),
      0u)
      << messages[1];
}

// A stored name can hold any byte; a line break in it must not make a line of its own.
TEST(ItemFailures, ControlCharactersOfNamesAndReasonsAreShownEscaped) {
  EXPECT_EQ(ItemFailuresText("p.zip", {{"a\nb.txt", "Failed CRC Check"}, {"c\x1b[2J", "x\ty"}}),
            "O pacote p.zip foi descompactado, mas 2 itens não puderam ser extraídos:\n"
            "a\\x0Ab.txt: Failed CRC Check\nc\\x1B[2J: x\\x09y");
}

// ---- a new download that did not finish --------------------------------------------

struct TUnfinishedCase {
  const char* Name;
  std::function<void(qelvo::test::ScriptConnection&)> Reply;
  const char* Reason;  // "" when only the frame of the text is checked
  friend void PrintTo(const TUnfinishedCase& c, std::ostream* os) { *os << c.Name; }
};

class UnfinishedDownload : public ::testing::TestWithParam<TUnfinishedCase> {
 protected:
  void SetUp() override {
    server_ = std::make_unique<qelvo::test::ScriptServer>(
        [this](qelvo::test::ScriptConnection& c, const std::string&, int) { GetParam().Reply(c); });
    UseFactory(s_, factory_, "127.0.0.1", server_->Port());
  }
  std::string Box(const std::string& package) const {
    const std::string reason = GetParam().Reason;
    return "message O novo download de " + package + " não terminou (" + reason +
           "). A cópia que já estava na pasta temp será instalada.";
  }
  // The message boxes, with the reason cut out when the case does not fix it.
  TLog Messages() const {
    TLog out = Filter(s_.Log, {"message", "error"});
    if (*GetParam().Reason) return out;
    const std::string before = " não terminou (";
    for (auto& m : out) {
      const size_t open = m.find(before), close = m.find("). A cópia");
      if (open != std::string::npos && close != std::string::npos && close > open + before.size())
        m = m.substr(0, open + before.size()) + m.substr(close);
    }
    return out;
  }

  TScriptedInstaller s_;
  TRealDownloadFactory factory_{s_.Log, s_.Server};
  std::unique_ptr<qelvo::test::ScriptServer> server_;
};

TEST_P(UnfinishedDownload, WithAnOlderCopyOneBoxSaysTheCopyIsInstalled) {
  s_.PutFile(kTemp + "QelvoWebServerSvc.zip", "anterior");
  s_.Dialogs.ConfirmAnswer = true;
  s_.Press(7);
  EXPECT_EQ(Messages(), (TLog{Box("QelvoWebServerSvc.zip")}));
  EXPECT_EQ(Filter(s_.Log, {"unzip"}), (TLog{"unzip " + kTemp + "QelvoWebServerSvc.zip -> " + kTemp}));
  EXPECT_EQ(s_.ReadFile(kTemp + "QelvoWebServerSvc.zip"), "anterior");
}

TEST_P(UnfinishedDownload, TheDatabaseStepSaysSoBeforeItsOwnMessages) {
  const std::string msi = "mariadb-10.2.32-winx64.msi";
  s_.PutFile(kTemp + msi, "anterior");
  s_.Dialogs.ConfirmAnswer = true;
  s_.Installer->BaixarMariaDB();
  const TLog messages = Messages();
  ASSERT_EQ(messages.size(), 3u) << ::testing::PrintToString(s_.Log);
  EXPECT_EQ(messages[0], Box(msi));
  EXPECT_EQ(messages[1],
            "message Arquivo baixado em " + kTemp + msi + ", vamos prosseguir e instalar o banco de dados!");
}

TEST_P(UnfinishedDownload, WithoutAnOlderCopyTheRunEndsWithFileNotFoundAsBefore) {
  s_.Press(7);
  EXPECT_EQ(Messages(), (TLog{"error File not found"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnfinishedDownload,
    ::testing::Values(
        TUnfinishedCase{"not_found",
                        [](qelvo::test::ScriptConnection& c) {
                          c.Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
                        },
                        "o servidor respondeu 404 Not Found"},
        TUnfinishedCase{"cut_transfer",
                        [](qelvo::test::ScriptConnection& c) {
                          c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" +
                                 std::string(1000, 'z'));
                        },
                        ""}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- layout names that are the installer's own packages -----------------------------

TEST(LayoutName, TheInstallersOwnPackageNamesAreRefusedInAnyCase) {
  for (const char* own : {"QelvoPDVFull", "schemas", "SCHEMAS", "qelvoerp", "QelvoWebServerSvc", "qelvobridge",
                          "QelvoOneFull", "qelvolojafull"})
    EXPECT_FALSE(IsSafeLayoutName(own)) << own;
  for (const char* fine : {"QelvoPDVFull2", "schemas.old", "mariadb-10.2.32-winx64", "QelvoPDVFull.zip"})
    EXPECT_TRUE(IsSafeLayoutName(fine)) << fine;
}

TEST(LayoutName, APackageNameTypedAsCompanyIsAskedAgainAndNeverDownloaded) {
  TScriptedInstaller s;
  s.ServeAllPackages();
  s.PutFile(kTemp + "QelvoPDVFull.zip", "pacote");
  s.Dialogs.Inputs = {"QelvoPDVFull", "Schemas"};
  s.Installer->BaixarLayoutPDV();
  EXPECT_EQ(Filter(s.Log, {"message", "download", "unzip"}),
            (TLog{"message O layout não existe QelvoPDVFull.zip", "message O layout não existe Schemas.zip"}));
  EXPECT_EQ(s.ReadFile(kTemp + "QelvoPDVFull.zip"), "pacote");
}

}  // namespace
}  // namespace qelvo::app::testing
