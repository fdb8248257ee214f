#pragma once
// The installer's main window logic: the install run over the selected profile, the
// package steps (reuse or download, unpack, launches, shortcuts), the status texts and
// the download figures. Everything runs on the GUI thread inside the install button's
// click; the window stays responsive only through the message pumping of the status
// routines and of the download monitor handler, so a run guards itself against a
// second click and defers a close request until it has ended.
#include <memory>
#include <string>
#include <vector>

#include "app/components.h"
#include "app/packages.h"
#include "app/shell_port.h"
#include "app/status_display.h"
#include "app/ui_ports.h"
#include "rtl/number_format.h"

namespace qelvo::app {

struct TInstallerPorts {
  IMainView& View;
  TStatusDisplay& Status;
  IDialogs& Dialogs;
  IMessagePump& Pump;
  IShell& Shell;
  IComponentFactory& Components;
};

struct TInstallerConfig {
  std::string ExeFolder;    // with trailing backslash; the temp folder lives below it
  std::string PackageHost;  // host of the package server
  int PackagePort = kPackagePort;
  rtl::TFormatSettings Format;  // separators of the figures label
};

// The build's package host and the running executable's folder, with the user's locale.
TInstallerConfig DefaultInstallerConfig();

// The box after a package whose unpacking left items out: the package, how many items
// failed and the first few with their reasons.
std::string ItemFailuresText(const std::string& package, const std::vector<TItemFailure>& failures);
// The box after a download the operator asked for that did not finish, when the older
// copy in temp is installed instead.
std::string UnfinishedDownloadText(const std::string& package, const std::string& reason);

class TInstaller {
 public:
  TInstaller(TInstallerPorts ports, TInstallerConfig config);
  ~TInstaller();
  TInstaller(const TInstaller&) = delete;
  TInstaller& operator=(const TInstaller&) = delete;

  // The install button: runs cxButton1Click unless a run is in progress, hands a
  // failure to the exception handler, and carries out a close deferred during the run.
  void InstallButtonPressed(IExceptionHandler& handler);
  // The main window's close request: true to close now, false when it waits for the run.
  bool CloseQuery();
  bool Running() const { return running_; }

  // The install run itself; a failing step's exception leaves it.
  void cxButton1Click();

  // The two steps with their own flow; every other step is the standard one, run by
  // RunStep from its package table entry.
  void BaixarMariaDB();
  void BaixarLayoutPDV();

  void SetStatusDownload(const std::string& text);
  void fQvDownloadHookStatus(THookSocketReason reason, int32_t bytesToDownload, int32_t bytesDownloaded);
  void fQvDownloadHookMonitor(int32_t bytesToDownload, int32_t bytesDownloaded, double averageSpeed, uint16_t hour,
                              uint16_t min, uint16_t sec);

  std::string ObterPastaEspecial(int csidl);
  void CriarAtalho(const std::string& ArqExe, const std::string& DescAtalho);

  // The temp folder beside the executable, with trailing backslash.
  std::string TempFolder() const;
  std::string PackageUrl(const std::string& serverPath) const;
  IDownloader& fQvDownload() { return *download_; }
  const std::string& FStatusDownload() const { return statusDownload_; }

 private:
  void RunStep(TPackageStep step, const std::string& destination);
  void StandardStep(TPackageStep step, const std::string& destinationArgument);
  bool WantDownload(const std::string& localPath, const std::string& localFile);
  void Download(const std::string& folder, const std::string& fileName, const std::string& url);
  void ReportUnfinishedDownload(const std::string& localPath, const std::string& localFile);
  // Descompactar, then one box when items were left out.
  void Unpack(const std::string& zipFile, const std::string& package, const std::string& destination);
  // One attempt of the layout step: false to ask again.
  bool LayoutAttempt();
  void Launch(const std::string& file);

  TInstallerPorts ports_;
  TInstallerConfig config_;
  std::unique_ptr<IDownloader> download_;
  std::string statusDownload_;
  bool running_ = false;
  bool closePending_ = false;
};

}  // namespace qelvo::app
