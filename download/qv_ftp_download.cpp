#include "download/qv_ftp_download.h"

#include "download/file_names.h"
#include "download/qv_download.h"
#include "net/codec_util.h"
#include "net/ssl_default.h"
#include "net/text_util.h"
#include "platform/file_system.h"

namespace qelvo::download {

TQvFTPDownload::TQvFTPDownload(TQvComponent* AOwner)
    : TQvDownloadClass(AOwner), fFTPSend(std::make_unique<net::TFTPSend>()) {
  BindSocket(fFTPSend->DSock(), &fFTPSend->DataStream());
  fFTP = &fOwner->FTP();
  fFTPSend->SetSSLClass(net::DefaultSSLClass());
}

TQvFTPDownload::~TQvFTPDownload() {
  UnbindSocket();
  fFTP = nullptr;
  fFTPSend.reset();
}

// The settings name the server when they name a host; otherwise the URL does, with its
// port and, when the settings give none, its user and password.
void TQvFTPDownload::ApplySettings(const net::TUrlParts& Url) {
  net::TFTPSend& ftp = *fFTPSend;
  if (!fFTP->FtpHost.empty()) {
    ftp.TargetHost = fFTP->FtpHost;
    ftp.TargetPort = fFTP->FtpPort.empty() ? net::cFtpProtocol : fFTP->FtpPort;
  } else {
    ftp.TargetHost = Url.Host;
    ftp.TargetPort = Url.Port.empty() ? net::cFtpProtocol : Url.Port;
  }
  if (!fFTP->FtpUser.empty() || !fFTP->FtpPass.empty()) {
    if (!fFTP->FtpUser.empty()) ftp.UserName = fFTP->FtpUser;
    ftp.Password = fFTP->FtpPass;
  } else if (!Url.User.empty()) {
    ftp.UserName = net::PercentDecode(Url.User);
    ftp.Password = net::PercentDecode(Url.Password);
  }
  ftp.Timeout = fFTP->FtpTimeout;
  // ftps:// is TLS from the first byte (port 990); ftp:// may be asked to require AUTH TLS.
  const TQvTLS& tls = fOwner->TLS();
  ftp.FullSSL = rtl::UpperCaseAscii(Url.Protocol) == "FTPS";
  ftp.AutoTLS = !ftp.FullSSL && tls.FtpRequireTLS;
  ftp.RequireTLS = ftp.AutoTLS;
  ftp.TLSonData = true;
  ApplyTLS(tls, *ftp.Sock()->SSL());
}

// Why Login failed; a refused TLS handshake is named as such, with the host.
std::string TQvFTPDownload::DescribeLoginFailure() const {
  const net::TTCPBlockSocket& sock = *fFTPSend->Sock();
  if (sock.LastError == net::WSASYSNOTREADY && !sock.LastErrorDesc.empty())
    return "TLS with " + fFTPSend->TargetHost + " failed: " + sock.LastErrorDesc;
  if (fFTPSend->RequireTLS && !fFTPSend->IsTLS() && sock.LastError == 0)
    return "the server does not offer TLS (AUTH TLS: " + fFTPSend->ResultString() + ")";
  if (fFTPSend->ResultCode() != 0) return "FTP reply " + fFTPSend->ResultString();
  if (sock.LastError != 0) return "socket error " + std::to_string(sock.LastError) + ": " + sock.LastErrorDesc;
  return "no FTP answer";
}

void TQvFTPDownload::StartDownload() {
  struct LogoutAtEnd {
    net::TFTPSend& ftp;
    ~LogoutAtEnd() {
      try {
        ftp.Logout();
      } catch (...) {
        // The transfer's own outcome (or exception) is what the caller needs to see.
      }
    }
  } logout{*fFTPSend};

  const net::TUrlParts url = net::SplitUrl(DownloadUrl());
  fRemotePath = net::PercentDecode(url.Path);
  fRemoteSize = -1;
  fFinalReplyCode = 0;
  fFinalReply.clear();
  ApplySettings(url);
  std::string name = DownloadNomeArq().empty() ? FileNameFromUrlPath(fRemotePath) : DownloadNomeArq();
  if (!name.empty()) name = WithPartSuffix(name);

  fLoginFailure.clear();
  if (!fFTPSend->Login()) {
    // Kept before the logout at the end talks to the server again.
    fLoginFailure = DescribeLoginFailure();
    throw Exception(kMsgFtpLoginFailed);
  }
  if (fFTPSend->IsTLS() && !fFTPSend->IsDataTLS()) {
    // The file would travel in the clear over a session that looks protected.
    fLoginFailure = "the server refused protected data (PROT P)";
    throw Exception(kMsgFtpLoginFailed);
  }
  if (name.empty()) throw Exception(kMsgFtpNoFileName);
  fFilePart = name;
  OpenPartFile();
  fFTPSend->DirectFileName = fFilePart;
  fFTPSend->DirectFile = false;

  fRemoteSize = fFTPSend->FileSize(fRemotePath);
  if (fBytesResumed > 0 && (!fFTPSend->CanResume() || (fRemoteSize >= 0 && fBytesResumed > fRemoteSize)))
    RestartPartFile();  // the part file cannot be continued: fetch the whole file again
  if (fRemoteSize >= 0 && fBytesResumed > 0 && fBytesResumed == fRemoteSize) {
    // An earlier run received everything but did not get to finish.
    ClosePartFile();
    FinishPartFile();
    return;
  }
  fDownloadSize = fRemoteSize >= 0 ? AddWrapped(0, fRemoteSize - fBytesResumed) : -1;
  fFTPSend->ResumeFrom = fBytesResumed;

  if (Settings().OnBeforeDownload) Settings().OnBeforeDownload(this);
  fFTPSend->RetrieveFile(fRemotePath, fBytesResumed > 0);
  if (fFinalReplyCode == 0) {
    fFinalReplyCode = fFTPSend->ResultCode();
    fFinalReply = fFTPSend->ResultString();
  }
  if (Settings().OnAfterDownload) Settings().OnAfterDownload(this);
}

void TQvFTPDownload::SocketStatusHook(net::TBlockSocket* Sender, net::THookSocketReason Reason,
                                      const std::string& Value) {
  const int32_t code = fFTPSend->ResultCode();
  fResultCode = code;
  if (Reason != net::HR_SocketClose) {
    TQvDownloadClass::SocketStatusHook(Sender, Reason, Value);
    return;
  }
  switch (fFTPSend->DataPhase()) {
    case net::TFTPSend::dpIdle:
      return;  // the close that precedes a data connection
    case net::TFTPSend::dpTransfer:
      fResultCode = 150;  // the data connection ended: flush and close the part file
      break;
    case net::TFTPSend::dpFinished:
      fFinalReplyCode = code;
      fFinalReply = fFTPSend->ResultString();
      fResultCode = code / 100 == 2 ? 226 : code;
      break;
  }
  TQvDownloadClass::SocketStatusHook(Sender, Reason, Value);
}

bool TQvFTPDownload::TransferComplete() {
  if (fRemoteSize < 0) return true;  // the completion reply is all there is to go by
  return platform::FileSize(fFilePart) == fRemoteSize;
}

}  // namespace qelvo::download
