// What a TSSLOpenSSL session tells about its peer and its cipher.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

#include "net/ssl_openssl.h"

namespace qelvo::net {
namespace {

struct X509Free {
  void operator()(X509* c) const { X509_free(c); }
};
using CertPtr = std::unique_ptr<X509, X509Free>;

CertPtr PeerCertificate(SSL* ssl) { return CertPtr(ssl != nullptr ? SSL_get1_peer_certificate(ssl) : nullptr); }

std::string NameText(const X509_NAME* name) {
  if (name == nullptr) return "";
  char buf[1024];
  return X509_NAME_oneline(name, buf, sizeof buf) != nullptr ? buf : "";
}

}  // namespace

std::string TSSLOpenSSL::GetSSLVersion() { return FSsl != nullptr ? SSL_get_version(FSsl) : ""; }

std::string TSSLOpenSSL::GetPeerSubject() {
  const CertPtr cert = PeerCertificate(FSsl);
  return cert ? NameText(X509_get_subject_name(cert.get())) : "";
}

std::string TSSLOpenSSL::GetPeerIssuer() {
  const CertPtr cert = PeerCertificate(FSsl);
  return cert ? NameText(X509_get_issuer_name(cert.get())) : "";
}

std::string TSSLOpenSSL::GetPeerSerialNo_Text() {
  const CertPtr cert = PeerCertificate(FSsl);
  if (!cert) return "";
  BIGNUM* bn = ASN1_INTEGER_to_BN(X509_get0_serialNumber(cert.get()), nullptr);
  char* hex = bn != nullptr ? BN_bn2hex(bn) : nullptr;
  std::string text = hex != nullptr ? hex : "";
  OPENSSL_free(hex);
  BN_free(bn);
  return text;
}

int32_t TSSLOpenSSL::GetPeerSerialNo() {
  const CertPtr cert = PeerCertificate(FSsl);
  if (!cert) return -1;
  int64_t v = 0;
  // Serial numbers are usually wider than 32 bits: those give -1, the text form has them.
  if (ASN1_INTEGER_get_int64(&v, X509_get0_serialNumber(cert.get())) != 1 || v < 0 || v > INT32_MAX) return -1;
  return static_cast<int32_t>(v);
}

std::string TSSLOpenSSL::GetPeerName() {
  const CertPtr cert = PeerCertificate(FSsl);
  if (!cert) return "";
  char cn[256];
  const int n = X509_NAME_get_text_by_NID(X509_get_subject_name(cert.get()), NID_commonName, cn, sizeof cn);
  return n > 0 ? std::string(cn, static_cast<size_t>(n)) : "";
}

uint32_t TSSLOpenSSL::GetPeerNameHash() {
  const CertPtr cert = PeerCertificate(FSsl);
  if (!cert) return 0;
  return static_cast<uint32_t>(X509_NAME_hash_ex(X509_get_subject_name(cert.get()), nullptr, nullptr, nullptr));
}

// SHA-256 of the certificate, upper-case hex pairs joined by colons.
std::string TSSLOpenSSL::GetPeerFingerprint() {
  const CertPtr cert = PeerCertificate(FSsl);
  if (!cert) return "";
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (X509_digest(cert.get(), EVP_sha256(), md, &len) != 1) return "";
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < len; ++i) {
    if (i > 0) text += ':';
    text += kHex[md[i] >> 4];
    text += kHex[md[i] & 15];
  }
  return text;
}

std::string TSSLOpenSSL::GetCertInfo() {
  const CertPtr cert = PeerCertificate(FSsl);
  if (!cert) return "";
  BIO* bio = BIO_new(BIO_s_mem());
  if (bio == nullptr) return "";
  X509_print(bio, cert.get());
  char* data = nullptr;
  const long len = BIO_get_mem_data(bio, &data);
  std::string text(data != nullptr && len > 0 ? data : "", data != nullptr && len > 0 ? static_cast<size_t>(len) : 0);
  BIO_free(bio);
  return text;
}

std::string TSSLOpenSSL::GetCipherName() {
  return FSsl != nullptr ? SSL_CIPHER_get_name(SSL_get_current_cipher(FSsl)) : "";
}

int32_t TSSLOpenSSL::GetCipherBits() {
  return FSsl != nullptr ? SSL_CIPHER_get_bits(SSL_get_current_cipher(FSsl), nullptr) : 0;
}

int32_t TSSLOpenSSL::GetCipherAlgBits() {
  int bits = 0;
  if (FSsl != nullptr) SSL_CIPHER_get_bits(SSL_get_current_cipher(FSsl), &bits);
  return bits;
}

// 0 when the peer's certificate passed verification.
int32_t TSSLOpenSSL::GetVerifyCert() {
  return FSsl != nullptr ? static_cast<int32_t>(SSL_get_verify_result(FSsl)) : 1;
}

}  // namespace qelvo::net
