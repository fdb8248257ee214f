#pragma once
// TQvDownload: the component an application keeps to download one URL at a time into a
// folder. It holds the settings and handlers of a download and, for every StartDownload,
// creates a fresh protocol driver that copies them; the driver lives until the next
// StartDownload or the component's end. Writing a setting also writes it into the
// current driver, so a handler can pause or stop a running transfer through
// SetDownloadStatus.
#include <cstdint>
#include <memory>
#include <string>

#include "download/qv_download_class.h"

namespace qelvo::download {

enum TQvProtocolo : uint8_t { protNenhum = 0, protHTTP = 1, protFTP = 2 };

class TQvDownload : public TQvComponent {
 public:
  explicit TQvDownload(TQvComponent* AOwner = nullptr);
  ~TQvDownload() override;

  // One download with the current settings, blocking; events run inside this call.
  void StartDownload();

  TQvProtocolo Protocolo = protNenhum;

  const std::string& DownloadDest() const { return fDownloadDest; }
  void SetDownloadDest(const std::string& Value);
  const std::string& DownloadUrl() const { return fDownloadUrl; }
  void SetDownloadUrl(const std::string& Value);
  // Empty: the driver derives the name from the URL or the server.
  const std::string& DownloadNomeArq() const { return fDownloadNomeArq; }
  void SetDownloadNomeArq(const std::string& Value);
  int32_t SizeRecvBuffer() const { return fSizeRecvBuffer; }
  void SetSizeRecvBuffer(int32_t Value);
  TDownloadStatus DownloadStatus() const { return fDownloadStatus; }
  void SetDownloadStatus(TDownloadStatus Value);

  // The owned settings objects; assigning another object copies its values, so the
  // component and its drivers keep referring to the owned ones.
  TQvProxy& Proxy() { return *fProxy; }
  void SetProxy(const TQvProxy& Value) { *fProxy = Value; }
  TQvFTP& FTP() { return *fFTP; }
  void SetFTP(const TQvFTP& Value) { *fFTP = Value; }

  const TQvBeforeDownload& OnBeforeDownload() const { return fOnBeforeDownload; }
  void SetOnBeforeDownload(TQvBeforeDownload Value);
  const TQvHookStatus& OnHookStatus() const { return fOnHookStatus; }
  void SetOnHookStatus(TQvHookStatus Value);
  const TQvDownloadStatus& OnDownloadStatus() const { return fOnDownloadStatus; }
  void SetOnDownloadStatus(TQvDownloadStatus Value);
  const TQvAfterDownload& OnAfterDownload() const { return fOnAfterDownload; }
  void SetOnAfterDownload(TQvAfterDownload Value);
  const TQvHookMonitor& OnHookMonitor() const { return fOnHookMonitor; }
  void SetOnHookMonitor(TQvHookMonitor Value);

  // The driver of the last download (the base driver before the first one).
  TQvDownloadClass& Driver() const { return *fDriver; }

 private:
  std::unique_ptr<TQvDownloadClass> CreateDriver();

  std::unique_ptr<TQvDownloadClass> fDriver;
  std::string fDownloadDest;
  TDownloadStatus fDownloadStatus = stNone;
  std::string fDownloadUrl;
  std::string fDownloadNomeArq;
  std::unique_ptr<TQvProxy> fProxy;
  int32_t fSizeRecvBuffer = 0;
  std::unique_ptr<TQvFTP> fFTP;
  TQvBeforeDownload fOnBeforeDownload;
  TQvHookStatus fOnHookStatus;
  TQvDownloadStatus fOnDownloadStatus;
  TQvAfterDownload fOnAfterDownload;
  TQvHookMonitor fOnHookMonitor;
};

}  // namespace qelvo::download
