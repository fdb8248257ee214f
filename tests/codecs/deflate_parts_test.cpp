// The decoder's parts on their own: bit reader, Huffman tables, output window, Adler-32.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "codec_test_support.h"
#include "codecs/deflate_fast_table.h"

namespace qelvo::codecs::test {
namespace {

TEST(DeflateBitReader, BitsComeLeastSignificantFirstAcrossWords) {
  rtl::TMemoryStream source;
  Load(source, Bytes("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9));
  TArcDfInBitStream bits(&source, nullptr, 0);
  EXPECT_TRUE(bits.ReadBit());
  EXPECT_EQ(bits.ReadBits(7), 0u);
  EXPECT_EQ(bits.ReadBits(16), 0x0302u);
  EXPECT_EQ(bits.PeekBits(32), 0x07060504u);  // crosses a word
  bits.DiscardBits(20);
  EXPECT_EQ(bits.ReadBits(4), 0x0u);
  bits.AlignToByte();
  uint8_t rest[3];
  bits.ReadBuffer(rest, 3);
  EXPECT_EQ(Bytes(reinterpret_cast<char*>(rest), 3), Bytes("\x07\x08\x09", 3));
  // Past the end a peek yields zero bits; the padding of the last word may be consumed,
  // and then nothing more.
  EXPECT_EQ(bits.PeekBits(8), 0u);
  EXPECT_EQ(bits.ReadBits(16), 0u);
  EXPECT_EQ(bits.ReadBits(16), 0u);
  EXPECT_THROW(bits.ReadBits(1), EArcInternalInflateError);
}

TEST(DeflateBitReader, CountsOutsideTheirRanges) {
  rtl::TMemoryStream source;
  Load(source, Bytes(16, '\xFF'));
  TArcDfInBitStream bits(&source, nullptr, 0);
  const auto causeOf = [](auto aCall) -> std::string {
    try {
      aCall();
    } catch (const EArcInternalInflateError& e) {
      return e.Message();
    }
    return "no failure";
  };
  EXPECT_EQ(causeOf([&] { bits.ReadBits(17); }), cause::kReadBitsCount);
  EXPECT_EQ(causeOf([&] { bits.ReadBits(0); }), cause::kReadBitsCount);
  EXPECT_EQ(causeOf([&] { bits.DiscardBits(0); }), cause::kDiscardCount);
  EXPECT_EQ(causeOf([&] { bits.DiscardBits(33); }), cause::kDiscardCount);
  EXPECT_THROW(bits.PeekBits(33), rtl::EAssertionFailed);
  bits.PeekBits(3);
  EXPECT_THROW(bits.DiscardBits(4), rtl::EAssertionFailed);
  bits.PeekBits(32);
  bits.DiscardBits(32);
  bits.ReadBit();
  EXPECT_THROW(bits.ReadBuffer(nullptr, 0), rtl::EAssertionFailed);  // not on a byte boundary
}

// The source is put back on the first byte not consumed, wherever the decoder stopped.
TEST(DeflateBitReader, RestoresTheSourcePosition) {
  for (const int consumedBits : {0, 1, 8, 9, 31, 32, 33, 64, 70}) {
    SCOPED_TRACE(std::to_string(consumedBits) + " bits");
    rtl::TMemoryStream source;
    Load(source, RandomBytes(40000, 2));
    {
      TArcDfInBitStream bits(&source, nullptr, 0);
      for (int left = consumedBits; left > 0; left -= std::min(left, 16)) bits.ReadBits(std::min(left, 16));
    }
    EXPECT_EQ(source.Position(), (consumedBits + 7) / 8);
  }
}

TEST(DeflateHuffman, TablesOfCompleteIncompleteAndOversubscribedCodes) {
  const uint8_t complete[4] = {1, 2, 3, 3};  // codes 0, 10, 110, 111
  TArcDfDecodeHuffmanTree tree(4, 15, huBoth);
  tree.Build(complete, 0, 4, nullptr, kNoExtraBits);
  ASSERT_EQ(tree.LookupBitLength(), 3);
  // Index = the code's bits as they arrive (reversed); symbol | length << 16.
  const uint32_t expected[8] = {0x10000, 0x20001, 0x10000, 0x30002, 0x10000, 0x20001, 0x10000, 0x30003};
  for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(tree.Decode(i), expected[i]) << i;
  EXPECT_EQ(tree.Encode(3), static_cast<int32_t>(0x30007));
  EXPECT_THROW(tree.Decode(8), rtl::EAssertionFailed);

  const uint8_t incomplete[3] = {2, 0, 2};  // codes 00 and 01; "1x" reaches nothing
  TArcDfDecodeHuffmanTree partial(3, 15, huDecoding);
  partial.Build(incomplete, 0, 3, nullptr, kNoExtraBits);
  EXPECT_EQ(partial.Decode(0), 0x20000u);
  EXPECT_EQ(partial.Decode(2), 0x20002u);
  EXPECT_EQ(partial.Decode(1), kNoCode);
  EXPECT_EQ(partial.Decode(3), kNoCode);

  // Over-subscribed: codes are placed in symbol order, later ones overwriting earlier
  // ones, and nothing is written outside the table. Symbol 0 (code 10) is overwritten by
  // symbol 2 (code 1); symbol 3's code 10 no longer fits in one bit and lands on 0.
  const uint8_t tooMany[4] = {2, 1, 1, 1};
  TArcDfDecodeHuffmanTree over(4, 15, huDecoding);
  over.Build(tooMany, 0, 4, nullptr, kNoExtraBits);
  ASSERT_EQ(over.LookupBitLength(), 2);
  const uint32_t overwritten[4] = {0x10003, 0x10002, 0x10003, 0x10002};
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(over.Decode(i), overwritten[i]) << i;

  const uint8_t none[2] = {0, 0};
  TArcDfDecodeHuffmanTree empty(2, 15, huDecoding);
  empty.Build(none, 0, 2, nullptr, kNoExtraBits);
  EXPECT_EQ(empty.LookupBitLength(), 0);
  EXPECT_EQ(empty.Decode(0), kNoCode);
}

TEST(DeflateHuffman, FixedTreesAndPreconditions) {
  const TArcDfDecodeHuffmanTree& lit = FixedLiteralTree();
  EXPECT_EQ(lit.LookupBitLength(), 9);
  // Literal 0 is the 8-bit code 00110000, end of block the 7-bit code 0000000, and
  // length 285 the 8-bit code 11000101 with 16 extra bits.
  EXPECT_EQ(lit.Decode(0x0C), 0x00080000u);
  EXPECT_EQ(lit.Decode(0x00), 0x00070100u);
  EXPECT_EQ(lit.Decode(0xA3), 0x1008011Du);
  EXPECT_EQ(FixedDistanceTree().Decode(0x1F), 0x0E05001Fu);

  EXPECT_THROW(TArcDfDecodeHuffmanTree(1, 15, huDecoding), rtl::EAssertionFailed);
  TArcDfDecodeHuffmanTree codeLengths(19, 7, huDecoding);
  const uint8_t tooLong[2] = {8, 1};
  try {
    codeLengths.Build(tooLong, 0, 2, nullptr, kNoExtraBits);
    FAIL();
  } catch (const rtl::EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "TArcDfDecodeHuffmanTree.Build: a code length is greater than 7");
  }
}

// The decode loop's packed tables (main table and subtables) agree with the tree's full
// table at every index, for complete and incomplete codes of every length up to 15.
TEST(DeflateHuffman, PackedTablesAgreeWithTheFullTable) {
  std::mt19937 rng(21);
  // A complete code: split a random leaf until there are aSymbols, then shuffle.
  const auto completeLengths = [&](int aSymbols) {
    std::vector<uint8_t> lengths{1, 1};
    while (static_cast<int>(lengths.size()) < aSymbols) {
      const size_t leaf = rng() % lengths.size();
      if (lengths[leaf] == 15) continue;
      ++lengths[leaf];
      lengths.push_back(lengths[leaf]);
    }
    std::shuffle(lengths.begin(), lengths.end(), rng);
    return lengths;
  };
  struct Case {
    std::vector<uint8_t> Lengths;
    TArcDfFastTable::TKind Kind;
    bool Deflate64;
  };
  std::vector<Case> cases;
  std::vector<uint8_t> chain;  // 1, 2, ..., 15, 15: one code per length
  for (int n = 1; n <= 15; ++n) chain.push_back(static_cast<uint8_t>(n));
  chain.push_back(15);
  cases.push_back({chain, TArcDfFastTable::fkLiteral, false});
  cases.push_back({chain, TArcDfFastTable::fkDistance, true});
  cases.push_back({{2, 0, 2, 12, 13, 15}, TArcDfFastTable::fkLiteral, false});  // gaps in both levels
  cases.push_back({{0, 0, 0, 7}, TArcDfFastTable::fkLiteral, false});           // one code
  cases.push_back({{0, 0}, TArcDfFastTable::fkDistance, false});                // none
  for (int round = 0; round < 40; ++round) {
    const bool literal = round % 2 == 0;
    std::vector<uint8_t> lengths = completeLengths(literal ? 286 : (round % 4 == 1 ? 32 : 30));
    if (round % 3 == 0) lengths[rng() % lengths.size()] = 0;  // incomplete
    cases.push_back({lengths, literal ? TArcDfFastTable::fkLiteral : TArcDfFastTable::fkDistance, round % 4 == 1});
  }
  for (size_t c = 0; c < cases.size(); ++c) {
    const Case& k = cases[c];
    const bool literal = k.Kind == TArcDfFastTable::fkLiteral;
    std::vector<uint8_t> lengths = k.Lengths;
    lengths.resize(std::max<size_t>(lengths.size(), 2));
    TArcDfDecodeHuffmanTree tree(static_cast<int>(lengths.size()), 15, huDecoding);
    tree.Build(lengths.data(), 0, static_cast<int>(lengths.size()), literal ? LengthExtraBits : DistanceExtraBits,
               literal ? 257 : 0);
    const auto table = std::make_unique<TArcDfFastTable>(tree, k.Kind, k.Deflate64);
    ASSERT_TRUE(table->Usable()) << c;
    const int bits = literal ? TArcDfFastTable::kLiteralBits : TArcDfFastTable::kDistanceBits;
    const int width = std::max(tree.LookupBitLength(), bits);
    for (uint32_t i = 0; i < (1u << width); ++i) {
      uint32_t packed = table->Entries()[i & ((1u << bits) - 1)];
      if (packed & kFastLong)
        packed = table->Entries()[(packed >> 16) + ((i >> bits) & ((1u << ((packed >> 8) & 0xF)) - 1))];
      const uint32_t full = tree.Decode(i & ((1u << tree.LookupBitLength()) - 1));
      const uint32_t expected = literal ? PackLiteralEntry(full, k.Deflate64) : PackDistanceEntry(full, k.Deflate64);
      ASSERT_EQ(packed, expected) << "case " << c << " index " << i;
    }
  }

  // Over-subscribed codes decode only through the tree's table.
  const uint8_t tooMany[4] = {2, 1, 1, 1};
  TArcDfDecodeHuffmanTree over(4, 15, huDecoding);
  over.Build(tooMany, 0, 4, nullptr, kNoExtraBits);
  EXPECT_FALSE(TArcDfFastTable(over, TArcDfFastTable::fkDistance, false).Usable());
}

// Every distance that takes its own path (1, 2..7, 8..15, 16 and more), every length up
// to the longest: the copy equals the byte-by-byte one and writes nothing before the match
// or more than 63 bytes past it.
TEST(DeflateWindow, MatchCopiesRepeatOverlappingPatterns) {
  std::mt19937 rng(7);
  for (int dist = 1; dist <= 40; ++dist) {
    for (int len = 3; len <= 258; len += (len < 40 ? 1 : 37)) {
      std::vector<uint8_t> buffer(64 + 258 + 64);
      for (uint8_t& b : buffer) b = static_cast<uint8_t>(rng());
      std::vector<uint8_t> expected = buffer;
      for (int i = 0; i < len; ++i) expected[64 + i] = expected[64 + i - dist];
      uint8_t* const end = CopyMatch(buffer.data() + 64, len, dist);
      ASSERT_EQ(end, buffer.data() + 64 + len);
      ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + 64 + len, expected.begin()))
          << "distance " << dist << " length " << len;
      ASSERT_TRUE(std::equal(buffer.begin() + 64 + len + 63, buffer.end(), expected.begin() + 64 + len + 63));
    }
  }
}

// Through our own buffer, through reserved destination memory that runs out after the
// first piece (the history moves into our buffer), and through memory that is enough.
TEST(DeflateWindow, SlidesKeepHistoryAndChecksumTheOutput) {
  for (const bool deflate64 : {false, true}) {
    for (const int64_t reserved : {int64_t{0}, int64_t{280000}, int64_t{1} << 20}) {
      SCOPED_TRACE(std::string(deflate64 ? "Deflate64" : "Deflate") + " reserved " + std::to_string(reserved));
      rtl::TMemoryStream dest;
      dest.SetCapacity(reserved);
      const Bytes data = RandomBytes(300000, 8);
      Bytes expected;
      {
        TArcDfOutputWindow window(&dest, deflate64, true, 0, false);
        EXPECT_EQ(window.Direct(), reserved > 0);
        window.AddBuffer(reinterpret_cast<const uint8_t*>(data.data()), static_cast<int>(data.size()));
        expected = data;
        // After any number of slides the full history distance is still there.
        const int far = deflate64 ? 65536 : 32768;
        window.AddLenDist(300, far);
        for (int i = 0; i < 300; ++i) expected.push_back(expected[expected.size() - far]);
        window.AddLiteral('z');
        expected.push_back('z');
        EXPECT_EQ(window.Position(), static_cast<int64_t>(expected.size()));
        EXPECT_EQ(window.Direct(), reserved > 300000 + 65538 + TArcDfOutputWindow::kSlack);
        EXPECT_EQ(window.Checksum(), ZlibCrc32(expected));
      }
      EXPECT_TRUE(dest.DataString() == expected);
    }
  }
}

TEST(DeflateWindow, Adler32MatchesZlib) {
  for (const size_t n : {size_t{0}, size_t{1}, size_t{5551}, size_t{5552}, size_t{5553}, size_t{100000}}) {
    const Bytes data = n == 100000 ? Bytes(n, '\xFF') : RandomBytes(n, static_cast<uint32_t>(n));
    EXPECT_EQ(UpdateAdler32(1, reinterpret_cast<const uint8_t*>(data.data()), data.size()), ZlibAdler32(data)) << n;
  }
}

}  // namespace
}  // namespace qelvo::codecs::test
