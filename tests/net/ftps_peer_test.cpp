// FTP over TLS against vsftpd on loopback: explicit (AUTH TLS) and implicit sessions with
// protected data channels (PROT P) that resume the control connection's TLS session, as
// vsftpd requires; certificate checks on the control connection.
#include <gtest/gtest.h>

#include <memory>

#include "net/ftp_client.h"
#include "net/ssl_openssl.h"
#include "net/text_util.h"
#include "tests/support/files.h"
#include "tests/support/ftp_peers.h"
#include "tests/support/peers.h"
#include "tests/support/test_pki.h"

namespace qelvo::net {
namespace {

using namespace qelvo::test;

// vsftpd.conf lines for TLS with the test PKI's certificate `cert`.
std::string VsftpdTls(const TestPki& pki, bool implicit, const std::string& cert = "localhost") {
  return "ssl_enable=YES\nrsa_cert_file=" + pki.Cert(cert) + "\nrsa_private_key_file=" + pki.Key(cert) +
         "\nallow_anon_ssl=YES\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\n"
         "require_ssl_reuse=YES\nssl_ciphers=HIGH\n" +
         (implicit ? "implicit_ssl=YES\n" : "");
}

class Ftps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { pki = std::make_unique<TestPki>(); }
  static void TearDownTestSuite() { pki.reset(); }
  void SetUp() override { ASSERT_TRUE(pki->ok) << pki->error; }

  static std::unique_ptr<TFTPSend> Client(const FtpPeer& peer, bool implicit) {
    auto ftp = std::make_unique<TFTPSend>();
    ftp->SetSSLClass(OpenSSLClass());
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

TEST_F(Ftps, ExplicitAndImplicitWithProtectedData) {
  const std::string body = RandomBytes(3 * 1024 * 1024 + 5, 17);
  for (bool implicit : {false, true}) {
    SCOPED_TRACE(implicit ? "implicit" : "explicit");
    VsftpdPeer vsftpd(false, VsftpdTls(*pki, implicit));
    ASSERT_TRUE(vsftpd.ok) << vsftpd.error;
    vsftpd.Serve("big.bin", body);
    auto ftp = Client(vsftpd, implicit);
    ASSERT_TRUE(ftp->Login()) << ftp->ResultString() << " / " << ftp->Sock()->LastErrorDesc << "\n" << vsftpd.Log();
    EXPECT_TRUE(ftp->IsTLS());
    EXPECT_TRUE(ftp->IsDataTLS());
    EXPECT_EQ(ftp->Sock()->SSL()->GetPeerName(), "localhost");

    ASSERT_TRUE(ftp->RetrieveFile("big.bin", false)) << ftp->ResultString() << " / " << ftp->DSock()->LastErrorDesc;
    EXPECT_EQ(Checksum(ftp->DataStream().DataString()), Checksum(body));
    EXPECT_FALSE(ftp->DSock()->SSL()->GetCipherName().empty());

    // Resume over a second protected data connection.
    ftp->DataStream().Clear();
    ftp->ResumeFrom = 1000000;
    ASSERT_TRUE(ftp->RetrieveFile("big.bin", true)) << ftp->ResultString();
    EXPECT_EQ(Checksum(ftp->DataStream().DataString()), Checksum(body.substr(1000000)));

    // Upload, read back.
    ftp->DataStream().Clear();
    WriteBytesToStream(ftp->DataStream(), "uploaded over TLS\n");
    ASSERT_TRUE(ftp->StoreFile("incoming/up.txt", false)) << ftp->ResultString();
    EXPECT_EQ(ReadFile(vsftpd.Root() + "/incoming/up.txt"), "uploaded over TLS\n");
    EXPECT_TRUE(ftp->Logout());

    const std::string log = vsftpd.Log();
    if (!implicit) EXPECT_NE(log.find("AUTH TLS"), std::string::npos);
    EXPECT_NE(log.find("PROT P"), std::string::npos);
  }
}

TEST_F(Ftps, ControlCertificateIsChecked) {
  VsftpdPeer vsftpd(false, VsftpdTls(*pki, false, "rogue"));
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
