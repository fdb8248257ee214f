#pragma once
// TQvDownloadClass: the protocol-independent half of a download.
//
// A driver writes one transfer into a part file ("<name>.part" in the destination
// folder). The protocol client collects the received body in its memory document; each
// time the client's socket reports received data (monitor hook) the driver appends the
// document's unwritten tail to the part file, and once more at the socket close. Bytes
// written out are dropped from the document (its capacity is kept), so memory stays at
// one receive piece however large the file. The
// status hook turns the socket's notifications into OnHookStatus (connect, first body
// read with the total size, close) and the monitor hook into OnHookMonitor (bytes, speed
// and time). At a close with a success code the part file is moved to its final name,
// but only when the protocol driver confirms the body arrived whole.
//
// Status: OpenPartFile sets stResume (part file existed) or stNone; the first body read
// with an announced size sets stDownload; the application may write stPause or stStop at
// any time, and the next monitor notification then stops the socket's next operation, which
// ends the transfer once the bytes already read are in the document. At a close, stStop
// deletes the part file, stPause keeps it for a later resume.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/socket_core.h"
#include "net/tcp_socket.h"
#include "platform/file_stream.h"
#include "rtl/date_time.h"
#include "rtl/stream.h"

namespace qelvo::download {

enum TDownloadStatus : uint8_t {
  stNone = 0,
  stStop = 1,
  stDownload = 2,
  stPause = 3,
  stResume = 4,
  stRedirect = 5,
};
const char* DownloadStatusName(TDownloadStatus status);

// Sender is the socket for the two hook events and the driver for the others.
using TQvHookStatus = std::function<void(void* Sender, net::THookSocketReason Reason, int32_t BytesToDownload,
                                         int32_t BytesDownloaded)>;
using TQvHookMonitor = std::function<void(void* Sender, int32_t BytesToDownload, int32_t BytesDownloaded,
                                          double AverageSpeed, uint16_t Hour, uint16_t Min, uint16_t Sec)>;
using TQvDownloadStatus = std::function<void(void* Sender, TDownloadStatus DownloadStatus)>;
using TQvBeforeDownload = std::function<void(void* Sender)>;
using TQvAfterDownload = std::function<void(void* Sender)>;

// What the application sets for a download. The component holds the one value and its
// drivers read it through a pointer, so a setting written between or during downloads
// reaches the current driver without being copied.
struct TQvDownloadSettings {
  std::string DownloadDest;
  std::string DownloadUrl;
  std::string DownloadNomeArq;  // empty: the driver derives the name from the URL or the server
  int32_t SizeRecvBuffer = 0;
  TQvBeforeDownload OnBeforeDownload;
  TQvHookStatus OnHookStatus;
  TQvDownloadStatus OnDownloadStatus;
  TQvAfterDownload OnAfterDownload;
  TQvHookMonitor OnHookMonitor;
};

class TQvProxy {
 public:
  std::string ProxyHost;
  std::string ProxyPort;
  std::string ProxyUser;
  std::string ProxyPass;
  int32_t ProxyTimeout = 90000;
};

class TQvFTP {
 public:
  std::string FtpHost;
  std::string FtpPort;
  std::string FtpUser;
  std::string FtpPass;
  int32_t FtpTimeout = 300000;
};

// The download manager's component base.
class TQvComponent {
 public:
  explicit TQvComponent(TQvComponent* AOwner = nullptr) : fOwner(AOwner) {}
  virtual ~TQvComponent() = default;
  TQvComponent(const TQvComponent&) = delete;
  TQvComponent& operator=(const TQvComponent&) = delete;
  TQvComponent* Owner() const { return fOwner; }
  std::string About;  // design-time information, not stored

 private:
  TQvComponent* fOwner;
};

class TQvDownload;

class TQvDownloadClass {
 public:
  // AOwner must be a TQvDownload; raises kMsgWrongOwner otherwise.
  explicit TQvDownloadClass(TQvComponent* AOwner);
  virtual ~TQvDownloadClass();
  TQvDownloadClass(const TQvDownloadClass&) = delete;
  TQvDownloadClass& operator=(const TQvDownloadClass&) = delete;

  // The base driver transfers nothing.
  virtual void StartDownload() {}

  TQvProxy* Proxy = nullptr;  // the component's settings (not owned)
  // The component's settings (not owned).
  const TQvDownloadSettings& Settings() const { return *fSettings; }
  const std::string& DownloadDest() const { return fSettings->DownloadDest; }
  const std::string& DownloadUrl() const { return fSettings->DownloadUrl; }
  const std::string& DownloadNomeArq() const { return fSettings->DownloadNomeArq; }

