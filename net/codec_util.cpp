#include "net/codec_util.h"

#include "net/text_util.h"

namespace qelvo::net {
ByteString DecodeEscapes(const ByteString& bytes, char delimiter) {
  ByteString out;
  out.reserve(bytes.size());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const char c = bytes[i];
    if (c != delimiter) {
      out += c;
      ++i;
      continue;
    }
    if (n - i - 1 < 2) break;
    const char a = bytes[i + 1];
    const char b = bytes[i + 2];
    if (a == '\r' || a == '\n') {
      const char other = a == '\r' ? '\n' : '\r';
      i += 2;
      if (i < n && bytes[i] == other) ++i;
      continue;
    }
    const int hi = HexDigitValue(a);
    const int lo = HexDigitValue(b);
    if (hi >= 0 && lo >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 3;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

ByteString Base64Encode(const ByteString& bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  ByteString out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                       static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t left = bytes.size() - i;
  if (left > 0) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (left == 2) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += left == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace qelvo::net
