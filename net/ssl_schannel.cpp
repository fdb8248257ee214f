#include "net/ssl_schannel.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "net/socket_api.h"
#include "net/tcp_socket.h"
#include "platform/tls_session.h"

namespace qelvo::net {
namespace {

// Bytes taken off the socket per read: a few full records.
constexpr size_t kReadChunk = 64 * 1024;

}  // namespace

TSSLSchannel::TSSLSchannel(TTCPBlockSocket* Value) : TCustomSSL(Value) {}

TSSLSchannel::~TSSLSchannel() = default;

TSSLClass SchannelClass() {
  return [](TTCPBlockSocket* Socket) -> std::unique_ptr<TCustomSSL> { return std::make_unique<TSSLSchannel>(Socket); };
}

std::string TSSLSchannel::LibVersion() { return platform::TlsLibraryVersion(); }

void TSSLSchannel::Assign(const TCustomSSL& Value) {
  TCustomSSL::Assign(Value);
  const auto* other = dynamic_cast<const TSSLSchannel*>(&Value);
  if (other == nullptr || !other->FSession) return;
  FResume = other->FSession->Credentials();
  if (IOTimeout == 60000) IOTimeout = other->IOTimeout;
}

void TSSLSchannel::SetError(int32_t Code, const std::string& Desc) {
  LastError = Code != 0 ? Code : -1;
  LastErrorDesc = Desc;
}

void TSSLSchannel::EndSession() { SSLEnabled = false; }

bool TSSLSchannel::SendAll(const std::string& Bytes) {
  const TSocketHandle sock = Socket()->Socket();
  size_t sent = 0;
  while (sent < Bytes.size()) {
    const int piece = static_cast<int>(std::min<size_t>(Bytes.size() - sent, 1 << 20));
    const int r = Sockets().send(sock, Bytes.data() + sent, piece, 0);
    if (r <= 0) {
      const int e = Sockets().WSAGetLastError();
      if ((e == WSAEWOULDBLOCK || e == platform::wsa::WSAEINTR) && Socket()->CanWrite(IOTimeout)) continue;
      SetError(e, "send: " + TBlockSocket::GetErrorDesc(e));
      return false;
    }
    sent += static_cast<size_t>(r);
  }
  return true;
}

bool TSSLSchannel::ReadMore() {
  TTCPBlockSocket* sock = Socket();
  if (!sock->TBlockSocket::CanRead(IOTimeout)) {
    SetError(-1, sock->LastError != 0 ? "stopped" : "timed out waiting for the peer");
    return false;
  }
  char buf[kReadChunk];
  const int r = Sockets().recv(sock->Socket(), buf, static_cast<int>(sizeof buf), 0);
  if (r > 0) {
    FIn.append(buf, static_cast<size_t>(r));
    return true;
  }
  if (r == 0) {
    SetError(-1, "the peer closed the connection");
  } else {
    const int e = Sockets().WSAGetLastError();
    SetError(e, TBlockSocket::GetErrorDesc(e));
  }
  return false;
}

bool TSSLSchannel::ReadWaiting() {
  const int32_t waiting = Socket()->TBlockSocket::WaitingData();
  if (waiting <= 0) return true;
  std::string buf(std::min<size_t>(static_cast<size_t>(waiting), kReadChunk), '\0');
  const int r = Sockets().recv(Socket()->Socket(), buf.data(), static_cast<int>(buf.size()), 0);
  if (r > 0) {
    FIn.append(buf.data(), static_cast<size_t>(r));
    return true;
  }
  if (r < 0) {
    const int e = Sockets().WSAGetLastError();
    if (e == WSAEWOULDBLOCK) return true;
    SetError(e, "receive: " + TBlockSocket::GetErrorDesc(e));
  } else {
    SetError(-1, "receive: the peer closed the connection");
  }
  return false;
}

void TSSLSchannel::DecryptReceived() {
  if (FPlainPos == FPlain.size()) {
    FPlain.clear();
    FPlainPos = 0;
  }
  std::string out;
  const platform::TTlsStep step = FSession->Decrypt(FIn, FPlain, out);
  if (!out.empty() && !SendAll(out)) FFailed = true;
  if (step == platform::TTlsStep::Closed) FClosed = true;
  if (step == platform::TTlsStep::Failed) {
    SetError(FSession->ErrorCode, FSession->ErrorText);
    FFailed = true;
  }
}

bool TSSLSchannel::Handshake() {
  platform::TTlsSettings settings;
  settings.ServerName = SNIHost;
  settings.Tls13Only = SSLType == LT_TLSv1_3;
  settings.PfxPassword = KeyPassword;
  if (!OwnCertificate(settings)) return false;
  FSession = platform::NewTlsSession();
  if (FResume) FSession->ShareCredentials(std::move(FResume));
  FResume.reset();
  std::string out;
  platform::TTlsStep step = FSession->Start(settings, out);
  for (;;) {
    if (!out.empty() && !SendAll(out)) return false;
    out.clear();
    if (step == platform::TTlsStep::Done) return true;
    if (step != platform::TTlsStep::NeedInput) {
      SetError(FSession->ErrorCode, FSession->ErrorText);
      // The system's words name the data; the user gave a file.
      const std::pair<const char*, std::string> named[] = {
          {"cannot use the PFX data", PFX.empty() && !PFXfile.empty() ? "cannot use the PFX file " + PFXfile : ""},
          {"cannot use the certificate given",
           Certificate.empty() && !CertificateFile.empty() ? "cannot use the certificate file " + CertificateFile : ""},
          {"cannot use the private key given",
           PrivateKey.empty() && !PrivateKeyFile.empty() ? "cannot use the private key file " + PrivateKeyFile : ""},
      };
      for (const auto& [given, file] : named)
        if (!file.empty() && LastErrorDesc.rfind(given, 0) == 0) LastErrorDesc.replace(0, std::strlen(given), file);
      return false;
    }
    if (!ReadMore()) {
      LastErrorDesc = "handshake: " + LastErrorDesc;
      return false;
    }
    step = FSession->Handshake(FIn, out);
  }
}

bool TSSLSchannel::Connect() {
  LastError = 0;
  LastErrorDesc.clear();
  if (SSLEnabled) Shutdown();
  FSession.reset();
  FIn.clear();
  FPlain.clear();
  FPlainPos = 0;
  FClosed = FFailed = false;
  FVerifyResult = 1;
  const std::string refused = RefusedSSLType(SSLType);
  if (!refused.empty()) {
    SetError(-1, refused);
    return false;
  }
  if (!Handshake() || !CheckPeer()) {
    EndSession();
    return false;
  }
  return FinishHandshake();
}

bool TSSLSchannel::Accept() {
  SetError(-1, "the Schannel layer does not accept TLS connections (server side)");
  return false;
}

bool TSSLSchannel::Shutdown() {
  if (FSession && SSLEnabled && !FFailed) {
    // One close_notify, without waiting for the answer: the socket closes next anyway.
    std::string out;
    FSession->Close(out);
    const int32_t error = LastError;
    const std::string desc = LastErrorDesc;
    if (!out.empty()) SendAll(out);
    LastError = error;
    LastErrorDesc = desc;
  }
  EndSession();
  return true;
}

bool TSSLSchannel::BiShutdown() {
  if (!FSession || !SSLEnabled) {
    EndSession();
    return true;
  }
  std::string out;
  FSession->Close(out);
  bool ok = out.empty() || SendAll(out);
  // The peer's close_notify; data still on its way before it is dropped.
  while (ok && !FClosed && !FFailed) {
    ok = ReadMore();
    if (ok) DecryptReceived();
  }
  EndSession();
  return ok && FClosed;
}

int32_t TSSLSchannel::SendBuffer(const void* Buffer, int32_t Len) {
  if (!FSession || !SSLEnabled) {
    SetError(-1, "send: no TLS session");
    return -1;
  }
  if (Len <= 0) return 0;
  std::string out;
  if (!FSession->Encrypt(static_cast<const char*>(Buffer), static_cast<size_t>(Len), out)) {
    SetError(FSession->ErrorCode, FSession->ErrorText);
    return -1;
  }
  return SendAll(out) ? Len : -1;
}

int32_t TSSLSchannel::RecvBuffer(void* Buffer, int32_t Len) {
  if (!FSession || !SSLEnabled) {
    SetError(-1, "receive: no TLS session");
    return -1;
  }
  if (Len <= 0) return 0;
  DecryptReceived();
  while (PlainWaiting() == 0) {
    // 0: the peer ended the session with close_notify. A connection that just drops is
    // an error (-1), so a body read until the close cannot be cut short unnoticed.
    if (FClosed) return 0;
    if (FFailed) return -1;
    if (!ReadMore()) {
      FFailed = true;
      LastErrorDesc = "receive: " + LastErrorDesc;
      return -1;
    }
    DecryptReceived();
  }
  const size_t n = std::min(PlainWaiting(), static_cast<size_t>(Len));
  std::memcpy(Buffer, FPlain.data() + FPlainPos, n);
  FPlainPos += n;
  return static_cast<int32_t>(n);
}

// Decrypted bytes ready to read, after taking what the socket holds; bytes that make no
// complete record yet count as nothing. A close or failure counts as 1, for the read
// that reports it, also once its record is off the socket.
int32_t TSSLSchannel::WaitingData() {
  if (!FSession || !SSLEnabled) return 0;
  if (PlainWaiting() == 0 && !FClosed && !FFailed) {
    if (!ReadWaiting()) FFailed = true;
    else if (!FIn.empty()) DecryptReceived();
  }
  if (PlainWaiting() > 0) return static_cast<int32_t>(std::min<size_t>(PlainWaiting(), INT32_MAX));
  return FClosed || FFailed ? 1 : 0;
}

}  // namespace qelvo::net
