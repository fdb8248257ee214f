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
  // Refused before the current driver goes, so a refusal changes nothing.
  if (Protocolo != protHTTP && Protocolo != protFTP) throw Exception(kMsgNoProtocol);
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

void TQvDownload::SetDownloadStatus(TDownloadStatus Value) {
  fDownloadStatus = Value;
  fDriver->SetDownloadStatus(Value);
}

}  // namespace qelvo::download
