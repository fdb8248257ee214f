// The streams item extraction runs through: the subset view, the counting output
// wrapper, the sliding window of the legacy decoders and the test bucket.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/errors.h"
#include "rtl/stream.h"
#include "tests/support/sample_data.h"
#include "unzip/bit_bucket_stream.h"
#include "unzip/item_streams.h"
#include "unzip/sliding_window_stream.h"

namespace qelvo::unzip {
namespace {

using qelvo::test::RandomBytes;


TEST(SubsetStream, ReadsOnlyItsRangeAndClampsSeeks) {
  rtl::TMemoryStream base;
  base.WriteString("0123456789abcdef");
  base.SetPosition(4);
  TArcUnzipSubsetStream sub(&base, 6);  // "456789"
  char buf[16] = {};
  EXPECT_EQ(sub.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "4567");
  EXPECT_EQ(sub.Read(buf, 10), 2);  // cut at the end of the range
  EXPECT_EQ(std::string(buf, 2), "89");
  EXPECT_EQ(sub.Read(buf, 10), 0);

  EXPECT_EQ(sub.Seek(-3, rtl::soCurrent), 3);
  EXPECT_EQ(base.Position(), 7);
  EXPECT_EQ(sub.Seek(-100, rtl::soCurrent), 0);  // clamped to the start
  EXPECT_EQ(base.Position(), 4);
  EXPECT_EQ(sub.Seek(100, rtl::soBeginning), 6);  // clamped to the end
  EXPECT_EQ(sub.Seek(-1, rtl::soEnd), 5);
  EXPECT_EQ(sub.Read(buf, 1), 1);
  EXPECT_EQ(buf[0], '9');
  EXPECT_EQ(sub.Size(), 6);
}

TEST(SubsetStream, IsReadOnly) {
  rtl::TMemoryStream base;
  TArcUnzipSubsetStream sub(&base, 0);
  try {
    sub.Write("x", 1);
    FAIL();
  } catch (const archive::EArcException& e) {
    EXPECT_STREQ(e.what(), "TArcUnzipSubsetStream.Write not supported");
    EXPECT_EQ(e.ErrorCode, 0);
  }
}

TEST(OutputStream, CountsCrcAndReportsEachNewPercentage) {
  rtl::TMemoryStream real;
  TArcUnzipOutputStream out(&real);
  out.UncompressedSize = 1000;
  std::vector<int> reported;
  out.OnProgress = [&](uint8_t p, bool&) { reported.push_back(p); };
  const std::string data = RandomBytes(1000);
  for (size_t i = 0; i < data.size(); i += 250) out.WriteBuffer(data.data() + i, 250);
  out.WriteBuffer(data.data(), 0);
  EXPECT_EQ(out.BytesWritten(), 1000);
  EXPECT_EQ(out.CRC32(), archive::Crc32OfBytes(data));
  EXPECT_EQ(real.DataString(), data);
  EXPECT_EQ(reported, (std::vector<int>{25, 50, 75, 100}));
}

TEST(OutputStream, AbortFromProgressStopsWithUserAbort) {
  rtl::TMemoryStream real;
  TArcUnzipOutputStream out(&real);
  out.UncompressedSize = 10;
  out.OnProgress = [](uint8_t p, bool& abort) { abort = p >= 50; };
  out.WriteBuffer("abcd", 4);
  EXPECT_THROW(out.WriteBuffer("e", 1), archive::EArcUserAbort);
}

TEST(OutputStream, ReadIsRefused) {
  rtl::TMemoryStream real;
  TArcUnzipOutputStream out(&real);
  char c;
  try {
    out.Read(&c, 1);
    FAIL();
  } catch (const archive::EArcException& e) {
    EXPECT_STREQ(e.what(), "TArcUnzipOutputStream.Read not supported");
  }
}

// Writes the data in uneven pieces, reading a byte back from a sliding distance after
// each piece, as the legacy decoders do; the real output must end up equal to the data.
TEST(SlidingWindowStream, PassesEverythingOnAndReadsBackTheWindow) {
  const std::string data = RandomBytes(100000, 7);
  rtl::TMemoryStream real;
  {
    TArcSlidingWindowStream win(&real);
    size_t done = 0;
    size_t piece = 1;
    while (done < data.size()) {
      const size_t n = std::min(piece, data.size() - done);
      ASSERT_EQ(win.Write(data.data() + done, static_cast<int64_t>(n)), static_cast<int64_t>(n));
      done += n;
      piece = piece * 3 % 9001 + 1;  // 1 .. 9001, crossing chunk borders
      for (const int64_t dist : {int64_t{1}, int64_t{8192}, int64_t{32768}}) {
        if (dist > static_cast<int64_t>(done)) continue;
        const int64_t at = static_cast<int64_t>(done) - dist;
        ASSERT_EQ(win.Seek(-dist, rtl::soCurrent), at);
        char two[2];
        const int64_t got = win.Read(two, 2);
        ASSERT_EQ(got, std::min<int64_t>(2, dist));
        ASSERT_EQ(two[0], data[static_cast<size_t>(at)]);
        if (got == 2) {
          ASSERT_EQ(two[1], data[static_cast<size_t>(at) + 1]);
        }
        ASSERT_EQ(win.Position(), at + got);
        win.Seek(0, rtl::soEnd);
      }
    }
    EXPECT_EQ(win.Size(), static_cast<int64_t>(data.size()));
    win.Flush();
  }
  EXPECT_EQ(real.DataString(), data);
}

TEST(SlidingWindowStream, BeforeTheStartReadsZeros) {
  rtl::TMemoryStream real;
  TArcSlidingWindowStream win(&real);
  win.WriteBuffer("xy", 2);
  EXPECT_EQ(win.Seek(-10, rtl::soEnd), -8);
  char buf[10];
  ASSERT_EQ(win.Read(buf, 10), 10);
  EXPECT_EQ(std::string(buf, 10), std::string(8, '\0') + "xy");
}

TEST(SlidingWindowStream, DestructionFlushesTheTail) {
  rtl::TMemoryStream real;
  { TArcSlidingWindowStream(&real).WriteBuffer("tail", 4); }
  EXPECT_EQ(real.DataString(), "tail");
}

TEST(SlidingWindowStream, RefusesWhatTheWindowCannotDo) {
  rtl::TMemoryStream real;
  TArcSlidingWindowStream win(&real);
  const std::string data = RandomBytes(50000);
  for (size_t i = 0; i < data.size(); i += 10000) win.WriteBuffer(data.data() + i, 10000);
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* text;
  } cases[] = {
      {"write inside", [&] { win.Seek(-1, rtl::soEnd); win.Write("z", 1); }, "TArcSlidingWindowStream.Write: Not at end of stream"},
      {"beyond the end", [&] { win.Seek(1, rtl::soEnd); }, "TArcSlidingWindowStream.Seek: invalid new position"},
      {"older than the window", [&] { win.Seek(50000 - 40961, rtl::soBeginning); }, "TArcSlidingWindowStream.Seek: invalid new position"},
      {"bad origin", [&] { win.Seek(0, static_cast<rtl::TSeekOrigin>(7)); }, "TArcSlidingWindowStream.Seek: invalid origin"},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what;
    } catch (const archive::EArcException&) {
      ADD_FAILURE() << c.what << ": must be the general exception class";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), c.text) << c.what;
    }
  }
  // Still usable after the refusals, and the oldest position of the window is reachable.
  win.Seek(0, rtl::soEnd);
  EXPECT_NO_THROW(win.Seek(-32768, rtl::soEnd));
  win.Seek(0, rtl::soEnd);
  win.WriteBuffer("!", 1);
  win.Flush();
  EXPECT_EQ(real.DataString(), data + "!");
}

