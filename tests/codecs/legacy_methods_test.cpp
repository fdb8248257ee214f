// Shrink, reduce and implode on hand-built streams: the corner cases of each method,
// the limits of their tables, and data that ends early or says more than the item
// declares. The corpus archives run through item extraction in the unzip suite.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "codec_test_support.h"
#include "codecs/legacy_helper.h"

namespace qelvo::codecs::test {
namespace {

using archive::TArcZipDictionarySize;

struct LegacyRun {
  Bytes Output;
  std::optional<int32_t> ErrorCode;  // set when an archive error left Execute
  std::string Message;
};

LegacyRun RunLegacy(uint8_t aMethod, const Bytes& aInput, int64_t aSize = 1 << 20,
                    TArcZipDictionarySize aDictionary = archive::ds4K, uint8_t aTrees = 2) {
  rtl::TMemoryStream source;
  rtl::TMemoryStream dest;  // reads back, as the sliding window does in extraction
  Load(source, aInput);
  TArcUnzipHelper helper(&source, &dest);
  helper.CompressionMethod = aMethod;
  helper.UnCompressedSize = aSize;
  helper.DictionarySize = aDictionary;
  helper.ShannonFanoTreeCount = aTrees;
  LegacyRun run;
  try {
    helper.Execute();
  } catch (const archive::EArcException& e) {
    run.ErrorCode = e.ErrorCode;
    run.Message = e.what();
  }
  run.Output = dest.DataString();
  return run;
}

// ---- Shrink -------------------------------------------------------------------------

// Codes at the current width; Widen() sends 256,1 and makes the following codes wider.
class ShrinkWriter {
 public:
  ShrinkWriter& Codes(std::initializer_list<int> aCodes) {
    for (const int c : aCodes) FBits.Bits(static_cast<uint32_t>(c), FWidth);
    return *this;
  }
  ShrinkWriter& Text(const Bytes& aText) {
    for (const char c : aText) Codes({static_cast<uint8_t>(c)});
    return *this;
  }
  ShrinkWriter& Widen() {
    Codes({256, 1});
    ++FWidth;
    return *this;
  }
  ShrinkWriter& PartialClear() { return Codes({256, 2}); }
  Bytes Finish() const { return FBits.Finish(); }

