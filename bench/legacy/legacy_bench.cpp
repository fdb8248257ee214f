// Shrink and implode extraction, qelvo-unzip against Info-ZIP unzip (which reads both):
// each archive holds the shrunk or imploded items of the corpus over and over under
// new names, about 8 MiB of output, since no tool at hand writes these methods any
// more. Both tools extract into folders of their own, and test the archive (-t), in
// turn within every iteration; the ratios are printed at the end. The times compared are
// the CPU time (user + system) of the tool's process, since on a shared machine the wall
// clock mostly measures the other processes; the wall-clock ratio is printed beside it.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "platform/file_stream.h"
#include "rtl/byte_order.h"
#include "rtl/stream.h"
#include "unzip/item_extraction.h"

namespace fs = std::filesystem;

namespace {

const fs::path kWork = QELVO_BENCH_WORK_DIR;
constexpr int64_t kTargetOutput = 8ll << 20;

int Run(const std::string& command) {
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

fs::path CorpusFolder() { return fs::path(QELVO_SOURCE_DIR) / "tests" / "data" / "corpus"; }

struct TStoredItem {
  uint16_t Method, Flags;
  uint32_t Crc, UncompressedSize;
  std::string Data;
};

// The items of one method in a corpus archive, as stored.
std::vector<TStoredItem> CorpusItems(const fs::path& archiveFile, uint16_t method) {
  std::vector<TStoredItem> items;
  qelvo::rtl::TMemoryStream bytes;
  {
    qelvo::platform::TFileStream file(archiveFile.string(), qelvo::platform::fmOpenRead);
    bytes.LoadFromStream(file);
  }
  qelvo::archive::TArcZipArchive zip(&bytes, archiveFile.string());
  zip.Load();
  for (int i = 0; i < zip.Count(); ++i) {
    qelvo::archive::TArcZipItem& item = *zip.Items(i);
    if (item.CompressionMethod() != method) continue;
    std::unique_ptr<qelvo::rtl::TStream> data = qelvo::unzip::OpenItemDataStream(zip, item);
    TStoredItem stored{method, item.ItemInfo().FGeneralPurposeBitFlag, item.CRC32(),
                       static_cast<uint32_t>(item.UncompressedSize()), {}};
    stored.Data.resize(static_cast<size_t>(item.CompressedSize()));
    data->ReadBuffer(stored.Data.data(), static_cast<int64_t>(stored.Data.size()));
    items.push_back(std::move(stored));
  }
  return items;
}

// A plain archive of the items repeated until kTargetOutput bytes, named 0000.bin on.
std::string RepeatedArchive(const std::vector<TStoredItem>& items) {
  using qelvo::rtl::AppendLe16;
  using qelvo::rtl::AppendLe32;
  std::string zip, central;
  int64_t output = 0;
  int count = 0;
  for (size_t i = 0; output < kTargetOutput; ++i, ++count) {
    const TStoredItem& item = items[i % items.size()];
    char name[16];
    std::snprintf(name, sizeof name, "%04d.bin", count);
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    auto common = [&](std::string& s) {
      AppendLe16(s, 10);  // version needed
      AppendLe16(s, item.Flags);
      AppendLe16(s, item.Method);
      AppendLe32(s, 0x5A216000);  // 2025-01-01 12:00
      AppendLe32(s, item.Crc);
      AppendLe32(s, static_cast<uint32_t>(item.Data.size()));
      AppendLe32(s, item.UncompressedSize);
      AppendLe16(s, static_cast<uint16_t>(std::strlen(name)));
      AppendLe16(s, 0);
    };
    AppendLe32(zip, 0x04034b50);
    common(zip);
    zip += name;
    zip += item.Data;
    AppendLe32(central, 0x02014b50);
    AppendLe16(central, 0x031E);  // made by: Unix
    common(central);
    AppendLe16(central, 0);  // comment
    AppendLe16(central, 0);  // disk
    AppendLe16(central, 0);  // internal attributes
    AppendLe32(central, 0100644u << 16);
    AppendLe32(central, offset);
    central += name;
    output += item.UncompressedSize;
  }
  const uint32_t centralOffset = static_cast<uint32_t>(zip.size());
  zip += central;
  AppendLe32(zip, 0x06054b50);
  AppendLe32(zip, 0);
  AppendLe16(zip, static_cast<uint16_t>(count));
  AppendLe16(zip, static_cast<uint16_t>(count));
  AppendLe32(zip, static_cast<uint32_t>(central.size()));
  AppendLe32(zip, centralOffset);
  AppendLe16(zip, 0);
  return zip;
}

fs::path EnsureArchive(const char* name, const char* corpusFile, uint16_t method) {
  const fs::path archive = kWork / name;
  std::error_code ec;
  if (fs::exists(archive, ec)) return archive;
  fs::create_directories(kWork, ec);
  const std::vector<TStoredItem> items = CorpusItems(CorpusFolder() / corpusFile, method);
  if (items.empty()) return {};
  qelvo::platform::TFileStream out(archive.string(), qelvo::platform::fmCreate);
  out.WriteString(RepeatedArchive(items));
  return archive;
}

struct TTimes {
  double Cpu = 0, Wall = 0;
  TTimes& operator+=(const TTimes& t) {
    Cpu += t.Cpu;
    Wall += t.Wall;
    return *this;
  }
};

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

TTimes Seconds(const std::string& command, int& status) {
  const double cpu0 = ChildrenCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  status = Run(command);
  return {ChildrenCpuSeconds() - cpu0, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count()};
}

// Per benchmark: qelvo-unzip's and unzip's times per iteration.
std::map<std::string, std::pair<TTimes, TTimes>> gResults;

// aTest: -t on both sides; otherwise extraction into an emptied folder.
void Compare(benchmark::State& state, const char* name, const char* corpusFile, uint16_t method, bool aTest) {
  fs::path archive;
  try {
    archive = EnsureArchive(name, corpusFile, method);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  if (archive.empty()) {
    state.SkipWithError("corpus items not found under tests/data/corpus");
    return;
  }
  const fs::path qelvoOut = kWork / "out-qelvo", unzipOut = kWork / "out-unzip";
  const std::string a = Quote(archive.string());
  const std::string qelvoCommand =
      Quote(QELVO_UNZIP_TOOL) + (aTest ? " -q -t " + a : " -q -x " + a + " -d " + Quote(qelvoOut.string()));
  const std::string unzipCommand = aTest ? "unzip -qq -t " + a : "unzip -o -qq " + a + " -d " + Quote(unzipOut.string());
  TTimes qelvo, unzip;
  for (auto _ : state) {
    std::error_code ec;
    fs::remove_all(qelvoOut, ec);
    fs::remove_all(unzipOut, ec);
    int status = 0;
    unzip += Seconds(unzipCommand + " >/dev/null", status);
    if (status != 0) {
      state.SkipWithError(("unzip exited with " + std::to_string(status)).c_str());
      return;
    }
    const TTimes times = Seconds(qelvoCommand, status);
    if (status != 0) {
      state.SkipWithError(("qelvo-unzip exited with " + std::to_string(status)).c_str());
      return;
    }
    qelvo += times;
    state.SetIterationTime(times.Cpu);
  }
  const double n = static_cast<double>(state.iterations());
  gResults[name + std::string(aTest ? " -t" : " extract")] = {{qelvo.Cpu / n, qelvo.Wall / n}, {unzip.Cpu / n, unzip.Wall / n}};
  state.counters["unzip_cpu_ms"] = unzip.Cpu / n * 1000;
  state.counters["ratio"] = qelvo.Cpu / unzip.Cpu;
  state.SetBytesProcessed(kTargetOutput * state.iterations());
}

void BM_ShrinkExtract(benchmark::State& s) { Compare(s, "shrink.zip", "Zip.shrink.zip", 1, false); }
void BM_ShrinkTest(benchmark::State& s) { Compare(s, "shrink.zip", "Zip.shrink.zip", 1, true); }
void BM_ImplodeExtract(benchmark::State& s) { Compare(s, "implode.zip", "Zip.implode.zip", 6, false); }
void BM_ImplodeTest(benchmark::State& s) { Compare(s, "implode.zip", "Zip.implode.zip", 6, true); }

BENCHMARK(BM_ShrinkExtract)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_ShrinkTest)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_ImplodeExtract)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_ImplodeTest)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto& [name, times] : gResults) {
    const auto& [qelvo, unzip] = times;
    std::printf("%-20s CPU: qelvo-unzip %6.1f ms, unzip %6.1f ms, ratio %.2f; wall: %6.1f ms vs %6.1f ms, ratio %.2f\n",
                name.c_str(), qelvo.Cpu * 1000, unzip.Cpu * 1000, qelvo.Cpu / unzip.Cpu, qelvo.Wall * 1000,
                unzip.Wall * 1000, qelvo.Wall / unzip.Wall);
  }
  return 0;
}
