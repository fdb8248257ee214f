#include "tests/download/test_servers.h"

#include "download/http_validator.h"

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

namespace qelvo::download::test {

NginxServer& NginxServer::Get() {
  static NginxServer server;
  return server;
}

const std::string& NginxServer::Content(const std::string& name) const {
  for (const auto& [n, c] : files_)
    if (n == name) return c;
  throw std::runtime_error("no served file " + name);
}

std::string NginxServer::WriteLargeFile(const std::string& name, size_t size, unsigned seed) {
  const std::string path = DocRoot() + "/files/" + name;
  WriteRandomFile(path, size, seed);
  return path;
}

bool NginxServer::Start(std::string& error) {
  if (Running()) return true;
  peer_ = std::make_unique<NginxPeer>();
  files_ = {
      {"small.bin", RandomBytes(3000, 1)},
      {"a.bin", RandomBytes(1024 * 1024 + 123, 2)},
      {"big.bin", RandomBytes(8 * 1024 * 1024, 3)},
      {"named-source.bin", RandomBytes(5000, 4)},
  };
  for (const auto& [name, content] : files_) peer_->Serve("files/" + name, content);
  peer_->Serve("errors/big404.html", "<html>" + std::string(300 * 1024, 'x') + "</html>");
  const std::string locations =
      "    location = /redirect { return 302 /files/small.bin; }\n"
      "    location = /redirect-twice { return 302 /redirect; }\n"
      "    location = /named/ { try_files /files/named-source.bin =404;\n"
      "      add_header Content-Disposition 'attachment; filename=\"served name.bin\"'; }\n"
      "    location = /fail500 { return 500; }\n"
      "    location /missing/ { error_page 404 /errors/big404.html; }\n";
  if (peer_->Start(locations, "  default_type application/octet-stream;\n  sendfile on;\n")) return true;
  error = peer_->Error();
  Stop();
  return false;
}

void NginxServer::Stop() { peer_.reset(); }

NginxServer& StartedNginx() {
  NginxServer& n = NginxServer::Get();
  std::string error;
  if (!n.Start(error)) ADD_FAILURE() << error;
  return n;
}

std::string HttpHead(int status, const std::vector<std::string>& headers) {
  std::string s = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
  for (const auto& h : headers) s += h + "\r\n";
  return s + "\r\n";
}

std::string Chunked(const std::string& body, size_t chunkSize, bool withLastChunk) {
  std::string s;
  char size[32];
  for (size_t off = 0; off < body.size(); off += chunkSize) {
    const std::string piece = body.substr(off, chunkSize);
    snprintf(size, sizeof size, "%zx", piece.size());
    s += std::string(size) + "\r\n" + piece + "\r\n";
  }
  if (withLastChunk) s += "0\r\n\r\n";
  return s;
}

std::string HttpDateOfFile(const std::string& path) {
  std::error_code ec;
  const auto modified = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(path, ec));
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(modified.time_since_epoch()).count();
  return FormatHttpDate(static_cast<double>(seconds) / 86400.0 + 25569.0);
}

void StampAsLeftBehind(const std::string& partFile, const std::string& servedFile) {
  namespace fs = std::filesystem;
  // Whole seconds, as Last-Modified carries them.
  const auto t = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(servedFile));
  fs::last_write_time(servedFile, t);
  fs::last_write_time(partFile, t);
}

}  // namespace qelvo::download::test
