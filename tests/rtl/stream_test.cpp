#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rtl/stream.h"

namespace qelvo::rtl {
namespace {

// A stream that hands out at most `chunk` bytes per Read, like a socket or a pipe.
class TrickleStream : public TMemoryStream {
 public:
  explicit TrickleStream(int64_t chunk) : chunk_(chunk) {}
  int64_t Read(void* buffer, int64_t count) override { return TMemoryStream::Read(buffer, std::min(count, chunk_)); }

 private:
  int64_t chunk_;
};

TEST(MemoryStream, ShortReadAtEndAndExactReadFailsWithText) {
  TMemoryStream s;
  s.WriteString("abcdef");
  s.SetPosition(4);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(s.Read(buf, 8), 0);

  s.SetPosition(2);
  try {
    s.ReadBuffer(buf, 5);
    FAIL() << "ReadBuffer past the end must fail";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
}

TEST(MemoryStream, ReadBufferCollectsShortReads) {
  TrickleStream s(3);
  s.WriteString("0123456789");
  s.SetPosition(0);
  char buf[10];
  s.ReadBuffer(buf, 10);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
}

TEST(MemoryStream, SeekFromEachOrigin) {
  TMemoryStream s;
  s.WriteString("0123456789");
  struct Case {
    int64_t start, offset;
    TSeekOrigin origin;
    int64_t expected;
  } cases[] = {
      {5, 2, soBeginning, 2}, {5, 2, soCurrent, 7}, {5, -3, soCurrent, 2}, {5, -1, soEnd, 9}, {5, 0, soEnd, 10},
      {5, 4, soEnd, 14},  // past the end is a valid position
  };
  for (const auto& c : cases) {
    s.SetPosition(c.start);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected) << c.start << " " << c.offset << " " << c.origin;
    EXPECT_EQ(s.Position(), c.expected);
  }
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
}

TEST(MemoryStream, WritePastEndZeroFillsTheGap) {
  TMemoryStream s;
  s.WriteString("ab");
  s.Seek(3, soEnd);
  s.WriteString("z");
  ASSERT_EQ(s.Size(), 6);
  EXPECT_EQ(s.DataString(), std::string("ab\0\0\0z", 6));
}

TEST(MemoryStream, SetSizeKeepsContentAndClampsPosition) {
  TMemoryStream s;
  s.WriteString("abcdef");
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.DataString(), "abc");
  s.SetSize(5);
  EXPECT_EQ(s.DataString(), std::string("abc\0\0", 5));
}

TEST(MemoryStream, WriteBufferFailsWithTextWhenTheSinkIsFull) {
  class FullStream : public TMemoryStream {
   public:
    int64_t Write(const void*, int64_t) override { return 0; }
  } s;
  try {
    s.WriteBuffer("x", 1);
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
}

TEST(Stream, CopyFromCountAndWholeSource) {
  TrickleStream src(7);
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31);
  src.WriteString(data);

  TMemoryStream dst;
  src.SetPosition(10);
  EXPECT_EQ(dst.CopyFrom(src, 100), 100);
  EXPECT_EQ(dst.DataString(), data.substr(10, 100));

  TMemoryStream whole;
  src.SetPosition(500);
  EXPECT_EQ(whole.CopyFrom(src, 0), static_cast<int64_t>(data.size()));
  EXPECT_EQ(whole.DataString(), data);

  TMemoryStream tooMuch;
  src.SetPosition(src.Size() - 5);
  EXPECT_THROW(tooMuch.CopyFrom(src, 6), EReadError);
}

}  // namespace
}  // namespace qelvo::rtl
