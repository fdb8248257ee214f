#pragma once
// Raw loopback sockets for the test servers, through the platform's sockets module (the
// same entry points on every system, in the Windows Sockets numbering).
#include <string>

#include "platform/sockets.h"

namespace qelvo::test::loopback {

using Handle = platform::TSocketHandle;
inline constexpr Handle kNone = platform::kInvalidSocket;

// A listening socket on 127.0.0.1 (or ::1) and the port it got; kNone on failure.
Handle Listen(bool ipv6, int& port);
Handle Accept(Handle listener);
// True when the socket is readable (or writable) within ms.
bool Wait(Handle s, bool forWrite, int ms);
int Recv(Handle s, char* buffer, int size);
int Send(Handle s, const char* data, int size);
void ShutdownSend(Handle s);
// The close that follows sends a reset instead of a FIN.
void ResetOnClose(Handle s);
void Close(Handle s);
// True when 127.0.0.1:port accepts a connection.
bool Accepts(int port);

}  // namespace qelvo::test::loopback
