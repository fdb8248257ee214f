#include <gtest/gtest.h>

#include <memory>

#include "tests/support/drive_fixture.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "tests/platform/os_codes.h"

namespace qelvo::platform {
namespace {

using FileStream = qelvo::test::DriveC;

TEST_F(FileStream, CreateWriteReopenAndRead) {
  {
    TFileStream f("C:\\a.bin", fmCreate | fmShareDenyWrite);
    f.WriteString("hello world");
    EXPECT_EQ(f.Size(), 11);
  }
  TFileStream f("C:\\a.bin", fmOpenRead | fmShareDenyNone);
  char buf[32];
  EXPECT_EQ(f.Read(buf, sizeof buf), 11);
  EXPECT_EQ(f.Seek(-5, rtl::soEnd), 6);
  f.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_THROW(f.ReadBuffer(buf, 1), rtl::EReadError);
  EXPECT_EQ(f.Write("x", 1), 0);  // opened for reading only
}

TEST_F(FileStream, CreateTruncatesAnExistingFile) {
  { TFileStream("C:\\t", fmCreate).WriteString("long content"); }
  { TFileStream("C:\\t", fmCreate).WriteString("ab"); }
  EXPECT_EQ(FileSize("C:\\t"), 2);
}

TEST_F(FileStream, PositionsBeyondFourGiB) {
  TFileStream f("C:\\sparse", fmCreate);
  const int64_t far = (int64_t{5} << 30) + 3;
  EXPECT_EQ(f.Seek(far, rtl::soBeginning), far);
  f.WriteString("z");
  EXPECT_EQ(f.Size(), far + 1);
  EXPECT_EQ(f.Seek(-1, rtl::soCurrent), far);
  char c = 0;
  f.ReadBuffer(&c, 1);
  EXPECT_EQ(c, 'z');
}

TEST_F(FileStream, SharingModesBetweenOpens) {
  { TFileStream("C:\\s", fmCreate).WriteString("x"); }
  struct Case {
    uint16_t first, second;
    bool secondOpens;
  } cases[] = {
      {fmOpenRead | fmShareDenyNone, fmOpenReadWrite | fmShareDenyNone, true},
      {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyNone, true},
      {fmOpenRead | fmShareDenyWrite, fmOpenReadWrite | fmShareDenyNone, false},
      {fmOpenReadWrite | fmShareDenyWrite, fmOpenRead | fmShareDenyNone, true},
      // The newcomer may not deny an access the first open already has.
      {fmOpenReadWrite | fmShareDenyNone, fmOpenRead | fmShareDenyWrite, false},
      {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyNone, false},
      {fmOpenRead | fmShareDenyNone, fmOpenRead | fmShareExclusive, false},
      {fmOpenRead | fmShareDenyWrite, fmCreate | fmShareDenyNone, false},
  };
  for (const auto& c : cases) {
    TFileStream first("C:\\s", c.first);
    std::unique_ptr<TFileStream> second;
    try {
      second = std::make_unique<TFileStream>("C:\\s", c.second);
    } catch (const rtl::EStreamError&) {
    }
    EXPECT_EQ(second != nullptr, c.secondOpens) << std::hex << c.first << " then " << c.second;
  }
  // Closing releases the share.
  { TFileStream a("C:\\s", fmOpenRead | fmShareExclusive); }
  EXPECT_NO_THROW(TFileStream("C:\\s", fmOpenReadWrite | fmShareExclusive));
  EXPECT_EQ(FileSize("C:\\s"), 1);  // a refused fmCreate did not truncate
}

TEST_F(FileStream, OpenFailuresRaiseTheirFamilyWithTheName) {
  try {
    TFileStream f("C:\\missing\\x.zip", fmOpenRead);
    FAIL();
  } catch (const rtl::EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file \"C:\\missing\\x.zip\""), std::string::npos) << e.what();
  }
  EXPECT_THROW(TFileStream("C:\\missing\\x.zip", fmCreate), rtl::EFCreateError);
  EXPECT_THROW(TFileStream("D:\\x.zip", fmOpenRead), rtl::EFOpenError);
  ASSERT_TRUE(ForceDirectories("C:\\dir"));
  EXPECT_THROW(TFileStream("C:\\dir", fmOpenRead), rtl::EFOpenError);
}

TEST_F(FileStream, ReadOnlyFileRefusesWriters) {
  { TFileStream("C:\\ro", fmCreate).WriteString("x"); }
  ASSERT_TRUE(FileSetAttr("C:\\ro", faReadOnly));
  EXPECT_THROW(TFileStream("C:\\ro", fmOpenReadWrite), rtl::EFOpenError);
  EXPECT_THROW(TFileStream("C:\\ro", fmCreate), rtl::EFCreateError);
  EXPECT_NO_THROW(TFileStream("C:\\ro", fmOpenRead));
}

// A device that is always full stands in for a full disk (under Wine, Z:\dev\full is the
// Linux one): the write stops short, the stream keeps the system's disk-full code and its
// text is the system's own reason, which the callers show with the path.
TEST(FileStreamFullDisk, WriteStopsShortWithTheDiskFullReason) {
  std::unique_ptr<TFileStream> opened;
  try {
    opened = std::make_unique<TFileStream>("Z:\\dev\\full", fmOpenWrite);
  } catch (const rtl::EFOpenError& e) {
    GTEST_SKIP() << "no /dev/full to stand in for a full disk: " << e.what();
  }
  TFileStream& full = *opened;
  const std::string block(4096, 'x');
  EXPECT_EQ(full.Write(block.data(), static_cast<int64_t>(block.size())), 0);
  EXPECT_EQ(full.LastWriteError(), test::kOsCodes.DiskFull);
  EXPECT_EQ(GetLastOSError(), test::kOsCodes.DiskFull);
  EXPECT_THROW(full.WriteBuffer(block.data(), 1), rtl::EWriteError);
  const std::string reason = SysErrorMessage(full.LastWriteError());
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(reason.find("System error"), std::string::npos) << reason;
}

}  // namespace
}  // namespace qelvo::platform
