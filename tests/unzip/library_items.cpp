#include "tests/unzip/library_items.h"

#include <cmath>
#include <cstring>

#include "tests/codecs/codec_test_support.h"
#include "rtl/byte_order.h"

namespace qelvo::unzip::test {

TZipEntry SevenZipEntry(const TempFolder& tmp, const std::string& name, const std::string& plain,
                        const std::string& switches) {
  const fs::path src = tmp / "7z-src";
  const fs::path zip = tmp / "7z-item.zip";
  fs::remove_all(src);
  fs::remove(zip);
  WriteFile(src / name, plain);
  if (ShellStatus("7zz a -bd -bso0 -bse0 -tzip " + switches + " " + ShellQuote(zip.string()) + " " + ShellQuote(name),
                  src.string()) != 0)
    return {};
  for (const qelvo::test::TListedEntry& e : qelvo::test::ReadZipEntries(ReadFile(zip))) {
    if (e.Name != name) continue;
    TZipEntry entry;
    entry.Name = name;
    entry.Data = e.Data;
    entry.Method = e.Method;
    entry.Flags = e.Flags;
    entry.Crc = e.Crc32;
    entry.CompressedSize = static_cast<uint32_t>(e.CompressedSize);
    entry.UncompressedSize = static_cast<uint32_t>(e.UncompressedSize);
    return entry;
  }
  return {};
}

std::string MakeWav(const TWavFormat& format, int frames) {
  const int bytes = format.Bits / 8;
  const double peak = format.Float ? 1.0 : std::ldexp(1.0, format.Bits - 1) - 1;
  std::string data;
  for (int i = 0; i < frames; ++i) {
    for (int c = 0; c < format.Channels; ++c) {
      double v = std::sin(i * (0.01 + 0.003 * c)) * peak;
      if (i % 1000 < 100) v = 0;              // silence: 8-bit samples are stored as 128
      if (i % 1000 == 500) v = peak;          // full scale, both sides
      if (i % 1000 == 501) v = -peak - (format.Float ? 0 : 1);
      if (format.Float) {
        const float f = static_cast<float>(v);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        rtl::AppendLe32(data, bits);
      } else {
        const auto s = static_cast<int64_t>(std::llround(v));
        const auto u = static_cast<uint32_t>(format.Bits == 8 ? s + 128 : s);
        for (int b = 0; b < bytes; ++b) data += static_cast<char>(u >> (8 * b));
      }
    }
  }

  std::string body = "WAVEfmt ";
  rtl::AppendLe32(body, 16);
  rtl::AppendLe16(body, format.Float ? 3 : 1);
  rtl::AppendLe16(body, static_cast<uint16_t>(format.Channels));
  rtl::AppendLe32(body, 44100);
  rtl::AppendLe32(body, 44100u * format.Channels * bytes);
  rtl::AppendLe16(body, static_cast<uint16_t>(format.Channels * bytes));
  rtl::AppendLe16(body, static_cast<uint16_t>(format.Bits));
  body += "data";
  rtl::AppendLe32(body, static_cast<uint32_t>(data.size()));
  body += data;
  if (data.size() % 2 != 0) body += '\0';  // chunks are padded to even sizes, the pad not counted
  if (format.Trailer) {
    const std::string info = std::string("INFOISFT\x06\0\0\0qelvo\0", 18);
    body += "LIST";
    rtl::AppendLe32(body, static_cast<uint32_t>(info.size()));
    body += info;
  }
  std::string wav = "RIFF";
  rtl::AppendLe32(wav, static_cast<uint32_t>(body.size()));
  return wav + body;
}

TZipEntry WavPackEntry(const TempFolder& tmp, const std::string& name, const std::string& wav,
                       const std::string& switches) {
  const fs::path in = tmp / "wavpack-in.wav";
  const fs::path out = tmp / "wavpack-out.wv";
  WriteFile(in, wav);
  fs::remove(out);
  if (!RunQuiet("wavpack -q -y " + switches + " " + ShellQuote(in.string()) + " -o " + ShellQuote(out.string())))
    return {};
  TZipEntry entry;
  entry.Name = name;
  entry.Data = ReadFile(out);
  entry.Method = kMethodWavPack;
  entry.Crc = Crc32(wav);
  entry.CompressedSize = static_cast<uint32_t>(entry.Data.size());
  entry.UncompressedSize = static_cast<uint32_t>(wav.size());
  return entry;
}

}  // namespace qelvo::unzip::test
