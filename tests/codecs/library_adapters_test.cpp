// The adapters of the methods decoded by libraries, on their own: the LZMA status table
// and decode loop, the bzip2 decompression stream, the PPMd parameter word and the
// WavPack sample packing. Item data comes from archives 7-Zip writes at test time.
#include <gtest/gtest.h>

#include "archive/errors.h"
#include "codec_test_support.h"
#include "codecs/bzip2_stream.h"
#include "codecs/lzma_decoder.h"
#include "codecs/ppmd_decoder.h"
#include "codecs/wavpack_decoder.h"

namespace qelvo::codecs::test {
namespace {

// The stored bytes of the item 7zz writes for aPlain with the given switches.
Bytes SevenZipItemData(const TempFolder& aTmp, const Bytes& aPlain, const std::string& aSwitches) {
  WriteFile(aTmp.File("src/item"), aPlain);
  std::remove(aTmp.File("item.zip").c_str());
  if (ShellStatus("7zz a -bd -bso0 -bse0 -tzip " + aSwitches + " ../item.zip item", aTmp.File("src")) != 0) return {};
  const std::vector<qelvo::test::TListedEntry> entries = ReadZipEntries(ReadFile(aTmp.File("item.zip")));
  return entries.size() == 1 ? entries[0].Data : Bytes();
}

// Accepts at most a fixed number of bytes, then no more.
class TFullStream : public rtl::TMemoryStream {
 public:
  explicit TFullStream(int64_t aRoom) : FRoom(aRoom) {}
  int64_t Write(const void* aBuffer, int64_t aCount) override {
    const int64_t n = std::min(aCount, FRoom);
    FRoom -= n;
    return rtl::TMemoryStream::Write(aBuffer, n);
  }

 private:
  int64_t FRoom;
};

class LibraryAdapters : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("7zz")) GTEST_SKIP() << "7zz is not installed";
  }
  TempFolder FTmp{"library-adapters"};
  const Bytes FPlain = TextBytes(300000, 31) + RandomBytes(40000, 32) + TextBytes(100000, 33);
};

TEST(LzmaStatus, EveryStatusHasItsMessage) {
  const std::pair<int, const char*> table[] = {
      {1, "LZMA Data Error."},
      {2, "LZMA Memory Error."},
      {3, "LZMA CRC Error."},
      {4, "LZMA \"Unsupported\" Error."},
      {5, "LZMA Parameter Error."},
      {6, "LZMA Input EOF Error."},
      {7, "LZMA Output EOF Error."},
      {8, "LZMA Read Error."},
      {9, "LZMA Write Error."},
      {10, "LZMA Progress Error."},
      {11, "LZMA \"Fail\" Error."},
      {12, "LZMA Thread Error."},
      {16, "LZMA Archive Error."},
      {17, "LZMA \"No Archive\" Error."},
      {13, "Unknown LZMA error (13)"},
      {-3, "Unknown LZMA error (-3)"},
  };
  for (const auto& [status, message] : table) {
    EXPECT_EQ(LzmaStatusMessage(status), message);
    const EArcLZMAException e(status);
    EXPECT_STREQ(e.what(), message);
    EXPECT_EQ(e.Status, status);
  }
}

// Decodes the stream of a 7-Zip LZMA item (header and properties skipped) with the
// given expected size and properties; the status raised, 0 when none.
struct TLzmaRun {
  Bytes Output;
  int Status = 0;
};
TLzmaRun DecodeLzma(const Bytes& aItem, int64_t aExpected, Bytes aProperties = {}, int64_t aRoom = -1) {
  if (aProperties.empty()) aProperties = aItem.substr(4, 5);
  rtl::TMemoryStream source;
  Load(source, aItem.substr(9));
  TFullStream dest(aRoom < 0 ? INT64_MAX : aRoom);
  TLzmaRun run;
  try {
    DecodeLzmaStream(reinterpret_cast<const uint8_t*>(aProperties.data()), static_cast<unsigned>(aProperties.size()),
                     source, aExpected, dest);
  } catch (const EArcLZMAException& e) {
    run.Status = e.Status;
  }
  run.Output = dest.DataString();
  return run;
}

