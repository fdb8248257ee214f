#include "download/qv_http_download.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "download/file_names.h"
#include "download/http_validator.h"
#include "download/messages.h"
#include "download/qv_download.h"
#include "net/ssl_default.h"
#include "net/text_util.h"
#include "platform/file_system.h"
#include "rtl/text.h"

namespace qelvo::download {

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string EscapeControls(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

TQvHTTPDownload::TQvHTTPDownload(TQvComponent* AOwner)
    : TQvDownloadClass(AOwner), fHTTPSend(std::make_unique<net::THTTPSend>()) {
  BindSocket(fHTTPSend->Sock(), &fHTTPSend->Document());
  fHTTPSend->OnBodyStart = [this] { OnBodyStart(); };
  fCountFromBodyStart = true;
  fHTTPSend->Sock()->SetSSLClass(net::DefaultSSLClass());
}

TQvHTTPDownload::~TQvHTTPDownload() {
  UnbindSocket();
  fHTTPSend->OnBodyStart = nullptr;
  fHTTPSend.reset();
}

void TQvHTTPDownload::ApplyProxySettings() {
  fHTTPSend->ProxyHost = Proxy->ProxyHost;
  // An empty port means the client's own default rather than no port at all.
  if (!Proxy->ProxyPort.empty()) fHTTPSend->ProxyPort = Proxy->ProxyPort;
  fHTTPSend->ProxyUser = Proxy->ProxyUser;
  fHTTPSend->ProxyPass = Proxy->ProxyPass;
  fHTTPSend->Timeout = Proxy->ProxyTimeout;
  ApplyTLS(fOwner->TLS(), *fHTTPSend->Sock()->SSL());
}

void TQvHTTPDownload::StartDownload() {
  const bool redirected = fDownloadStatus == stRedirect;
  std::string name;
  if (redirected) {
    name = fPartName;
  } else {
    fRedirects = 0;
    fRedirectLimitReached = false;
    fStopReason.clear();
    ApplyProxySettings();
    name = DownloadNomeArq().empty() ? DerivePartFileName() : WithPartSuffix(DownloadNomeArq());
  }
  if (name.empty()) throw Exception(kMsgNoFileName);
  fPartName = name;
  fFilePart = name;
  OpenPartFile();
  // However the transfer ends, the part file is not held afterwards (on Windows an open
  // handle keeps everyone else from moving or removing it).
  struct CloseWhenDone {
    TQvHTTPDownload* d;
    ~CloseWhenDone() { d->ClosePartFile(); }
  } closeWhenDone{this};

  fHTTPSend->Clear();
  PrepareResume();
  fHTTPSend->RangeStart = fBytesResumed;
  fLastSocketError.clear();
  fLastSocketErrorCode = 0;
  fStartOver = false;
  const TQvDownloadSettings& settings = Settings();
  if (settings.OnBeforeDownload) settings.OnBeforeDownload(this);
  // Read after OnBeforeDownload, which may still change the URL.
  if (!redirected) fRequestUrl = settings.DownloadUrl;
  fHTTPSend->HTTPMethod("GET", fRequestUrl);
  if (fStartOver && fFileStream != nullptr) {
    // The part file is longer than the server's file: it was emptied, ask for all of it.
    fStartOver = false;
    fHTTPSend->Clear();
    fHTTPSend->HTTPMethod("GET", fRequestUrl);
  }
  DiscardEmptyPartFile();
  if (settings.OnAfterDownload) settings.OnAfterDownload(this);
}

void TQvHTTPDownload::PrepareResume() {
  if (fBytesResumed <= 0) return;
  rtl::TDateTime stamp = 0;
  if (!platform::FileGetDate(fFilePart, stamp) ||
      std::fabs(stamp - kNoValidatorStamp) < 0.5 / 86400.0) {
    // Bytes the server gave no date for cannot be checked against what it serves now.
    RestartPartFile();
    return;
  }
  fHTTPSend->Headers().Add("If-Range: " + FormatHttpDate(stamp));
}

void TQvHTTPDownload::OnBodyStart() {
  fResultCode = fHTTPSend->ResultCode();
  fDownloadSize = fHTTPSend->DownloadSize();
  if (fResultCode != 200 && fResultCode != 206) return;
  RestartOnWholeBody();
  if (fResultCode == 206 && !RangeContinuesPartFile()) return;
  rtl::TDateTime modified = 0;
  fPartFileStamp = ParseHttpDate(HeaderValue("Last-Modified"), modified) ? modified : kNoValidatorStamp;
  BodyStarted(fSock, static_cast<int64_t>(fSock->LineBuffer.size()));
}

std::string TQvHTTPDownload::DerivePartFileName() {
  std::string name = FileNameFromUrlPath(net::SplitUrl(DownloadUrl()).Path);
  if (name.empty()) name = ProbeFileName();
  return name.empty() ? "" : name + kPartSuffix;
}

// Asks the server for the first bytes and takes the name it offers; a redirected probe
// takes the name from the new location, probing that in turn when it has none.
std::string TQvHTTPDownload::ProbeFileName() {
  struct ProbeScope {
    bool& flag;
    explicit ProbeScope(bool& f) : flag(f) { flag = true; }
    ~ProbeScope() { flag = false; }
  } scope(fProbing);
  std::string url = DownloadUrl();
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    fHTTPSend->Clear();
    fHTTPSend->RangeEnd = kProbeRangeEnd;
    fHTTPSend->HTTPMethod("GET", url);
    fHTTPSend->Sock()->StopFlag = false;  // an abort the probe no longer needed
    const rtl::TStringList& headers = fHTTPSend->Headers();
    for (int i = 0; i < headers.Count(); ++i) {
      std::string name = FileNameFromHeaderLine(headers[i]);
      if (!name.empty()) return name;
    }
    if (fHTTPSend->ResultCode() != 302) return "";
    const std::string location = LocationHeader();
    if (location.empty()) return "";
    url = RedirectTarget(location, url);
    std::string name = FileNameFromUrlPath(net::SplitUrl(url).Path);
    if (!name.empty()) return name;
  }
  return "";
}

std::string TQvHTTPDownload::LocationHeader() const {
  const rtl::TStringList& headers = fHTTPSend->Headers();
  for (int i = 0; i < headers.Count(); ++i)
    if (StartsWithNoCase(headers[i], "Location:")) return Trimmed(headers[i].substr(9));
  return "";
}

void TQvHTTPDownload::SocketStatusHook(net::TBlockSocket* Sender, net::THookSocketReason Reason,
                                       const std::string& Value) {
  fResultCode = fHTTPSend->ResultCode();
  fDownloadSize = fHTTPSend->DownloadSize();
  if (Reason == net::HR_Error) {
    fLastSocketError = Value;
    fLastSocketErrorCode = std::atoi(Value.c_str());
  }
  if (Reason == net::HR_ReadCount) {
    // A server that ignores the probe's range would send the whole file into memory.
    if (fProbing && fDownloadSize > kProbeRangeEnd + 1) fHTTPSend->Abort();
    RestartOnWholeBody();
  }
  if (Reason != net::HR_SocketClose) {
    // The body's start was reported with its figures (OnBodyStart); a chunk's size later
    // is not the file's.
    if (Reason == net::HR_ReadCount && fBodyStarted) return;
    TQvDownloadClass::SocketStatusHook(Sender, Reason, Value);
    return;
  }
  if (fResultCode == 500) return;  // the close that opens a connection, or a failed connect
  if (fResultCode == 302) {
    if (!fProbing) FollowRedirect();  // the probe follows its redirects itself
    return;
  }
  if (fResultCode == 416 && PartFileAlreadyWhole()) {
    ClosePartFile();
    FinishPartFile();
    RaiseHookStatus(Sender, Reason);
    return;
  }
  if (fResultCode == 416 && fBytesResumed > 0 && fFileStream != nullptr && !fStartOver) {
    // The server's file is shorter than the part file: these bytes are of another version.
    RestartPartFile();
    fStartOver = true;
    RaiseHookStatus(Sender, Reason);
    return;
  }
  RestartOnWholeBody();
  // A body short enough to arrive with the head raises no body read: the transfer is
  // still a download, not a resume that never started.
  if (fDownloadStatus == stResume && fFileStream != nullptr && (fResultCode == 200 || fResultCode == 206))
    fDownloadStatus = stDownload;
  TQvDownloadClass::SocketStatusHook(Sender, Reason, Value);
}

void TQvHTTPDownload::RestartOnWholeBody() {
  if (fResultCode == 200 && fBytesResumed > 0 && fFileStream != nullptr && fDownloadStatus == stResume)
    RestartPartFile();
}

// "Content-Range: bytes */<total>" naming exactly the resumed size.
bool TQvHTTPDownload::PartFileAlreadyWhole() const {
  if (fFileStream == nullptr || fBytesResumed <= 0) return false;
  const rtl::TStringList& headers = fHTTPSend->Headers();
  for (int i = 0; i < headers.Count(); ++i) {
    if (!StartsWithNoCase(headers[i], "Content-Range:")) continue;
    const std::string value = Trimmed(headers[i].substr(14));
    const size_t slash = value.rfind('/');
    if (!StartsWithNoCase(value, "bytes") || slash == std::string::npos) return false;
    const std::string total = value.substr(slash + 1);
    return !total.empty() && total.find_first_not_of("0123456789") == std::string::npos && total.size() < 11 &&
           std::stoll(total) == fBytesResumed;
  }
  return false;
}

std::string TQvHTTPDownload::HeaderValue(const char* name) const {
  const std::string prefix = std::string(name) + ":";
  const rtl::TStringList& headers = fHTTPSend->Headers();
  for (int i = 0; i < headers.Count(); ++i)
    if (StartsWithNoCase(headers[i], prefix)) return Trimmed(headers[i].substr(prefix.size()));
  return "";
}

TQvHTTPDownload::TContentRange TQvHTTPDownload::ResponseContentRange() const {
  TContentRange r;
  const std::string value = HeaderValue("Content-Range");
  if (!StartsWithNoCase(value, "bytes ")) return r;
  const std::string spec = Trimmed(value.substr(6));
  const size_t dash = spec.find('-');
  const size_t slash = spec.find('/');
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return r;
  auto number = [](const std::string& text, int64_t& out) {
    uint64_t v = 0;
    if (!net::ParseDecimal(text, v, 18)) return false;
    out = static_cast<int64_t>(v);
    return true;
  };
  r.valid = number(spec.substr(0, dash), r.first) && number(spec.substr(dash + 1, slash - dash - 1), r.last) &&
            number(spec.substr(slash + 1), r.total) && r.first <= r.last && r.last < r.total;
  return r;
}

bool TQvHTTPDownload::RangeContinuesPartFile() const {
  const TContentRange r = ResponseContentRange();
  if (!r.valid || r.first != fBytesResumed || r.last != r.total - 1) return false;
  const bool sized = fHTTPSend->TransferEncoding() == net::TE_IDENTITY;
  return !sized || fHTTPSend->DownloadSize() == r.last - r.first + 1;
}

// A partial body is the file's continuation only when its range says so.
bool TQvHTTPDownload::DocumentHoldsFileData() const {
  if (fResultCode == 200) return true;
  return fResultCode == 206 && RangeContinuesPartFile();
}

bool TQvHTTPDownload::TransferComplete() {
  if (!fHTTPSend->BodyComplete()) return false;
  if (fResultCode == 206 && !RangeContinuesPartFile()) return false;
  // A body read that failed leaves its error on the socket; a drained, normal close and
  // a close-delimited body ended by the peer leave none.
  if (fHTTPSend->Sock()->LastError != 0) return false;
  const int64_t received = DocumentReceived();
  if (platform::FileSize(fFilePart) != static_cast<int64_t>(fBytesResumed) + received) return false;
  if (fHTTPSend->TransferEncoding() == net::TE_IDENTITY) return received == fHTTPSend->DownloadSize();
  return true;
}

void TQvHTTPDownload::FollowRedirect() {
  fDownloadStatus = stRedirect;
  const std::string location = LocationHeader();
  ClosePartFile();  // the redirect's own body never belongs to the file
  if (location.empty()) return;
  if (fRedirects >= kMaxRedirects) {
    fRedirectLimitReached = true;
    return;
  }
  const std::string target = RedirectTarget(location, fRequestUrl);
  const std::string scheme = rtl::UpperCaseAscii(net::SplitUrl(target).Protocol);
  if (!RedirectFollowed(scheme)) {
    fStopReason = "the server redirected to " + EscapeControls(target) + ", which this download does not follow";
    return;
  }
  ++fRedirects;
  fRequestUrl = target;
  StartDownload();
}

std::string TQvHTTPDownload::UnfinishedReason() const {
  if (Finished()) return "";
  if (!fStopReason.empty()) return fStopReason;
  if (fRedirectLimitReached) return "more than " + std::to_string(kMaxRedirects) + " redirects";
  const int32_t code = fResultCode;
  if (code == 206 && !RangeContinuesPartFile())
    return "the server answered 206 for a range that does not continue the part file";
  if (code != 200 && code != 206 && code != 0 && !(code == 500 && !fLastSocketError.empty())) {
    std::string why = "HTTP status " + std::to_string(code);
    if (!fHTTPSend->ResultString().empty()) why += " " + EscapeControls(fHTTPSend->ResultString());
    return why;
  }
  if (!fHTTPSend->ResponseError().empty()) return fHTTPSend->ResponseError();
  const net::TTCPBlockSocket& sock = *fHTTPSend->Sock();
  const int64_t held = static_cast<int64_t>(fBytesResumed) + DocumentReceived();
  if (fLastSocketErrorCode == net::WSAECONNRESET && code != 0 && !sock.PeerReset) {
    std::string why = "the server closed the connection after " + std::to_string(held);
    if (fHTTPSend->TransferEncoding() == net::TE_IDENTITY)
      why += " of " + std::to_string(static_cast<int64_t>(fBytesResumed) + fHTTPSend->DownloadSize());
    return why + " bytes";
  }
  if (fLastSocketErrorCode == net::WSASYSNOTREADY)  // the TLS layer's failure
    return "TLS with " + fHTTPSend->TargetHost + " failed: " + fLastSocketError.substr(fLastSocketError.find(',') + 1);
  if (!fLastSocketError.empty()) {
    const size_t comma = fLastSocketError.find(',');
    return "socket error " + fLastSocketError.substr(0, comma) +
           (comma == std::string::npos ? "" : ": " + fLastSocketError.substr(comma + 1));
  }
  if (code == 0) return "no HTTP answer";
  return "the transfer ended before the whole file arrived";
}

// Schemes a redirect is followed to. ftp:// waits for its driver; https:// for a TLS layer.
bool TQvHTTPDownload::RedirectFollowed(const std::string& scheme) { return scheme == "HTTP"; }

std::string TQvHTTPDownload::RedirectTarget(const std::string& location, const std::string& base) {
  if (location.find("://") != std::string::npos) return location;
  const net::TUrlParts here = net::SplitUrl(base);
  if (location.rfind("//", 0) == 0) return here.Protocol + ":" + location;
  std::string host = here.Host;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  const std::string origin = here.Protocol + "://" + host + ":" + here.Port;
  if (location[0] == '/') return origin + location;
  const size_t slash = here.Path.rfind('/');
  return origin + (slash == std::string::npos ? std::string("/") : here.Path.substr(0, slash + 1)) + location;
}

}  // namespace qelvo::download
