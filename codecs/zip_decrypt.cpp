#include "codecs/zip_decrypt.h"

#include <cstring>

#include "archive/crc32.h"
#include "rtl/exceptions.h"

namespace qelvo::codecs {
namespace {

// One byte step of the CRC-32 register, without the initial and final inversion.
inline uint32_t CrcStep(uint32_t aKey, uint8_t aByte) {
  return archive::Crc32Table()[(aKey ^ aByte) & 0xFF] ^ (aKey >> 8);
}

}  // namespace

void TArcZipDecryptEngine::UpdateKeys(uint8_t aPlain) {
  FState[0] = CrcStep(FState[0], aPlain);
  FState[1] = (FState[1] + (FState[0] & 0xFF)) * 134775813u + 1u;
  FState[2] = CrcStep(FState[2], static_cast<uint8_t>(FState[1] >> 24));
}

void TArcZipDecryptEngine::InitKeys(const std::string& aPassphrase) {
  FState[0] = 0x12345678u;
  FState[1] = 0x23456789u;
  FState[2] = 0x34567890u;
  for (const char c : aPassphrase) UpdateKeys(static_cast<uint8_t>(c));
}

uint8_t TArcZipDecryptEngine::DecryptByte(uint8_t aCipher) {
  const uint32_t t = (FState[2] & 0xFFFF) | 2;
  const uint8_t plain = aCipher ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  UpdateKeys(plain);
  return plain;
}

bool TArcZipDecryptEngine::VerifyHeader(const TArcZipEncryptHeader& aHeader, const std::string& aPassphrase,
                                        uint32_t aCheckValue) {
  rtl::Assert(!aPassphrase.empty(), "TArcZipDecryptEngine.VerifyHeader: need a passphrase");
  InitKeys(aPassphrase);
  uint8_t last = 0;
  for (const uint8_t b : aHeader) last = DecryptByte(b);
  FReady = last == static_cast<uint8_t>(aCheckValue >> 24);
  return FReady;
}

void TArcZipDecryptEngine::DecodeBuffer(void* aBuffer, int64_t aCount) {
  rtl::Assert(FReady, "TArcZipDecryptEngine.Decode: must successfully call VerifyHeader first");
  auto* p = static_cast<uint8_t*>(aBuffer);
  for (int64_t i = 0; i < aCount; ++i) p[i] = DecryptByte(p[i]);
}

TArcDfDecryptStream::TArcDfDecryptStream(rtl::TStream* aStream, uint32_t aCheckValue, const std::string& aPassphrase)
    : FCheckValue(aCheckValue), FPassphrase(aPassphrase), FStream(aStream) {}

TArcDfDecryptStream::~TArcDfDecryptStream() = default;

bool TArcDfDecryptStream::IsValid() {
  TArcZipEncryptHeader header;
  FStream->ReadBuffer(header, sizeof header);
  FReady = FEngine.VerifyHeader(header, FPassphrase, FCheckValue);
  if (!FReady) FStream->Seek(-static_cast<int64_t>(sizeof header), rtl::soCurrent);
  return FReady;
}

int64_t TArcDfDecryptStream::Read(void* aBuffer, int64_t aCount) {
  rtl::Assert(FReady, "TArcDfDecryptStream.Read: the stream header has not been verified");
  const int64_t n = FStream->Read(aBuffer, aCount);
  if (n > 0) FEngine.DecodeBuffer(aBuffer, n);
  return n;
}

int64_t TArcDfDecryptStream::Write(const void*, int64_t) {
  throw rtl::EAssertionFailed("TArcDfDecryptStream.Write: the stream is read-only");
}

int64_t TArcDfDecryptStream::Seek(int64_t aOffset, rtl::TSeekOrigin aOrigin) {
  return FStream->Seek(aOffset, aOrigin);
}

void TArcDfDecryptStream::TakeOwnership(std::unique_ptr<rtl::TStream> aStream) {
  rtl::Assert(aStream.get() == FStream, "TArcDfDecryptStream.TakeOwnership: not the inner stream");
  FOwnedStream = std::move(aStream);
}

}  // namespace qelvo::codecs
