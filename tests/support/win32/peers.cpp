// The peers of a Windows test program: started by the Linux side (qelvo-peer-host, run
// by scripts/test-windows) with the configurations the POSIX launcher uses, and handed
// over through the environment. A peer whose configuration differs from the one the
// Linux side runs is not ok, with the reason.
#include <cstdlib>

#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace qelvo::test {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// The port of a handed-over peer that accepts connections, else 0 with the reason.
int HandedOverPort(const char* variable, const char* what, std::string& error) {
  const int port = std::atoi(Env(variable).c_str());
  if (port <= 0) {
    error = std::string("no ") + what + " handed over in " + variable + " (run through scripts/test-windows)";
    return 0;
  }
  if (!PortAccepts(port)) {
    error = std::string(what) + " on port " + std::to_string(port) + " does not accept connections";
    return 0;
  }
  return port;
}

}  // namespace

NginxPeer::NginxPeer(size_t bigSize) {
  if (bigSize != kDefaultBigSize) {
    error = "the Linux side serves big.bin of the default size only";
    return;
  }
  port = HandedOverPort("QELVO_PEER_NGINX_PORT", "nginx", error);
  if (port == 0) return;
  big = TestBody(bigSize, 7);
  ok = true;
}

NginxPeer::~NginxPeer() = default;

TinyproxyPeer::TinyproxyPeer(int connectPort, const std::string& user, const std::string& pass) {
  if (connectPort != std::atoi(Env("QELVO_PEER_NGINX_PORT").c_str()) || user != "proxyuser" || pass != "proxypass") {
    error = "the Linux side runs tinyproxy only for nginx with the user proxyuser";
    return;
  }
  port = HandedOverPort("QELVO_PEER_TINYPROXY_PORT", "tinyproxy", error);
  ok = port != 0;
}

TinyproxyPeer::~TinyproxyPeer() = default;

DantePeer::DantePeer(const std::string& user, const std::string& pass) {
  const bool auth = !user.empty();
  if (auth && (user != "qelvo" || pass != "s3cret")) {
    error = "the Linux side runs danted only for the user qelvo";
    return;
  }
  port = HandedOverPort(auth ? "QELVO_PEER_DANTE_AUTH_PORT" : "QELVO_PEER_DANTE_PORT", "danted", error);
  log_ = Env(auth ? "QELVO_PEER_DANTE_AUTH_LOG" : "QELVO_PEER_DANTE_LOG");
  ok = port != 0;
}

DantePeer::~DantePeer() = default;

std::string DantePeer::Log() const { return ReadFile(log_); }

}  // namespace qelvo::test
