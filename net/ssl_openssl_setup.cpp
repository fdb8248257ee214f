// Building the OpenSSL context and connection of a TSSLOpenSSL session from its settings.
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "net/ip_text.h"
#include "net/ssl_openssl.h"
#include "net/tcp_socket.h"

namespace qelvo::net {
namespace {

struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

BioPtr MemoryBio(const rtl::ByteString& bytes) {
  return BioPtr(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
}

// OpenSSL's reason for the latest failure, "" when it queued none.
std::string QueuedReason() {
  const unsigned long e = ERR_peek_last_error();
  ERR_clear_error();
  if (e == 0) return "";
  const char* reason = ERR_reason_error_string(e);
  return reason != nullptr ? std::string(": ") + reason : "";
}

// Every certificate of a PEM bundle into the store; false when it holds none.
bool AddPemCertificates(X509_STORE* store, const rtl::ByteString& bytes) {
  BioPtr bio = MemoryBio(bytes);
  int added = 0;
  while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    if (X509_STORE_add_cert(store, cert) == 1) ++added;
    X509_free(cert);
  }
  ERR_clear_error();  // the loop ends on "no start line"
  return added > 0;
}

}  // namespace

bool TSSLOpenSSL::ApplyVersions() {
  const std::string refused = RefusedSSLType(SSLType);
  if (!refused.empty()) {
    SetError(-1, refused);
    return false;
  }
  SSL_CTX_set_min_proto_version(FCtx, SSLType == LT_TLSv1_3 ? TLS1_3_VERSION : TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(FCtx, 0);
  return true;
}

bool TSSLOpenSSL::LoadTrust() {
  X509_STORE* store = SSL_CTX_get_cert_store(FCtx);
  bool given = false;
  for (const std::string* file : {&FCertCAFile, &TrustCertificateFile}) {
    if (file->empty()) continue;
    given = true;
    if (SSL_CTX_load_verify_locations(FCtx, file->c_str(), nullptr) != 1) {
      SetError(-1, "cannot read the CA certificates of " + *file + QueuedReason());
      return false;
    }
  }
  for (const rtl::ByteString* pem : {&CertCA, &TrustCertificate}) {
    if (pem->empty()) continue;
    given = true;
    if (!AddPemCertificates(store, *pem)) {
      SetError(-1, "the CA certificates given hold no PEM certificate");
      return false;
    }
  }
  if (!given && SSL_CTX_set_default_verify_paths(FCtx) != 1) {
    SetError(-1, "cannot open the system's CA store" + QueuedReason());
    return false;
  }
  return true;
}

bool TSSLOpenSSL::LoadOwnCertificate() {
  void* password = const_cast<char*>(KeyPassword.c_str());
  SSL_CTX_set_default_passwd_cb_userdata(FCtx, password);
  if (!PFX.empty() || !PFXfile.empty()) {
    BioPtr bio(PFX.empty() ? BIO_new_file(PFXfile.c_str(), "rb") : MemoryBio(PFX).release());
    PKCS12* p12 = bio ? d2i_PKCS12_bio(bio.get(), nullptr) : nullptr;
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* chain = nullptr;
    const bool parsed = p12 != nullptr && PKCS12_parse(p12, KeyPassword.c_str(), &key, &cert, &chain) == 1;
    PKCS12_free(p12);
    bool ok = parsed && cert != nullptr && key != nullptr && SSL_CTX_use_certificate(FCtx, cert) == 1 &&
              SSL_CTX_use_PrivateKey(FCtx, key) == 1;
    for (int i = 0; ok && chain != nullptr && i < sk_X509_num(chain); ++i)
      ok = SSL_CTX_add1_chain_cert(FCtx, sk_X509_value(chain, i)) == 1;
    X509_free(cert);
    EVP_PKEY_free(key);
    sk_X509_pop_free(chain, X509_free);
    if (!ok) {
      const std::string what = PFX.empty() ? "PFX file " + PFXfile : std::string("PFX data");
      SetError(-1, "cannot use the " + what + QueuedReason());
      return false;
    }
  }
  if (!CertificateFile.empty() && SSL_CTX_use_certificate_chain_file(FCtx, CertificateFile.c_str()) != 1) {
    SetError(-1, "cannot use the certificate file " + CertificateFile + QueuedReason());
    return false;
  }
  if (!Certificate.empty()) {
    BioPtr bio = MemoryBio(Certificate);
    X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
    if (cert == nullptr) {
      const auto* p = reinterpret_cast<const unsigned char*>(Certificate.data());
      cert = d2i_X509(nullptr, &p, static_cast<long>(Certificate.size()));
    }
    const bool ok = cert != nullptr && SSL_CTX_use_certificate(FCtx, cert) == 1;
    X509_free(cert);
    if (!ok) {
      SetError(-1, "cannot use the certificate given" + QueuedReason());
      return false;
    }
  }
  if (!PrivateKeyFile.empty() && SSL_CTX_use_PrivateKey_file(FCtx, PrivateKeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    SetError(-1, "cannot use the private key file " + PrivateKeyFile + QueuedReason());
    return false;
  }
  if (!PrivateKey.empty()) {
    BioPtr bio = MemoryBio(PrivateKey);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, password);
    if (key == nullptr) {
      const auto* p = reinterpret_cast<const unsigned char*>(PrivateKey.data());
      key = d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(PrivateKey.size()));
    }
    const bool ok = key != nullptr && SSL_CTX_use_PrivateKey(FCtx, key) == 1;
    EVP_PKEY_free(key);
    if (!ok) {
      SetError(-1, "cannot use the private key given" + QueuedReason());
      return false;
    }
  }
  return true;
}

bool TSSLOpenSSL::ApplyPeerName() {
  if (SNIHost.empty()) return true;
  const bool ip = IsIPv4Text(SNIHost) || IsIPv6Text(SNIHost);
  const bool ok = ip ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSsl), SNIHost.c_str()) == 1
                     : SSL_set1_host(FSsl, SNIHost.c_str()) == 1;
  if (!ok) SetError(-1, "cannot check the peer's name against " + SNIHost + QueuedReason());
  return ok;
}

