#pragma once
// Shared helpers of the archive tests: temporary folders, peer tools, in-memory streams
// and a builder for hand-made ZIP records.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/stream.h"

namespace qelvo::archive::testing {

// A fresh folder under the system temp folder, removed with everything in it.
class TTempFolder {
 public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;
  const std::string& Native() const { return native_; }
  // The same folder in the program's Windows form ("Z:\tmp\..."), without trailing "\".
  const std::string& Windows() const { return windows_; }
  std::string NativePath(const std::string& relative) const { return native_ + "/" + relative; }
  std::string WindowsPath(const std::string& relative) const;

 private:
  std::string native_, windows_;
};

std::string ReadNativeFile(const std::string& path);
void WriteNativeFile(const std::string& path, const std::string& bytes);
bool NativeExists(const std::string& path);
bool HaveTool(const std::string& name);
// Runs a shell command; true when it exits with 0.
bool RunShell(const std::string& command);
std::string ShellQuote(const std::string& s);

std::unique_ptr<rtl::TMemoryStream> StreamOf(const std::string& bytes);

// The corpus folder (native path), or "" when it is not there.
std::string CorpusFolder();

// Little-endian appenders for hand-made records.
void Put16(std::string& s, uint16_t v);
void Put32(std::string& s, uint32_t v);
void Put64(std::string& s, uint64_t v);
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
