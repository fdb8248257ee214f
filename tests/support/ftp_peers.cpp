#include "tests/support/ftp_peers.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/support/environment.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace qelvo::test {
namespace {

// The servers run their sessions as the "ftp" user: the served tree must be readable
// (and, for uploads, writable) by it.
void OpenUp(const std::string& path) { SetFileMode(path, 0777); }

}  // namespace

FtpPeer::FtpPeer() {
  OpenUp(dir.Native());
  // vsftpd refuses a writable root for a chrooted session: uploads go to incoming/.
  std::filesystem::create_directories(Root() + "/incoming");
  SetFileMode(Root(), 0755);
  OpenUp(Root() + "/incoming");
}

void FtpPeer::Serve(const std::string& relative, const std::string& bytes) const {
  const std::string path = Root() + "/" + relative;
  WriteFile(path, bytes);
  for (std::filesystem::path p = std::filesystem::path(path).parent_path(); p.string().size() > Root().size();
       p = p.parent_path())
    OpenUp(p.string());
  SetFileMode(path, 0644);
}

std::string VsftpdTlsConf(const TestPki& pki, bool implicit, const std::string& cert) {
  // Wine's Schannel resumes no sessions: there the data connections cannot prove they
  // belong to the control connection, and the server is told not to ask.
  const bool reuse = !UnderWine();
  static const bool said = [&] {
    if (!reuse) std::fprintf(stderr, "vsftpd without require_ssl_reuse: Wine's Schannel does not resume TLS sessions\n");
    return true;
  }();
  (void)said;
  return "ssl_enable=YES\nrsa_cert_file=" + pki.Cert(cert) + "\nrsa_private_key_file=" + pki.Key(cert) +
         "\nallow_anon_ssl=YES\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\n"
         "force_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\nrequire_ssl_reuse=" +
         std::string(reuse ? "YES" : "NO") + "\nssl_ciphers=HIGH\n"
         // A transfer counts only when its data connection ends with close_notify both ways.
         "strict_ssl_read_eof=YES\nstrict_ssl_write_shutdown=YES\n" +
         std::string(implicit ? "implicit_ssl=YES\n" : "");
}

VsftpdPeer::VsftpdPeer(bool ipv6, const std::string& extraConf) {
  const std::string vsftpd = FindProgram({"/usr/sbin/vsftpd"});
  if (vsftpd.empty()) {
    error = "vsftpd is not installed (scripts/packages/ftp.txt)";
    return;
  }
  if (!PeersRunAsRoot()) {
    error = "vsftpd needs root to run its sessions";
    return;
  }
  port = UnusedPort();
  pamService_ = "qelvo-ftp-test-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(port);
  dir.Write("users.txt", std::string(kFtpUser) + "\n" + kFtpPass + "\n");
  const std::string load = "/usr/bin/db_load -T -t hash -f " + dir.File("users.txt") + " " + dir.File("users.db");
  if (!RunShell(load)) {
    error = "db_load (package db-util) could not build the user database";
    return;
  }
  WritePamUserDbService(pamService_, dir.File("users"));
  std::filesystem::create_directories(dir.File("empty"));
  const std::string conf =
      std::string(ipv6 ? "listen=NO\nlisten_ipv6=YES\n" : "listen=YES\nlisten_address=127.0.0.1\n") +
      "listen_port=" + std::to_string(port) +
      "\nbackground=NO\nseccomp_sandbox=NO\nsecure_chroot_dir=" + dir.File("empty") +
      "\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" + Root() +
      "\nlocal_enable=YES\nwrite_enable=YES\nguest_enable=YES\nguest_username=ftp\nvirtual_use_local_privs=YES\n"
      "local_root=" + Root() + "\nchroot_local_user=YES\nallow_writeable_chroot=YES\nlocal_umask=022\n"
      "pam_service_name=" + pamService_ +
      "\npasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\npasv_promiscuous=NO\n"
      "ftpd_banner=Qelvo test server\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file=" +
      dir.File("vsftpd.log") + "\nidle_session_timeout=60\ndata_connection_timeout=60\n" + extraConf;
  dir.Write("vsftpd.conf", conf);
  ok = process_.Start({vsftpd, dir.File("vsftpd.conf")}, port, 10000, true);
  if (!ok) error = "vsftpd did not start: " + ReadFile(dir.File("vsftpd.log"));
}

VsftpdPeer::~VsftpdPeer() {
  process_.Stop();
  std::error_code ec;
  if (!pamService_.empty()) std::filesystem::remove("/etc/pam.d/" + pamService_, ec);
}

std::string VsftpdPeer::Log() const { return ReadFile(dir.File("vsftpd.log")); }

std::string FindPureFtpd() {
  return FindProgram({"/usr/sbin/pure-ftpd", "/opt/qelvo-peers/pure-ftpd/usr/sbin/pure-ftpd"});
}

PureFtpdPeer::PureFtpdPeer() {
  const std::string server = FindPureFtpd();
  const std::string pw = FindProgram({"/usr/bin/pure-pw", "/opt/qelvo-peers/pure-ftpd/usr/bin/pure-pw"});
  if (server.empty() || pw.empty()) {
    error = "pure-ftpd is not available (scripts/packages/ftp.unpack)";
    return;
  }
  port = UnusedPort();
  const std::string add = "printf '%s\\n%s\\n' " + ShellQuote(kFtpPass) + " " + ShellQuote(kFtpPass) + " | " + pw +
                          " useradd " + kFtpUser + " -u ftp -g ftp -d " + Root() + " -f " + dir.File("passwd") +
                          " -m -F " + dir.File("passwd.pdb") + " >/dev/null 2>&1";
  if (!RunShell(add)) {
    error = "pure-pw could not create the test user";
    return;
  }
  ok = process_.Start({server, "-S", "127.0.0.1," + std::to_string(port), "-l", "puredb:" + dir.File("passwd.pdb"),
                       "-E", "-A", "-H", "-O", "clf:" + dir.File("transfer.log")},
                      port, 10000, true);
  if (!ok) error = "pure-ftpd did not start";
}

std::string PureFtpdPeer::Log() const { return ReadFile(dir.File("transfer.log")); }

}  // namespace qelvo::test
