// The install run over scripted components: which packages each profile fetches and
// unpacks, in which order, what it asks, launches and links, and how failures end it.
#include <gtest/gtest.h>

#include "app/layout_name.h"
#include "tests/app/doubles/scripted.h"

namespace qelvo::app::testing {
namespace {

std::string D(const std::string& serverFile, const std::string& local) {
  return "download http://pkg.test:8997/qelvo/public/" + serverFile + " -> " + kTemp + local;
}
std::string U(const std::string& local, const std::string& base) { return "unzip " + kTemp + local + " -> " + base; }
std::string L(const std::string& file) { return "launch " + file + " owner=main verb=open params=null dir=null show=5"; }
std::string S(const std::string& desc, const std::string& exe, const std::string& folder) {
  return "shortcut Z:\\home\\op\\Desktop\\" + desc + ".lnk desc=" + desc + " path=" + folder + exe +
         " args='' dir=" + folder;
}
std::string C(const std::string& local) {
  return "confirm Já existe um arquivo " + local + " baixado. Deseja descartar e baixar novamente?";
}
const std::string kMsi = "mariadb-10.2.32-winx64.msi";
const std::string kMsiMessage1 =
    "message Arquivo baixado em " + kTemp + kMsi + ", vamos prosseguir e instalar o banco de dados!";
const std::string kMsiMessage2 =
    "message Nesse momento vamos configurar o Pool de memória e o usuário do banco de dados, caso precise de auxilio "
    "fale com o suporte";
const std::string kMsiLaunch = "launch " + kTemp + kMsi + " owner=none verb=open params='' dir=null show=1";
const std::string kLayoutInput = "input Layout PDV / Nome da Empresa / ";

TLog MariaDb(bool download) {
  TLog l;
  if (download) l.push_back(D(kMsi, kMsi));
  l.insert(l.end(), {kMsiMessage1, kMsiMessage2, kMsiLaunch});
  return l;
}
TLog Cat(std::initializer_list<TLog> parts) {
  TLog out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::string kPdv = "C:\\QelvoPDV\\", kErp = "C:\\QelvoERP\\", kOne = "C:\\QelvoOne\\", kLoja = "C:\\QelvoLoja\\";

TLog Full(const std::string& serverFile, const std::string& local, const std::string& folder, TLog after) {
  return Cat({{D(serverFile, local), U(local, folder)}, after});
}
TLog Plain(const std::string& serverFile, const std::string& local, const std::string& base) {
  return {D(serverFile, local), U(local, base)};
}
TLog Launches(const std::string& folder, bool withMsi) {
  TLog l = {L(folder + "programas\\capicom.exe")};
  if (withMsi) l.push_back(L(folder + "programas\\mariadb-10.2.32-winx64.msi"));
  l.push_back(L(folder + "programas\\TeamViewer_Setup.exe"));
  return l;
}

struct TProfileCase {
  int Profile;
  TLog Expected;  // downloads, unpacking, boxes, launches and shortcuts in order
  friend void PrintTo(const TProfileCase& c, std::ostream* os) { *os << "profile " << c.Profile; }
};

std::vector<TProfileCase> ProfileCases() {
  const TLog erpFull = Full("qelvoERPfull.zip", "QelvoERPFull.zip", kErp,
                            Cat({Launches(kErp, false), {S("QelvoERP", "Vaskir2.exe", kErp), S("HeidiSQL", "heidisql.exe", kErp)}}));
  const TLog oneFull = Full("qelvoonefull.zip", "QelvoOneFull.zip", kOne,
                            Cat({Launches(kOne, false),
                                 {S("QelvoONE", "QelvoOne.exe", kOne), S("QelvoBOX", "QelvoBoxOne.exe", kOne),
                                  S("HeidiSQL", "heidisql.exe", kOne)}}));
  const TLog lojaFull =
      Full("qelvoLojafull.zip", "QelvoLojaFull.zip", kLoja, Cat({Launches(kLoja, false), {S("QelvoLoja", "QelvoLoja.exe", kLoja)}}));
  const TLog pdvFull = Full("qelvopdvfull.zip", "QelvoPDVFull.zip", kPdv,
                            Cat({{kLayoutInput, D("layoutpdv/demo.zip", "demo.zip"), U("demo.zip", kPdv)},
                                 Launches(kPdv, true),
                                 {S("QelvoPDV", "QelvoPDV.exe", kPdv), S("HeidiSQL", "heidisql.exe", kPdv)}}));
  return {
      {0, Cat({pdvFull, Plain("QelvoBridge.zip", "QelvoBridge.zip", kPdv), Plain("qelvopdv.zip", "QelvoPDV.zip", kPdv)})},
      {1, Cat({erpFull, MariaDb(true), Plain("qelvoerp.zip", "QelvoERP.zip", kErp),
               Plain("QelvoWebServerSvc.zip", "QelvoWebServerSvc.zip", kErp), Plain("QelvoBridge.zip", "QelvoBridge.zip", kErp),
               Plain("schemas.zip", "schemas.zip", kErp)})},
      {2, Cat({erpFull, Plain("qelvoerp.zip", "QelvoERP.zip", kErp), Plain("schemas.zip", "schemas.zip", kErp)})},
      {3, Cat({oneFull, MariaDb(true), Plain("qelvoone.zip", "QelvoOne.zip", kOne),
               Plain("QelvoWebServerSvc.zip", "QelvoWebServerSvc.zip", kOne), Plain("QelvoBridge.zip", "QelvoBridge.zip", kOne),
               Plain("schemas.zip", "schemas.zip", kOne)})},
      {4, Cat({oneFull, Plain("qelvoone.zip", "QelvoOne.zip", kOne), Plain("schemas.zip", "schemas.zip", kOne)})},
      {5, Cat({lojaFull, MariaDb(true), Plain("qelvoloja.zip", "QelvoLoja.zip", kLoja),
               Plain("QelvoWebServerSvc.zip", "QelvoWebServerSvc.zip", kLoja),
               Plain("QelvoBridge.zip", "QelvoBridge.zip", kLoja)})},
      {6, Cat({lojaFull, Plain("qelvoloja.zip", "QelvoLoja.zip", kLoja)})},
      // The web-server profile has no product folder: it unpacks into the temp folder.
      {7, Plain("QelvoWebServerSvc.zip", "QelvoWebServerSvc.zip", kTemp)},
      {-1, {}},
      {8, {}},
  };
}

const std::vector<std::string> kSeen = {"download", "unzip", "launch", "shortcut", "message",
                                                  "input",    "confirm", "error"};

class ProfileRun : public ::testing::TestWithParam<TProfileCase> {};

TEST_P(ProfileRun, FirstRunFetchesAndUnpacksEveryPackageInOrder) {
  TScriptedInstaller s;
  s.ServeAllPackages();
  s.Dialogs.Inputs = {"demo"};
  s.Press(GetParam().Profile);
  EXPECT_EQ(Filter(s.Log, kSeen), GetParam().Expected);
  // "Aguarde" first, the status window hidden at the end.
  ASSERT_FALSE(s.Log.empty());
  EXPECT_EQ(Filter(s.Log, {"status"}).front(), "status Aguarde | Qelvo ERP");
  EXPECT_FALSE(s.StatusView.Visible);
  EXPECT_FALSE(s.Status.ATIVO);
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileRun, ::testing::ValuesIn(ProfileCases()),
                         [](const auto& info) { return "profile_" + std::to_string(info.param.Profile + 1); });

TEST(InstallRun, ConfiguresTheDownloadComponentOnce) {
  TScriptedInstaller s;
  TFakeDownloader& d = *s.Factory.Downloader;
  EXPECT_EQ(d.Protocolo, TQvProtocolo::protHTTP);
  EXPECT_EQ(d.SizeRecvBuffer, 65536);
  EXPECT_EQ(d.ProxyTimeout, 90000);
  EXPECT_EQ(d.FtpTimeout, 300000);
  EXPECT_TRUE(d.OnHookStatus);
  EXPECT_TRUE(d.OnHookMonitor);
  s.ServeAllPackages();
  s.Press(7);
  // Destination, name and URL are set in that order before each start.
  EXPECT_EQ(d.Calls, (TLog{"dest " + kTemp, "name QelvoWebServerSvc.zip",
                           "url http://pkg.test:8997/qelvo/public/QelvoWebServerSvc.zip"}));
}

TEST(InstallRun, DescompactarOpensWithBothOptionsAndExtractsEverything) {
  TScriptedInstaller s;
  s.ServeAllPackages();
  s.Press(7);
  EXPECT_EQ(TFakeUnZipper::Calls, (TLog{"options 3", "file " + kTemp + "QelvoWebServerSvc.zip", "base " + kTemp,
                                        "extract *.*", "free"}));
  EXPECT_TRUE(std::filesystem::is_directory(s.Native(kTemp)));
}

TEST(InstallRun, NoSelectionOnlyFlashesTheStatusWindow) {
  TScriptedInstaller s;
  s.Press(-1);
  EXPECT_EQ(Filter(s.Log, {"status", "download", "unzip"}), (TLog{"status Aguarde | Qelvo ERP", "status hidden"}));
}

struct TSecondRunCase {
  int Profile;
  TLog Expected;
  friend void PrintTo(const TSecondRunCase& c, std::ostream* os) { *os << "profile " << c.Profile; }
};

class SecondRunAnsweredNo : public ::testing::TestWithParam<TSecondRunCase> {};

// Every package is already in temp: one question per package, and No keeps them all,
// so only the layout (never reused) goes to the server.
TEST_P(SecondRunAnsweredNo, AsksPerPackageAndDownloadsNothingButTheLayout) {
  TScriptedInstaller s;
  s.ServeAllPackages();
  s.Dialogs.Inputs = {"demo", "demo"};
  s.Press(GetParam().Profile);
  s.Log.clear();
  s.Dialogs.ConfirmAnswer = false;
  s.Press(GetParam().Profile);
  EXPECT_EQ(Filter(s.Log, {"confirm", "download", "message", "launch " + kTemp}), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, SecondRunAnsweredNo,
    ::testing::Values(
        TSecondRunCase{0, {C("QelvoPDVFull.zip"), D("layoutpdv/demo.zip", "demo.zip"), C("QelvoBridge.zip"), C("QelvoPDV.zip")}},
        TSecondRunCase{1,
                       {C("QelvoERPFull.zip"), C(kMsi), kMsiMessage1, kMsiMessage2, kMsiLaunch, C("QelvoERP.zip"),
                        C("QelvoWebServerSvc.zip"), C("QelvoBridge.zip"), C("schemas.zip")}}),
    [](const auto& info) { return "profile_" + std::to_string(info.param.Profile + 1); });

TEST(InstallRun, YesForAPackageTheServerNoLongerHasUnpacksThePreviousCopy) {
  TScriptedInstaller s;
  s.ServeAllPackages();
  s.Server.Bodies.erase(s.Url("/qelvo/public/qelvoerp.zip"));
  s.PutFile(kTemp + "QelvoERP.zip", "previous");
  s.Dialogs.ConfirmAnswer = true;
  s.Press(2);
  EXPECT_EQ(Filter(s.Log, {"confirm", "download http://pkg.test:8997/qelvo/public/qelvoerp.zip", "unzip " + kTemp + "QelvoERP.zip",
                           "error"}),
            (TLog{C("QelvoERP.zip"), D("qelvoerp.zip", "QelvoERP.zip"), U("QelvoERP.zip", kErp)}));
  EXPECT_EQ(s.ReadFile(kTemp + "QelvoERP.zip"), "previous");
}

struct TFailureCase {
  const char* Name;
  bool RaiseFromDownload;  // else: the server does not have the package
  TLog Expected;
  bool StatusVisible;
  friend void PrintTo(const TFailureCase& c, std::ostream* os) { *os << c.Name; }
};

class FailingStep : public ::testing::TestWithParam<TFailureCase> {};

// Profile 2's second step fails: the run ends there, the handler shows the message, and
// the status window stays as the failing step left it.
TEST_P(FailingStep, EndsTheRunAndShowsTheMessage) {
  TScriptedInstaller s;
  s.ServeAllPackages();
  const std::string url = s.Url("/qelvo/public/qelvoerp.zip");
  if (GetParam().RaiseFromDownload) s.Server.Raises[url] = "Não foi possível renomear o arquivo: a para b";
  else s.Server.Bodies.erase(url);
  s.Press(2);
  EXPECT_EQ(Filter(s.Log, {"download", "unzip", "error", "button"}), GetParam().Expected);
  EXPECT_EQ(s.StatusView.Visible, GetParam().StatusVisible);
  EXPECT_EQ(s.Status.ATIVO, GetParam().StatusVisible);
  if (GetParam().StatusVisible) {
    EXPECT_EQ(s.StatusView.Message, "Baixando atualização do QelvoERP...");
  }

  // The next click starts again from the first step.
  s.Log.clear();
  s.Press(2);
  EXPECT_EQ(Filter(s.Log, {"confirm"}).front(), C("QelvoERPFull.zip"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailingStep,
    ::testing::Values(
        TFailureCase{"missing_package",
                     false,
                     {"button disabled", D("qelvoERPfull.zip", "QelvoERPFull.zip"), U("QelvoERPFull.zip", kErp),
                      D("qelvoerp.zip", "QelvoERP.zip"), "error File not found", "button enabled"},
                     false},
        TFailureCase{"download_raises",
                     true,
                     {"button disabled", D("qelvoERPfull.zip", "QelvoERPFull.zip"), U("QelvoERPFull.zip", kErp),
                      D("qelvoerp.zip", "QelvoERP.zip"), "error Não foi possível renomear o arquivo: a para b",
                      "button enabled"},
                     true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(DatabaseStep, KeepingThePackageStillShowsBothMessagesAndOpensIt) {
  TScriptedInstaller s;
  s.PutFile(kTemp + kMsi, "msi");
  s.Installer->BaixarMariaDB();
  EXPECT_EQ(Filter(s.Log, {"confirm", "download", "message", "launch"}),
            Cat({{C(kMsi)}, MariaDb(false)}));
  // Shown before the question and not hidden when the file is kept.
  EXPECT_EQ(Filter(s.Log, {"status"}), (TLog{"status Baixando Banco de Dados... | Qelvo Install"}));
  EXPECT_TRUE(s.StatusView.Visible);
}

TEST(DatabaseStep, AFailedDownloadOfAMissingPackageEndsSilently) {
  TScriptedInstaller s;
  s.Installer->BaixarMariaDB();
  EXPECT_EQ(Filter(s.Log, {"confirm", "download", "message", "launch", "status"}),
            (TLog{"status Baixando Banco de Dados... | Qelvo Install", D(kMsi, kMsi), "status hidden"}));
}

TEST(LayoutStep, AsksAgainUntilALayoutIsUnpackedAndNeverSendsAnUnsafeName) {
  TScriptedInstaller s;
  const std::string good = "Café & Cia";
  s.Server.Bodies[s.Url("/qelvo/public/layoutpdv/Caf%C3%A9%20%26%20Cia.zip")] = "layout";
  s.Dialogs.Inputs = {"../x", "semlayout", good};
  s.Installer->BaixarLayoutPDV();
  EXPECT_EQ(Filter(s.Log, {"input", "message", "download", "unzip", "status"}),
            (TLog{kLayoutInput, "message O layout não existe ../x.zip", kLayoutInput,
                  "status Baixando Layouts semlayout | Qelvo Install", D("layoutpdv/semlayout.zip", "semlayout.zip"),
                  "status hidden", "message O layout não existe semlayout.zip", kLayoutInput,
                  "status Baixando Layouts " + good + " | Qelvo Install",
                  D("layoutpdv/Caf%C3%A9%20%26%20Cia.zip", good + ".zip"), "status hidden", U(good + ".zip", kPdv)}));
  EXPECT_EQ(s.ReadFile(kTemp + good + ".zip"), "layout");
}

TEST(LayoutStep, EmptyNameOrCancelEndsTheStepSilently) {
  TScriptedInstaller s;
  s.Dialogs.Inputs = {""};  // an empty entry; the next prompt would be Cancel
  s.Installer->BaixarLayoutPDV();
  EXPECT_EQ(Filter(s.Log, {"input", "message", "download", "status"}), (TLog{kLayoutInput}));
}

TEST(LayoutStep, AnEarlierCopyIsUnpackedWhenTheServerNoLongerHasIt) {
  TScriptedInstaller s;
  s.PutFile(kTemp + "antiga.zip", "old layout");
  s.Dialogs.Inputs = {"antiga"};
  s.Installer->BaixarLayoutPDV();
  EXPECT_EQ(Filter(s.Log, {"message", "download", "unzip"}),
            (TLog{D("layoutpdv/antiga.zip", "antiga.zip"), U("antiga.zip", kPdv)}));
}

TEST(LayoutName, UnsafeNamesAreRefused) {
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "c:x", "x*", "x?", "a\"b", "<x>", "a|b", "tab\there", "nl\n",
                          "del\x7f", "bad\xff"}) {
    EXPECT_FALSE(IsSafeLayoutName(bad)) << bad;
  }
  for (const char* good : {"demo", "Café & Cia", "loja.centro", "100% Natural", "a b", "...x"}) {
    EXPECT_TRUE(IsSafeLayoutName(good)) << good;
  }
}

TEST(LayoutName, PathSegmentIsPercentEncodedUtf8) {
  const std::pair<const char*, const char*> cases[] = {
      {"demo", "demo"},
      {"Loja_Centro-1.v2~", "Loja_Centro-1.v2~"},
      {"a b", "a%20b"},
      {"Café", "Caf%C3%A9"},
      {"100%", "100%25"},
      {"#?&=+", "%23%3F%26%3D%2B"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(PercentEncodePathSegment(in), out) << in;
}

// A second click and a close request arrive through the message pumping of a running
// download: the click is ignored, the close waits for the end of the run.
struct TReentryCase {
  const char* Name;
  bool Fails;
  friend void PrintTo(const TReentryCase& c, std::ostream* os) { *os << c.Name; }
};
class InputDuringARun : public ::testing::TestWithParam<TReentryCase> {};

TEST_P(InputDuringARun, SecondClickIgnoredAndCloseDeferred) {
  TScriptedInstaller s;
  s.ServeAllPackages();
  if (GetParam().Fails) s.Server.Bodies.erase(s.Url("/qelvo/public/QelvoWebServerSvc.zip"));
  bool closeAllowed = true;
  s.Factory.Downloader->DuringTransfer = [&] {
    s.Log.push_back("click");
    s.Installer->InstallButtonPressed(s.Dialogs);
    closeAllowed = s.Installer->CloseQuery();
  };
  s.Press(7);
  EXPECT_FALSE(closeAllowed);
  TLog expected = {"button disabled", D("QelvoWebServerSvc.zip", "QelvoWebServerSvc.zip"), "click"};
  if (GetParam().Fails) expected.push_back("error File not found");
  else expected.push_back(U("QelvoWebServerSvc.zip", kTemp));
  expected.insert(expected.end(), {"button enabled", "window closed"});
  EXPECT_EQ(Filter(s.Log, {"button", "download", "click", "unzip", "error", "window"}), expected);
  EXPECT_FALSE(s.Installer->Running());
  EXPECT_TRUE(s.Installer->CloseQuery());
}

INSTANTIATE_TEST_SUITE_P(Cases, InputDuringARun, ::testing::Values(TReentryCase{"ok", false}, TReentryCase{"fails", true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Shortcuts, NamedAfterTheDescriptionAndStartingInTheProductFolder) {
  TScriptedInstaller s;
  s.Shell.Desktop = "Z:\\home\\op\\Mesa\\";
  s.Installer->CriarAtalho("C:\\QelvoERP\\Vaskir2.exe", "QelvoERP");
  s.Installer->CriarAtalho("C:\\QelvoERP\\Vaskir2.exe", "Versão 2.1");
  EXPECT_EQ(Filter(s.Log, {"shortcut"}),
            (TLog{"shortcut Z:\\home\\op\\Mesa\\QelvoERP.lnk desc=QelvoERP path=C:\\QelvoERP\\Vaskir2.exe args='' "
                  "dir=C:\\QelvoERP\\",
                  "shortcut Z:\\home\\op\\Mesa\\Versão 2.lnk desc=Versão 2.1 path=C:\\QelvoERP\\Vaskir2.exe args='' "
                  "dir=C:\\QelvoERP\\"}));
}

TEST(Shortcuts, SkippedWhenTheDesktopFolderIsUnknown) {
  TScriptedInstaller s;
  s.Shell.Desktop = "";
  s.ServeAllPackages();
  s.Press(6);
  EXPECT_TRUE(Filter(s.Log, {"shortcut"}).empty());
  EXPECT_EQ(Filter(s.Log, {"launch"}).size(), 2u);
}

}  // namespace
}  // namespace qelvo::app::testing
