#pragma once
// TArcTarArchive: the tar format of the archive model. Items are found by scanning the
// header chain from the start; each item keeps the offset of its first header block, so
// extraction seeks there and copies the data behind the headers. Links are not created
// as links: they become files holding their stored bytes (normally none), so nothing is
// ever written through a link.
#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "codecs/tar_header.h"

namespace qelvo::codecs {

class TArcTarArchive : public archive::TArcArchive {
 public:
  TArcTarArchive(const std::string& fileName, uint16_t mode);
  TArcTarArchive(rtl::TStream* stream, const std::string& archiveName);

  std::unique_ptr<archive::TArcArchiveItem> CreateItem(const std::string& storedName) override;
  void ExtractItemByIndex(int index, const std::string& useName) override;
  void ExtractItemByIndexToStream(int index, rtl::TStream* stream) override;
  void ReadArchive() override;
  // Writing tar archives is not supported: fails with EArcTarBadOp.
  void WriteArchive() override;
  void TestItemByIndex(int index) override;
  bool SupportsEmptyFolders() const override { return true; }

  // The tar item at index; EArcTarBadOp while a compressed archive shows its one item.
  TArcTarItem* Items(int index) const;
  bool ArchReadOnly() const { return FArchReadOnly; }
  TArcTarHeaderFormat ArchFormat() const { return FArchFormat; }

 protected:
  // Writes an extracted item's file (or folder) and sets its time and attributes;
  // shared by the compressed types, whose single item is decoded by copy.
  template <class Copy>
  void ExtractToFile(archive::TArcArchiveItem& item, const std::string& useName, bool setTimes, Copy&& copy);

  bool FArchReadOnly = false;
  TArcTarHeaderFormat FArchFormat = UNKNOWN_FORMAT;
};

// atTar when the item at the stream's position has passing header checksums, or when
// the stream starts with a zero block (an archive without items); the stream position
// is kept.
archive::TArcArchiveType ProbeTar(rtl::TStream& stream);

// Copies exactly count bytes in pieces; a short source raises EReadError.
void CopyTarData(rtl::TStream& in, rtl::TStream& out, int64_t count);

}  // namespace qelvo::codecs

#include "codecs/tar_archive_extract.inl"
