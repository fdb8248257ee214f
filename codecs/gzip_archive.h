#pragma once
// TArcGzipArchive: a gzip file as one item, or, for a gzipped tar with TarAutoHandle on,
// the tar's items. Every member of a multi-member file is decoded, and each member's
// CRC-32 and size are checked against its tail, on extraction as in tests.
#include <string>

#include "codecs/compressed_tar.h"
#include "codecs/gzip_member.h"

namespace qelvo::codecs {

class TArcGzipArchive : public TArcCompressedTarArchive {
 public:
  using TArcCompressedTarArchive::TArcCompressedTarArchive;
  void ReadArchive() override;
  void ExtractItemByIndex(int index, const std::string& useName) override;
  void ExtractItemByIndexToStream(int index, rtl::TStream* stream) override;
  void TestItemByIndex(int index) override;
  bool IsGzippedTar() const { return IsCompressedTar(); }
  void SetIsGzippedTar(bool value) { SetIsCompressedTar(value); }
  // NormalSize of the last decoding (all members).
  int64_t NormalSize() const { return FNormalSize; }

 private:
  void DecodeInto(rtl::TStream& dest);
  int64_t FNormalSize = 0;
};

// atGzip, atGzippedTar (the first 512 decoded bytes are a tar header) or atUnknown; the
// stream position is kept.
archive::TArcArchiveType ProbeGzip(rtl::TStream& stream);

}  // namespace qelvo::codecs
