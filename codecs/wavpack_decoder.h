#pragma once
// ZIP method 97: WavPack audio decoded by libwavpack back into the original file.
//
// The item data is a WavPack stream that keeps the header of the file it was made from
// (a RIFF/WAVE header, and trailing RIFF chunks when there were some). The library reads
// it through stream callbacks over the item's data; the adapter writes the stored
// header, then every sample packed the way the file held it (8-bit samples unsigned,
// wider ones signed little-endian), then the stored trailer.
#include <cstddef>
#include <cstdint>

#include "rtl/stream.h"

namespace qelvo::codecs {

inline constexpr int64_t kWavPackOutputBufferSize = 262144;
inline constexpr int kWavPackFramesPerCall = 4096;

// Packs aCount unpacked 32-bit values with aBytesPerSample bytes each (1 to 4) into
// aDest: one byte as value + 128 modulo 256, otherwise the low bytes little-endian.
void PackWavPackSamples(const int32_t* aSamples, size_t aCount, int aBytesPerSample, uint8_t* aDest);

// Raises the base exception "WavPack decompression failed: <library text>" when the
// library cannot open the data, and passes on the source's or destination's failures.
void DecompressWavPackItem(rtl::TStream& aSource, rtl::TStream& aDest);

}  // namespace qelvo::codecs
