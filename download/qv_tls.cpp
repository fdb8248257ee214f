#include "download/qv_tls.h"

namespace qelvo::download {

void ApplyTLS(const TQvTLS& Settings, net::TCustomSSL& SSL) {
  SSL.VerifyCert = Settings.VerifyCert;
  SSL.SetCertCAFile(Settings.CAFile);
}

}  // namespace qelvo::download
