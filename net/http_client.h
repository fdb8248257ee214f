#pragma once
// THTTPSend: one HTTP/1.x request per HTTPMethod call over a blocking TCP socket.
//
// HTTPMethod builds the request head on top of the caller's Headers (generated lines are
// inserted at index 0, so the list ends up request line first), connects or reuses the
// alive connection, sends head and body (optionally after an Expect: 100-continue
// exchange), then reads the status line(s), the header lines and the body (sized by
// Content-Length, chunked, or until the peer closes). The response replaces Headers and
// Document. Network failures never raise: the result is false and ResultCode tells how
// far the exchange got (500 before a status line could be awaited, 0 when none came).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/net_client.h"
#include "net/tcp_socket.h"
#include "rtl/stream.h"
#include "rtl/string_list.h"

namespace qelvo::net {

enum TTransferEncoding : uint8_t { TE_UNKNOWN = 0, TE_IDENTITY = 1, TE_CHUNKED = 2 };

inline constexpr const char* cHttpDefaultUserAgent = "Mozilla/4.0 (compatible; Qelvo)";

class THTTPSend : public TNetClient {
 public:
  THTTPSend();
  ~THTTPSend() override;

  void Clear();
  void DecodeStatus(const std::string& Value);
  bool HTTPMethod(const std::string& Method, const std::string& URL);
  void Abort();

  TTCPBlockSocket* Sock() const { return FSock.get(); }
  rtl::TStringList& Headers() { return FHeaders; }
  rtl::TStringList& Cookies() { return FCookies; }
  rtl::TMemoryStream& Document() { return FDocument; }
  int32_t ResultCode() const { return FResultCode; }
  const std::string& ResultString() const { return FResultString; }
  int32_t DownloadSize() const { return FDownloadSize; }
  int32_t UploadSize() const { return FUploadSize; }
  TTransferEncoding TransferEncoding() const { return FTransferEncoding; }
  const std::string& AliveHost() const { return FAliveHost; }
  const std::string& AlivePort() const { return FAlivePort; }
  // True when the last response's body arrived whole (set before the closing of the socket
  // that ends it, so the socket's close hook can read it).
  bool BodyComplete() const { return FBodyComplete; }
  // What was wrong with the last response beyond the socket's own errors ("" when nothing).
  const std::string& ResponseError() const { return FResponseError; }

  // Called once the head is read and before the body is, with DownloadSize set for a
  // sized body: bytes of the body that came with the head wait in Sock's LineBuffer.
  std::function<void()> OnBodyStart;

  // Settings.
  std::string MimeType = "text/html";
  std::string Protocol = "1.0";
  bool KeepAlive = true;
  int32_t KeepAliveTimeout = 300;
  bool Status100 = false;
  std::string ProxyHost;
  std::string ProxyPort = "8080";
  std::string ProxyUser;
  std::string ProxyPass;
  std::string UserAgent = cHttpDefaultUserAgent;
  int32_t RangeStart = 0;
  int32_t RangeEnd = 0;
  bool AddPortNumberToHost = true;

  // The bytes HTTPMethod sends as the head for the lines now in Headers.
  ByteString BuildRequestHead() const;

 protected:
  // What the exchange needs to know about the request ComposeRequest put into Headers.
  struct TRequestPlan {
    bool Tls = false;
    bool ProxyMode = false;
    bool ExpectMode = false;
    int64_t BodySize = 0;
  };
  // Puts the generated head lines on top of Headers (request line first), sets the tunnel
  // or proxy target and TargetHost/TargetPort, and ends the head with its empty line.
  TRequestPlan ComposeRequest(const std::string& Method, const std::string& URL);
  // Connects or reuses the kept connection, sends head and body, reads the status, the
  // headers and the body into Document; false when any step fails.
  bool Exchange(const std::string& Method, const TRequestPlan& Plan);

  virtual bool ReadBodyToClose();
  virtual bool ReadBodySized(int64_t Size);
  virtual bool ReadBodyChunked();

  bool ReuseOrConnect(bool Tls);
  bool OpenConnection(bool Tls);
  void SendRequest(bool ExpectMode, int64_t BodySize, std::string& KeptStatus);
  void ReadStatusLines(const std::string& KeptStatus);
  bool ReadHeaderLines(bool ProxyMode, int64_t& BodySize);
  void CollectCookies();
  void ForgetAlive();

  std::unique_ptr<TTCPBlockSocket> FSock;
  TTransferEncoding FTransferEncoding = TE_UNKNOWN;
  std::string FAliveHost;
  std::string FAlivePort;
  rtl::TStringList FHeaders;
  rtl::TMemoryStream FDocument;
  rtl::TStringList FCookies;
  int32_t FResultCode = 0;
  std::string FResultString;
  int32_t FDownloadSize = 0;
  int32_t FUploadSize = 0;
  bool FBodyComplete = false;
  std::string FResponseError;
};

}  // namespace qelvo::net
