#pragma once
// nginx on a free loopback port, the one launcher of every suite and benchmark that needs
// a real HTTP server. Its prefix folder (configuration, logs, temporary files, and the
// document root www/ of a generated configuration) is a fresh temporary folder; the
// server stops when the object goes or on Stop(). Start-up is bounded in time.
#include <string>

#include "tests/support/peer_process.h"
#include "tests/support/temp_folder.h"

namespace qelvo::test {

// The nginx binary, "" when it is not installed.
std::string FindNginx();

class NginxPeer {
 public:
  static constexpr const char* kOctetStream = "  default_type application/octet-stream;\n";

  NginxPeer() = default;
  NginxPeer(const NginxPeer&) = delete;
  NginxPeer& operator=(const NginxPeer&) = delete;

  // Writes a file under the document root of the generated configuration.
  void Serve(const std::string& relative, const std::string& content) const;
  std::string DocRoot() const { return dir_.File("www"); }

  // Starts with a generated configuration: foreground, one worker (as root when the tests
  // run as root), an access log, the lines of httpLines in the http block and one server
  // for DocRoot() with serverLines (locations and the like). False with Error() set when
  // nginx is missing or does not accept in time.
  bool Start(const std::string& serverLines = "", const std::string& httpLines = kOctetStream);
  // Starts with a whole configuration read from templateFile, filling in @LISTEN@, @ROOT@
  // (root), @WORK@ (the prefix folder) and @USER@.
  bool StartFromTemplate(const std::string& templateFile, const std::string& root);
  void Stop() { process_.Stop(); }

  bool Running() const { return process_.Running(); }
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  const std::string& Error() const { return error_; }
  const TempFolder& Folder() const { return dir_; }

  // Lines of the access log: all of them, or the GET requests whose path starts with
  // pathPrefix.
  int RequestCount() const;
  int CountRequests(const std::string& pathPrefix) const;
  // Status code of the latest logged HTTP/1.0 GET of path, 0 when none.
  int LastStatus(const std::string& path) const;

 private:
  bool Launch(const std::string& conf);

  TempFolder dir_{"nginx"};
  PeerProcess process_;
  int port_ = 0;
  std::string error_;
};

}  // namespace qelvo::test
