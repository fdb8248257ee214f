// Inflate on hand-made streams: the format's edge cases, the Deflate64 extensions, and
// every way a corrupted stream is reported.
#include <gtest/gtest.h>

#include <random>

#include "codec_test_support.h"

namespace qelvo::codecs::test {
namespace {

// History for far matches: random bytes in stored blocks (at most 65535 per block).
void StoredHistory(BitWriter& aOut, const Bytes& aData) {
  for (size_t at = 0; at < aData.size(); at += 65535) aOut.StoredBlock(false, aData.substr(at, 65535));
}

// The bytes a match appends to aHistory.
Bytes Repeat(const Bytes& aHistory, int aLength, int aDistance) {
  Bytes out;
  out.reserve(static_cast<size_t>(aLength));
  const size_t start = aHistory.size() - static_cast<size_t>(aDistance);
  for (int i = 0; i < aLength; ++i) {
    const size_t from = start + static_cast<size_t>(i);
    out.push_back(from < aHistory.size() ? aHistory[from] : out[from - aHistory.size()]);
  }
  return out;
}

TEST(InflateEdges, EmptyStoredBlock) {
  BitWriter w;
  w.StoredBlock(true, "");
  const InflateRun crc = RunInflate(w.Finish());
  EXPECT_FALSE(crc.Cause);
  EXPECT_EQ(crc.Output, "");
  EXPECT_EQ(crc.Result, 0u);
  EXPECT_EQ(RunInflate(w.Finish(), ofAdler32).Result, 1u);
}

TEST(InflateEdges, OverlappingMatchRepeatsThePattern) {
  BitWriter w;
  HuffmanBlock b(w, true);
  b.Literal('a');
  b.Match(10, 1);
  b.Literals("xyz");
  b.Match(12, 3);
  b.End();
  const InflateRun run = RunInflate(w.Finish());
  ASSERT_FALSE(run.Cause) << *run.Cause;
  EXPECT_EQ(run.Output, "aaaaaaaaaaa" "xyz" "xyzxyzxyzxyz");
}

// Symbol 285 is length 258 without extra bits in Deflate; in Deflate64 it takes 16 extra
// bits and gives 3 + that value.
TEST(InflateEdges, LengthSymbol285InBothModes) {
  {
    BitWriter w;
    HuffmanBlock b(w, true);
    b.Literal('a');
    b.Match(258, 1);
    b.Literal('b');
    b.End();
    const InflateRun run = RunInflate(w.Finish());
    ASSERT_FALSE(run.Cause) << *run.Cause;
    EXPECT_EQ(run.Output, Bytes(259, 'a') + "b");
  }
  for (const uint32_t extra : {0u, 255u, 256u, 40000u, 65535u}) {
    SCOPED_TRACE("extra " + std::to_string(extra));
    BitWriter w;
    HuffmanBlock b(w, true);
    b.Literals("ab");
    b.Symbol(285);
    w.Bits(extra, 16);
    b.DistanceCode(DistanceSymbol(2));
    b.Literal('!');
    b.End();
    const InflateRun run = RunInflate(w.Finish(), ofDeflate64);
    ASSERT_FALSE(run.Cause) << *run.Cause;
    EXPECT_EQ(run.Output, "ab" + Repeat("ab", static_cast<int>(3 + extra), 2) + "!");
    EXPECT_EQ(run.Result, ZlibCrc32(run.Output));
  }
}

// Distance symbols 30 and 31 (32769 and 49153 plus 14 bits) exist only in Deflate64,
// whose window keeps 64 KiB of history.
TEST(InflateEdges, Deflate64Distances) {
  const Bytes history = RandomBytes(70000, 11);
  for (const int distance : {32768, 32769, 40000, 49152, 49153, 65536}) {
    SCOPED_TRACE("distance " + std::to_string(distance));
    BitWriter w;
    StoredHistory(w, history);
    HuffmanBlock b(w, true);
    b.Match(300, distance, true);
    b.Match(65538, distance, true);
    b.End();
    const InflateRun run = RunInflate(w.Finish(), ofDeflate64);
    ASSERT_FALSE(run.Cause) << *run.Cause;
    const Bytes first = Repeat(history, 300, distance);
    EXPECT_EQ(run.Output, history + first + Repeat(history + first, 65538, distance));
  }
  BitWriter w;
  StoredHistory(w, history);
  HuffmanBlock b(w, true);
  b.Match(10, 32769);
  b.End();
  EXPECT_EQ(RunInflate(w.Finish()).Cause, cause::kBadDistanceSymbol);
}

// Many long Deflate64 matches in one block, so that the decode loop's fast path meets
// length symbol 285 and the far distance symbols, not only the one-symbol path.
TEST(InflateEdges, Deflate64LongMatchesInBulk) {
  std::mt19937 rng(41);
  Bytes expected = RandomBytes(66000, 42);
  BitWriter w;
  StoredHistory(w, expected);
  HuffmanBlock b(w, true, CompleteLengths(286), CompleteLengths(32));
  for (int i = 0; i < 400; ++i) {
    const int length = i % 3 == 0 ? 3 + static_cast<int>(rng() % 65536) : 3 + static_cast<int>(rng() % 400);
    const int distance = 1 + static_cast<int>(rng() % 65536);
    b.Match(length, distance, true);
    expected += Repeat(expected, length, distance);
    const Bytes literals = RandomBytes(rng() % 6, rng());
    b.Literals(literals);
    expected += literals;
  }
  b.End();
  const InflateRun run = RunInflate(w.Finish(), ofDeflate64);
  ASSERT_FALSE(run.Cause) << *run.Cause;
  EXPECT_EQ(run.Output.size(), expected.size());
  EXPECT_TRUE(run.Output == expected);
  EXPECT_EQ(run.Result, ZlibCrc32(expected));
}

// A dynamic block with 32 distance codes, and far matches through it.
TEST(InflateEdges, ThirtyTwoDistanceCodes) {
  const Bytes history = RandomBytes(66000, 12);
  BitWriter w;
  StoredHistory(w, history);
  HuffmanBlock b(w, true, CompleteLengths(286), CompleteLengths(32));
  b.Match(1000, 60000, true);
  b.Literals("end");
  b.End();
  const Bytes stream = w.Finish();
  const InflateRun run = RunInflate(stream, ofDeflate64);
  ASSERT_FALSE(run.Cause) << *run.Cause;
  EXPECT_EQ(run.Output, history + Repeat(history, 1000, 60000) + "end");
  EXPECT_EQ(RunInflate(stream).Cause, cause::kTooManyDistanceCodes);
}

// Code-length repeats that run past HLIT + HDIST are ignored; a repeat may also cross
// from the literal/length part into the distance part.
TEST(InflateEdges, CodeLengthRepeats) {
  // Literal 'a' and end-of-block get length 1; 257 literal/length lengths, 1 distance.
  const std::vector<SymbolExtra> pastTheEnd = {
      {18, 97 - 11, 7}, {1, 0, 0}, {18, 127, 7}, {17, 7, 3}, {17, 7, 3}, {1, 0, 0}, {18, 20, 7}};
  // Literal 'a' and 256 of length 2, then 16 repeating 2 into the distance part.
  const std::vector<SymbolExtra> crossing = {{18, 97 - 11, 7}, {2, 0, 0}, {18, 127, 7}, {17, 7, 3},
                                             {17, 7, 3},       {2, 0, 0}, {16, 0, 2}};
  struct Case {
    const char* Name;
    const std::vector<SymbolExtra>* Symbols;
    int Hdist;
  };
  for (const auto& c : {Case{"past the end", &pastTheEnd, 1}, Case{"crossing", &crossing, 2}}) {
    SCOPED_TRACE(c.Name);
    BitWriter w;
    HuffmanBlock b(w, true, std::vector<int>(257, 0), std::vector<int>(c.Hdist, 0), c.Symbols, 257, c.Hdist);
    if (c.Symbols == &pastTheEnd) {
      w.Code(0, 1);  // 'a'
      w.Code(0, 1);  // 'a'
      w.Code(1, 1);  // end of block
    } else {
      // Lengths 2 for 'a' (code 00), 256 (code 01), and the two distance codes.
      w.Code(0, 2);
      w.Code(1, 2);
    }
    const InflateRun run = RunInflate(w.Finish());
    ASSERT_FALSE(run.Cause) << *run.Cause;
    EXPECT_EQ(run.Output, c.Symbols == &pastTheEnd ? "aa" : "a");
  }
}

TEST(InflateEdges, TestOnlyWritesNothing) {
  const Bytes data = TextBytes(200000, 5);
  rtl::TMemoryStream source;
  Load(source, RawDeflate(data));
  rtl::TMemoryStream dest;
  dest.WriteString("untouched");
  TArcDeflateHelper helper;
  helper.Options = ofTestOnly;
  EXPECT_EQ(Inflate(&source, &dest, &helper), ZlibCrc32(data));
  EXPECT_EQ(dest.DataString(), "untouched");
  EXPECT_EQ(helper.NormalSize, static_cast<int64_t>(data.size()));
}

// Decoding stops, without failure and with result 0, once the partial size exists; all
// bytes decoded so far are written out.
TEST(InflateEdges, PartialSize) {
  const Bytes data = TextBytes(500000, 9) + RepetitiveBytes(200000, 3);
  const Bytes packed = RawDeflate(data);
  for (const int64_t partial : {int64_t{1}, int64_t{512}, int64_t{65535}, int64_t{65536}, int64_t{300000}}) {
    for (const int32_t options : {0, int32_t{ofTestOnly}}) {
      SCOPED_TRACE("partial " + std::to_string(partial) + " options " + std::to_string(options));
      const InflateRun run = RunInflate(packed, options, partial);
      ASSERT_FALSE(run.Cause);
      EXPECT_EQ(run.Result, 0u);
      const int64_t produced = options == ofTestOnly ? run.Helper.NormalSize : static_cast<int64_t>(run.Output.size());
      EXPECT_GE(produced, partial);
      EXPECT_LT(produced, partial + 258);
      EXPECT_EQ(run.Helper.NormalSize, produced);
      if (options == ofTestOnly) {
        EXPECT_EQ(run.Output, "");
      } else {
        EXPECT_EQ(run.Output, data.substr(0, run.Output.size()));
      }
      EXPECT_LT(run.Helper.CompressedSize, static_cast<int64_t>(packed.size()));
    }
  }
}

TEST(InflateEdges, ProgressAndAbort) {
  const Bytes data = RandomBytes(100000, 4);
  const Bytes packed = RawDeflate(data, 1);
  std::vector<int32_t> seen;
  {
    rtl::TMemoryStream source;
    Load(source, packed);
    rtl::TMemoryStream dest;
    TArcDeflateHelper helper;
    helper.StreamSize = -1;
    helper.OnProgressStep = [&](int32_t aPercent) { seen.push_back(aPercent); };
    EXPECT_EQ(Inflate(&source, &dest, &helper), ZlibCrc32(data));
    ASSERT_GE(seen.size(), 6u);  // one call per 16 KiB slice
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
  }
  {
    rtl::TMemoryStream source;
    Load(source, packed);
    rtl::TMemoryStream dest;
    TArcDeflateHelper helper;
    helper.StreamSize = static_cast<int64_t>(packed.size());
    helper.OnProgressStep = [](int32_t aPercent) {
      if (aPercent >= 40) throw EArcAbortProgress();
    };
    EXPECT_EQ(Inflate(&source, &dest, &helper), 0u);
    EXPECT_GT(helper.NormalSize, 0);
    EXPECT_LT(helper.NormalSize, static_cast<int64_t>(data.size()));
    EXPECT_EQ(dest.DataString(), data.substr(0, dest.DataString().size()));
  }
}

// A failure keeps everything decoded before it, and leaves the helper's results alone.
TEST(InflateEdges, FailureKeepsDecodedBytes) {
  const Bytes data = TextBytes(150000, 3);
  BitWriter w;
  w.StoredBlock(false, data.substr(0, 65535));
  w.StoredBlock(false, data.substr(65535, 65535));
  w.StoredBlock(false, data.substr(131070));
  w.BlockHeader(true, 3);
  const InflateRun run = RunInflate(w.Finish());
  EXPECT_EQ(run.Cause, cause::kInvalidBlockType);
  EXPECT_EQ(run.Output, data);
  EXPECT_EQ(run.Helper.NormalSize, 0);
  EXPECT_EQ(run.Helper.CompressedSize, 0);
}

struct CauseCase {
  const char* Name;
  Bytes Stream;
  int32_t Options;
  const char* Cause;
};

Bytes Truncate(const Bytes& aStream, size_t aLength) { return aStream.substr(0, aLength); }

std::vector<CauseCase> CauseCases() {
  std::vector<CauseCase> cases;
  {
    BitWriter w;
    w.BlockHeader(true, 3);
    cases.push_back({"block type 3", w.Finish(), 0, cause::kInvalidBlockType});
  }
  {
    BitWriter w;
    w.BlockHeader(true, 0);
    w.AlignToByte();
    w.Bits(5, 16);
    w.Bits(5, 16);
    cases.push_back({"stored length check", w.Finish() + "12345", 0, cause::kStoredLength});
  }
  {
    BitWriter w;
    w.BlockHeader(true, 2);
    w.Bits(30, 5);  // 287 literal/length codes
    w.Bits(0, 5);
    w.Bits(0, 4);
    cases.push_back({"HLIT 287", w.Finish() + Bytes(8, '\0'), 0, cause::kTooManyLiteralCodes});
  }
  {
    BitWriter w;
    w.BlockHeader(true, 2);
    w.Bits(0, 5);
    w.Bits(30, 5);  // 31 distance codes
    w.Bits(0, 4);
    cases.push_back({"HDIST 31", w.Finish() + Bytes(8, '\0'), 0, cause::kTooManyDistanceCodes});
  }
  const auto codeLengthHeader = [](BitWriter& w, int aLen16, int aLen0) {
    w.BlockHeader(true, 2);
    w.Bits(0, 5);
    w.Bits(0, 5);
    w.Bits(0, 4);  // code lengths of symbols 16, 17, 18, 0
    w.Bits(static_cast<uint32_t>(aLen16), 3);
    w.Bits(0, 3);
    w.Bits(0, 3);
    w.Bits(static_cast<uint32_t>(aLen0), 3);
  };
  {
    BitWriter w;
    codeLengthHeader(w, 0, 1);  // only "0" is a code
    w.Bits(1, 1);
    cases.push_back({"code-length code with no code", w.Finish() + Bytes(8, '\0'), 0, cause::kBadCodeLengthSymbol});
  }
  {
    BitWriter w;
    w.BlockHeader(true, 2);
    w.Bits(0, 5);
    w.Bits(0, 5);
    w.Bits(0, 4);
    for (int i = 0; i < 4; ++i) w.Bits(0, 3);  // no code-length code at all
    cases.push_back({"empty code-length code", w.Finish() + Bytes(8, '\0'), 0, cause::kBadCodeLengthSymbol});
  }
  {
    BitWriter w;
    codeLengthHeader(w, 1, 1);  // 0 is "0", 16 is "1"
    w.Code(1, 1);
    w.Bits(0, 2);
    cases.push_back({"first code length repeats", w.Finish() + Bytes(8, '\0'), 0, cause::kRepeatWithoutLength});
  }
  for (const int symbol : {286, 287}) {
    for (const int32_t options : {0, int32_t{ofDeflate64}}) {
      BitWriter w;
      HuffmanBlock b(w, true);
      b.Literal('a');
      b.Symbol(symbol);
      b.End();
      cases.push_back({symbol == 286 ? "length symbol 286" : "length symbol 287", w.Finish(), options,
                       cause::kBadLengthSymbol});
    }
  }
  for (const int symbol : {30, 31}) {
    BitWriter w;
    HuffmanBlock b(w, true);
    b.Literal('a');
    b.Symbol(257);
    b.DistanceCode({symbol, 0, 14});
    b.End();
    cases.push_back({"distance symbol 30 or 31", w.Finish(), 0, cause::kBadDistanceSymbol});
  }
  {
    // Distance code "1" reaches no symbol: 'a' "0", 256 "10", 257 "11"; distance 0 "0".
    std::vector<int> lit(258, 0);
    lit['a'] = 1;
    lit[256] = 2;
    lit[257] = 2;
    for (const int32_t options : {0, int32_t{ofDeflate64}}) {
      BitWriter w;
      HuffmanBlock b(w, true, lit, {1, 0});
      b.Literal('a');
      b.Symbol(257);
      w.Code(1, 1);
      b.End();
      cases.push_back({"distance with no code", w.Finish() + Bytes(8, '\0'), options,
                       options ? cause::kDiscardCount : cause::kBadDistanceSymbol});
    }
  }
  for (const int32_t options : {0, int32_t{ofDeflate64}}) {
    BitWriter w;
    HuffmanBlock b(w, true);
    b.Literals("ab");
    b.Match(3, 3, options != 0);
    b.End();
    cases.push_back({"distance before the first byte", w.Finish(), options, cause::kDistanceTooFar});
  }
  {
    BitWriter w;
    HuffmanBlock b(w, true);
    b.Match(5, 1);
    b.End();
    cases.push_back({"match as the first symbol", w.Finish(), 0, cause::kDistanceTooFar});
  }
  {
    BitWriter w;
    HuffmanBlock b(w, true);
    b.Literals(TextBytes(70000));  // past the first slide: the check uses bytes produced
    b.Match(10, 32768);
    b.End();
    const Bytes ok = w.Finish();
    cases.push_back({"far match after a slide is fine", ok, 0, nullptr});
  }
  cases.push_back({"no data at all", "", 0, cause::kNoDataReadBit});
  {
    BitWriter w;
    w.StoredBlock(false, "abc");  // 8 bytes: ends on a word, no padding
    cases.push_back({"data ends at a block header", w.Finish(), 0, cause::kNoDataReadBit});
  }
  {
    BitWriter w;
    w.BlockHeader(false, 2);
    w.Bits(0, 5);
    w.Bits(0, 5);
    w.Bits(15, 4);  // 19 code-length lengths do not fit in the one word there is
    cases.push_back({"data ends in a counted field", Truncate(w.Finish() + Bytes(8, '\0'), 4), 0,
                     cause::kNoDataReadBits});
  }
  {
    BitWriter w;
    HuffmanBlock b(w, true);
    b.Literals("aaaaaaaaaa");
    b.End();
    cases.push_back({"data ends inside a code", Truncate(w.Finish(), 4), 0, cause::kNoDataDiscardBits});
  }
  for (const size_t cut : {size_t{10}, size_t{12}, size_t{3}}) {
    BitWriter w;
    w.StoredBlock(true, "0123456789");
    cases.push_back({"stored data cut short", Truncate(w.Finish(), cut), 0, cause::kNoDataReadBuffer});
  }
  // Long stored data is read straight from the source once the byte buffer is empty.
  for (const size_t cut : {size_t{5}, size_t{40000}}) {
    BitWriter w;
    w.StoredBlock(true, Bytes(60000, 's'));
    cases.push_back({"long stored data cut short", Truncate(w.Finish(), cut), 0, cause::kNoDataReadBuffer});
  }
  return cases;
}

TEST(InflateEdges, EveryCorruptionCause) {
  // Symbols decoded with plenty of input behind them go through the decode loop's fast
  // path, the others one at a time: the same bytes followed by junk must fail alike.
  const std::vector<const char*> symbolCauses = {cause::kBadLengthSymbol, cause::kBadDistanceSymbol,
                                                 cause::kDiscardCount, cause::kDistanceTooFar, nullptr};
  for (const CauseCase& c : CauseCases()) {
    const bool bothPaths = std::find(symbolCauses.begin(), symbolCauses.end(), c.Cause) != symbolCauses.end();
    for (const Bytes& tail : {Bytes(), bothPaths ? Bytes(64, '\xAA') : Bytes()}) {
      // Into our own buffer, and into memory the destination reserved.
      for (const int64_t reserved : {int64_t{0}, int64_t{1} << 20}) {
        SCOPED_TRACE(std::string(c.Name) + (c.Options ? " (Deflate64)" : "") + (tail.empty() ? "" : " with a tail") +
                     (reserved ? " into reserved memory" : ""));
        const InflateRun run = RunInflate(c.Stream + tail, c.Options, 0, reserved);
        if (c.Cause == nullptr) {
          EXPECT_FALSE(run.Cause) << *run.Cause;
        } else {
          EXPECT_EQ(run.Cause.value_or("no failure"), c.Cause);
        }
      }
      if (!bothPaths) break;
    }
  }
}

// Writing into the destination's reserved memory, what the destination held before is
// not history: a match reaching into it fails as it does on an empty destination.
TEST(InflateEdges, EarlierContentIsNoHistory) {
  BitWriter w;
  HuffmanBlock b(w, true);
  b.Literals("ab");
  b.Match(4, 3);
  b.End();
  rtl::TMemoryStream source;
  Load(source, w.Finish());
  rtl::TMemoryStream dest;
  dest.WriteString("prefix");
  dest.SetCapacity(1 << 20);
  try {
    Inflate(&source, &dest, nullptr);
    FAIL() << "no failure";
  } catch (const EArcInflateError& e) {
    EXPECT_EQ(e.InternalCause, cause::kDistanceTooFar);
  }
  EXPECT_EQ(dest.DataString(), "prefixab");
}

TEST(InflateEdges, FailureMessage) {
  rtl::TMemoryStream source;
  Load(source, "");
  rtl::TMemoryStream dest;
  try {
    Inflate(&source, &dest, nullptr);
    FAIL() << "no failure";
  } catch (const EArcInflateError& e) {
    EXPECT_STREQ(e.what(),
                 "Inflate error, possibly a corrupted compressed stream. (Internal cause: no more compressed data in "
                 "stream [TArcDfInBitStream.ReadBit])");
  }
}

TEST(InflateEdges, Preconditions) {
  rtl::TMemoryStream stream;
  EXPECT_THROW(Inflate(nullptr, &stream, nullptr), rtl::EAssertionFailed);
  EXPECT_THROW(Inflate(&stream, nullptr, nullptr), rtl::EAssertionFailed);
}

}  // namespace
}  // namespace qelvo::codecs::test