// A real output that refuses to seek or to take the bytes.
class TBrokenStream : public rtl::TStream {
 public:
  bool failSeek = false;
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override { return failSeek ? count : count / 2; }
  int64_t Seek(int64_t offset, rtl::TSeekOrigin) override { return failSeek && offset > 0 ? -1 : offset; }
};

TEST(SlidingWindowStream, ReportsRealOutputFailuresWhenSliding) {
  const std::string data = RandomBytes(50000);
  for (const bool failSeek : {false, true}) {
    TBrokenStream broken;
    broken.failSeek = failSeek;
    TArcSlidingWindowStream win(&broken);
    try {
      for (size_t i = 0; i < data.size(); i += 5000) win.WriteBuffer(data.data() + i, 5000);
      win.Flush();
      ADD_FAILURE();
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), failSeek ? "TArcSlidingWindowStream.bsWriteChunk: seek failed"
                                      : "TArcSlidingWindowStream.bsWriteChunk: write failed");
    }
  }
}

TEST(BitBucketStream, KeepsTheLastBytesAndCountsAll) {
  TArcBitBucketStream bucket(32768);
  EXPECT_EQ(bucket.BufSize(), 33792);
  EXPECT_EQ(TArcBitBucketStream(12345).BufSize(), 33792);
  EXPECT_EQ(TArcBitBucketStream(4096).BufSize(), 5120);
  const std::string data = RandomBytes(100000, 3);
  bucket.WriteBuffer(data.data(), 60000);
  bucket.WriteBuffer(data.data() + 60000, 40000);
  EXPECT_EQ(bucket.Size(), 100000);
  EXPECT_EQ(bucket.Position(), 100000);
  EXPECT_EQ(bucket.Seek(-33791, rtl::soEnd), 100000 - 33791);
  std::string back(33791, '\0');
  EXPECT_EQ(bucket.Read(back.data(), 33791), 33791);
  EXPECT_EQ(back, data.substr(100000 - 33791));

  EXPECT_THROW(bucket.Seek(-33792, rtl::soEnd), archive::EArcBBSSeekOutsideBuffer);
  EXPECT_THROW(bucket.Seek(1, rtl::soEnd), archive::EArcBBSSeekOutsideBuffer);
  EXPECT_THROW(bucket.Seek(0, static_cast<rtl::TSeekOrigin>(3)), archive::EArcBBSInvalidOrigin);
  bucket.Seek(-10, rtl::soEnd);
  try {
    bucket.Read(back.data(), 11);
    ADD_FAILURE();
  } catch (const archive::EArcBBSReadTooManyBytes& e) {
    EXPECT_STREQ(e.what(), "BBS: request to read too many bytes [11]");
  }
}

}  // namespace
}  // namespace qelvo::unzip
