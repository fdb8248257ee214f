#include "codecs/tar_header.h"

#include <algorithm>
#include <cstring>

#include "archive/dos_time.h"
#include "archive/errors.h"
#include "archive/stream_reads.h"
#include "archive/zip_names.h"
#include "archive/zip_records.h"
#include "platform/clock.h"

namespace qelvo::codecs {

using namespace archive;

namespace {

constexpr int64_t kMaxTarNumber = int64_t{1} << 62;

bool IsExtensionFlag(uint8_t flag) {
  return flag == 'L' || flag == 'K' || flag == 'x' || flag == 'g' || flag == 'X';
}

bool IsItemFlag(uint8_t flag) { return flag == 0 || flag == '0' || flag == '1' || flag == '2' || flag == '5'; }

bool IsUnsupportedFlag(uint8_t flag) { return std::strchr("3467DMSV", flag) != nullptr && flag != 0; }

// Flags whose header is followed by Size bytes of data.
bool CarriesData(uint8_t flag) { return flag == 0 || std::strchr("07DMSV", flag) != nullptr; }

std::string UpToNul(std::string_view field) { return std::string(field.substr(0, field.find('\0'))); }

// GNU long names carry a final NUL counted in the size.
std::string LongNameData(const std::string& data) {
  std::string name = data.empty() ? data : data.substr(0, data.size() - 1);
  return UpToNul(name);
}

bool HasUstarMagic(const TArcTarHeaderRec& block) { return std::memcmp(block.Bytes + 257, "ustar\0", 6) == 0; }

// Decimal digits of a pax value; a fraction ("1700000000.25") is dropped.
bool ParsePaxNumber(std::string_view text, int64_t& value) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  int64_t v = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (v > kMaxTarNumber / 10) return false;
    v = v * 10 + (text[i] - '0');
  }
  if (i == 0 || (i < text.size() && text[i] != '.')) return false;
  value = negative ? -v : v;
  return true;
}

}  // namespace

void TArcTarPaxValues::Merge(const TArcTarPaxValues& other) {
  if (other.HasPath) HasPath = true, Path = other.Path;
  if (other.HasLinkPath) HasLinkPath = true, LinkPath = other.LinkPath;
  if (other.HasSize) HasSize = true, Size = other.Size;
  if (other.HasModTime) HasModTime = true, ModTime = other.ModTime;
}

int64_t OctalToInt(std::string_view field) {
  if (!field.empty() && (static_cast<uint8_t>(field[0]) & 0x80) != 0) {
    if ((static_cast<uint8_t>(field[0]) & 0x40) != 0) return 0;  // negative
    uint64_t v = static_cast<uint8_t>(field[0]) & 0x3F;
    for (size_t i = 1; i < field.size(); ++i) {
      if (v > static_cast<uint64_t>(kMaxTarNumber) >> 8) return 0;
      v = (v << 8) | static_cast<uint8_t>(field[i]);
    }
    return static_cast<int64_t>(v);
  }
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  int64_t v = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) {
    if (v > kMaxTarNumber >> 3) return 0;
    v = v * 8 + (field[i] - '0');
  }
  return v;
}

uint32_t TarChecksum(const TArcTarHeaderRec& block) {
  uint32_t sum = 0;
  for (int i = 0; i < kTarBlockSize; ++i) sum += (i >= 148 && i < 156) ? uint32_t{' '} : block.Bytes[i];
  return sum;
}

bool TarChecksumPasses(const TArcTarHeaderRec& block) {
  return static_cast<int64_t>(TarChecksum(block)) == OctalToInt(block.Field(148, 8));
}

bool LooksLikeTarStart(const TArcTarHeaderRec& block) {
  bool zero = true;
  for (uint8_t b : block.Bytes) zero = zero && b == 0;
  return zero || TarChecksumPasses(block);
}

bool TarFlagCarriesData(uint8_t flag) { return CarriesData(flag); }

int64_t TarDataBlocks(int64_t size) { return size <= 0 ? 0 : (size + kTarBlockSize - 1) / kTarBlockSize; }

