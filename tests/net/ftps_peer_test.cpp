// FTP over TLS against vsftpd on loopback: explicit (AUTH TLS) and implicit sessions with
// protected data channels (PROT P) that resume the control connection's TLS session, as
// vsftpd requires: listings, retrieves and stores, both resumed with REST; certificate
// checks on the control connection.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "net/ftp_client.h"
#include "net/ssl_default.h"
#include "net/text_util.h"
#include "tests/support/files.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peer_process.h"
#include "tests/support/peers.h"
#include "tests/support/test_pki.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;

class Ftps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { pki = std::make_unique<TestPki>(); }
  static void TearDownTestSuite() { pki.reset(); }
  void SetUp() override { ASSERT_TRUE(pki->ok) << pki->error; }

  static std::unique_ptr<TFTPSend> Client(const FtpPeer& peer, bool implicit) {
    auto ftp = std::make_unique<TFTPSend>();
    ftp->SetSSLClass(DefaultSSLClass());
    ftp->Sock()->SSL()->VerifyCert = true;
    ftp->Sock()->SSL()->SetCertCAFile(pki->CaCert());
    ftp->TargetHost = "localhost";
    ftp->TargetPort = std::to_string(peer.port);
    ftp->Timeout = 10000;
    ftp->UserName = kFtpUser;
    ftp->Password = kFtpPass;
    ftp->FullSSL = implicit;
    ftp->AutoTLS = !implicit;
    return ftp;
  }
  static inline std::unique_ptr<TestPki> pki;
};

// Every kind of protected transfer, each ending well inside the client's timeout: a data
// connection whose end waits for the timeout (the close_notify exchange going wrong)
// fails here without a timed benchmark.
TEST_F(Ftps, ProtectedTransfersEndPromptly) {
  const std::string body = RandomBytes(3 * 1024 * 1024 + 5, 17);
  const std::string small = "a small file\n";
  constexpr int64_t kUploadCut = 1234567;
  for (bool implicit : {false, true}) {
    SCOPED_TRACE(implicit ? "implicit" : "explicit");
    VsftpdPeer vsftpd(false, VsftpdTlsConf(*pki, implicit));
    ASSERT_TRUE(vsftpd.ok) << vsftpd.error;
    vsftpd.Serve("big.bin", body);
    vsftpd.Serve("small.txt", small);
    vsftpd.Serve("incoming/resume.bin", body.substr(0, kUploadCut));
    SetFileMode(vsftpd.Root() + "/incoming/resume.bin", 0666);  // the server's user appends to it
    auto ftp = Client(vsftpd, implicit);
    auto step = [&](const char* what, const std::function<bool()>& run) {
      SCOPED_TRACE(what);
      const auto start = std::chrono::steady_clock::now();
      EXPECT_TRUE(run()) << ftp->ResultString() << " / " << ftp->DSock()->GetErrorDescEx();
      const auto spent = std::chrono::steady_clock::now() - start;
      EXPECT_LT(spent, std::chrono::milliseconds(ftp->Timeout / 2)) << "the transfer's end waited for the timeout";
      EXPECT_EQ(ftp->ResultCode(), 226);
    };
    ASSERT_TRUE(ftp->Login()) << ftp->ResultString() << " / " << ftp->Sock()->LastErrorDesc << "\n" << vsftpd.Log();
    EXPECT_TRUE(ftp->IsTLS());
    EXPECT_TRUE(ftp->IsDataTLS());
    EXPECT_TRUE(ftp->CanResume());
    EXPECT_EQ(ftp->Sock()->SSL()->GetPeerName(), "localhost");

    step("LIST", [&] { return ftp->List("/", false); });
    bool listed = false;
    for (int i = 0; i < ftp->FtpList().Count(); ++i)
      listed |= ftp->FtpList()[i].FileName == "big.bin" && ftp->FtpList()[i].FileSize == int64_t(body.size());
    EXPECT_TRUE(listed) << ftp->DataStream().DataString();
    step("NLST", [&] { return ftp->List("/", true); });
    EXPECT_NE(ftp->DataStream().DataString().find("small.txt"), std::string::npos);

    step("RETR small", [&] { return ftp->RetrieveFile("small.txt", false); });
    EXPECT_EQ(ftp->DataStream().DataString(), small);
    step("RETR big", [&] { return ftp->RetrieveFile("big.bin", false); });
    EXPECT_EQ(Checksum(ftp->DataStream().DataString()), Checksum(body));
    EXPECT_FALSE(ftp->DSock()->SSL()->GetCipherName().empty());
    EXPECT_EQ(ftp->DSock()->SSL()->GetPeerName(), "localhost");

    ftp->DataStream().Clear();
    ftp->ResumeFrom = 1000000;
    step("REST + RETR", [&] { return ftp->RetrieveFile("big.bin", true); });
    EXPECT_EQ(Checksum(ftp->DataStream().DataString()), Checksum(body.substr(1000000)));
    ftp->ResumeFrom = -1;

    ftp->DataStream().Clear();
    WriteBytesToStream(ftp->DataStream(), "uploaded over TLS\n");
    step("STOR", [&] { return ftp->StoreFile("incoming/up.txt", false); });
    EXPECT_EQ(ReadFile(vsftpd.Root() + "/incoming/up.txt"), "uploaded over TLS\n");

    // The server holds the first part: only the rest travels, after REST.
    ftp->DataStream().Clear();
    WriteBytesToStream(ftp->DataStream(), body);
    step("REST + STOR", [&] { return ftp->StoreFile("incoming/resume.bin", true); });
    EXPECT_EQ(Checksum(ReadFile(vsftpd.Root() + "/incoming/resume.bin")), Checksum(body));
    EXPECT_TRUE(ftp->Logout());

    const std::string log = vsftpd.Log();
    if (!implicit) {
      EXPECT_NE(log.find("AUTH TLS"), std::string::npos);
    }
    EXPECT_NE(log.find("PROT P"), std::string::npos);
    EXPECT_NE(log.find("REST 1000000"), std::string::npos);
    EXPECT_NE(log.find("REST " + std::to_string(kUploadCut)), std::string::npos);
  }
}

TEST_F(Ftps, ControlCertificateIsChecked) {
  VsftpdPeer vsftpd(false, VsftpdTlsConf(*pki, false, "rogue"));
  ASSERT_TRUE(vsftpd.ok) << vsftpd.error;
  auto ftp = Client(vsftpd, false);
  EXPECT_FALSE(ftp->Login());
  EXPECT_FALSE(ftp->IsTLS());
  EXPECT_EQ(ftp->Sock()->LastError, WSASYSNOTREADY);
  EXPECT_EQ(ftp->Sock()->LastErrorDesc, "certificate verify failed: self-signed certificate in certificate chain");
  // Nothing after the refused handshake: the credentials never went out.
  EXPECT_EQ(vsftpd.Log().find("USER " + std::string(kFtpUser)), std::string::npos);
}

TEST_F(Ftps, RequiredTlsKeepsCredentialsOffAPlainServer) {
  VsftpdPeer plain;
  ASSERT_TRUE(plain.ok) << plain.error;
  auto ftp = Client(plain, false);
  ftp->RequireTLS = true;
  EXPECT_FALSE(ftp->Login());
  EXPECT_FALSE(ftp->IsTLS());
  EXPECT_EQ(ftp->ResultCode() / 100, 5);  // AUTH TLS refused
  EXPECT_EQ(plain.Log().find("USER " + std::string(kFtpUser)), std::string::npos);
}

}  // namespace
}  // namespace qelvo::net
