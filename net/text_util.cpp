#include "net/text_util.h"

#include "platform/clock.h"
#include "rtl/byte_order.h"

namespace qelvo::net {

std::string TextBefore(const std::string& text, const std::string& delimiter) {
  const auto p = text.find(delimiter);
  return p == std::string::npos ? text : text.substr(0, p);
}

std::string TextAfter(const std::string& text, const std::string& delimiter) {
  const auto p = text.find(delimiter);
  return p == std::string::npos ? text : text.substr(p + delimiter.size());
}

std::string TrimSpacesLeft(const std::string& text) {
  size_t b = 0;
  while (b < text.size() && text[b] == ' ') ++b;
  return text.substr(b);
}

std::string TrimSpacesRight(const std::string& text) {
  size_t e = text.size();
  while (e > 0 && text[e - 1] == ' ') --e;
  return text.substr(0, e);
}

std::string TrimSpaces(const std::string& text) { return TrimSpacesLeft(TrimSpacesRight(text)); }

std::string TakeToken(std::string& text, const std::string& delimiter) {
  const auto p = text.find(delimiter);
  std::string token;
  std::string rest;
  if (p == std::string::npos) {
    token = text;
  } else {
    token = text.substr(0, p);
    rest = text.substr(p + delimiter.size());
  }
  text = TrimSpaces(rest);
  return TrimSpaces(token);
}

TUrlParts SplitUrl(const std::string& url) {
  TUrlParts u;
  u.Protocol = "http";
  u.Port = "80";
  std::string rest = url;
  if (url.find("://") != std::string::npos) {
    u.Protocol = TextBefore(url, "://");
    rest = TextAfter(url, "://");
  }
  const std::string upper = rtl::UpperCaseAscii(u.Protocol);
  if (upper == "HTTPS") u.Port = "443";
  if (upper == "FTP") u.Port = "21";
  if (upper == "FTPS") u.Port = "990";

  const auto at = rest.find('@');
  const auto slash = rest.find('/');
  if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
    const std::string userPart = rest.substr(0, at);
    rest = rest.substr(at + 1);
    const auto colon = userPart.find(':');
    if (colon != std::string::npos) {
      u.User = userPart.substr(0, colon);
      u.Password = userPart.substr(colon + 1);
    } else {
      u.User = userPart;
    }
  }

  std::string authority = rest;
  std::string pathText;
  const auto firstSlash = rest.find('/');
  if (firstSlash != std::string::npos) {
    authority = rest.substr(0, firstSlash);
    pathText = rest.substr(firstSlash + 1);
  }

  if (!authority.empty() && authority[0] == '[') {
    const std::string inner = authority.substr(1);
    const auto close = inner.find(']');
    u.Host = inner.substr(0, close);
    if (close != std::string::npos) {
      const std::string after = inner.substr(close + 1);
      if (!after.empty() && after[0] == ':') u.Port = after.substr(1);
    }
  } else if (authority.find(':') != std::string::npos) {
    u.Host = TextBefore(authority, ":");
    u.Port = TextAfter(authority, ":");
  } else {
    u.Host = authority;
  }

  u.RequestUri.assign(1, '/').append(pathText);
  const auto q = pathText.find('?');
  if (q != std::string::npos) {
    u.Path.assign(1, '/').append(pathText, 0, q);
    u.Parameters = pathText.substr(q + 1);
  } else {
    u.Path.assign(1, '/').append(pathText);
  }
  if (u.Host.empty()) u.Host = "localhost";
  return u;
}

TLineBreak FindLineBreak(const ByteString& bytes) {
  TLineBreak r;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') continue;
    r.Position = static_cast<int64_t>(i);
    const char other = c == '\r' ? '\n' : '\r';
    if (i + 1 < bytes.size() && bytes[i + 1] == other) r.Break = bytes.substr(i, 2);
    else r.Break = std::string(1, c);
    return r;
  }
  return r;
}

