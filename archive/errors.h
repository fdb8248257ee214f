#pragma once
// The archive error family. Every member carries a numeric code that identifies the
// failure independently of its English text; multi-item operations turn any exception
// raised for one item into an (error class, code) pair through ClassifyException.
#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "rtl/exceptions.h"

namespace qelvo::archive {

class EArcException : public rtl::Exception {
 public:
  EArcException(std::string message, int32_t code = 0) : rtl::Exception(std::move(message)), ErrorCode(code) {}
  int32_t ErrorCode;
};

// Area groups; never raised by themselves.
class EArcZipException : public EArcException {
 public:
  using EArcException::EArcException;
};
class EArcGzipException : public EArcException {
 public:
  using EArcException::EArcException;
};
class EArcTarException : public EArcException {
 public:
  using EArcException::EArcException;
};
class EArcCabException : public EArcException {
 public:
  using EArcException::EArcException;
};

// The numeric codes of the catalogue that have a class or are reported on their own.
enum TArcErrorCode : int32_t {
  kArcZipVersion = 1,
  kArcZipInvalidMethod = 2,
  kArcZipNoExtraction = 3,
  kArcZipInvalidPassword = 4,
  kArcZipNoInsertion = 5,
  kArcZipInvalidFactor = 6,
  kArcDuplicateName = 7,
  kArcUserAbort = 9,
  kArcArchiveBusy = 10,
  kArcZipBadSpanStream = 11,
  kArcZipSpanOverwrite = 12,
  kArcNoSuchDirectory = 15,
  kArcBadStream = 17,
  kArcZipBadCRC = 19,
  kArcFileNotFound = 21,
  kArcZipInvalidLFH = 22,
  kArcNoArchive = 23,
  kArcZipInvalid = 24,
  kArcReadError = 25,
  kArcUnhandledType = 28,
  kArcSpanningNotSupported = 29,
  kArcUnsafePath = 30,
  kArcBadWindowsName = 31,
  kArcZipOverlappingItems = 32,
  kArcZipDirectoryMismatch = 33,
  kArcBBSReadTooManyBytes = 40,
  kArcBBSSeekOutsideBuffer = 41,
  kArcBBSInvalidOrigin = 42,
  kArcNoCabinetDll = 50,
  kArcZipCorruptedData = 70,
  kArcVMSInvalidOrigin = 101,
  kArcVMSErrorOpenSwap = 102,
  kArcVMSSeekFail = 103,
  kArcVMSReadFail = 104,
  kArcVMSWriteFail = 105,
  kArcGzipBadCRC = 201,
  kArcGzipBadFileSize = 202,
  kArcTarInvalid = 220,
  kArcTarBadFileName = 221,
  kArcTarBadLinkName = 222,
  kArcTarBadOp = 223,
};

// The text kept for a code; "" for a code the catalogue does not hold.
const char* ArcErrorText(int32_t code);
// Number of code/text pairs in the catalogue.
int ArcErrorCatalogueSize();
// The n-th code of the catalogue, in ascending order (n from 0).
int32_t ArcErrorCatalogueCode(int n);

// Replaces the first "%d" / "%s" of a catalogue text.
std::string FormatArcText(std::string text, int64_t number);
std::string FormatArcText(std::string text, const std::string& name);
std::string FormatArcText(std::string text, int64_t number, const std::string& name);

#define QELVO_ARC_ERROR(Name, Base, Code)                                    \
  class Name : public Base {                                                 \
   public:                                                                   \
    Name() : Base(ArcErrorText(Code), Code) {}                               \
  };

QELVO_ARC_ERROR(EArcZipVersion, EArcZipException, kArcZipVersion)
QELVO_ARC_ERROR(EArcZipInvalidMethod, EArcZipException, kArcZipInvalidMethod)
QELVO_ARC_ERROR(EArcZipNoExtraction, EArcZipException, kArcZipNoExtraction)
QELVO_ARC_ERROR(EArcZipInvalidPassword, EArcZipException, kArcZipInvalidPassword)
QELVO_ARC_ERROR(EArcZipNoInsertion, EArcZipException, kArcZipNoInsertion)
QELVO_ARC_ERROR(EArcZipInvalidFactor, EArcZipException, kArcZipInvalidFactor)
QELVO_ARC_ERROR(EArcUserAbort, EArcException, kArcUserAbort)
QELVO_ARC_ERROR(EArcArchiveBusy, EArcException, kArcArchiveBusy)
QELVO_ARC_ERROR(EArcZipBadSpanStream, EArcZipException, kArcZipBadSpanStream)
QELVO_ARC_ERROR(EArcZipSpanOverwrite, EArcZipException, kArcZipSpanOverwrite)
QELVO_ARC_ERROR(EArcNoSuchDirectory, EArcException, kArcNoSuchDirectory)
QELVO_ARC_ERROR(EArcZipBadCRC, EArcZipException, kArcZipBadCRC)
QELVO_ARC_ERROR(EArcFileNotFound, EArcException, kArcFileNotFound)
QELVO_ARC_ERROR(EArcZipInvalidLFH, EArcZipException, kArcZipInvalidLFH)
QELVO_ARC_ERROR(EArcNoArchive, EArcException, kArcNoArchive)
QELVO_ARC_ERROR(EArcZipInvalid, EArcZipException, kArcZipInvalid)
QELVO_ARC_ERROR(EArcReadError, EArcZipException, kArcReadError)
QELVO_ARC_ERROR(EArcUnhandledType, EArcException, kArcUnhandledType)
QELVO_ARC_ERROR(EArcSpanningNotSupported, EArcException, kArcSpanningNotSupported)
QELVO_ARC_ERROR(EArcBBSSeekOutsideBuffer, EArcZipException, kArcBBSSeekOutsideBuffer)
QELVO_ARC_ERROR(EArcBBSInvalidOrigin, EArcZipException, kArcBBSInvalidOrigin)
QELVO_ARC_ERROR(EArcNoCabinetDll, EArcCabException, kArcNoCabinetDll)
QELVO_ARC_ERROR(EArcGzipBadCRC, EArcGzipException, kArcGzipBadCRC)
QELVO_ARC_ERROR(EArcGzipBadFileSize, EArcGzipException, kArcGzipBadFileSize)
// Shares code and text with EArcSpanningNotSupported.
QELVO_ARC_ERROR(EArcGzipInvalid, EArcGzipException, kArcSpanningNotSupported)
QELVO_ARC_ERROR(EArcTarInvalid, EArcTarException, kArcTarInvalid)
QELVO_ARC_ERROR(EArcTarBadFileName, EArcTarException, kArcTarBadFileName)
QELVO_ARC_ERROR(EArcTarBadLinkName, EArcTarException, kArcTarBadLinkName)
QELVO_ARC_ERROR(EArcTarBadOp, EArcTarException, kArcTarBadOp)
// A stored name that would be written outside the base folder (absolute, or climbing
// out with "..").
QELVO_ARC_ERROR(EArcUnsafePath, EArcException, kArcUnsafePath)
// A stored name Windows could not create (reserved characters, device names, a trailing
// dot or space), refused on every platform so that an archive extracts alike everywhere.
QELVO_ARC_ERROR(EArcBadWindowsName, EArcException, kArcBadWindowsName)
// Two items whose local data share bytes: one block expanded many times over.
QELVO_ARC_ERROR(EArcZipOverlappingItems, EArcZipException, kArcZipOverlappingItems)
// The central directory holds more or fewer records than its end record counts.
QELVO_ARC_ERROR(EArcZipDirectoryMismatch, EArcZipException, kArcZipDirectoryMismatch)

#undef QELVO_ARC_ERROR

class EArcBadStream : public EArcException {
 public:
  EArcBadStream() : EArcException(ArcErrorText(kArcBadStream), kArcBadStream) {}
  // Wraps a failure raised while the stream was examined.
  explicit EArcBadStream(std::exception_ptr inner);
  std::exception_ptr FInnerException;  // null by default
};

// Compressed data that a decoder's fixed tables cannot hold (a legacy method's code too
// wide, a chain too long, a table description too large); the cause names which.
class EArcZipCorruptedData : public EArcZipException {
 public:
  explicit EArcZipCorruptedData(const std::string& cause)
      : EArcZipException(FormatArcText(ArcErrorText(kArcZipCorruptedData), cause), kArcZipCorruptedData) {}
};

class EArcBBSReadTooManyBytes : public EArcZipException {
 public:
  explicit EArcBBSReadTooManyBytes(int64_t count)
      : EArcZipException(FormatArcText(ArcErrorText(kArcBBSReadTooManyBytes), count), kArcBBSReadTooManyBytes) {}
};
class EArcVMSInvalidOrigin : public EArcZipException {
 public:
  explicit EArcVMSInvalidOrigin(int64_t origin)
      : EArcZipException(FormatArcText(ArcErrorText(kArcVMSInvalidOrigin), origin), kArcVMSInvalidOrigin) {}
};
class EArcVMSErrorOpenSwap : public EArcZipException {
 public:
  explicit EArcVMSErrorOpenSwap(const std::string& swapName)
      : EArcZipException(FormatArcText(ArcErrorText(kArcVMSErrorOpenSwap), swapName), kArcVMSErrorOpenSwap) {}
};
class EArcVMSSeekFail : public EArcZipException {
 public:
  explicit EArcVMSSeekFail(const std::string& swapName)
      : EArcZipException(FormatArcText(ArcErrorText(kArcVMSSeekFail), swapName), kArcVMSSeekFail) {}
};
class EArcVMSReadFail : public EArcZipException {
 public:
  EArcVMSReadFail(int64_t count, const std::string& swapName)
      : EArcZipException(FormatArcText(ArcErrorText(kArcVMSReadFail), count, swapName), kArcVMSReadFail) {}
};
class EArcVMSWriteFail : public EArcZipException {
 public:
  EArcVMSWriteFail(int64_t count, const std::string& swapName)
      : EArcZipException(FormatArcText(ArcErrorText(kArcVMSWriteFail), count, swapName), kArcVMSWriteFail) {}
};

// Raised by the byte-level progress hooks of the decoders when the operator aborts.
// Deliberately outside the EArcException family.
class EArcAbortProgress : public rtl::Exception {
 public:
  EArcAbortProgress() : rtl::Exception("Process aborted by user") {}
};

// Origin of an item failure.
enum TArcErrorClass {
  ecArchive = 0,
  ecInOutError = 1,
  ecFilerError = 2,
  ecFileCreateError = 3,
  ecFileOpenError = 4,
  ecCabError = 5,
  ecOther = 6,
};
// The enumerator's name ("ecArchive", ...), as reports print it.
const char* ErrorClassName(TArcErrorClass errorClass);

struct TArcClassifiedError {
  TArcErrorClass ErrorClass;
  int32_t ErrorCode;
};

// Maps an exception raised while one item was processed to its failure report.
TArcClassifiedError ClassifyException(const std::exception& e);
// Same for a captured exception (the one being handled when called inside a catch).
TArcClassifiedError ClassifyException(std::exception_ptr e);

}  // namespace qelvo::archive
