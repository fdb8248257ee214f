#pragma once
// Fixture for downloads against the loopback peers: a fresh destination folder and a
// component configured as the installer configures its own.
#include <gtest/gtest.h>

#include <filesystem>

#include "download/qv_download.h"
#include "download/qv_http_download.h"
#include "tests/download/event_log.h"
#include "tests/download/test_servers.h"

namespace qelvo::download::test {

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dl.Protocolo = protHTTP;
    dl.SetSizeRecvBuffer(65536);
    dl.SetDownloadDest(dest.Windows() + "\\");
    log.Attach(dl);
  }
  // Starts nginx once for the program; stops the test when it cannot run.
  NginxServer& Nginx() { return StartedNginx(); }
  void Get(const std::string& url, const std::string& name) {
    dl.SetDownloadUrl(url);
    dl.SetDownloadNomeArq(name);
    dl.StartDownload();
  }
  TQvHTTPDownload& Driver() { return static_cast<TQvHTTPDownload&>(dl.Driver()); }
  std::string Local(const std::string& name) const { return dest.File(name); }

  TempFolder dest;
  TQvDownload dl;
  EventLog log;
};

}  // namespace qelvo::download::test
