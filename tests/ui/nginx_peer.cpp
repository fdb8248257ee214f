#include "nginx_peer.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace qelvo::ui::testing {
namespace {

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size())) s.replace(i, from.size(), to);
  return s;
}

}  // namespace

TNginxPeer::TNginxPeer(const std::string& work) : work_(work), packages_(work + "/packages") {
  std::filesystem::create_directories(work_);
  const std::string build = std::string(QELVO_SOURCE_DIR) + "/demo/build-packages '" + packages_ + "' >/dev/null";
  if (std::system(build.c_str()) != 0) {
    error_ = "demo/build-packages failed";
    return;
  }
  port_ = test::UnusedPort();
  std::string conf = test::ReadFile(std::string(QELVO_SOURCE_DIR) + "/demo/nginx.conf.in");
  conf = Replace(conf, "@LISTEN@", "127.0.0.1:" + std::to_string(port_));
  conf = Replace(conf, "@ROOT@", packages_ + "/www");
  conf = Replace(conf, "@WORK@", work_);
  conf = Replace(conf, "@USER@", ::geteuid() == 0 ? "user root;" : "");
  test::StartNginx(process_, work_, conf, port_, error_);
}

int TNginxPeer::RequestCount() const {
  std::ifstream in(work_ + "/access.log");
  int n = 0;
  std::string line;
  while (std::getline(in, line)) ++n;
  return n;
}

}  // namespace qelvo::ui::testing