TArcTarPaxValues ParsePaxRecords(std::string_view data) {
  TArcTarPaxValues values;
  while (!data.empty() && data.front() != '\0') {
    const size_t space = data.find(' ');
    int64_t length = 0;
    if (space == std::string_view::npos || space == 0 || !ParsePaxNumber(data.substr(0, space), length) ||
        length <= static_cast<int64_t>(space) + 1 || length > static_cast<int64_t>(data.size()) ||
        data[static_cast<size_t>(length) - 1] != '\n')
      throw EArcTarInvalid();
    const std::string_view record = data.substr(space + 1, static_cast<size_t>(length) - space - 2);
    data.remove_prefix(static_cast<size_t>(length));
    const size_t eq = record.find('=');
    if (eq == std::string_view::npos) throw EArcTarInvalid();
    const std::string_view key = record.substr(0, eq);
    const std::string_view value = record.substr(eq + 1);
    if (key == "path") {
      values.HasPath = true, values.Path = std::string(value);
    } else if (key == "linkpath") {
      values.HasLinkPath = true, values.LinkPath = std::string(value);
    } else if (key == "size") {
      if (!ParsePaxNumber(value, values.Size) || values.Size < 0) throw EArcTarInvalid();
      values.HasSize = true;
    } else if (key == "mtime") {
      values.HasModTime = ParsePaxNumber(value, values.ModTime);
    }
  }
  return values;
}

rtl::TDateTime UnixTimeToLocal(int64_t unixTime) {
  const int64_t local = static_cast<int64_t>(static_cast<uint32_t>(unixTime)) - platform::CurrentBiasSeconds();
  if (local < 0) return 0;
  return rtl::EncodeDate(1970, 1, 1) + static_cast<double>(local / 86400) +
         static_cast<double>(local % 86400) / 86400.0;
}

uint32_t TArcTarItem::NativeFileAttributes() const { return UnixModeToDosAttributes(FTarItem.Mode); }

uint16_t TArcTarItem::LastModFileDate() const { return DateTimeToDosStamp(LastModTimeAsDateTime()).Date; }

uint16_t TArcTarItem::LastModFileTime() const { return DateTimeToDosStamp(LastModTimeAsDateTime()).Time; }

void LoadTarItem(TArcTarItem& item, rtl::TStream& stream, TArcTarPaxValues* globals) {
  TArcTarItemRec& rec = item.FTarItem;
  const int64_t position = rec.StreamPosition;
  rec = TArcTarItemRec{};
  rec.StreamPosition = position;
  item.FTarHeaderList.clear();
  item.FTarHeaderTypeList.clear();
  std::string longName, longLink;
  bool hasLongName = false, hasLongLink = false;
  TArcTarPaxValues pax;
  if (globals != nullptr) pax = *globals;

  auto readBlock = [&](TArcTarBlockType type) -> TArcTarHeaderRec& {
    TArcTarHeaderRec& block = item.FTarHeaderList.emplace_back();
    item.FTarHeaderTypeList.push_back(type);
    stream.ReadBuffer(block.Bytes, kTarBlockSize);
    return block;
  };
  auto seekBack = [&] {
    stream.Seek(-kTarBlockSize * static_cast<int64_t>(item.FTarHeaderList.size()), rtl::soCurrent);
    rec.FileHeaderCount = static_cast<uint32_t>(item.FTarHeaderList.size());
  };

  for (;;) {
    const TArcTarHeaderRec header = readBlock(tbItemHeader);
    const uint8_t flag = header.LinkFlag();
    if (IsExtensionFlag(flag)) {
      item.FTarHeaderTypeList.back() = tbExtensionHeader;
      if (flag == 'x' || flag == 'g' || flag == 'X') {
        rec.ItemReadOnly = true;
        if (flag != 'X' && HasUstarMagic(header)) rec.ArchiveFormat = POSIX_FORMAT;
      } else {
        rec.ArchiveFormat = OLDGNU_FORMAT;
      }
      const int64_t size = OctalToInt(header.Field(124, 12));
      if (size > kMaxExtensionData) {
        rec.ItemType = UNKNOWN_ITEM;
        seekBack();
        return;
      }
      std::string data;
      for (int64_t left = size; left > 0; left -= kTarBlockSize) {
        const TArcTarHeaderRec& block = readBlock(tbExtensionData);
        data.append(reinterpret_cast<const char*>(block.Bytes), static_cast<size_t>(std::min(left, kTarBlockSize)));
      }
      if (flag == 'L') hasLongName = true, longName = LongNameData(data);
      if (flag == 'K') hasLongLink = true, longLink = LongNameData(data);
      if (flag == 'x' || flag == 'X') pax.Merge(ParsePaxRecords(data));
      if (flag == 'g') {
        const TArcTarPaxValues global = ParsePaxRecords(data);
        pax.Merge(global);
        if (globals != nullptr) globals->Merge(global);
      }
      continue;
    }
    if (IsItemFlag(flag)) {
      rec.ItemType = SUPPORTED_ITEM;
    } else if (IsUnsupportedFlag(flag)) {
      rec.ItemType = UNSUPPORTED_ITEM;
    } else {
      item.FTarHeaderTypeList.back() = tbUnknownHeader;
      rec.ItemType = UNKNOWN_ITEM;
    }
    break;
  }
  seekBack();
  if (rec.ItemType == UNKNOWN_ITEM) return;

  const TArcTarHeaderRec& h = item.FTarHeaderList.back();
  if (rec.ArchiveFormat == UNKNOWN_FORMAT) {
    if (HasUstarMagic(h))
      rec.ArchiveFormat = USTAR_FORMAT;
    else if (std::memcmp(h.Bytes + 257, "ustar  \0", 8) == 0)
      rec.ArchiveFormat = OLDGNU_FORMAT;
    else
      rec.ArchiveFormat = V7_FORMAT;
  }
  rec.Mode = static_cast<uint32_t>(OctalToInt(h.Field(100, 8)));
  rec.uid = static_cast<uint32_t>(OctalToInt(h.Field(108, 8)));
  rec.gid = static_cast<uint32_t>(OctalToInt(h.Field(116, 8)));
  rec.Size = pax.HasSize ? pax.Size : OctalToInt(h.Field(124, 12));
  rec.ModTime = pax.HasModTime ? pax.ModTime : OctalToInt(h.Field(136, 12));
  rec.ChkSumPass = true;
  for (size_t i = 0; i < item.FTarHeaderList.size(); ++i)
    if (item.FTarHeaderTypeList[i] <= tbExtensionHeader && !TarChecksumPasses(item.FTarHeaderList[i]))
      rec.ChkSumPass = false;
  rec.LinkFlag = h.LinkFlag();
  rec.Magic = UpToNul(h.Field(257, 6));
  rec.Version = static_cast<uint32_t>(OctalToInt(h.Field(263, 2)));
  rec.UsrName = UpToNul(h.Field(265, 32));
  rec.GrpName = UpToNul(h.Field(297, 32));
  rec.DevMajor = static_cast<uint32_t>(OctalToInt(h.Field(329, 8)));
  rec.DevMinor = static_cast<uint32_t>(OctalToInt(h.Field(337, 8)));

  std::string rawLink = hasLongLink ? longLink : UpToNul(h.Field(157, 100));
  std::string rawName;
  if (hasLongName) {
    rawName = longName;
  } else {
    // star keeps times behind a 131-byte prefix and marks itself with "tar" at 508.
    const bool star = HasUstarMagic(h) && std::memcmp(h.Bytes + 508, "tar\0", 4) == 0;
    const std::string prefix = HasUstarMagic(h) ? UpToNul(h.Field(345, star ? 131 : 155)) : std::string();
    const std::string name = UpToNul(h.Field(0, 100));
    rawName = prefix.empty() ? name : prefix + "/" + name;
  }
  // Pax values are UTF-8 by definition; the header fields need the charset guess.
  rec.Name = pax.HasPath ? pax.Path : DecodeRawName(rawName);
  rec.LinkName = pax.HasLinkPath ? pax.LinkPath : DecodeRawName(rawLink);
  item.SetFileName(rec.Name);
  std::string disk = rec.Name;
  std::replace(disk.begin(), disk.end(), '/', '\\');
  item.SetDiskFileName(disk);
  item.SetAction(aaNone);
  item.SetTagged(false);
}

