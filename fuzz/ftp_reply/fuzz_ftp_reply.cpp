// The first byte picks the client's settings (passive or active, a firewall scheme); the
// rest is everything the server says on the control connection, as one burst. The client
// must end the login and the commands after it without crashing, hanging, or growing
// without bound; PASV/EPSV parsing of the raw bytes runs too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/ftp_client.h"
#include "tests/support/script_server.h"

using namespace qelvo::net;
using namespace qelvo::test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
  {
    TFTPSend parser;
    parser.ParseRemote(reply);
    parser.ParseRemoteEPSV(reply);
  }
  ScriptServer server({{Send(reply), Close()}});
  TFTPSend ftp;
  ftp.TargetHost = "127.0.0.1";
  ftp.TargetPort = server.PortText();
  ftp.Timeout = 200;
  ftp.PassiveMode = (mode & 1) == 0;
  if (mode & 2) {
    ftp.FWHost = "127.0.0.1";
    ftp.FWPort = server.PortText();
    ftp.FWMode = (mode >> 2) % 10 - 1;
    ftp.CustomLogon = {0, 3, 3, 1, 255, 6, 2, 255, 254};
  }
  if (ftp.Login()) {
    (void)ftp.FileSize("/f");
    (void)ftp.GetCurrentDir();
    (void)ftp.RetrieveFile("/f", (mode & 0x40) != 0);
    (void)ftp.List("", (mode & 0x80) != 0);
  }
  (void)ftp.FullResult().Count();
  ftp.Logout();
  return 0;
}
