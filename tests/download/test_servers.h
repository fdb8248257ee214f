#pragma once
// Loopback peers for the download tests: one nginx for the whole program, serving a
// document root and a few special locations (the launcher is tests/support's), and the
// reply builders the scripted server's handlers use.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/nginx.h"
#include "tests/support/sample_data.h"
#include "tests/support/script_server.h"
#include "tests/support/temp_folder.h"

namespace qelvo::download::test {

using namespace qelvo::test;

// nginx serving a document root, one instance for the whole test program.
class NginxServer {
 public:
  static NginxServer& Get();
  bool Start(std::string& error);
  void Stop();
  bool Running() const { return peer_ && peer_->Running(); }
  int Port() const { return peer_->Port(); }
  std::string Url(const std::string& path) const { return peer_->Url(path); }
  std::string DocRoot() const { return peer_->DocRoot(); }
  // Content of the files served under /files/.
  const std::string& Content(const std::string& name) const;
  int CountRequests(const std::string& pathPrefix) const { return peer_->CountRequests(pathPrefix); }
  // Writes a large served file under /files/ without keeping it in memory; returns its
  // native path.
  std::string WriteLargeFile(const std::string& name, size_t size, unsigned seed);
  // Native path of a file served under /files/.
  std::string ServedPath(const std::string& name) const { return DocRoot() + "/files/" + name; }
  // Status code of the latest logged request for the path, 0 when none.
  int LastStatus(const std::string& path) const { return peer_->LastStatus(path); }

 private:
  NginxServer() = default;
  std::unique_ptr<NginxPeer> peer_;
  std::vector<std::pair<std::string, std::string>> files_;
};

// The shared nginx, started on first use; when it cannot start, the running test fails.
NginxServer& StartedNginx();

// Gives a part file the time stamp a run of the driver leaves on it: the served file's
// modification time, which the server sends as Last-Modified.
void StampAsLeftBehind(const std::string& partFile, const std::string& servedFile);

// A file's modification time as an HTTP date, as a server sends it in Last-Modified.
std::string HttpDateOfFile(const std::string& path);

// Response heads for scripted replies.
std::string HttpHead(int status, const std::vector<std::string>& headers);
std::string Chunked(const std::string& body, size_t chunkSize, bool withLastChunk);

}  // namespace qelvo::download::test
