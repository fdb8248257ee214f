#include "tests/support/nginx.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/files.h"

namespace qelvo::test {
namespace {

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  for (size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size())) s.replace(i, from.size(), to);
  return s;
}

}  // namespace

std::string FindNginx() { return FindProgram({"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"}); }

void NginxPeer::Serve(const std::string& relative, const std::string& content) const {
  dir_.Write("www/" + relative, content);
}

std::string NginxPeer::Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

bool NginxPeer::Start(const std::string& serverLines, const std::string& httpLines) {
  const std::string folder = dir_.Native();
  const std::string tmp = folder + "/tmp/";
  std::filesystem::create_directories(tmp);
  std::filesystem::create_directories(DocRoot());
  port_ = UnusedPort();
  const std::string conf =
      "daemon off;\nmaster_process off;\nworker_processes 1;\n" + std::string(PeersRunAsRoot() ? "user root;\n" : "") +
      "pid " + folder + "/nginx.pid;\nerror_log " + folder + "/error.log error;\nevents { worker_connections 64; }\n" +
      "http {\n  client_body_temp_path " + tmp + "body;\n  proxy_temp_path " + tmp + "proxy;\n  fastcgi_temp_path " +
      tmp + "fcgi;\n  uwsgi_temp_path " + tmp + "uwsgi;\n  scgi_temp_path " + tmp + "scgi;\n  access_log " + folder +
      "/access.log;\n" + httpLines + "  server {\n    listen 127.0.0.1:" + std::to_string(port_) + ";\n    root " +
      DocRoot() + ";\n" + serverLines + "  }\n}\n";
  return Launch(conf);
}

bool NginxPeer::StartFromTemplate(const std::string& templateFile, const std::string& root) {
  port_ = UnusedPort();
  std::string conf = ReadFile(templateFile);
  conf = Replace(conf, "@LISTEN@", "127.0.0.1:" + std::to_string(port_));
  conf = Replace(conf, "@ROOT@", root);
  conf = Replace(conf, "@WORK@", dir_.Native());
  conf = Replace(conf, "@USER@", PeersRunAsRoot() ? "user root;" : "");
  return Launch(conf);
}

bool NginxPeer::Launch(const std::string& conf) {
  const std::string nginx = FindNginx();
  if (nginx.empty()) {
    error_ = "nginx is not installed (scripts/packages/net.txt)";
    return false;
  }
  const std::string folder = dir_.Native();
  WriteFile(folder + "/nginx.conf", conf);
  if (process_.Start({nginx, "-p", folder, "-c", folder + "/nginx.conf", "-e", folder + "/error.log"}, port_, 10000,
                     true))
    return true;
  error_ = "nginx did not start: " + ReadFile(folder + "/error.log");
  process_.Stop();
  return false;
}

int NginxPeer::RequestCount() const {
  std::istringstream log(ReadFile(dir_.File("access.log")));
  int n = 0;
  for (std::string line; std::getline(log, line);) ++n;
  return n;
}

int NginxPeer::CountRequests(const std::string& pathPrefix) const {
  std::istringstream log(ReadFile(dir_.File("access.log")));
  int n = 0;
  for (std::string line; std::getline(log, line);)
    if (line.find("\"GET " + pathPrefix) != std::string::npos) ++n;
  return n;
}

int NginxPeer::LastStatus(const std::string& path) const {
  std::istringstream log(ReadFile(dir_.File("access.log")));
  int status = 0;
  const std::string key = "\"GET " + path + " HTTP/1.0\" ";
  for (std::string line; std::getline(log, line);) {
    const size_t at = line.find(key);
    if (at != std::string::npos) status = std::atoi(line.c_str() + at + key.size());
  }
  return status;
}

}  // namespace qelvo::test
