#include "archive/errors.h"

#include <gtest/gtest.h>

#include <set>

#include "archive/crc32.h"
#include "rtl/exceptions.h"

namespace qelvo::archive {
namespace {

template <class E>
void ExpectError(const E& e, int32_t code, const char* text, bool zipGroup) {
  EXPECT_EQ(e.ErrorCode, code);
  EXPECT_STREQ(e.what(), text);
  EXPECT_EQ(dynamic_cast<const EArcZipException*>(&e) != nullptr, zipGroup) << text;
}

TEST(ArchiveErrors, ClassesCarryTheirCodeTextAndGroup) {
  ExpectError(EArcZipVersion(), 1, "Cannot extract file - newer version required", true);
  ExpectError(EArcZipInvalidMethod(), 2, "Cannot extract file - unsupported compression method", true);
  ExpectError(EArcZipNoExtraction(), 3, "Cannot extract file - no extraction support provided", true);
  ExpectError(EArcZipInvalidPassword(), 4, "Cannot extract file - invalid password", true);
  ExpectError(EArcZipNoInsertion(), 5, "Cannot insert file - no insertion support provided", true);
  ExpectError(EArcZipInvalidFactor(), 6, "Invalid Reduce Factor", true);
  ExpectError(EArcUserAbort(), 9, "Process aborted by user", false);
  ExpectError(EArcArchiveBusy(), 10, "Archive is busy - cannot process new requests", false);
  ExpectError(EArcZipBadSpanStream(), 11, "Spanned archives must be opened as file streams", true);
  ExpectError(EArcZipSpanOverwrite(), 12, "Cannot update an existing spanned disk set", true);
  ExpectError(EArcNoSuchDirectory(), 15, "Directory does not exist", false);
  ExpectError(EArcBadStream(), 17, "Invalid Stream", false);
  ExpectError(EArcZipBadCRC(), 19, "Failed CRC Check", true);
  ExpectError(EArcFileNotFound(), 21, "File not found", false);
  ExpectError(EArcZipInvalidLFH(), 22, "Invalid Local File Header entry", true);
  ExpectError(EArcNoArchive(), 23, "Archive does not exist - Filename is blank", false);
  ExpectError(EArcZipInvalid(), 24, "Invalid file - not a PKZip file", true);
  ExpectError(EArcReadError(), 25, "Error reading archive", true);
  ExpectError(EArcUnhandledType(), 28, "Unhandled Archive Type", false);
  ExpectError(EArcSpanningNotSupported(), 29, "Spanning not supported by this Archive type", false);
  ExpectError(EArcUnsafePath(), 30, "Item path leaves the base folder", false);
  ExpectError(EArcBadWindowsName(), 31, "Item name is not valid on Windows", false);
  ExpectError(EArcZipOverlappingItems(), 32, "Items overlap: possible zip bomb", true);
  ExpectError(EArcZipDirectoryMismatch(), 33, "Central directory does not match its entry count", true);
  ExpectError(EArcBBSReadTooManyBytes(70000), 40, "BBS: request to read too many bytes [70000]", true);
  ExpectError(EArcBBSSeekOutsideBuffer(), 41, "BBS: New position is outside the buffer", true);
  ExpectError(EArcBBSInvalidOrigin(), 42, "BBS: Invalid Origin value", true);
  ExpectError(EArcNoCabinetDll(), 50, "Cannot load cabinet.dll", false);
  ExpectError(EArcZipCorruptedData("x"), 70, "Corrupted compressed data: x", true);
  ExpectError(EArcVMSInvalidOrigin(7), 101, "VMS: invalid origin 7, should be 0, 1, 2", true);
  ExpectError(EArcVMSErrorOpenSwap("s.tmp"), 102, "VMS: Cannot open swap file s.tmp", true);
  ExpectError(EArcVMSSeekFail("s.tmp"), 103, "VMS: Failed to seek in swap file s.tmp", true);
  ExpectError(EArcVMSReadFail(512, "swap.tmp"), 104, "VMS: Failed to read 512 bytes from swap file swap.tmp", true);
  ExpectError(EArcVMSWriteFail(4096, "swap.tmp"), 105, "VMS: Failed to write 4096 bytes to swap file swap.tmp",
              true);
  ExpectError(EArcGzipBadCRC(), 201, "Bad CRC", false);
  ExpectError(EArcGzipBadFileSize(), 202, "Bad File Size", false);
  ExpectError(EArcGzipInvalid(), 29, "Spanning not supported by this Archive type", false);
  ExpectError(EArcTarInvalid(), 220, "Invalid Tar", false);
  ExpectError(EArcTarBadFileName(), 221, "File name too long", false);
  ExpectError(EArcTarBadLinkName(), 222, "Symbolic link path too long", false);
  ExpectError(EArcTarBadOp(), 223, "Unsupported Operation", false);
  EXPECT_NE(dynamic_cast<const EArcGzipException*>(&static_cast<const EArcException&>(EArcGzipInvalid())), nullptr);
  EXPECT_NE(dynamic_cast<const EArcCabException*>(&static_cast<const EArcException&>(EArcNoCabinetDll())), nullptr);
}

TEST(ArchiveErrors, BadStreamWrapsTheInnerMessage) {
  auto inner = std::make_exception_ptr(Exception("x"));
  EArcBadStream e(inner);
  EXPECT_STREQ(e.what(), "Invalid Stream\r\nx");
  EXPECT_EQ(e.ErrorCode, 17);
  EXPECT_EQ(e.FInnerException, inner);
  EXPECT_EQ(EArcBadStream().FInnerException, nullptr);
}

TEST(ArchiveErrors, CatalogueHoldsEveryCodeOnceInOrder) {
  // The documented 67 pairs plus the base-folder confinement error, corrupted legacy data,
  // names Windows refuses, overlapping items and a directory that disagrees with its count.
  ASSERT_EQ(ArcErrorCatalogueSize(), 72);
  std::set<int32_t> codes;
  for (int i = 0; i < ArcErrorCatalogueSize(); ++i) {
    const int32_t code = ArcErrorCatalogueCode(i);
    if (i > 0) {
      EXPECT_LT(ArcErrorCatalogueCode(i - 1), code);
    }
    EXPECT_STRNE(ArcErrorText(code), "") << code;
    codes.insert(code);
  }
  for (int32_t missing : {0, 34, 39, 44, 65, 79, 85, 99, 107, 203, 224, -1})
    EXPECT_STREQ(ArcErrorText(missing), "") << missing;
  struct {
    int32_t code;
    const char* text;
  } const spot[] = {{7, "Cannot insert file - duplicates stored name"},
                    {14, "Stream write error"},
                    {16, "Cannot inflate block"},
                    {27, "Invalid archive size threshold"},
                    {43, "BBS: request to write too many bytes [%d]"},
                    {64, "Invalid file - not a cabinet file"},
                    {84, "TArcSlidingWindowStream.Seek: invalid new position"},
                    {106, "VMS: request to write too many bytes [%d]"},
                    {200, "Invalid Gzip"}};
  for (const auto& s : spot) EXPECT_STREQ(ArcErrorText(s.code), s.text);
}

TEST(ArchiveErrors, ErrorClassNamesAreTheEnumerators) {
  const struct {
    TArcErrorClass errorClass;
    const char* name;
  } cases[] = {
      {ecArchive, "ecArchive"},
      {ecInOutError, "ecInOutError"},
      {ecFilerError, "ecFilerError"},
      {ecFileCreateError, "ecFileCreateError"},
      {ecFileOpenError, "ecFileOpenError"},
      {ecCabError, "ecCabError"},
      {ecOther, "ecOther"},
  };
  for (const auto& c : cases) EXPECT_STREQ(ErrorClassName(c.errorClass), c.name);
}

TEST(ArchiveErrors, ClassificationTable) {
  struct Case {
    std::exception_ptr error;
    TArcErrorClass cls;
    int32_t code;
  };
  const Case cases[] = {
      {std::make_exception_ptr(EArcZipBadCRC()), ecArchive, 19},
      {std::make_exception_ptr(EArcException("free text")), ecArchive, 0},
      {std::make_exception_ptr(EArcUnsafePath()), ecArchive, 30},
      {std::make_exception_ptr(rtl::EInOutError("disk full", 28)), ecInOutError, 28},
      {std::make_exception_ptr(rtl::EFOpenError("cannot open")), ecFileOpenError, 0},
      {std::make_exception_ptr(rtl::EFCreateError("cannot create")), ecFileCreateError, 0},
      {std::make_exception_ptr(rtl::EReadError()), ecOther, 0},
      {std::make_exception_ptr(Exception("anything")), ecOther, 0},
      {std::make_exception_ptr(EArcAbortProgress()), ecOther, 0},
      {std::make_exception_ptr(std::runtime_error("std")), ecOther, 0},
  };
  for (const auto& c : cases) {
    const TArcClassifiedError r = ClassifyException(c.error);
    EXPECT_EQ(r.ErrorClass, c.cls);
    EXPECT_EQ(r.ErrorCode, c.code);
  }
}

TEST(Crc32, KnownValuesAndChunkingAgree) {
  EXPECT_EQ(Crc32OfBytes("abc"), 0x352441C2u);
  EXPECT_EQ(Crc32OfBytes(""), 0u);
  EXPECT_EQ(Crc32OfBytes("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32OfBytes("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(Crc32Table()[1], 0x77073096u);
  EXPECT_EQ(Crc32Table()[255], 0x2D02EF8Du);
  // Any split into pieces, aligned or not, gives the same result as one pass; the pieces
  // reach every path: bytes, 16-byte folds, 64-byte and 256-byte folding steps.
  std::string data(5000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + 7);
  const uint32_t whole = Crc32OfBytes(data);
  for (size_t piece : {1u, 3u, 7u, 8u, 9u, 64u, 129u, 999u, 1024u, 1100u, 2333u, 4999u}) {
    uint32_t reg = kCrc32Initial;
    for (size_t at = 0; at < data.size(); at += piece)
      Crc32Update(reg, data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(~reg, whole) << piece;
  }
  // Byte-at-a-time with the documented formula.
  uint32_t reg = kCrc32Initial;
  for (unsigned char b : data) reg = Crc32Table()[(reg ^ b) & 0xFF] ^ (reg >> 8);
  EXPECT_EQ(~reg, whole);
}

}  // namespace
}  // namespace qelvo::archive
