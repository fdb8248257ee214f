#include "codecs/bzip2_stream.h"

#include <algorithm>
#include <climits>

namespace qelvo::codecs {

namespace {

constexpr const char* kInvalidStreamOperation = "Invalid stream operation";
constexpr int64_t kSkipPiece = 8192;

std::string ErrorText(int result) { return "error " + std::to_string(result); }

}  // namespace

TCustomBZip2Stream::TCustomBZip2Stream(rtl::TStream* aStrm)
    : FStrm(aStrm), FStrmPos(aStrm->Position()), FBuffer(std::make_unique<char[]>(kBufferSize)) {}

TBZDecompressionStream::TBZDecompressionStream(rtl::TStream* aSource)
    : TCustomBZip2Stream(aSource), FStartPos(FStrmPos) {
  InitDecoder();
}

TBZDecompressionStream::~TBZDecompressionStream() { BZ2_bzDecompressEnd(&FBZRec); }

void TBZDecompressionStream::InitDecoder() {
  FBZRec = bz_stream{};
  // No verbose output, not the small-memory mode.
  const int result = BZ2_bzDecompressInit(&FBZRec, 0, 0);
  if (result < 0) throw EBZDecompressionError(ErrorText(result));
}

int64_t TBZDecompressionStream::Produced() const {
  return static_cast<int64_t>(uint64_t{FBZRec.total_out_hi32} << 32 | FBZRec.total_out_lo32);
}

int64_t TBZDecompressionStream::Read(void* aBuffer, int64_t aCount) {
  if (aCount <= 0) return 0;
  // The library counts output space in an unsigned int; a larger request comes back
  // short, which the stream contract allows.
  aCount = std::min<int64_t>(aCount, INT_MAX);
  FBZRec.next_out = static_cast<char*>(aBuffer);
  FBZRec.avail_out = static_cast<unsigned>(aCount);
  if (FStrm->Position() != FStrmPos) FStrm->SetPosition(FStrmPos);
  while (FBZRec.avail_out > 0) {
    if (FBZRec.avail_in == 0) {
      const int64_t got = FStrm->Read(FBuffer.get(), kBufferSize);
      if (got <= 0) return aCount - FBZRec.avail_out;
      FBZRec.next_in = FBuffer.get();
      FBZRec.avail_in = static_cast<unsigned>(got);
      FStrmPos = FStrm->Position();
    }
    // A stream end does not stop the loop: the next step fails on whatever follows.
    const int result = BZ2_bzDecompress(&FBZRec);
    if (result < 0) throw EBZCompressionError(ErrorText(result));
    if (OnProgress) OnProgress(this);
  }
  return aCount;
}

int64_t TBZDecompressionStream::Write(const void*, int64_t) { throw EBZDecompressionError(kInvalidStreamOperation); }

void TBZDecompressionStream::Restart() {
  BZ2_bzDecompressEnd(&FBZRec);
  InitDecoder();
  FStrm->SetPosition(FStartPos);
  FStrmPos = FStartPos;
}

void TBZDecompressionStream::Skip(int64_t aCount) {
  char piece[kSkipPiece];
  while (aCount > 0) {
    const int64_t n = std::min(aCount, kSkipPiece);
    ReadBuffer(piece, n);
    aCount -= n;
  }
}

int64_t TBZDecompressionStream::Seek(int64_t aOffset, rtl::TSeekOrigin aOrigin) {
  const int64_t position = Produced();
  if (aOrigin == rtl::soBeginning && aOffset == 0) {
    Restart();
  } else if (aOrigin == rtl::soCurrent && aOffset >= 0) {
    Skip(aOffset);
  } else if (aOrigin == rtl::soBeginning && aOffset >= position) {
    Skip(aOffset - position);
  } else {
    throw EBZDecompressionError(kInvalidStreamOperation);
  }
  return Produced();
}

void DecompressBzip2Item(rtl::TStream& aSource, int64_t aUncompressedSize, rtl::TStream& aDest) {
  TBZDecompressionStream decoder(&aSource);
  if (aUncompressedSize > 0) aDest.CopyFrom(decoder, aUncompressedSize);  // a count of 0 would copy everything
}

}  // namespace qelvo::codecs

// libbz2 reports a broken internal invariant through this function (built with its
// standard I/O, it would print and end the process). Defining it here takes its place
// in the shared library, so the failure becomes an exception of the item being decoded;
// the library's frames carry unwind tables.
extern "C" void BZ2_bz__AssertH__fail(int errcode) {
  throw qelvo::codecs::EBZip2Error("Compression Error " + std::to_string(errcode));
}