  TDownloadStatus DownloadStatus() const { return fDownloadStatus; }
  // Stores the status and raises OnDownloadStatus with this driver as Sender.
  void SetDownloadStatus(TDownloadStatus Value);
  int32_t SizeRecvBuffer() const { return fSettings->SizeRecvBuffer; }
  // Stores the size in the settings and applies it to the bound socket.
  void SetSizeRecvBuffer(int32_t Value);

  // Bound to the protocol client's socket hooks (OnStatus, OnMonitor).
  virtual void SocketStatusHook(net::TBlockSocket* Sender, net::THookSocketReason Reason, const std::string& Value);
  virtual void SocketMonitorHook(net::TBlockSocket* Sender, bool Writing, const void* Buffer, int32_t Len);

  // Figures and state, for front ends and tests.
  int32_t BytesToDownload() const { return fBytesToDownload; }
  int32_t BytesDownloaded() const { return fBytesDownloaded; }
  int32_t BytesResumed() const { return fBytesResumed; }
  double AverageSpeed() const { return fAverageSpeed; }
  int32_t ResultCode() const { return fResultCode; }
  // The part file: the bare name until OpenPartFile, then the full path.
  const std::string& FilePart() const { return fFilePart; }
  bool PartFileOpen() const { return fFileStream != nullptr; }
  // True once the part file has been moved to its final name.
  bool Finished() const { return fFinished; }
  const std::string& FinalName() const { return fFinalName; }

 protected:
  // Binds the protocol client's socket and document; the driver's constructor calls it
  // after creating its client. Applies SizeRecvBuffer to the socket.
  void BindSocket(net::TTCPBlockSocket* Sock, rtl::TMemoryStream* Document);
  void UnbindSocket();

  // Whether the bytes now in the document belong to the file (not, say, an error page).
  virtual bool DocumentHoldsFileData() const { return true; }
  // Whether the body that just ended arrived whole; asked before the final rename.
  virtual bool TransferComplete() { return true; }

  void OpenPartFile();
  // Closes and removes a part file this run created and never wrote a byte into.
  void DiscardEmptyPartFile();
  // The body of the current response begins: the size is known (fDownloadSize) and
  // bufferedBytes of the body came with the head, so no read will report them.
  void BodyStarted(net::TBlockSocket* Sender, int64_t bufferedBytes);
  void FlushDocument();
  void ClosePartFile() { fFileStream.reset(); }
  void WriteToPartFile(const void* Buffer, int64_t Count);
  // Empties the open part file: the server sent the whole file instead of the rest.
  void RestartPartFile();
  // Body bytes of the current response that went through the document, including those
  // already written out and dropped from it.
  int64_t DocumentReceived() const;

  void RaiseHookStatus(net::TBlockSocket* Sender, net::THookSocketReason Reason);
  // Moves the closed part file to its final name (the part path without ".part").
  void FinishPartFile();

  int32_t fBytesToDownload = 0;
  rtl::TDateTime fStartTime = 0;
  double fAverageSpeed = 0;
  TQvDownload* fOwner = nullptr;
  TQvDownloadSettings* fSettings = nullptr;  // the owner's (not owned)
  net::TTCPBlockSocket* fSock = nullptr;
  rtl::TMemoryStream* fDocument = nullptr;
  std::unique_ptr<platform::TFileStream> fFileStream;
  int64_t fPartFileSize = 0;  // size of the open part file; only this driver writes it
  int64_t fDocumentBase = 0;  // document bytes of this response written out and dropped
  TDownloadStatus fDownloadStatus = stNone;
  int32_t fBytesDownloaded = 0;
  std::string fFilePart;
  int32_t fDownloadSize = 0;
  int32_t fResultCode = 0;
  int32_t fBytesResumed = 0;
  bool fFinished = false;
  std::string fFinalName;
  // A driver that reports its body's start (BodyStarted) counts received bytes only from
  // there, so a head is never counted as download.
  bool fCountFromBodyStart = false;
  bool fBodyStarted = false;
  bool fPartFileCreated = false;  // this run created the part file (it did not exist)
  // The time stamp the part file keeps after every write (0: none): the validator of its
  // bytes (see http_validator.h).
  rtl::TDateTime fPartFileStamp = 0;

 private:
  void HandleSocketClose(net::TBlockSocket* Sender);
  void RaiseFinalMonitor(net::TBlockSocket* Sender);
  void DeletePartFile();
};

// 32-bit byte counts wrap instead of overflowing (2 GiB and more is outside the model).
inline int32_t AddWrapped(int32_t a, int64_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(a) + b));
}

}  // namespace qelvo::download
