#include "net/ssl_default.h"

namespace qelvo::net {

// An empty class leaves the socket with TSSLNone.
TSSLClass DefaultSSLClass() { return {}; }

}  // namespace qelvo::net
