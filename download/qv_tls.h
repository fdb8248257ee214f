#pragma once
// TQvTLS: how the download drivers speak TLS (https://, ftps://, FTP with AUTH TLS).
// Verification is on unless the application turns it off: the peer's certificate must
// chain to CAFile, or to the system's CA store when CAFile is empty, and name the host.
#include <string>

#include "net/ssl.h"

namespace qelvo::download {

class TQvTLS {
 public:
  bool VerifyCert = true;
  std::string CAFile;  // PEM bundle; empty: the system's CA store
  // ftp:// URLs: log in only after AUTH TLS and with protected data (PROT P).
  bool FtpRequireTLS = false;
};

// Puts the settings into a socket's TLS layer.
void ApplyTLS(const TQvTLS& Settings, net::TCustomSSL& SSL);

}  // namespace qelvo::download
