// Inflate and decryption on item data of real archives: the corpus and archives
// written at test time by 7-Zip (Deflate64, ZipCrypto) and Info-ZIP zip (-P).
#include <gtest/gtest.h>

#include "codec_test_support.h"
#include "codecs/zip_decrypt.h"

namespace qelvo::codecs::test {
namespace {

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kMethodDeflate64 = 9;

// Decodes one item's stored bytes (already decrypted if need be) by its method.
Bytes DecodeItem(rtl::TStream& aData, const TListedEntry& aEntry, TArcDeflateHelper* aHelper = nullptr) {
  rtl::TMemoryStream out;
  if (aEntry.Method == kMethodStored) {
    out.CopyFrom(aData, static_cast<int64_t>(aEntry.UncompressedSize));
  } else {
    TArcDeflateHelper helper;
    if (aEntry.Method == kMethodDeflate64) helper.Options |= ofDeflate64;
    helper.StreamSize = static_cast<int64_t>(aEntry.CompressedSize);
    Inflate(&aData, &out, &helper);
    if (aHelper != nullptr) *aHelper = helper;
  }
  return out.DataString();
}

class ZipArchiveData : public ::testing::Test {
 protected:
  std::string Path(const std::string& aName) const { return FTemp.File(aName); }
  // Writes the sample files and returns their contents by name.
  std::vector<std::pair<std::string, Bytes>> WriteSamples() {
    std::vector<std::pair<std::string, Bytes>> files = {
        {"text.txt", TextBytes(400000, 21)},
        {"far.bin", RepetitiveBytes(700000, 22)},  // repeats 40000-byte units: distances past 32 KiB
        {"random.bin", RandomBytes(90000, 23)},
        {"tiny.txt", "abc"},
    };
    for (const auto& [name, data] : files) WriteFile(Path(name), data);
    return files;
  }
  TempFolder FTemp{"codecs"};
  const std::string FDir = FTemp.Native();
};

TEST_F(ZipArchiveData, CorpusDeflate64) {
  const Bytes zip = ReadFile(CorpusFolder() + "/Zip.deflate64.zip");
  ASSERT_FALSE(zip.empty()) << "cannot read the corpus file in " << CorpusFolder();
  int decoded = 0;
  for (const TListedEntry& e : ReadZipEntries(zip)) {
    if (e.Method != kMethodDeflate64) continue;
    SCOPED_TRACE(e.Name);
    rtl::TMemoryStream data;
    Load(data, e.Data);
    TArcDeflateHelper helper;
    const Bytes plain = DecodeItem(data, e, &helper);
    EXPECT_EQ(plain.size(), e.UncompressedSize);
    EXPECT_EQ(ZlibCrc32(plain), e.Crc32);
    EXPECT_EQ(helper.CompressedSize, static_cast<int64_t>(e.CompressedSize));
    ++decoded;
  }
  EXPECT_EQ(decoded, 3);
}

// 7-Zip's Deflate64 uses the long lengths and the far distances; its Deflate and
// Info-ZIP's streams are the everyday case.
TEST_F(ZipArchiveData, WrittenByTools) {
  if (!HaveTool("7zz") || !HaveTool("zip")) GTEST_SKIP() << "7zz or zip not installed";
  const auto files = WriteSamples();
  struct Tool {
    const char* Archive;
    std::string Command;
    uint16_t Method;
  };
  const std::vector<Tool> tools = {
      {"d64.zip", "7zz a -tzip -mm=Deflate64 -mx=9 d64.zip", kMethodDeflate64},
      {"d64fast.zip", "7zz a -tzip -mm=Deflate64 -mx=1 d64fast.zip", kMethodDeflate64},
      {"deflate.zip", "7zz a -tzip -mm=Deflate -mx=9 deflate.zip", kMethodDeflate},
      {"infozip.zip", "zip -q -9 infozip.zip", kMethodDeflate},
  };
  for (const Tool& tool : tools) {
    SCOPED_TRACE(tool.Archive);
    std::string names;
    for (const auto& f : files) names += " " + f.first;
    ASSERT_TRUE(RunQuiet("cd '" + FDir + "' && " + tool.Command + names));
    const std::vector<TListedEntry> entries = ReadZipEntries(ReadFile(Path(tool.Archive)));
    ASSERT_EQ(entries.size(), files.size());
    for (const TListedEntry& e : entries) {
      SCOPED_TRACE(e.Name);
      if (e.Method == kMethodStored) continue;  // "abc" may be stored
      EXPECT_EQ(e.Method, tool.Method);
      rtl::TMemoryStream data;
      Load(data, e.Data);
      const auto it = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.first == e.Name; });
      ASSERT_NE(it, files.end());
      EXPECT_EQ(DecodeItem(data, e), it->second);
    }
  }
}

