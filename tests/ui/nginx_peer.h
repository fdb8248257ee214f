#pragma once
// nginx on a free loopback port serving the demo package set, started and stopped by
// the tests with bounded waits.
#include <sys/types.h>

#include <string>

namespace qelvo::ui::testing {

class TNginxPeer {
 public:
  // Builds the demo packages into work/packages and serves work/packages/www.
  explicit TNginxPeer(const std::string& work);
  ~TNginxPeer();
  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  const std::string& PackagesFolder() const { return packages_; }
  // Requests served so far (lines of the access log).
  int RequestCount() const;
  const std::string& Error() const { return error_; }

 private:
  std::string work_, packages_, error_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace qelvo::ui::testing
