#pragma once
// Escape decoding and Base64 for URLs and Basic credentials.
#include <string>

#include "rtl/text.h"

namespace qelvo::net {

using rtl::ByteString;

// Replaces delimiter + two hex digits by the byte; a delimiter before a CR/LF pair is a
// soft line break and vanishes; a delimiter with fewer than two bytes after it ends the
// output; any other delimiter is kept.
ByteString DecodeEscapes(const ByteString& bytes, char delimiter);
inline ByteString PercentDecode(const ByteString& bytes) { return DecodeEscapes(bytes, '%'); }

// Standard alphabet, "=" padding, no line breaks.
ByteString Base64Encode(const ByteString& bytes);

}  // namespace qelvo::net
