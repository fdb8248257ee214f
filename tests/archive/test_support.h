#pragma once
// Helpers of the archive tests: in-memory streams and a builder for hand-made ZIP
// records. Folders, files, tools and the corpus come from tests/support.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/stream.h"
#include "tests/support/files.h"
#include "tests/support/le_bytes.h"
#include "tests/support/temp_folder.h"

namespace qelvo::archive::testing {

std::unique_ptr<rtl::TMemoryStream> StreamOf(const std::string& bytes);

using qelvo::test::Put16;
using qelvo::test::Put32;
using qelvo::test::Put64;
std::string SubField(uint16_t id, const std::string& data);

struct TTestEntry {
  std::string Name;
  std::string Data;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t VersionMadeBy = 0x0314;  // Unix, 2.0
  uint16_t VersionNeeded = 20;
  uint16_t Time = 0x6000;  // 12:00:00
  uint16_t Date = 0x5A21;  // 2025-01-01
  uint32_t External = 0x81A40000;
  std::string CentralExtra;
  std::string Comment;
};

struct TZipLayout {
  std::string Prefix;          // bytes before the first local header (a stub)
  std::string ArchiveComment;
  bool Zip64 = false;          // escape every size/offset/count and add the zip64 records
  bool OmitZip64Locator = false;
  int64_t AnnouncedEntries = -1;  // -1: the real count
  std::string Suffix;          // bytes after the end record
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

// A complete archive of stored entries.
std::string BuildZip(const std::vector<TTestEntry>& entries, const TZipLayout& layout = {});
// One central header record alone.
std::string CentralHeader(const TTestEntry& e, uint32_t offset);

}  // namespace qelvo::archive::testing
