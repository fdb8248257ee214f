#pragma once
// TQvFTPDownload: the download driver for FTP.
//
// StartDownload logs in (the component's FTP settings, else the URL's host, port, user
// and password), asks the file's size, opens or resumes the part file and retrieves the
// file, resuming with REST at the part file's size. Only the data connection is hooked:
// its notifications fill the part file through the base class. The data socket closes
// several times per transfer; the client's data phase tells them apart:
// - the close before a data connection opens: ignored;
// - the close after the last byte: the part file gets every byte received and closes;
// - the close after the final reply: a 2xx finishes the part file, but only when it holds
//   every byte the size answer announced.
// A part file that already holds the whole file finishes without a transfer; one that
// is larger than the file, or a server that cannot resume, starts over.
#include <memory>
#include <string>

#include "download/qv_download_class.h"
#include "net/ftp_client.h"
#include "net/text_util.h"

namespace qelvo::download {

inline constexpr const char* kMsgFtpLoginFailed = "Não foi possível efetuar o login!";
inline constexpr const char* kMsgFtpNoFileName = "File To Save not found";

class TQvFTPDownload : public TQvDownloadClass {
 public:
  explicit TQvFTPDownload(TQvComponent* AOwner);
  ~TQvFTPDownload() override;

  net::TFTPSend& FTPSend() const { return *fFTPSend; }
  TQvFTP* FTP() const { return fFTP; }
  void StartDownload() override;
  void SocketStatusHook(net::TBlockSocket* Sender, net::THookSocketReason Reason, const std::string& Value) override;

  // The file's size on the server (-1 when it gave none) and the path asked for.
  int64_t RemoteSize() const { return fRemoteSize; }
  const std::string& RemotePath() const { return fRemotePath; }
  // The retrieve's final reply ("" before one), for telling why a transfer did not finish.
  int32_t FinalReplyCode() const { return fFinalReplyCode; }
  const std::string& FinalReply() const { return fFinalReply; }
  // Why the last login failed: the server's reply or the socket error ("" after a login
  // that succeeded).
  const std::string& LoginFailure() const { return fLoginFailure; }

 protected:
  bool TransferComplete() override;

 private:
  void ApplySettings(const net::TUrlParts& Url);

  std::unique_ptr<net::TFTPSend> fFTPSend;
  TQvFTP* fFTP = nullptr;
  int64_t fRemoteSize = -1;
  std::string fRemotePath;
  int32_t fFinalReplyCode = 0;
  std::string fFinalReply;
  std::string DescribeLoginFailure() const;
  std::string fLoginFailure;
};

}  // namespace qelvo::download
