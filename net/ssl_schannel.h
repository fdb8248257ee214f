#pragma once
// TSSLSchannel: the working TLS layer of the Windows build, over the system's Schannel
// (platform/tls_session.h). It behaves as TSSLOpenSSL does: TLS 1.2 and 1.3 only
// (SSLType picks the lowest), SNIHost sent and checked, VerifyCert against CertCAFile,
// CertCA, TrustCertificate(File) or else the system's trusted roots, with the same plain
// "certificate verify failed: <reason>" texts, and OnVerifyCert with the last word.
//
// The records travel through the socket's own send and recv, every wait for the peer
// bounded by IOTimeout. Bytes of a record that has not fully arrived stay here until it
// has (not a close); decrypted bytes not yet read count in WaitingData, and a received
// close (or a failure) counts as 1 for as long as the session lasts.
//
// Assign also hands over the source's credentials, so a second connection to the same
// server (an FTP data channel) resumes its session as servers commonly require.
//
// Own certificates come as PFX (PFX or PFXfile with KeyPassword), or as a certificate
// with an unencrypted RSA key (files or bytes, PEM or DER); other keys are refused with a
// message saying so. The server side (Accept) is not offered.
#include <cstdint>
#include <memory>
#include <string>

#include "net/ssl.h"

namespace qelvo::platform {
struct TTlsSettings;
class TTlsSession;
class TTlsCredentials;
enum class TTlsStep : uint8_t;
}  // namespace qelvo::platform

namespace qelvo::net {

class TSSLSchannel : public TCustomSSL {
 public:
  explicit TSSLSchannel(TTCPBlockSocket* Value);
  ~TSSLSchannel() override;

  // Longest wait for the peer during a handshake, a read or a write (ms).
  int32_t IOTimeout = 60000;

  void Assign(const TCustomSSL& Value) override;
  std::string LibVersion() override;
  std::string LibName() override { return "Schannel"; }
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
  bool SSLCheck() override { return LastError == 0; }

 private:
  bool Handshake();
  // The own certificate (PFX, or PEM certificate and RSA key) into the settings; false
  // with the error set when a file cannot be read.
  bool OwnCertificate(platform::TTlsSettings& Settings);
  // The given CA certificates; false with the error set when a file cannot be read.
  bool TrustedCAs(std::vector<std::string>& CAs);
  // Checks the peer after the handshake; false (with the error) when it is refused.
  bool CheckPeer();
  bool SendAll(const std::string& Bytes);
  // Waits for and appends the peer's next bytes; false with the error set.
  bool ReadMore();
  // Takes whatever bytes are on the socket without waiting; false on a close or error.
  bool ReadWaiting();
  // Decrypts the complete records received so far.
  void DecryptReceived();
  size_t PlainWaiting() const { return FPlain.size() - FPlainPos; }
  void SetError(int32_t Code, const std::string& Desc);
  void EndSession();

  std::unique_ptr<platform::TTlsSession> FSession;
  // Credentials of the session Assign copied from, to resume it at the next Connect.
  std::shared_ptr<platform::TTlsCredentials> FResume;
  std::string FIn;     // received bytes not yet decrypted (part of a record)
  std::string FPlain;  // decrypted bytes, read from FPlainPos on
  size_t FPlainPos = 0;
  bool FClosed = false;  // the peer sent close_notify
  bool FFailed = false;  // the connection broke or a record was bad
  int32_t FVerifyResult = 1;
};

// The factory a client hands to TTCPBlockSocket::SetSSLClass to speak TLS on Windows.
TSSLClass SchannelClass();

}  // namespace qelvo::net
