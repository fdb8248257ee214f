#pragma once
// TQvHTTPDownload: the download driver for HTTP.
//
// StartDownload picks the part-file name (the application's name, else the last segment
// of the URL path, else a ranged probe of the server for a "filename=" parameter), opens
// or resumes the part file, asks for the rest of the file with a range when resuming,
// and runs one GET. The base class writes the part file from the socket's notifications;
// this driver adds what only HTTP knows at the socket close:
// - 500 is the close that opens every connection (or a failed connect): ignored;
// - 302 follows the Location into the same part file, at most kMaxRedirects times;
// - a whole body (200) answering a resume request starts the part file over;
// - the part file gets its final name only when the body arrived whole: every announced
//   byte, the last chunk, or the peer's normal close of a close-delimited body;
// - bytes of a response that is not the file (error pages) never enter the part file;
// - a resume refused with 416 because the part file already holds the whole file (a
//   transfer whose last step failed) finishes that part file.
#include <memory>
#include <string>

#include "download/qv_download_class.h"
#include "net/http_client.h"

namespace qelvo::download {

// Text from a server made safe to print: control characters become \xNN.
std::string EscapeControls(const std::string& text);

class TQvHTTPDownload : public TQvDownloadClass {
 public:
  static constexpr int kMaxRedirects = 10;
  static constexpr int32_t kProbeRangeEnd = 1024;

  explicit TQvHTTPDownload(TQvComponent* AOwner);
  ~TQvHTTPDownload() override;

  net::THTTPSend& HTTPSend() const { return *fHTTPSend; }
  void StartDownload() override;

  // Why a transfer ended: the last socket error the client reported ("" when none), and
  // whether a redirect chain was cut off.
  const std::string& LastSocketError() const { return fLastSocketError; }
  int32_t LastSocketErrorCode() const { return fLastSocketErrorCode; }
  bool RedirectLimitReached() const { return fRedirectLimitReached; }
  // Why the last download did not finish, in the user's terms ("" when it finished).
  // Text that came from the server is shown with its control characters escaped.
  std::string UnfinishedReason() const;
  int Redirects() const { return fRedirects; }

  void SocketStatusHook(net::TBlockSocket* Sender, net::THookSocketReason Reason, const std::string& Value) override;

 protected:
  bool DocumentHoldsFileData() const override;
  bool TransferComplete() override;

 private:
  void ApplyProxySettings();
  std::string DerivePartFileName();
  std::string ProbeFileName();
  void FollowRedirect();
  std::string LocationHeader() const;
  // The absolute URL a Location value names, relative ones resolved against base.
  static std::string RedirectTarget(const std::string& location, const std::string& base);
  static bool RedirectFollowed(const std::string& scheme);
  void RestartOnWholeBody();
  bool PartFileAlreadyWhole() const;
  void OnBodyStart();
  // The response's Content-Range, when it is "bytes first-last/total" with numbers.
  struct TContentRange {
    bool valid = false;
    int64_t first = 0, last = 0, total = 0;
  };
  TContentRange ResponseContentRange() const;
  // A 206 continues the part file: its range starts where the part file ends, runs to the
  // end of the file and agrees with the Content-Length.
  bool RangeContinuesPartFile() const;
  std::string HeaderValue(const char* name) const;
  // Puts If-Range on the resume request, or starts the part file over when its bytes
  // carry no validator.
  void PrepareResume();

  std::unique_ptr<net::THTTPSend> fHTTPSend;
  // The part file of the first request; redirected requests keep writing it.
  std::string fPartName;
  // The URL of the current request: the settings' URL, then each redirect's target.
  std::string fRequestUrl;
  int fRedirects = 0;
  bool fRedirectLimitReached = false;
  bool fProbing = false;
  std::string fLastSocketError;
  int32_t fLastSocketErrorCode = 0;
  // Set when the download stops for a reason of its own (a redirect it does not follow).
  std::string fStopReason;
  // A 416 for a part file longer than the server's file: the request runs again from 0.
  bool fStartOver = false;
};

}  // namespace qelvo::download
