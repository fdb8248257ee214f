#pragma once
// The socket's ways of reading a body of known size, for the tests that check each of them
// gets every byte over a TLS layer.
#include <functional>
#include <string>
#include <vector>

#include "net/tcp_socket.h"

namespace qelvo::net {

struct TBodyRead {
  const char* name;
  std::function<std::string(TTCPBlockSocket&)> read;
};

// About 200 kB of CRLF-ended lines, so the line reader has its share of record edges.
inline std::string LinesBody() {
  std::string b;
  for (int i = 0; b.size() < 200000; ++i) b += "line " + std::to_string(i) + "\r\n";
  return b;
}

inline std::vector<TBodyRead> WholeBodyReads(const std::string& body, int32_t timeout) {
  const size_t size = body.size();
  return {
      {"RecvBufferStr", [=](TTCPBlockSocket& s) { return s.RecvBufferStr(int32_t(size), timeout); }},
      {"RecvPacket",
       [=](TTCPBlockSocket& s) {
         std::string b;
         while (b.size() < size && s.LastError == 0) b += s.RecvPacket(timeout);
         return b;
       }},
      {"RecvString",
       [=](TTCPBlockSocket& s) {
         std::string b;
         while (b.size() < size && s.LastError == 0) b += s.RecvString(timeout) + "\r\n";
         return b;
       }},
  };
}

}  // namespace qelvo::net
