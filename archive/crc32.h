#pragma once
// The ZIP CRC-32 (reflected polynomial 0xEDB88320). The register convention is the
// archive's own: callers keep a running register that starts at 0xFFFFFFFF and take its
// complement at the end. Crc32Update folds large blocks with carry-less multiplication
// where the processor has it, else eight bytes per step (slice-by-8).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qelvo::archive {

inline constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;
inline constexpr uint32_t kCrc32Initial = 0xFFFFFFFFu;

// The byte table: Table[n] is the register change for the byte value n.
const std::array<uint32_t, 256>& Crc32Table();

// Register := Table[(Register xor b) and 0xFF] xor (Register shr 8) for every byte.
void Crc32Update(uint32_t& reg, const void* bytes, size_t count);

// The finished CRC-32 of a byte block ("abc" gives 0x352441C2).
uint32_t Crc32OfBytes(const void* bytes, size_t count);
inline uint32_t Crc32OfBytes(std::string_view bytes) { return Crc32OfBytes(bytes.data(), bytes.size()); }

}  // namespace qelvo::archive