TEST_F(LibraryAdapters, LzmaDecodeLoop) {
  const Bytes withMarker = SevenZipItemData(FTmp, FPlain, "-mm=LZMA");
  const Bytes noMarker = SevenZipItemData(FTmp, FPlain, "-mm=LZMA:eos=off");
  ASSERT_FALSE(withMarker.empty());
  ASSERT_FALSE(noMarker.empty());
  const int64_t size = static_cast<int64_t>(FPlain.size());
  Bytes hugeDictionary = withMarker.substr(4, 5);
  for (int i = 1; i < 5; ++i) hugeDictionary[i] = '\xFF';
  struct TCase {
    const char* label;
    TLzmaRun run;
    Bytes output;
    int status;
  } cases[] = {
      {"known size, end marker", DecodeLzma(withMarker, size), FPlain, 0},
      {"known size, no end marker", DecodeLzma(noMarker, size), FPlain, 0},
      {"unknown size ends at the marker", DecodeLzma(withMarker, kLzmaUnknownSize), FPlain, 0},
      // Without a marker and without a size the data simply runs out: no error here.
      {"unknown size, no marker", DecodeLzma(noMarker, kLzmaUnknownSize), FPlain, 0},
      // The stream must end exactly at the expected size.
      {"expected size too small", DecodeLzma(noMarker, size - 1000), FPlain.substr(0, size - 1000), 1},
      // The marker comes before the expected size and the data ends there: fewer bytes
      // and no error, which the CRC check of item extraction reports.
      {"expected size too large", DecodeLzma(withMarker, size + 1), FPlain, 0},
      // With bytes still following the marker, the next step makes no progress.
      {"expected size too large, bytes after the marker", DecodeLzma(withMarker + "more", size + 1), FPlain, 1},
      // A 4 GiB dictionary claim decodes with a buffer that grows with the output.
      {"4 GiB dictionary, unknown size", DecodeLzma(withMarker, kLzmaUnknownSize, hugeDictionary), FPlain, 0},
      {"properties size 4", DecodeLzma(withMarker, size, withMarker.substr(4, 4)), "", 4},
      {"lc/lp/pb out of range", DecodeLzma(withMarker, size, "\xE1" + withMarker.substr(5, 4)), "", 4},
      {"destination full", DecodeLzma(withMarker, size, {}, 100000), FPlain.substr(0, 100000), 9},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.run.Status, c.status);
    EXPECT_EQ(c.run.Output.size(), c.output.size());
    EXPECT_TRUE(c.run.Output == c.output);
  }
}

// The item header: versions unchecked, then exactly the properties it announces.
TEST_F(LibraryAdapters, LzmaItemHeader) {
  Bytes item = SevenZipItemData(FTmp, FPlain, "-mm=LZMA");
  ASSERT_FALSE(item.empty());
  item[0] = '\x63';
  item[1] = '\x07';
  rtl::TMemoryStream source, dest;
  Load(source, item);
  DecompressLzmaItem(source, static_cast<int64_t>(FPlain.size()), dest);
  EXPECT_TRUE(dest.DataString() == FPlain);

  for (const Bytes& shortItem : {item.substr(0, 3), item.substr(0, 8)}) {
    Load(source, shortItem);
    EXPECT_THROW(DecompressLzmaItem(source, 10, dest), rtl::EReadError);
  }
}

