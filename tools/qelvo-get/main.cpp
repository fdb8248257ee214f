// qelvo-get: a command-line front end to TQvDownload for people and scripts.
// Exit status: 0 the file was finished, 1 the transfer ended without finishing (the part
// file stays for a later resume; also an FTP login that failed), 2 usage or local file
// errors.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "download/qv_download.h"
#include "download/qv_ftp_download.h"
#include "download/qv_http_download.h"
#include "platform/command_line.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"
#include "platform/path_map.h"
#include "rtl/exceptions.h"
#include "rtl/file_path.h"
#include "tools/qelvo-get/get_options.h"
#include "tools/qelvo-get/progress_line.h"

namespace {

using namespace qelvo;
using namespace qelvo::download;
using Clock = std::chrono::steady_clock;

constexpr int kExitFinished = 0;
constexpr int kExitUnfinished = 1;
constexpr int kExitLocalError = 2;
// How often a silent wait looks at Ctrl-C and the time limit.
constexpr int32_t kHeartbeatMs = 100;

volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt() { gInterrupted = 1; }

// The destination folder in the Windows form the component takes, or "" when it is not
// an existing folder.
std::string DestinationFolder(const std::string& dir) {
  std::error_code ec;
  const auto abs = std::filesystem::absolute(dir, ec);
  if (ec || !std::filesystem::is_directory(abs, ec)) return "";
  const std::u8string u8 = abs.lexically_normal().u8string();
  return rtl::IncludeTrailingBackslash(platform::FromNativePath(std::string(u8.begin(), u8.end())));
}

std::string NativeOf(const std::string& windowsPath) {
  const auto p = platform::ToNativePath(windowsPath);
  return p ? *p : windowsPath;
}

// Speed and time left of this run, not counting the bytes a resume found on disk.
struct RunSpeed {
  Clock::time_point start{};
  int32_t startBytes = -1;
  double Speed(int32_t downloaded, Clock::time_point now) {
    if (startBytes < 0) {
      start = now;
      startBytes = downloaded;
    }
    const double seconds = std::chrono::duration<double>(now - start).count();
    return seconds > 0.05 ? (downloaded - startBytes) / 1024.0 / seconds : 0.0;
  }
};

std::string WhyUnfinished(const TQvFTPDownload& d, bool interrupted) {
  if (interrupted) return "interrupted";
  const int32_t code = d.FinalReplyCode();
  if (code != 0 && code / 100 != 2) return "FTP reply " + d.FinalReply();
  if (code == 0) {
    const auto* sock = d.FTPSend().Sock();
    if (sock->LastError != 0)
      return "socket error " + std::to_string(sock->LastError) + ": " + sock->LastErrorDesc;
    return "no FTP answer";
  }
  return "the transfer ended before the whole file arrived";
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  std::vector<const char*> raw;
  for (const std::string& a : args) raw.push_back(a.c_str());
  raw.push_back(nullptr);
  tools::TGetOptions opts;
  std::string error;
  if (!tools::ParseGetOptions(static_cast<int>(args.size()), raw.data(), opts, error)) {
    std::fprintf(stderr, "qelvo-get: %s\n%s", error.c_str(), tools::kGetUsage);
    return kExitLocalError;
  }
  if (opts.Help) {
    std::fputs(tools::kGetUsage, stdout);
    return kExitFinished;
  }
  const std::string dest = DestinationFolder(opts.Dir);
  if (dest.empty()) {
    std::fprintf(stderr, "qelvo-get: %s: not a folder\n", opts.Dir.c_str());
    return kExitLocalError;
  }

  platform::OnInterruptRequest(OnInterrupt);

  TQvDownload dl;
  dl.Protocolo = opts.Url.rfind("ftp://", 0) == 0 || opts.Url.rfind("ftps://", 0) == 0 ? protFTP : protHTTP;
  dl.TLS().VerifyCert = !opts.Insecure;
  dl.TLS().CAFile = opts.CACert;
  dl.TLS().FtpRequireTLS = opts.FtpTLS;
  dl.SetSizeRecvBuffer(65536);
  dl.Proxy().ProxyHost = opts.ProxyHost;
  dl.Proxy().ProxyPort = opts.ProxyPort;
  dl.Proxy().ProxyUser = opts.ProxyUser;
  dl.Proxy().ProxyPass = opts.ProxyPass;
  if (opts.TimeoutMs > 0) dl.Proxy().ProxyTimeout = opts.TimeoutMs;
  dl.FTP().FtpUser = opts.FtpUser;
  dl.FTP().FtpPass = opts.FtpPass;
  if (opts.TimeoutMs > 0) dl.FTP().FtpTimeout = opts.TimeoutMs;
  dl.SetDownloadDest(dest);
  dl.SetDownloadNomeArq(opts.Name);
  dl.SetDownloadUrl(opts.Url);

  const auto started = Clock::now();
  bool outOfTime = false;
  // Ctrl-C, SIGTERM and --max-time pause the download: the part file stays for a resume.
  auto stopRequested = [&] {
    if (opts.MaxTimeSeconds > 0 && Clock::now() - started >= std::chrono::seconds(opts.MaxTimeSeconds))
      outOfTime = true;
    return gInterrupted != 0 || outOfTime;
  };
  auto stopIfAsked = [&](net::TBlockSocket* sock) {
    if (!stopRequested()) return;
    if (dl.DownloadStatus() != stPause) dl.SetDownloadStatus(stPause);
    if (sock != nullptr) sock->StopFlag = true;  // ends a wait that no data would end
  };
  // Every wait of the driver's socket wakes up often enough to notice a stop.
  // The FTP data connection is opened after this event, so the mode applies to it.
  dl.SetOnBeforeDownload([&](void* sender) {
    auto* driver = static_cast<TQvDownloadClass*>(sender);
    net::TTCPBlockSocket* sock = nullptr;
    if (auto* ftp = dynamic_cast<TQvFTPDownload*>(driver)) {
      if (opts.FtpActive) ftp->FTPSend().PassiveMode = false;
      sock = ftp->FTPSend().Sock();
    } else {
      sock = static_cast<TQvHTTPDownload*>(driver)->HTTPSend().Sock();
    }
    sock->HeartbeatRate = kHeartbeatMs;
    sock->OnHeartbeat = [&stopIfAsked](net::TBlockSocket* s) { stopIfAsked(s); };
  });

  const bool tty = isatty(2) != 0;
  auto lastDraw = Clock::now() - std::chrono::seconds(1);
  bool drew = false;
  RunSpeed runSpeed;
  dl.SetOnHookMonitor([&](void* sender, int32_t toDownload, int32_t downloaded, double, uint16_t, uint16_t,
                          uint16_t) {
    stopIfAsked(static_cast<net::TBlockSocket*>(sender));
    if (opts.Quiet) return;
    const auto now = Clock::now();
    const double speed = runSpeed.Speed(downloaded, now);
    // The whole file is always shown, however soon after the previous line it comes.
    const bool last = toDownload > 0 && downloaded >= toDownload;
    if (!last && now - lastDraw < std::chrono::milliseconds(tty ? 200 : 2000)) return;
    lastDraw = now;
    const double left = speed > 0 && toDownload > downloaded ? (toDownload - downloaded) / 1024.0 / speed : 0;
    const std::string line =
        tools::FormatProgressLine(toDownload, downloaded, speed, static_cast<uint16_t>(std::min(left, 65535.0)));
    if (tty)
      std::fprintf(stderr, "\r%s\x1b[K", line.c_str());  // redraw in place, clearing a longer old line
    else
      std::fprintf(stderr, "%s\n", line.c_str());
    drew = true;
  });

  try {
    dl.StartDownload();
  } catch (const rtl::Exception& e) {
    if (drew && tty) std::fputc('\n', stderr);
    // A server that refuses the login, or cannot be reached, is a transfer that did not
    // happen, not a local error.
    if (const auto* ftp = dynamic_cast<const TQvFTPDownload*>(&dl.Driver());
        ftp != nullptr && e.Message() == kMsgFtpLoginFailed) {
      std::fprintf(stderr, "qelvo-get: %s (%s)\n", e.what(), ftp->LoginFailure().c_str());
      return kExitUnfinished;
    }
    std::fprintf(stderr, "qelvo-get: %s\n", e.what());
    return kExitLocalError;
  }
  if (drew && tty) std::fputc('\n', stderr);

  const TQvDownloadClass& driver = dl.Driver();
  if (driver.Finished()) {
    if (!opts.Quiet) std::printf("%s\n", NativeOf(driver.FinalName()).c_str());
    return kExitFinished;
  }
  const auto* ftp = dynamic_cast<const TQvFTPDownload*>(&driver);
  std::string why = ftp != nullptr ? WhyUnfinished(*ftp, false)
                                   : static_cast<const TQvHTTPDownload&>(driver).UnfinishedReason();
  if (gInterrupted) why = "interrupted";
  else if (outOfTime) why = "--max-time of " + std::to_string(opts.MaxTimeSeconds) + " s reached";
  const int64_t held = platform::FileSize(driver.FilePart());
  if (held > 0)
    std::fprintf(stderr, "qelvo-get: not finished (%s); %s kept for a later run\n", why.c_str(),
                 NativeOf(driver.FilePart()).c_str());
  else
    std::fprintf(stderr, "qelvo-get: not finished (%s)\n", why.c_str());
  return kExitUnfinished;
}
