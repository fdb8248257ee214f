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

constexpr uint64_t kFold128Low = 0x01751997d0, kFold128High = 0x00ccaa009e;  // k3, k4

// Folds the remaining 16-byte blocks into x1, then reduces it to the register.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldTail(__m128i x1, const uint8_t* p, size_t count) {
  alignas(16) static constexpr uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static constexpr uint64_t poly[] = {0x01db710641, 0x01f7011641};
  __m128i k = _mm_set_epi64x(kFold128High, kFold128Low);
  for (; count >= 16; p += 16, count -= 16) x1 = Fold(x1, k, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));

  // 128 -> 64 bits.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x2 = _mm_clmulepi64_si128(x1, k, 0x10);
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

// Takes at least 64 bytes, a multiple of 16; returns the register.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldClmul(uint32_t reg, const uint8_t* p, size_t count) {
  auto load = [](const uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
  __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
  p += 64;
  count -= 64;
  const __m128i k512 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // k2, k1
  while (count >= 64) {
    x1 = Fold(x1, k512, load(p));
    x2 = Fold(x2, k512, load(p + 16));
    x3 = Fold(x3, k512, load(p + 32));
    x4 = Fold(x4, k512, load(p + 48));
    p += 64;
    count -= 64;
  }
  const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
  x1 = Fold(x1, k128, x2);
  x1 = Fold(x1, k128, x3);
  x1 = Fold(x1, k128, x4);
  return FoldTail(x1, p, count);
}

// The same folding on four 512-bit registers, 256 bytes per step, forward by 2048 bits
// (k = x^(2048+32), x^(2048-32)); then the four registers into one by 512 bits and its
// four lanes into one by 128 bits. Takes at least 256 bytes, a multiple of 16.
#define QELVO_TARGET_VPCLMUL __attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1")))
QELVO_TARGET_VPCLMUL inline __m512i Load512(const uint8_t* q) { return _mm512_loadu_si512(q); }
QELVO_TARGET_VPCLMUL inline __m512i Fold512(__m512i x, __m512i k, __m512i next) {
  // 0x96: the three-way exclusive or.
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11), next,
                                   0x96);
}

QELVO_TARGET_VPCLMUL uint32_t FoldVpclmul(uint32_t reg, const uint8_t* p, size_t count) {
  const auto load = Load512;
  const auto fold = Fold512;
  __m512i x1 = _mm512_xor_si512(load(p), _mm512_maskz_set1_epi32(1, static_cast<int>(reg)));
  __m512i x2 = load(p + 64), x3 = load(p + 128), x4 = load(p + 192);
  p += 256;
  count -= 256;
  const __m512i k2048 = _mm512_set_epi64(0x01322d1430, 0x011542778a, 0x01322d1430, 0x011542778a, 0x01322d1430, 0x011542778a,
                                          0x01322d1430, 0x011542778a);
  while (count >= 256) {
    x1 = fold(x1, k2048, load(p));
    x2 = fold(x2, k2048, load(p + 64));
    x3 = fold(x3, k2048, load(p + 128));
    x4 = fold(x4, k2048, load(p + 192));
    p += 256;
    count -= 256;
  }
  const __m512i k512 = _mm512_set_epi64(0x01c6e41596, 0x0154442bd4, 0x01c6e41596, 0x0154442bd4, 0x01c6e41596, 0x0154442bd4,
                                         0x01c6e41596, 0x0154442bd4);
  x1 = fold(x1, k512, x2);
  x1 = fold(x1, k512, x3);
  x1 = fold(x1, k512, x4);
  const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
  alignas(64) __m128i lanes[4];
  _mm512_store_si512(lanes, x1);
  __m128i y = lanes[0];
  for (int i = 1; i < 4; ++i) y = Fold(y, k128, lanes[i]);
  return FoldTail(y, p, count);
}

#undef QELVO_TARGET_VPCLMUL

bool HaveVpclmul() {
  static const bool have = __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
                           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("pclmul");
  return have;
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
    reg = bulk >= 1024 && HaveVpclmul() ? FoldVpclmul(reg, p, bulk) : FoldClmul(reg, p, bulk);
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
