#include "tests/support/peers.h"

namespace qelvo::test {

std::string TestBody(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint32_t x = seed ? seed : 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

uint64_t Checksum(const void* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

}  // namespace qelvo::test
