#pragma once
// Gzip members (RFC 1952): the header with its optional fields, and the decoding of a
// file's members one after another, each checked against its own tail.
#include <cstdint>
#include <string>

#include "archive/archive_item.h"
#include "archive/extra_field.h"
#include "rtl/stream.h"

namespace qelvo::codecs {

enum TArcGzFileSystem {
  osFat, osAmiga, osVMS, osUnix, osVM_CMS, osAtariTOS, osHPFS, osMacintosh, osZSystem, osCP_M,
  osTOPS20, osNTFS, osQDOS, osAcornRISCOS, osVFAT, osMVS, osBeOS, osTandem, osTHEOS, osUnknown, osUndefined,
};

struct TArcGzHeader {
  uint8_t ID1 = 0, ID2 = 0, CompMethod = 0, Flags = 0;
  uint32_t ModTime = 0;
  uint8_t XtraFlags = 0, OS = 0;
  bool Valid() const { return ID1 == 31 && ID2 == 139 && CompMethod == 8; }
  TArcGzFileSystem FileSystem() const;
};

struct TArcGzTailRec {
  uint32_t CRC32 = 0;
  uint32_t ISize = 0;
};

class TArcGzipItem : public archive::TArcArchiveItem {
 public:
  bool IsEncrypted() const override { return (FGZHeader.Flags & 0x20) != 0; }
  uint32_t NativeFileAttributes() const override { return 0; }
  rtl::TDateTime LastModTimeAsDateTime() const override;
  uint16_t LastModFileDate() const override;
  uint16_t LastModFileTime() const override;

  TArcGzHeader FGZHeader;
  archive::TArcExtraField FExtraField;
  std::string FFileComment;
  std::string FRawFileName;
};

// Reads the member header at the stream's position; answers false (the stream left
// after the 10 fixed bytes) when the IDs or method are wrong. Strings are bounded by the
// stream; a header cut short raises EReadError.
bool LoadGzHeader(TArcGzipItem& item, rtl::TStream& stream);

struct TArcGzDecodeResult {
  int Members = 0;
  int64_t NormalSize = 0;  // bytes produced, all members
};

// Decodes the member at the stream's position and every member that follows it into
// dest. Each member's CRC-32 and size are compared with its tail: a mismatch raises
// EArcGzipBadCRC or EArcGzipBadFileSize, a missing tail EReadError. Bytes after the last
// member that do not start another one are ignored. dest may be a TArcBitBucketStream,
// in which case nothing is kept (test mode).
TArcGzDecodeResult DecodeGzipMembers(rtl::TStream& source, rtl::TStream& dest);

}  // namespace qelvo::codecs
