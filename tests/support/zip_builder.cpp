#include "tests/support/zip_builder.h"

#include <zlib.h>

#include "tests/support/zlib_deflate.h"

namespace qelvo::test {
namespace {

uint32_t CrcOf(const std::string& data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

struct TFields {
  uint32_t Crc, CompressedSize, UncompressedSize;
};

TFields FieldsOf(const TZipEntry& e) {
  const uint32_t size = static_cast<uint32_t>(e.Data.size());
  return {e.Crc.value_or(CrcOf(e.Data)), e.CompressedSize.value_or(size), e.UncompressedSize.value_or(size)};
}

std::string CentralRecord(const TZipEntry& e, uint64_t offset, bool zip64) {
  const TFields f = FieldsOf(e);
  std::string extra = e.CentralExtra;
  if (zip64) {
    std::string z;
    AppendLe64(z, f.UncompressedSize);
    AppendLe64(z, f.CompressedSize);
    AppendLe64(z, offset);
    extra = SubField(0x0001, z) + extra;
  }
  std::string s;
  AppendLe32(s, 0x02014B50);
  AppendLe16(s, e.VersionMadeBy);
  AppendLe16(s, e.VersionNeeded);
  AppendLe16(s, e.Flags);
  AppendLe16(s, e.Method);
  AppendLe16(s, e.Time);
  AppendLe16(s, e.Date);
  AppendLe32(s, f.Crc);
  AppendLe32(s, zip64 ? 0xFFFFFFFF : f.CompressedSize);
  AppendLe32(s, zip64 ? 0xFFFFFFFF : f.UncompressedSize);
  AppendLe16(s, static_cast<uint16_t>(e.Name.size()));
  AppendLe16(s, static_cast<uint16_t>(extra.size()));
  AppendLe16(s, static_cast<uint16_t>(e.Comment.size()));
  AppendLe16(s, 0);
  AppendLe16(s, 0);
  AppendLe32(s, e.ExternalAttributes);
  AppendLe32(s, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
  return s + e.Name + extra + e.Comment;
}

void AppendLocal(std::string& out, const TZipEntry& e) {
  const TFields f = FieldsOf(e);
  AppendLe32(out, 0x04034B50);
  AppendLe16(out, e.VersionNeeded);
  AppendLe16(out, e.Flags);
  AppendLe16(out, e.Method);
  AppendLe16(out, e.Time);
  AppendLe16(out, e.Date);
  AppendLe32(out, e.ZeroLocalSizes ? 0 : f.Crc);
  AppendLe32(out, e.ZeroLocalSizes ? 0 : f.CompressedSize);
  AppendLe32(out, e.ZeroLocalSizes ? 0 : f.UncompressedSize);
  AppendLe16(out, static_cast<uint16_t>(e.Name.size()));
  AppendLe16(out, 0);
  out += e.Name + e.Data;
  if (e.ZeroLocalSizes) {
    AppendLe32(out, 0x08074B50);
    AppendLe32(out, f.Crc);
    AppendLe32(out, f.CompressedSize);
    AppendLe32(out, f.UncompressedSize);
  }
}

void AppendZip64Records(std::string& out, uint64_t count, uint64_t dirSize, uint64_t dirOffset, uint64_t recordOffset,
                        bool withLocator) {
  AppendLe32(out, 0x06064B50);
  AppendLe64(out, 44);
  AppendLe16(out, 45);
  AppendLe16(out, 45);
  AppendLe32(out, 0);
  AppendLe32(out, 0);
  AppendLe64(out, count);
  AppendLe64(out, count);
  AppendLe64(out, dirSize);
  AppendLe64(out, dirOffset);
  if (!withLocator) return;
  AppendLe32(out, 0x07064B50);
  AppendLe32(out, 0);
  AppendLe64(out, recordOffset);
  AppendLe32(out, 1);
}

}  // namespace

TZipEntry StoredEntry(const std::string& name, const std::string& plain) {
  TZipEntry e;
  e.Name = name;
  e.Data = plain;
  e.Crc = CrcOf(plain);
  e.CompressedSize = e.UncompressedSize = static_cast<uint32_t>(plain.size());
  return e;
}

TZipEntry DeflatedEntry(const std::string& name, const std::string& plain) {
  TZipEntry e = StoredEntry(name, plain);
  e.Method = 8;
  e.Data = RawDeflate(plain, 6);
  e.CompressedSize = static_cast<uint32_t>(e.Data.size());
  return e;
}

TZipEntry FolderEntry(const std::string& name) {
  TZipEntry e = StoredEntry(name, "");
  e.ExternalAttributes = (040755u << 16) | 0x10;
  return e;
}

std::string SubField(uint16_t id, const std::string& data) {
  std::string s;
  AppendLe16(s, id);
  AppendLe16(s, static_cast<uint16_t>(data.size()));
  return s + data;
}

std::string CentralHeader(const TZipEntry& e, uint32_t offset) { return CentralRecord(e, offset, false); }

std::string BuildZip(const std::vector<TZipEntry>& entries, const TZipLayout& layout) {
  std::string out = layout.Prefix;
  const uint64_t base = layout.OffsetsFromArchiveStart ? layout.Prefix.size() : 0;
  std::vector<uint64_t> offsets;
  for (const TZipEntry& e : entries) {
    offsets.push_back(out.size() - base);
    AppendLocal(out, e);
  }
  const uint64_t dirOffset = out.size() - base;
  for (size_t i = 0; i < entries.size(); ++i) out += CentralRecord(entries[i], offsets[i], layout.Zip64);
  const uint64_t dirSize = out.size() - base - dirOffset;
  const uint64_t count = layout.AnnouncedEntries >= 0 ? uint64_t(layout.AnnouncedEntries) : entries.size();
  if (layout.Zip64) AppendZip64Records(out, count, dirSize, dirOffset, out.size() - base, !layout.OmitZip64Locator);
  AppendLe32(out, 0x06054B50);
  AppendLe16(out, layout.DiskNumber);
  AppendLe16(out, layout.DiskNumber);
  AppendLe16(out, layout.Zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  AppendLe16(out, layout.Zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  AppendLe32(out, layout.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(dirSize));
  AppendLe32(out, layout.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(dirOffset));
  AppendLe16(out, static_cast<uint16_t>(layout.ArchiveComment.size()));
  return out + layout.ArchiveComment + layout.Suffix;
}

namespace {

uint32_t Le(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b.at(at + i));
  return v;
}

}  // namespace

std::vector<TListedEntry> ReadZipEntries(const std::string& zip) {
  std::vector<TListedEntry> entries;
  const size_t eocd = zip.rfind(std::string("PK\x05\x06", 4));
  if (eocd == std::string::npos) return entries;
  const uint32_t count = Le(zip, eocd + 10, 2);
  size_t p = Le(zip, eocd + 16, 4);
  for (uint32_t i = 0; i < count; ++i) {
    TListedEntry e;
    e.Flags = static_cast<uint16_t>(Le(zip, p + 8, 2));
    e.Method = static_cast<uint16_t>(Le(zip, p + 10, 2));
    e.ModTime = static_cast<uint16_t>(Le(zip, p + 12, 2));
    e.Crc32 = Le(zip, p + 16, 4);
    e.CompressedSize = Le(zip, p + 20, 4);
    e.UncompressedSize = Le(zip, p + 24, 4);
    const uint32_t nameLen = Le(zip, p + 28, 2);
    const uint32_t extraLen = Le(zip, p + 30, 2);
    const uint32_t commentLen = Le(zip, p + 32, 2);
    const uint32_t local = Le(zip, p + 42, 4);
    e.Name = zip.substr(p + 46, nameLen);
    e.LocalFlags = static_cast<uint16_t>(Le(zip, local + 6, 2));
    e.LocalModTime = static_cast<uint16_t>(Le(zip, local + 10, 2));
    const size_t data = local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
    e.Data = zip.substr(data, e.CompressedSize);
    entries.push_back(e);
    p += 46 + nameLen + extraLen + commentLen;
  }
  return entries;
}

}  // namespace qelvo::test
