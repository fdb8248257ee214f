#pragma once
// ZIP method 12: a read-only stream that decodes bzip2 data from a source stream through
// libbz2's streaming decoder.
//
// The stream reads its source in pieces of 64 KiB and remembers where it stopped, so
// that the source may be moved by someone else between two reads. It does not stop at
// the end of the bzip2 stream: asking for more than the data holds makes the next
// library step fail (trailing bytes) or the read come back short (no bytes left), which
// is how an item whose stated size is too large is caught. Only forward seeks (by
// decoding and discarding) and a restart at offset 0 are possible.
//
// libbz2's internal-error hook is routed to EBZip2Error, so that a library assertion
// ends one item instead of the process.
#include <bzlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "rtl/stream.h"

namespace qelvo::codecs {

// A libbz2 internal failure: "Compression Error %d".
class EBZip2Error : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};
// A decoding error while reading: "error %d" with the library's result.
class EBZCompressionError : public EBZip2Error {
 public:
  using EBZip2Error::EBZip2Error;
};
// Decoder set-up failure ("error %d") or a stream operation the decoder cannot do
// ("Invalid stream operation").
class EBZDecompressionError : public EBZip2Error {
 public:
  using EBZip2Error::EBZip2Error;
};

class TCustomBZip2Stream : public rtl::TStream {
 public:
  static constexpr int64_t kBufferSize = 65536;
  using TNotifyEvent = std::function<void(TCustomBZip2Stream* sender)>;

  TCustomBZip2Stream(const TCustomBZip2Stream&) = delete;
  TCustomBZip2Stream& operator=(const TCustomBZip2Stream&) = delete;

  TNotifyEvent OnProgress;  // after each library step

 protected:
  explicit TCustomBZip2Stream(rtl::TStream* aStrm);

  rtl::TStream* FStrm;  // the compressed source, not owned
  int64_t FStrmPos;     // source position after the last read from it
  bz_stream FBZRec{};
  std::unique_ptr<char[]> FBuffer;  // kBufferSize bytes of input
};

class TBZDecompressionStream : public TCustomBZip2Stream {
 public:
  // Sets the decoder up at the source's current position.
  explicit TBZDecompressionStream(rtl::TStream* aSource);
  ~TBZDecompressionStream() override;

  int64_t Read(void* aBuffer, int64_t aCount) override;
  // Raises EBZDecompressionError "Invalid stream operation".
  int64_t Write(const void* aBuffer, int64_t aCount) override;
  // Offset 0 from the beginning restarts decoding; forward moves decode and discard;
  // anything else raises. Answers the number of bytes produced so far.
  int64_t Seek(int64_t aOffset, rtl::TSeekOrigin aOrigin) override;

 private:
  void InitDecoder();
  void Restart();
  void Skip(int64_t aCount);
  int64_t Produced() const;

  int64_t FStartPos;  // where the compressed data begins in the source
};

// Method 12 as item extraction runs it: decodes exactly aUncompressedSize bytes from
// aSource into aDest; data that holds fewer bytes ends in EReadError.
void DecompressBzip2Item(rtl::TStream& aSource, int64_t aUncompressedSize, rtl::TStream& aDest);

}  // namespace qelvo::codecs