// The corpus archive: eight stored items with password "test", checked against the CRC.
TEST(ZipDecrypt, CorpusArchive) {
  const Bytes zip = ReadFile(CorpusFolder() + "/zipcrypto.zip");
  ASSERT_FALSE(zip.empty()) << "cannot read the corpus file in " << CorpusFolder();
  const std::vector<TListedEntry> entries = ReadZipEntries(zip);
  ASSERT_EQ(entries.size(), 8u);
  int rejected = 0;
  for (const TListedEntry& e : entries) {
    SCOPED_TRACE(e.Name);
    ASSERT_EQ(e.Flags & 1, 1);
    rtl::TMemoryStream data;
    Load(data, e.Data);
    const uint32_t check = DecryptCheckValue(e.LocalFlags, e.LocalModTime, e.Crc32);
    EXPECT_EQ(check, e.Crc32);

    // A rejected header hands its 12 bytes back: the next attempt reads the same ones.
    TArcDfDecryptStream wrong(&data, check, "not the password");
    if (!wrong.IsValid()) {
      ++rejected;
      EXPECT_EQ(data.Position(), 0);
    }
    data.SetPosition(0);
    TArcDfDecryptStream right(&data, check, "test");
    ASSERT_TRUE(right.IsValid());
    EXPECT_EQ(data.Position(), 12);
    Bytes plain(e.UncompressedSize, '\0');
    if (!plain.empty()) right.ReadBuffer(plain.data(), static_cast<int64_t>(plain.size()));
    EXPECT_EQ(ZlibCrc32(plain), e.Crc32);
  }
  // One wrong password in 256 passes the single check byte; these eight do not all pass.
  EXPECT_GE(rejected, 6);
}

// Info-ZIP writes a data descriptor and checks the header against the modification
// time; 7-Zip checks it against the CRC. Both are decrypted and inflated.
TEST_F(ZipArchiveData, EncryptedByTools) {
  if (!HaveTool("7zz") || !HaveTool("zip")) GTEST_SKIP() << "7zz or zip not installed";
  const auto files = WriteSamples();
  // A fixed time whose DOS high byte (10 << 3 | 20 >> 3 = 0x52) no CRC below shares.
  std::string names;
  for (const auto& f : files) {
    names += " " + f.first;
    ASSERT_TRUE(RunQuiet("touch -d '2020-01-02 10:20:30' '" + Path(f.first) + "'"));
  }
  ASSERT_TRUE(RunQuiet("cd '" + FDir + "' && zip -q -P 'pa ss' infozip.zip" + names));
  ASSERT_TRUE(RunQuiet("cd '" + FDir + "' && 7zz a -tzip '-ppa ss' -mem=ZipCrypto sevenzip.zip" + names));

  for (const char* archive : {"infozip.zip", "sevenzip.zip"}) {
    SCOPED_TRACE(archive);
    const std::vector<TListedEntry> entries = ReadZipEntries(ReadFile(Path(archive)));
    ASSERT_EQ(entries.size(), files.size());
    for (const TListedEntry& e : entries) {
      SCOPED_TRACE(e.Name);
      ASSERT_EQ(e.Flags & 1, 1);
      const bool descriptor = (e.LocalFlags & 8) != 0;
      EXPECT_EQ(descriptor, std::string(archive) == "infozip.zip");
      const uint32_t check = DecryptCheckValue(e.LocalFlags, e.LocalModTime, e.Crc32);
      rtl::TMemoryStream data;
      Load(data, e.Data);
      if (descriptor) {
        EXPECT_EQ(check >> 24, 0x52u);
        ASSERT_NE(e.Crc32 >> 24, 0x52u);
        TArcDfDecryptStream byCrc(&data, e.Crc32, "pa ss");
        EXPECT_FALSE(byCrc.IsValid()) << "the CRC is not the check value with a data descriptor";
      }
      TArcDfDecryptStream decrypted(&data, check, "pa ss");
      ASSERT_TRUE(decrypted.IsValid());
      const auto it = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.first == e.Name; });
      ASSERT_NE(it, files.end());
      EXPECT_EQ(DecodeItem(decrypted, e), it->second);
    }
  }
}

