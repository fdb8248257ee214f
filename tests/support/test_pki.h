#pragma once
// Certificates for TLS tests, made at test time with the openssl command in a fresh
// temporary folder: a test CA, server certificates for "localhost" (with 127.0.0.1), for
// "other.test", an expired one, one from a CA nobody trusts (sent with that CA, so the
// chain ends in an untrusted self-signed root), and a client certificate as PEM files
// and as a password-protected PFX. Keys are unencrypted PEM unless said otherwise; the
// CAs' and the client's are RSA, the servers' P-256.
#include <string>

#include "tests/support/temp_folder.h"

namespace qelvo::test {

inline constexpr const char* kPfxPassword = "pfx-pass";

class TestPki {
 public:
  TestPki();
  bool ok = false;
  std::string error;
  TempFolder dir{"pki"};

  std::string CaCert() const { return dir.File("ca.pem"); }
  // name: "localhost", "other", "expired", "rogue" (certificate + rogue CA chain), "client".
  std::string Cert(const std::string& name) const { return dir.File(name + ".pem"); }
  std::string Key(const std::string& name) const { return dir.File(name + ".key"); }
  std::string ClientPfx() const { return dir.File("client.p12"); }
};

}  // namespace qelvo::test
