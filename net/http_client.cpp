#include "net/http_client.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "net/codec_util.h"
#include "net/ip_text.h"
#include "net/text_util.h"
#include "platform/code_page.h"
#include "rtl/text.h"

namespace qelvo::net {
namespace {

// A head of more lines than this is refused (10055) instead of growing without end.
constexpr int kMaxHeadLines = cMaxTunnelReplyLines;
// A body beyond the 32-bit counters is outside what a download can hold.
constexpr int64_t kMaxCountedBody = std::numeric_limits<int32_t>::max();

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

constexpr uint64_t kMaxBodySize = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

// Decimal digits only; -1 for anything else, including values beyond 63 bits.
int64_t ParseContentLength(const std::string& text) {
  uint64_t v = 0;
  return ParseDecimal(text, v, kAnyDigitCount, kMaxBodySize) ? static_cast<int64_t>(v) : -1;
}

// Hexadecimal chunk size with an optional ";extension"; -1 when the line is not one or
// the size does not fit the counters.
int64_t ParseChunkSize(const std::string& line) {
  uint64_t v = 0;
  const std::string digits = rtl::Trim(TextBefore(line, ";"));
  return ParseHex(digits, v, kAnyDigitCount, kMaxCountedBody) ? static_cast<int64_t>(v) : -1;
}

// Characters a request target may carry as they are; everything else is percent-encoded.
bool AllowedInTarget(unsigned char c) {
  if (c <= 0x20 || c >= 0x7F) return false;
  return std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) == std::string_view::npos;
}

std::string EncodeTarget(const std::string& uri) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : uri) {
    const auto c = static_cast<unsigned char>(ch);
    if (AllowedInTarget(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
}

}  // namespace

THTTPSend::THTTPSend() : FSock(std::make_unique<TTCPBlockSocket>()) {
  FSock->Owner = this;
  FSock->ConvertLineEnd = true;
  FSock->MaxLineLength = cMaxHeadLineLength;
  FSock->SetSizeRecvBuffer(65536);
  FSock->SetSizeSendBuffer(65536);
  TargetPort = "80";
  Timeout = 90000;
  Clear();
}

THTTPSend::~THTTPSend() = default;

void THTTPSend::Clear() {
  RangeStart = 0;
  RangeEnd = 0;
  FDocument.Clear();
  FHeaders.Clear();
  MimeType = "text/html";
}

void THTTPSend::Abort() { FSock->StopFlag = true; }

void THTTPSend::ForgetAlive() {
  FAliveHost.clear();
  FAlivePort.clear();
}

void THTTPSend::DecodeStatus(const std::string& Value) {
  const std::string s = rtl::Trim(TextAfter(Value, " "));
  FResultCode = DecimalOrZero(rtl::Trim(TextBefore(s, " ")));
  const std::string reason = rtl::Trim(TextAfter(s, " "));
  FResultString = reason == s ? std::string() : reason;
}

ByteString THTTPSend::BuildRequestHead() const {
  ByteString head;
  if (Protocol == "0.9") {
    if (FHeaders.Count() > 0) head = platform::Utf8ToAnsi(FHeaders[0]) + "\r\n";
    return head;
  }
  for (const auto& line : FHeaders.Lines()) {
    head += platform::Utf8ToAnsi(line);
    head += "\r\n";
  }
  return head;
}

THTTPSend::TRequestPlan THTTPSend::ComposeRequest(const std::string& Method, const std::string& URL) {
  const TUrlParts url = SplitUrl(URL);
  std::string user = PercentDecode(url.User);
  std::string pass = PercentDecode(url.Password);
  if (user.empty()) {
    user = UserName;
    pass = Password;
  }
  const std::string protocolUpper = rtl::UpperCaseAscii(url.Protocol);
  bool proxyMode = false;
  if (protocolUpper == "HTTPS") {
    FSock->HTTPTunnelIP = ProxyHost;
    FSock->HTTPTunnelPort = ProxyPort;
    FSock->HTTPTunnelUser = ProxyUser;
    FSock->HTTPTunnelPass = ProxyPass;
  } else {
    FSock->HTTPTunnelIP.clear();
    FSock->HTTPTunnelPort.clear();
    FSock->HTTPTunnelUser.clear();
    FSock->HTTPTunnelPass.clear();
    proxyMode = !ProxyHost.empty();
  }

  const int64_t bodySize = FDocument.Size();
  const bool hasBody = bodySize > 0;
  const bool expectMode = Status100 && hasBody && Protocol == "1.1";

  // Each line goes on top, so the finished list reads request line first.
  auto top = [this](std::string line) { FHeaders.Insert(0, std::move(line)); };
  if (expectMode) top("Expect: 100-continue");
  if (hasBody) {
    top("Content-Length: " + std::to_string(bodySize));
    if (!MimeType.empty()) top("Content-Type: " + MimeType);
  }
  if (!UserAgent.empty()) top("User-Agent: " + UserAgent);
  if (RangeStart > 0 || RangeEnd > 0) {
    if (RangeEnd < RangeStart) top("Range: bytes=" + std::to_string(RangeStart) + "-");
    else top("Range: bytes=" + std::to_string(RangeStart) + "-" + std::to_string(RangeEnd));
  }
  if (FCookies.Count() > 0) {
    std::string joined;
    for (int i = 0; i < FCookies.Count(); ++i) {
      if (i > 0) joined += "; ";
      joined += FCookies[i];
    }
    top("Cookie: " + joined);
  }
  const std::string prefix = proxyMode ? "Proxy-" : "";
  if (KeepAlive) {
    top(prefix + "Connection: keep-alive");
    top("Keep-Alive: " + std::to_string(KeepAliveTimeout));
  } else {
    top(prefix + "Connection: close");
  }
  if (!user.empty()) top("Authorization: Basic " + Base64Encode(user + ":" + pass));
  if (proxyMode && !ProxyUser.empty())
    top("Proxy-Authorization: Basic " + Base64Encode(ProxyUser + ":" + ProxyPass));

  const std::string hostText = IsIPv6Text(url.Host) ? "[" + url.Host + "]" : url.Host;
  const bool nonDefaultPort =
      (url.Port != "80" && protocolUpper == "HTTP") || (url.Port != "443" && protocolUpper == "HTTPS");
  if (AddPortNumberToHost && nonDefaultPort) top("Host: " + hostText + ":" + url.Port);
  else top("Host: " + hostText);

  std::string uri = EncodeTarget(url.RequestUri);
  if (proxyMode) uri = url.Protocol + "://" + hostText + ":" + url.Port + uri;
  if (uri == "/*") uri = "*";
  const std::string method = rtl::UpperCaseAscii(Method);
  if (Protocol == "0.9") top(method + " " + uri);
  else top(method + " " + uri + " HTTP/" + Protocol);

  if (proxyMode) {
    TargetHost = ProxyHost;
    TargetPort = ProxyPort;
  } else {
    TargetHost = url.Host;
    TargetPort = url.Port;
  }
  if (FHeaders.Count() == 0 || !FHeaders[FHeaders.Count() - 1].empty()) FHeaders.Add("");

  return {protocolUpper == "HTTPS", proxyMode, expectMode, bodySize};
}

bool THTTPSend::HTTPMethod(const std::string& Method, const std::string& URL) {
  FResultCode = 500;
  FResultString.clear();
  FDownloadSize = 0;
  FUploadSize = 0;
  FBodyComplete = false;
  FResponseError.clear();
  // Line breaks in a URL would end the request line and smuggle in header lines.
  if (URL.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    FResponseError = "the URL holds a line break";
    return false;
  }
  const TRequestPlan plan = ComposeRequest(Method, URL);
  return Exchange(Method, plan);
}

bool THTTPSend::Exchange(const std::string& Method, const TRequestPlan& Plan) {
  if (!ReuseOrConnect(Plan.Tls)) {
    ForgetAlive();
    return false;
  }

  FDocument.SetPosition(0);
  std::string keptStatus;
  SendRequest(Plan.ExpectMode, Plan.BodySize, keptStatus);
  if (FSock->LastError != 0) {
    // A request sent in part leaves the peer mid-request: the connection is not reusable.
    FSock->CloseSocket();
    ForgetAlive();
    return false;
  }

  Clear();
  int64_t responseSize = -1;
  FTransferEncoding = TE_UNKNOWN;
  ReadStatusLines(keptStatus);
  const bool closeFlag = ReadHeaderLines(Plan.ProxyMode, responseSize);
  if (FSock->LastError != 0) {
    FSock->CloseSocket();
    ForgetAlive();
    return false;
  }

  bool result = false;
  if (!FResponseError.empty()) {
    result = false;  // a head that does not say where its body ends
  } else if (Method != "HEAD" && FResultCode != 204 && FResultCode != 304) {
    if (FTransferEncoding == TE_IDENTITY) FDownloadSize = ClampToInt32(responseSize);
    if (OnBodyStart) OnBodyStart();
    switch (FTransferEncoding) {
      case TE_UNKNOWN: result = ReadBodyToClose(); break;
      case TE_IDENTITY: result = ReadBodySized(responseSize); break;
      case TE_CHUNKED: result = ReadBodyChunked(); break;
    }
  } else {
    result = true;
  }

  FDocument.SetPosition(0);
  FBodyComplete = result;
  // A failed body read leaves the stream at an unknown place: never reuse it.
  if (closeFlag || !result) {
    FSock->CloseSocket();
    ForgetAlive();
  }
  CollectCookies();
  return result;
}

bool THTTPSend::ReuseOrConnect(bool Tls) {
  // Bytes left over from the previous response mean the stream is out of step; a plain
  // connection never carries an https:// request, nor a TLS one an http:// request.
  if (FSock->Socket() != platform::kInvalidSocket && FAliveHost == TargetHost && FAlivePort == TargetPort &&
      FSock->SSL()->SSLEnabled == Tls && FSock->LineBuffer.empty() && !FSock->CanRead(0))
    return true;
  return OpenConnection(Tls);
}

bool THTTPSend::OpenConnection(bool Tls) {
  FSock->CloseSocket();
  if (Tls && !FSock->SSLAvailable()) return false;
  FSock->Bind(IPInterface, "0");
  if (FSock->LastError != 0) return false;
  FSock->Connect(TargetHost, TargetPort);
  if (FSock->LastError != 0) return false;
  if (Tls) {
    TCustomSSL* ssl = FSock->SSL();
    if (ssl->SNIHost.empty()) ssl->SNIHost = TargetHost;
    FSock->SSLDoConnect();
    ssl->SNIHost.clear();
    if (FSock->LastError != 0) return false;
  }
  FAliveHost = TargetHost;
  FAlivePort = TargetPort;
  return true;
}

void THTTPSend::SendRequest(bool ExpectMode, int64_t BodySize, std::string& KeptStatus) {
  const ByteString head = BuildRequestHead();
  const auto* body = reinterpret_cast<const char*>(FDocument.Memory());
  const auto bodyLength = static_cast<int32_t>(std::min<int64_t>(BodySize, std::numeric_limits<int32_t>::max()));
  if (ExpectMode) {
    FSock->SendString(head);
    if (FSock->LastError != 0) return;
    ByteString line;
    for (int i = 0; i < kMaxHeadLines; ++i) {
      line = FSock->RecvString(Timeout);
      if (!line.empty() || FSock->LastError != 0) break;
    }
    const std::string status = platform::AnsiToUtf8(line);
    DecodeStatus(status);
    if (FResultCode >= 100 && FResultCode <= 199) {
      for (int i = 0; i < kMaxHeadLines; ++i) {
        const ByteString skipped = FSock->RecvString(Timeout);
        if (skipped.empty() || FSock->LastError != 0) break;
      }
      KeptStatus.clear();
      FUploadSize = bodyLength;
      FSock->SendBuffer(body, bodyLength);
    } else {
      KeptStatus = status;
    }
    return;
  }
  if (BodySize > 0 && BodySize < 65536) {
    const ByteString all = head + ByteString(body, static_cast<size_t>(BodySize));
    FUploadSize = static_cast<int32_t>(all.size());
    FSock->SendString(all);
  } else if (BodySize >= 65536) {
    FSock->SendString(head);
    if (FSock->LastError != 0) return;
    FUploadSize = bodyLength;
    FSock->SendBuffer(body, bodyLength);
  } else {
    FSock->SendString(head);
  }
}

void THTTPSend::ReadStatusLines(const std::string& KeptStatus) {
  if (!KeptStatus.empty()) {
    FHeaders.Add(KeptStatus);
    return;
  }
  for (int lines = 0;; ++lines) {
    if (lines >= kMaxHeadLines) {
      FSock->LastError = WSAENOBUFS;
      FSock->ExceptCheck();
      return;
    }
    const ByteString raw = FSock->RecvString(Timeout);
    if (raw.empty() && FSock->LastError == 0) continue;
    const std::string line = platform::AnsiToUtf8(raw);
    if (StartsWith(rtl::UpperCaseAscii(line), "HTTP/")) {
      FHeaders.Add(line);
      DecodeStatus(line);
    } else {
      // A reply without a status line: what came is the start of the body.
      WriteBytesToStream(FDocument, raw + "\r\n");
      FResultCode = 0;
    }
    if (FSock->LastError != 0 || FResultCode != 100) return;
  }
}

bool THTTPSend::ReadHeaderLines(bool ProxyMode, int64_t& BodySize) {
  bool closeFlag = Protocol != "1.1";
  if (FHeaders.Count() == 0) return closeFlag;
  rtl::TStringList raw;
  for (;;) {
    if (raw.Count() >= kMaxHeadLines) {
      FSock->LastError = WSAENOBUFS;
      FSock->ExceptCheck();
      break;
    }
    const ByteString line = FSock->RecvString(Timeout);
    raw.Add(platform::AnsiToUtf8(line));
    if (line.empty() || FSock->LastError != 0) break;
  }
  bool lengthSeen = false;
  for (int i = 0; i < raw.Count();) {
    const std::string line = NextHeaderLine(raw, i);
    FHeaders.Add(line);
    const std::string upper = rtl::UpperCaseAscii(line);
    if (StartsWith(upper, "CONTENT-LENGTH:")) {
      const int64_t size = ParseContentLength(rtl::Trim(TextAfter(line, ":")));
      // A length that is not a number, or two that disagree, leave the body's end unknown.
      if (size == -1) FResponseError = "the server sent a malformed Content-Length";
      else if (lengthSeen && size != BodySize) FResponseError = "the server sent conflicting Content-Length values";
      lengthSeen = true;
      BodySize = size;
      if (BodySize != -1 && FTransferEncoding == TE_UNKNOWN) FTransferEncoding = TE_IDENTITY;
    }
    if (StartsWith(upper, "CONTENT-TYPE:")) MimeType = rtl::Trim(TextAfter(line, ":"));
    if (StartsWith(upper, "TRANSFER-ENCODING:") &&
        rtl::UpperCaseAscii(TextAfter(line, ":")).find("CHUNKED") != std::string::npos)
      FTransferEncoding = TE_CHUNKED;
    const bool mentionsClose = upper.find("CLOSE") != std::string::npos;
    if (ProxyMode && StartsWith(upper, "PROXY-CONNECTION:") && mentionsClose) closeFlag = true;
    if (StartsWith(upper, "CONNECTION:") && mentionsClose) closeFlag = true;
  }
  return closeFlag;
}

bool THTTPSend::ReadBodyToClose() {
  for (;;) {
    const ByteString packet = FSock->RecvPacket(Timeout);
    WriteBytesToStream(FDocument, packet);
    if (FSock->LastError != 0) break;
  }
  // Only an orderly close ends such a body; a reset may have cut it anywhere.
  if (FSock->LastError == WSAECONNRESET && !FSock->PeerReset) {
    FSock->ResetLastError();
    return true;
  }
  return false;
}

bool THTTPSend::ReadBodySized(int64_t Size) {
  if (Size < 1) return true;
  FDownloadSize = ClampToInt32(Size);
  FSock->RecvStreamSize(FDocument, Timeout, Size);
  FDocument.Seek(0, rtl::soEnd);
  return FSock->LastError == 0;
}

bool THTTPSend::ReadBodyChunked() {
  int64_t total = 0;
  for (;;) {
    const ByteString line = FSock->RecvString(Timeout);
    if (FSock->LastError != 0) return false;
    const int64_t size = ParseChunkSize(rtl::Trim(line));
    // A size line that is not hexadecimal, or a body beyond the counters, is a broken
    // body, not its end.
    if (size < 0 || size > kMaxCountedBody - total) {
      FResponseError = "the server sent a malformed chunk size line";
      return false;
    }
    if (size == 0) return true;
    total += size;
    if (!ReadBodySized(size)) return false;
    // The chunk's data ends with an empty line.
    const ByteString end = FSock->RecvString(Timeout);
    if (FSock->LastError != 0) return false;
    if (!end.empty()) {
      FResponseError = "a chunk is longer than its size line says";
      return false;
    }
  }
}

void THTTPSend::CollectCookies() {
  for (const auto& line : FHeaders.Lines()) {
    if (!StartsWith(rtl::LowerCaseAscii(line), "set-cookie:")) continue;
    const std::string pair = rtl::Trim(TextBefore(TextAfter(line, ":"), ";"));
    const std::string name = rtl::Trim(TextBefore(pair, "="));
    if (name.empty()) continue;
    FCookies.SetValues(name, rtl::Trim(TextAfter(pair, "=")));
  }
}

}  // namespace qelvo::net
