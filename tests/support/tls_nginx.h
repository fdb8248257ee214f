#pragma once
// nginx speaking TLS on a free loopback port, for the HTTPS tests and benchmark. The
// server named "localhost" uses the certificate `cert` of the test PKI; every other name
// (and a client that sends no server name) reaches a default server that presents
// other.test's certificate, so a request only gets the right certificate when it sent
// the name. Both serve the peer's DocRoot().
#include <string>

#include "tests/support/nginx.h"
#include "tests/support/test_pki.h"

namespace qelvo::test {

struct TlsNginxOptions {
  std::string Cert = "localhost";
  std::string Protocols = "TLSv1.2 TLSv1.3";
  // Extra lines in the "localhost" server block (client certificate checks and the like).
  std::string ServerLines;
};

bool StartTlsNginx(NginxPeer& peer, const TestPki& pki, const TlsNginxOptions& options = {});

// https://localhost:<port><path> of a peer started by StartTlsNginx.
std::string TlsUrl(const NginxPeer& peer, const std::string& path);

}  // namespace qelvo::test