std::string NextHeaderLine(const rtl::TStringList& lines, int& index) {
  std::string result = lines.Strings(index);
  ++index;
  if (!result.empty()) {
    while (index < lines.Count() - 1) {
      std::string candidate = lines.Strings(index);
      if (candidate.empty()) break;
      for (auto& ch : candidate)
        if (ch == '\t') ch = ' ';
      const char first = candidate[0];
      if (first != ' ' && first != '"' && first != ':' && first != '=') break;
      result += ' ';
      result += rtl::Trim(candidate);
      ++index;
    }
  }
  return rtl::TrimRight(result);
}

namespace {
bool ParseDigits(const std::string& text, uint64_t base, size_t maxDigits, uint64_t maxValue, uint64_t& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  uint64_t v = 0;
  for (const char c : text) {
    const int d = HexDigitValue(c);
    if (d < 0 || static_cast<uint64_t>(d) >= base) return false;
    // v * base + d <= maxValue, checked without overflowing.
    if (static_cast<uint64_t>(d) > maxValue || v > (maxValue - static_cast<uint64_t>(d)) / base) return false;
    v = v * base + static_cast<uint64_t>(d);
  }
  value = v;
  return true;
}
}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseDecimal(const std::string& text, uint64_t& value, size_t maxDigits, uint64_t maxValue) {
  return ParseDigits(text, 10, maxDigits, maxValue, value);
}

bool ParseHex(const std::string& text, uint64_t& value, size_t maxDigits, uint64_t maxValue) {
  return ParseDigits(text, 16, maxDigits, maxValue, value);
}

int32_t DecimalOrZero(const std::string& text) {
  uint64_t v = 0;
  return ParseDecimal(text, v, 9) ? static_cast<int32_t>(v) : 0;
}

ByteString ReplaceAll(const ByteString& bytes, const ByteString& search, const ByteString& replacement) {
  if (bytes.empty() || search.empty()) return bytes;
  ByteString out;
  out.reserve(bytes.size());
  size_t pos = 0;
  for (;;) {
    const auto hit = bytes.find(search, pos);
    if (hit == ByteString::npos) break;
    out.append(bytes, pos, hit - pos);
    out += replacement;
    pos = hit + search.size();
  }
  out.append(bytes, pos, ByteString::npos);
  return out;
}

int CountChar(const std::string& text, char c) {
  int n = 0;
  for (const char ch : text)
    if (ch == c) ++n;
  return n;
}

ByteString PackWord(uint16_t value) {
  ByteString s;
  rtl::AppendBe16(s, value);
  return s;
}

uint16_t UnpackWord(const ByteString& bytes, int64_t position) {
  // A position one before the start still sees its second byte, as high bytes go first.
  if (position < 0) return position == -1 ? static_cast<uint16_t>(rtl::GetBe16(bytes) >> 8) : 0;
  return rtl::GetBe16(bytes, static_cast<size_t>(position));
}

ByteString PackLongWord(uint32_t value) {
  ByteString s;
  rtl::AppendBe32(s, value);
  return s;
}

uint32_t SwapByteOrder(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

ByteString ReadBytesFromStream(rtl::TStream& stream, int64_t count) {
  if (count <= 0) return {};
  ByteString s(static_cast<size_t>(count), '\0');
  const int64_t got = stream.Read(s.data(), count);
  s.resize(static_cast<size_t>(got > 0 ? got : 0));
  return s;
}

void WriteBytesToStream(rtl::TStream& stream, const ByteString& bytes) {
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

uint32_t TickNow() {
  const int64_t freq = platform::QueryPerformanceFrequency();
  if (freq <= 0) return platform::GetTickCount();
  const int64_t counter = platform::QueryPerformanceCounter();
  // Split to avoid overflow of counter * 1000.
  const int64_t ms = (counter / freq) * 1000 + ((counter % freq) * 1000) / freq;
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

uint32_t TickSpan(uint32_t oldTick, uint32_t newTick) {
  if (oldTick == newTick) return 0;
  if (newTick < oldTick) {
    oldTick += 0x80000000u;
    newTick += 0x80000000u;
  }
  const uint32_t d = newTick - oldTick;
  if (oldTick > newTick && d != 0) return 0u - d;
  return d;
}

}  // namespace qelvo::net