bool TSSLOpenSSL::Prepare(bool Server) {
  ERR_clear_error();
  FCtx = SSL_CTX_new(Server ? TLS_server_method() : TLS_client_method());
  if (FCtx == nullptr) {
    SetError(-1, "cannot create a TLS context" + QueuedReason());
    return false;
  }
  if (!ApplyVersions()) return false;
  if (!Ciphers.empty() && SSL_CTX_set_cipher_list(FCtx, Ciphers.c_str()) != 1) {
    SetError(-1, "no usable cipher in \"" + Ciphers + "\"" + QueuedReason());
    return false;
  }
  if (!LoadOwnCertificate()) return false;
  if (VerifyCert) {
    if (!LoadTrust()) return false;
    SSL_CTX_set_verify(FCtx, SSL_VERIFY_PEER | (Server ? SSL_VERIFY_FAIL_IF_NO_PEER_CERT : 0), nullptr);
  } else {
    SSL_CTX_set_verify(FCtx, SSL_VERIFY_NONE, nullptr);
  }
  SSL_CTX_set_mode(FCtx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  FSsl = SSL_new(FCtx);
  BIO* transport = FSsl != nullptr ? NewSocketBio(Socket()) : nullptr;
  if (transport == nullptr) {
    SetError(-1, "cannot attach TLS to the socket" + QueuedReason());
    return false;
  }
  SSL_set_bio(FSsl, transport, transport);
  if (Server) return true;
  const bool ip = IsIPv4Text(SNIHost) || IsIPv6Text(SNIHost);
  if (!SNIHost.empty() && !ip) SSL_set_tlsext_host_name(FSsl, SNIHost.c_str());
  if (VerifyCert && !ApplyPeerName()) return false;
  if (FResume != nullptr) {
    SSL_set_session(FSsl, FResume);
    SSL_SESSION_free(FResume);
    FResume = nullptr;
  }
  return true;
}

}  // namespace qelvo::net
