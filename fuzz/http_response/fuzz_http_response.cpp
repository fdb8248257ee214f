// The first byte picks what the bytes answer: an HTTP request (with the protocol version
// and a line-length limit varied by its bits), a whole download through the HTTP driver
// (a new file or the resume of a part file, so that chunked bodies, Content-Range checks,
// 416 and the finishing step all see the reply), a SOCKS 5 or SOCKS 4 exchange, or an
// HTTP CONNECT tunnel. The client must end every exchange without crashing, hanging or
// allocating from announced lengths.
#include <cstddef>
#include <cstdint>
#include <string>

#include <filesystem>

#include "download/qv_download.h"
#include "net/http_client.h"
#include "platform/path_map.h"
#include "tests/support/files.h"
#include "tests/support/script_server.h"
#include "tests/support/temp_folder.h"

using namespace qelvo::net;
using namespace qelvo::test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
  ScriptServer server({{ReadBytes(1), Send(reply), Close()}});
  const std::string port = server.PortText();
  switch (mode & 3) {
    case 0: {
      if (mode & 32) {
        // The driver's path: a part file of 1000 bytes makes it a ranged resume.
        static TempFolder folder;
        const std::string part = folder.File("f.bin.part");
        std::filesystem::remove(part);
        std::filesystem::remove(folder.File("f.bin"));
        if (mode & 64) WriteFile(part, std::string(1000, 'p'));
        qelvo::download::TQvDownload dl;
        dl.Protocolo = qelvo::download::protHTTP;
        dl.Proxy().ProxyTimeout = 300;
        dl.SetDownloadDest(folder.Windows() + "\\");
        dl.SetDownloadNomeArq("f.bin");
        dl.SetDownloadUrl("http://127.0.0.1:" + port + "/f.bin");
        try {
          dl.StartDownload();
        } catch (const qelvo::Exception&) {
          // File errors are reported, not faults.
        }
        break;
      }
      THTTPSend http;
      http.Timeout = 300;
      http.Protocol = (mode & 4) ? "1.1" : "1.0";
      if (mode & 8) http.Sock()->MaxLineLength = 256;
      http.HTTPMethod((mode & 16) ? "HEAD" : "GET", "http://127.0.0.1:" + port + "/f");
      (void)http.Document().Size();
      break;
    }
    case 1:
    case 2: {
      TTCPBlockSocket s;
      s.SocksIP = "127.0.0.1";
      s.SocksPort = port;
      s.SocksTimeout = 300;
      s.SocksType = (mode & 3) == 1 ? ST_Socks5 : ST_Socks4;
      if (mode & 4) s.SocksUsername = "user", s.SocksPassword = "pass";
      s.Connect((mode & 8) ? "host.test" : "10.0.0.1", "80");
      (void)s.GetLocalSinIP();
      break;
    }
    case 3: {
      TTCPBlockSocket s;
      s.HTTPTunnelIP = "127.0.0.1";
      s.HTTPTunnelPort = port;
      s.HTTPTunnelTimeout = 300;
      if (mode & 8) s.MaxLineLength = 256;
      s.Connect("host.test", "443");
      break;
    }
  }
  return 0;
}
