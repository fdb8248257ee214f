#include "download/qv_http_download.h"

#include <cctype>
#include <cstdlib>

#include "download/file_names.h"
#include "download/messages.h"
#include "download/qv_download.h"
#include "net/ssl_openssl.h"
#include "net/text_util.h"
#include "platform/file_system.h"

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

TQvHTTPDownload::TQvHTTPDownload(TQvComponent* AOwner)
    : TQvDownloadClass(AOwner), fHTTPSend(std::make_unique<net::THTTPSend>()) {
  BindSocket(fHTTPSend->Sock(), &fHTTPSend->Document());
  fHTTPSend->Sock()->SetSSLClass(net::OpenSSLClass());
}

TQvHTTPDownload::~TQvHTTPDownload() {
  UnbindSocket();
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
    ApplyProxySettings();
    name = DownloadNomeArq().empty() ? DerivePartFileName() : WithPartSuffix(DownloadNomeArq());
  }
  if (name.empty()) throw Exception(kMsgNoFileName);
  fPartName = name;
  fFilePart = name;
  OpenPartFile();

  fHTTPSend->Clear();
  fHTTPSend->RangeStart = fBytesResumed;
  fLastSocketError.clear();
  fLastSocketErrorCode = 0;
  const TQvDownloadSettings& settings = Settings();
  if (settings.OnBeforeDownload) settings.OnBeforeDownload(this);
  // Read after OnBeforeDownload, which may still change the URL.
  if (!redirected) fRequestUrl = settings.DownloadUrl;
  fHTTPSend->HTTPMethod("GET", fRequestUrl);
  if (settings.OnAfterDownload) settings.OnAfterDownload(this);
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

// A partial body is the file's continuation only when it starts where the part file ends.
bool TQvHTTPDownload::DocumentHoldsFileData() const {
  if (fResultCode == 200) return true;
  if (fResultCode != 206) return false;
  const rtl::TStringList& headers = fHTTPSend->Headers();
  for (int i = 0; i < headers.Count(); ++i) {
    if (!StartsWithNoCase(headers[i], "Content-Range:")) continue;
    const std::string value = Trimmed(headers[i].substr(14));
    if (!StartsWithNoCase(value, "bytes ")) return false;
    const std::string first = Trimmed(value.substr(6, value.find('-') - 6));
    return !first.empty() && first.size() < 11 && first.find_first_not_of("0123456789") == std::string::npos &&
           std::stoll(first) == fBytesResumed;
  }
  return true;  // no Content-Range: take the server at its word
}

bool TQvHTTPDownload::TransferComplete() {
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
  ++fRedirects;
  fRequestUrl = RedirectTarget(location, fRequestUrl);
  StartDownload();
}

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
