// What only the Windows platform does: the shell's folders and links, the system's locale,
// the sockets and cabinet libraries loaded at run time.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "platform/cabinet.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/locale_settings.h"
#include "platform/shell.h"
#include "platform/sockets.h"
#include "rtl/stream.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace qelvo::platform {
namespace {

TEST(Native, DesktopFolderFromTheShell) {
  const std::string desktop = GetSpecialFolder(CSIDL_DESKTOP);
  ASSERT_FALSE(desktop.empty());
  EXPECT_EQ(desktop.back(), '\\');
  EXPECT_TRUE(DirectoryExists(desktop)) << desktop;
}

TEST(Native, UserLocaleSeparators) {
  const rtl::TFormatSettings fs = UserFormatSettings();
  EXPECT_FALSE(fs.DecimalSeparator.empty());
  EXPECT_NE(fs.DecimalSeparator, fs.ThousandSeparator);
}

TEST(Native, SocketModulesAndTheirExports) {
  TSocketModule ws2 = LoadSocketModule("WS2_32.DLL");
  ASSERT_NE(ws2, nullptr);
  for (const char* name : {"WSAStartup", "socket", "WSAPoll", "getaddrinfo", "getnameinfo", "getservbyname"})
    EXPECT_NE(GetSocketProcAddress(ws2, name), nullptr) << name;
  EXPECT_EQ(GetSocketProcAddress(ws2, "no_such_export"), nullptr);
  EXPECT_EQ(LoadSocketModule("ws2_33.dll"), nullptr);

  // The service record comes back in this layer's layout on every Windows.
  auto startup = reinterpret_cast<TWSAStartup>(GetSocketProcAddress(ws2, "WSAStartup"));
  TWSAData data{};
  ASSERT_EQ(startup(0x0202, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  auto serv = reinterpret_cast<TGetServByName>(GetSocketProcAddress(ws2, "getservbyname"));
  if (const TServEnt* http = serv("http", "tcp")) {
    EXPECT_EQ(http->s_port, 80 << 8);
    EXPECT_STREQ(http->s_proto, "tcp");
  }
  reinterpret_cast<TWSACleanup>(GetSocketProcAddress(ws2, "WSACleanup"))();
  FreeSocketModule(ws2);
}

// The fixed part of a cabinet header: signature, sizes, version 1.3, one folder, one file.
std::string CabinetHeader() {
  std::string h = "MSCF";
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) h += static_cast<char>((v >> (8 * i)) & 0xFF); };
  auto u16 = [&](uint16_t v) { h += static_cast<char>(v & 0xFF); h += static_cast<char>(v >> 8); };
  u32(0);
  u32(80);  // cabinet size
  u32(0);
  u32(44);  // first file entry
  u32(0);
  h += '\x03';
  h += '\x01';
  u16(1);  // folders
  u16(1);  // files
  u16(0);  // flags
  u16(0x1234);
  u16(0);
  u32(80);  // folder: data offset
  u16(0);
  u16(0);
  h.resize(80, '\0');
  return h;
}

TEST(Native, CabinetProbeThroughTheCabinetLibrary) {
  rtl::TMemoryStream cab;
  const std::string header = CabinetHeader();
  cab.WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
  cab.Seek(7, rtl::soBeginning);
  EXPECT_EQ(ProbeCabinetStream(cab), TCabinetProbe::Cabinet);
  EXPECT_EQ(cab.Position(), 7);

  rtl::TMemoryStream other;
  other.WriteBuffer("PK\x03\x04 not a cabinet at all", 26);
  EXPECT_EQ(ProbeCabinetStream(other), TCabinetProbe::NotCabinet);
}

// The fields lnkinfo shows that both writers set.
std::set<std::string> LinkFields(const std::string& lnkinfoOutput) {
  std::set<std::string> fields;
  std::istringstream in(lnkinfoOutput);
  for (std::string line; std::getline(in, line);) {
    for (const char* key : {"Description", "Working directory", "Local path", "Command line arguments"})
      if (line.find(key) != std::string::npos) fields.insert(line.substr(line.find_first_not_of(" \t")));
  }
  return fields;
}

TEST(Native, ShortcutThroughComCarriesTheWriterFields) {
  if (!qelvo::test::HaveTool("lnkinfo")) GTEST_SKIP() << "lnkinfo (liblnk-utils) is not reachable from this program";
  qelvo::test::TempFolder tmp("lnk");
  ASSERT_TRUE(ForceDirectories(tmp.WindowsFile("QelvoERP")));
  { TFileStream(tmp.WindowsFile("QelvoERP\\Vaskir2.exe"), fmCreate).WriteString("MZ"); }
  TShellLink link;
  link.Description = "QelvoERP";
  link.Path = tmp.WindowsFile("QelvoERP\\Vaskir2.exe");
  link.WorkingDirectory = tmp.WindowsFile("QelvoERP\\");
  ASSERT_TRUE(SaveShellLink(link, tmp.WindowsFile("com.lnk")));
  const rtl::ByteString bytes = EncodeShellLink(link, TShellLinkTargetInfo{});
  qelvo::test::WriteFile(tmp.File("writer.lnk"), bytes);

  auto info = [&](const std::string& name) {
    const std::string out = tmp.File(name + ".txt");
    EXPECT_EQ(qelvo::test::ShellStatus("lnkinfo " + qelvo::test::ShellQuote(tmp.File(name)) + " >" + qelvo::test::ShellQuote(out)), 0);
    return qelvo::test::ReadFile(out);
  };
  const std::string com = info("com.lnk");
  const std::set<std::string> fields = LinkFields(com);
  EXPECT_EQ(fields, LinkFields(info("writer.lnk"))) << com;
  EXPECT_EQ(fields.size(), 3u) << com;
}

}  // namespace
}  // namespace qelvo::platform
