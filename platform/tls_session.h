#pragma once
// A TLS session of the operating system's own TLS library (Schannel on Windows), as an
// engine without a transport: the caller carries the records between it and the peer.
// Received bytes go in through a buffer the session consumes from the front (a record
// cut short stays there for the next call); bytes for the peer are appended to Out.
//
// Only the Windows build has an implementation (win32/tls_session*.cpp); elsewhere TLS
// comes from a library the network layer links itself, and nothing includes this.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelvo::platform {

struct TTlsSettings {
  // Sent as the server name (unless an IP address) and checked against the certificate.
  std::string ServerName;
  bool Tls13Only = false;  // else TLS 1.2 and 1.3
  // Own certificate and key as PKCS #12 bytes, with its password; empty: none.
  std::string Pfx;
  std::string PfxPassword;
  // Or as a certificate (PEM or DER) and its unencrypted RSA key (PEM: PKCS #1 or #8).
  std::string Certificate;
  std::string PrivateKey;
};

enum class TTlsStep : uint8_t {
  Done,       // the handshake completed / records were decrypted
  NeedInput,  // more bytes from the peer are needed
  Closed,     // the peer sent close_notify
  Failed,     // ErrorCode / ErrorText say why
};

// The outcome of checking the peer's chain and name; the net layer words it.
enum class TTlsTrust : uint8_t {
  Trusted,
  NoCertificate,
  Expired,
  NotYetValid,
  SelfSigned,         // the peer's own certificate is self-signed and not trusted
  SelfSignedInChain,  // the chain ends in a self-signed root nobody trusts
  NoIssuer,           // the chain cannot be completed up to a trusted root
  Revoked,
  NameMismatch,
  AddressMismatch,
  Other,  // TrustText says what
};

struct TTlsPeer {
  std::string Der;
  std::string Subject;  // one-line form: /CN=host/O=org
  std::string Issuer;
  std::string CommonName;
  std::string SerialHex;  // upper-case hex of the big-endian serial number
  std::string Sha256;     // 32 raw bytes of the certificate's SHA-256
  std::string NotBefore;  // "YYYY-MM-DD hh:mm:ss UTC"
  std::string NotAfter;
  // The hash certificate directories name a subject by: SHA-1 of its canonical form
  // (strings as trimmed, space-collapsed, lower-case UTF-8), first 4 bytes little-endian.
  uint32_t SubjectHash = 0;
};

// The credentials a session was started with. The system keeps its cache of sessions
// to resume per credentials: a session started with those of an earlier one resumes it
// where the server agrees, as FTP servers demand of data connections.
class TTlsCredentials {
 public:
  virtual ~TTlsCredentials() = default;
};

class TTlsSession {
 public:
  virtual ~TTlsSession() = default;

  // Before Start: use these instead of new ones (made with the same settings).
  virtual void ShareCredentials(std::shared_ptr<TTlsCredentials> Value) = 0;
  // After Start: the credentials in use, for a later session to share.
  virtual std::shared_ptr<TTlsCredentials> Credentials() = 0;

  // A client handshake: Start writes the first flight, Handshake feeds each answer.
  virtual TTlsStep Start(const TTlsSettings& Settings, std::string& Out) = 0;
  virtual TTlsStep Handshake(std::string& In, std::string& Out) = 0;
  // Decrypts the complete records at the front of In into Plain. Out may get bytes the
  // peer needs (answers to post-handshake messages).
  virtual TTlsStep Decrypt(std::string& In, std::string& Plain, std::string& Out) = 0;
  // Records carrying Length bytes (any length; split into records as needed).
  virtual bool Encrypt(const char* Data, size_t Length, std::string& Out) = 0;
  // close_notify for the peer.
  virtual void Close(std::string& Out) = 0;

  // Checks the peer's chain: against the given CA certificates (PEM or DER, each item
  // a bundle or one certificate) when there are any, else the system's trusted roots;
  // then the name of the settings. TrustText holds the system's text for Other.
  virtual TTlsTrust Verify(const std::vector<std::string>& TrustedCAs, std::string& TrustText) = 0;

  virtual bool Peer(TTlsPeer& Info) = 0;
  virtual std::string Protocol() = 0;  // "TLSv1.2", "TLSv1.3"
  virtual std::string CipherName() = 0;
  virtual int32_t CipherBits() = 0;

  // The failure of the last call: the system's status code and its text.
  int32_t ErrorCode = 0;
  std::string ErrorText;
};

std::unique_ptr<TTlsSession> NewTlsSession();
// "Schannel <version of the system's TLS library>".
std::string TlsLibraryVersion();

}  // namespace qelvo::platform
