#include "app/real_components.h"

#include "download/qv_download.h"
#include "unzip/unzipper.h"

namespace qelvo::app {
namespace {

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

 private:
  download::TQvDownload c_;
};

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

 private:
  unzip::TArcUnZipper c_{nullptr};
};

}  // namespace

std::unique_ptr<IDownloader> TRealComponentFactory::CreateDownloader() { return std::make_unique<TDownloadAdapter>(); }
std::unique_ptr<IUnZipper> TRealComponentFactory::CreateUnZipper() { return std::make_unique<TUnZipperAdapter>(); }

}  // namespace qelvo::app
