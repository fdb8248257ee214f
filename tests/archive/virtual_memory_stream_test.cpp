// The paged memory stream against a plain memory stream: random reads, writes, seeks and
// size changes under small memory limits compared byte for byte (a fixed seed), the
// failures of the swap file, and that the swap file goes on every path.
#include "archive/virtual_memory_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "archive/errors.h"
#include "platform/path_map.h"
#include "rtl/exceptions.h"
#include "rtl/file_path.h"
#include "test_support.h"
#include "tests/support/environment.h"

namespace qelvo::archive {
namespace {

namespace fs = std::filesystem;
using qelvo::test::TempFolder;
constexpr int64_t kPage = TArcVirtualMemoryStream::kPageSize;

size_t FilesIn(const TempFolder& t) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(t.Native()), fs::directory_iterator()));
}

std::string ReadAllOf(rtl::TStream& s) {
  s.Seek(0, rtl::soBeginning);
  std::string out(static_cast<size_t>(s.Size()), '\0');
  if (!out.empty()) s.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  return out;
}

TEST(VirtualMemoryStream, BehavesAsAMemoryStreamUnderSmallMemoryLimits) {
  for (uint32_t limit : {0u, 4096u, 5000u, 3u * 4096u, 64u * 1024u}) {
    SCOPED_TRACE(limit);
    TempFolder swap{"vms"};
    std::mt19937 gen(20261210 + limit);
    auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(gen); };
    rtl::TMemoryStream model;
    bool swapped = false;
    {
      TArcVirtualMemoryStream vms;
      vms.SetSwapFileDirectory(swap.Windows());
      vms.SetMaxMemToUse(limit);
      const int64_t maxPages = limit == 0 ? 1 : (limit + kPage - 1) / kPage;
      EXPECT_EQ(vms.MaxMemToUse(), static_cast<uint32_t>(maxPages * kPage));
      std::string buf;
      for (int step = 0; step < 3000; ++step) {
        const int op = static_cast<int>(pick(0, 99));
        if (op < 35) {  // write at the current position, often across pages
          buf.resize(static_cast<size_t>(pick(0, 3 * kPage)));
          for (char& c : buf) c = static_cast<char>(gen());
          ASSERT_EQ(vms.Write(buf.data(), static_cast<int64_t>(buf.size())),
                    model.Write(buf.data(), static_cast<int64_t>(buf.size())));
        } else if (op < 70) {  // read, also beyond the end
          const int64_t n = pick(0, 3 * kPage);
          std::string a(static_cast<size_t>(n), 'x'), b(static_cast<size_t>(n), 'x');
          const int64_t got = vms.Read(a.data(), n);
          ASSERT_EQ(got, model.Read(b.data(), n)) << "step " << step;
          ASSERT_TRUE(a == b) << "step " << step;
        } else if (op < 88) {  // seek from each origin, sometimes past the end
          const auto origin = static_cast<rtl::TSeekOrigin>(pick(0, 2));
          const int64_t base = origin == rtl::soBeginning ? 0
                               : origin == rtl::soCurrent ? model.Position()
                                                          : model.Size();
          const int64_t offset = pick(-base, 40000);
          ASSERT_EQ(vms.Seek(offset, origin), model.Seek(offset, origin));
        } else if (op < 97) {  // grow or shrink
          const int64_t size = pick(0, 1) ? pick(0, model.Size()) : pick(0, 120000);
          vms.SetSize(size);
          model.SetSize(size);
        } else {
          vms.SetSize(0);
          model.SetSize(0);
        }
        ASSERT_EQ(vms.Size(), model.Size());
        ASSERT_EQ(vms.Position(), model.Position());
        ASSERT_LE(vms.PagesInMemory(), maxPages);
        swapped = swapped || !vms.SwapFileName().empty();
      }
      const int64_t pos = model.Position();
      ASSERT_TRUE(ReadAllOf(vms) == ReadAllOf(model));
      vms.Seek(pos, rtl::soBeginning);
      if (swapped) {
        EXPECT_EQ(FilesIn(swap), 1u);
      }
    }
    // Small limits must have swapped; the swap file is gone with the stream.
    if (limit < 64 * 1024) {
      EXPECT_TRUE(swapped);
    }
    EXPECT_EQ(FilesIn(swap), 0u);
  }
}

