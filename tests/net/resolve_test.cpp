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

namespace qelvo::net {
namespace {

// Wine ships no wship6.dll; every Windows since XP has one.
bool HaveIp6Module() {
  const auto m = platform::LoadSocketModule("wship6.dll");
  if (m) platform::FreeSocketModule(m);
  return m != nullptr;
}

TEST(Resolve, ModulesExportTheirEntryPoints) {
  if (!HaveIp6Module()) GTEST_SKIP() << "wship6.dll cannot be loaded here (Wine has none)";
  const auto ws2 = platform::LoadSocketModule("WS2_32.DLL");
  const auto ip6 = platform::LoadSocketModule("wship6.dll");
  const auto old = platform::LoadSocketModule("wsock32.dll");
  ASSERT_TRUE(ws2 && ip6 && old);
  EXPECT_EQ(platform::LoadSocketModule("kernel32.dll"), nullptr);
  for (const char* name : {"socket", "recv", "WSAPoll", "getaddrinfo", "gethostbyname", "inet_ntoa"})
    EXPECT_NE(platform::GetSocketProcAddress(ws2, name), nullptr) << name;
  EXPECT_EQ(platform::GetSocketProcAddress(ws2, "nosuchcall"), nullptr);
  EXPECT_NE(platform::GetSocketProcAddress(ip6, "getnameinfo"), nullptr);
  EXPECT_EQ(platform::GetSocketProcAddress(ip6, "socket"), nullptr);
  EXPECT_EQ(platform::GetSocketProcAddress(old, "getaddrinfo"), nullptr);
  EXPECT_NE(platform::GetSocketProcAddress(old, "gethostbyname"), nullptr);
}

// Swaps the process-wide library for the one without the address-info calls, so the
// IPv4 resolvers take the legacy path, and restores it afterwards.
class LegacyLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    TTCPBlockSocket warmUp;  // make sure the process load happened
    while (SocketLibraryLoadCount() > 0) {
      ReleaseSocketLibrary();
      ++released_;
    }
    ASSERT_TRUE(LoadSocketLibrary("wsock32.dll"));
  }
  void TearDown() override {
    ReleaseSocketLibrary();
    for (int i = 0; i < released_; ++i) LoadSocketLibrary("ws2_32.dll");
    EXPECT_TRUE(HasAddrInfoApi(wsa::WS_AF_INET));
  }
  int released_ = 0;
};

TEST_F(LegacyLibrary, ResolversFallBackToTheOldCalls) {
  EXPECT_FALSE(HasAddrInfoApi(wsa::WS_AF_INET));
  EXPECT_EQ(HasAddrInfoApi(wsa::WS_AF_INET6), HaveIp6Module());  // through the secondary library
  TVarSin sin;
  ASSERT_EQ(FillSocketAddress(sin, "localhost", "http", wsa::WS_AF_INET, 6, 1, true), 0);
  EXPECT_EQ(SocketAddressText(sin), "127.0.0.1");
  EXPECT_EQ(SocketAddressPort(sin), 80);
  ASSERT_EQ(FillSocketAddress(sin, "10.1.2.3", "8997", wsa::WS_AF_INET, 6, 1, true), 0);
  EXPECT_EQ(SocketAddressText(sin), "10.1.2.3");
  EXPECT_EQ(SocketAddressPort(sin), 8997);
  ASSERT_EQ(FillSocketAddress(sin, "255.255.255.255", "1", wsa::WS_AF_INET, 6, 1, true), 0);
  EXPECT_EQ(SocketAddressText(sin), "255.255.255.255");
  EXPECT_EQ(FillSocketAddress(sin, "no-such-host.invalid", "80", wsa::WS_AF_INET, 6, 1, true), 11001);

  rtl::TStringList list;
  LookupHostAddresses("localhost", wsa::WS_AF_INET, 6, 1, list);
  EXPECT_EQ(list[0], "127.0.0.1");
  LookupHostAddresses("192.0.2.1", wsa::WS_AF_INET, 6, 1, list);
  EXPECT_EQ(list[0], "192.0.2.1");
  LookupHostAddresses("no-such-host.invalid", wsa::WS_AF_INET, 6, 1, list);
  EXPECT_EQ(list[0], "0.0.0.0");
  EXPECT_EQ(LookupPortNumber("ftp", wsa::WS_AF_INET, 6, 1), 21);
  EXPECT_EQ(LookupPortNumber("8080", wsa::WS_AF_INET, 6, 1), 8080);
  EXPECT_EQ(LookupHostName("127.0.0.1", wsa::WS_AF_INET, 6, 1), "localhost");

  // A whole connection over the legacy path.
  TTCPBlockSocket listener;
  listener.Bind("127.0.0.1", "0");
  listener.Listen();
  TTCPBlockSocket client;
  client.Connect("localhost", std::to_string(listener.GetLocalSinPort()));
  EXPECT_EQ(client.LastError, 0);
}

}  // namespace
}  // namespace qelvo::net
