#pragma once
// Shared vocabulary of the Deflate decoder: the options and results object, the
// decoder's exceptions and the constant tables of the Deflate and Deflate64 formats.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/errors.h"
#include "rtl/exceptions.h"

namespace qelvo::codecs {

// Progress in percent of the compressed size; the callback may raise EArcAbortProgress.
using TArcProgressStep = std::function<void(int32_t aPercentDone)>;

// Option bits. Bits 0..3 select a compression level and mean nothing to the decoder.
enum : int32_t {
  ofDeflate64 = 0x10,
  ofAdler32 = 0x20,
  ofTestOnly = 0x40000000,
};

// Options for one Inflate call and, on return, its two results.
class TArcDeflateHelper {
 public:
  TArcDeflateHelper() = default;
  void Assign(const TArcDeflateHelper& aHelper) { *this = aHelper; }

  int32_t Options = 15;
  // Stop once this many bytes exist (0: decode everything).
  int64_t PartialSize = 0;
  // Compressed size, only for progress; -1 takes the size of the source stream.
  int64_t StreamSize = 0;
  TArcProgressStep OnProgressStep;
  // Results: bytes consumed from the source and bytes produced.
  int64_t CompressedSize = 0;
  int64_t NormalSize = 0;
};

// The one failure that leaves Inflate: a corrupted stream, with the internal cause.
class EArcInflateError : public rtl::Exception {
 public:
  explicit EArcInflateError(const std::string& aMsg)
      : Exception("Inflate error, possibly a corrupted compressed stream. (Internal cause: " + aMsg + ")"),
        InternalCause(aMsg) {}
  std::string InternalCause;
};

// Raised inside the decoder; Inflate turns it into EArcInflateError.
class EArcInternalInflateError : public rtl::Exception {
 public:
  using Exception::Exception;
};

// The partial size was reached: decoding ends early, without failure.
class EArcPartSizedInflate : public rtl::Exception {
 public:
  EArcPartSizedInflate() : Exception("") {}
};

// Raised by a progress callback to stop decoding, without failure: the archive's own, so
// that an abort from the archive's progress hooks stops the decoder too.
using archive::EArcAbortProgress;

// Internal causes: what a corrupted stream reports, inside the EArcInflateError message.
namespace cause {
inline constexpr const char* kInvalidBlockType = "starting new block, but invalid block type [Inflate]";
inline constexpr const char* kStoredLength =
    "invalid stored block (length and NOT length do not match) [InflateStoredBlock]";
inline constexpr const char* kTooManyLiteralCodes =
    "count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]";
inline constexpr const char* kTooManyDistanceCodes =
    "count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]";
inline constexpr const char* kBadCodeLengthSymbol = "decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}";
inline constexpr const char* kBadCodeLengthLength = "decoded a code length out of range {ReadLitDistCodeLengths}";
inline constexpr const char* kRepeatWithoutLength =
    "repeat code 16 without a previous code length {ReadLitDistCodeLengths}";
inline constexpr const char* kBadLengthSymbol = "decoded an invalid length symbol: greater than 285 [DecodeData]";
inline constexpr const char* kBadDistanceSymbol = "decoded an invalid distance symbol: greater than 29 [DecodeData]";
inline constexpr const char* kDistanceTooFar =
    "decoded a distance reaching before the first byte produced [DecodeData]";
inline constexpr const char* kNoDataReadBit = "no more compressed data in stream [TArcDfInBitStream.ReadBit]";
inline constexpr const char* kNoDataReadBits = "no more compressed data in stream [TArcDfInBitStream.ReadBits]";
inline constexpr const char* kNoDataDiscardBits = "no more compressed data in stream [TArcDfInBitStream.DiscardBits]";
inline constexpr const char* kNoDataReadBuffer = "no more compressed data in stream [TArcDfInBitStream.ReadBuffer]";
inline constexpr const char* kDiscardCount =
    "count of bits must be between 1 and 32 inclusive [TArcDfInBitStream.DiscardBits]";
inline constexpr const char* kReadBitsCount =
    "count of bits must be between 1 and 16 inclusive [TArcDfInBitStream.ReadBits]";
}  // namespace cause

// Format tables. Length symbol 285 is 258 in Deflate and 3 + 16 extra bits in Deflate64;
// 286 and 287 exist only in the fixed code and are never valid.
extern const uint16_t LengthBase[29];
extern const uint8_t LengthExtraBits[31];
extern const uint32_t DistanceBase[32];
extern const uint8_t DistanceExtraBits[32];
extern const uint8_t CodeLengthOrder[19];

}  // namespace qelvo::codecs
