#pragma once
// ZIP method 14: LZMA items decoded by the LZMA SDK's raw decoder (LzmaDec).
//
// An item starts with a 4-byte header (major and minor version of the SDK that wrote
// it, not checked, then the 16-bit little-endian size of the properties), followed by
// the properties (usually 5 bytes: lc/lp/pb and the dictionary size) and the LZMA
// stream. The item's uncompressed size is the expected size whether or not the item
// says an end marker is present; the stream must end exactly there.
//
// Every failure raises EArcLZMAException with the SDK's status number and the message
// of the table below. Data that runs out early is not an error here: fewer bytes come
// out and item extraction's CRC comparison reports it.
#include <cstdint>
#include <string>

#include "rtl/stream.h"

namespace qelvo::codecs {

class EArcLZMAException : public rtl::Exception {
 public:
  explicit EArcLZMAException(int aStatus);
  int Status;
};

// The SDK's status numbers (SZ_ERROR_*), kept as they are.
enum TLzmaStatus : int {
  lzsOk = 0,
  lzsDataError = 1,
  lzsMemoryError = 2,
  lzsCrcError = 3,
  lzsUnsupported = 4,
  lzsParameterError = 5,
  lzsInputEOF = 6,
  lzsOutputEOF = 7,
  lzsReadError = 8,
  lzsWriteError = 9,
  lzsProgressError = 10,
  lzsFail = 11,
  lzsThreadError = 12,
  lzsArchiveError = 16,
  lzsNoArchive = 17,
};

// "LZMA Data Error.", ..., "Unknown LZMA error (%d)".
std::string LzmaStatusMessage(int aStatus);

// The expected size when it is not known: the stream must then end with its marker.
inline constexpr int64_t kLzmaUnknownSize = -1;

// Decodes the LZMA stream of aSource into aDest, aUncompressedSize bytes exactly (or up
// to the end marker when kLzmaUnknownSize). Raises EArcLZMAException on a non-zero
// status.
void DecodeLzmaStream(const uint8_t* aProperties, unsigned aPropertiesSize, rtl::TStream& aSource,
                      int64_t aUncompressedSize, rtl::TStream& aDest);

// Method 14 as item extraction runs it: the header, exactly its properties (a short
// read raises EReadError), then DecodeLzmaStream.
void DecompressLzmaItem(rtl::TStream& aSource, int64_t aUncompressedSize, rtl::TStream& aDest);

}  // namespace qelvo::codecs
