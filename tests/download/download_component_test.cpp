#include <gtest/gtest.h>

#include "download/messages.h"
#include "download/qv_download.h"
#include "download/qv_ftp_download.h"
#include "download/qv_http_download.h"
#include "tests/download/event_log.h"
#include "tests/support/peer_process.h"

namespace qelvo::download {
namespace {

template <typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no exception)";
}

TEST(DownloadComponent, Defaults) {
  TQvDownload d;
  EXPECT_EQ(d.Protocolo, protNenhum);
  EXPECT_EQ(d.DownloadStatus(), stNone);
  EXPECT_EQ(d.SizeRecvBuffer(), 0);
  EXPECT_EQ(d.Proxy().ProxyTimeout, 90000);
  EXPECT_EQ(d.FTP().FtpTimeout, 300000);
  EXPECT_TRUE(d.Proxy().ProxyHost.empty());
  EXPECT_EQ(d.Driver().Proxy, &d.Proxy());
}

TEST(DownloadComponent, RefusesToStartWithoutProtocolEveryTime) {
  TQvDownload d;
  d.SetDownloadNomeArq("x.zip");
  d.SetDownloadUrl("http://127.0.0.1:1/x.zip");
  TQvDownloadClass* before = &d.Driver();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(MessageOf([&] { d.StartDownload(); }), kMsgNoProtocol);
    EXPECT_EQ(&d.Driver(), before) << "nothing changes";
    EXPECT_EQ(d.DownloadStatus(), stNone);
  }
}

TEST(DownloadComponent, FtpGetsItsDriverAndAFailedLoginRaises) {
  TQvDownload d;
  d.Protocolo = protFTP;
  const qelvo::test::RefusingPort refusing;
  d.SetDownloadUrl("ftp://127.0.0.1:" + refusing.PortText() + "/pub/file.zip");
  EXPECT_EQ(MessageOf([&] { d.StartDownload(); }), kMsgFtpLoginFailed);
  EXPECT_NE(dynamic_cast<TQvFTPDownload*>(&d.Driver()), nullptr);
  EXPECT_EQ(d.DownloadStatus(), stDownload);
}

TEST(DownloadComponent, DriversBelongToADownloadComponentOnly) {
  TQvComponent other;
  EXPECT_EQ(MessageOf([&] { TQvDownloadClass driver(&other); }), kMsgWrongOwner);
  EXPECT_EQ(MessageOf([&] { TQvHTTPDownload driver(nullptr); }), kMsgWrongOwner);
  EXPECT_STREQ(kMsgWrongOwner, "Essa Classe deve ser instanciada por TQvDownload");
}

TEST(DownloadComponent, WritingTheStatusReachesTheDriverWithItsEvent) {
  TQvDownload d;
  test::EventLog log;
  log.Attach(d);
  d.SetDownloadStatus(stPause);
  ASSERT_EQ(log.events.size(), 1u);
  EXPECT_EQ(log.events[0].kind, test::TEvent::Status);
  EXPECT_EQ(log.events[0].status, stPause);
  EXPECT_EQ(log.events[0].sender, &d.Driver());
  EXPECT_EQ(d.Driver().DownloadStatus(), stPause);
  EXPECT_EQ(d.DownloadStatus(), stPause);
}

TEST(DownloadComponent, SettingsAreForwardedToTheCurrentDriver) {
  TQvDownload d;
  d.SetDownloadDest("C:\\x\\temp\\");
  d.SetDownloadUrl("http://h/p.zip");
  d.SetDownloadNomeArq("p.zip");
  d.SetSizeRecvBuffer(65536);
  EXPECT_EQ(d.Driver().DownloadDest(), "C:\\x\\temp\\");
  EXPECT_EQ(d.Driver().DownloadUrl(), "http://h/p.zip");
  EXPECT_EQ(d.Driver().DownloadNomeArq(), "p.zip");
  EXPECT_EQ(d.Driver().SizeRecvBuffer(), 65536);
}

// Assigning another settings object copies its values: the component keeps its own
// object (and its drivers keep pointing at it), and the caller's object stays the caller's.
TEST(DownloadComponent, AssigningProxyOrFtpSettingsCopiesTheirValues) {
  TQvDownload d;
  TQvProxy* ownedProxy = &d.Proxy();
  TQvFTP* ownedFtp = &d.FTP();
  {
    TQvProxy proxy;
    proxy.ProxyHost = "proxy.lan";
    proxy.ProxyPort = "3128";
    proxy.ProxyUser = "u";
    proxy.ProxyPass = "p";
    proxy.ProxyTimeout = 1234;
    TQvFTP ftp;
    ftp.FtpHost = "ftp.lan";
    ftp.FtpPort = "2121";
    ftp.FtpUser = "fu";
    ftp.FtpPass = "fp";
    ftp.FtpTimeout = 4321;
    d.SetProxy(proxy);
    d.SetFTP(ftp);
    proxy.ProxyHost = "changed later";
  }  // the assigned objects are gone; the component must not refer to them
  EXPECT_EQ(&d.Proxy(), ownedProxy);
  EXPECT_EQ(&d.FTP(), ownedFtp);
  EXPECT_EQ(d.Driver().Proxy, ownedProxy);
  EXPECT_EQ(d.Proxy().ProxyHost, "proxy.lan");
  EXPECT_EQ(d.Proxy().ProxyPort, "3128");
  EXPECT_EQ(d.Proxy().ProxyUser, "u");
  EXPECT_EQ(d.Proxy().ProxyPass, "p");
  EXPECT_EQ(d.Proxy().ProxyTimeout, 1234);
  EXPECT_EQ(d.FTP().FtpHost, "ftp.lan");
  EXPECT_EQ(d.FTP().FtpPort, "2121");
  EXPECT_EQ(d.FTP().FtpUser, "fu");
  EXPECT_EQ(d.FTP().FtpPass, "fp");
  EXPECT_EQ(d.FTP().FtpTimeout, 4321);
}

}  // namespace
}  // namespace qelvo::download
