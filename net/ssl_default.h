#pragma once
// The TLS layer this build ships: OpenSSL where the build has it, else none (https:// and
// FTPS then fail with cSSLNotCompiled, the inert layer's error).
#include "net/ssl.h"

namespace qelvo::net {

TSSLClass DefaultSSLClass();

}  // namespace qelvo::net
