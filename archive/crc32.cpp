#include "archive/crc32.h"


namespace qelvo::archive {

namespace {

using TSliceTables = std::array<std::array<uint32_t, 256>, 8>;

// Tables[k][n] is the register change for byte n followed by k zero bytes.
constexpr TSliceTables BuildTables() {
  TSliceTables t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kCrc32Polynomial : c >> 1;
    t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
  return t;
}

constexpr TSliceTables kTables = BuildTables();
static_assert(kTables[0][1] == 0x77073096u);

inline uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

const std::array<uint32_t, 256>& Crc32Table() { return kTables[0]; }

void Crc32Update(uint32_t& reg, const void* bytes, size_t count) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  uint32_t c = reg;
  while (count >= 8) {
    const uint32_t lo = LoadLe32(p) ^ c;
    const uint32_t hi = LoadLe32(p + 4);
    c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
        kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
        kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    p += 8;
    count -= 8;
  }
  while (count--) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  reg = c;
}

uint32_t Crc32OfBytes(const void* bytes, size_t count) {
  uint32_t reg = kCrc32Initial;
  Crc32Update(reg, bytes, count);
  return ~reg;
}

}  // namespace qelvo::archive
