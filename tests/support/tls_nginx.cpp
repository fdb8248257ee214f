#include "tests/support/tls_nginx.h"

#include <filesystem>

#include "tests/support/files.h"

namespace qelvo::test {

bool StartTlsNginx(NginxPeer& peer, const TestPki& pki, const TlsNginxOptions& options) {
  std::filesystem::create_directories(peer.DocRoot());
  const std::string conf =
      "daemon off;\nmaster_process off;\nworker_processes 1;\n@USER@\npid @WORK@/nginx.pid;\n"
      "error_log @WORK@/error.log error;\nevents { worker_connections 64; }\n"
      "http {\n  client_body_temp_path @WORK@/body;\n  proxy_temp_path @WORK@/proxy;\n"
      "  fastcgi_temp_path @WORK@/fcgi;\n  uwsgi_temp_path @WORK@/uwsgi;\n  scgi_temp_path @WORK@/scgi;\n"
      "  access_log @WORK@/access.log;\n  default_type application/octet-stream;\n"
      "  ssl_protocols " + options.Protocols + ";\n"
      "  server {\n    listen @LISTEN@ ssl default_server;\n    server_name other.test;\n    root @ROOT@;\n"
      "    ssl_certificate " + pki.Cert("other") + ";\n    ssl_certificate_key " + pki.Key("other") + ";\n  }\n"
      "  server {\n    listen @LISTEN@ ssl;\n    server_name localhost;\n    root @ROOT@;\n"
      "    ssl_certificate " + pki.Cert(options.Cert) + ";\n    ssl_certificate_key " + pki.Key(options.Cert) +
      ";\n" + options.ServerLines + "  }\n}\n";
  const std::string templateFile = peer.Folder().File("tls.conf.in");
  WriteFile(templateFile, conf);
  return peer.StartFromTemplate(templateFile, peer.DocRoot());
}

std::string TlsUrl(const NginxPeer& peer, const std::string& path) {
  return "https://localhost:" + std::to_string(peer.Port()) + path;
}

}  // namespace qelvo::test
