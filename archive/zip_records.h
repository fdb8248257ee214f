#pragma once
// ZIP record layouts (all integers little-endian): local and central file headers, the
// end-of-central-directory record with its zip64 record and locator, and the data
// descriptor. Each class reads and writes one record; derived properties decode the
// flag bits, method and version fields.
#include <cstdint>
#include <string>

#include "archive/extra_field.h"
#include "rtl/stream.h"
#include "rtl/text.h"

namespace qelvo::archive {

inline constexpr uint32_t kZipLocalFileHeaderSignature = 0x04034B50;
inline constexpr uint32_t kZipDataDescriptorSignature = 0x08074B50;
inline constexpr uint32_t kZipCentralFileHeaderSignature = 0x02014B50;
inline constexpr uint32_t kZip64EndOfCentralDirSignature = 0x06064B50;
inline constexpr uint32_t kZip64EndOfCentralDirLocatorSignature = 0x07064B50;
inline constexpr uint32_t kZipEndOfCentralDirSignature = 0x06054B50;
inline constexpr uint32_t kZipSpannedSetSignature = 0x08074B50;
inline constexpr uint32_t kZipPossiblySpannedSignature = 0x30304B50;
inline constexpr uint16_t kDosExecutableMarker = 0x5A4D;   // "MZ"
inline constexpr uint32_t kElfExecutableMarker = 0x464C457F;  // 0x7F "ELF"

inline constexpr int kZipLocalFileHeaderSize = 30;
inline constexpr int kZipCentralFileHeaderSize = 46;
inline constexpr int kZipEndOfCentralDirSize = 22;
inline constexpr int kZip64EndOfCentralDirSize = 56;
inline constexpr int kZip64LocatorSize = 20;

// General purpose flag bits.
inline constexpr uint16_t kZipFlagEncrypted = 0x0001;
inline constexpr uint16_t kZipFlagOption1 = 0x0002;
inline constexpr uint16_t kZipFlagOption2 = 0x0004;
inline constexpr uint16_t kZipFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kZipFlagUTF8 = 0x0800;

// Host systems (high byte of version made by).
inline constexpr uint8_t kZipHostDos = 0;
inline constexpr uint8_t kZipHostUnix = 3;

enum TArcZipDictionarySize { dsInvalid = 0, ds4K = 1, ds8K = 2 };
enum TArcZipDeflationOption { doInvalid = 0, doNormal = 1, doMaximum = 2, doFast = 3, doSuperFast = 4 };
enum TArcZipSupportedMethod { smStored = 0, smDeflated = 1, smBestMethod = 2 };

// The method number of a 16-bit method field: its low byte without the top bit.
inline uint8_t ZipMethodOf(uint16_t methodField) { return static_cast<uint8_t>(methodField & 0x7F); }
// The short name of a method number ("Stored", "Deflated", ...); "Unk:NNN" for a number
// without one. The top bit is ignored, as by ZipMethodOf.
std::string ZipMethodName(uint8_t method);

// The common part of local and central headers.
class TArcZipFileHeader {
 public:
  explicit TArcZipFileHeader(uint32_t validSignature) : FValidSignature(validSignature) {}
  virtual ~TArcZipFileHeader() = default;
  TArcZipFileHeader(const TArcZipFileHeader&) = delete;
  TArcZipFileHeader& operator=(const TArcZipFileHeader&) = delete;

  // Fixed fields as far as the stream has them (a field it cannot fill stays as it
  // was); a wrong signature raises EArcZipInvalid before the variable parts are read;
  // then the name as far as it goes and the extra field exactly (EReadError).
  virtual void LoadFromStream(rtl::TStream& stream);
  virtual void SaveToStream(rtl::TStream& stream);

  bool IsValid() const { return FSignature == FValidSignature; }
  bool IsEncrypted() const { return (FGeneralPurposeBitFlag & kZipFlagEncrypted) != 0; }
  bool IsUTF8() const { return (FGeneralPurposeBitFlag & kZipFlagUTF8) != 0; }
  bool HasDataDescriptor() const;
  uint8_t CompressionMethod() const { return ZipMethodOf(FCompressionMethod); }
  TArcZipDictionarySize DictionarySize() const;
  int ShannonFanoTreeCount() const;
  TArcZipDeflationOption DeflationOption() const;
  // 100 * (1 - C / U) over the 32-bit sizes (C less 12 for encrypted items); 0 when U is 0.
  double CompressionRatio() const;

