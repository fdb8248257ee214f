#include "test_support.h"

#include "archive/crc32.h"

namespace qelvo::archive::testing {

std::unique_ptr<rtl::TMemoryStream> StreamOf(const std::string& bytes) {
  auto s = std::make_unique<rtl::TMemoryStream>();
  if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

std::string SubField(uint16_t id, const std::string& data) {
  std::string s;
  Put16(s, id);
  Put16(s, static_cast<uint16_t>(data.size()));
  return s + data;
}

namespace {

std::string CentralRecord(const TTestEntry& e, uint64_t offset, bool zip64) {
  std::string extra = e.CentralExtra;
  if (zip64) {
    std::string z;
    Put64(z, e.Data.size());
    Put64(z, e.Data.size());
    Put64(z, offset);
    extra = SubField(0x0001, z) + extra;
  }
  std::string s;
  Put32(s, 0x02014B50);
  Put16(s, e.VersionMadeBy);
  Put16(s, e.VersionNeeded);
  Put16(s, e.Flags);
  Put16(s, e.Method);
  Put16(s, e.Time);
  Put16(s, e.Date);
  Put32(s, Crc32OfBytes(e.Data));
  Put32(s, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.Data.size()));
  Put32(s, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(e.Data.size()));
  Put16(s, static_cast<uint16_t>(e.Name.size()));
  Put16(s, static_cast<uint16_t>(extra.size()));
  Put16(s, static_cast<uint16_t>(e.Comment.size()));
  Put16(s, 0);
  Put16(s, 0);
  Put32(s, e.External);
  Put32(s, zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(offset));
  return s + e.Name + extra + e.Comment;
}

}  // namespace

std::string CentralHeader(const TTestEntry& e, uint32_t offset) { return CentralRecord(e, offset, false); }

std::string BuildZip(const std::vector<TTestEntry>& entries, const TZipLayout& layout) {
  std::string out = layout.Prefix;
  const uint64_t base = layout.OffsetsFromArchiveStart ? layout.Prefix.size() : 0;
  std::vector<uint64_t> offsets;
  for (const TTestEntry& e : entries) {
    offsets.push_back(out.size() - base);
    Put32(out, 0x04034B50);
    Put16(out, e.VersionNeeded);
    Put16(out, e.Flags);
    Put16(out, e.Method);
    Put16(out, e.Time);
    Put16(out, e.Date);
    Put32(out, Crc32OfBytes(e.Data));
    Put32(out, static_cast<uint32_t>(e.Data.size()));
    Put32(out, static_cast<uint32_t>(e.Data.size()));
    Put16(out, static_cast<uint16_t>(e.Name.size()));
    Put16(out, 0);
    out += e.Name + e.Data;
  }
  const uint64_t dirOffset = out.size() - base;
  for (size_t i = 0; i < entries.size(); ++i) out += CentralRecord(entries[i], offsets[i], layout.Zip64);
  const uint64_t dirSize = out.size() - base - dirOffset;
  const uint64_t count = layout.AnnouncedEntries >= 0 ? uint64_t(layout.AnnouncedEntries) : entries.size();
  if (layout.Zip64) {
    const uint64_t recordOffset = out.size() - base;
    Put32(out, 0x06064B50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, count);
    Put64(out, count);
    Put64(out, dirSize);
    Put64(out, dirOffset);
    if (!layout.OmitZip64Locator) {
      Put32(out, 0x07064B50);
      Put32(out, 0);
      Put64(out, recordOffset);
      Put32(out, 1);
    }
  }
  Put32(out, 0x06054B50);
  Put16(out, layout.DiskNumber);
  Put16(out, layout.DiskNumber);
  Put16(out, layout.Zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  Put16(out, layout.Zip64 ? 0xFFFF : static_cast<uint16_t>(count));
  Put32(out, layout.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(dirSize));
  Put32(out, layout.Zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(dirOffset));
  Put16(out, static_cast<uint16_t>(layout.ArchiveComment.size()));
  return out + layout.ArchiveComment + layout.Suffix;
}

}  // namespace qelvo::archive::testing
