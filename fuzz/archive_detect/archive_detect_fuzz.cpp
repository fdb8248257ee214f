// Opens arbitrary bytes through the unzip component's type detection (ZIP, tar, gzip,
// bzip2, compressed tars with TarAutoHandle on), then extracts and tests every item into
// discarding streams. Failures may only be the runtime's exceptions (archive errors,
// stream errors, decoder errors); a crash, an out-of-bounds access or anything else is a
// finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codecs/bit_bucket_stream.h"
#include "rtl/exceptions.h"
#include "rtl/stream.h"
#include "unzip/archive_type.h"
#include "unzip/unzipper.h"

using namespace qelvo;

namespace {
volatile uint64_t gSink;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rtl::TMemoryStream stream;
  if (size > 0) stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(0);
  try {
    gSink = gSink + unzip::DetectArchiveType(stream);
  } catch (const rtl::Exception&) {
  }
  unzip::TArcUnZipper unzipper;
  unzipper.SetTarAutoHandle(true);
  try {
    unzipper.SetStream(&stream);
  } catch (const rtl::Exception&) {
  }
  if (unzipper.Archive() == nullptr) return 0;
  for (int i = 0; i < unzipper.Count(); ++i) {
    archive::TArcArchiveItem* item = unzipper.Items(i);
    gSink = gSink + item->FileName().size() + static_cast<uint64_t>(item->UncompressedSize()) + item->IsDirectory();
    try {
      codecs::TArcBitBucketStream bucket(32768);
      unzipper.Archive()->ExtractItemByIndexToStream(i, &bucket);
      gSink = gSink + static_cast<uint64_t>(bucket.Size());
    } catch (const rtl::Exception&) {
    }
    try {
      unzipper.TestAt(i);
    } catch (const rtl::Exception&) {
    }
  }
  // Switching the compressed view off and on again keeps both lists consistent.
  unzipper.SetTarAutoHandle(false);
  gSink = gSink + unzipper.Count();
  return 0;
}
