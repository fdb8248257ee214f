#include "tests/unzip/test_support.h"

#include <zlib.h>

#include <ostream>
#include <stdexcept>

#include "archive/crc32.h"
#include <gtest/gtest.h>

#include "platform/path_map.h"
#include "tests/support/le_bytes.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {

std::string Win(const fs::path& native) { return platform::FromNativePath(native.string()); }

std::string TextData(size_t size, uint32_t seed) {
  static const char* kWords[] = {"archive ", "item ", "deflate ", "window ", "the ", "qelvo ", "install\n", "zip "};
  std::string s;
  s.reserve(size + 16);
  while (s.size() < size) {
    seed = seed * 1103515245u + 12345u;
    s += kWords[(seed >> 16) % 8];
  }
  s.resize(size);
  return s;
}

std::string RandomData(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  for (char& c : s) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    c = static_cast<char>(seed);
  }
  return s;
}

uint32_t Crc32(const std::string& data) { return archive::Crc32OfBytes(data); }

std::string RawDeflate(const std::string& data, int level) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  return out;
}

TZipEntry StoredEntry(const std::string& name, const std::string& plain) {
  TZipEntry e;
  e.Name = name;
  e.Data = plain;
  e.Crc = Crc32(plain);
  e.CompressedSize = e.UncompressedSize = static_cast<uint32_t>(plain.size());
  return e;
}

TZipEntry DeflatedEntry(const std::string& name, const std::string& plain) {
  TZipEntry e = StoredEntry(name, plain);
  e.Method = 8;
  e.Data = RawDeflate(plain);
  e.CompressedSize = static_cast<uint32_t>(e.Data.size());
  return e;
}

TZipEntry FolderEntry(const std::string& name) {
  TZipEntry e = StoredEntry(name, "");
  e.ExternalAttributes = (040755u << 16) | 0x10;
  return e;
}

std::string BuildZip(const std::vector<TZipEntry>& entries, const std::string& prefix) {
  std::string out = prefix;
  std::vector<uint32_t> offsets;
  for (const TZipEntry& e : entries) {
    offsets.push_back(static_cast<uint32_t>(out.size()));
    Put32(out, 0x04034B50);
    Put16(out, e.VersionNeeded);
    Put16(out, e.Flags);
    Put16(out, e.Method);
    Put16(out, e.Time);
    Put16(out, e.Date);
    Put32(out, e.ZeroLocalSizes ? 0 : e.Crc);
    Put32(out, e.ZeroLocalSizes ? 0 : e.CompressedSize);
    Put32(out, e.ZeroLocalSizes ? 0 : e.UncompressedSize);
    Put16(out, static_cast<uint32_t>(e.Name.size()));
    Put16(out, 0);
    out += e.Name;
    out += e.Data;
    if (e.ZeroLocalSizes) {
      Put32(out, 0x08074B50);
      Put32(out, e.Crc);
      Put32(out, e.CompressedSize);
      Put32(out, e.UncompressedSize);
    }
  }
  const uint32_t directoryStart = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const TZipEntry& e = entries[i];
    Put32(out, 0x02014B50);
    Put16(out, e.VersionMadeBy);
    Put16(out, e.VersionNeeded);
    Put16(out, e.Flags);
    Put16(out, e.Method);
    Put16(out, e.Time);
    Put16(out, e.Date);
    Put32(out, e.Crc);
    Put32(out, e.CompressedSize);
    Put32(out, e.UncompressedSize);
    Put16(out, static_cast<uint32_t>(e.Name.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, e.ExternalAttributes);
    Put32(out, offsets[i]);
    out += e.Name;
  }
  const uint32_t directorySize = static_cast<uint32_t>(out.size()) - directoryStart;
  Put32(out, 0x06054B50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put16(out, static_cast<uint32_t>(entries.size()));
  Put32(out, directorySize);
  Put32(out, directoryStart);
  Put16(out, 0);
  return out;
}

std::ostream& operator<<(std::ostream& os, const TItemFailure& f) {
  return os << "{" << f.Name << ", pt " << f.ProcessType << ", class " << f.ErrorClass << ", code " << f.ErrorCode
            << "}";
}

void ExtractAsInstaller(const std::string& zipFile, const std::string& baseDirectory,
                        std::vector<TItemFailure>* failures, const std::string& password) {
  auto unzipper = std::make_unique<TArcUnZipper>(nullptr);
  if (failures != nullptr) {
    unzipper->OnProcessItemFailure = [failures](TArcBaseBrowser*, archive::TArcArchiveItem* item,
                                                archive::TArcProcessType type, archive::TArcErrorClass cls,
                                                int32_t code) { failures->push_back({item->FileName(), type, cls, code}); };
  }
  if (!password.empty()) unzipper->SetPassword(password);
  unzipper->SetExtractOptions({archive::eoCreateDirs, archive::eoRestorePath});
  unzipper->SetFileName(zipFile);
  unzipper->SetBaseDirectory(baseDirectory);
  unzipper->ExtractFiles("*.*");
  unzipper.reset();
}

void ExpectTreeMatchesItems(const std::string& zipFile, const fs::path& base, int* filesChecked) {
  TArcUnZipper unzipper;
  unzipper.SetFileName(zipFile);
  int files = 0;
  for (int i = 0; i < unzipper.Count(); ++i) {
    archive::TArcArchiveItem* item = unzipper.Items(i);
    std::string rel = item->FileName();
    for (char& c : rel)
      if (c == '\\') c = '/';
    const fs::path target = base / rel;
    if (item->IsDirectory()) {
      EXPECT_TRUE(fs::is_directory(target)) << rel;
      continue;
    }
    ASSERT_TRUE(fs::is_regular_file(target)) << rel;
    const std::string data = ReadFile(target);
    EXPECT_EQ(static_cast<int64_t>(data.size()), item->UncompressedSize()) << rel;
    EXPECT_EQ(Crc32(data), item->CRC32()) << rel;
    ++files;
  }
  if (filesChecked) *filesChecked = files;
}

}  // namespace qelvo::unzip::test
