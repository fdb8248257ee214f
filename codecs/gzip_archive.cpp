#include "codecs/gzip_archive.h"

#include "archive/errors.h"
#include "codecs/bit_bucket_stream.h"
#include "codecs/inflate.h"
#include "rtl/byte_order.h"
#include "rtl/exceptions.h"

namespace qelvo::codecs {

using namespace archive;

void TArcGzipArchive::ReadArchive() {
  SetState(gsCompressed);
  FItemList->Clear();
  FTarStream.reset();
  rtl::TStream& stream = *FStream;
  const int64_t size = stream.Size();
  if (size > 0) {
    stream.Seek(0, rtl::soBeginning);
    auto item = std::make_unique<TArcGzipItem>();
    if (!LoadGzHeader(*item, stream)) throw EArcGzipInvalid();
    if (size >= 18) {
      stream.Seek(size - 8, rtl::soBeginning);
      uint8_t tail[8];
      stream.ReadBuffer(tail, 8);
      item->SetCRC32(rtl::GetLe32(tail));
      item->SetUncompressedSize(rtl::GetLe32(tail + 4));
    }
    FItemList->Add(std::move(item));
    if (HandlesTar()) ReadTar([this](rtl::TStream& dest) { DecodeInto(dest); });
  }
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
  FIsDirty = false;
}

void TArcGzipArchive::DecodeInto(rtl::TStream& dest) {
  FCompressedStream->Seek(0, rtl::soBeginning);
  FNormalSize = DecodeGzipMembers(*FCompressedStream, dest).NormalSize;
}

void TArcGzipArchive::ExtractItemByIndexToStream(int index, rtl::TStream* stream) {
  if (FState == gsTar) return TArcTarArchive::ExtractItemByIndexToStream(index, stream);
  if (stream == nullptr) throw EArcBadStream();
  DecodeInto(*stream);
}

void TArcGzipArchive::ExtractItemByIndex(int index, const std::string& useName) {
  if (FState == gsTar) return TArcTarArchive::ExtractItemByIndex(index, useName);
  ExtractToFile(*TArcArchive::Items(0), useName, true, [&](rtl::TStream& file) { DecodeInto(file); });
}

void TArcGzipArchive::TestItemByIndex(int index) {
  if (FState == gsTar) return TArcTarArchive::TestItemByIndex(index);
  const int64_t saved = FCompressedStream->Position();
  const TArcArchiveType type = ProbeGzip(*FCompressedStream);
  if (type != atGzip && type != atGzippedTar) throw EArcGzipInvalid();
  TArcBitBucketStream bucket(32768);
  DecodeInto(bucket);
  FCompressedStream->Seek(saved, rtl::soBeginning);
}

TArcArchiveType ProbeGzip(rtl::TStream& stream) {
  const int64_t saved = stream.Position();
  TArcArchiveType answer = atUnknown;
  try {
    stream.Seek(0, rtl::soBeginning);
    TArcGzipItem item;
    if (LoadGzHeader(item, stream)) {
      answer = atGzip;
      rtl::TMemoryStream first;
      TArcDeflateHelper helper;
      helper.PartialSize = kTarBlockSize;
      try {
        Inflate(&stream, &first, &helper);
      } catch (const EArcInflateError&) {
        // Damaged data is reported when the item is extracted or tested.
      }
      if (first.Size() >= kTarBlockSize) {
        TArcTarHeaderRec block;
        first.Seek(0, rtl::soBeginning);
        first.ReadBuffer(block.Bytes, kTarBlockSize);
        if (LooksLikeTarStart(block)) answer = atGzippedTar;
      }
    }
  } catch (const rtl::EReadError&) {
    answer = atUnknown;
  }
  stream.Seek(saved, rtl::soBeginning);
  return answer;
}

}  // namespace qelvo::codecs