TEST_F(LibraryAdapters, Bzip2StreamReadsSeeksAndRefusesWrites) {
  const Bytes data = SevenZipItemData(FTmp, FPlain, "-mm=BZip2");
  ASSERT_FALSE(data.empty());
  // The source stands after a prefix the stream must leave alone.
  rtl::TMemoryStream source;
  Load(source, "prefix" + data);
  source.SetPosition(6);
  TBZDecompressionStream stream(&source);
  int steps = 0;
  stream.OnProgress = [&](TCustomBZip2Stream* sender) {
    EXPECT_EQ(sender, &stream);
    ++steps;
  };

  Bytes got(1000, '\0');
  stream.ReadBuffer(got.data(), 1000);
  EXPECT_EQ(got, FPlain.substr(0, 1000));
  EXPECT_EQ(stream.Position(), 1000);
  EXPECT_GT(steps, 0);
  // Someone else moves the source between two reads: the stream puts it back.
  source.SetPosition(0);
  EXPECT_EQ(stream.Seek(5000, rtl::soCurrent), 6000);  // forward: decoded and dropped
  EXPECT_EQ(stream.Seek(150000, rtl::soBeginning), 150000);
  stream.ReadBuffer(got.data(), 1000);
  EXPECT_EQ(got, FPlain.substr(150000, 1000));
  // Back to the start: decoding restarts at the data's first byte.
  EXPECT_EQ(stream.Seek(0, rtl::soBeginning), 0);
  stream.ReadBuffer(got.data(), 1000);
  EXPECT_EQ(got, FPlain.substr(0, 1000));

  for (const auto& [offset, origin] : {std::pair{int64_t{10}, rtl::soBeginning}, std::pair{int64_t{-1}, rtl::soCurrent},
                                       std::pair{int64_t{0}, rtl::soEnd}}) {
    try {
      stream.Seek(offset, origin);
      ADD_FAILURE() << "seek " << offset << " from " << origin;
    } catch (const EBZDecompressionError& e) {
      EXPECT_STREQ(e.what(), "Invalid stream operation");
    }
  }
  EXPECT_THROW(stream.Write("x", 1), EBZDecompressionError);

  // Asking past the end: the read comes back short once the data is used up.
  Bytes rest(FPlain.size(), '\0');
  EXPECT_EQ(stream.Read(rest.data(), static_cast<int64_t>(rest.size())), static_cast<int64_t>(FPlain.size()) - 1000);
  EXPECT_EQ(stream.Read(rest.data(), 1), 0);
}

