#include "net/ssl_openssl.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "net/tcp_socket.h"

namespace qelvo::net {

TSSLOpenSSL::TSSLOpenSSL(TTCPBlockSocket* Value) : TCustomSSL(Value) {}

TSSLOpenSSL::~TSSLOpenSSL() {
  FreeSession();
  SSL_SESSION_free(FResume);
}

TSSLClass OpenSSLClass() {
  return [](TTCPBlockSocket* Socket) -> std::unique_ptr<TCustomSSL> { return std::make_unique<TSSLOpenSSL>(Socket); };
}

std::string TSSLOpenSSL::LibVersion() { return OpenSSL_version(OPENSSL_VERSION); }

void TSSLOpenSSL::Assign(const TCustomSSL& Value) {
  TCustomSSL::Assign(Value);
  const auto* other = dynamic_cast<const TSSLOpenSSL*>(&Value);
  if (other == nullptr || other->FSsl == nullptr) return;
  SSL_SESSION_free(FResume);
  FResume = SSL_get1_session(other->FSsl);
  if (IOTimeout == 60000) IOTimeout = other->IOTimeout;
}

void TSSLOpenSSL::SetError(int32_t Code, const std::string& Desc) {
  LastError = Code;
  LastErrorDesc = Desc;
}

void TSSLOpenSSL::SetErrorFrom(int Result, const char* what) {
  const int sslError = FSsl != nullptr ? SSL_get_error(FSsl, Result) : SSL_ERROR_SSL;
  const unsigned long queued = ERR_peek_last_error();
  std::string desc;
  if (queued != 0 && ERR_GET_REASON(queued) == SSL_R_CERTIFICATE_VERIFY_FAILED && FSsl != nullptr) {
    const long verify = SSL_get_verify_result(FSsl);
    desc = std::string("certificate verify failed: ") + X509_verify_cert_error_string(verify);
  } else if (queued != 0) {
    char text[256];
    ERR_error_string_n(queued, text, sizeof text);
    // "error:0A000086:SSL routines::reason": the reason is what a person needs.
    const char* reason = std::strrchr(text, ':');
    desc = reason != nullptr && reason[1] != '\0' ? reason + 1 : text;
  } else if (sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN) {
    desc = "the peer closed the connection";
  } else if (LastErrorDesc.empty()) {
    desc = "failed";
  } else {
    desc = LastErrorDesc;
  }
  ERR_clear_error();
  // A verification failure already says what failed.
  const bool verify = desc.rfind("certificate verify failed", 0) == 0;
  SetError(queued != 0 ? static_cast<int32_t>(ERR_GET_REASON(queued)) : sslError,
           verify ? desc : std::string(what) + ": " + desc);
}

bool TSSLOpenSSL::WaitFor(int Error) {
  TTCPBlockSocket* sock = Socket();
  // The plain waits: OpenSSL asks for bytes that are not in its buffers yet.
  const bool ready =
      Error == SSL_ERROR_WANT_WRITE ? sock->CanWrite(IOTimeout) : sock->TBlockSocket::CanRead(IOTimeout);
  if (!ready) {
    SetError(-1, sock->LastError != 0 ? "stopped" : "timed out waiting for the peer");
    return false;
  }
  return true;
}

template <typename Step>
int32_t TSSLOpenSSL::Drive(Step step, const char* what) {
  for (;;) {
    ERR_clear_error();
    const int r = step();
    if (r > 0) return r;
    const int e = SSL_get_error(FSsl, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      if (!WaitFor(e)) return -1;
      continue;
    }
    if (e == SSL_ERROR_ZERO_RETURN) return 0;
    LastErrorDesc.clear();
    SetErrorFrom(r, what);
    return -1;
  }
}

bool TSSLOpenSSL::StartSession(bool Server) {
  LastError = 0;
  LastErrorDesc.clear();
  if (SSLEnabled) Shutdown();
  FreeSession();
  FReadEnded = false;
  if (!Prepare(Server)) return false;
  Socket()->SetNonBlockMode(true);
  FNonBlocking = true;
  const int32_t r = Drive([&] { return Server ? SSL_accept(FSsl) : SSL_connect(FSsl); }, "handshake");
  if (r <= 0) {
    if (r == 0) SetError(-1, "handshake: the peer closed the connection");
    EndSession();
    return false;
  }
  return FinishHandshake();
}

bool TSSLOpenSSL::Connect() { return StartSession(false); }
bool TSSLOpenSSL::Accept() { return StartSession(true); }

bool TSSLOpenSSL::SSLCheck() { return LastError == 0; }

void TSSLOpenSSL::EndSession() {
  // The connection stays for the peer queries until the next session or the end.
  if (FNonBlocking && Socket()->Socket() != platform::kInvalidSocket) Socket()->SetNonBlockMode(false);
  FNonBlocking = false;
  SSLEnabled = false;
}

void TSSLOpenSSL::FreeSession() {
  SSL_free(FSsl);
  FSsl = nullptr;
  SSL_CTX_free(FCtx);
  FCtx = nullptr;
}

bool TSSLOpenSSL::Shutdown() {
  if (FSsl != nullptr && SSLEnabled) {
    // One close_notify, without waiting for the answer: the socket closes next anyway.
    ERR_clear_error();
    SSL_shutdown(FSsl);
    ERR_clear_error();
  }
  EndSession();
  return true;
}

bool TSSLOpenSSL::BiShutdown() {
  if (FSsl == nullptr || !SSLEnabled) {
    EndSession();
    return true;
  }
  ERR_clear_error();
  int r = SSL_shutdown(FSsl);
  if (r == 0) r = Drive([&] { return SSL_shutdown(FSsl); }, "shutdown");
  EndSession();
  return r > 0;
}

int32_t TSSLOpenSSL::SendBuffer(const void* Buffer, int32_t Len) {
  if (FSsl == nullptr || !SSLEnabled) {
    SetError(-1, "send: no TLS session");
    return -1;
  }
  if (Len <= 0) return 0;
  const int32_t r = Drive([&] { return SSL_write(FSsl, Buffer, Len); }, "send");
  return r == 0 ? -1 : r;
}

int32_t TSSLOpenSSL::RecvBuffer(void* Buffer, int32_t Len) {
  if (FSsl == nullptr || !SSLEnabled) {
    SetError(-1, "receive: no TLS session");
    return -1;
  }
  if (Len <= 0) return 0;
  // 0: the peer ended the session with close_notify. A connection that just drops is an
  // error (-1), so a body read until the close cannot be cut short unnoticed.
  return Drive([&] { return SSL_read(FSsl, Buffer, Len); }, "receive");
}

// Decrypted bytes ready to read. Records that carry no data (TLS 1.3 session tickets)
// are processed here, so that they neither count as data nor leave the socket readable;
// a close or failure counts as 1, for the read that reports it.
//
// The close must keep counting once the probe has taken its record off the socket:
// a peer that waits for our close_notify before closing (an FTP server ending a
// protected transfer) sends nothing more, and a wait on the empty socket would last
// until the timeout.
int32_t TSSLOpenSSL::WaitingData() {
  if (FSsl == nullptr || !SSLEnabled) return 0;
  const int pending = SSL_pending(FSsl);
  if (pending > 0) return pending;
  if (FReadEnded || (SSL_get_shutdown(FSsl) & SSL_RECEIVED_SHUTDOWN) != 0) return 1;
  // Records OpenSSL already took off the socket count as well as bytes still on it.
  if (SSL_has_pending(FSsl) == 0 && Socket()->TBlockSocket::WaitingData() == 0) return 0;
  char probe = 0;
  ERR_clear_error();
  const int r = SSL_peek(FSsl, &probe, 1);
  if (r > 0) return std::max(SSL_pending(FSsl), 1);
  const int e = SSL_get_error(FSsl, r);
  if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
    ERR_clear_error();
    return 0;
  }
  FReadEnded = true;
  return 1;
}

}  // namespace qelvo::net
