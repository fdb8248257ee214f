#include "tests/unzip/test_support.h"

#include <ostream>
#include <stdexcept>

#include "archive/crc32.h"
#include <gtest/gtest.h>

#include "platform/path_map.h"
#include "unzip/unzipper.h"

namespace qelvo::unzip::test {

std::string Win(const fs::path& native) { return platform::FromNativePath(native.string()); }

uint32_t Crc32(const std::string& data) { return archive::Crc32OfBytes(data); }

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
    const fs::path target = base / Utf8Path(rel);
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
