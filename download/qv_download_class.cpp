#include "download/qv_download_class.h"

#include <algorithm>

#include "download/file_names.h"
#include "download/messages.h"
#include "download/monitor_figures.h"
#include "download/qv_download.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

namespace qelvo::download {

namespace {

std::string Format1(const char* pattern, const std::string& a) {
  std::string s = pattern;
  s.replace(s.find("%s"), 2, a);
  return s;
}

std::string Format2(const char* pattern, const std::string& a, const std::string& b) {
  std::string s = Format1(pattern, a);
  s.replace(s.find("%s"), 2, b);
  return s;
}

bool FlushCode(int32_t code) { return code == 125 || code == 150 || code == 200 || code == 206; }
bool FinishCode(int32_t code) { return code == 200 || code == 206 || code == 226; }

}  // namespace

const char* DownloadStatusName(TDownloadStatus status) {
  switch (status) {
    case stNone: return "stNone";
    case stStop: return "stStop";
    case stDownload: return "stDownload";
    case stPause: return "stPause";
    case stResume: return "stResume";
    case stRedirect: return "stRedirect";
  }
  return "?";
}

TQvDownloadClass::TQvDownloadClass(TQvComponent* AOwner) {
  fOwner = dynamic_cast<TQvDownload*>(AOwner);
  if (fOwner == nullptr) throw Exception(kMsgWrongOwner);
  Proxy = &fOwner->Proxy();
  fSettings = &fOwner->fSettings;
  fDownloadStatus = fOwner->DownloadStatus();
}

TQvDownloadClass::~TQvDownloadClass() {
  UnbindSocket();
  // A part file still open keeps its name and contents for a later resume.
  ClosePartFile();
}

void TQvDownloadClass::BindSocket(net::TTCPBlockSocket* Sock, rtl::TMemoryStream* Document) {
  fSock = Sock;
  fDocument = Document;
  fSock->OnStatus = [this](net::TBlockSocket* s, net::THookSocketReason r, const std::string& v) {
    SocketStatusHook(s, r, v);
  };
  fSock->OnMonitor = [this](net::TBlockSocket* s, bool w, const void* b, int32_t n) { SocketMonitorHook(s, w, b, n); };
  SetSizeRecvBuffer(fSettings->SizeRecvBuffer);
}

void TQvDownloadClass::UnbindSocket() {
  if (fSock != nullptr) {
    fSock->OnStatus = nullptr;
    fSock->OnMonitor = nullptr;
  }
  fSock = nullptr;
  fDocument = nullptr;
}

void TQvDownloadClass::SetDownloadStatus(TDownloadStatus Value) {
  fDownloadStatus = Value;
  if (fSettings->OnDownloadStatus) fSettings->OnDownloadStatus(this, Value);
}

void TQvDownloadClass::SetSizeRecvBuffer(int32_t Value) {
  fSettings->SizeRecvBuffer = Value;
  // 0 means "not set": asking the OS for a zero buffer would shrink it to its minimum.
  if (fSock != nullptr && Value > 0) fSock->SetSizeRecvBuffer(Value);
}

void TQvDownloadClass::OpenPartFile() {
  fFilePart = NormalizeFolder(fSettings->DownloadDest) + fFilePart;
  fDocumentBase = 0;
  fFinished = false;
  fFinalName.clear();
  fPartFileStamp = 0;
  fBodyStarted = false;
  ClosePartFile();
  // An empty part file holds nothing to keep: it counts as created by this run.
  fPartFileCreated = !platform::FileExists(fFilePart) || platform::FileSize(fFilePart) == 0;
  if (platform::FileExists(fFilePart)) {
    fDownloadStatus = stResume;
    fFileStream = std::make_unique<platform::TFileStream>(fFilePart, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
    fPartFileSize = fFileStream->Seek(0, rtl::soEnd);
    fBytesResumed = static_cast<int32_t>(static_cast<uint32_t>(fPartFileSize));
  } else {
    fDownloadStatus = stNone;
    fFileStream = std::make_unique<platform::TFileStream>(fFilePart, platform::fmCreate | platform::fmShareDenyWrite);
    fPartFileSize = 0;
    fBytesResumed = 0;
  }
}

void TQvDownloadClass::DiscardEmptyPartFile() {
  if (!fPartFileCreated || fFilePart.empty() || fFinished) return;
  const bool empty = fFileStream != nullptr ? fPartFileSize == 0 : platform::FileSize(fFilePart) == 0;
  if (!empty) return;
  ClosePartFile();
  platform::DeleteFile(fFilePart);
}

void TQvDownloadClass::BodyStarted(net::TBlockSocket* Sender, int64_t bufferedBytes) {
  const bool counted = (fDownloadStatus == stNone || fDownloadStatus == stResume) && fDownloadSize != 0;
  if (fStartTime == 0 || (counted && fDownloadStatus == stNone)) {
    fStartTime = platform::Now();
    fAverageSpeed = 0;
  }
  fBytesDownloaded = fBytesResumed;
  fBodyStarted = true;
  if (counted) {
    fDownloadStatus = stDownload;
    fBytesToDownload = AddWrapped(fBytesResumed, fDownloadSize);
    RaiseHookStatus(Sender, net::HR_ReadCount);
  }
  // The head is not download; the body bytes that came with it are.
  const int64_t body = fDownloadSize > 0 ? std::min<int64_t>(bufferedBytes, fDownloadSize) : bufferedBytes;
  fBytesDownloaded = AddWrapped(fBytesDownloaded, body);
}

void TQvDownloadClass::RestartPartFile() {
  if (fFileStream == nullptr) return;
  fFileStream->SetSize(0);
  fFileStream->Seek(0, rtl::soBeginning);
  fPartFileSize = 0;
  fDocumentBase = 0;
  fBytesResumed = 0;
  fDownloadStatus = stNone;
}

int64_t TQvDownloadClass::DocumentReceived() const {
  return fDocumentBase + (fDocument != nullptr ? fDocument->Size() : 0);
}

void TQvDownloadClass::FlushDocument() {
  if (fDocument == nullptr || fFileStream == nullptr) return;
  struct AtEnd {
    rtl::TMemoryStream* d;
    ~AtEnd() { d->Seek(0, rtl::soEnd); }
  } atEnd{fDocument};
  const int64_t docSize = fDocument->Size();
  if (docSize == 0) return;
  const int64_t written = fPartFileSize - fBytesResumed;
  const int64_t n = std::min(fDocumentBase + docSize - written, docSize);
  if (n > 0) WriteToPartFile(fDocument->Memory() + (docSize - n), n);
  // Everything in the document is in the part file now.
  fDocumentBase += docSize;
  fDocument->SetSize(0);
}

void TQvDownloadClass::WriteToPartFile(const void* Buffer, int64_t Count) {
  const int64_t written = fFileStream->Write(Buffer, Count);
  const int code = written == Count ? 0 : platform::GetLastOSError();
  if (written > 0) fPartFileSize += written;
  if (fPartFileStamp != 0) platform::FileSetDate(fFilePart, fPartFileStamp);
  // A full disk keeps what was written for a later resume and says why it stopped.
  if (written != Count)
    throw rtl::EInOutError("Cannot write " + fFilePart + ": " +
                               (code != 0 ? platform::SysErrorMessage(code) : std::string("Stream write error")),
                           code);
}

void TQvDownloadClass::RaiseHookStatus(net::TBlockSocket* Sender, net::THookSocketReason Reason) {
  if (fSettings->OnHookStatus) fSettings->OnHookStatus(Sender, Reason, fBytesToDownload, fBytesDownloaded);
}

void TQvDownloadClass::SocketMonitorHook(net::TBlockSocket* Sender, bool Writing, const void*, int32_t Len) {
  if (Writing) return;
  // What the close drains is not part of any response, nor is a head.
  if (Sender != nullptr && Sender->Draining()) return;
  if (!fCountFromBodyStart || fBodyStarted) fBytesDownloaded = AddWrapped(fBytesDownloaded, Len);
  if (fFileStream != nullptr && fDocument != nullptr && DocumentHoldsFileData() &&
      fPartFileSize - static_cast<int64_t>(fBytesResumed) < DocumentReceived())
    FlushDocument();
  // Before the body starts no time has passed for it.
  const rtl::TDateTime elapsed = fStartTime == 0 ? 0 : platform::Now() - fStartTime;
  const TMonitorFigures f = ComputeMonitorFigures(elapsed, fBytesToDownload, fBytesDownloaded, fAverageSpeed);
  fAverageSpeed = f.AverageSpeed;
  // The transfer ends at the socket's next operation, which closes it once the bytes of
  // this read have reached the document: closing here would lose them.
  if ((fDownloadStatus == stStop || fDownloadStatus == stPause) && fSock != nullptr && fSock->Socket() >= 0)
    fSock->StopFlag = true;
  if (const TQvHookMonitor& handler = fSettings->OnHookMonitor)
    handler(Sender, fBytesToDownload, fBytesDownloaded, f.AverageSpeed, f.Hour, f.Min, f.Sec);
}

void TQvDownloadClass::SocketStatusHook(net::TBlockSocket* Sender, net::THookSocketReason Reason, const std::string&) {
  switch (Reason) {
    case net::HR_Connect:
      RaiseHookStatus(Sender, Reason);
      break;
    case net::HR_ReadCount:
      if ((fDownloadStatus == stNone || fDownloadStatus == stResume) && fDownloadSize != 0) {
        if (fDownloadStatus == stNone || fStartTime == 0) {
          fStartTime = platform::Now();
          fAverageSpeed = 0;
        }
        fDownloadStatus = stDownload;
        fBytesDownloaded = fBytesResumed;
        fBytesToDownload = AddWrapped(fBytesResumed, fDownloadSize);
        RaiseHookStatus(Sender, Reason);
      }
      break;
    case net::HR_SocketClose:
      HandleSocketClose(Sender);
      break;
    default:
      break;
  }
}

void TQvDownloadClass::HandleSocketClose(net::TBlockSocket* Sender) {
  if (FlushCode(fResultCode) && fFileStream != nullptr) {
    struct CloseAfter {
      TQvDownloadClass* d;
      ~CloseAfter() { d->ClosePartFile(); }
    } closeAfter{this};
    if (DocumentHoldsFileData()) FlushDocument();
  }
  switch (fDownloadStatus) {
    case stStop:
      DeletePartFile();
      break;
    case stNone:
    case stDownload:
      if (FinishCode(fResultCode) && HasPartSuffix(fFilePart) && TransferComplete()) {
        FinishPartFile();
        if (fFinished) RaiseFinalMonitor(Sender);
      }
      break;
    default:
      break;
  }
  RaiseHookStatus(Sender, net::HR_SocketClose);
}

// The last figures of a finished download: the whole file, nothing left.
void TQvDownloadClass::RaiseFinalMonitor(net::TBlockSocket* Sender) {
  const int64_t size = platform::FileSize(fFinalName);
  if (size < 0) return;
  fBytesToDownload = AddWrapped(0, size);
  fBytesDownloaded = fBytesToDownload;
  const rtl::TDateTime elapsed = fStartTime == 0 ? 0 : platform::Now() - fStartTime;
  const TMonitorFigures f = ComputeMonitorFigures(elapsed, fBytesToDownload, fBytesDownloaded, fAverageSpeed);
  fAverageSpeed = f.AverageSpeed;
  if (const TQvHookMonitor& handler = fSettings->OnHookMonitor)
    handler(Sender, fBytesToDownload, fBytesDownloaded, f.AverageSpeed, f.Hour, f.Min, f.Sec);
}

void TQvDownloadClass::DeletePartFile() {
  ClosePartFile();
  // The socket reports more than one close per transfer: a part file already gone at a
  // later one is what the stop asked for.
  if (fFilePart.empty() || !platform::FileExists(fFilePart)) return;
  if (!platform::DeleteFile(fFilePart)) throw Exception(Format1(kMsgCannotDelete, fFilePart));
}

void TQvDownloadClass::FinishPartFile() {
  const std::string finalName = fFilePart.substr(0, fFilePart.size() - std::string(kPartSuffix).size());
  if (!platform::FileExists(fFilePart)) return;
  ClosePartFile();
  if (platform::FileExists(finalName) && !platform::DeleteFile(finalName))
    throw Exception(Format1(kMsgCannotDelete, finalName));
  if (!platform::RenameFile(fFilePart, finalName)) throw Exception(Format2(kMsgCannotRename, fFilePart, finalName));
  fFinished = true;
  fFinalName = finalName;
}

}  // namespace qelvo::download
