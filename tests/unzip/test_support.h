#pragma once
// Helpers of the unzip tests: the extraction exactly as the installer runs it and the
// check of an extracted tree. Sample data, hand-made ZIP archives, folders, files, tools
// and the corpus come from tests/support.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/types.h"
#include "tests/support/files.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"
#include "tests/support/zip_builder.h"

namespace qelvo::unzip::test {

namespace fs = std::filesystem;

using namespace qelvo::test;

// A native path in the program's Windows form ("Z:\tmp\...").
std::string Win(const fs::path& native);
uint32_t Crc32(const std::string& data);

struct TItemFailure {
  std::string Name;
  archive::TArcProcessType ProcessType;
  archive::TArcErrorClass ErrorClass;
  int32_t ErrorCode;
  bool operator==(const TItemFailure&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TItemFailure& f);

// A temporary folder with out/ to extract into, and the item failures of a run.
class TExtractTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(out); }
  // Writes bytes to tmp/name; returns its path in the program's form.
  std::string Make(const std::string& name, const std::string& bytes) {
    WriteFile(tmp / name, bytes);
    return Win(tmp / name);
  }

  TempFolder tmp;
  fs::path out = tmp / "out";
  std::vector<TItemFailure> failures;
};

// Create, options [eoCreateDirs, eoRestorePath], file name, base folder, "*.*", free:
// the installer's sequence. The failures are recorded when failures is given (the
// installer itself sets no handler).
void ExtractAsInstaller(const std::string& zipFile, const std::string& baseDirectory,
                        std::vector<TItemFailure>* failures = nullptr, const std::string& password = {});

// Every file item of the archive is on disk below base with its size and CRC-32; the
// number of files checked goes to filesChecked.
void ExpectTreeMatchesItems(const std::string& zipFile, const fs::path& base, int* filesChecked = nullptr);

}  // namespace qelvo::unzip::test
