// Errors of the POSIX sockets module: native error numbers -> Windows Sockets numbering,
// and the per-thread last error WSAGetLastError reports.
#include <cerrno>
#include <netdb.h>

#include "platform/posix/sockets_native.h"

namespace qelvo::platform::sockets_native {
namespace {
thread_local int lastSocketError = 0;
}  // namespace

int LastSocketError() { return lastSocketError; }
void SetLastSocketError(int wsaCode) { lastSocketError = wsaCode; }

int Fail(int wsaCode) {
  lastSocketError = wsaCode;
  return kSocketError;
}
int FailErrno() { return Fail(MapErrno(errno)); }

int MapErrno(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return wsa::WSAEINTR;
    case EBADF: return wsa::WSAENOTSOCK;
    case EACCES: return wsa::WSAEACCES;
    case EPERM: return wsa::WSAEACCES;
    case EFAULT: return wsa::WSAEFAULT;
    case EINVAL: return wsa::WSAEINVAL;
    case EMFILE: return wsa::WSAEMFILE;
    case ENFILE: return wsa::WSAEMFILE;
    case EAGAIN: return wsa::WSAEWOULDBLOCK;
    case EINPROGRESS: return wsa::WSAEWOULDBLOCK;  // a non-blocking connect under way
    case EALREADY: return wsa::WSAEALREADY;
    case ENOTSOCK: return wsa::WSAENOTSOCK;
    case EDESTADDRREQ: return wsa::WSAEDESTADDRREQ;
    case EMSGSIZE: return wsa::WSAEMSGSIZE;
    case EPROTOTYPE: return wsa::WSAEPROTOTYPE;
    case ENOPROTOOPT: return wsa::WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return wsa::WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return wsa::WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return wsa::WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return wsa::WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return wsa::WSAEAFNOSUPPORT;
    case EADDRINUSE: return wsa::WSAEADDRINUSE;
    case EADDRNOTAVAIL: return wsa::WSAEADDRNOTAVAIL;
    case ENETDOWN: return wsa::WSAENETDOWN;
    case ENETUNREACH: return wsa::WSAENETUNREACH;
    case ENETRESET: return wsa::WSAENETRESET;
    case ECONNABORTED: return wsa::WSAECONNABORTED;
    case ECONNRESET: return wsa::WSAECONNRESET;
    case EPIPE: return wsa::WSAECONNRESET;
    case ENOBUFS: return wsa::WSAENOBUFS;
    case ENOMEM: return wsa::WSAENOBUFS;
    case EISCONN: return wsa::WSAEISCONN;
    case ENOTCONN: return wsa::WSAENOTCONN;
    case ESHUTDOWN: return wsa::WSAESHUTDOWN;
    case ETOOMANYREFS: return wsa::WSAETOOMANYREFS;
    case ETIMEDOUT: return wsa::WSAETIMEDOUT;
    case ECONNREFUSED: return wsa::WSAECONNREFUSED;
    case ELOOP: return wsa::WSAELOOP;
    case ENAMETOOLONG: return wsa::WSAENAMETOOLONG;
    case EHOSTDOWN: return wsa::WSAEHOSTDOWN;
    case EHOSTUNREACH: return wsa::WSAEHOSTUNREACH;
    case ENOTEMPTY: return wsa::WSAENOTEMPTY;
    case EUSERS: return wsa::WSAEUSERS;
    case EDQUOT: return wsa::WSAEDQUOT;
    case ESTALE: return wsa::WSAESTALE;
    case EREMOTE: return wsa::WSAEREMOTE;
    default: return 10000 + e;
  }
}

int MapGaiError(int rc, int savedErrno) {
  switch (rc) {
    case 0: return 0;
    case EAI_NONAME: return wsa::WSAHOST_NOT_FOUND;
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return wsa::WSAHOST_NOT_FOUND;
#endif
#ifdef EAI_NODATA
    case EAI_NODATA: return wsa::WSANO_DATA;
#endif
    case EAI_AGAIN: return wsa::WSATRY_AGAIN;
    case EAI_FAIL: return wsa::WSANO_RECOVERY;
    case EAI_FAMILY: return wsa::WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE: return wsa::WSAESOCKTNOSUPPORT;
    case EAI_SERVICE: return wsa::WSATYPE_NOT_FOUND;
    case EAI_MEMORY: return wsa::WSA_NOT_ENOUGH_MEMORY;
    case EAI_BADFLAGS: return wsa::WSAEINVAL;
    case EAI_OVERFLOW: return wsa::WSAEFAULT;
    case EAI_SYSTEM: return MapErrno(savedErrno);
    default: return wsa::WSANO_RECOVERY;
  }
}

int MapHErrno(int h) {
  switch (h) {
    case HOST_NOT_FOUND: return wsa::WSAHOST_NOT_FOUND;
    case TRY_AGAIN: return wsa::WSATRY_AGAIN;
    case NO_RECOVERY: return wsa::WSANO_RECOVERY;
    case NO_DATA: return wsa::WSANO_DATA;
    default: return wsa::WSANO_RECOVERY;
  }
}

}  // namespace qelvo::platform::sockets_native
