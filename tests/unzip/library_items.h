#pragma once
// Items of the methods decoded by libraries (bzip2, LZMA, PPMd, WavPack), made at test
// time by Debian's 7-Zip and wavpack, ready to be placed in hand-made archives.
#include <string>

#include "tests/unzip/test_support.h"

namespace qelvo::unzip::test {

inline constexpr uint16_t kMethodBzip2 = 12;
inline constexpr uint16_t kMethodLzma = 14;
inline constexpr uint16_t kMethodWavPack = 97;
inline constexpr uint16_t kMethodPPMd = 98;

// The item 7zz writes for plain under name with the given switches ("-mm=BZip2 ...").
// An empty entry (no name) when 7zz failed.
TZipEntry SevenZipEntry(const TempFolder& tmp, const std::string& name, const std::string& plain,
                        const std::string& switches);

// A WAV file of frames sample frames: integer PCM of 8, 16, 24 or 32 bits, or IEEE float
// (32 bits). The samples sweep a sine with stretches of silence, full-scale peaks on
// both sides included. An odd-sized data chunk is followed by its pad byte; with a
// trailer, a LIST chunk follows the data chunk.
struct TWavFormat {
  int Bits = 16;
  int Channels = 2;
  bool Float = false;
  bool Trailer = false;
};
std::string MakeWav(const TWavFormat& format, int frames);

// A method-97 item holding wav encoded by Debian's wavpack with the given switches; CRC
// and size are those of wav. An empty entry when wavpack failed.
TZipEntry WavPackEntry(const TempFolder& tmp, const std::string& name, const std::string& wav,
                       const std::string& switches = {});

}  // namespace qelvo::unzip::test