TEST(ZipDecrypt, Preconditions) {
  rtl::TMemoryStream inner;
  Load(inner, Bytes(20, 'x'));
  TArcDfDecryptStream stream(&inner, 0, "pw");
  char buffer[4];
  EXPECT_THROW(stream.Read(buffer, 4), rtl::EAssertionFailed);
  EXPECT_THROW(stream.Write(buffer, 4), rtl::EAssertionFailed);

  TArcZipDecryptEngine engine;
  TArcZipEncryptHeader header = {};
  EXPECT_THROW(engine.VerifyHeader(header, "", 0), rtl::EAssertionFailed);
  EXPECT_THROW(engine.DecodeBuffer(buffer, 4), rtl::EAssertionFailed);

  rtl::TMemoryStream shortInner;
  Load(shortInner, Bytes(11, 'x'));
  TArcDfDecryptStream shortStream(&shortInner, 0, "pw");
  EXPECT_THROW(shortStream.IsValid(), rtl::EReadError);
}

TEST(ZipDecrypt, OwnsTheInnerStreamWhenHandedOver) {
  const Bytes zip = ReadFile(CorpusFolder() + "/zipcrypto.zip");
  ASSERT_FALSE(zip.empty()) << "cannot read the corpus file in " << CorpusFolder();
  const TListedEntry e = ReadZipEntries(zip).at(0);
  auto inner = std::make_unique<rtl::TMemoryStream>();
  Load(*inner, e.Data);
  TArcDfDecryptStream stream(inner.get(), e.Crc32, "test");
  ASSERT_TRUE(stream.IsValid());
  EXPECT_FALSE(stream.OwnsStream());
  stream.TakeOwnership(std::move(inner));
  EXPECT_TRUE(stream.OwnsStream());
  // Seeking passes through to the inner stream; the inner stream is freed with the outer.
  EXPECT_EQ(stream.Position(), 12);
}

// The header check leaves the caller's header as it was and works on a copy.
TEST(ZipDecrypt, HeaderIsNotChanged) {
  const Bytes zip = ReadFile(CorpusFolder() + "/zipcrypto.zip");
  ASSERT_FALSE(zip.empty()) << "cannot read the corpus file in " << CorpusFolder();
  const TListedEntry e = ReadZipEntries(zip).at(0);
  TArcZipEncryptHeader header;
  std::memcpy(header, e.Data.data(), 12);
  TArcZipDecryptEngine engine;
  EXPECT_TRUE(engine.VerifyHeader(header, "test", e.Crc32));
  EXPECT_EQ(Bytes(reinterpret_cast<char*>(header), 12), e.Data.substr(0, 12));
  Bytes body = e.Data.substr(12);
  engine.DecodeBuffer(body.data(), static_cast<int64_t>(body.size()));
  EXPECT_EQ(ZlibCrc32(body), e.Crc32);
}

}  // namespace
}  // namespace qelvo::codecs::test
