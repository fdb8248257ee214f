#pragma once
// Helpers of the unzip tests: sample data, a writer for hand-made ZIP archives whose
// every header field can be set, and the extraction exactly as the installer runs it.
// Folders, files, tools and the corpus come from tests/support.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/types.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace qelvo::unzip::test {

namespace fs = std::filesystem;

using namespace qelvo::test;

// A native path in the program's Windows form ("Z:\tmp\...").
std::string Win(const fs::path& native);
// Deterministic bytes that deflate a little (text-like) or not at all.
std::string TextData(size_t size, uint32_t seed = 1);
std::string RandomData(size_t size, uint32_t seed = 1);
uint32_t Crc32(const std::string& data);
// Raw Deflate (no zlib header) at the given level.
std::string RawDeflate(const std::string& data, int level = 6);

// One item of a hand-made archive. The defaults make a valid stored item.
struct TZipEntry {
  std::string Name;
  std::string Data;        // the bytes as stored (already compressed/encrypted)
  uint16_t Method = 0;
  uint16_t Flags = 0;
  uint16_t VersionNeeded = 20;
  uint16_t VersionMadeBy = 0x0314;  // Unix host, 2.0
  uint16_t Time = 0x6000;  // 12:00:00
  uint16_t Date = 0x5A21;  // 2025-01-01
  uint32_t Crc = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint32_t ExternalAttributes = 0100644u << 16;
  // When set, the local header carries zero CRC and sizes (as with a data descriptor).
  bool ZeroLocalSizes = false;
};

// A stored or deflated item with CRC and sizes filled in from the plain data.
TZipEntry StoredEntry(const std::string& name, const std::string& plain);
TZipEntry DeflatedEntry(const std::string& name, const std::string& plain);
TZipEntry FolderEntry(const std::string& name);

// Local headers and data, then the central directory and the end record.
std::string BuildZip(const std::vector<TZipEntry>& entries, const std::string& prefix = {});

struct TItemFailure {
  std::string Name;
  archive::TArcProcessType ProcessType;
  archive::TArcErrorClass ErrorClass;
  int32_t ErrorCode;
  bool operator==(const TItemFailure&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TItemFailure& f);

// Create, options [eoCreateDirs, eoRestorePath], file name, base folder, "*.*", free:
// the installer's sequence. The failures are recorded when failures is given (the
// installer itself sets no handler).
void ExtractAsInstaller(const std::string& zipFile, const std::string& baseDirectory,
                        std::vector<TItemFailure>* failures = nullptr, const std::string& password = {});

// Every file item of the archive is on disk below base with its size and CRC-32; the
// number of files checked goes to filesChecked.
void ExpectTreeMatchesItems(const std::string& zipFile, const fs::path& base, int* filesChecked = nullptr);

}  // namespace qelvo::unzip::test
