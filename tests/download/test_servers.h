#pragma once
// Loopback peers for the download tests: one nginx for the whole program, serving a
// document root and a few special locations from a generated configuration, and the
// reply builders the scripted server's handlers use.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/ports.h"
#include "tests/support/script_server.h"
#include "tests/support/temp_folder.h"

namespace qelvo::test {
class PeerProcess;
}

namespace qelvo::download::test {

using namespace qelvo::test;

// Deterministic pseudo-random content.
std::string MakeContent(size_t size, unsigned seed);

// nginx serving a document root, one instance for the whole test program. A Windows
// test program uses the one the Linux side started (qelvo-peer-host), handed over in
// QELVO_PEER_DOWNLOAD_NGINX_PORT and _DIR.
class NginxServer {
 public:
  static NginxServer& Get();
  bool Start(std::string& error);
  void Stop();
  bool Running() const { return port_ != 0; }
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  const std::string& DocRoot() const { return docRoot_; }
  // Content of the files served under /files/.
  const std::string& Content(const std::string& name) const;
  int CountRequests(const std::string& pathPrefix) const;
  // Writes a large served file under /files/ without keeping it in memory; returns its
  // native path.
  std::string WriteLargeFile(const std::string& name, size_t size, unsigned seed);
  // Status code of the latest logged request for the path, 0 when none.
  int LastStatus(const std::string& path) const;
  // The files served under /files/, by name.
  static std::vector<std::pair<std::string, std::string>> ServedFiles();
  // The generated configuration's http block for a server folder and port.
  static std::string HttpBlock(const std::string& folder, int port);

 private:
  NginxServer() = default;
  std::shared_ptr<PeerProcess> process_;
  std::string folder_;  // configuration, logs and the document root
  int port_ = 0;
  std::unique_ptr<TempFolder> dir_;
  std::string docRoot_;
  std::vector<std::pair<std::string, std::string>> files_;
};

// Response heads for scripted replies.
std::string HttpHead(int status, const std::vector<std::string>& headers);
std::string Chunked(const std::string& body, size_t chunkSize, bool withLastChunk);

}  // namespace qelvo::download::test