TEST(VirtualMemoryStream, LoweringTheLimitSwapsPagesOutAndKeepsTheirBytes) {
  TempFolder swap{"vms"};
  TArcVirtualMemoryStream vms;
  vms.SetSwapFileDirectory(swap.Windows());
  std::string data(10 * kPage + 123, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  vms.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  EXPECT_EQ(vms.PagesInMemory(), 11);
  EXPECT_EQ(vms.SwapFileName(), "");
  vms.SetMaxMemToUse(0);
  EXPECT_EQ(vms.PagesInMemory(), 1);
  EXPECT_EQ(vms.MaxMemToUse(), 4096u);
  EXPECT_EQ(rtl::ExtractFileName(vms.SwapFileName()).substr(0, 3), "VMS");
  EXPECT_TRUE(ReadAllOf(vms) == data);
  vms.SetMaxMemToUse(0xFFFFFFFF);
  EXPECT_EQ(vms.MaxMemToUse(), 2048u * 4096u);
  try {
    vms.Seek(0, static_cast<rtl::TSeekOrigin>(3));
    ADD_FAILURE();
  } catch (const EArcVMSInvalidOrigin& e) {
    EXPECT_STREQ(e.what(), "VMS: invalid origin 3, should be 0, 1, 2");
  }
  EXPECT_THROW(vms.Seek(-1, rtl::soBeginning), rtl::EStreamError);
}

// A swap file whose operations can be made to fail.
struct TSwapFaults {
  bool FailWrite = false, FailRead = false, FailSeek = false, FailOpen = false;
};

class TFaultySwap : public rtl::TStream {
 public:
  TFaultySwap(std::unique_ptr<rtl::TStream> file, const TSwapFaults& faults)
      : file_(std::move(file)), faults_(faults) {}
  int64_t Read(void* b, int64_t n) override { return faults_.FailRead ? file_->Read(b, n / 2) : file_->Read(b, n); }
  int64_t Write(const void* b, int64_t n) override { return faults_.FailWrite ? 0 : file_->Write(b, n); }
  int64_t Seek(int64_t o, rtl::TSeekOrigin origin) override {
    if (faults_.FailSeek) throw rtl::EStreamError("seek failed");
    return file_->Seek(o, origin);
  }
  void SetSize(int64_t n) override { file_->SetSize(n); }

 private:
  std::unique_ptr<rtl::TStream> file_;
  const TSwapFaults& faults_;
};

class TFaultyVms : public TArcVirtualMemoryStream {
 public:
  TSwapFaults Faults;

 protected:
  std::unique_ptr<rtl::TStream> CreateSwapStream(const std::string& fileName) override {
    if (Faults.FailOpen) throw rtl::EFCreateError("Cannot create file");
    return std::make_unique<TFaultySwap>(TArcVirtualMemoryStream::CreateSwapStream(fileName), Faults);
  }
};

TEST(VirtualMemoryStream, SwapFailuresFailTheOperationAndLoseNoPage) {
  TempFolder swap{"vms"};
  {
    TFaultyVms vms;
    vms.SetSwapFileDirectory(swap.Windows());
    vms.SetMaxMemToUse(0);
    const std::string a(kPage, 'a'), b(kPage, 'b');
    vms.WriteBuffer(a.data(), kPage);
    // Page 1 needs page 0's place, and page 0 cannot be written out.
    vms.Faults.FailWrite = true;
    try {
      vms.WriteBuffer(b.data(), kPage);
      ADD_FAILURE();
    } catch (const EArcVMSWriteFail& e) {
      EXPECT_EQ(e.ErrorCode, kArcVMSWriteFail);
      EXPECT_EQ(std::string(e.what()), "VMS: Failed to write 4096 bytes to swap file " + vms.SwapFileName());
    }
    EXPECT_EQ(vms.Size(), kPage);
    vms.Faults.FailWrite = false;
    EXPECT_TRUE(ReadAllOf(vms) == a);
    vms.WriteBuffer(b.data(), kPage);  // page 0 goes to the swap file now

    // Page 0 cannot be loaded back: the read fails, nothing wrong is delivered.
    vms.Faults.FailRead = true;
    vms.Seek(0, rtl::soBeginning);
    char got[16];
    EXPECT_THROW(vms.Read(got, sizeof got), EArcVMSReadFail);
    EXPECT_EQ(vms.Position(), 0);
    vms.Faults.FailRead = false;
    vms.Faults.FailSeek = true;
    EXPECT_THROW(vms.Read(got, sizeof got), EArcVMSSeekFail);
    vms.Faults.FailSeek = false;
    EXPECT_TRUE(ReadAllOf(vms) == a + b);
    EXPECT_EQ(FilesIn(swap), 1u);
  }
  EXPECT_EQ(FilesIn(swap), 0u);

  // A swap file that cannot be opened is deleted again.
  {
    TFaultyVms vms;
    vms.SetSwapFileDirectory(swap.Windows());
    vms.SetMaxMemToUse(0);
    vms.Faults.FailOpen = true;
    const std::string a(2 * kPage, 'a');
    try {
      vms.WriteBuffer(a.data(), 2 * kPage);
      ADD_FAILURE();
    } catch (const EArcVMSErrorOpenSwap& e) {
      EXPECT_NE(std::string(e.what()).find("VMS: Cannot open swap file "), std::string::npos);
    }
    EXPECT_EQ(FilesIn(swap), 0u);
  }
}

TEST(VirtualMemoryStream, SwapFileFallsBackToTheTemporaryFolder) {
  TempFolder temp{"vmstmp"};
  qelvo::test::ScopedEnvironment tmp(qelvo::test::kTempFolderVariable, temp.Native());
  {
    TArcVirtualMemoryStream vms;
    vms.SetSwapFileDirectory("Z:\\no\\such\\folder");
    vms.SetMaxMemToUse(0);
    const std::string a(3 * kPage, 'z');
    vms.WriteBuffer(a.data(), 3 * kPage);
    EXPECT_EQ(FilesIn(temp), 1u);
  }
  EXPECT_EQ(FilesIn(temp), 0u);
  // No usable folder at all: the swap file cannot be made.
  tmp.Set(temp.Native() + "/missing");
  {
    TArcVirtualMemoryStream vms;
    vms.SetMaxMemToUse(0);
    const std::string a(3 * kPage, 'z');
    EXPECT_THROW(vms.WriteBuffer(a.data(), 3 * kPage), EArcVMSErrorOpenSwap);
  }
}

}  // namespace
}  // namespace qelvo::archive
