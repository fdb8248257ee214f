#pragma once
// Little-endian appenders for hand-made binary records (ZIP headers and the like).
#include <cstdint>
#include <string>

namespace qelvo::test {

inline void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v));
  Put16(s, static_cast<uint16_t>(v >> 16));
}
inline void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v));
  Put32(s, static_cast<uint32_t>(v >> 32));
}

}  // namespace qelvo::test
