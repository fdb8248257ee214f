#pragma once
// Split sets made at test time by Info-ZIP zip -s, and removable media played by the
// injectable drive-type answer. Header-only, so that the suites above archive use it too.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "platform/file_system.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace qelvo::archive::testing {

// The parts of a set in order, the last one (the archive's own name) included.
inline std::vector<std::filesystem::path> SetParts(const std::filesystem::path& lastPart) {
  std::vector<std::filesystem::path> parts;
  for (int n = 1;; ++n) {
    std::filesystem::path p = lastPart;
    char ext[16];
    std::snprintf(ext, sizeof ext, ".z%02d", n);
    p.replace_extension(ext);
    if (!std::filesystem::exists(p)) break;
    parts.push_back(p);
  }
  parts.push_back(lastPart);
  return parts;
}

// Runs zip -s partSize (e.g. "64k") in folder over files (names relative to it) into
// setName; extraArgs such as "-0" for stored items. Returns the native last part.
inline std::filesystem::path MakeSplitSet(const qelvo::test::TempFolder& folder, const std::string& setName,
                                          const std::string& partSize, const std::vector<std::string>& files,
                                          const std::string& extraArgs = "") {
  std::filesystem::create_directories((folder / setName).parent_path());
  std::string cmd = "zip -q -X " + extraArgs + " -s " + partSize + " " + qelvo::test::ShellQuote(setName);
  for (const std::string& f : files) cmd += " " + qelvo::test::ShellQuote(f);
  EXPECT_EQ(qelvo::test::ShellStatus(cmd, folder.Native()), 0) << cmd;
  return folder / setName;
}

// The stored bytes of item i (its content for a stored item), read from its local
// header on, through as many parts as it spans.
inline std::string ItemStoredData(TArcZipArchive& a, int i) {
  TArcZipItem* item = a.Items(i);
  a.SeekItemLocalHeader(*item);
  TArcZipLocalFileHeader local;
  local.LoadFromStream(*a.Stream());
  std::string data(static_cast<size_t>(item->CompressedSize()), '\0');
  a.Stream()->ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  return data;
}

// Every drive answers "removable" while this lives.
class ScopedRemovableDrives {
 public:
  ScopedRemovableDrives() {
    platform::SetDriveTypeQuery([](const std::string&) { return platform::TDriveType::Removable; });
  }
  ~ScopedRemovableDrives() { platform::SetDriveTypeQuery({}); }
  ScopedRemovableDrives(const ScopedRemovableDrives&) = delete;
  ScopedRemovableDrives& operator=(const ScopedRemovableDrives&) = delete;
};

}  // namespace qelvo::archive::testing