bool TArcTarStreamHelper::FindFirstItem() {
  FStream->Seek(0, rtl::soBeginning);
  FCurrItemPreHdrs = 0;
  return Scan();
}

bool TArcTarStreamHelper::FindNextItem(int64_t dataSize) {
  const int64_t skip = (TarDataBlocks(dataSize) + FCurrItemPreHdrs) * kTarBlockSize;
  const int64_t size = FStream->Size();
  const int64_t position = FStream->Position();
  SeekWithin(*FStream, static_cast<uint64_t>(position) + static_cast<uint64_t>(skip), size);
  FCurrItemPreHdrs = 0;
  return Scan();
}

bool TArcTarStreamHelper::Scan() {
  const int64_t size = FStream->Size();
  while (ReadUpTo(*FStream, FTarHeader.Bytes, kTarBlockSize) == kTarBlockSize && FTarHeader.Bytes[0] != 0) {
    const uint8_t flag = FTarHeader.LinkFlag();
    if (IsExtensionFlag(flag)) {
      const int64_t blocks = TarDataBlocks(OctalToInt(FTarHeader.Field(124, 12)));
      FCurrItemPreHdrs += 1 + blocks;
      SeekWithin(*FStream, static_cast<uint64_t>(FStream->Position()) + static_cast<uint64_t>(blocks * kTarBlockSize),
                 size);
      continue;
    }
    FCurrItemSize = CarriesData(flag) ? OctalToInt(FTarHeader.Field(124, 12)) : 0;
    FCurrItemPreHdrs += 1;
    FStream->Seek(-kTarBlockSize * FCurrItemPreHdrs, rtl::soCurrent);
    return true;
  }
  return false;
}

}  // namespace qelvo::codecs
