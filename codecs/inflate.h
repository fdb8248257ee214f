#pragma once
// Inflate: decodes a raw Deflate (RFC 1951) or Deflate64 stream from aSource into aDest
// and returns the CRC-32 (or, with ofAdler32, the Adler-32) of the bytes produced.
//
// The block loop reads each block header and hands the block to its routine; the
// Huffman blocks share DecodeData, whose fast path works on the bit reader's buffer and
// the window's memory directly while both have room for a whole symbol, and falls back
// to one symbol at a time through the bit reader's peek and discard near either end.
//
// Any corrupted input leaves as EArcInflateError, whose message carries the internal
// cause. A partial-size stop or a progress abort returns 0. Everything decoded before a
// failure is written out, and the source is left on the first byte after the Deflate
// data, so that a trailer that follows can be read from there.
#include <cstdint>

#include "codecs/deflate_base.h"
#include "codecs/deflate_bit_reader.h"
#include "codecs/deflate_huffman.h"
#include "codecs/deflate_window.h"
#include "rtl/stream.h"

namespace qelvo::codecs {

// aHelper may be null; when given, its CompressedSize and NormalSize are set on return
// (not when EArcInflateError leaves).
uint32_t Inflate(rtl::TStream* aSource, rtl::TStream* aDest, TArcDeflateHelper* aHelper);

// The block routines, each reading one block's body after its 3-bit header.
void InflateStoredBlock(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow);
void InflateFixedBlock(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, bool aDeflate64);
void InflateDynamicBlock(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, bool aDeflate64);
void DecodeData(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, const TArcDfDecodeHuffmanTree& aLiteralTree,
                const TArcDfDecodeHuffmanTree& aDistanceTree, bool aDeflate64);
// Reads aCount literal/length and distance code lengths into aLengths, which must have
// room for aCount plus the longest repeat (138) lengths.
void ReadLitDistCodeLengths(TArcDfInBitStream& aBits, const TArcDfDecodeHuffmanTree& aCodeLengthTree,
                            uint8_t* aLengths, int aCount);

}  // namespace qelvo::codecs
