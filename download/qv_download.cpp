#include "download/qv_download.h"

#include "download/messages.h"
#include "download/qv_ftp_download.h"
#include "download/qv_http_download.h"

namespace qelvo::download {

TQvDownload::TQvDownload(TQvComponent* AOwner)
    : TQvComponent(AOwner), fProxy(std::make_unique<TQvProxy>()), fFTP(std::make_unique<TQvFTP>()) {
  fDriver = std::make_unique<TQvDownloadClass>(this);
}

TQvDownload::~TQvDownload() {
  fDriver.reset();
  fProxy.reset();
  fFTP.reset();
}

std::unique_ptr<TQvDownloadClass> TQvDownload::CreateDriver() {
  switch (Protocolo) {
    case protHTTP: return std::make_unique<TQvHTTPDownload>(this);
    case protFTP: return std::make_unique<TQvFTPDownload>(this);
    case protNenhum: break;
  }
  throw Exception(kMsgNoProtocol);
}

void TQvDownload::StartDownload() {
  if (Protocolo == protNenhum) throw Exception(kMsgNoProtocol);
  // The old driver may hold the part file open (sharing denies writes): free it first.
  fDriver.reset();
  try {
    fDriver = CreateDriver();
  } catch (...) {
    fDriver = std::make_unique<TQvDownloadClass>(this);
    throw;
  }
  fDownloadStatus = stDownload;
  fDriver->StartDownload();
}

void TQvDownload::SetDownloadDest(const std::string& Value) {
  fDownloadDest = Value;
  fDriver->DownloadDest = Value;
}

void TQvDownload::SetDownloadUrl(const std::string& Value) {
  fDownloadUrl = Value;
  fDriver->DownloadUrl = Value;
}

void TQvDownload::SetDownloadNomeArq(const std::string& Value) {
  fDownloadNomeArq = Value;
  fDriver->DownloadNomeArq = Value;
}

void TQvDownload::SetSizeRecvBuffer(int32_t Value) {
  fSizeRecvBuffer = Value;
  fDriver->SetSizeRecvBuffer(Value);
}

void TQvDownload::SetDownloadStatus(TDownloadStatus Value) {
  fDownloadStatus = Value;
  fDriver->SetDownloadStatus(Value);
}

void TQvDownload::SetOnBeforeDownload(TQvBeforeDownload Value) {
  fOnBeforeDownload = Value;
  fDriver->OnBeforeDownload = std::move(Value);
}

void TQvDownload::SetOnHookStatus(TQvHookStatus Value) {
  fOnHookStatus = Value;
  fDriver->OnHookStatus = std::move(Value);
}

void TQvDownload::SetOnDownloadStatus(TQvDownloadStatus Value) {
  fOnDownloadStatus = Value;
  fDriver->OnDownloadStatus = std::move(Value);
}

void TQvDownload::SetOnAfterDownload(TQvAfterDownload Value) {
  fOnAfterDownload = Value;
  fDriver->OnAfterDownload = std::move(Value);
}

void TQvDownload::SetOnHookMonitor(TQvHookMonitor Value) {
  fOnHookMonitor = Value;
  fDriver->OnHookMonitor = std::move(Value);
}

}  // namespace qelvo::download
