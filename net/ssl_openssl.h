#pragma once
// TSSLOpenSSL: the working TLS layer, over OpenSSL 3. Only TLS 1.2 and 1.3 are spoken;
// SSLType picks the lowest version accepted (LT_all means TLS 1.2), and asking for an
// older protocol fails the handshake with a plain message instead of weakening it.
//
// While a session is up the socket is in non-blocking mode and every wait for the peer
// goes through the socket's own plain waits, bounded by IOTimeout, so a stalled peer in
// the middle of a record or a handshake cannot hang the caller. The records travel
// through the socket's send and recv (ssl_openssl_bio.cpp), never around them.
//
// WaitingData counts decrypted bytes OpenSSL holds, and a received close (or failure)
// as 1 for as long as the session lasts: the socket can be empty while either waits.
//
// With VerifyCert the peer's chain is checked against CertCAFile, CertCA,
// TrustCertificate(File), or the system's CA store when none of them is given, and the
// certificate must name SNIHost (a host name or an IP address). A failed check leaves
// "certificate verify failed: <reason>" in LastErrorDesc. OnVerifyCert, when set, has
// the last word after the handshake.
//
// Assign also hands over the session of the source, so a second connection to the same
// server (an FTP data channel) resumes it as servers commonly require.
#include <cstdint>
#include <string>

#include "net/ssl.h"

struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;
struct bio_st;

namespace qelvo::net {

class TSSLOpenSSL : public TCustomSSL {
 public:
  explicit TSSLOpenSSL(TTCPBlockSocket* Value);
  ~TSSLOpenSSL() override;

  // Longest wait for the peer during a handshake, a read or a write (ms).
  int32_t IOTimeout = 60000;

  void Assign(const TCustomSSL& Value) override;
  std::string LibVersion() override;
  std::string LibName() override { return "ssl_openssl3"; }
  bool Connect() override;
  bool Accept() override;
  bool Shutdown() override;
  bool BiShutdown() override;
  int32_t SendBuffer(const void* Buffer, int32_t Len) override;
  int32_t RecvBuffer(void* Buffer, int32_t Len) override;
  int32_t WaitingData() override;
  std::string GetSSLVersion() override;
  std::string GetPeerSubject() override;
  std::string GetPeerSerialNo_Text() override;
  int32_t GetPeerSerialNo() override;
  std::string GetPeerIssuer() override;
  std::string GetPeerName() override;
  uint32_t GetPeerNameHash() override;
  std::string GetPeerFingerprint() override;
  std::string GetCertInfo() override;
  std::string GetCipherName() override;
  int32_t GetCipherBits() override;
  int32_t GetCipherAlgBits() override;
  int32_t GetVerifyCert() override;
  bool HasTLS() const override { return true; }

 protected:
  bool SSLCheck() override;

 private:
  bool StartSession(bool Server);
  bool Prepare(bool Server);
  bool LoadTrust();
  bool LoadOwnCertificate();
  bool ApplyVersions();
  bool ApplyPeerName();
  // Runs an SSL_connect/SSL_accept/SSL_shutdown style step until it completes, waiting
  // on the socket for WANT_READ/WANT_WRITE; the step's final return value.
  template <typename Step>
  int32_t Drive(Step step, const char* what);
  bool WaitFor(int Error);
  void SetError(int32_t Code, const std::string& Desc);
  // The error of a failed step: OpenSSL's queue, the verify result or the system error.
  void SetErrorFrom(int Result, const char* what);
  // Back to a blocking socket and no session; the connection object stays for queries.
  void EndSession();
  void FreeSession();

  ssl_ctx_st* FCtx = nullptr;
  ssl_st* FSsl = nullptr;
  // Session to offer at the next Connect (from Assign), owned.
  ssl_session_st* FResume = nullptr;
  bool FNonBlocking = false;  // this layer put the socket in non-blocking mode
  bool FReadEnded = false;    // a probe met the end of the peer's data (close or failure)
};

// The factory a client hands to TTCPBlockSocket::SetSSLClass to speak real TLS.
TSSLClass OpenSSLClass();

// The transport of a session: the socket's own send and recv (ssl_openssl_bio.cpp).
bio_st* NewSocketBio(TTCPBlockSocket* Socket);

}  // namespace qelvo::net
