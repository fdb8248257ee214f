#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rtl/stream.h"
#include "rtl/view_streams.h"

namespace qelvo::rtl {
namespace {

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
  const std::string data = "0123456789";
  TShortReadStream s(data, {3});
  char buf[10];
  s.ReadBuffer(buf, 10);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
}

// The view reads the caller's bytes in place: seeks past the end read nothing, before the
// start fail, and nothing can be written through it.
TEST(ReadOnlyMemoryStream, ReadsSeeksAndRefusesWrites) {
  const std::string data = "0123456789";
  TReadOnlyMemoryStream s(data);
  EXPECT_EQ(s.Size(), 10);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(s.Seek(-2, soEnd), 8);
  EXPECT_EQ(s.Read(buf, 16), 2);
  EXPECT_EQ(std::string(buf, 2), "89");
  EXPECT_EQ(s.Seek(5, soEnd), 15);
  EXPECT_EQ(s.Read(buf, 16), 0);
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
  EXPECT_EQ(s.Write("x", 1), 0);
  EXPECT_THROW(s.WriteBuffer("x", 1), EWriteError);
  EXPECT_EQ(data, "0123456789");
}

// Read sizes cycle through the pattern and never exceed what is asked or what is left.
TEST(ShortReadStream, ReadSizesFollowThePattern) {
  const std::string data(20, 'x');
  TShortReadStream s(data, {1, 5, 0});  // a 0 in the pattern reads 1, never 0 before the end
  char buf[16];
  std::vector<int64_t> sizes;
  for (int64_t n; (n = s.Read(buf, 4)) > 0;) sizes.push_back(n);
  EXPECT_EQ(sizes, (std::vector<int64_t>{1, 4, 1, 1, 4, 1, 1, 4, 1, 1, 1}));
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

// The write area is the reserved memory past the end, and only while writing at the end:
// what lies there beyond the filled count never shows up as content.
TEST(MemoryStream, WriteAreaIsTheReservedRoomAtTheEnd) {
  TMemoryStream s;
  EXPECT_EQ(s.WriteArea().Data, nullptr);
  s.WriteString("ab");
  s.SetCapacity(10);
  const TWriteArea area = s.WriteArea();
  ASSERT_EQ(area.Data, s.Memory() + 2);
  ASSERT_EQ(area.Room, s.Capacity() - 2);
  std::memcpy(area.Data, "cdefgh", 6);
  s.WriteAreaFilled(3);
  EXPECT_EQ(s.DataString(), "abcde");
  EXPECT_EQ(s.Position(), 5);
  s.SetSize(7);
  EXPECT_EQ(s.DataString(), std::string("abcde\0\0", 7));
  EXPECT_THROW(s.WriteAreaFilled(s.Capacity() - 6), EStreamError);

  s.SetPosition(1);
  EXPECT_EQ(s.WriteArea().Data, nullptr);
  EXPECT_THROW(s.WriteAreaFilled(1), EStreamError);
  EXPECT_EQ(s.DataString(), std::string("abcde\0\0", 7));
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
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31);
  TShortReadStream src(data, {7});

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
