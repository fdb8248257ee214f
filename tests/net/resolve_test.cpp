#include <gtest/gtest.h>

#include "hook_log.h"
#include "net/socket_api.h"
#include "net/tcp_socket.h"

namespace qelvo::net {
namespace {

TEST(Resolve, LibraryIsLoadedOnceAndCounted) {
  TTCPBlockSocket s;  // the first socket loads the library for the process
  const int before = SocketLibraryLoadCount();
  EXPECT_GE(before, 1);
  EXPECT_TRUE(LoadSocketLibrary());
  EXPECT_EQ(SocketLibraryLoadCount(), before + 1);
  EXPECT_TRUE(ReleaseSocketLibrary());
  EXPECT_EQ(SocketLibraryLoadCount(), before);
  EXPECT_TRUE(HasAddrInfoApi(wsa::WS_AF_INET));
  EXPECT_EQ(s.WSAData().wVersion, 0x0202);
  EXPECT_FALSE(LoadSocketLibrary("nosuch.dll") && SocketLibraryLoadCount() == 0);
}

TEST(Resolve, FillSocketAddressPrefersIPv4ForAnyFamily) {
  TTCPBlockSocket s;
  TVarSin sin;
  ASSERT_EQ(FillSocketAddress(sin, "localhost", "80", wsa::WS_AF_UNSPEC, 6, 1, true), 0);
  EXPECT_EQ(sin.sin_family, wsa::WS_AF_INET);
  EXPECT_EQ(SocketAddressText(sin), "127.0.0.1");
  EXPECT_EQ(SocketAddressPort(sin), 80);
  EXPECT_EQ(SocketAddressLength(sin), 16);

  ASSERT_EQ(FillSocketAddress(sin, "0.0.0.0", "0", wsa::WS_AF_UNSPEC, 6, 1, true), 0);
  EXPECT_EQ(SocketAddressText(sin), "0.0.0.0");
  EXPECT_EQ(SocketAddressPort(sin), 0);

  ASSERT_EQ(FillSocketAddress(sin, "::0", "21", wsa::WS_AF_INET6, 6, 1, true), 0);
  EXPECT_EQ(sin.sin_family, wsa::WS_AF_INET6);
  EXPECT_EQ(SocketAddressText(sin), "::");
  EXPECT_EQ(SocketAddressLength(sin), 28);

  ASSERT_EQ(FillSocketAddress(sin, "::1", "8080", wsa::WS_AF_INET6, 6, 1, true), 0);
  EXPECT_EQ(SocketAddressText(sin), "::1");
  EXPECT_EQ(SocketAddressPort(sin), 8080);

  // A name with only an IPv6 address under the open family: the IPv4 pass fails, the
  // IPv6 pass answers.
  ASSERT_EQ(FillSocketAddress(sin, "fe80::1", "1", wsa::WS_AF_UNSPEC, 6, 1, true), 0);
  EXPECT_EQ(sin.sin_family, wsa::WS_AF_INET6);

  EXPECT_EQ(FillSocketAddress(sin, "no-such-host.invalid", "80", wsa::WS_AF_UNSPEC, 6, 1, true), 11001);
  EXPECT_EQ(SocketAddressText(sin), "");
}

TEST(Resolve, HostAddressesPortsAndNames) {
  TTCPBlockSocket s;
  rtl::TStringList list;
  LookupHostAddresses("localhost", wsa::WS_AF_INET, 6, 1, list);
  ASSERT_GE(list.Count(), 1);
  for (const auto& a : list.Lines()) EXPECT_EQ(a.find(':'), std::string::npos) << a;
  LookupHostAddresses("::1", wsa::WS_AF_INET, 6, 1, list);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list[0], "0.0.0.0");
  LookupHostAddresses("no-such-host.invalid", wsa::WS_AF_UNSPEC, 6, 1, list);
  EXPECT_EQ(list[0], "0.0.0.0");

  EXPECT_EQ(s.ResolveName("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(s.ResolvePort("8997"), 8997);
  EXPECT_EQ(s.ResolvePort("http"), 80);
  EXPECT_EQ(s.ResolvePort("no-such-service"), 0);
  EXPECT_EQ(s.ResolveIPToName("127.0.0.1"), "localhost");
  EXPECT_EQ(s.ResolveIPToName("no-such-host.invalid"), "0.0.0.0");
  EXPECT_FALSE(s.LocalName().empty());
}

TEST(Resolve, ErrorDescriptions) {
  EXPECT_EQ(TBlockSocket::GetErrorDesc(0), "");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(10054), "Connection reset by peer");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(10061), "Connection refused");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(10059), "Too many references:can't splice");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(11004), "Valid name, no data record of requested type");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(12345), "Other Winsock error (12345)");
}

}  // namespace
}  // namespace qelvo::net
