#pragma once
// Deterministic sample data: the same seed gives the same bytes on every run and machine
// (std::mt19937 is fully specified), so a failure can be replayed.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qelvo::test {

// Bytes that do not compress.
std::string RandomBytes(size_t size, uint32_t seed = 1);
// Words and line breaks: compresses well, with short matches at short distances.
std::string TextBytes(size_t size, uint32_t seed = 1);
// Long runs and far repeats mixed with random stretches: match lengths up to the longest
// and distances across the whole window.
std::string RepetitiveBytes(size_t size, uint32_t seed = 1);
// Writes size random bytes to path a piece at a time (a big file without a big string):
// piece i of 1 MiB is RandomBytes(1 MiB, seed + i).
void WriteRandomFile(const std::string& path, size_t size, uint32_t seed);

}  // namespace qelvo::test
