// The Huffman block body: literals, matches and the end-of-block symbol.
//
// Two paths decode the same symbols with the same checks and causes:
// - the fast path takes the bit reader's unread bytes and the window's memory over in
//   bulk, keeps the bits in a 64-bit register refilled eight bytes at a time, and checks
//   its bounds once per round: at least kInputMargin unread bytes (enough for every
//   refill of a round) and a window below its limit (the buffer has room past it for the
//   longest match, so a match that starts below the limit always fits);
// - the slow path decodes one symbol through PeekBits/DiscardBits and the window's Add
//   routines, near the end of the input or of the window, where the peek's zero bits
//   past the end and the window's slides and partial-size stop take over.
#include "codecs/inflate.h"
#include "rtl/byte_order.h"

namespace qelvo::codecs {
namespace {

constexpr int kInputMargin = 32;

// Codes of up to kNearBits bits are found in the first 2^kNearBits entries of a decode
// table (the reversed code indexes it, and every shorter code repeats with its own
// period), which stay in the first-level cache; only longer codes, and indexes no code
// reaches, need the entry at the full lookup width.
constexpr int kNearBits = 10;

inline uint32_t Lookup(const uint32_t* aTable, uint32_t aNearMask, uint32_t aFullMask, uint64_t aBits) {
  const uint32_t entry = aTable[aBits & aNearMask];
  if (((entry >> 16) & 0xFF) <= kNearBits) return entry;
  return aTable[aBits & aFullMask];
}

inline uint32_t LowBits(uint32_t aValue, int aCount) { return aValue & ((1u << aCount) - 1); }

inline uint32_t EntrySymbol(uint32_t aEntry) { return aEntry & 0xFFFF; }
inline int EntryLength(uint32_t aEntry) { return static_cast<int>((aEntry >> 16) & 0xFF); }
inline int EntryExtra(uint32_t aEntry) { return static_cast<int>(aEntry >> 24); }

// Returns true after the end-of-block symbol.
template <bool kDeflate64>
bool DecodeFast(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, const TArcDfDecodeHuffmanTree& aLiteralTree,
                const TArcDfDecodeHuffmanTree& aDistanceTree) {
  const TArcDfInBitStream::TBulk bulk = aBits.BeginBulk();
  uint8_t* out = aWindow.Current();
  uint8_t* const limit = aWindow.Limit();
  if (bulk.End - bulk.Pos < kInputMargin || out >= limit) return false;

  const uint8_t* in = bulk.Pos;
  const uint8_t* const inEnd = bulk.End;
  uint64_t bitBuf = bulk.BitBuffer;
  int bitsLeft = bulk.BitsLeft;
  const uint8_t* const outStart = aWindow.Start();
  const uint32_t* const litTable = aLiteralTree.Decodes();
  const uint32_t litMask = (1u << aLiteralTree.LookupBitLength()) - 1;
  const uint32_t litNear = litMask & ((1u << kNearBits) - 1);
  const uint32_t* const distTable = aDistanceTree.Decodes();
  const uint32_t distMask = (1u << aDistanceTree.LookupBitLength()) - 1;
  const uint32_t distNear = distMask & ((1u << kNearBits) - 1);

  // After a refill at least 56 bits are ready: three literal codes (3 x 15), or two
  // literals and a length code with its Deflate extra bits (15 + 15 + 15 + 5).
  const auto refill = [&] {
    bitBuf |= rtl::GetLe64(in) << bitsLeft;
    in += (63 - bitsLeft) >> 3;
    bitsLeft |= 56;
  };
  const auto consume = [&](int n) {
    bitBuf >>= n;
    bitsLeft -= n;
  };
  // A failure leaves the loop first, so that the hot state never escapes to memory.
  const char* failure = nullptr;
  bool endOfBlock = false;
  while (inEnd - in >= kInputMargin && out < limit) {
    refill();
    uint32_t entry = Lookup(litTable, litNear, litMask, bitBuf);
    if (EntrySymbol(entry) < 256) {
      consume(EntryLength(entry));
      *out++ = static_cast<uint8_t>(entry);
      if (out >= limit) break;
      entry = Lookup(litTable, litNear, litMask, bitBuf);
      if (EntrySymbol(entry) < 256) {
        consume(EntryLength(entry));
        *out++ = static_cast<uint8_t>(entry);
        if (out >= limit) break;
        entry = Lookup(litTable, litNear, litMask, bitBuf);
        if (EntrySymbol(entry) < 256) {
          consume(EntryLength(entry));
          *out++ = static_cast<uint8_t>(entry);
          continue;
        }
      }
    }
    const uint32_t symbol = EntrySymbol(entry);
    if (symbol == 256) {
      consume(EntryLength(entry));
      endOfBlock = true;
      break;
    }
    if (symbol > 285) {
      failure = cause::kBadLengthSymbol;
      break;
    }
    // Deflate64's 16 extra bits may not be there yet after two literals.
    if (kDeflate64 && bitsLeft < 31) refill();
    consume(EntryLength(entry));
    int length;
    if (!kDeflate64 && symbol == 285) {
      length = 258;
    } else {
      const int extra = EntryExtra(entry);
      length = LengthBase[symbol - 257] + static_cast<int>(LowBits(static_cast<uint32_t>(bitBuf), extra));
      consume(extra);
    }

    if (bitsLeft < 29) refill();
    const uint32_t distEntry = Lookup(distTable, distNear, distMask, bitBuf);
    if (kDeflate64 ? distEntry == kNoCode : EntrySymbol(distEntry) > 29) {
      failure = kDeflate64 ? cause::kDiscardCount : cause::kBadDistanceSymbol;
      break;
    }
    consume(EntryLength(distEntry));
    const int extra = EntryExtra(distEntry);
    const int distance = static_cast<int>(DistanceBase[EntrySymbol(distEntry)] +
                                          LowBits(static_cast<uint32_t>(bitBuf), extra));
    consume(extra);
    if (distance > out - outStart) {
      failure = cause::kDistanceTooFar;
      break;
    }
    out = CopyMatch(out, length, distance);
  }
  aBits.EndBulk(TArcDfInBitStream::TBulk{bitBuf, bitsLeft, in, inEnd}, bulk.Pos);
  aWindow.Advance(out);
  if (failure != nullptr) throw EArcInternalInflateError(failure);
  return endOfBlock;
}

// One symbol through the bit reader's peek and discard; true after the end-of-block symbol.
bool DecodeSlow(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, const TArcDfDecodeHuffmanTree& aLiteralTree,
                const TArcDfDecodeHuffmanTree& aDistanceTree, bool aDeflate64) {
  const int litLookup = aLiteralTree.LookupBitLength();
  const uint32_t peeked = aBits.PeekBits(litLookup + (aDeflate64 ? 16 : 5));
  const uint32_t entry = aLiteralTree.Decode(LowBits(peeked, litLookup));
  const uint32_t symbol = EntrySymbol(entry);
  const int codeLen = EntryLength(entry);
  if (symbol < 256) {
    aBits.DiscardBits(codeLen);
    aWindow.AddLiteral(static_cast<uint8_t>(symbol));
    return false;
  }
  if (symbol == 256) {
    aBits.DiscardBits(codeLen);
    return true;
  }
  if (symbol > 285) throw EArcInternalInflateError(cause::kBadLengthSymbol);
  int length;
  if (!aDeflate64 && symbol == 285) {
    length = 258;
    aBits.DiscardBits(codeLen);
  } else {
    const int extra = EntryExtra(entry);
    length = LengthBase[symbol - 257] + static_cast<int>(LowBits(peeked >> codeLen, extra));
    aBits.DiscardBits(codeLen + extra);
  }

  const int distLookup = aDistanceTree.LookupBitLength();
  const uint32_t distPeeked = aBits.PeekBits(distLookup + 14);
  const uint32_t distEntry = aDistanceTree.Decode(LowBits(distPeeked, distLookup));
  if (aDeflate64) {
    // Its packed length (255 + 255 bits) is what the discard refuses.
    if (distEntry == kNoCode) throw EArcInternalInflateError(cause::kDiscardCount);
  } else if (EntrySymbol(distEntry) > 29) {
    throw EArcInternalInflateError(cause::kBadDistanceSymbol);
  }
  const int distCodeLen = EntryLength(distEntry);
  const int distExtra = EntryExtra(distEntry);
  const int distance =
      static_cast<int>(DistanceBase[EntrySymbol(distEntry)] + LowBits(distPeeked >> distCodeLen, distExtra));
  aBits.DiscardBits(distCodeLen + distExtra);
  aWindow.AddLenDist(length, distance);
  return false;
}

}  // namespace

void DecodeData(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, const TArcDfDecodeHuffmanTree& aLiteralTree,
                const TArcDfDecodeHuffmanTree& aDistanceTree, bool aDeflate64) {
  for (;;) {
    const bool endOfBlock = aDeflate64 ? DecodeFast<true>(aBits, aWindow, aLiteralTree, aDistanceTree)
                                       : DecodeFast<false>(aBits, aWindow, aLiteralTree, aDistanceTree);
    if (endOfBlock) return;
    if (DecodeSlow(aBits, aWindow, aLiteralTree, aDistanceTree, aDeflate64)) return;
  }
}

}  // namespace qelvo::codecs
