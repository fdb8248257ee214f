#pragma once
// Hand-made ZIP archives for the tests, and a minimal reader of their central directory.
// The builder's defaults make a valid archive of the given entries; every header field
// can be set, and the layout options make the variants a reader must cope with (a stub
// in front, zip64 records, a wrong count, trailing bytes, ...).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "rtl/byte_order.h"

namespace qelvo::test {

using rtl::AppendLe16;
using rtl::AppendLe32;
using rtl::AppendLe64;

// One item. Data holds the bytes as stored (already compressed or encrypted); CRC and
// sizes left unset are those of Data.
struct TZipEntry {
  std::string Name;
  std::string Data;
  uint16_t Method = 0;
  uint16_t Flags = 0;
  uint16_t VersionNeeded = 20;
  uint16_t VersionMadeBy = 0x0314;  // Unix host, 2.0
  uint16_t Time = 0x6000;           // 12:00:00
  uint16_t Date = 0x5A21;           // 2025-01-01
  std::optional<uint32_t> Crc;
  std::optional<uint32_t> CompressedSize;
  std::optional<uint32_t> UncompressedSize;
  uint32_t ExternalAttributes = 0100644u << 16;
  std::string CentralExtra;
  std::string Comment;
  // The local header carries zero CRC and sizes, and a data descriptor follows the data.
  bool ZeroLocalSizes = false;
};

// A stored or deflated (by zlib) item with CRC and sizes of the plain data, a folder.
TZipEntry StoredEntry(const std::string& name, const std::string& plain);
TZipEntry DeflatedEntry(const std::string& name, const std::string& plain);
TZipEntry FolderEntry(const std::string& name);

struct TZipLayout {
  std::string Prefix;  // bytes before the first local header (a stub)
  std::string ArchiveComment;
  bool Zip64 = false;  // escape every size/offset/count and add the zip64 records
  bool OmitZip64Locator = false;
  int64_t AnnouncedEntries = -1;  // -1: the real count
  std::string Suffix;             // bytes after the end record
  uint16_t DiskNumber = 0;
  bool OffsetsFromArchiveStart = false;  // offsets not counting the prefix

  TZipLayout WithPrefix(std::string v) const { TZipLayout l = *this; l.Prefix = std::move(v); return l; }
  TZipLayout WithComment(std::string v) const { TZipLayout l = *this; l.ArchiveComment = std::move(v); return l; }
  TZipLayout WithZip64() const { TZipLayout l = *this; l.Zip64 = true; return l; }
  TZipLayout WithoutZip64Locator() const { TZipLayout l = *this; l.OmitZip64Locator = true; return l; }
  TZipLayout Announcing(int64_t n) const { TZipLayout l = *this; l.AnnouncedEntries = n; return l; }
  TZipLayout WithSuffix(std::string v) const { TZipLayout l = *this; l.Suffix = std::move(v); return l; }
  TZipLayout OnDisk(uint16_t n) const { TZipLayout l = *this; l.DiskNumber = n; return l; }
};

// Local headers and data, the central directory, the zip64 records when asked, the end
// record.
std::string BuildZip(const std::vector<TZipEntry>& entries, const TZipLayout& layout = {});
// One central header record alone.
std::string CentralHeader(const TZipEntry& e, uint32_t offset);
// An extra field: id, length, data.
std::string SubField(uint16_t id, const std::string& data);

// An item as the central directory of a ZIP file lists it, with its stored data.
struct TListedEntry {
  std::string Name;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint32_t Crc32 = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  std::string Data;  // the stored bytes (for an encrypted item, header included)
  uint16_t LocalFlags = 0;
  uint16_t LocalModTime = 0;
};

// The items of a well-formed archive (no zip64); none when there is no end record.
std::vector<TListedEntry> ReadZipEntries(const std::string& zip);

}  // namespace qelvo::test
