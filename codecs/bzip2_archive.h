#pragma once
// TArcBzip2Archive: a bzip2 file as one item named after the file, or, for a bzipped tar
// with TarAutoHandle on, the tar's items.
#include <string>

#include "codecs/compressed_tar.h"

namespace qelvo::codecs {

class TArcBzip2Item : public archive::TArcArchiveItem {};

class TArcBzip2Archive : public TArcCompressedTarArchive {
 public:
  using TArcCompressedTarArchive::TArcCompressedTarArchive;
  void ReadArchive() override;
  void ExtractItemByIndex(int index, const std::string& useName) override;
  void ExtractItemByIndexToStream(int index, rtl::TStream* stream) override;
  void TestItemByIndex(int index) override;
  bool IsBzippedTar() const { return IsCompressedTar(); }
  void SetIsBzippedTar(bool value) { SetIsCompressedTar(value); }
};

// The item name for an archive file name: "unknown" for none, ".tbz"/".tbz2" become
// ".tar", any other extension is dropped. Folders are not part of the name.
std::string Bzip2ItemName(const std::string& archiveName);
// Decodes the whole bzip2 data of source (from its start) into dest.
void ExpandBzip2Stream(rtl::TStream& source, rtl::TStream& dest);
// atBzip2, atBzippedTar or atUnknown (also when fewer than 1024 bytes decode); the stream
// position is kept.
archive::TArcArchiveType ProbeBzip2(rtl::TStream& stream);

}  // namespace qelvo::codecs
