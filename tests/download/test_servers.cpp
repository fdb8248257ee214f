#include "tests/download/test_servers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "tests/support/peers.h"

namespace qelvo::download::test {

std::string MakeContent(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

NginxServer& NginxServer::Get() {
  static NginxServer server;
  return server;
}

const std::string& NginxServer::Content(const std::string& name) const {
  for (const auto& [n, c] : files_)
    if (n == name) return c;
  throw std::runtime_error("no served file " + name);
}

std::string NginxServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int NginxServer::CountRequests(const std::string& pathPrefix) const {
  std::istringstream log(ReadFile(folder_ + "/access.log"));
  int n = 0;
  for (std::string line; std::getline(log, line);)
    if (line.find("\"GET " + pathPrefix) != std::string::npos) ++n;
  return n;
}

std::string NginxServer::WriteLargeFile(const std::string& name, size_t size, unsigned seed) {
  const std::string path = docRoot_ + "/files/" + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  constexpr size_t kPiece = 1 << 20;
  for (size_t off = 0; off < size; off += kPiece) {
    const std::string piece = MakeContent(std::min(kPiece, size - off), seed + static_cast<unsigned>(off / kPiece));
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
  return path;
}

int NginxServer::LastStatus(const std::string& path) const {
  std::istringstream log(ReadFile(folder_ + "/access.log"));
  int status = 0;
  const std::string key = "\"GET " + path + " HTTP/1.0\" ";
  for (std::string line; std::getline(log, line);) {
    const size_t at = line.find(key);
    if (at != std::string::npos) status = std::atoi(line.c_str() + at + key.size());
  }
  return status;
}

std::vector<std::pair<std::string, std::string>> NginxServer::ServedFiles() {
  return {
      {"small.bin", MakeContent(3000, 1)},
      {"a.bin", MakeContent(1024 * 1024 + 123, 2)},
      {"big.bin", MakeContent(8 * 1024 * 1024, 3)},
      {"named-source.bin", MakeContent(5000, 4)},
  };
}

std::string NginxServer::HttpBlock(const std::string& dir, int port) {
  std::ostringstream http;
  http << "  access_log " << dir << "/access.log;\n"
       << "  default_type application/octet-stream;\n  sendfile on;\n"
       << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << dir << "/www;\n"
       << "    location = /redirect { return 302 /files/small.bin; }\n"
       << "    location = /redirect-twice { return 302 /redirect; }\n"
       << "    location = /named/ { try_files /files/named-source.bin =404;\n"
       << "      add_header Content-Disposition 'attachment; filename=\"served name.bin\"'; }\n"
       << "    location = /fail500 { return 500; }\n"
       << "    location /missing/ { error_page 404 /errors/big404.html; }\n"
       << "  }\n";
  return http.str();
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

}  // namespace qelvo::download::test
