#include "codecs/bzip2_archive.h"

#include <cstring>

#include "archive/errors.h"
#include "archive/paths.h"
#include "codecs/bit_bucket_stream.h"
#include "codecs/bzip2_stream.h"
#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace qelvo::codecs {

using namespace archive;

std::string Bzip2ItemName(const std::string& archiveName) {
  std::string name = SplitPathParts(archiveName).FileName;
  if (name.empty()) return "unknown";
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  const std::string ext = rtl::UpperCaseAscii(std::string_view(name).substr(dot));
  name.erase(dot);
  if (ext == ".TBZ" || ext == ".TBZ2") name += ".tar";
  return name.empty() ? "unknown" : name;
}

void ExpandBzip2Stream(rtl::TStream& source, rtl::TStream& dest) {
  source.Seek(0, rtl::soBeginning);
  TBZDecompressionStream decoder(&source);
  constexpr int64_t kPiece = 61440;
  auto buffer = std::make_unique<uint8_t[]>(kPiece);
  for (;;) {
    const int64_t n = decoder.Read(buffer.get(), kPiece);
    if (n <= 0) break;
    dest.WriteBuffer(buffer.get(), n);
  }
}

void TArcBzip2Archive::ReadArchive() {
  SetState(gsCompressed);
  FItemList->Clear();
  FTarStream.reset();
  if (FStream->Size() > 0) {
    auto item = std::make_unique<TArcBzip2Item>();
    item->SetFileName(Bzip2ItemName(ArchiveName()));
    item->SetDiskFileName(item->FileName());
    item->SetAction(aaNone);
    FItemList->Add(std::move(item));
    if (HandlesTar()) ReadTar([this](rtl::TStream& dest) { ExpandBzip2Stream(*FCompressedStream, dest); });
  }
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
  FIsDirty = false;
}

void TArcBzip2Archive::ExtractItemByIndexToStream(int index, rtl::TStream* stream) {
  if (FState == gsTar) return TArcTarArchive::ExtractItemByIndexToStream(index, stream);
  if (stream == nullptr) throw EArcBadStream();
  ExpandBzip2Stream(*FCompressedStream, *stream);
}

void TArcBzip2Archive::ExtractItemByIndex(int index, const std::string& useName) {
  if (FState == gsTar) return TArcTarArchive::ExtractItemByIndex(index, useName);
  ExtractToFile(*TArcArchive::Items(0), useName, false, [&](rtl::TStream& file) { ExpandBzip2Stream(*FCompressedStream, file); });
}

void TArcBzip2Archive::TestItemByIndex(int index) {
  if (FState == gsTar) return TArcTarArchive::TestItemByIndex(index);
  const int64_t saved = FCompressedStream->Position();
  const TArcArchiveType type = ProbeBzip2(*FCompressedStream);
  if (type != atBzip2 && type != atBzippedTar) throw EArcGzipInvalid();
  TArcBitBucketStream bucket(32768);
  ExpandBzip2Stream(*FCompressedStream, bucket);
  FCompressedStream->Seek(saved, rtl::soBeginning);
}

TArcArchiveType ProbeBzip2(rtl::TStream& stream) {
  const int64_t saved = stream.Position();
  TArcArchiveType answer = atUnknown;
  try {
    stream.Seek(0, rtl::soBeginning);
    char magic[10];
    stream.ReadBuffer(magic, 10);
    if (std::memcmp(magic, "BZh", 3) == 0 && magic[3] >= '1' && magic[3] <= '9' &&
        std::memcmp(magic + 4, "1AY&SY", 6) == 0) {
      stream.Seek(0, rtl::soBeginning);
      TBZDecompressionStream decoder(&stream);
      TArcTarHeaderRec first[2];
      decoder.ReadBuffer(first, 1024);
      answer = LooksLikeTarStart(first[0]) ? atBzippedTar : atBzip2;
    }
  } catch (const rtl::EReadError&) {
    answer = atUnknown;
  } catch (const EBZip2Error&) {
    answer = atUnknown;
  }
  stream.Seek(saved, rtl::soBeginning);
  return answer;
}

}  // namespace qelvo::codecs
