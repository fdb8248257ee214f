// qelvo-peer-host: starts the loopback peers of the test suites (nginx, tinyproxy, danted
// and the download suite's nginx) with the configurations the POSIX test support gives
// them, prints one NAME=VALUE line per handed-over value and then "ready", and stops
// them all when its standard input closes. scripts/test-windows runs it around the Wine
// run of the Windows test programs, which read the values from their environment.
#include <cstdio>
#include <iostream>
#include <string>

#include "tests/download/test_servers.h"
#include "tests/support/peers.h"

using namespace qelvo::test;

namespace {

void Hand(const char* name, const std::string& value) { std::printf("%s=%s\n", name, value.c_str()); }

template <typename Peer>
void HandPort(const char* name, const Peer& peer, const char* what) {
  if (peer.ok) Hand(name, std::to_string(peer.port));
  else std::fprintf(stderr, "qelvo-peer-host: no %s: %s\n", what, peer.error.c_str());
}

}  // namespace

int main() {
  NginxPeer nginx;
  TinyproxyPeer proxy(nginx.port, "proxyuser", "proxypass");
  DantePeer dante("", "");
  DantePeer danteAuth("qelvo", "s3cret");
  auto& download = qelvo::download::test::NginxServer::Get();
  std::string error;
  const bool downloadOk = download.Start(error);

  HandPort("QELVO_PEER_NGINX_PORT", nginx, "nginx");
  HandPort("QELVO_PEER_TINYPROXY_PORT", proxy, "tinyproxy");
  HandPort("QELVO_PEER_DANTE_PORT", dante, "danted");
  Hand("QELVO_PEER_DANTE_LOG", dante.dir.File("danted.log"));
  HandPort("QELVO_PEER_DANTE_AUTH_PORT", danteAuth, "danted with a user");
  Hand("QELVO_PEER_DANTE_AUTH_LOG", danteAuth.dir.File("danted.log"));
  if (downloadOk) {
    Hand("QELVO_PEER_DOWNLOAD_NGINX_PORT", std::to_string(download.Port()));
    const std::string root = download.DocRoot();
    Hand("QELVO_PEER_DOWNLOAD_NGINX_DIR", root.substr(0, root.size() - 4));  // without "/www"
  } else {
    std::fprintf(stderr, "qelvo-peer-host: no nginx for the download suite: %s\n", error.c_str());
  }
  std::printf("ready\n");
  std::fflush(stdout);

  for (std::string line; std::getline(std::cin, line);) {
  }
  download.Stop();
  return 0;
}
