// Inflate throughput against zlib's inflate and libdeflate on the same streams, on a
// corpus gathered at run time from files on this machine: text (headers, documents),
// binaries (programs) and already-compressed data (gzip files). Each kind is deflated
// once with zlib level 6; every decoder then turns the same raw Deflate stream back into
// the same bytes. Our decoder always computes the CRC-32 of its output, which the peers'
// raw decoders do not, so the peers are also measured followed by their own CRC-32. As the
// peers work on plain buffers, ours reads a memory stream where it lies and writes into
// memory its destination stream reserved.
// After the runs a table prints MB/s per decoder and our ratio to each peer.
//
// A fourth kind of stream, Deflate64, is made by 7-Zip (7zz a -tzip -mm=Deflate64) from
// the "all" data; no peer reads it, so its row compares our speed per produced byte with
// our own speed on the Deflate stream of the same data.
//
// Build and run (Release, no sanitizers):
//   cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DQELVO_BUILD_BENCH=ON
//     -DQELVO_BUILD_TESTS=OFF -DQELVO_WITH_GUI=OFF
//   cmake --build build/rel --target inflate_bench && build/rel/bench/inflate/inflate_bench
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "codecs/inflate.h"
#include "rtl/byte_order.h"
#include "rtl/stream.h"
#include "rtl/view_streams.h"

namespace {

namespace fs = std::filesystem;
using qelvo::codecs::Inflate;
using qelvo::rtl::TMemoryStream;
using qelvo::rtl::TReadOnlyMemoryStream;

struct Corpus {
  std::string Name;
  std::string Plain;
  std::string Packed;
  bool Deflate64 = false;
};

bool HasSuffix(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Files under the roots whose name passes aWanted, in a fixed order, up to aBudget bytes.
std::string Gather(const std::vector<std::string>& aRoots, bool (*aWanted)(const fs::path&), size_t aBudget) {
  std::vector<fs::path> files;
  for (const std::string& root : aRoots) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         it != end; it.increment(ec)) {
      if (ec) break;
      std::error_code sec;
      if (it->is_regular_file(sec) && !it->is_symlink(sec) && aWanted(it->path())) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  std::string out;
  for (const fs::path& f : files) {
    if (out.size() >= aBudget) break;
    std::ifstream in(f, std::ios::binary);
    out.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (out.size() > aBudget) out.resize(aBudget);
  return out;
}

bool IsText(const fs::path& p) {
  const std::string n = p.string();
  return HasSuffix(n, ".h") || HasSuffix(n, ".txt") || HasSuffix(n, ".html") || HasSuffix(n, "copyright");
}
bool IsBinary(const fs::path& p) { return p.parent_path() == "/usr/bin" || HasSuffix(p.string(), ".so"); }
bool IsCompressed(const fs::path& p) {
  const std::string n = p.string();
  return HasSuffix(n, ".gz") || HasSuffix(n, ".xz") || HasSuffix(n, ".png") || HasSuffix(n, ".jpg");
}

std::string DeflateRaw(const std::string& aData) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, aData.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(aData.data()));
  z.avail_in = static_cast<uInt>(aData.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The raw Deflate64 stream of aData: 7-Zip writes a one-item ZIP and the item's data is
// cut out of it. Empty when 7zz is missing or the archive is not as expected.
std::string Deflate64Raw(const std::string& aData) {
  const fs::path dir = fs::temp_directory_path() / ("qelvo-inflate-bench-" + std::to_string(::getpid()));
  std::error_code ec;
  fs::create_directories(dir, ec);
  const fs::path plain = dir / "all.bin";
  const fs::path zip = dir / "all.zip";
  std::ofstream(plain, std::ios::binary).write(aData.data(), static_cast<std::streamsize>(aData.size()));
  const std::string command = "7zz a -bd -bso0 -tzip -mm=Deflate64 -mmt=1 '" + zip.string() + "' '" + plain.string() + "'";
  std::string packed;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(zip, std::ios::binary);
    const std::string archive{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto* p = reinterpret_cast<const uint8_t*>(archive.data());
    // Local header: method at 8, compressed size at 18, name and extra lengths at 26, 28.
    if (archive.size() >= 30 && qelvo::rtl::GetLe32(p) == 0x04034B50 && qelvo::rtl::GetLe16(p + 8) == 9) {
      const size_t start = 30u + qelvo::rtl::GetLe16(p + 26) + qelvo::rtl::GetLe16(p + 28);
      const size_t size = qelvo::rtl::GetLe32(p + 18);
      if (start + size <= archive.size()) packed = archive.substr(start, size);
    }
  }
  fs::remove_all(dir, ec);
  return packed;
}

std::vector<Corpus>& Corpora() {
  static std::vector<Corpus> corpora = [] {
    std::vector<Corpus> c;
    c.push_back({"text", Gather({"/usr/include", "/usr/share/doc"}, IsText, 24u << 20), ""});
    c.push_back({"binaries", Gather({"/usr/bin", "/usr/lib/x86_64-linux-gnu"}, IsBinary, 24u << 20), ""});
    c.push_back({"compressed", Gather({"/usr/share/doc", "/usr/share/man", "/usr/share"}, IsCompressed, 12u << 20), ""});
    std::string all;
    for (const Corpus& k : c) all += k.Plain;
    c.push_back({"all", all, ""});
    for (Corpus& k : c) k.Packed = DeflateRaw(k.Plain);
    Corpus d64{"deflate64", all, Deflate64Raw(all), true};
    if (!d64.Packed.empty()) c.push_back(std::move(d64));
    return c;
  }();
  return corpora;
}

enum Decoder { kQelvo, kZlib, kZlibCrc, kLibdeflate, kLibdeflateCrc };
const char* const kDecoderNames[] = {"qelvo Inflate (+CRC-32)", "zlib inflate", "zlib inflate + crc32",
                                     "libdeflate", "libdeflate + crc32"};

uint32_t ZlibInflate(const Corpus& c, std::string& out) {
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(c.Packed.data()));
  z.avail_in = static_cast<uInt>(c.Packed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (inflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  inflateEnd(&z);
  return static_cast<uint32_t>(z.total_out);
}

void BM_Inflate(benchmark::State& state) {
  const Corpus& c = Corpora()[static_cast<size_t>(state.range(0))];
  const auto decoder = static_cast<Decoder>(state.range(1));
  std::string out(c.Plain.size() + 64, '\0');
  // Ours writes into memory reserved ahead, as the peers write into `out`, and as with
  // `out` its pages are touched before the clock starts.
  TMemoryStream sink;
  sink.SetSize(static_cast<int64_t>(out.size()));
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    uint32_t check = 0;
    switch (decoder) {
      case kQelvo: {
        TReadOnlyMemoryStream source(c.Packed);
        sink.SetSize(0);
        qelvo::codecs::TArcDeflateHelper helper;
        if (c.Deflate64) helper.Options |= qelvo::codecs::ofDeflate64;
        check = Inflate(&source, &sink, &helper);
        break;
      }
      case kZlib:
      case kZlibCrc:
        ZlibInflate(c, out);
        if (decoder == kZlibCrc) check = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(out.data()),
                                                                     static_cast<uInt>(c.Plain.size())));
        break;
      case kLibdeflate:
      case kLibdeflateCrc: {
        size_t n = 0;
        if (libdeflate_deflate_decompress(ld, c.Packed.data(), c.Packed.size(), out.data(), out.size(), &n) !=
            LIBDEFLATE_SUCCESS)
          std::abort();
        if (decoder == kLibdeflateCrc) check = libdeflate_crc32(0, out.data(), n);
        break;
      }
    }
    benchmark::DoNotOptimize(check);
    benchmark::ClobberMemory();
  }
  libdeflate_free_decompressor(ld);
  const bool right = decoder == kQelvo ? sink.DataString() == c.Plain
                                       : std::memcmp(out.data(), c.Plain.data(), c.Plain.size()) == 0;
  if (!right) state.SkipWithError("wrong output");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(c.Plain.size()));
  state.SetLabel(c.Name + " / " + kDecoderNames[decoder]);
}

