// Shell Link (.lnk) writer. A link file is a fixed 76-byte header, optional structures
// selected by the header's flags, and a terminal block. We write the header, a LinkInfo
// structure that locates the target by its local path (in the ANSI code page and in
// UTF-16), and the description, working folder and arguments as counted UTF-16
// strings; no item-ID list, which Windows rebuilds from the LinkInfo path when it
// resolves the link. All integers are little-endian.
#include "platform/code_page.h"
#include "platform/shell.h"

namespace qelvo::platform {
namespace {

enum : uint32_t {
  HasLinkInfo = 0x00000002,
  HasName = 0x00000004,
  HasWorkingDir = 0x00000010,
  HasArguments = 0x00000020,
  IsUnicode = 0x00000080,
};
enum : uint32_t { VolumeIDAndLocalBasePath = 0x00000001 };
constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint32_t kLinkInfoHeaderSize = 0x24;  // with the two Unicode offsets
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kShowNormal = 1;
// {00021401-0000-0000-C000-000000000046} in its stored byte order.
constexpr unsigned char kShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

void PutU16(rtl::ByteString& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(rtl::ByteString& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}
void PutU64(rtl::ByteString& out, uint64_t v) {
  PutU32(out, static_cast<uint32_t>(v));
  PutU32(out, static_cast<uint32_t>(v >> 32));
}
void PutUtf16(rtl::ByteString& out, std::u16string_view s) {
  for (const char16_t c : s) PutU16(out, c);
}
void SetU32At(rtl::ByteString& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A counted string of StringData; the count field holds at most 65535 code units.
void PutStringData(rtl::ByteString& out, const std::string& text) {
  std::u16string w = rtl::Utf8ToUtf16(text);
  if (w.size() > 0xFFFF) w.resize(0xFFFF);
  PutU16(out, static_cast<uint32_t>(w.size()));
  PutUtf16(out, w);
}

rtl::ByteString LinkInfo(const std::string& targetPath) {
  rtl::ByteString info(kLinkInfoHeaderSize, '\0');
  const uint32_t volumeIdOffset = static_cast<uint32_t>(info.size());
  PutU32(info, 0x11);  // VolumeIDSize: 16-byte fixed part and the empty label
  PutU32(info, kDriveFixed);
  PutU32(info, 0);     // drive serial number
  PutU32(info, 0x10);  // volume label offset
  info += '\0';
  const uint32_t localBasePathOffset = static_cast<uint32_t>(info.size());
  info += platform::Utf8ToAnsi(targetPath);
  info += '\0';
  const uint32_t commonPathSuffixOffset = static_cast<uint32_t>(info.size());
  info += '\0';
  while (info.size() % 2 != 0) info += '\0';
  const uint32_t localBasePathUnicodeOffset = static_cast<uint32_t>(info.size());
  PutUtf16(info, rtl::Utf8ToUtf16(targetPath));
  PutU16(info, 0);
  const uint32_t commonPathSuffixUnicodeOffset = static_cast<uint32_t>(info.size());
  PutU16(info, 0);

  SetU32At(info, 0, static_cast<uint32_t>(info.size()));
  SetU32At(info, 4, kLinkInfoHeaderSize);
  SetU32At(info, 8, VolumeIDAndLocalBasePath);
  SetU32At(info, 12, volumeIdOffset);
  SetU32At(info, 16, localBasePathOffset);
  SetU32At(info, 20, 0);  // no network location
  SetU32At(info, 24, commonPathSuffixOffset);
  SetU32At(info, 28, localBasePathUnicodeOffset);
  SetU32At(info, 32, commonPathSuffixUnicodeOffset);
  return info;
}

}  // namespace

rtl::ByteString EncodeShellLink(const TShellLink& link, const TShellLinkTargetInfo& target) {
  uint32_t flags = HasLinkInfo | IsUnicode;
  if (!link.Description.empty()) flags |= HasName;
  if (!link.WorkingDirectory.empty()) flags |= HasWorkingDir;
  if (!link.Arguments.empty()) flags |= HasArguments;

  rtl::ByteString out;
  PutU32(out, kHeaderSize);
  out.append(reinterpret_cast<const char*>(kShellLinkClsid), sizeof kShellLinkClsid);
  PutU32(out, flags);
  PutU32(out, target.FileAttributes);
  PutU64(out, target.CreationTime);
  PutU64(out, target.AccessTime);
  PutU64(out, target.WriteTime);
  PutU32(out, target.FileSize);
  PutU32(out, 0);  // icon index
  PutU32(out, kShowNormal);
  PutU16(out, 0);  // hot key
  PutU16(out, 0);
  PutU32(out, 0);
  PutU32(out, 0);

  out += LinkInfo(link.Path);
  if (flags & HasName) PutStringData(out, link.Description);
  if (flags & HasWorkingDir) PutStringData(out, link.WorkingDirectory);
  if (flags & HasArguments) PutStringData(out, link.Arguments);
  PutU32(out, 0);  // terminal block
  return out;
}

}  // namespace qelvo::platform
