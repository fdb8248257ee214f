// The transport under a TSSLOpenSSL session: a BIO over the socket's own send and recv
// from the sockets entry table, so TLS traffic goes through the same calls and error
// mapping as every other socket operation. OpenSSL's own socket BIO writes with write(),
// which on a connection the peer has reset raises SIGPIPE and ends the whole program.
#include <openssl/bio.h>

#include <string>

#include "net/socket_api.h"
#include "net/ssl_openssl.h"
#include "net/tcp_socket.h"

namespace qelvo::net {
namespace {

TTCPBlockSocket* Owner(BIO* b) { return static_cast<TTCPBlockSocket*>(BIO_get_data(b)); }

bool WouldBlock() {
  const int e = Sockets().WSAGetLastError();
  return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS || e == platform::wsa::WSAEINTR;
}

int BioWrite(BIO* b, const char* data, int len) {
  BIO_clear_retry_flags(b);
  const int r = Sockets().send(Owner(b)->Socket(), data, len, 0);
  if (r < 0 && WouldBlock()) BIO_set_retry_write(b);
  return r;
}

int BioRead(BIO* b, char* data, int len) {
  BIO_clear_retry_flags(b);
  if (data == nullptr || len <= 0) return 0;
  const int r = Sockets().recv(Owner(b)->Socket(), data, len, 0);
  if (r < 0 && WouldBlock()) BIO_set_retry_read(b);
  return r;
}

int BioPuts(BIO* b, const char* text) { return BioWrite(b, text, static_cast<int>(std::char_traits<char>::length(text))); }

long BioCtrl(BIO*, int cmd, long, void*) {
  // Nothing is buffered here: a flush has nothing to do; everything else is unsupported.
  return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* b) {
  BIO_set_init(b, 1);
  return 1;
}

const BIO_METHOD* SocketMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qelvo socket");
    BIO_meth_set_write(m, BioWrite);
    BIO_meth_set_read(m, BioRead);
    BIO_meth_set_puts(m, BioPuts);
    BIO_meth_set_ctrl(m, BioCtrl);
    BIO_meth_set_create(m, BioCreate);
    return m;
  }();
  return method;
}

}  // namespace

BIO* NewSocketBio(TTCPBlockSocket* Socket) {
  BIO* b = BIO_new(SocketMethod());
  if (b != nullptr) BIO_set_data(b, Socket);
  return b;
}

}  // namespace qelvo::net
