#include "archive/crc32.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "rtl/byte_order.h"

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

}  // namespace

const std::array<uint32_t, 256>& Crc32Table() { return kTables[0]; }

namespace {

void Crc32UpdateTables(uint32_t& reg, const uint8_t* p, size_t count) {
  uint32_t c = reg;
  while (count >= 8) {
    const uint32_t lo = rtl::GetLe32(p) ^ c;
    const uint32_t hi = rtl::GetLe32(p + 4);
    c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
        kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
        kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    p += 8;
    count -= 8;
  }
  while (count--) c = kTables[0][(c ^ *p++) & 0xFF] ^ (c >> 8);
  reg = c;
}

#if defined(__x86_64__)
// Folding with carry-less multiplication: four 128-bit lanes are folded forward by
// 512 bits per step, then into one lane, then reduced to 32 bits (Barrett). The
// constants are x^k mod P for the reflected polynomial, bit-reflected:
//   k1 = x^(4*128+32), k2 = x^(4*128-32), k3 = x^(128+32), k4 = x^(128-32),
//   k5 = x^64, then P' and mu = floor(x^64 / P).
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Takes at least 64 bytes, a multiple of 16; returns the register.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldClmul(uint32_t reg, const uint8_t* p, size_t count) {
  alignas(16) static constexpr uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static constexpr uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static constexpr uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static constexpr uint64_t poly[] = {0x01db710641, 0x01f7011641};
  auto load = [](const uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };

  __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
  p += 64;
  count -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  while (count >= 64) {
    x1 = Fold(x1, k, load(p));
    x2 = Fold(x2, k, load(p + 16));
    x3 = Fold(x3, k, load(p + 32));
    x4 = Fold(x4, k, load(p + 48));
    p += 64;
    count -= 64;
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  while (count >= 16) {
    x1 = Fold(x1, k, load(p));
    p += 16;
    count -= 16;
  }

  // 128 -> 64 bits.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), x2);

  // Barrett reduction to 32 bits.
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  x2 = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10), mask32);
  x2 = _mm_clmulepi64_si128(x2, k, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}
#endif

}  // namespace

void Crc32Update(uint32_t& reg, const void* bytes, size_t count) {
  const auto* p = static_cast<const uint8_t*>(bytes);
#if defined(__x86_64__)
  if (count >= 128 && HaveClmul()) {
    const size_t bulk = count & ~size_t{15};
    reg = FoldClmul(reg, p, bulk);
    p += bulk;
    count -= bulk;
  }
#endif
  Crc32UpdateTables(reg, p, count);
}

uint32_t Crc32OfBytes(const void* bytes, size_t count) {
  uint32_t reg = kCrc32Initial;
  Crc32Update(reg, bytes, count);
  return ~reg;
}

}  // namespace qelvo::archive
