#include "unzip/item_extraction.h"

#include <algorithm>
#include <memory>

#include "archive/errors.h"
#include "archive/paths.h"
#include "codecs/bzip2_stream.h"
#include "codecs/inflate.h"
#include "codecs/legacy_helper.h"
#include "codecs/lzma_decoder.h"
#include "codecs/ppmd_decoder.h"
#include "codecs/wavpack_decoder.h"
#include "codecs/zip_decrypt.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "rtl/byte_order.h"
#include "rtl/file_path.h"
#include "unzip/bit_bucket_stream.h"
#include "unzip/item_streams.h"
#include "unzip/sliding_window_stream.h"

namespace qelvo::unzip {

using namespace archive;

namespace {

// The item helpers are only ever installed on ZIP archives.
TArcZipArchive& ZipArchiveOf(TArcArchive* sender) {
  auto* zip = dynamic_cast<TArcZipArchive*>(sender);
  if (zip == nullptr) throw EArcZipNoExtraction();
  return *zip;
}

TArcZipItem& ZipItemOf(TArcArchiveItem* item) {
  auto* zip = dynamic_cast<TArcZipItem*>(item);
  if (zip == nullptr) throw EArcZipNoExtraction();
  return *zip;
}

void CheckVersionNeeded(const TArcZipItem& item) {
  if ((item.VersionNeededToExtract() & 0xFF) >= 64) throw EArcZipVersion();
}

// On a split or spanned set the item's part is opened and the offset counts within it.
rtl::TStream& PositionAtLocalHeader(TArcZipArchive& archive, const TArcZipItem& item) {
  archive.SeekItemLocalHeader(item);
  return *archive.Stream();
}

// Stored bytes are copied through a fixed buffer: exactly size bytes, or EReadError.
void CopyStored(rtl::TStream& in, rtl::TStream& out, int64_t size) {
  constexpr int64_t kChunk = 64 * 1024;
  auto buffer = std::make_unique<uint8_t[]>(kChunk);
  while (size > 0) {
    const int64_t n = std::min(size, kChunk);
    in.ReadBuffer(buffer.get(), n);
    out.WriteBuffer(buffer.get(), n);
    size -= n;
  }
}

void InflateItem(const TArcZipItem& item, uint8_t method, rtl::TStream& in, rtl::TStream& out) {
  codecs::TArcDeflateHelper helper;
  if (method == 9) helper.Options |= codecs::ofDeflate64;
  helper.StreamSize = item.CompressedSize();
  codecs::Inflate(&in, &out, &helper);
}

// Shrink writes straight to the output; reduce and implode copy from earlier output, so
// they write through a sliding window that keeps the recent bytes readable.
void UnzipLegacyItem(const TArcZipItem& item, uint8_t method, rtl::TStream& in, rtl::TStream& out) {
  codecs::TArcUnzipHelper helper(&in, &out);
  helper.DictionarySize = item.DictionarySize();
  helper.UnCompressedSize = item.UncompressedSize();
  helper.CompressionMethod = method;
  helper.ShannonFanoTreeCount = static_cast<uint8_t>(item.ShannonFanoTreeCount());
  if (method == 1) {
    helper.Execute();
    return;
  }
  TArcSlidingWindowStream window(&out);
  helper.SetOutWriter(&window);
  helper.Execute();
  window.Flush();
}

void SetFileModTime(const std::string& fileName, rtl::TDateTime localTime) {
  platform::FileSetDate(fileName, localTime);  // a failure leaves the current time
}

void ApplyFileAttributes(const std::string& fileName, uint32_t attributes, bool isFolder) {
  // A read-only folder still takes new files where the archive came from; here it
  // would not, and later items could not be written into it.
  if (isFolder) attributes &= ~uint32_t{platform::faReadOnly};
  platform::FileSetAttr(fileName, attributes);  // a failure leaves the attributes as they are
}

// An existing file in the item's place must be one we may write to (a read-only file
// stops the item, as writing over it directly would); the check opens it without
// truncating, so the older copy stays as it is.
void EnsureReplaceable(const std::string& useName) {
  if (!platform::FileExists(useName)) return;
  try {
    platform::TFileStream probe(useName, platform::fmOpenWrite | platform::fmShareDenyWrite);
  } catch (const rtl::EFOpenError& e) {
    std::string message = e.what();
    if (message.compare(0, 16, "Cannot open file") == 0) message.replace(0, 16, "Cannot create file");
    throw rtl::EFCreateError(message);
  }
}

// A write the file refused (a full disk, a size limit) fails with the OS's reason and
// the path, not only as a stream error.
[[noreturn]] void RaiseWriteFailure(const std::string& useName, int code) {
  throw rtl::EInOutError("Cannot write \"" + useName + "\": " + platform::SysErrorMessage(code), code);
}

// Decodes into a new file beside the target and moves it into place only after the
// CRC-32 matched, so that a failed or interrupted item never leaves a truncated file
// under its name and an older copy stays until the new one is verified. The new file is
// deleted on any failure, a CRC mismatch included.
void WriteItemFile(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& in, const std::string& useName) {
  EnsureReplaceable(useName);
  const std::string folder = rtl::ExtractFilePath(useName);
  const std::string temporary = platform::GetTempFileName(folder.empty() ? "." : folder, "~qz");
  if (temporary.empty()) {
    const int code = platform::GetLastOSError();
    throw rtl::EFCreateError("Cannot create file \"" + useName + "\". " + platform::SysErrorMessage(code));
  }
  auto file = std::make_unique<platform::TFileStream>(temporary, platform::fmOpenWrite | platform::fmShareDenyWrite);
  try {
    bool crcMatches = false;
    try {
      crcMatches = DecodeItemData(archive, item, in, *file);
    } catch (const rtl::EWriteError&) {
      if (file->LastWriteError() != 0) RaiseWriteFailure(useName, file->LastWriteError());
      throw;
    }
    file.reset();
    if (!crcMatches) throw EArcZipBadCRC();
    if (!platform::ReplaceFile(temporary, useName)) {
      const int code = platform::GetLastOSError();
      throw rtl::EFCreateError("Cannot create file \"" + useName + "\". " + platform::SysErrorMessage(code));
    }
  } catch (const EArcUserAbort&) {
    file.reset();
    archive.SetStatus(asInvalid);
    platform::DeleteFile(temporary);
    throw;
  } catch (...) {
    file.reset();
    platform::DeleteFile(temporary);
    throw;
  }
}

// The local header names the item as the central one does: the same bytes, or the
// same name once separators are unified.
bool LocalNameMatches(const rtl::ByteString& local, const rtl::ByteString& central) {
  if (local == central) return true;
  if (local.size() != central.size()) return false;
  for (size_t k = 0; k < local.size(); ++k) {
    const char a = local[k] == '\\' ? '/' : local[k];
    const char b = central[k] == '\\' ? '/' : central[k];
    if (a != b) return false;
  }
  return true;
}

// The sizes of the local header: from its zip64 sub-field when it has one.
bool LocalSizesMatch(TArcZipLocalFileHeader& local, const TArcZipItem& item) {
  std::string_view zip64;
  if (local.FExtraField.Get(kZip64ExtraFieldID, zip64)) {
    if (zip64.size() < 16) return false;
    const auto* fields = reinterpret_cast<const uint8_t*>(zip64.data());
    const uint64_t uncompressed = rtl::GetLe64(fields);
    const uint64_t compressed = rtl::GetLe64(fields + 8);
    return uncompressed == static_cast<uint64_t>(item.UncompressedSize()) &&
           compressed == static_cast<uint64_t>(item.CompressedSize());
  }
  return item.UncompressedSize() <= 0xFFFFFFFFll && item.CompressedSize() <= 0xFFFFFFFFll &&
         local.FUncompressedSize == static_cast<uint64_t>(item.UncompressedSize()) &&
         local.FCompressedSize == static_cast<uint64_t>(item.CompressedSize());
}

}  // namespace

void RequestPassword(TArcZipArchive& archive, bool& abort) {
  abort = false;
  rtl::ByteString newPassword = archive.Password();
  if (!archive.OnNeedPassword) return;
  archive.OnNeedPassword(&archive, newPassword);
  if (newPassword.empty())
    abort = true;
  else
    archive.SetPassword(newPassword);
}

void EnsurePassword(TArcZipArchive& archive, int& tries, bool& abort) {
  if (!archive.Password().empty()) return;
  RequestPassword(archive, abort);
  ++tries;
  if (archive.Password().empty()) throw EArcZipInvalidPassword();
}

std::unique_ptr<rtl::TStream> OpenItemDataStream(TArcZipArchive& archive, TArcZipItem& item) {
  CheckVersionNeeded(item);
  rtl::TStream& stream = PositionAtLocalHeader(archive, item);
  uint32_t checkValue;
  {
    TArcZipLocalFileHeader local;
    local.LoadFromStream(stream);
    if (!LocalNameMatches(local.FFileName, item.RawFileName())) throw EArcZipInvalidLFH();
    checkValue = (local.FGeneralPurposeBitFlag & kZipFlagDataDescriptor) != 0
                     ? uint32_t{local.FLastModFileTime} << 16
                     : item.CRC32();
  }
  auto data = std::make_unique<TArcUnzipSubsetStream>(&stream, item.CompressedSize());
  if (!item.IsEncrypted()) return data;

  int tries = 0;
  bool abort = false;
  EnsurePassword(archive, tries, abort);
  for (;;) {
    if (abort) throw EArcUserAbort();
    auto decrypt = std::make_unique<codecs::TArcDfDecryptStream>(data.get(), checkValue, archive.Password());
    if (decrypt->IsValid()) {
      decrypt->TakeOwnership(std::move(data));
      return decrypt;
    }
    decrypt.reset();
    if (++tries > archive.PasswordRetries()) throw EArcZipInvalidPassword();
    RequestPassword(archive, abort);
  }
}

bool DecodeItemData(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& inStream, rtl::TStream& outStream) {
  // An empty item with no data to decode; one whose stored bytes say otherwise is
  // decoded, so that a size of 0 cannot hide them.
  const int64_t header = item.IsEncrypted() ? 12 : 0;
  if (item.UncompressedSize() == 0 && item.CompressedSize() <= header) return true;
  TArcUnzipOutputStream out(&outStream);
  out.UncompressedSize = item.UncompressedSize();
  out.Limit = item.UncompressedSize();
  out.OnProgress = archive.OnProgress;
  const uint8_t method = ZipMethodOf(item.CompressionMethod());
  switch (method) {
    case 0:
      CopyStored(inStream, out, item.UncompressedSize());
      break;
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
      UnzipLegacyItem(item, method, inStream, out);
      break;
    case 8:
    case 9:
      InflateItem(item, method, inStream, out);
      break;
    case 12:
      codecs::DecompressBzip2Item(inStream, item.UncompressedSize(), out);
      break;
    case 14:
      codecs::DecompressLzmaItem(inStream, item.UncompressedSize(), out);
      break;
    case 97:
      codecs::DecompressWavPackItem(inStream, out);
      break;
    case 98:
      codecs::DecompressPPMdItem(inStream, out);
      break;
    default:
      // Methods nobody decodes here (xz, AES, ...) fail as unsupported.
      throw EArcZipInvalidMethod();
  }
  if (out.CRC32() != item.CRC32()) return false;
  if (out.BytesWritten() != item.UncompressedSize()) throw EArcZipCorruptedData("less data than the declared size");
  return true;
}

void DecompressItemData(TArcZipArchive& archive, TArcZipItem& item, rtl::TStream& inStream, rtl::TStream& outStream) {
  if (DecodeItemData(archive, item, inStream, outStream)) return;
  if (!archive.OnProcessItemFailure) throw EArcZipBadCRC();
  archive.OnProcessItemFailure(&archive, &item, ptExtract, ecArchive, kArcZipBadCRC);
}

void UnzipItemToFile(TArcArchive* sender, TArcArchiveItem* anItem, const std::string& useName) {
  TArcZipArchive& archive = ZipArchiveOf(sender);
  TArcZipItem& item = ZipItemOf(anItem);
  if (item.IsDirectory()) {
    CreateDirectoryPath(useName);
  } else {
    std::unique_ptr<rtl::TStream> in = OpenItemDataStream(archive, item);
    WriteItemFile(archive, item, *in, useName);
  }
  SetFileModTime(useName, item.LastModTimeAsDateTime());
  ApplyFileAttributes(useName, item.NativeFileAttributes(), item.IsDirectory());
}

void UnzipItemToStream(TArcArchive* sender, TArcArchiveItem* anItem, rtl::TStream* outStream) {
  TArcZipArchive& archive = ZipArchiveOf(sender);
  TArcZipItem& item = ZipItemOf(anItem);
  if (outStream == nullptr) throw EArcBadStream();
  std::unique_ptr<rtl::TStream> in = OpenItemDataStream(archive, item);
  DecompressItemData(archive, item, *in, *outStream);
}

void TestZipItem(TArcArchive* sender, TArcArchiveItem* anItem) {
  TArcZipArchive& archive = ZipArchiveOf(sender);
  TArcZipItem& item = ZipItemOf(anItem);
  CheckVersionNeeded(item);
  rtl::TStream& stream = PositionAtLocalHeader(archive, item);
  TArcZipLocalFileHeader local;
  local.LoadFromStream(stream);
  archive.SeekItemLocalHeader(item);
  const TArcZipDirectoryFileHeader& central = item.ItemInfo();
  const bool same = local.FVersionNeededToExtract == central.FVersionNeededToExtract &&
                    local.FGeneralPurposeBitFlag == central.FGeneralPurposeBitFlag &&
                    local.FLastModFileTime == central.FLastModFileTime &&
                    local.FLastModFileDate == central.FLastModFileDate && local.FCRC32 == central.FCRC32 &&
                    LocalSizesMatch(local, item) && local.FFileName == central.FFileName;
  if (!same) throw EArcZipInvalidLFH();
  TArcBitBucketStream bucket(32768);
  UnzipItemToStream(sender, anItem, &bucket);
}

}  // namespace qelvo::unzip
