#pragma once
// Tar headers: the 512-byte block, its number fields, the checksum, and LoadTarItem,
// which reads one item's chain of header blocks (GNU long name and link headers, POSIX
// pax extended headers) and parses the item header that ends it.
//
// Extension data (long names, pax records) is held in memory, so it is bounded: data
// larger than kMaxExtensionData makes the item unknown instead of sizing an allocation
// by a number taken from the file.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_item.h"
#include "rtl/date_time.h"
#include "rtl/stream.h"

namespace qelvo::codecs {

constexpr int64_t kTarBlockSize = 512;
constexpr int64_t kMaxExtensionData = 1 << 20;

enum TArcTarHeaderFormat {
  UNKNOWN_FORMAT = 0,
  V7_FORMAT = 1,
  OLDGNU_FORMAT = 2,
  GNU_FORMAT = 3,
  USTAR_FORMAT = 4,
  STAR_FORMAT = 5,
  POSIX_FORMAT = 6,
};

enum TArcTarItemType { SUPPORTED_ITEM = 0, UNSUPPORTED_ITEM = 1, UNKNOWN_ITEM = 2 };

// Block type codes of an item's header chain.
enum TArcTarBlockType : uint8_t { tbItemHeader = 0, tbExtensionHeader = 1, tbExtensionData = 2, tbUnknownHeader = 3 };

struct TArcTarHeaderRec {
  uint8_t Bytes[kTarBlockSize];
  std::string_view Field(size_t offset, size_t width) const {
    return {reinterpret_cast<const char*>(Bytes) + offset, width};
  }
  uint8_t LinkFlag() const { return Bytes[156]; }
};

// Values of POSIX pax records the reader honours; a global header's values hold for the
// items after it, an item's own ones override them.
struct TArcTarPaxValues {
  bool HasPath = false, HasLinkPath = false, HasSize = false, HasModTime = false;
  std::string Path, LinkPath;
  int64_t Size = 0;
  int64_t ModTime = 0;
  void Merge(const TArcTarPaxValues& other);
};

struct TArcTarItemRec {
  std::string Name;
  uint32_t Mode = 0;
  uint32_t uid = 0;
  uint32_t gid = 0;
  int64_t Size = 0;
  int64_t ModTime = 0;
  bool ChkSumPass = false;
  uint8_t LinkFlag = 0;
  TArcTarItemType ItemType = UNKNOWN_ITEM;
  std::string LinkName;
  std::string Magic;
  uint32_t Version = 0;
  std::string UsrName;
  std::string GrpName;
  uint32_t DevMajor = 0;
  uint32_t DevMinor = 0;
  int64_t AccessTime = 0;
  int64_t ChangeTime = 0;
  TArcTarHeaderFormat ArchiveFormat = UNKNOWN_FORMAT;
  int64_t StreamPosition = 0;
  bool Dirty = false;
  bool ItemReadOnly = false;
  uint32_t FileHeaderCount = 0;
};

// A number field: octal digits after leading spaces (stopping at the first other byte),
// or the base-256 form (top bit of the first byte set) GNU tar uses for large values.
// Negative and out-of-range values give 0.
int64_t OctalToInt(std::string_view field);
// Sum of all bytes with the 8 checksum bytes counted as spaces.
uint32_t TarChecksum(const TArcTarHeaderRec& block);
// Whether the block's stored checksum matches.
bool TarChecksumPasses(const TArcTarHeaderRec& block);
// The first block of a compressed tar, as far as a probe of a few decoded bytes can tell:
// a header whose checksum passes (extension headers included), or a zero end block.
bool LooksLikeTarStart(const TArcTarHeaderRec& block);
// Whether a header of this flag is followed by its Size bytes of data.
bool TarFlagCarriesData(uint8_t flag);
// Data blocks that follow a header announcing size bytes.
int64_t TarDataBlocks(int64_t size);
// Parses "length key=value\n" records; a record whose length does not fit raises
// EArcTarInvalid. Unknown keys are skipped.
TArcTarPaxValues ParsePaxRecords(std::string_view data);
// Unix seconds to a local date-time with the machine's current bias; before 1970 gives 0.
rtl::TDateTime UnixTimeToLocal(int64_t unixTime);

class TArcTarItem : public archive::TArcArchiveItem {
 public:
  int64_t CompressedSize() const override { return FTarItem.Size; }
  int64_t UncompressedSize() const override { return FTarItem.Size; }
  uint32_t ExternalFileAttributes() const override { return FTarItem.Mode; }
  uint32_t NativeFileAttributes() const override;
  bool IsDirectory() const override { return FTarItem.LinkFlag == '5'; }
  bool IsEncrypted() const override { return false; }
  rtl::TDateTime LastModTimeAsDateTime() const override { return UnixTimeToLocal(FTarItem.ModTime); }
  uint16_t LastModFileDate() const override;
  uint16_t LastModFileTime() const override;

  const TArcTarHeaderRec* PTarHeader() const { return FTarHeaderList.empty() ? nullptr : &FTarHeaderList.back(); }
  std::vector<TArcTarHeaderRec> FTarHeaderList;
  std::vector<TArcTarBlockType> FTarHeaderTypeList;
  TArcTarItemRec FTarItem;
};

// Reads one item at the stream's position and leaves the stream there again. globals
// (may be null) receives the values of pax global headers met on the way and supplies
// the earlier ones. A short read raises the stream read error.
void LoadTarItem(TArcTarItem& item, rtl::TStream& stream, TArcTarPaxValues* globals = nullptr);

// Finds item headers by scanning: extension headers and their data are skipped.
class TArcTarStreamHelper {
 public:
  explicit TArcTarStreamHelper(rtl::TStream* stream) : FStream(stream) {}
  bool FindFirstItem();
  // Skips the current item (its data taken as dataSize bytes, the header blocks before
  // it as FCurrItemPreHdrs), then scans for the next.
  bool FindNextItem(int64_t dataSize);
  bool FindNextItem() { return FindNextItem(FCurrItemSize); }
  TArcTarHeaderRec FTarHeader{};
  int64_t FCurrItemSize = 0;
  int64_t FCurrItemPreHdrs = 0;

 private:
  bool Scan();
  rtl::TStream* FStream;
};

}  // namespace qelvo::codecs
