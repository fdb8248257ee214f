#include "archive/zip_records.h"

#include <cstdio>
#include <vector>

#include "archive/errors.h"
#include "archive/stream_reads.h"
#include "platform/file_system.h"
#include "rtl/byte_order.h"

namespace qelvo::archive {

namespace {

// Fixed fields read "as far as they go": a field the stream could not fill stays as it
// was, without error; the signature check afterwards catches the truncation.
class TFieldReader {
 public:
  TFieldReader(rtl::TStream& stream, int size) : got_(ReadUpTo(stream, buf_, size)) {}
  template <class T>
  void Field(T& value) {
    if (at_ + int64_t(sizeof(T)) <= got_) {
      if constexpr (sizeof(T) == 2) value = rtl::GetLe16(buf_ + at_);
      if constexpr (sizeof(T) == 4) value = rtl::GetLe32(buf_ + at_);
    }
    at_ += sizeof(T);
  }

 private:
  uint8_t buf_[kZipCentralFileHeaderSize];
  int64_t got_;
  int64_t at_ = 0;
};

rtl::ByteString ReadAvailable(rtl::TStream& stream, uint16_t length) {
  rtl::ByteString s(length, '\0');
  s.resize(static_cast<size_t>(ReadUpTo(stream, s.data(), length)));
  return s;
}

class TRecordWriter {
 public:
  void U16(uint16_t v) {
    uint8_t b[2];
    rtl::PutLe16(b, v);
    bytes_.insert(bytes_.end(), b, b + 2);
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    rtl::PutLe32(b, v);
    bytes_.insert(bytes_.end(), b, b + 4);
  }
  void U64(uint64_t v) {
    uint8_t b[8];
    rtl::PutLe64(b, v);
    bytes_.insert(bytes_.end(), b, b + 8);
  }
  void Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  void WriteTo(rtl::TStream& stream) { stream.WriteBuffer(bytes_.data(), static_cast<int64_t>(bytes_.size())); }

