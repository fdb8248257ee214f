#pragma once
// nginx on a free loopback port serving the demo package set, started and stopped by
// the tests with bounded waits.
#include <string>

#include "tests/support/peer_process.h"

namespace qelvo::ui::testing {

class TNginxPeer {
 public:
  // Builds the demo packages into work/packages and serves work/packages/www.
  explicit TNginxPeer(const std::string& work);
  bool Running() const { return process_.Running(); }
  int Port() const { return port_; }
  const std::string& PackagesFolder() const { return packages_; }
  // Requests served so far (lines of the access log).
  int RequestCount() const;
  const std::string& Error() const { return error_; }

 private:
  std::string work_, packages_, error_;
  int port_ = 0;
  test::PeerProcess process_;
};

}  // namespace qelvo::ui::testing
