// SOCKS 4, 4a and 5 exchange of TSocksBlockSocket.
//
// SocksOpen negotiates the method (SOCKS5: none or user/password; SOCKS4 has no
// negotiation), SocksRequest sends the command with the address block (IPv4, IPv6 or a
// host name for the proxy to resolve, the 4a form for SOCKS4 names), SocksResponse reads
// the reply whose size depends on the address type it carries. Every wait is limited by
// SocksTimeout and every length is bounded by the reply format, never by the peer.
#include <algorithm>
#include <cstdio>

#include "net/ip_text.h"
#include "net/tcp_socket.h"
#include "net/text_util.h"

namespace qelvo::net {
namespace {
ByteString LengthPrefixed(const std::string& s) {
  const std::string cut = s.substr(0, std::min<size_t>(s.size(), 255));
  return ByteString(1, static_cast<char>(cut.size())) + cut;
}
std::string Dotted(const ByteString& v, size_t at) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", static_cast<uint8_t>(v[at]), static_cast<uint8_t>(v[at + 1]),
                static_cast<uint8_t>(v[at + 2]), static_cast<uint8_t>(v[at + 3]));
  return buf;
}
}  // namespace

TSocksBlockSocket::TSocksBlockSocket() = default;
TSocksBlockSocket::TSocksBlockSocket(const std::string&) : TSocksBlockSocket() {}

bool TSocksBlockSocket::SocksOpen() {
  UsingSocks = false;
  if (SocksType != ST_Socks5) {
    UsingSocks = true;
    return true;
  }
  bool result = false;
  FBypassFlag = true;
  SendString(SocksUsername.empty() ? ByteString("\x05\x01\x00", 3) : ByteString("\x05\x02\x02\x00", 4));
  if (LastError == 0) {
    const ByteString reply = RecvBufferStr(2, SocksTimeout);
    if (LastError == 0 && reply.size() == 2 && reply[0] == 0x05) {
      switch (static_cast<uint8_t>(reply[1])) {
        case 0x00:
          result = true;
          break;
        case 0x02: {
          ByteString auth(1, '\x01');
          auth.append(LengthPrefixed(SocksUsername)).append(LengthPrefixed(SocksPassword));
          SendString(auth);
          if (LastError == 0) {
            const ByteString auth = RecvBufferStr(2, SocksTimeout);
            result = LastError == 0 && auth.size() == 2 && auth[1] == 0x00;
          }
          break;
        }
        default:
          break;
      }
    }
  }
  FBypassFlag = false;
  if (result) UsingSocks = true;
  return result;
}

ByteString TSocksBlockSocket::SocksCode(const std::string& IP, const std::string& Port) {
  std::string ip = IP;
  ByteString s;
  if (SocksType == ST_Socks4) {
    s = PackWord(ResolvePort(Port));
    if (!SocksResolver) ip = ResolveName(ip);
    if (IsIPv4Text(ip)) {
      s += IPv4TextToBytes(ip) + SocksUsername + '\0';
    } else {
      s += IPv4TextToBytes("0.0.0.1") + SocksUsername + '\0' + ip + '\0';
    }
  } else {
    if (!SocksResolver) ip = ResolveName(ip);
    if (IsIPv4Text(ip)) s.assign(1, '\x01').append(IPv4TextToBytes(ip));
    else if (IsIPv6Text(ip)) s.assign(1, '\x04').append(IPv6TextToBytes(ip));
    else s.assign(1, '\x03').append(LengthPrefixed(ip));
    s += PackWord(ResolvePort(Port));
  }
  return s;
}

bool TSocksBlockSocket::SocksRequest(uint8_t Cmd, const std::string& IP, const std::string& Port) {
  FBypassFlag = true;
  ByteString buf;
  if (SocksType == ST_Socks4) buf = ByteString(1, '\x04') + static_cast<char>(Cmd) + SocksCode(IP, Port);
  else buf = ByteString(1, '\x05') + static_cast<char>(Cmd) + '\0' + SocksCode(IP, Port);
  SendString(buf);
  FBypassFlag = false;
  return LastError == 0;
}

int32_t TSocksBlockSocket::SocksDecode(const ByteString& Value) {
  SocksResponsePort = "0";
  SocksResponseIP.clear();
  if (Value.size() < 2) return -1;
  const int32_t code = static_cast<uint8_t>(Value[1]);
  if (SocksType == ST_Socks4) {
    if (Value.size() >= 8) {
      SocksResponsePort = std::to_string(UnpackWord(Value, 2));
      SocksResponseIP = Dotted(Value, 4);
    }
    return code;
  }
  if (Value.size() < 4) return code;
  switch (static_cast<uint8_t>(Value[3])) {
    case 0x01:
      if (Value.size() >= 10) {
        SocksResponseIP = Dotted(Value, 4);
        SocksResponsePort = std::to_string(UnpackWord(Value, 8));
      }
      break;
    case 0x03: {
      if (Value.size() < 5) break;
      const size_t len = static_cast<uint8_t>(Value[4]);
      if (Value.size() >= 5 + len + 2) {
        SocksResponseIP = Value.substr(5, len);
        SocksResponsePort = std::to_string(UnpackWord(Value, static_cast<int64_t>(5 + len)));
      }
      break;
    }
    case 0x04:
      if (Value.size() >= 22) {
        SocksResponseIP = IPv6BytesToText(Value.substr(4, 16));
        SocksResponsePort = std::to_string(UnpackWord(Value, 20));
      }
      break;
    default:
      break;
  }
  return code;
}

bool TSocksBlockSocket::SocksResponse() {
  FBypassFlag = true;
  SocksLastError = -1;
  if (SocksType == ST_Socks4) {
    const ByteString buf = RecvBufferStr(8, SocksTimeout);
    if (LastError == 0 && buf.size() == 8 && buf[0] == 0x00) SocksLastError = SocksDecode(buf);
  } else {
    ByteString buf = RecvBufferStr(4, SocksTimeout);
    if (LastError == 0 && buf.size() == 4 && buf[0] == 0x05) {
      bool known = true;
      switch (static_cast<uint8_t>(buf[3])) {
        case 0x01: buf += RecvBufferStr(4, SocksTimeout); break;
        case 0x03: {
          const ByteString len = RecvBufferStr(1, SocksTimeout);
          buf += len;
          if (LastError == 0 && len.size() == 1)
            buf += RecvBufferStr(static_cast<uint8_t>(len[0]), SocksTimeout);
          break;
        }
        case 0x04: buf += RecvBufferStr(16, SocksTimeout); break;
        default: known = false; break;
      }
      if (known && LastError == 0) {
        buf += RecvBufferStr(2, SocksTimeout);
        if (LastError == 0) SocksLastError = SocksDecode(buf);
      }
    }
  }
  FBypassFlag = false;
  return SocksLastError == 0 || SocksLastError == 90;
}

}  // namespace qelvo::net
