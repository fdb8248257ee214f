#pragma once
// The shared body of the three legacy-method fuzz targets. The input is one option byte
// (reduce factor; implode dictionary and tree count), three bytes of declared size (at
// most 1 MiB), then the compressed data. The decoder runs as extraction runs it: into a
// sliding window over the bit bucket that item testing uses. Corrupted-data refusals
// are expected; anything else leaving the decoder, or more output than declared, is a
// fault.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "archive/errors.h"
#include "codecs/legacy_helper.h"
#include "rtl/stream.h"
#include "unzip/bit_bucket_stream.h"
#include "unzip/sliding_window_stream.h"

namespace qelvo::fuzz {

// aMethod 1 (shrink), 2 (reduce; the option byte picks the factor) or 6 (implode).
inline int FuzzLegacy(uint8_t aMethod, const uint8_t* aData, size_t aSize) {
  if (aSize < 4) return 0;
  const uint8_t options = aData[0];
  const int64_t declared = std::min<int64_t>(aData[1] | aData[2] << 8 | aData[3] << 16, 1 << 20);
  rtl::TMemoryStream input;
  input.WriteBuffer(aData + 4, static_cast<int64_t>(aSize - 4));
  input.SetPosition(0);

  unzip::TArcBitBucketStream bucket(32768);
  codecs::TArcUnzipHelper helper(&input, &bucket);
  helper.CompressionMethod = aMethod == 2 ? static_cast<uint8_t>(2 + (options & 3)) : aMethod;
  helper.UnCompressedSize = declared;
  if (aMethod == 6) {
    helper.DictionarySize = (options & 1) ? archive::ds8K : archive::ds4K;
    helper.ShannonFanoTreeCount = (options & 2) ? 3 : 2;
  }
  try {
    if (aMethod == 1) {
      helper.Execute();
    } else {
      unzip::TArcSlidingWindowStream window(&bucket);
      helper.SetOutWriter(&window);
      helper.Execute();
      window.Flush();
    }
  } catch (const archive::EArcZipCorruptedData&) {
  }
  if (bucket.Size() > declared || helper.Produced() > declared) std::abort();
  return 0;
}

}  // namespace qelvo::fuzz