 private:
  BitWriter FBits;
  int FWidth = 9;
};

TEST(Shrink, DecodesTheCornerCasesOfItsCodeTable) {
  struct Case {
    const char* Name;
    Bytes Stream;
    Bytes Expected;
  } const cases[] = {
      {"only the first code", ShrinkWriter().Codes({'A'}).Finish(), "A"},
      // 257 = AB, 258 = BA; 259 is sent before it exists: the previous string plus its
      // own first character.
      {"code not yet defined", ShrinkWriter().Codes({'A', 'B', 257, 259}).Finish(), "ABABABA"},
      {"sub-code 1 widens the codes", ShrinkWriter().Codes({'A'}).Widen().Codes({'B', 257}).Widen().Codes({'C'}).Finish(),
       "ABABC"},
      {"unknown sub-codes are ignored", ShrinkWriter().Codes({'A', 256, 7, 'B'}).Finish(), "AB"},
      // 257 AB, 258 BC, 259 CA, 260 ABC (prefix 257), 261 CAD (prefix 259). The clear
      // frees the leaves 258, 260 and 261; new codes take 258 and then 260, skipping 259.
      {"partial clear frees exactly the leaves",
       ShrinkWriter().Codes({'A', 'B', 'C', 257, 259, 'D'}).PartialClear().Codes({257, 258, 260, 259}).Finish(),
       "ABCABCAD" "AB" "DA" "ABD" "CA"},
      // 257 AB, 260 ABC (prefix 257), 262 ABCD (prefix 260). The first clear keeps 257
      // and 260 and the next free code drops to 258; the second frees 260, now a leaf,
      // but keeps 257, which 260 still named when the clear looked.
      {"a later clear keeps prefixes of codes above the next free one",
       ShrinkWriter().Codes({'A', 'B', 'C', 257, 'C', 260, 'D'}).PartialClear().PartialClear().Codes({257, 258}).Finish(),
       "ABCABCABCD" "AB" "DA"},
      {"a code 256 at the very end", ShrinkWriter().Codes({'A', 'B', 256}).Finish(), "AB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const LegacyRun run = RunLegacy(1, c.Stream);
    EXPECT_FALSE(run.ErrorCode) << run.Message;
    EXPECT_EQ(run.Output, c.Expected);
  }
}

TEST(Shrink, RefusesWhatItsTablesCannotHold) {
  struct Case {
    const char* Name;
    Bytes Stream;
    const char* Cause;
  } const cases[] = {
      {"code wider than 13 bits", ShrinkWriter().Codes({'A'}).Widen().Widen().Widen().Widen().Widen().Codes({'B'}).Finish(),
       "shrink code wider than 13 bits"},
      // The first code is undefined and 257 refers back to it: an endless chain.
      {"chain longer than the stack", ShrinkWriter().Codes({300, 257}).Finish(), "shrink expansion longer than its stack"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const LegacyRun run = RunLegacy(1, c.Stream);
    EXPECT_EQ(run.ErrorCode, archive::kArcZipCorruptedData);
    EXPECT_EQ(run.Message, std::string("Corrupted compressed data: ") + c.Cause);
  }
}

// ---- Reduce -------------------------------------------------------------------------

// Follower sets first (empty unless given), then bytes: each through its follower set
// when it is in there, else as a plain byte.
class ReduceWriter {
 public:
  explicit ReduceWriter(std::vector<std::pair<uint8_t, Bytes>> aSets = {}) {
    for (const auto& [c, followers] : aSets) FSets[c] = followers;
    for (int c = 255; c >= 0; --c) {
      FBits.Bits(static_cast<uint32_t>(FSets[c].size()), 6);
      for (const char f : FSets[c]) FBits.Byte(static_cast<uint8_t>(f));
    }
  }
  ReduceWriter& Bytes_(const Bytes& aBytes) {
    for (const char ch : aBytes) Byte(static_cast<uint8_t>(ch));
    return *this;
  }
  ReduceWriter& Byte(uint8_t c) {
    const Bytes& set = FSets[FLast];
    const size_t at = set.find(static_cast<char>(c));
    if (set.empty()) {
      FBits.Byte(c);
    } else if (at == Bytes::npos) {
      FBits.Bits(1, 1);
      FBits.Byte(c);
    } else {
      int bits = 1;
      while ((1u << bits) < set.size()) ++bits;
      FBits.Bits(0, 1);
      FBits.Bits(static_cast<uint32_t>(at), bits);
    }
    FLast = c;
    return *this;
  }
  // DLE, then the length and distance bytes of a copy for factor aFactor.
  ReduceWriter& Copy(int aFactor, int aLength, int aDistance) {
    const int mask = 0xFF >> aFactor;
    const int len = aLength - 3;
    const int high = (aDistance - 1) >> 8;
    Byte(144);
    Byte(static_cast<uint8_t>((high << (8 - aFactor)) | std::min(len, mask)));
    if (len >= mask) Byte(static_cast<uint8_t>(len - mask));
    return Byte(static_cast<uint8_t>((aDistance - 1) & 0xFF));
  }
  Bytes Finish() const { return FBits.Finish(); }

 private:
  Bytes FSets[256];
  BitWriter FBits;
  uint8_t FLast = 0;
};

Bytes Distinct(size_t aCount) {
  Bytes out;
  for (size_t i = 0; i < aCount; ++i) out += static_cast<char>(i % 143);  // never 144
  return out;
}

TEST(Reduce, CopiesAndEscapesForEveryFactor) {
  for (int factor = 1; factor <= 4; ++factor) {
    SCOPED_TRACE(factor);
    // The factor's high bits of the distance: 512 back with factor 1, 4096 with 4.
    const int distance = 256 << factor;
    const Bytes prefix = Distinct(static_cast<size_t>(distance));
    const Bytes stream = ReduceWriter().Bytes_(prefix).Copy(factor, 5, distance).Bytes_("x").Byte(144).Byte(0).Finish();
    const LegacyRun run = RunLegacy(static_cast<uint8_t>(factor + 1), stream);
    EXPECT_FALSE(run.ErrorCode) << run.Message;
    EXPECT_EQ(run.Output, prefix + prefix.substr(0, 5) + "x\x90");
  }
}

TEST(Reduce, LongestCopyOverlapsAndReachesBeforeTheStart) {
  // Factor 1: a length byte equal to the mask reads one more byte, 127 + 255 + 3 = 385.
  const LegacyRun longest = RunLegacy(2, ReduceWriter().Bytes_("ab").Copy(1, 385, 2).Finish());
  Bytes expected = "ab";
  while (expected.size() < 387) expected += expected.substr(expected.size() - 2, 2);
  EXPECT_EQ(longest.Output, expected.substr(0, 387));

  const LegacyRun early = RunLegacy(5, ReduceWriter().Bytes_("x").Copy(4, 4, 3).Finish());
  EXPECT_EQ(early.Output, Bytes("x\0\0x\0", 5));
}

TEST(Reduce, FollowerSetsCodeTheLikelyNextBytes) {
  // The first byte follows 0; sets of 1, 3 and 32 followers take 1, 2 and 5 index bits.
  Bytes many;
  for (int i = 0; i < 32; ++i) many += static_cast<char>('A' + i);
  const ReduceWriter writer({{0, "s"}, {'s', "eta"}, {'e', many}});
  const Bytes text = "seat" "s" "e`" "eZ" "q";  // the last byte is in no set
  const LegacyRun run = RunLegacy(3, ReduceWriter(writer).Bytes_(text).Finish());
  EXPECT_FALSE(run.ErrorCode) << run.Message;
  EXPECT_EQ(run.Output, text);

  BitWriter tooMany;
  tooMany.Bits(33, 6);
  const LegacyRun refused = RunLegacy(2, tooMany.Finish());
  EXPECT_EQ(refused.ErrorCode, archive::kArcZipCorruptedData);
  EXPECT_EQ(refused.Message, "Corrupted compressed data: reduce follower set larger than 32");
}

// ---- Implode ------------------------------------------------------------------------

// Trees where every value has the same length: value v then has the code
// (count - 1 - v), sent most significant bit first.
class ImplodeWriter {
 public:
  ImplodeWriter(bool aLiteralTree, bool aDict8K, Bytes aDistanceTree = UniformTree(64, 6))
      : FLiteralTree(aLiteralTree), FLowBits(aDict8K ? 7 : 6) {
    if (FLiteralTree) FBits.Bytes_(UniformTree(256, 8));
    FBits.Bytes_(UniformTree(64, 6));
    FBits.Bytes_(aDistanceTree);
  }
  // Description bytes (count - 1 first) of aCount values of aLength bits.
  static Bytes UniformTree(int aCount, int aLength) {
    Bytes d(1, static_cast<char>(aCount / 16 - 1));
    for (int i = 0; i < aCount / 16; ++i) d += static_cast<char>(0xF0 | (aLength - 1));
    return d;
  }
  ImplodeWriter& Literals(const Bytes& aText) {
    for (const char c : aText) {
      FBits.Bits(1, 1);
      if (FLiteralTree)
        FBits.Code(255 - static_cast<uint8_t>(c), 8);
      else
        FBits.Byte(static_cast<uint8_t>(c));
    }
    return *this;
  }
  // A match of length code aLengthCode (plus aExtra when 63) from aDistance back; the
  // high distance part is coded by aHighCode when given (for a non-uniform tree).
  ImplodeWriter& Match(int aDistance, int aLengthCode, int aExtra = 0,
                       std::function<void(BitWriter&, int)> aHighCode = nullptr) {
    const int d = aDistance - 1;
    FBits.Bits(0, 1);
    FBits.Bits(static_cast<uint32_t>(d & ((1 << FLowBits) - 1)), FLowBits);
    if (aHighCode)
      aHighCode(FBits, d >> FLowBits);
    else
      FBits.Code(static_cast<uint32_t>(63 - (d >> FLowBits)), 6);
    FBits.Code(static_cast<uint32_t>(63 - aLengthCode), 6);
    if (aLengthCode == 63) FBits.Byte(static_cast<uint8_t>(aExtra));
    return *this;
  }
  Bytes Finish() const { return FBits.Finish(); }

 private:
  BitWriter FBits;
  bool FLiteralTree;
  int FLowBits;
};

TEST(Implode, TreesDictionariesAndMatchLengths) {
  Bytes far8K;
  for (int i = 0; i < 8192; ++i) far8K += static_cast<char>((i * 7) % 251);
  const Bytes far4K = far8K.substr(0, 4096);
  struct Case {
    const char* Name;
    uint8_t Trees;
    TArcZipDictionarySize Dictionary;
    Bytes Stream;
    Bytes Expected;
  } const cases[] = {
      {"two trees: plain literals, shortest match 2", 2, archive::ds4K,
       ImplodeWriter(false, false).Literals("abc").Match(2, 0).Finish(), "abcbc"},
      {"three trees: coded literals, shortest match 3", 3, archive::ds4K,
       ImplodeWriter(true, false).Literals("abc").Match(2, 0).Finish(), "abcbcb"},
      {"length 63 takes 8 more bits", 2, archive::ds4K,
       ImplodeWriter(false, false).Literals("z").Match(1, 63, 200).Finish(), Bytes(1 + 63 + 200 + 2, 'z')},
      {"4 KiB dictionary reaches 4096 back", 2, archive::ds4K,
       ImplodeWriter(false, false).Literals(far4K).Match(4096, 1).Finish(), far4K + far4K.substr(0, 3)},
      {"8 KiB dictionary reaches 8192 back", 3, archive::ds8K,
       ImplodeWriter(true, true).Literals(far8K).Match(8192, 1).Finish(), far8K + far8K.substr(0, 4)},
      {"copies before the first byte read zeros", 2, archive::ds8K,
       ImplodeWriter(false, true).Literals("q").Match(3, 2).Finish(), Bytes("q\0\0q\0", 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const LegacyRun run = RunLegacy(6, c.Stream, 1 << 20, c.Dictionary, c.Trees);
    EXPECT_FALSE(run.ErrorCode) << run.Message;
    EXPECT_EQ(run.Output, c.Expected);
  }
}

TEST(Implode, CodesFollowLengthThenValueOrder) {
  // Distance tree: value 0 of 1 bit, 1 of 2, 2 and 3 of 3 bits, the rest without a code.
  // Assigned from the longest: 3 = 000, 2 = 001, 1 = 01, 0 = 1.
  const Bytes tree("\x03\x00\x01\x02\x02", 5);
  const auto high = [](BitWriter& w, int v) {
    static const std::pair<uint32_t, int> codes[] = {{1, 1}, {1, 2}, {1, 3}, {0, 3}};
    w.Code(codes[v].first, codes[v].second);
  };
  Bytes text;
  for (int i = 0; i < 256; ++i) text += static_cast<char>(i);
  const Bytes stream = ImplodeWriter(false, false, tree)
                           .Literals(text)
                           .Match(1 + 64 * 3, 0, 0, high)
                           .Match(1 + 64 * 2, 0, 0, high)
                           .Match(1 + 64 * 1, 0, 0, high)
                           .Match(1, 0, 0, high)
                           .Finish();
  const LegacyRun run = RunLegacy(6, stream);
  EXPECT_FALSE(run.ErrorCode) << run.Message;
  Bytes expected = text;
  for (const size_t back : {193, 129, 65, 1})
    for (int i = 0; i < 2; ++i) expected += expected[expected.size() - back];
  EXPECT_EQ(run.Output, expected);
}

TEST(Implode, RefusesATreeDescribingMoreValuesThanItHolds) {
  // 5 description bytes of 16 values each for the 64-value length tree.
  const Bytes tooMany = Bytes(1, '\x04') + Bytes(5, '\xF5');
  const LegacyRun run = RunLegacy(6, tooMany + Bytes(40, '\0'));
  EXPECT_EQ(run.ErrorCode, archive::kArcZipCorruptedData);
  EXPECT_EQ(run.Message, "Corrupted compressed data: implode tree describes more values than it holds");
}

// ---- All three ----------------------------------------------------------------------

TEST(LegacyMethods, StopAtTheDeclaredSizeAndEndQuietlyWithTheData) {
  const Bytes text = "the quick brown fox jumps over the lazy dog";
  const Bytes shrunk = ShrinkWriter().Text(text).Finish();
  const Bytes reduced = ReduceWriter().Bytes_("abc").Copy(1, 300, 3).Finish();
  const Bytes imploded = ImplodeWriter(false, false).Literals("abc").Match(3, 63, 255).Finish();
  struct Case {
    const char* Name;
    uint8_t Method;
    Bytes Stream;
    size_t Full;
  } const cases[] = {{"shrink", 1, shrunk, text.size()}, {"reduce", 2, reduced, 303}, {"implode", 6, imploded, 323}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes whole = RunLegacy(c.Method, c.Stream).Output;
    ASSERT_EQ(whole.size(), c.Full);
    // A declared size below what the data says: exactly that many bytes.
    for (int64_t size : {int64_t{1}, int64_t{7}, static_cast<int64_t>(c.Full) - 1}) {
      const LegacyRun cut = RunLegacy(c.Method, c.Stream, size);
      EXPECT_FALSE(cut.ErrorCode) << cut.Message;
      EXPECT_EQ(cut.Output, whole.substr(0, static_cast<size_t>(size)));
    }
    // Data that ends early: decoding stops without an error, with a prefix of the output.
    for (size_t keep = 0; keep < c.Stream.size(); keep += 3) {
      const LegacyRun shortRun = RunLegacy(c.Method, c.Stream.substr(0, keep));
      EXPECT_FALSE(shortRun.ErrorCode) << shortRun.Message;
      EXPECT_EQ(shortRun.Output, whole.substr(0, shortRun.Output.size())) << keep;
      EXPECT_LT(shortRun.Output.size(), whole.size()) << keep;
    }
  }
}

TEST(LegacyMethods, UnknownMethodIsRefused) {
  const LegacyRun run = RunLegacy(7, "data");
  EXPECT_EQ(run.ErrorCode, archive::kArcZipInvalidMethod);
  EXPECT_TRUE(run.Output.empty());
}

}  // namespace
}  // namespace qelvo::codecs::test
