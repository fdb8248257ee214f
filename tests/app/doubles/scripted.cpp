#include "scripted.h"


#include <fstream>
#include <sstream>

#include "app/packages.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "rtl/exceptions.h"

namespace qelvo::app::testing {

TLog TFakeUnZipper::Calls;

TLog Filter(const TLog& log, const std::vector<std::string>& prefixes) {
  TLog out;
  for (const auto& e : log)
    for (const auto& p : prefixes)
      if (e.rfind(p, 0) == 0) {
        out.push_back(e);
        break;
      }
  return out;
}

void TFakeDownloader::StartDownload() {
  log_.push_back("download " + Url + " -> " + Dest + Name);
  if (auto r = server_.Raises.find(Url); r != server_.Raises.end()) throw rtl::Exception(r->second);
  if (OnHookStatus) OnHookStatus(THookSocketReason::HR_Connect, 0, 0);
  if (DuringTransfer) DuringTransfer();
  const auto body = server_.Bodies.find(Url);
  if (body != server_.Bodies.end()) {
    const auto size = static_cast<int32_t>(body->second.size());
    if (OnHookStatus) OnHookStatus(THookSocketReason::HR_ReadCount, size, 0);
    if (OnHookMonitor) OnHookMonitor(size, size, 1.0, 0, 0, 1);
    platform::TFileStream f(Dest + Name, platform::fmCreate);
    f.WriteString(body->second);
  }
  if (OnHookStatus) OnHookStatus(THookSocketReason::HR_SocketClose, 0, 0);
}

void TFakeUnZipper::SetFileName(const std::string& f) {
  Calls.push_back("file " + f);
  if (!platform::FileExists(f)) throw rtl::Exception("File not found");
  file_ = f;
}

void TFakeUnZipper::ExtractFiles(const std::string& mask) {
  Calls.push_back("extract " + mask);
  log_.push_back("unzip " + file_ + " -> " + base_);
}

std::unique_ptr<IDownloader> TFakeFactory::CreateDownloader() {
  auto d = std::make_unique<TFakeDownloader>(log_, server_);
  Downloader = d.get();
  return d;
}

bool TFakeDialogs::Confirm(const std::string& text) {
  log_.push_back("confirm " + text);
  return ConfirmAnswer;
}

std::string TFakeDialogs::InputBox(const std::string& caption, const std::string& prompt, const std::string& def) {
  log_.push_back("input " + caption + " / " + prompt + " / " + def);
  if (Inputs.empty()) return "";
  std::string s = Inputs.front();
  Inputs.pop_front();
  return s;
}

void TFakeShell::ShellExecute(const TShellExecuteRequest& r) {
  std::string e = "launch " + r.File + " owner=" + (r.OwnerIsMainWindow ? "main" : "none") + " verb=" + r.Verb +
                  " params=" + (r.Parameters ? "'" + *r.Parameters + "'" : "null") +
                  " dir=" + (r.Directory ? "'" + *r.Directory + "'" : "null") + " show=" + std::to_string(r.ShowCommand);
  log_.push_back(e);
}

void TFakeShell::SaveShellLink(const TShellLinkRequest& l, const std::string& file) {
  log_.push_back("shortcut " + file + " desc=" + l.Description + " path=" + l.Path + " args='" + l.Arguments +
                 "' dir=" + l.WorkingDirectory);
}

TScriptedInstaller::TScriptedInstaller() {
  TFakeUnZipper::Calls.clear();
  TInstallerConfig config;
  config.ExeFolder = kExeFolder;
  config.PackageHost = "pkg.test";
  config.PackagePort = 8997;
  Installer = std::make_unique<TInstaller>(TInstallerPorts{View, Status, Dialogs, Pump, Shell, Factory}, config);
}

TScriptedInstaller::~TScriptedInstaller() { Installer.reset(); }

void TScriptedInstaller::Press(int profile) {
  View.Profile = profile;
  Installer->InstallButtonPressed(Dialogs);
}

std::filesystem::path TScriptedInstaller::Native(const std::string& windowsPath) const {
  std::string rest = windowsPath.substr(3);
  for (auto& c : rest)
    if (c == '\\') c = '/';
  // UTF-8 names: a narrow path would be read in the ANSI code page on Windows.
  return Root / std::u8string(rest.begin(), rest.end());
}

void TScriptedInstaller::PutFile(const std::string& windowsPath, const std::string& content) const {
  const auto p = Native(windowsPath);
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

std::string TScriptedInstaller::ReadFile(const std::string& windowsPath) const {
  std::ifstream in(Native(windowsPath), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void TScriptedInstaller::ServeAllPackages() {
  for (const auto& p : PackageTable())
    if (p.Step != TPackageStep::BaixarLayoutPDV) Server.Bodies[Url(p.ServerPath)] = std::string("zip of ") + p.LocalFile;
  Server.Bodies[Url("/qelvo/public/layoutpdv/demo.zip")] = "zip of demo.zip";
}

}  // namespace qelvo::app::testing
