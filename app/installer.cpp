#include "app/installer.h"

#include <exception>

#include "app/descompactar.h"
#include "app/layout_name.h"
#include "app/profiles.h"
#include "app/progress_figures.h"
#include "app/shortcut_name.h"
#include "platform/file_system.h"
#include "platform/locale_settings.h"
#include "rtl/exceptions.h"
#include "rtl/file_path.h"

#ifndef QELVO_PACKAGE_HOST
#define QELVO_PACKAGE_HOST "localhost"
#endif

namespace qelvo::app {
namespace {

constexpr const char* kConfirmPrefix = "Já existe um arquivo ";
constexpr const char* kConfirmSuffix = " baixado. Deseja descartar e baixar novamente?";
constexpr const char* kMariaDbDownloaded = "Arquivo baixado em ";
constexpr const char* kMariaDbProceed = ", vamos prosseguir e instalar o banco de dados!";
constexpr const char* kMariaDbConfigure =
    "Nesse momento vamos configurar o Pool de memória e o usuário do banco de dados, caso precise de auxilio fale "
    "com o suporte";
constexpr const char* kLayoutMissing = "O layout não existe ";
constexpr const char* kDownloadTitle = "Qelvo Install";
constexpr size_t kItemFailuresShown = 5;

std::string MessageOf(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Erro desconhecido";
  }
}

bool IsFullStep(TPackageStep step) { return !AfterUnpackOf(step).empty(); }

// Names and reasons come from the archive: a control character in them is shown as
// \xNN, so that it cannot break or fake the lines of the box.
std::string Printable(const std::string& text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7F) {
      out += ch;
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

}  // namespace

std::string ItemFailuresText(const std::string& package, const std::vector<TItemFailure>& failures) {
  const size_t n = failures.size();
  std::string text = "O pacote " + package + " foi descompactado, mas " + std::to_string(n) +
                     (n == 1 ? " item não pôde ser extraído:" : " itens não puderam ser extraídos:");
  for (size_t i = 0; i < n && i < kItemFailuresShown; ++i)
    text += "\n" + Printable(failures[i].Name) + ": " + Printable(failures[i].Reason);
  if (n > kItemFailuresShown) {
    const size_t rest = n - kItemFailuresShown;
    text += "\n... e mais " + std::to_string(rest) + (rest == 1 ? " item." : " itens.");
  }
  return text;
}

std::string UnfinishedDownloadText(const std::string& package, const std::string& reason) {
  std::string text = "O novo download de " + package + " não terminou";
  if (!reason.empty()) text += " (" + reason + ")";
  return text + ". A cópia que já estava na pasta temp será instalada.";
}

TInstallerConfig DefaultInstallerConfig() {
  TInstallerConfig c;
  c.ExeFolder = platform::ExeFolder();
  c.PackageHost = QELVO_PACKAGE_HOST;
  c.PackagePort = kPackagePort;
  c.Format = platform::UserFormatSettings();
  return c;
}

TInstaller::TInstaller(TInstallerPorts ports, TInstallerConfig config)
    : ports_(ports), config_(std::move(config)), download_(ports.Components.CreateDownloader()) {
  download_->SetProtocolo(TQvProtocolo::protHTTP);
  download_->SetSizeRecvBuffer(65536);
  download_->SetProxyTimeout(90000);
  download_->SetFtpTimeout(300000);
  download_->SetOnHookStatus([this](THookSocketReason r, int32_t total, int32_t done) {
    fQvDownloadHookStatus(r, total, done);
  });
  download_->SetOnHookMonitor([this](int32_t total, int32_t done, double speed, uint16_t h, uint16_t m, uint16_t s) {
    fQvDownloadHookMonitor(total, done, speed, h, m, s);
  });
}

TInstaller::~TInstaller() = default;

// ---- the run -------------------------------------------------------------------------

void TInstaller::InstallButtonPressed(IExceptionHandler& handler) {
  if (running_) return;  // a click delivered by the pumping of a running install
  running_ = true;
  ports_.View.SetInstallEnabled(false);
  std::exception_ptr failure;
  try {
    cxButton1Click();
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) handler.ShowException(MessageOf(failure));
  running_ = false;
  ports_.View.SetInstallEnabled(true);
  if (closePending_) {
    closePending_ = false;
    ports_.View.CloseMainWindow();
  }
}

bool TInstaller::CloseQuery() {
  if (!running_) return true;
  closePending_ = true;
  return false;
}

void TInstaller::cxButton1Click() {
  ports_.Status.MostrarStatus("Aguarde", "");
  const int index = ports_.View.ProfileIndex();
  const auto& profiles = Profiles();
  if (index >= 0 && index < static_cast<int>(profiles.size())) {
    for (const TProfileStep& s : profiles[static_cast<size_t>(index)].Steps) RunStep(s.Step, s.Destination);
  }
  ports_.Status.OcultarStatus();
}

void TInstaller::RunStep(TPackageStep step, const std::string& destination) {
  switch (step) {
    case TPackageStep::BaixarMariaDB: return BaixarMariaDB();
    case TPackageStep::BaixarLayoutPDV: return BaixarLayoutPDV();
    default: return StandardStep(step, destination);
  }
}

// ---- package steps -------------------------------------------------------------------

std::string TInstaller::TempFolder() const { return config_.ExeFolder + "temp\\"; }

std::string TInstaller::PackageUrl(const std::string& serverPath) const {
  return "http://" + config_.PackageHost + ":" + std::to_string(config_.PackagePort) + serverPath;
}

bool TInstaller::WantDownload(const std::string& localPath, const std::string& localFile) {
  if (!platform::FileExists(localPath)) return true;
  return ports_.Dialogs.Confirm(kConfirmPrefix + localFile + kConfirmSuffix);
}

void TInstaller::Download(const std::string& folder, const std::string& fileName, const std::string& url) {
  download_->SetDownloadDest(folder);
  download_->SetDownloadNomeArq(fileName);
  download_->SetDownloadUrl(url);
  download_->StartDownload();
}

void TInstaller::StandardStep(TPackageStep step, const std::string& destinationArgument) {
  const TPackage& p = PackageOf(step);
  const std::string temp = TempFolder();
  platform::ForceDirectories(temp);
  std::string destination = p.ProductFolder;
  if (destination.empty()) destination = destinationArgument.empty() ? temp : destinationArgument;
  const std::string localPath = temp + p.LocalFile;

  if (WantDownload(localPath, p.LocalFile)) {
    SetStatusDownload(p.StatusText);
    Download(temp, p.LocalFile, PackageUrl(p.ServerPath));
    SetStatusDownload("");
    ReportUnfinishedDownload(localPath, p.LocalFile);
  }

  const bool full = IsFullStep(step);
  if (full) platform::ForceDirectories(destination);
  Unpack(localPath, p.LocalFile, destination);
  if (!full) return;

  for (const TAfterUnpack& a : AfterUnpackOf(step)) {
    switch (a.Kind) {
      case TAfterUnpack::Layout: BaixarLayoutPDV(); break;
      case TAfterUnpack::Launch: Launch(destination + a.RelativePath); break;
      case TAfterUnpack::Shortcut: CriarAtalho(destination + a.RelativePath, a.Description); break;
    }
  }
}

void TInstaller::BaixarMariaDB() {
  const TPackage& p = PackageOf(TPackageStep::BaixarMariaDB);
  const std::string temp = TempFolder();
  platform::ForceDirectories(temp);
  const std::string localPath = temp + p.LocalFile;
  // Shown before the question, so the text stays while the operator decides.
  SetStatusDownload(p.StatusText);
  if (WantDownload(localPath, p.LocalFile)) {
    Download(temp, p.LocalFile, PackageUrl(p.ServerPath));
    SetStatusDownload("");
    ReportUnfinishedDownload(localPath, p.LocalFile);
  }
  if (!platform::FileExists(localPath)) return;
  ports_.Dialogs.ShowMessage(kMariaDbDownloaded + localPath + kMariaDbProceed);
  ports_.Dialogs.ShowMessage(kMariaDbConfigure);
  TShellExecuteRequest r;
  r.OwnerIsMainWindow = false;
  r.Verb = "open";
  r.File = localPath;
  r.Parameters = "";
  r.ShowCommand = SW_SHOWNORMAL;
  ports_.Shell.ShellExecute(r);
}

void TInstaller::BaixarLayoutPDV() {
  while (!LayoutAttempt()) {
  }
}

bool TInstaller::LayoutAttempt() {
  const TPackage& p = PackageOf(TPackageStep::BaixarLayoutPDV);
  const std::string temp = TempFolder();
  platform::ForceDirectories(temp);
  const std::string company = ports_.Dialogs.InputBox("Layout PDV", "Nome da Empresa", "");
  if (company.empty()) return true;
  const std::string localFile = company + ".zip";
  // A name that cannot be a file name never reaches the server or the file system.
  if (!IsSafeLayoutName(company)) {
    ports_.Dialogs.ShowMessage(kLayoutMissing + localFile);
    return false;
  }
  try {
    SetStatusDownload(p.StatusText + company);
    Download(temp, localFile, PackageUrl(p.ServerPath + PercentEncodePathSegment(company) + ".zip"));
    SetStatusDownload("");
    platform::ForceDirectories(p.ProductFolder);
    Unpack(temp + localFile, localFile, p.ProductFolder);
    return true;
  } catch (...) {
  }
  ports_.Dialogs.ShowMessage(kLayoutMissing + localFile);
  return false;
}

// A package the operator chose to download again that did not arrive: the older copy
// still at its name is what the step goes on with, and the operator is told so.
void TInstaller::ReportUnfinishedDownload(const std::string& localPath, const std::string& localFile) {
  if (download_->DownloadFinished() || !platform::FileExists(localPath)) return;
  ports_.Dialogs.ShowMessage(UnfinishedDownloadText(localFile, download_->DownloadFailureReason()));
}

void TInstaller::Unpack(const std::string& zipFile, const std::string& package, const std::string& destination) {
  const std::vector<TItemFailure> failures = Descompactar(ports_.Components, zipFile, destination);
  if (!failures.empty()) ports_.Dialogs.ShowMessage(ItemFailuresText(package, failures));
}

void TInstaller::Launch(const std::string& file) {
  TShellExecuteRequest r;
  r.OwnerIsMainWindow = true;
  r.Verb = "open";
  r.File = file;
  r.ShowCommand = SW_SHOW;
  ports_.Shell.ShellExecute(r);
}

// ---- status and progress -------------------------------------------------------------

void TInstaller::SetStatusDownload(const std::string& text) {
  statusDownload_ = text;
  if (!text.empty()) {
    ports_.Status.MostrarStatus(text, kDownloadTitle);
  } else {
    ports_.Status.OcultarStatus();
  }
  ports_.Pump.ProcessMessages();
}

void TInstaller::fQvDownloadHookStatus(THookSocketReason reason, int32_t bytesToDownload, int32_t bytesDownloaded) {
  switch (reason) {
    case THookSocketReason::HR_SocketClose:
      switch (download_->DownloadStatus()) {
        case TDownloadStatus::stStop:
          ports_.View.SetProgressPosition(0);
          ports_.View.SetConnectionInfo("Download Encerrado...");
          break;
        case TDownloadStatus::stPause:
          ports_.View.SetConnectionInfo("Download Pausado...");
          break;
        default:
          break;
      }
      break;
    case THookSocketReason::HR_Connect:
      ports_.View.SetProgressPosition(0);
      break;
    case THookSocketReason::HR_ReadCount:
      ports_.View.SetProgressMax(bytesToDownload);
      ports_.View.SetProgressPosition(bytesDownloaded);
      break;
    default:
      break;
  }
}

void TInstaller::fQvDownloadHookMonitor(int32_t bytesToDownload, int32_t bytesDownloaded, double averageSpeed,
                                        uint16_t /*hour*/, uint16_t /*min*/, uint16_t sec) {
  ports_.View.SetProgressPosition(bytesDownloaded);
  ports_.Pump.ProcessMessages();
  ports_.View.SetConnectionInfo(FormatConnectionInfo(bytesToDownload, bytesDownloaded, averageSpeed, sec, config_.Format));
}

// ---- shell ---------------------------------------------------------------------------

std::string TInstaller::ObterPastaEspecial(int csidl) {
  std::string path = ports_.Shell.GetFolderPath(csidl);
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

void TInstaller::CriarAtalho(const std::string& ArqExe, const std::string& DescAtalho) {
  const std::string desktop = ObterPastaEspecial(CSIDL_DESKTOP);
  // Without a desktop folder the shortcut would land in the current folder.
  if (desktop.empty()) return;
  TShellLinkRequest link;
  link.Description = DescAtalho;
  link.Path = ArqExe;
  link.Arguments = "";
  link.WorkingDirectory = rtl::ExtractFilePath(ArqExe);
  ports_.Shell.SaveShellLink(link, desktop + "\\" + ShortcutFileName(DescAtalho));
}

}  // namespace qelvo::app