// Keeps every run's throughput for the closing table.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& aRuns) override {
    ConsoleReporter::ReportRuns(aRuns);
    for (const Run& r : aRuns) {
      const auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) Speeds[r.report_label] = it->second.value / 1e6;
    }
  }
  std::map<std::string, double> Speeds;
};

}  // namespace

int main(int argc, char** argv) {
  for (size_t i = 0; i < Corpora().size(); ++i)
    for (int d = kQelvo; d <= (Corpora()[i].Deflate64 ? kQelvo : kLibdeflateCrc); ++d)
      benchmark::RegisterBenchmark("Inflate", BM_Inflate)->Args({static_cast<int64_t>(i), d})->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%-11s %9s %9s %7s  MB/s: %-8s %-8s %-8s %-8s %-8s  ours vs: %-6s %-8s %-10s %-12s\n", "corpus",
              "MiB", "packed", "ratio", "qelvo", "zlib", "zlib+crc", "libdefl", "ld+crc", "zlib", "zlib+crc",
              "libdeflate", "libdefl+crc");
  for (const Corpus& c : Corpora()) {
    if (c.Deflate64) continue;
    double s[5];
    for (int d = 0; d < 5; ++d) s[d] = reporter.Speeds[c.Name + " / " + kDecoderNames[d]];
    std::printf("%-11s %9.1f %9.1f %6.1f%%        %-8.0f %-8.0f %-8.0f %-8.0f %-8.0f           %-6.2f %-8.2f %-10.2f %-12.2f\n",
                c.Name.c_str(), c.Plain.size() / 1048576.0, c.Packed.size() / 1048576.0,
                100.0 * c.Packed.size() / std::max<size_t>(1, c.Plain.size()), s[0], s[1], s[2], s[3], s[4],
                s[0] / s[1], s[0] / s[2], s[0] / s[3], s[0] / s[4]);
  }
  for (const Corpus& c : Corpora()) {
    if (!c.Deflate64) continue;
    const double d64 = reporter.Speeds[c.Name + " / " + kDecoderNames[kQelvo]];
    const double deflate = reporter.Speeds[std::string("all / ") + kDecoderNames[kQelvo]];
    std::printf("%-11s %9.1f %9.1f %6.1f%%        %-8.0f  (7-Zip Deflate64; ours on the Deflate stream of the same data: %.0f MB/s, "
                "Deflate64 vs Deflate per byte: %.2f)\n",
                c.Name.c_str(), c.Plain.size() / 1048576.0, c.Packed.size() / 1048576.0,
                100.0 * c.Packed.size() / std::max<size_t>(1, c.Plain.size()), d64, deflate, d64 / deflate);
  }
  if (Corpora().back().Name != "deflate64") std::printf("deflate64: not measured (7zz missing?)\n");
  return 0;
}
