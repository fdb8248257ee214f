#include "app/real_components.h"

#include <exception>

#include "archive/errors.h"
#include "download/qv_download.h"
#include "download/qv_http_download.h"
#include "platform/os_error.h"
#include "unzip/unzipper.h"

namespace qelvo::app {
namespace {

// Why an HTTP transfer ended without the file, in the operator's words.
std::string HttpFailureReason(const download::TQvHTTPDownload& d) {
  if (d.RedirectLimitReached())
    return "mais de " + std::to_string(download::TQvHTTPDownload::kMaxRedirects) + " redirecionamentos";
  const int32_t code = d.ResultCode();
  const std::string& socketError = d.LastSocketError();
  const bool httpOk = code == 200 || code == 206;
  // 500 with a socket error is the client's own code for a failed connection.
  if (code != 0 && !httpOk && !(code == 500 && !socketError.empty())) {
    std::string why = "o servidor respondeu " + std::to_string(code);
    if (!d.HTTPSend().ResultString().empty()) why += " " + d.HTTPSend().ResultString();
    return why;
  }
  if (!socketError.empty()) {
    const size_t comma = socketError.find(',');
    if (comma == std::string::npos) return "erro de rede " + socketError;
    return "erro de rede " + socketError.substr(0, comma) + ": " + socketError.substr(comma + 1);
  }
  if (code == 0) return "o servidor não respondeu";
  return "a transferência terminou antes do arquivo completo";
}

// Ordinals are shared, so the enumerations convert by value.
class TDownloadAdapter : public IDownloader {
 public:
  void SetProtocolo(TQvProtocolo p) override { c_.Protocolo = p; }
  void SetSizeRecvBuffer(int32_t bytes) override { c_.SetSizeRecvBuffer(bytes); }
  void SetProxyTimeout(int32_t ms) override { c_.Proxy().ProxyTimeout = ms; }
  void SetFtpTimeout(int32_t ms) override { c_.FTP().FtpTimeout = ms; }
  void SetOnHookStatus(TQvHookStatus h) override {
    if (!h) return c_.SetOnHookStatus(nullptr);
    c_.SetOnHookStatus(
        [h = std::move(h)](void*, THookSocketReason r, int32_t total, int32_t done) { h(r, total, done); });
  }
  void SetOnHookMonitor(TQvHookMonitor h) override {
    if (!h) return c_.SetOnHookMonitor(nullptr);
    c_.SetOnHookMonitor([h = std::move(h)](void*, int32_t total, int32_t done, double speed, uint16_t hour,
                                           uint16_t min, uint16_t sec) { h(total, done, speed, hour, min, sec); });
  }
  void SetDownloadDest(const std::string& f) override { c_.SetDownloadDest(f); }
  void SetDownloadNomeArq(const std::string& n) override { c_.SetDownloadNomeArq(n); }
  void SetDownloadUrl(const std::string& u) override { c_.SetDownloadUrl(u); }
  void StartDownload() override { c_.StartDownload(); }
  TDownloadStatus DownloadStatus() const override { return c_.DownloadStatus(); }
  bool DownloadFinished() const override { return c_.Driver().Finished(); }
  std::string DownloadFailureReason() const override {
    if (DownloadFinished()) return "";
    if (const auto* http = dynamic_cast<const download::TQvHTTPDownload*>(&c_.Driver()))
      return HttpFailureReason(*http);
    return "o download não foi concluído";
  }

 private:
  download::TQvDownload c_;
};

// The message of the item failure being reported: the exception in flight when there
// is one, else the text its class and code stand for.
std::string ItemFailureReason(archive::TArcErrorClass errorClass, int32_t errorCode) {
  if (const std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      return e.what();
    } catch (...) {
    }
  }
  if (errorClass == archive::ecArchive) return archive::ArcErrorText(errorCode);
  if (errorClass == archive::ecInOutError) return platform::SysErrorMessage(errorCode);
  return "erro " + std::to_string(errorCode);
}

class TUnZipperAdapter : public IUnZipper {
 public:
  void SetExtractOptions(TArcExtractOptions options) override {
    archive::TArcExtractOptions set;
    if (options & eoCreateDirs) set.Include(archive::eoCreateDirs);
    if (options & eoRestorePath) set.Include(archive::eoRestorePath);
    c_.SetExtractOptions(set);
  }
  void SetFileName(const std::string& zipFile) override { c_.SetFileName(zipFile); }
  void SetBaseDirectory(const std::string& folder) override { c_.SetBaseDirectory(folder); }
  void ExtractFiles(const std::string& mask) override { c_.ExtractFiles(mask); }
  void SetOnItemFailure(TItemFailureHandler handler) override {
    if (!handler) {
      c_.OnProcessItemFailure = nullptr;
      return;
    }
    c_.OnProcessItemFailure = [h = std::move(handler)](unzip::TArcBaseBrowser*, archive::TArcArchiveItem* item,
                                                       archive::TArcProcessType, archive::TArcErrorClass errorClass,
                                                       int32_t errorCode) {
      h({item ? item->FileName() : std::string(), ItemFailureReason(errorClass, errorCode)});
    };
  }

 private:
  unzip::TArcUnZipper c_{nullptr};
};

}  // namespace

std::unique_ptr<IDownloader> TRealComponentFactory::CreateDownloader() { return std::make_unique<TDownloadAdapter>(); }
std::unique_ptr<IUnZipper> TRealComponentFactory::CreateUnZipper() { return std::make_unique<TUnZipperAdapter>(); }

}  // namespace qelvo::app