TEST_F(LibraryAdapters, Bzip2ErrorsCarryTheLibraryResult) {
  const Bytes data = SevenZipItemData(FTmp, FPlain, "-mm=BZip2");
  ASSERT_FALSE(data.empty());
  struct TCase {
    const char* label;
    Bytes input;
    int64_t size;
    const char* message;
  } cases[] = {
      {"not bzip2", "this is not a bzip2 stream", 10, "error -5"},
      {"block damaged", data.substr(0, 100) + Bytes(1, static_cast<char>(data[100] ^ 0x40)) + data.substr(101), 5000,
       "error -4"},
      // After the end of the stream the library refuses to go on.
      {"bytes after the stream", data + "trailing", static_cast<int64_t>(FPlain.size()) + 1, "error -1"},
      {"data ends early", data.substr(0, data.size() / 2), static_cast<int64_t>(FPlain.size()), "Stream read error"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.label);
    rtl::TMemoryStream source, dest;
    Load(source, c.input);
    try {
      DecompressBzip2Item(source, c.size, dest);
      ADD_FAILURE() << "no failure";
    } catch (const rtl::Exception& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(PPMdParameters, WordFields) {
  struct TCase {
    uint16_t word;
    unsigned order;
    uint32_t memory;
    unsigned restore;
  } cases[] = {
      {0x0000, 1, 1u << 20, 0},       {0x0001, 2, 1u << 20, 0},   {0x0077, 8, 8u << 20, 0},
      {0x107B, 12, 8u << 20, 1},      {0x0FFF, 16, 256u << 20, 0}, {0xF00F, 16, 1u << 20, 15},
  };
  for (const TCase& c : cases) {
    const TPPMdParameters p = DecodePPMdParameters(c.word);
    EXPECT_EQ(p.ModelOrder, c.order) << c.word;
    EXPECT_EQ(p.MemorySize, c.memory) << c.word;
    EXPECT_EQ(p.RestoreMethod, c.restore) << c.word;
  }
}

TEST_F(LibraryAdapters, PPMdEndsAtTheMarkAndRefusesWhatItCannotDecode) {
  const Bytes data = SevenZipItemData(FTmp, FPlain, "-mm=PPMd -mo=4 -mmem=2m");
  ASSERT_FALSE(data.empty());
  rtl::TMemoryStream source, dest;
  // Bytes after the end mark are never read.
  Load(source, data + "after the end");
  DecompressPPMdItem(source, dest);
  EXPECT_TRUE(dest.DataString() == FPlain);
  // A source that hands out a few bytes at a time.
  TShortReadStream trickle(data, {1, 7, 4098});
  rtl::TMemoryStream trickled;
  DecompressPPMdItem(trickle, trickled);
  EXPECT_TRUE(trickled.DataString() == FPlain);

  struct TCase {
    const char* label;
    Bytes input;
  } runOut[] = {{"no parameter word", ""}, {"half a word", data.substr(0, 1)}, {"word only", data.substr(0, 2)},
                {"first code cut", data.substr(0, 4)}, {"cut in the middle", data.substr(0, data.size() / 2)},
                {"last byte missing", data.substr(0, data.size() - 1)}};
  for (const TCase& c : runOut) {
    SCOPED_TRACE(c.label);
    Load(source, c.input);
    TShortReadStream trickle(c.input, {1, 7, 4098});
    EXPECT_THROW(DecompressPPMdItem(source, dest), archive::EArcReadError);
    EXPECT_THROW(DecompressPPMdItem(trickle, dest), archive::EArcReadError);
  }

  Bytes order1 = data;
  order1[0] = static_cast<char>(order1[0] & 0xF0);
  Load(source, order1);
  try {
    DecompressPPMdItem(source, dest);
    ADD_FAILURE() << "order 1 accepted";
  } catch (const EArcPPMdError& e) {
    EXPECT_STREQ(e.what(), "PPMd data error: model order 1 is not valid");
  }
}

TEST(WavPackSamples, PackedAsTheFileHeldThem) {
  const int32_t samples[] = {0, 1, -1, 127, -128, 0x7FFF, -0x8000, 0x7FFFFF, -0x800000, 0x7FFFFFFF, INT32_MIN};
  struct TCase {
    int bytesPerSample;
    size_t count;
    Bytes packed;
  } cases[] = {
      // Unsigned 8-bit: value + 128, so silence is 128.
      {1, 5, Bytes("\x80\x81\x7F\xFF\x00", 5)},
      {2, 7, Bytes("\x00\x00\x01\x00\xFF\xFF\x7F\x00\x80\xFF\xFF\x7F\x00\x80", 14)},
      {3, 9, Bytes("\x00\x00\x00\x01\x00\x00\xFF\xFF\xFF\x7F\x00\x00\x80\xFF\xFF\xFF\x7F\x00\x00\x80\xFF\xFF\xFF\x7F"
                   "\x00\x00\x80",
                   27)},
      {4, 11, Bytes("\x00\x00\x00\x00\x01\x00\x00\x00\xFF\xFF\xFF\xFF\x7F\x00\x00\x00\x80\xFF\xFF\xFF\xFF\x7F\x00\x00"
                    "\x00\x80\xFF\xFF\xFF\xFF\x7F\x00\x00\x00\x80\xFF\xFF\xFF\xFF\x7F\x00\x00\x00\x80",
                    44)},
  };
  for (const TCase& c : cases) {
    Bytes out(c.count * c.bytesPerSample, '\xAA');
    PackWavPackSamples(samples, c.count, c.bytesPerSample, reinterpret_cast<uint8_t*>(out.data()));
    EXPECT_EQ(out, c.packed) << c.bytesPerSample;
  }
}

TEST(WavPackItem, DataThatIsNotWavPackFailsToOpen) {
  for (const Bytes& input : {Bytes(), Bytes("RIFF\x10\0\0\0WAVEfmt ", 16), RandomBytes(100000, 41)}) {
    rtl::TMemoryStream source, dest;
    Load(source, input);
    try {
      DecompressWavPackItem(source, dest);
      ADD_FAILURE() << "opened";
    } catch (const rtl::Exception& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("WavPack decompression failed: ", 0), 0u) << message;
      EXPECT_GT(message.size(), std::strlen("WavPack decompression failed: ")) << message;
      EXPECT_LE(message.size(), std::strlen("WavPack decompression failed: ") + 80) << message;
    }
    EXPECT_EQ(dest.Size(), 0);
  }
}

}  // namespace
}  // namespace qelvo::codecs::test
