#include "net/ip_text.h"

#include "net/text_util.h"

namespace qelvo::net {
namespace {

// Hexadecimal 0..65535, at least one digit (leading zeros allowed).
bool ParseHex16(const std::string& s, uint16_t& value) {
  uint64_t v = 0;
  if (!ParseHex(s, v, kAnyDigitCount, 0xFFFF)) return false;
  value = static_cast<uint16_t>(v);
  return true;
}

}  // namespace

bool IsDecimalByte(const std::string& text) {
  uint64_t v = 0;
  return ParseDecimal(text, v, 3, 255);
}

bool IsIPv4Text(const std::string& text) {
  std::string rest = text;
  for (int i = 0; i < 3; ++i)
    if (!IsDecimalByte(TakeToken(rest, "."))) return false;
  return IsDecimalByte(rest);
}

bool IsIPv6Text(const std::string& text) {
  if (text == "::") return true;
  std::string rest = text;
  int tokens = 0;
  int empties = 0;
  bool lastValid = false;
  bool lastIsCompression = false;
  while (!rest.empty()) {
    std::string token = TakeToken(rest, ":");
    const int index = tokens++;
    if (token.empty()) {
      lastValid = false;
      if (index > 0) {
        if (++empties > 1) return false;
        lastIsCompression = true;
      }
      continue;
    }
    lastIsCompression = false;
    if (tokens > 8) return false;
    if (rest.empty()) {
      const auto pct = token.find('%');
      if (pct != std::string::npos) {
        uint16_t zone;
        if (!ParseHex16(token.substr(pct + 1), zone)) return false;
        token.resize(pct);
      }
    }
    uint16_t group;
    if (!ParseHex16(token, group)) return false;
    lastValid = true;
  }
  // A trailing "::" (as in 1::) compresses the last groups and is accepted too.
  return tokens >= 2 && (lastValid || lastIsCompression);
}

ByteString IPv4TextToBytes(const std::string& text) {
  std::string rest = text;
  ByteString out(4, '\0');
  for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<char>(DecimalOrZero(TakeToken(rest, ".")) & 0xFF);
  return out;
}

std::string ExpandIPv6Text(const std::string& text) {
  if (text.empty()) return {};
  const int n = CountChar(text, ':');
  if (n > 7) return {};
  std::string s = text;
  if (s.front() == ':') s = "0" + s;
  if (s.back() == ':') s += "0";
  std::string fill;
  for (int i = 0; i < 8 - n; ++i) fill += ":0";
  fill += ":";
  return ReplaceAll(s, "::", fill);
}

ByteString IPv6TextToBytes(const std::string& text) {
  ByteString zeros(16, '\0');
  std::string expanded = ExpandIPv6Text(TextBefore(text, "%"));
  if (expanded.empty()) return zeros;
  ByteString out(16, '\0');
  int groups = 0;
  while (!expanded.empty()) {
    const std::string token = TakeToken(expanded, ":");
    if (groups >= 8) return zeros;
    uint16_t v = 0;
    if (!token.empty() && !ParseHex16(token, v)) return zeros;
    out[static_cast<size_t>(groups * 2)] = static_cast<char>(v >> 8);
    out[static_cast<size_t>(groups * 2 + 1)] = static_cast<char>(v & 0xFF);
    ++groups;
  }
  return out;
}

std::string IPv6BytesToText(const uint8_t bytes[16]) {
  uint16_t g[8];
  for (int i = 0; i < 8; ++i) g[i] = static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
  int bestStart = -1;
  int bestLen = 0;
  for (int i = 0; i < 8;) {
    if (g[i] != 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < 8 && g[j] == 0) ++j;
    if (j - i > bestLen) {
      bestLen = j - i;
      bestStart = i;
    }
    i = j;
  }
  if (bestLen == 8) return "::0";
  static constexpr char kHex[] = "0123456789abcdef";
  auto hex = [](uint16_t v) {
    std::string s;
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const int d = (v >> shift) & 0xF;
      if (d != 0 || started || shift == 0) {
        s += kHex[d];
        started = true;
      }
    }
    return s;
  };
  std::string out;
  for (int i = 0; i < 8; ++i) {
    if (i == bestStart) {
      out += "::";
      i += bestLen - 1;
      continue;
    }
    if (!out.empty() && out.back() != ':') out += ':';
    out += hex(g[i]);
  }
  return out;
}

}  // namespace qelvo::net
