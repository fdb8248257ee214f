#pragma once
// Byte-order field access for binary records: little-endian (archive headers, wire
// integers) and big-endian network order (proxy replies, sized streams), with the
// appenders that build such records in a byte string.
#include <cstdint>
#include <string>

namespace qelvo::rtl {

inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t GetLe64(const uint8_t* p) { return uint64_t(GetLe32(p)) | uint64_t(GetLe32(p + 4)) << 32; }

inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void AppendLe16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
inline void AppendLe32(std::string& s, uint32_t v) {
  AppendLe16(s, static_cast<uint16_t>(v));
  AppendLe16(s, static_cast<uint16_t>(v >> 16));
}
inline void AppendLe64(std::string& s, uint64_t v) {
  AppendLe32(s, static_cast<uint32_t>(v));
  AppendLe32(s, static_cast<uint32_t>(v >> 32));
}

// Reads a little-endian value from a byte string; bytes past its end count as zero.
inline uint32_t GetLe32(const std::string& s, size_t at = 0) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4 && at + i < s.size(); ++i) v |= uint32_t(static_cast<uint8_t>(s[at + i])) << (8 * i);
  return v;
}

// Big-endian network order.
inline void AppendBe16(std::string& s, uint16_t v) {
  s += static_cast<char>(v >> 8);
  s += static_cast<char>(v & 0xFF);
}
inline void AppendBe32(std::string& s, uint32_t v) {
  AppendBe16(s, static_cast<uint16_t>(v >> 16));
  AppendBe16(s, static_cast<uint16_t>(v));
}
// Reads a big-endian value from a byte string; bytes past its end count as zero.
inline uint16_t GetBe16(const std::string& s, size_t at = 0) {
  auto byte = [&](size_t i) -> uint16_t { return i < s.size() ? static_cast<uint8_t>(s[i]) : 0; };
  return static_cast<uint16_t>(byte(at) << 8 | byte(at + 1));
}

}  // namespace qelvo::rtl
