// Inflate against streams that zlib writes: every level and strategy, several window
// and memory settings, data of several kinds, and sources that read short.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "codec_test_support.h"

namespace qelvo::codecs::test {
namespace {

struct Sample {
  const char* Name;
  Bytes Data;
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = {
      {"empty", ""},
      {"one byte", "x"},
      {"text", TextBytes(300000)},
      {"random", RandomBytes(100000, 2)},
      {"repetitive", RepetitiveBytes(400000, 3)},
      {"zeros", Bytes(200000, '\0')},
  };
  return samples;
}

struct Setting {
  int Level;
  int Strategy;
  int WindowBits;
  int MemLevel;
};

std::string Describe(const Setting& s) {
  return "level " + std::to_string(s.Level) + " strategy " + std::to_string(s.Strategy) + " window " +
         std::to_string(s.WindowBits) + " memLevel " + std::to_string(s.MemLevel);
}

TEST(InflateZlib, EveryLevelStrategyAndSample) {
  std::vector<Setting> settings;
  for (int level = 0; level <= 9; ++level) settings.push_back({level, Z_DEFAULT_STRATEGY, 15, 8});
  for (const int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) settings.push_back({6, strategy, 15, 8});
  settings.push_back({9, Z_DEFAULT_STRATEGY, 9, 1});   // small window, many small blocks
  settings.push_back({9, Z_DEFAULT_STRATEGY, 15, 9});  // large blocks
  settings.push_back({1, Z_FIXED, 10, 2});

  for (const Setting& setting : settings) {
    for (const Sample& sample : Samples()) {
      SCOPED_TRACE(Describe(setting) + ", " + sample.Name);
      const Bytes packed =
          RawDeflate(sample.Data, setting.Level, setting.Strategy, setting.WindowBits, setting.MemLevel);
      const InflateRun crc = RunInflate(packed);
      ASSERT_FALSE(crc.Cause) << *crc.Cause;
      ASSERT_EQ(crc.Output, sample.Data);
      EXPECT_EQ(crc.Result, ZlibCrc32(sample.Data));
      EXPECT_EQ(crc.Helper.NormalSize, static_cast<int64_t>(sample.Data.size()));
      EXPECT_EQ(crc.Helper.CompressedSize, static_cast<int64_t>(packed.size()));

      const InflateRun adler = RunInflate(packed, ofAdler32);
      EXPECT_EQ(adler.Result, ZlibAdler32(sample.Data));
    }
  }
}

// One stream of many blocks: sync and full flushes (empty stored blocks at any bit
// offset, history resets), level changes (stored pieces between Huffman blocks), read
// through sources of several read sizes.
TEST(InflateZlib, FlushedAndMixedStreams) {
  const Bytes data = TextBytes(90000, 31) + RandomBytes(70000, 32) + RepetitiveBytes(150000, 33) + Bytes(5000, 'q');
  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes packed(deflateBound(&z, data.size()) * 2 + 4096, '\0');
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  std::mt19937 rng(34);
  for (size_t at = 0; at < data.size();) {
    const size_t n = std::min<size_t>(data.size() - at, 1 + rng() % 20000);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    z.avail_in = static_cast<uInt>(n);
    at += n;
    const int flushes[] = {Z_NO_FLUSH, Z_SYNC_FLUSH, Z_FULL_FLUSH, Z_PARTIAL_FLUSH, Z_BLOCK};
    ASSERT_NE(deflate(&z, at == data.size() ? Z_FINISH : flushes[rng() % 5]), Z_STREAM_ERROR);
    if (rng() % 4 == 0) {
      ASSERT_EQ(deflateParams(&z, static_cast<int>(rng() % 10), Z_DEFAULT_STRATEGY), Z_OK);
    }
  }
  packed.resize(z.total_out);
  deflateEnd(&z);

  for (const std::vector<int>& pattern : {std::vector<int>{1 << 20}, {1}, {2, 3}, {6000, 5}}) {
    SCOPED_TRACE("first read " + std::to_string(pattern[0]));
    TShortReadStream source(packed, pattern);
    rtl::TMemoryStream dest;
    TArcDeflateHelper helper;
    EXPECT_EQ(Inflate(&source, &dest, &helper), ZlibCrc32(data));
    EXPECT_EQ(dest.DataString(), data);
    EXPECT_EQ(helper.CompressedSize, static_cast<int64_t>(packed.size()));
  }
}

// A source may return fewer bytes than asked; the reader reads on until a word boundary
// or the end, so nothing is padded in the middle of the data. A source in memory is read
// where it lies (no pattern) and ends the same way.
TEST(InflateZlib, ShortReadingSources) {
  const Bytes data = TextBytes(120000, 7) + RandomBytes(30000, 2) + RepetitiveBytes(100000, 3);
  const Bytes packed = RawDeflate(data, 6) + "TRAILER!";
  const std::vector<std::vector<int>> patterns = {{}, {1}, {3}, {5, 2, 7}, {16383}, {4097, 1}};
  for (const auto& pattern : patterns) {
    SCOPED_TRACE(pattern.empty() ? "in place" : "first read " + std::to_string(pattern[0]));
    const std::unique_ptr<rtl::TReadOnlyMemoryStream> source =
        pattern.empty() ? std::make_unique<rtl::TReadOnlyMemoryStream>(packed)
                        : std::make_unique<TShortReadStream>(packed, pattern);
    rtl::TMemoryStream dest;
    TArcDeflateHelper helper;
    const uint32_t crc = Inflate(source.get(), &dest, &helper);
    EXPECT_EQ(dest.DataString(), data);
    EXPECT_EQ(crc, ZlibCrc32(data));
    EXPECT_EQ(helper.CompressedSize, static_cast<int64_t>(packed.size() - 8));
    EXPECT_EQ(source->Position(), static_cast<int64_t>(packed.size() - 8));
  }
}

// Whatever the length of the stream modulo 4, and whatever follows it, decoding is
// complete and the source ends on the first byte after the Deflate data, so a gzip
// member's trailer can be read from there.
TEST(InflateZlib, SourceStandsOnTheTrailer) {
  for (int extra = 0; extra < 8; ++extra) {
    const Bytes data = TextBytes(1000 + extra * 37, extra);
    const Bytes packed = RawDeflate(data, 9);
    for (const size_t trailer : {size_t{0}, size_t{1}, size_t{8}}) {
      SCOPED_TRACE("stream length " + std::to_string(packed.size()) + ", trailer " + std::to_string(trailer));
      rtl::TMemoryStream source;
      Load(source, "HEAD" + packed + Bytes(trailer, '\xA5'));
      source.SetPosition(4);
      rtl::TMemoryStream dest;
      TArcDeflateHelper helper;
      const uint32_t crc = Inflate(&source, &dest, &helper);
      EXPECT_EQ(dest.DataString(), data);
      EXPECT_EQ(crc, ZlibCrc32(data));
      EXPECT_EQ(source.Position(), static_cast<int64_t>(4 + packed.size()));
      EXPECT_EQ(helper.CompressedSize, static_cast<int64_t>(packed.size()));
    }
  }
}

TEST(InflateZlib, DestinationKeepsWhatWasThere) {
  const Bytes data = TextBytes(70000);
  rtl::TMemoryStream source;
  Load(source, RawDeflate(data));
  rtl::TMemoryStream dest;
  dest.WriteString("prefix");
  TArcDeflateHelper helper;
  Inflate(&source, &dest, &helper);
  EXPECT_EQ(dest.DataString(), "prefix" + data);
  EXPECT_EQ(helper.NormalSize, static_cast<int64_t>(data.size()));
}

// Memory the destination reserved ahead is written in place: too little for one match,
// used up in the middle of the stream (the rest goes through our own buffer, with the
// history carried over), exactly the output, and more than enough.
TEST(InflateZlib, DestinationMemoryReservedAhead) {
  const Bytes data = TextBytes(700000, 5) + RandomBytes(50000, 6) + RepetitiveBytes(200000, 7);
  const Bytes packed = RawDeflate(data);
  const int64_t size = static_cast<int64_t>(data.size());
  for (const int64_t reserved : {int64_t{100}, int64_t{100000}, int64_t{600000}, size, size + (1 << 20)}) {
    SCOPED_TRACE("reserved " + std::to_string(reserved));
    const InflateRun run = RunInflate(packed, 0, 0, reserved);
    EXPECT_FALSE(run.Cause);
    EXPECT_TRUE(run.Output == data);
    EXPECT_EQ(run.Result, ZlibCrc32(data));
    EXPECT_EQ(run.Helper.NormalSize, size);
    EXPECT_EQ(run.SourcePosition, static_cast<int64_t>(packed.size()));
  }
  // A partial size stops as early in reserved memory as in our own buffer.
  const InflateRun own = RunInflate(packed, 0, 300000);
  const InflateRun inPlace = RunInflate(packed, 0, 300000, size + (1 << 20));
  EXPECT_EQ(own.Output.size(), inPlace.Output.size());
  EXPECT_TRUE(inPlace.Output == data.substr(0, inPlace.Output.size()));
}

TEST(InflateZlib, NoHelperNeeded) {
  const Bytes data = RepetitiveBytes(50000, 3);
  rtl::TMemoryStream source;
  Load(source, RawDeflate(data));
  rtl::TMemoryStream dest;
  EXPECT_EQ(Inflate(&source, &dest, nullptr), ZlibCrc32(data));
  EXPECT_EQ(dest.DataString(), data);
}

}  // namespace
}  // namespace qelvo::codecs::test
