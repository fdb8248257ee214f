#pragma once
// The TLS layer this build ships: OpenSSL where the build has it, the system's Schannel
// in Windows builds without it, else none (https:// and FTPS then fail with
// cSSLNotCompiled, the inert layer's error, before any connection is opened).
#include "net/ssl.h"

namespace qelvo::net {

TSSLClass DefaultSSLClass();

}  // namespace qelvo::net
