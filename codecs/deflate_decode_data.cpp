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
#include <cstring>

#include "codecs/deflate_fast_table.h"
#include "codecs/inflate.h"
#include "rtl/byte_order.h"

namespace qelvo::codecs {
namespace {

constexpr int kInputMargin = 32;
// Literals a round may write before it meets a length or the round's end: a Deflate
// length code with its extra bits still fits after three, a Deflate64 one with its 16
// extra bits only after two.
template <bool kDeflate64>
constexpr int kLiteralsPerRound = kDeflate64 ? 3 : 4;
// A round's bits before its distance: the literals ahead of a length, and the length code
// with its extra bits (3 x 11 + 15 + 5, or 2 x 11 + 15 + 16). They must fit in the 56 bits
// a refill counts, and the distance's main-table bits in the 64 it fills.
template <bool kDeflate64>
constexpr int kBitsBeforeDistance =
    (kLiteralsPerRound<kDeflate64> - 1) * TArcDfFastTable::kLiteralBits + 15 + (kDeflate64 ? 16 : 5);
template <bool kDeflate64>
constexpr bool kRoundFits = kBitsBeforeDistance<kDeflate64> <= 56 &&
                            kBitsBeforeDistance<kDeflate64> + TArcDfFastTable::kDistanceBits <= 64;
static_assert(kRoundFits<false> && kRoundFits<true>);
constexpr uint32_t kLiteralMask = (1u << TArcDfFastTable::kLiteralBits) - 1;
constexpr uint32_t kDistanceMask = (1u << TArcDfFastTable::kDistanceBits) - 1;

// The extra bits of a packed length or distance entry, from the bits it was looked up in.
// Such an entry has no flag set, so bits 8..13 are the code's length alone and both
// counts can go to the shifts as they are (a shift takes its count modulo 64).
inline uint32_t PackedExtra(uint64_t aBits, uint32_t aPacked) {
  return static_cast<uint32_t>((aBits & ~(~uint64_t{0} << (aPacked & 63))) >> ((aPacked >> 8) & 63));
}

// Returns true after the end-of-block symbol.
template <bool kDeflate64>
bool DecodeFast(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, const TArcDfFastTable& aLiterals,
                const TArcDfFastTable& aDistances) {
  const TArcDfInBitStream::TBulk bulk = aBits.BeginBulk();
  uint8_t* out = aWindow.Current();
  uint8_t* const limit = aWindow.Limit();
  // A round starts only while its literals cannot reach the limit, so that, as on the
  // slow path, no literal or match starts at or beyond it.
  if (bulk.End - bulk.Pos < kInputMargin || limit - out <= kLiteralsPerRound<kDeflate64>) return false;
  uint8_t* const roundLimit = limit - kLiteralsPerRound<kDeflate64>;

  const uint8_t* in = bulk.Pos;
  const uint8_t* const inRoundEnd = bulk.End - kInputMargin;
  uint64_t bitBuf = bulk.BitBuffer;
  // Only the low 6 bits count: consuming subtracts a whole packed entry, whose higher
  // bits borrow into bits that are never read, and every packed count is below 64.
  uint32_t bitsLeft = static_cast<uint32_t>(bulk.BitsLeft);
  const uint8_t* const outStart = aWindow.Start();
  const uint32_t* const litTable = aLiterals.Entries();
  const uint32_t* const distTable = aDistances.Entries();

  // After a refill at least 56 bits are ready: three literals of the packed table and the
  // lookup of the next symbol (3 x 11 + 11), or two and a length code with its extra bits
  // (11 + 11 + 15 + 16). A second refill before the distance gives it 40: its code with its
  // own extra bits and the lookup of the next symbol (15 + 14 + 11).
  const auto refill = [&] {
    bitBuf |= rtl::GetLe64(in) << (bitsLeft & 63);
    in += 7 - ((bitsLeft >> 3) & 7);
    bitsLeft |= 56;
  };
  const auto consume = [&](uint32_t aPacked) {
    bitBuf >>= aPacked & 63;
    bitsLeft -= aPacked;
  };
  // A failure leaves the loop first, so that the hot state never escapes to memory.
  const char* failure = nullptr;
  bool endOfBlock = false;
  refill();
  // The next symbol's entry is looked up as soon as its bits are there, ahead of the
  // work on the current one.
  uint32_t entry = litTable[bitBuf & kLiteralMask];
  // An entry's bits go before it is tested, so that the next lookup never waits for the
  // test: a subtable pointer and a bad entry take none, and the bits a length's extra
  // bits come from stay in `saved`.
  uint64_t saved = 0;
  const auto take = [&] {
    saved = bitBuf;
    consume(entry);
  };
  // Writes the literal in `entry`, then looks up the next entry and takes its bits.
  const auto literalThenNext = [&] {
    const auto literal = static_cast<uint8_t>(entry >> 16);
    entry = litTable[bitBuf & kLiteralMask];
    take();
    *out++ = literal;
  };
  // Writes the literal in `entry` and looks up the next one, whose bits the next round takes.
  const auto lastLiteral = [&] {
    *out++ = static_cast<uint8_t>(entry >> 16);
    entry = litTable[bitBuf & kLiteralMask];
  };
  for (;;) {
    if (in > inRoundEnd) break;
    if (out >= roundLimit) break;
    refill();
    take();
    if (entry & kFastLiteral) {
      literalThenNext();
      if (entry & kFastLiteral) {
        literalThenNext();
        if (entry & kFastLiteral) {
          if (kDeflate64) {
            lastLiteral();
            continue;
          }
          literalThenNext();
          if (entry & kFastLiteral) {
            lastLiteral();
            continue;
          }
        }
      }
    }
    if (entry & (kFastLong | kFastEnd | kFastBad)) {
      if (entry & kFastLong) {
        entry = litTable[(entry >> 16) + SubtableIndex(bitBuf, entry, TArcDfFastTable::kLiteralBits)];
        take();
        if (entry & kFastLiteral) {
          lastLiteral();
          continue;
        }
      }
      if (entry & kFastBad) {
        failure = cause::kBadLengthSymbol;
        break;
      }
      if (entry & kFastEnd) {
        endOfBlock = true;
        break;
      }
    }
    const uint32_t length = (entry >> 16) + PackedExtra(saved, entry);

    // A round consumes at most kBitsBeforeDistance (53) bits before this point, and a refill
    // fills all 64 bits of the register, however few it counts. So the main table's 8 bits
    // are here before this refill: the lookup goes first and does not wait for it, and the
    // refill needs no branch, which mispredicted on short literal runs.
    uint32_t distEntry = distTable[bitBuf & kDistanceMask];
    refill();
    if (distEntry & (kFastLong | kFastBad)) {
      if (distEntry & kFastLong)
        distEntry = distTable[(distEntry >> 16) + SubtableIndex(bitBuf, distEntry, TArcDfFastTable::kDistanceBits)];
      if (distEntry & kFastBad) {
        // Deflate64's packed length of a missing code is what the discard refuses.
        failure = kDeflate64 ? cause::kDiscardCount : cause::kBadDistanceSymbol;
        break;
      }
    }
    const uint32_t distance = (distEntry >> 16) + PackedExtra(bitBuf, distEntry);
    consume(distEntry);
    entry = litTable[bitBuf & kLiteralMask];
    if (distance > static_cast<size_t>(out - outStart)) {
      failure = cause::kDistanceTooFar;
      break;
    }
    out = CopyMatch(out, length, distance);
  }
  aBits.EndBulk(TArcDfInBitStream::TBulk{bitBuf, static_cast<int>(bitsLeft & 63), in, bulk.End}, bulk.Pos);
  aWindow.Advance(out);
  if (failure != nullptr) throw EArcInternalInflateError(failure);
  return endOfBlock;
}

// One symbol through the bit reader's peek and discard; true after the end-of-block symbol.
bool DecodeSlow(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, const TArcDfFastTable& aLiterals,
                const TArcDfFastTable& aDistances, bool aDeflate64) {
  // The longest code and the most extra bits that may follow it.
  const uint32_t peeked = aBits.PeekBits(15 + (aDeflate64 ? 16 : 5));
  const uint32_t entry = aLiterals.Lookup(peeked);
  if (entry & kFastLiteral) {
    aBits.DiscardBits(static_cast<int>(entry & 0xFF));
    aWindow.AddLiteral(static_cast<uint8_t>(entry >> 16));
    return false;
  }
  if (entry & kFastEnd) {
    aBits.DiscardBits(static_cast<int>(entry & 0xFF));
    return true;
  }
  if (entry & kFastBad) throw EArcInternalInflateError(cause::kBadLengthSymbol);
  const uint32_t length = (entry >> 16) + PackedExtra(peeked, entry);
  aBits.DiscardBits(static_cast<int>(entry & 0xFF));

  const uint32_t distPeeked = aBits.PeekBits(15 + 14);
  const uint32_t distEntry = aDistances.Lookup(distPeeked);
  // Deflate64's packed length of a missing code is what the discard refuses.
  if (distEntry & kFastBad) throw EArcInternalInflateError(aDeflate64 ? cause::kDiscardCount : cause::kBadDistanceSymbol);
  const uint32_t distance = (distEntry >> 16) + PackedExtra(distPeeked, distEntry);
  aBits.DiscardBits(static_cast<int>(distEntry & 0xFF));
  aWindow.AddLenDist(static_cast<int>(length), static_cast<int>(distance));
  return false;
}

}  // namespace

void DecodeData(TArcDfInBitStream& aBits, TArcDfOutputWindow& aWindow, const TArcDfDecodeHuffmanTree& aLiteralTree,
                const TArcDfDecodeHuffmanTree& aDistanceTree, bool aDeflate64) {
  const TArcDfFastTable literals(aLiteralTree, TArcDfFastTable::fkLiteral, aDeflate64);
  const TArcDfFastTable distances(aDistanceTree, TArcDfFastTable::fkDistance, aDeflate64);
  if (!literals.Usable() || !distances.Usable()) {
    while (!DecodeSlow(aBits, aWindow, literals, distances, aDeflate64)) {
    }
    return;
  }
  for (;;) {
    const bool endOfBlock = aDeflate64 ? DecodeFast<true>(aBits, aWindow, literals, distances)
                                       : DecodeFast<false>(aBits, aWindow, literals, distances);
    if (endOfBlock) return;
    if (aBits.TopUp(kInputMargin)) continue;
    if (DecodeSlow(aBits, aWindow, literals, distances, aDeflate64)) return;
  }
}

}  // namespace qelvo::codecs
