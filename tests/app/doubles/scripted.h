#pragma once
// Scripted stand-ins for everything the installer logic talks to. They all write to one
// event log, so a test states a run as the sequence of things the operator and the
// server would see.
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/components.h"
#include "app/installer.h"
#include "app/shell_port.h"
#include "app/status_display.h"
#include "app/ui_ports.h"
#include "tests/support/drive_fixture.h"
#include "tests/support/temp_folder.h"

namespace qelvo::app::testing {

using TLog = std::vector<std::string>;

// Entries of the log that start with one of the prefixes.
TLog Filter(const TLog& log, const std::vector<std::string>& prefixes);

class TFakeServer {
 public:
  // url -> body; a URL that is not here "fails" (nothing is delivered, nothing raised).
  std::map<std::string, std::string> Bodies;
  // url -> message raised by StartDownload (a file-system failure of the component).
  std::map<std::string, std::string> Raises;
};

class TFakeDownloader : public IDownloader {
 public:
  TFakeDownloader(TLog& log, TFakeServer& server) : log_(log), server_(server) {}
  void SetProtocolo(TQvProtocolo p) override { Protocolo = p; }
  void SetSizeRecvBuffer(int32_t b) override { SizeRecvBuffer = b; }
  void SetProxyTimeout(int32_t ms) override { ProxyTimeout = ms; }
  void SetFtpTimeout(int32_t ms) override { FtpTimeout = ms; }
  void SetOnHookStatus(TQvHookStatus h) override { OnHookStatus = std::move(h); }
  void SetOnHookMonitor(TQvHookMonitor h) override { OnHookMonitor = std::move(h); }
  void SetDownloadDest(const std::string& d) override { Calls.push_back("dest " + d); Dest = d; }
  void SetDownloadNomeArq(const std::string& n) override { Calls.push_back("name " + n); Name = n; }
  void SetDownloadUrl(const std::string& u) override { Calls.push_back("url " + u); Url = u; }
  void StartDownload() override;
  TDownloadStatus DownloadStatus() const override { return Status; }

  TQvProtocolo Protocolo = TQvProtocolo::protNenhum;
  int32_t SizeRecvBuffer = 0, ProxyTimeout = 0, FtpTimeout = 0;
  TQvHookStatus OnHookStatus;
  TQvHookMonitor OnHookMonitor;
  std::string Dest, Name, Url;
  TLog Calls;
  TDownloadStatus Status = TDownloadStatus::stNone;
  std::function<void()> DuringTransfer;  // runs between the first and the last event

 private:
  TLog& log_;
  TFakeServer& server_;
};

class TFakeUnZipper : public IUnZipper {
 public:
  explicit TFakeUnZipper(TLog& log) : log_(log) {}
  ~TFakeUnZipper() override { Calls.push_back("free"); }
  void SetExtractOptions(TArcExtractOptions o) override { Calls.push_back("options " + std::to_string(o)); }
  void SetFileName(const std::string& f) override;
  void SetBaseDirectory(const std::string& b) override { Calls.push_back("base " + b); base_ = b; }
  void ExtractFiles(const std::string& mask) override;
  static TLog Calls;  // of every unzipper, in order

 private:
  TLog& log_;
  std::string file_, base_;
};

class TFakeFactory : public IComponentFactory {
 public:
  TFakeFactory(TLog& log, TFakeServer& server) : log_(log), server_(server) {}
  std::unique_ptr<IDownloader> CreateDownloader() override;
  std::unique_ptr<IUnZipper> CreateUnZipper() override { return std::make_unique<TFakeUnZipper>(log_); }
  TFakeDownloader* Downloader = nullptr;  // the one created last

