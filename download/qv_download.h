#pragma once
// TQvDownload: the component an application keeps to download one URL at a time into a
// folder. It holds the settings and handlers of a download and, for every StartDownload,
// creates a fresh protocol driver that reads them from the component; the driver lives
// until the next StartDownload or the component's end. Writing the status also writes it
// into the current driver, so a handler can pause or stop a running transfer through
// SetDownloadStatus.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "download/qv_download_class.h"
#include "download/qv_tls.h"

namespace qelvo::download {

enum TQvProtocolo : uint8_t { protNenhum = 0, protHTTP = 1, protFTP = 2 };

class TQvDownload : public TQvComponent {
 public:
  explicit TQvDownload(TQvComponent* AOwner = nullptr);
  ~TQvDownload() override;

  // One download with the current settings, blocking; events run inside this call.
  void StartDownload();

  TQvProtocolo Protocolo = protNenhum;

  // The settings the current driver reads (see TQvDownloadSettings).
  const TQvDownloadSettings& Settings() const { return fSettings; }
  const std::string& DownloadDest() const { return fSettings.DownloadDest; }
  void SetDownloadDest(const std::string& Value) { fSettings.DownloadDest = Value; }
  const std::string& DownloadUrl() const { return fSettings.DownloadUrl; }
  void SetDownloadUrl(const std::string& Value) { fSettings.DownloadUrl = Value; }
  // Empty: the driver derives the name from the URL or the server.
  const std::string& DownloadNomeArq() const { return fSettings.DownloadNomeArq; }
  void SetDownloadNomeArq(const std::string& Value) { fSettings.DownloadNomeArq = Value; }
  int32_t SizeRecvBuffer() const { return fSettings.SizeRecvBuffer; }
  // Also applied to the current driver's socket.
  void SetSizeRecvBuffer(int32_t Value) { fDriver->SetSizeRecvBuffer(Value); }
  TDownloadStatus DownloadStatus() const { return fDownloadStatus; }
  void SetDownloadStatus(TDownloadStatus Value);

  // The owned settings objects; assigning another object copies its values, so the
  // component and its drivers keep referring to the owned ones.
  TQvProxy& Proxy() { return *fProxy; }
  void SetProxy(const TQvProxy& Value) { *fProxy = Value; }
  TQvFTP& FTP() { return *fFTP; }
  void SetFTP(const TQvFTP& Value) { *fFTP = Value; }
  TQvTLS& TLS() { return fTLS; }

  const TQvBeforeDownload& OnBeforeDownload() const { return fSettings.OnBeforeDownload; }
  void SetOnBeforeDownload(TQvBeforeDownload Value) { fSettings.OnBeforeDownload = std::move(Value); }
  const TQvHookStatus& OnHookStatus() const { return fSettings.OnHookStatus; }
  void SetOnHookStatus(TQvHookStatus Value) { fSettings.OnHookStatus = std::move(Value); }
  const TQvDownloadStatus& OnDownloadStatus() const { return fSettings.OnDownloadStatus; }
  void SetOnDownloadStatus(TQvDownloadStatus Value) { fSettings.OnDownloadStatus = std::move(Value); }
  const TQvAfterDownload& OnAfterDownload() const { return fSettings.OnAfterDownload; }
  void SetOnAfterDownload(TQvAfterDownload Value) { fSettings.OnAfterDownload = std::move(Value); }
  const TQvHookMonitor& OnHookMonitor() const { return fSettings.OnHookMonitor; }
  void SetOnHookMonitor(TQvHookMonitor Value) { fSettings.OnHookMonitor = std::move(Value); }

  // The driver of the last download (the base driver before the first one).
  TQvDownloadClass& Driver() const { return *fDriver; }

 private:
  friend class TQvDownloadClass;  // its drivers read and write fSettings

  // A driver for the chosen protocol; throws for a protocol there is none for.
  std::unique_ptr<TQvDownloadClass> CreateDriver();

  TQvDownloadSettings fSettings;
  std::unique_ptr<TQvDownloadClass> fDriver;
  TDownloadStatus fDownloadStatus = stNone;
  std::unique_ptr<TQvProxy> fProxy;
  std::unique_ptr<TQvFTP> fFTP;
  TQvTLS fTLS;
};

}  // namespace qelvo::download
