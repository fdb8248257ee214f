#pragma once
// Traditional ZIP decryption: the three-key stream cipher of the ZIP format and a
// read-only stream that checks a password against an item's 12-byte encryption header
// and then decrypts whatever is read through it.
//
// A wrong password is caught only by one check byte (1 in 256 wrong passwords pass);
// the decoder's errors or the CRC-32 comparison catch the rest.
#include <cstdint>
#include <memory>
#include <string>

#include "rtl/stream.h"

namespace qelvo::codecs {

using TArcZipEncryptHeader = uint8_t[12];

// The value whose high byte the last decrypted header byte must equal: with a data
// descriptor (general-purpose bit 3) the CRC is not known when the header is written,
// so the local header's DOS modification time takes its place.
inline uint32_t DecryptCheckValue(uint16_t aGeneralPurposeFlags, uint16_t aLastModTime, uint32_t aCrc32) {
  return (aGeneralPurposeFlags & 0x0008) != 0 ? static_cast<uint32_t>(aLastModTime) << 16 : aCrc32;
}

class TArcZipDecryptEngine {
 public:
  TArcZipDecryptEngine() = default;

  // Sets the keys up from the password, decrypts a copy of the header and compares its
  // last byte with bits 24..31 of aCheckValue. The keys stay advanced past the header.
  bool VerifyHeader(const TArcZipEncryptHeader& aHeader, const std::string& aPassphrase, uint32_t aCheckValue);
  // Decrypts in place; only after a successful VerifyHeader.
  void DecodeBuffer(void* aBuffer, int64_t aCount);
  bool Ready() const { return FReady; }

 private:
  void InitKeys(const std::string& aPassphrase);
  void UpdateKeys(uint8_t aPlain);
  uint8_t DecryptByte(uint8_t aCipher);

  bool FReady = false;
  uint32_t FState[3] = {};
};

class TArcDfDecryptStream : public rtl::TStream {
 public:
  // aStream holds the encryption header followed by the encrypted data; not owned
  // unless handed over with TakeOwnership.
  TArcDfDecryptStream(rtl::TStream* aStream, uint32_t aCheckValue, const std::string& aPassphrase);
  ~TArcDfDecryptStream() override;

  // Reads the 12 header bytes and checks the password. On failure the inner stream is
  // put back where it was, so that another password can be tried on the same bytes.
  bool IsValid();

  int64_t Read(void* aBuffer, int64_t aCount) override;
  // Read-only: an assertion failure.
  int64_t Write(const void* aBuffer, int64_t aCount) override;
  // Passed to the inner stream; the keys do not follow, so never seek while reading.
  int64_t Seek(int64_t aOffset, rtl::TSeekOrigin aOrigin) override;

  // From now on the inner stream is freed with this one.
  void TakeOwnership(std::unique_ptr<rtl::TStream> aStream);
  bool OwnsStream() const { return FOwnedStream != nullptr; }

 private:
  uint32_t FCheckValue;
  TArcZipDecryptEngine FEngine;
  std::unique_ptr<rtl::TStream> FOwnedStream;
  std::string FPassphrase;
  bool FReady = false;
  rtl::TStream* FStream;
};

}  // namespace qelvo::codecs