 private:
  std::vector<uint8_t> bytes_;
};

uint16_t Length16(size_t n) { return n > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(n); }

}  // namespace

// --- Common header ---------------------------------------------------------------------

void TArcZipFileHeader::LoadFromStream(rtl::TStream& stream) {
  // The common part alone is laid out like a local header.
  uint16_t nameLength = 0, extraLength = 0;
  TFieldReader r(stream, kZipLocalFileHeaderSize);
  r.Field(FSignature);
  r.Field(FVersionNeededToExtract);
  r.Field(FGeneralPurposeBitFlag);
  r.Field(FCompressionMethod);
  r.Field(FLastModFileTime);
  r.Field(FLastModFileDate);
  r.Field(FCRC32);
  r.Field(FCompressedSize);
  r.Field(FUncompressedSize);
  r.Field(nameLength);
  r.Field(extraLength);
  // A header cut short (or not a header at all) fails on its signature before its
  // claimed lengths are used.
  if (!IsValid()) throw EArcZipInvalid();
  FFileName = ReadAvailable(stream, nameLength);
  FExtraField.LoadFromStream(stream, extraLength);
}

void TArcZipFileHeader::SaveToStream(rtl::TStream& stream) {
  TRecordWriter w;
  w.U32(FValidSignature);
  w.U16(FVersionNeededToExtract);
  w.U16(FGeneralPurposeBitFlag);
  w.U16(FCompressionMethod);
  w.U16(FLastModFileTime);
  w.U16(FLastModFileDate);
  w.U32(FCRC32);
  w.U32(FCompressedSize);
  w.U32(FUncompressedSize);
  w.U16(Length16(FFileName.size()));
  w.U16(Length16(FExtraField.Buffer().size()));
  w.Bytes(FFileName.data(), Length16(FFileName.size()));
  w.Bytes(FExtraField.Buffer().data(), Length16(FExtraField.Buffer().size()));
  w.WriteTo(stream);
}

bool TArcZipFileHeader::HasDataDescriptor() const {
  return (FGeneralPurposeBitFlag & kZipFlagDataDescriptor) != 0 && CompressionMethod() == 8;
}

TArcZipDictionarySize TArcZipFileHeader::DictionarySize() const {
  if (CompressionMethod() != 6) return dsInvalid;
  return (FGeneralPurposeBitFlag & kZipFlagOption1) ? ds8K : ds4K;
}

int TArcZipFileHeader::ShannonFanoTreeCount() const {
  if (CompressionMethod() != 6) return 0;
  return (FGeneralPurposeBitFlag & kZipFlagOption2) ? 3 : 2;
}

TArcZipDeflationOption TArcZipFileHeader::DeflationOption() const {
  if (CompressionMethod() != 8) return doInvalid;
  const bool b1 = (FGeneralPurposeBitFlag & kZipFlagOption1) != 0;
  const bool b2 = (FGeneralPurposeBitFlag & kZipFlagOption2) != 0;
  if (b1 && b2) return doSuperFast;
  if (b1) return doMaximum;
  if (b2) return doFast;
  return doNormal;
}

double TArcZipFileHeader::CompressionRatio() const {
  if (FUncompressedSize == 0) return 0;
  double c = FCompressedSize;
  if (IsEncrypted()) c -= 12;
  return 100.0 * (1.0 - c / FUncompressedSize);
}

// --- Local header ----------------------------------------------------------------------

void TArcZipLocalFileHeader::LoadFromStream(rtl::TStream& stream) { TArcZipFileHeader::LoadFromStream(stream); }

void TArcZipLocalFileHeader::SaveToStream(rtl::TStream& stream) { TArcZipFileHeader::SaveToStream(stream); }

// --- Central header --------------------------------------------------------------------

void TArcZipDirectoryFileHeader::LoadFromStream(rtl::TStream& stream) {
  uint16_t nameLength = 0, extraLength = 0, commentLength = 0;
  TFieldReader r(stream, kZipCentralFileHeaderSize);
  r.Field(FSignature);
  r.Field(FVersionMadeBy);
  r.Field(FVersionNeededToExtract);
  r.Field(FGeneralPurposeBitFlag);
  r.Field(FCompressionMethod);
  r.Field(FLastModFileTime);
  r.Field(FLastModFileDate);
  r.Field(FCRC32);
  r.Field(FCompressedSize);
  r.Field(FUncompressedSize);
  r.Field(nameLength);
  r.Field(extraLength);
  r.Field(commentLength);
  r.Field(FDiskNumberStart);
  r.Field(FInternalFileAttributes);
  r.Field(FExternalFileAttributes);
  r.Field(FRelativeOffset);
  if (!IsValid()) throw EArcZipInvalid();
  FFileName = ReadAvailable(stream, nameLength);
  FExtraField.LoadFromStream(stream, extraLength);
  FFileComment = ReadAvailable(stream, commentLength);
}

void TArcZipDirectoryFileHeader::SaveToStream(rtl::TStream& stream) {
  TRecordWriter w;
  w.U32(FValidSignature);
  w.U16(FVersionMadeBy);
  w.U16(FVersionNeededToExtract);
  w.U16(FGeneralPurposeBitFlag);
  w.U16(FCompressionMethod);
  w.U16(FLastModFileTime);
  w.U16(FLastModFileDate);
  w.U32(FCRC32);
  w.U32(FCompressedSize);
  w.U32(FUncompressedSize);
  w.U16(Length16(FFileName.size()));
  w.U16(Length16(FExtraField.Buffer().size()));
  w.U16(Length16(FFileComment.size()));
  w.U16(FDiskNumberStart);
  w.U16(FInternalFileAttributes);
  w.U32(FExternalFileAttributes);
  w.U32(FRelativeOffset);
  w.Bytes(FFileName.data(), Length16(FFileName.size()));
  w.Bytes(FExtraField.Buffer().data(), Length16(FExtraField.Buffer().size()));
  w.Bytes(FFileComment.data(), Length16(FFileComment.size()));
  w.WriteTo(stream);
}

// --- End of central directory ----------------------------------------------------------

void TArcZipDirectoryFileFooter::LoadFromStream(rtl::TStream& stream) {
  uint8_t b[kZipEndOfCentralDirSize];
  stream.ReadBuffer(b, sizeof b);
  if (rtl::GetLe32(b) != kZipEndOfCentralDirSignature) throw EArcZipInvalid();
  FDiskNumber = rtl::GetLe16(b + 4);
  FStartDiskNumber = rtl::GetLe16(b + 6);
  FEntriesOnDisk = rtl::GetLe16(b + 8);
  FTotalEntries = rtl::GetLe16(b + 10);
  FDirectorySize = rtl::GetLe32(b + 12);
  FDirectoryOffset = rtl::GetLe32(b + 16);
  const uint16_t commentLength = rtl::GetLe16(b + 20);
  FZipfileComment.assign(commentLength, '\0');
  if (commentLength > 0) stream.ReadBuffer(FZipfileComment.data(), commentLength);
}

void TArcZipDirectoryFileFooter::LoadZip64FromStream(rtl::TStream& stream) {
  uint8_t b[kZip64EndOfCentralDirSize];
  stream.ReadBuffer(b, sizeof b);
  if (rtl::GetLe32(b) != kZip64EndOfCentralDirSignature) throw EArcZipInvalid();
  if (FDiskNumber == 0xFFFF) FDiskNumber = rtl::GetLe32(b + 16);
  if (FStartDiskNumber == 0xFFFF) FStartDiskNumber = rtl::GetLe32(b + 20);
  if (FEntriesOnDisk == 0xFFFF) FEntriesOnDisk = rtl::GetLe64(b + 24);
  if (FTotalEntries == 0xFFFF) FTotalEntries = rtl::GetLe64(b + 32);
  if (FDirectorySize == 0xFFFFFFFF) FDirectorySize = rtl::GetLe64(b + 40);
  if (FDirectoryOffset == 0xFFFFFFFF) FDirectoryOffset = rtl::GetLe64(b + 48);
}

bool TArcZipDirectoryFileFooter::IsZip64() const {
  return FDiskNumber >= 0xFFFF || FStartDiskNumber >= 0xFFFF || FEntriesOnDisk >= 0xFFFF ||
         FTotalEntries >= 0xFFFF || FDirectorySize == 0xFFFFFFFF || FDirectoryOffset == 0xFFFFFFFF;
}

void TArcZipDirectoryFileFooter::SaveToStream(rtl::TStream& stream) {
  auto cap16 = [](uint64_t v) { return v >= 0xFFFF ? uint16_t{0xFFFF} : static_cast<uint16_t>(v); };
  auto cap32 = [](uint64_t v) { return v >= 0xFFFFFFFF ? uint32_t{0xFFFFFFFF} : static_cast<uint32_t>(v); };
  TRecordWriter w;
  w.U32(kZipEndOfCentralDirSignature);
  w.U16(cap16(FDiskNumber));
  w.U16(cap16(FStartDiskNumber));
  w.U16(cap16(FEntriesOnDisk));
  w.U16(cap16(FTotalEntries));
  w.U32(cap32(FDirectorySize));
  w.U32(cap32(FDirectoryOffset));
  w.U16(Length16(FZipfileComment.size()));
  w.Bytes(FZipfileComment.data(), Length16(FZipfileComment.size()));
  w.WriteTo(stream);
}

void TArcZip64Locator::LoadFromStream(rtl::TStream& stream) {
  uint8_t b[kZip64LocatorSize];
  stream.ReadBuffer(b, sizeof b);
  FSignature = rtl::GetLe32(b);
  FZip64RecordDisk = rtl::GetLe32(b + 4);
  FZip64RecordOffset = rtl::GetLe64(b + 8);
  FTotalDisks = rtl::GetLe32(b + 16);
}

// --- Data descriptor -------------------------------------------------------------------

void TArcZipDataDescriptor::SaveToStream(rtl::TStream& stream) {
  TRecordWriter w;
  w.U32(kZipDataDescriptorSignature);
  w.U32(FCRC32);
  if (FCompressedSize >= 0xFFFFFFFF || FUncompressedSize >= 0xFFFFFFFF) {
    w.U64(FCompressedSize);
    w.U64(FUncompressedSize);
  } else {
    w.U32(static_cast<uint32_t>(FCompressedSize));
    w.U32(static_cast<uint32_t>(FUncompressedSize));
  }
  w.WriteTo(stream);
}

void TArcZipDataDescriptor::LoadFromStream(rtl::TStream& stream, bool zip64) {
  uint8_t b[8];
  stream.ReadBuffer(b, 4);
  uint32_t first = rtl::GetLe32(b);
  if (first == kZipDataDescriptorSignature) {
    stream.ReadBuffer(b, 4);
    first = rtl::GetLe32(b);
  }
  FCRC32 = first;
  if (zip64) {
    stream.ReadBuffer(b, 8);
    FCompressedSize = rtl::GetLe64(b);
    stream.ReadBuffer(b, 8);
    FUncompressedSize = rtl::GetLe64(b);
  } else {
    stream.ReadBuffer(b, 4);
    FCompressedSize = rtl::GetLe32(b);
    stream.ReadBuffer(b, 4);
    FUncompressedSize = rtl::GetLe32(b);
  }
}

// --- Attributes ------------------------------------------------------------------------

uint32_t UnixModeToDosAttributes(uint32_t mode) {
  uint32_t attr = 0;
  switch (mode & 0xF000) {
    case 0x4000: attr = platform::faDirectory; break;
    case 0x1000:
    case 0x2000:
    case 0x6000:
    case 0xA000:
    case 0xC000: attr = platform::faSysFile; break;
    default: break;
  }
  if ((mode & 0x80) == 0) attr |= platform::faReadOnly;
  return attr;
}

uint32_t ZipNativeFileAttributes(uint8_t hostSystem, uint32_t externalAttributes) {
  if (hostSystem == kZipHostUnix || externalAttributes > 0x1FFFF) return UnixModeToDosAttributes(externalAttributes >> 16);
  return externalAttributes & 0xFF;
}

std::string ZipMethodName(uint8_t method) {
  switch (method & 0x7F) {
    case 0: return "Stored";
    case 1: return "Shrunk";
    case 2: return "Reduced1";
    case 3: return "Reduced2";
    case 4: return "Reduced3";
    case 5: return "Reduced4";
    case 6: return "Imploded";
    case 7: return "Tokenized";
    case 8: return "Deflated";
    case 9: return "Deflate64";
    case 12: return "BZip2";
    case 14: return "LZMA";
    case 97: return "WavPack";
    case 98: return "PPMd";
    case 99: return "AES";
  }
  char unknown[16];
  std::snprintf(unknown, sizeof unknown, "Unk:%03u", static_cast<unsigned>(method));
  return unknown;
}

}  // namespace qelvo::archive
