#pragma once
// Base of the protocol clients: where to connect, from which local address, how long to
// wait for each packet, and with which credentials.
#include <cstdint>
#include <string>

namespace qelvo::net {

class TNetClient {
 public:
  TNetClient() = default;
  virtual ~TNetClient() = default;
  TNetClient(const TNetClient&) = delete;
  TNetClient& operator=(const TNetClient&) = delete;

  std::string TargetHost = "127.0.0.1";
  std::string TargetPort = "0";
  std::string IPInterface = "0.0.0.0";
  int32_t Timeout = 5000;
  std::string UserName;
  std::string Password;
};

}  // namespace qelvo::net
