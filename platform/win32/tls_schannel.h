#pragma once
// Internal to platform/win32: the Schannel session behind TTlsSession. Its handshake and
// records are in tls_session.cpp, the certificate checks and queries in
// tls_certificate.cpp.
#include "platform/tls_session.h"
#include "platform/win32/windows_api.h"

#include <wincrypt.h>
#define SECURITY_WIN32
// SCH_CREDENTIALS, the settings form that offers TLS 1.3, and the string type it uses.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

namespace qelvo::platform::win32 {

// A credentials handle with the own certificate it presents.
class TSchannelCredentials : public TTlsCredentials {
 public:
  TSchannelCredentials() = default;
  ~TSchannelCredentials() override;
  TSchannelCredentials(const TSchannelCredentials&) = delete;
  TSchannelCredentials& operator=(const TSchannelCredentials&) = delete;

  CredHandle Handle{};
  bool HaveHandle = false;
  HCERTSTORE PfxStore = nullptr;
  PCCERT_CONTEXT OwnCert = nullptr;
  std::wstring KeyContainer;  // made for a PEM key, deleted with the credentials
};

class TSchannelSession : public TTlsSession {
 public:
  TSchannelSession() = default;
  ~TSchannelSession() override;
  TSchannelSession(const TSchannelSession&) = delete;
  TSchannelSession& operator=(const TSchannelSession&) = delete;

  void ShareCredentials(std::shared_ptr<TTlsCredentials> Value) override;
  std::shared_ptr<TTlsCredentials> Credentials() override { return FCreds; }
  TTlsStep Start(const TTlsSettings& Settings, std::string& Out) override;
  TTlsStep Handshake(std::string& In, std::string& Out) override;
  TTlsStep Decrypt(std::string& In, std::string& Plain, std::string& Out) override;
  bool Encrypt(const char* Data, size_t Length, std::string& Out) override;
  void Close(std::string& Out) override;
  TTlsTrust Verify(const std::vector<std::string>& TrustedCAs, std::string& TrustText) override;
  bool Peer(TTlsPeer& Info) override;
  std::string Protocol() override;
  std::string CipherName() override;
  int32_t CipherBits() override;

 private:
  bool Acquire();
  bool LoadPfx();
  bool LoadPemCertificate();  // tls_own_key.cpp
  // One InitializeSecurityContext step over In (nullptr: none); the status.
  SECURITY_STATUS Step(std::string* In, std::string& Out);
  TTlsStep Fail(SECURITY_STATUS Status, const char* What);
  // The peer's certificate, fetched once after the handshake (owned).
  PCCERT_CONTEXT RemoteCertificate();

  TTlsSettings FSettings;
  std::wstring FTarget;  // the server name for the handshake; empty for an address
  std::shared_ptr<TSchannelCredentials> FCreds;
  CtxtHandle FCtx{};
  bool FHaveCtx = false;
  bool FSizesKnown = false;
  SecPkgContext_StreamSizes FSizes{};
  PCCERT_CONTEXT FRemote = nullptr;
  bool FRemoteFetched = false;
};

// Removes a key container LoadPemCertificate made.
void DeleteKeyContainer(const std::wstring& Name);

// The system's text for a status code, or its number when the system has none.
std::string StatusText(long Status);

}  // namespace qelvo::platform::win32
