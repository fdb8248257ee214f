#include "tests/download/test_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/path_map.h"

namespace qelvo::download::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "qelvo-dl-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::Windows() const { return platform::FromNativePath(path_) + "\\"; }

std::string ReadFile(const std::string& nativePath) {
  std::ifstream in(nativePath, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& nativePath, const std::string& bytes) {
  std::ofstream out(nativePath, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& nativePath) { return fs::exists(nativePath); }

std::string MakeContent(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

namespace {

bool CanConnect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return ok;
}

std::string FindNginx() {
  for (const char* p : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
    if (access(p, X_OK) == 0) return p;
  return "";
}

}  // namespace

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
  std::istringstream log(ReadFile(dir_ + "/access.log"));
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
  std::istringstream log(ReadFile(dir_ + "/access.log"));
  int status = 0;
  const std::string key = "\"GET " + path + " HTTP/1.0\" ";
  for (std::string line; std::getline(log, line);) {
    const size_t at = line.find(key);
    if (at != std::string::npos) status = std::atoi(line.c_str() + at + key.size());
  }
  return status;
}

bool NginxServer::Start(std::string& error) {
  if (Running()) return true;
  const std::string nginx = FindNginx();
  if (nginx.empty()) {
    error = "nginx not installed (scripts/packages/download.txt)";
    return false;
  }
  std::string tmpl = (fs::temp_directory_path() / "qelvo-nginx-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) {
    error = "mkdtemp failed";
    return false;
  }
  dir_ = tmpl;
  docRoot_ = dir_ + "/www";
  fs::create_directories(docRoot_ + "/files");
  fs::create_directories(docRoot_ + "/errors");
  fs::create_directories(dir_ + "/tmp");
  files_ = {
      {"small.bin", MakeContent(3000, 1)},
      {"a.bin", MakeContent(1024 * 1024 + 123, 2)},
      {"big.bin", MakeContent(8 * 1024 * 1024, 3)},
      {"named-source.bin", MakeContent(5000, 4)},
  };
  for (const auto& [name, content] : files_) WriteFile(docRoot_ + "/files/" + name, content);
  WriteFile(docRoot_ + "/errors/big404.html", "<html>" + std::string(300 * 1024, 'x') + "</html>");

  port_ = FreeLoopbackPort();
  std::ostringstream conf;
  conf << "daemon off;\nmaster_process off;\nworker_processes 1;\nuser root;\n"
       << "error_log " << dir_ << "/error.log;\npid " << dir_ << "/nginx.pid;\n"
       << "events { worker_connections 64; }\n"
       << "http {\n  access_log " << dir_ << "/access.log;\n"
       << "  client_body_temp_path " << dir_ << "/tmp/body;\n  proxy_temp_path " << dir_ << "/tmp/proxy;\n"
       << "  fastcgi_temp_path " << dir_ << "/tmp/fcgi;\n  uwsgi_temp_path " << dir_ << "/tmp/uwsgi;\n"
       << "  scgi_temp_path " << dir_ << "/tmp/scgi;\n"
       << "  default_type application/octet-stream;\n  sendfile on;\n"
       << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << docRoot_ << ";\n"
       << "    location = /redirect { return 302 /files/small.bin; }\n"
       << "    location = /redirect-twice { return 302 /redirect; }\n"
       << "    location = /named/ { try_files /files/named-source.bin =404;\n"
       << "      add_header Content-Disposition 'attachment; filename=\"served name.bin\"'; }\n"
       << "    location = /fail500 { return 500; }\n"
       << "    location /missing/ { error_page 404 /errors/big404.html; }\n"
       << "  }\n}\n";
  WriteFile(dir_ + "/nginx.conf", conf.str());

  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // a crashed test program leaves no server behind
    const int devnull = ::open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execl(nginx.c_str(), nginx.c_str(), "-p", dir_.c_str(), "-c", (dir_ + "/nginx.conf").c_str(), "-e",
          (dir_ + "/error.log").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  pid_ = pid;
  for (int i = 0; i < 100; ++i) {
    if (CanConnect(port_)) return true;
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) break;
    usleep(50 * 1000);
  }
  error = "nginx did not start: " + ReadFile(dir_ + "/error.log");
  Stop();
  return false;
}

void NginxServer::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status;
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) gone = true;
      else usleep(20 * 1000);
    }
    if (!gone) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (!dir_.empty()) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    dir_.clear();
  }
}

void ScriptConnection::Send(const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return;
    off += static_cast<size_t>(n);
  }
}

void ScriptConnection::SendSlowly(const std::string& bytes, size_t piece, int pauseMs) {
  for (size_t off = 0; off < bytes.size() && !stop_->load(); off += piece) {
    Send(bytes.substr(off, piece));
    usleep(static_cast<useconds_t>(pauseMs) * 1000);
  }
}

void ScriptConnection::Hold(int maxMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
  while (!stop_->load() && std::chrono::steady_clock::now() < until) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 20) > 0) {
      char buf[4096];
      if (recv(fd_, buf, sizeof buf, 0) <= 0) return;
    }
  }
}

ScriptServer::ScriptServer(Handler handler) : handler_(std::move(handler)) {
  listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listenFd_, 16) != 0)
    throw std::runtime_error("scripted server cannot listen");
  socklen_t len = sizeof a;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() {
  stop_ = true;
  thread_.join();
  close(listenFd_);
}

std::string ScriptServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> ScriptServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void ScriptServer::Run() {
  int index = 0;
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    // Read the request head (bounded in time and size).
    std::string head;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !stop_ &&
           std::chrono::steady_clock::now() < until) {
      pollfd q{fd, POLLIN, 0};
      if (poll(&q, 1, 20) <= 0) continue;
      char buf[4096];
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      head.append(buf, static_cast<size_t>(n));
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(head);
    }
    ScriptConnection c(fd, &stop_);
    handler_(c, head, index++);
    close(fd);
  }
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
