#pragma once
// Internal helpers shared by the files of the POSIX sockets module: error numbering and the
// module's last error, record and family conversion, and the entry points that live outside
// the file holding the table of entry points.
#include <sys/socket.h>

#include "platform/sockets.h"

namespace qelvo::platform::sockets_native {

int MapErrno(int nativeErrno);
int MapGaiError(int rc, int savedErrno);
int MapHErrno(int hErrno);

// The error WSAGetLastError reports, per thread.
int LastSocketError();
void SetLastSocketError(int wsaCode);
// Records wsaCode as the last error and returns the failure result of the socket calls.
int Fail(int wsaCode);
int FailErrno();

int ToNativeFamily(int af);
int FromNativeFamily(int af);
// Windows-layout record -> native sockaddr; false for an unknown family or short length.
bool ToNative(const TVarSin* in, int len, sockaddr_storage& out, socklen_t& outLen);
// Native sockaddr -> Windows-layout record; returns the record's length.
int FromNative(const sockaddr* in, TVarSin& out);
// Copies a native address into the caller's record, cut to its room, and sets its length.
void StoreAddress(const sockaddr_storage& ss, TVarSin* addr, int* len);

int SetSockOptImpl(TSocketHandle s, int level, int optname, const void* optval, int optlen);
int GetSockOptImpl(TSocketHandle s, int level, int optname, void* optval, int* optlen);

THostEnt* GetHostByNameImpl(const char* name);
THostEnt* GetHostByAddrImpl(const void* addr, int len, int type);
TProtoEnt* GetProtoByNameImpl(const char* name);
TProtoEnt* GetProtoByNumberImpl(int proto);
TServEnt* GetServByNameImpl(const char* name, const char* proto);
TServEnt* GetServByPortImpl(int port, const char* proto);
void FreeAddrInfoImpl(TAddrInfo* ai);
int GetAddrInfoImpl(const char* node, const char* service, const TAddrInfo* hints, TAddrInfo** res);
int GetNameInfoImpl(const TVarSin* addr, int addrlen, char* host, uint32_t hostlen, char* serv, uint32_t servlen,
                    int flags);

}  // namespace qelvo::platform::sockets_native
