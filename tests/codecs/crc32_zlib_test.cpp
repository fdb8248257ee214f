#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "tests/support/sample_data.h"

namespace qelvo::archive {
namespace {

// The folding path takes blocks of 128 bytes and more; every length, alignment and split
// around its edges must agree with zlib.
TEST(Crc32AgainstZlib, EveryLengthAlignmentAndSplit) {
  const std::string random = qelvo::test::RandomBytes(1 << 20, 7);
  const std::vector<uint8_t> data(random.begin(), random.end());
  std::mt19937 rng(7);
  auto zlibCrc = [&](size_t off, size_t len) {
    return static_cast<uint32_t>(crc32(0, data.data() + off, static_cast<uInt>(len)));
  };
  for (size_t len = 0; len < 700; ++len) {
    for (size_t off : {0u, 1u, 7u, 15u}) {
      ASSERT_EQ(Crc32OfBytes(data.data() + off, len), zlibCrc(off, len)) << len << " at " << off;
    }
  }
  EXPECT_EQ(Crc32OfBytes(data.data(), data.size()), zlibCrc(0, data.size()));
  for (int round = 0; round < 200; ++round) {
    uint32_t reg = kCrc32Initial;
    size_t pos = 0;
    while (pos < 100000) {
      const size_t n = std::min<size_t>(rng() % 3000, 100000 - pos);
      Crc32Update(reg, data.data() + pos, n);
      pos += n;
    }
    ASSERT_EQ(~reg, zlibCrc(0, 100000)) << round;
  }
}

}  // namespace
}  // namespace qelvo::archive
