#include "net/ssl_default.h"
#include "net/ssl_openssl.h"

namespace qelvo::net {

TSSLClass DefaultSSLClass() { return OpenSSLClass(); }

}  // namespace qelvo::net
