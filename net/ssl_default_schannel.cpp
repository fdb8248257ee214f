#include "net/ssl_default.h"
#include "net/ssl_schannel.h"

namespace qelvo::net {

TSSLClass DefaultSSLClass() { return SchannelClass(); }

}  // namespace qelvo::net
