#pragma once
// Real FTP servers for the tests, each on a free loopback port with a configuration
// generated in its own temporary folder: vsftpd (anonymous and one virtual user, checked
// by PAM against a one-entry user database; optionally over IPv6) and pure-ftpd (one
// virtual user from its own password database). Both serve the folder root/ and keep a
// log of the commands they received. root/ is read-only to the sessions; root/incoming/
// takes uploads. Start-up is bounded in time.
#include <string>

#include "tests/support/peer_process.h"
#include "tests/support/temp_folder.h"

namespace qelvo::test {

inline constexpr const char* kFtpUser = "qelvo";
inline constexpr const char* kFtpPass = "s3cret-pass";

class FtpPeer {
 public:
  virtual ~FtpPeer() = default;
  bool ok = false;
  int port = 0;
  std::string error;
  TempFolder dir{"ftp"};
  // Native path of the served folder; files written there are readable by the server.
  std::string Root() const { return dir.File("root"); }
  // Writes a file into the served folder.
  void Serve(const std::string& relative, const std::string& bytes) const;
  // What the server logged so far (commands and replies).
  virtual std::string Log() const = 0;

 protected:
  FtpPeer();
  PeerProcess process_;
};

class VsftpdPeer : public FtpPeer {
 public:
  // ipv6: listens on [::] (so ::1 reaches it, and 127.0.0.1 too).
  // extraConf: more vsftpd.conf lines (TLS settings and the like).
  explicit VsftpdPeer(bool ipv6 = false, const std::string& extraConf = "");
  ~VsftpdPeer() override;
  std::string Log() const override;

 private:
  std::string pamService_;
};

class PureFtpdPeer : public FtpPeer {
 public:
  PureFtpdPeer();
  std::string Log() const override;
};

// The pure-ftpd program (installed, or unpacked by scripts/install-deps), "" when absent.
std::string FindPureFtpd();

}  // namespace qelvo::test
