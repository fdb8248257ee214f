#pragma once
// What the installer needs of its two components: the download component (one URL at a
// time into a folder, with progress events) and the unzip component (one archive into a
// base folder). The installer holds them only through these interfaces, so that every
// package step runs against scripted components in tests; the adapters to the real
// components live in real_components.cpp.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/qv_download.h"
#include "net/socket_core.h"

namespace qelvo::app {

// The shared vocabulary of the download manager and the network client.
using download::TDownloadStatus;
using download::TQvProtocolo;
using net::THookSocketReason;

using TQvHookStatus = std::function<void(THookSocketReason reason, int32_t bytesToDownload, int32_t bytesDownloaded)>;
using TQvHookMonitor = std::function<void(int32_t bytesToDownload, int32_t bytesDownloaded, double averageSpeed,
                                          uint16_t hour, uint16_t min, uint16_t sec)>;

class IDownloader {
 public:
  virtual ~IDownloader() = default;
  virtual void SetProtocolo(TQvProtocolo protocolo) = 0;
  virtual void SetSizeRecvBuffer(int32_t bytes) = 0;
  virtual void SetProxyTimeout(int32_t milliseconds) = 0;
  virtual void SetFtpTimeout(int32_t milliseconds) = 0;
  virtual void SetOnHookStatus(TQvHookStatus handler) = 0;
  virtual void SetOnHookMonitor(TQvHookMonitor handler) = 0;
  virtual void SetDownloadDest(const std::string& folder) = 0;
  virtual void SetDownloadNomeArq(const std::string& fileName) = 0;
  virtual void SetDownloadUrl(const std::string& url) = 0;
  // Blocks until the transfer has ended. Network failures and HTTP error statuses do
  // not raise; file-system failures do.
  virtual void StartDownload() = 0;
  virtual TDownloadStatus DownloadStatus() const = 0;
  // Whether the last StartDownload put the whole file under its final name, and if not,
  // why, in the operator's words. A component that cannot tell reports it finished.
  virtual bool DownloadFinished() const { return true; }
  virtual std::string DownloadFailureReason() const { return ""; }
};

// One item that extraction left out: its stored name and the reason.
struct TItemFailure {
  std::string Name;
  std::string Reason;
};
using TItemFailureHandler = std::function<void(const TItemFailure& failure)>;

enum TArcExtractOption : unsigned { eoCreateDirs = 1u << 0, eoRestorePath = 1u << 1 };
using TArcExtractOptions = unsigned;

class IUnZipper {
 public:
  virtual ~IUnZipper() = default;
  virtual void SetExtractOptions(TArcExtractOptions options) = 0;
  // Opens the archive and reads its directory; raises for a missing, empty or
  // unreadable archive.
  virtual void SetFileName(const std::string& zipFile) = 0;
  virtual void SetBaseDirectory(const std::string& folder) = 0;
  // Items that fail are skipped (and reported to the item-failure handler); only
  // failures outside the per-item work raise.
  virtual void ExtractFiles(const std::string& mask) = 0;
  // A component without item reports ignores the handler.
  virtual void SetOnItemFailure(TItemFailureHandler /*handler*/) {}
};

class IComponentFactory {
 public:
  virtual ~IComponentFactory() = default;
  virtual std::unique_ptr<IDownloader> CreateDownloader() = 0;
  virtual std::unique_ptr<IUnZipper> CreateUnZipper() = 0;
};

}  // namespace qelvo::app
