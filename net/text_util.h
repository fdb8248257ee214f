#pragma once
// Small pure helpers the socket layer and the protocol clients rest on: splitting texts
// at delimiters, URLs, line breaks, header unfolding, byte packing, stream copying and
// millisecond ticks. Positions are 0-based indexes into the string.
#include <cstdint>
#include <string>

#include "rtl/stream.h"
#include "rtl/string_list.h"
#include "rtl/text.h"

namespace qelvo::net {

using rtl::ByteString;

// The text before the first delimiter; the whole text when it does not occur.
std::string TextBefore(const std::string& text, const std::string& delimiter);
// The text after the first delimiter; the whole text when it does not occur.
std::string TextAfter(const std::string& text, const std::string& delimiter);

inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Remove spaces (code 32) only; tabs and line breaks stay.
std::string TrimSpaces(const std::string& text);
std::string TrimSpacesLeft(const std::string& text);
std::string TrimSpacesRight(const std::string& text);

// Takes the next token off text: the token is the text before the delimiter, text keeps
// what follows it (empty when the delimiter does not occur); both space-trimmed.
std::string TakeToken(std::string& text, const std::string& delimiter);

struct TUrlParts {
  std::string Protocol;
  std::string User;
  std::string Password;
  std::string Host;
  std::string Port;
  std::string Path;
  std::string Parameters;
  std::string RequestUri;
};
// Splits without decoding; defaults: protocol "http", port "80" ("443" for https,
// "21" for ftp), host "localhost".
TUrlParts SplitUrl(const std::string& url);

// The first CR or LF and the break it starts (CR LF, LF CR or the lone byte).
struct TLineBreak {
  int64_t Position = -1;  // -1: no break
  std::string Break;
};
TLineBreak FindLineBreak(const ByteString& bytes);

// The logical header line at index (continuation lines joined by one space);
// index moves past every line consumed. The last line of the list is never joined.
std::string NextHeaderLine(const rtl::TStringList& lines, int& index);

// Bounded number parsing for every numeric field of the wire and of address texts.
// The text is digits only (no sign, no spaces), at least one and at most maxDigits of
// them, and its value stays within maxValue; false for anything else, value untouched.
inline constexpr size_t kAnyDigitCount = static_cast<size_t>(-1);
bool ParseDecimal(const std::string& text, uint64_t& value, size_t maxDigits = kAnyDigitCount,
                  uint64_t maxValue = UINT64_MAX);
bool ParseHex(const std::string& text, uint64_t& value, size_t maxDigits = kAnyDigitCount,
              uint64_t maxValue = UINT64_MAX);
// Up to nine decimal digits (always an int32 value), 0 for anything else: ports and codes
// given as text.
int32_t DecimalOrZero(const std::string& text);
// The value of one hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

ByteString ReplaceAll(const ByteString& bytes, const ByteString& search, const ByteString& replacement);
int CountChar(const std::string& text, char c);

ByteString PackWord(uint16_t value);
// Big-endian 16-bit value at position; bytes outside the string count as 0.
uint16_t UnpackWord(const ByteString& bytes, int64_t position);
ByteString PackLongWord(uint32_t value);
uint32_t SwapByteOrder(uint32_t value);

ByteString ReadBytesFromStream(rtl::TStream& stream, int64_t count);
void WriteBytesToStream(rtl::TStream& stream, const ByteString& bytes);

// Milliseconds from the high-resolution counter, low 32 bits.
uint32_t TickNow();
// Forward distance between two ticks, surviving one wrap of the counter.
uint32_t TickSpan(uint32_t oldTick, uint32_t newTick);

}  // namespace qelvo::net
