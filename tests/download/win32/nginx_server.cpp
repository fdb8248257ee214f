// The download suite's nginx as a Windows test program sees it: started by the Linux
// side with the same configuration and files, its folder reached through Z:.
#include <cstdlib>

#include "tests/download/test_servers.h"

namespace qelvo::download::test {

bool NginxServer::Start(std::string& error) {
  if (Running()) return true;
  const char* port = std::getenv("QELVO_PEER_DOWNLOAD_NGINX_PORT");
  const char* folder = std::getenv("QELVO_PEER_DOWNLOAD_NGINX_DIR");
  if (!port || !folder || std::atoi(port) <= 0) {
    error = "no nginx handed over in QELVO_PEER_DOWNLOAD_NGINX_PORT/_DIR (run through scripts/test-windows)";
    return false;
  }
  if (!PortAccepts(std::atoi(port))) {
    error = std::string("nginx on port ") + port + " does not accept connections";
    return false;
  }
  folder_ = folder;
  docRoot_ = folder_ + "/www";
  files_ = ServedFiles();
  port_ = std::atoi(port);
  return true;
}

void NginxServer::Stop() { port_ = 0; }

}  // namespace qelvo::download::test