  uint32_t FValidSignature;
  uint32_t FSignature = 0;
  uint16_t FVersionNeededToExtract = 0;
  uint16_t FGeneralPurposeBitFlag = 0;
  uint16_t FCompressionMethod = 0;
  uint16_t FLastModFileTime = 0;
  uint16_t FLastModFileDate = 0;
  uint32_t FCRC32 = 0;
  uint32_t FCompressedSize = 0;
  uint32_t FUncompressedSize = 0;
  rtl::ByteString FFileName;
  TArcExtraField FExtraField;
};

class TArcZipLocalFileHeader : public TArcZipFileHeader {
 public:
  TArcZipLocalFileHeader() : TArcZipFileHeader(kZipLocalFileHeaderSignature) {}
  void LoadFromStream(rtl::TStream& stream) override;
  void SaveToStream(rtl::TStream& stream) override;
  // Bytes from the start of the header to the first data byte.
  int64_t HeaderSize() const { return kZipLocalFileHeaderSize + int64_t(FFileName.size()) + FExtraField.Buffer().size(); }
};

class TArcZipDirectoryFileHeader : public TArcZipFileHeader {
 public:
  TArcZipDirectoryFileHeader() : TArcZipFileHeader(kZipCentralFileHeaderSignature) {}
  void LoadFromStream(rtl::TStream& stream) override;
  void SaveToStream(rtl::TStream& stream) override;
  uint8_t HostSystem() const { return static_cast<uint8_t>(FVersionMadeBy >> 8); }

  uint16_t FVersionMadeBy = 0;
  uint16_t FDiskNumberStart = 0;
  uint16_t FInternalFileAttributes = 0;
  uint32_t FExternalFileAttributes = 0;
  uint32_t FRelativeOffset = 0;
  rtl::ByteString FFileComment;
};

// End of central directory data, widened so that zip64 values fit.
class TArcZipDirectoryFileFooter {
 public:
  // Exactly 22 bytes then exactly the comment (EReadError); wrong signature EArcZipInvalid.
  void LoadFromStream(rtl::TStream& stream);
  // The 56-byte zip64 record; replaces each field that holds its escape value.
  void LoadZip64FromStream(rtl::TStream& stream);
  void SaveToStream(rtl::TStream& stream);
  bool IsZip64() const;

  uint32_t FDiskNumber = 0;
  uint32_t FStartDiskNumber = 0;
  uint64_t FEntriesOnDisk = 0;
  uint64_t FTotalEntries = 0;
  uint64_t FDirectorySize = 0;
  uint64_t FDirectoryOffset = 0;
  rtl::ByteString FZipfileComment;
};

struct TArcZip64Locator {
  // Exactly 20 bytes (EReadError); the signature is left to the caller to check.
  void LoadFromStream(rtl::TStream& stream);
  bool IsValid() const { return FSignature == kZip64EndOfCentralDirLocatorSignature; }

  uint32_t FSignature = 0;
  uint32_t FZip64RecordDisk = 0;
  uint64_t FZip64RecordOffset = 0;
  uint32_t FTotalDisks = 0;
};

class TArcZipDataDescriptor {
 public:
  // Sizes are 8 bytes each when either is 0xFFFFFFFF or more.
  void SaveToStream(rtl::TStream& stream);
  // Reads a descriptor with or without its signature; zip64 chooses 8-byte sizes.
  void LoadFromStream(rtl::TStream& stream, bool zip64);

  uint32_t FCRC32 = 0;
  uint64_t FCompressedSize = 0;
  uint64_t FUncompressedSize = 0;
};

// Windows attribute bits of a Unix file mode.
uint32_t UnixModeToDosAttributes(uint32_t mode);
// Native attributes of an item from its host system and external attributes.
uint32_t ZipNativeFileAttributes(uint8_t hostSystem, uint32_t externalAttributes);

}  // namespace qelvo::archive
