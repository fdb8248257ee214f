#pragma once
// Sample data for the extraction benchmarks: files already on this machine (headers,
// libraries, compressed packages), picked by name under a folder up to a byte budget.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace qelvo::bench {

// Regular, readable files under root whose name passes keep, none larger than
// maxFileSize, up to budget bytes in all.
inline void Collect(const std::filesystem::path& root, uintmax_t budget, bool (*keep)(const std::filesystem::path&),
                    std::vector<std::filesystem::path>& out, uintmax_t maxFileSize = 32ull << 20) {
  namespace fs = std::filesystem;
  std::error_code ec;
  uintmax_t taken = 0;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       it != end && taken < budget; it.increment(ec)) {
    if (ec) break;
    const auto st = it->symlink_status(ec);
    if (ec || !fs::is_regular_file(st) || !keep(it->path())) continue;
    const uintmax_t size = it->file_size(ec);
    if (ec || size == 0 || size > maxFileSize) continue;
    if (std::FILE* f = std::fopen(it->path().c_str(), "rb")) {
      std::fclose(f);
      out.push_back(it->path());
      taken += size;
    }
  }
}

}  // namespace qelvo::bench
