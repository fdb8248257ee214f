#pragma once
// The pluggable TLS layer of TTCPBlockSocket. TCustomSSL defines the interface and fails
// every operation; TSSLNone is the inert layer the system ships with.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "rtl/text.h"

namespace qelvo::net {

class TTCPBlockSocket;
class TCustomSSL;

using THookVerifyCert = std::function<bool(TCustomSSL* Sender)>;

enum TSSLType : uint8_t {
  LT_all = 0,
  LT_SSLv2 = 1,
  LT_SSLv3 = 2,
  LT_TLSv1 = 3,
  LT_TLSv1_1 = 4,
  LT_TLSv1_2 = 5,
  LT_TLSv1_3 = 6,
  LT_SSHv2 = 7,
};

inline constexpr const char* cSSLNotCompiled = "SSL/TLS support is not compiled!";

class TCustomSSL {
 public:
  explicit TCustomSSL(TTCPBlockSocket* Value);
  virtual ~TCustomSSL() = default;
  TCustomSSL(const TCustomSSL&) = delete;
  TCustomSSL& operator=(const TCustomSSL&) = delete;

  THookVerifyCert OnVerifyCert;
  bool SSLEnabled = false;
  int32_t LastError = 0;
  std::string LastErrorDesc;
  TSSLType SSLType = LT_all;
  std::string KeyPassword;
  std::string Ciphers;
  std::string CertificateFile;
  std::string PrivateKeyFile;
  rtl::ByteString Certificate;
  rtl::ByteString PrivateKey;
  rtl::ByteString PFX;
  std::string PFXfile;
  rtl::ByteString CertCA;
  rtl::ByteString TrustCertificate;
  std::string TrustCertificateFile;
  bool VerifyCert = false;
  std::string Username;
  std::string Password;
  std::string SSHChannelType;
  std::string SSHChannelArg1;
  std::string SSHChannelArg2;
  int32_t CertComplianceLevel = -1;
  std::string SNIHost;

  const std::string& CertCAFile() const { return FCertCAFile; }
  virtual void SetCertCAFile(const std::string& Value) { FCertCAFile = Value; }
  TTCPBlockSocket* Socket() const { return FSocket; }

  virtual void Assign(const TCustomSSL& Value);
  virtual std::string LibVersion() { return {}; }
  virtual std::string LibName() { return {}; }
  virtual bool Connect();
  virtual bool Accept();
  virtual bool Shutdown();
  virtual bool BiShutdown();
  virtual int32_t SendBuffer(const void* Buffer, int32_t Len);
  virtual int32_t RecvBuffer(void* Buffer, int32_t Len);
  virtual int32_t WaitingData();
  virtual std::string GetSSLVersion() { return {}; }
  virtual std::string GetPeerSubject() { return {}; }
  virtual std::string GetPeerSerialNo_Text() { return {}; }
  virtual int32_t GetPeerSerialNo() { return -1; }
  virtual std::string GetPeerIssuer() { return {}; }
  virtual std::string GetPeerName() { return {}; }
  virtual uint32_t GetPeerNameHash() { return 0; }
  virtual std::string GetPeerFingerprint() { return {}; }
  virtual std::string GetCertInfo() { return {}; }
  virtual std::string GetCipherName() { return {}; }
  virtual int32_t GetCipherBits() { return 0; }
  virtual int32_t GetCipherAlgBits() { return 0; }
  virtual int32_t GetVerifyCert() { return 1; }
  // True for a layer that can speak TLS; the inert ones cannot, and a client that needs
  // TLS fails before it opens a connection nothing would protect.
  virtual bool HasTLS() const { return false; }

 protected:
  virtual bool SSLCheck() { return false; }
  void ReturnError();
  // The end of every layer's handshake: the session is on, then the client's own check
  // of the peer may still refuse it (the session is shut down again).
  bool FinishHandshake();

  TTCPBlockSocket* FSocket;
  std::string FCertCAFile;
};

class TSSLNone : public TCustomSSL {
 public:
  using TCustomSSL::TCustomSSL;
  std::string LibVersion() override { return "Without SSL support"; }
  std::string LibName() override { return "ssl_none"; }
};

// The refusal of an SSLType older than TLS 1.2 ("TLS 1.0 is not supported: only TLS 1.2
// and 1.3 are"), "" for the versions the layers speak: they never weaken a session.
std::string RefusedSSLType(TSSLType Type);

// Creates the TLS layer bound to a socket; TTCPBlockSocket takes one of these.
using TSSLClass = std::function<std::unique_ptr<TCustomSSL>(TTCPBlockSocket*)>;

}  // namespace qelvo::net