 private:
  TLog& log_;
  TFakeServer& server_;
};

class TFakeMainView : public IMainView {
 public:
  explicit TFakeMainView(TLog& log) : log_(log) {}
  int ProfileIndex() const override { return Profile; }
  void SetProgressMax(int v) override { ProgressMax = v; }
  void SetProgressPosition(int v) override { ProgressPosition = v; }
  void SetConnectionInfo(const std::string& t) override { ConnectionInfo = t; }
  void SetInstallEnabled(bool e) override { log_.push_back(e ? "button enabled" : "button disabled"); }
  void CloseMainWindow() override { log_.push_back("window closed"); }
  int Profile = -1;
  int ProgressMax = 100, ProgressPosition = 0;
  std::string ConnectionInfo;

 private:
  TLog& log_;
};

class TFakeStatusView : public IStatusView {
 public:
  explicit TFakeStatusView(TLog& log) : log_(log) {}
  void SetMessageText(const std::string& t) override { Message = t; }
  void SetTitleText(const std::string& t) override { Title = t; }
  void ShowInFront() override { Visible = true; log_.push_back("status " + Message + " | " + Title); }
  void HideWindow() override { Visible = false; log_.push_back("status hidden"); }
  std::string Message = "Mensagem", Title = "Qelvo ERP";
  bool Visible = false;

 private:
  TLog& log_;
};

class TFakeDialogs : public IDialogs, public IExceptionHandler {
 public:
  explicit TFakeDialogs(TLog& log) : log_(log) {}
  bool Confirm(const std::string& text) override;
  void ShowMessage(const std::string& text) override { log_.push_back("message " + text); }
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def) override;
  void ShowException(const std::string& message) override { log_.push_back("error " + message); }
  bool ConfirmAnswer = false;         // answer to every confirmation box
  std::deque<std::string> Inputs;     // answers of the input box; empty queue: Cancel

 private:
  TLog& log_;
};

class TFakePump : public IMessagePump {
 public:
  void ProcessMessages() override {
    ++Count;
    if (Hook) Hook();
  }
  int Count = 0;
  std::function<void()> Hook;
};

class TFakeShell : public IShell {
 public:
  explicit TFakeShell(TLog& log) : log_(log) {}
  std::string GetFolderPath(int csidl) override { return csidl == CSIDL_DESKTOP ? Desktop : ""; }
  void ShellExecute(const TShellExecuteRequest& r) override;
  void SaveShellLink(const TShellLinkRequest& link, const std::string& file) override;
  std::string Desktop = "Z:\\home\\op\\Desktop\\";

 private:
  TLog& log_;
};

// The installer's folder in the scripted runs, and the temporary folder it downloads to.
inline const std::string kExeFolder = "C:\\inst\\";
inline const std::string kTemp = kExeFolder + "temp\\";

// A whole installer over the fakes, with C:\ mapped to a fresh folder.
class TScriptedInstaller {
 public:
  TScriptedInstaller();
  ~TScriptedInstaller();
  // Runs the install button with the profile selected.
  void Press(int profile);
  // Native path of a Windows-form path below C:\.
  std::filesystem::path Native(const std::string& windowsPath) const;
  void PutFile(const std::string& windowsPath, const std::string& content) const;
  std::string ReadFile(const std::string& windowsPath) const;
  // Serves every package of the table (and the layout "demo") with small bodies.
  void ServeAllPackages();
  std::string Url(const std::string& serverPath) const { return "http://pkg.test:8997" + serverPath; }

  TLog Log;
  TFakeServer Server;
  TFakeFactory Factory{Log, Server};
  TFakeMainView View{Log};
  TFakeStatusView StatusView{Log};
  TFakePump Pump;
  TStatusDisplay Status{StatusView, Pump};
  TFakeDialogs Dialogs{Log};
  TFakeShell Shell{Log};
  std::unique_ptr<TInstaller> Installer;

 private:
  qelvo::test::TempFolder root_{"app"};
  qelvo::test::ScopedDriveC driveC_{root_.Native()};

 public:
  std::filesystem::path Root = qelvo::test::DriveCFolder(root_) + "/";
};

}  // namespace qelvo::app::testing
