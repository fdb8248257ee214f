// qelvo-get: a command-line front end to TQvDownload for people and scripts.
// Exit status: 0 the file was finished, 1 the transfer ended without finishing (the part
// file stays for a later resume), 2 usage or local file errors.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "download/qv_download.h"
#include "download/qv_http_download.h"
#include "platform/command_line.h"
#include "platform/interrupt.h"
#include "platform/path_map.h"
#include "rtl/exceptions.h"
#include "tools/qelvo-get/get_options.h"
#include "tools/qelvo-get/progress_line.h"

namespace {

using namespace qelvo;
using namespace qelvo::download;

constexpr int kExitFinished = 0;
constexpr int kExitUnfinished = 1;
constexpr int kExitLocalError = 2;

volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt() { gInterrupted = 1; }

// The destination folder in the Windows form the component takes, or "" when it is not
// an existing folder.
std::string DestinationFolder(const std::string& dir) {
  std::error_code ec;
  const auto abs = std::filesystem::absolute(dir, ec);
  if (ec || !std::filesystem::is_directory(abs, ec)) return "";
  const std::u8string u8 = abs.lexically_normal().u8string();
  return platform::FromNativePath(std::string(u8.begin(), u8.end())) + "\\";
}

std::string NativeOf(const std::string& windowsPath) {
  const auto p = platform::ToNativePath(windowsPath);
  return p ? *p : windowsPath;
}

std::string WhyUnfinished(const TQvHTTPDownload& d, bool interrupted) {
  if (interrupted) return "interrupted";
  if (d.RedirectLimitReached()) return "more than " + std::to_string(TQvHTTPDownload::kMaxRedirects) + " redirects";
  const int32_t code = d.ResultCode();
  const std::string socketError = d.LastSocketError();
  const bool httpOk = code == 200 || code == 206;
  if (!httpOk && !(code == 500 && !socketError.empty()) && code != 0) {
    std::string why = "HTTP status " + std::to_string(code);
    if (!d.HTTPSend().ResultString().empty()) why += " " + d.HTTPSend().ResultString();
    return why;
  }
  if (!socketError.empty()) {
    const size_t comma = socketError.find(',');
    return "socket error " + socketError.substr(0, comma) +
           (comma == std::string::npos ? "" : ": " + socketError.substr(comma + 1));
  }
  if (code == 0) return "no HTTP answer";
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
  dl.Protocolo = opts.Url.rfind("ftp://", 0) == 0 ? protFTP : protHTTP;
  dl.SetSizeRecvBuffer(65536);
  dl.Proxy().ProxyHost = opts.ProxyHost;
  dl.Proxy().ProxyPort = opts.ProxyPort;
  dl.Proxy().ProxyUser = opts.ProxyUser;
  dl.Proxy().ProxyPass = opts.ProxyPass;
  dl.Proxy().ProxyTimeout = opts.TimeoutMs;
  dl.SetDownloadDest(dest);
  dl.SetDownloadNomeArq(opts.Name);
  dl.SetDownloadUrl(opts.Url);

  const bool tty = isatty(2) != 0;
  auto lastDraw = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  bool drew = false;
  dl.SetOnHookMonitor([&](void*, int32_t toDownload, int32_t downloaded, double speed, uint16_t, uint16_t,
                          uint16_t sec) {
    if (gInterrupted && dl.DownloadStatus() != stPause) dl.SetDownloadStatus(stPause);
    if (opts.Quiet) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw < std::chrono::milliseconds(tty ? 200 : 2000)) return;
    lastDraw = now;
    const std::string line = tools::FormatProgressLine(toDownload, downloaded, speed, sec);
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
    std::fprintf(stderr, "qelvo-get: %s\n", e.what());
    return kExitLocalError;
  }
  if (drew && tty) std::fputc('\n', stderr);

  const auto& driver = static_cast<const TQvHTTPDownload&>(dl.Driver());
  if (driver.Finished()) {
    if (!opts.Quiet) std::printf("%s\n", NativeOf(driver.FinalName()).c_str());
    return kExitFinished;
  }
  std::fprintf(stderr, "qelvo-get: not finished (%s); %s kept for a later run\n",
               WhyUnfinished(driver, gInterrupted != 0).c_str(), NativeOf(driver.FilePart()).c_str());
  return kExitUnfinished;
}
