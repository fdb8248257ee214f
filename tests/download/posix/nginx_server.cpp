// The download suite's nginx, started by the test program itself.
#include "tests/download/test_servers.h"
#include "tests/support/peer_process.h"
#include "tests/support/peers.h"

namespace qelvo::download::test {

bool NginxServer::Start(std::string& error) {
  if (Running()) return true;
  if (FindNginx().empty()) {
    error = "nginx not installed (scripts/packages/download.txt)";
    return false;
  }
  dir_ = std::make_unique<TempFolder>("nginx");
  folder_ = dir_->Native();
  docRoot_ = folder_ + "/www";
  files_ = ServedFiles();
  for (const auto& [name, content] : files_) WriteFile(docRoot_ + "/files/" + name, content);
  WriteFile(docRoot_ + "/errors/big404.html", "<html>" + std::string(300 * 1024, 'x') + "</html>");

  const int port = UnusedPort();
  process_ = std::make_shared<PeerProcess>();
  if (StartNginx(*process_, folder_, NginxConfig(folder_, HttpBlock(folder_, port)), port, error)) {
    port_ = port;
    return true;
  }
  Stop();
  return false;
}

void NginxServer::Stop() {
  if (process_) process_->Stop();
  process_.reset();
  port_ = 0;
  dir_.reset();
}

}  // namespace qelvo::download::test
