#include "archive/zip_archive.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "archive/disk_prompt.h"
#include "archive/errors.h"
#include "archive/paths.h"
#include "archive/span_read_stream.h"
#include "archive/stream_reads.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "rtl/byte_order.h"
#include "rtl/file_path.h"
#include "rtl/text.h"

namespace qelvo::archive {

namespace {

constexpr uint32_t kEscape32 = 0xFFFFFFFF;
constexpr uint16_t kEscape16 = 0xFFFF;

// Reads the zip64 values a central header escapes, in their fixed order.
class TZip64FieldReader {
 public:
  explicit TZip64FieldReader(std::string_view data) : data_(data) {}
  uint64_t Next(size_t width) {
    if (data_.size() - at_ < width) throw rtl::EReadError();
    const auto* p = reinterpret_cast<const uint8_t*>(data_.data() + at_);
    at_ += width;
    return width == 8 ? rtl::GetLe64(p) : rtl::GetLe32(p);
  }

 private:
  std::string_view data_;
  size_t at_ = 0;
};

// Restores a stream position on every path.
class TPositionKeeper {
 public:
  explicit TPositionKeeper(rtl::TStream& s) : s_(s), pos_(s.Position()) {}
  ~TPositionKeeper() {
    try {
      s_.Seek(pos_, rtl::soBeginning);
    } catch (const std::exception&) {
    }
  }
  TPositionKeeper(const TPositionKeeper&) = delete;
  TPositionKeeper& operator=(const TPositionKeeper&) = delete;

 private:
  rtl::TStream& s_;
  int64_t pos_;
};

// The first four bytes of the stream (fewer when it is shorter).
int64_t ReadLeadBytes(rtl::TStream& stream, uint8_t (&lead)[4]) {
  stream.Seek(0, rtl::soBeginning);
  return ReadUpTo(stream, lead, 4);
}

bool IsExecutableLead(const uint8_t (&lead)[4], int64_t got) {
  return got == 4 && (rtl::GetLe16(lead) == kDosExecutableMarker || rtl::GetLe32(lead) == kElfExecutableMarker);
}

// Searches backwards from the end record for the zip64 locator, one buffered pass.
int64_t FindZip64Locator(rtl::TStream& stream, int64_t tail, TArcZip64Locator& locator) {
  constexpr int64_t kChunk = 64 * 1024;
  std::vector<uint8_t> buf;
  int64_t pos = tail - kZip64LocatorSize;  // highest candidate not yet tried
  while (pos >= 0) {
    const int64_t lo = std::max<int64_t>(0, pos - kChunk + 1);
    buf.resize(static_cast<size_t>(pos + kZip64LocatorSize - lo));
    stream.Seek(lo, rtl::soBeginning);
    stream.ReadBuffer(buf.data(), static_cast<int64_t>(buf.size()));
    for (int64_t p = pos; p >= lo; --p) {
      if (rtl::GetLe32(&buf[static_cast<size_t>(p - lo)]) == kZip64EndOfCentralDirLocatorSignature) {
        stream.Seek(p, rtl::soBeginning);
        locator.LoadFromStream(stream);
        return p;
      }
    }
    pos = lo - 1;
  }
  throw EArcZipInvalid();
}

}  // namespace

// --- TArcZipItem ------------------------------------------------------------------------

void TArcZipItem::LoadFromStream(rtl::TStream& stream, const TArcCodePages& pages) {
  TArcZipDirectoryFileHeader& h = *FItemInfo;
  h.LoadFromStream(stream);
  FFileName = DecodeZipName(h, pages);
  FUncompressedSize = h.FUncompressedSize;
  FCompressedSize = h.FCompressedSize;
  FRelativeOffset = h.FRelativeOffset;
  FDiskNumberStart = h.FDiskNumberStart;
  std::string_view zip64;
  if (h.FExtraField.Get(kZip64ExtraFieldID, zip64)) {
    TZip64FieldReader r(zip64);
    // Values beyond the signed 64-bit range are cut to it; such an item cannot be read.
    auto toSigned = [](uint64_t v) { return static_cast<int64_t>(std::min<uint64_t>(v, INT64_MAX)); };
    if (h.FUncompressedSize == kEscape32) FUncompressedSize = toSigned(r.Next(8));
    if (h.FCompressedSize == kEscape32) FCompressedSize = toSigned(r.Next(8));
    if (h.FRelativeOffset == kEscape32) FRelativeOffset = toSigned(r.Next(8));
    if (h.FDiskNumberStart == kEscape16) FDiskNumberStart = static_cast<uint32_t>(r.Next(4));
  }
  FLastModFileTime = h.FLastModFileTime;
  FLastModFileDate = h.FLastModFileDate;
  FCRC32 = h.FCRC32;
  FExternalFileAttributes = h.FExternalFileAttributes;
  FIsEncrypted = h.IsEncrypted();
  FDiskFileName = FFileName;
  ToBackslashes(FDiskFileName);
  FAction = aaNone;
  FTagged = false;
}

bool TArcZipItem::IsDirectory() const {
  if (ExternalFileAttributes() & platform::faDirectory) return true;
  return !FFileName.empty() && (FFileName.back() == '/' || FFileName.back() == '\\');
}

uint32_t TArcZipItem::NativeFileAttributes() const {
  return ZipNativeFileAttributes(HostSystem(), ExternalFileAttributes());
}

namespace {

// Rebuilds the zip64 sub-field from the values the header cannot hold.
void StoreZip64Values(TArcZipDirectoryFileHeader& h, int64_t uncompressed, int64_t compressed, int64_t offset,
                      uint32_t disk) {
  uint8_t data[28];
  size_t n = 0;
  auto put64 = [&](uint64_t v) {
    rtl::PutLe64(data + n, v);
    n += 8;
  };
  const bool bigU = uncompressed >= int64_t{kEscape32}, bigC = compressed >= int64_t{kEscape32};
  const bool bigO = offset >= int64_t{kEscape32}, bigD = disk >= kEscape16;
  h.FUncompressedSize = bigU ? kEscape32 : static_cast<uint32_t>(uncompressed);
  h.FCompressedSize = bigC ? kEscape32 : static_cast<uint32_t>(compressed);
  h.FRelativeOffset = bigO ? kEscape32 : static_cast<uint32_t>(offset);
  h.FDiskNumberStart = bigD ? kEscape16 : static_cast<uint16_t>(disk);
  if (bigU) put64(static_cast<uint64_t>(uncompressed));
  if (bigC) put64(static_cast<uint64_t>(compressed));
  if (bigO) put64(static_cast<uint64_t>(offset));
  if (bigD) {
    rtl::PutLe32(data + n, disk);
    n += 4;
  }
  if (n > 0) {
    h.FExtraField.Put(kZip64ExtraFieldID, data, static_cast<uint16_t>(n));
  } else {
    h.FExtraField.Delete(kZip64ExtraFieldID);
  }
}

}  // namespace

void TArcZipItem::SetCompressedSize(int64_t v) {
  FCompressedSize = v;
  StoreZip64Values(*FItemInfo, FUncompressedSize, FCompressedSize, FRelativeOffset, FDiskNumberStart);
}

void TArcZipItem::SetUncompressedSize(int64_t v) {
  FUncompressedSize = v;
  StoreZip64Values(*FItemInfo, FUncompressedSize, FCompressedSize, FRelativeOffset, FDiskNumberStart);
}

void TArcZipItem::SetRelativeOffset(int64_t v) {
  FRelativeOffset = v;
  StoreZip64Values(*FItemInfo, FUncompressedSize, FCompressedSize, FRelativeOffset, FDiskNumberStart);
}

void TArcZipItem::SetDiskNumberStart(uint32_t v) {
  FDiskNumberStart = v;
  StoreZip64Values(*FItemInfo, FUncompressedSize, FCompressedSize, FRelativeOffset, FDiskNumberStart);
}

void TArcZipItem::SetFileName(const std::string& v) {
  FFileName = v;
  // Stored as UTF-8, flagged as such when it is not plain ASCII.
  FItemInfo->FFileName = v;
  const bool ascii = std::all_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    FItemInfo->FGeneralPurposeBitFlag &= static_cast<uint16_t>(~kZipFlagUTF8);
  } else {
    FItemInfo->FGeneralPurposeBitFlag |= kZipFlagUTF8;
  }
}

// --- TArcZipArchive ----------------------------------------------------------------------

TArcZipArchive::TArcZipArchive(const std::string& fileName, uint16_t mode) : TArcArchive(fileName, mode) {
  InitializeZip();
}

TArcZipArchive::TArcZipArchive(rtl::TStream* stream, const std::string& archiveName)
    : TArcArchive(stream, archiveName) {
  InitializeZip();
}

void TArcZipArchive::InitializeZip() {
  FCompressionMethodToUse = smBestMethod;
  FInfo = std::make_unique<TArcZipDirectoryFileFooter>();
  FStoreOptions.Include(soStripDrive);
  FDeflationOption = doNormal;
  FPasswordRetries = 3;
  FTempDir.clear();
  SetSpanningThreshold(0);
}

std::unique_ptr<TArcArchiveItem> TArcZipArchive::CreateItem(const std::string& storedName) {
  auto item = std::make_unique<TArcZipItem>();
  item->SetFileName(NormalizeStoredName(storedName));
  item->SetDiskFileName(storedName);
  return item;
}

void TArcZipArchive::ExtractItemByIndex(int index, const std::string& useName) {
  if (!ExtractHelper) throw EArcZipNoExtraction();
  ExtractHelper(this, Items(index), useName);
}

void TArcZipArchive::ExtractItemByIndexToStream(int index, rtl::TStream* stream) {
  if (!ExtractToStreamHelper) throw EArcZipNoExtraction();
  ExtractToStreamHelper(this, Items(index), stream);
}

void TArcZipArchive::TestItemByIndex(int index) {
  if (!TestHelper) throw EArcZipNoExtraction();
  TestHelper(this, Items(index));
}

void TArcZipArchive::WriteArchive() {
  // A loaded archive without pending changes needs no writing.
  bool pending = false;
  for (TArcArchiveItem* item : *FItemList) pending = pending || item->Action() != aaNone;
  if (pending) throw EArcZipNoInsertion();
}

std::string TArcZipArchive::NormalizeStoredName(const std::string& path) {
  std::string name = ApplyDosMode(path);
  RemoveDrive(name);
  if (name.size() > 1 && name[0] == '\\') name.erase(0, 1);
  if (FStoreOptions.Has(soStripPath)) name = rtl::ExtractFileName(name);
  if (FStoreOptions.Has(soRemoveDots)) RemoveLeadingParentRefs(name);
  ToForwardSlashes(name);
  return name;
}

// Without a handler the installed disk prompt asks the operator; Cancel abandons.
void TArcZipArchive::RequestLastDisk(bool& abort) {
  abort = false;
  if (OnRequestLastDisk) {
    OnRequestLastDisk(this, abort);
  } else {
    abort = !AskForDisk(kInsertLastDiskText);
  }
}

void TArcZipArchive::RequestNthDisk(uint8_t diskNumber, bool& abort) {
  abort = false;
  if (OnRequestNthDisk) {
    OnRequestNthDisk(this, diskNumber, abort);
  } else {
    abort = !AskForDisk(InsertNthDiskText(diskNumber));
  }
}

void TArcZipArchive::RequestBlankDisk(bool& abort) {
  abort = false;
  FSpanned = true;
  if (OnRequestBlankDisk) {
    OnRequestBlankDisk(this, abort);
  } else {
    abort = !AskForDisk(kInsertBlankDiskText);
  }
}

void TArcZipArchive::DoRequestImage(void* sender, int32_t imageNumber, std::string& imageName, bool& abort) {
  if (OnRequestImage) OnRequestImage(sender, imageNumber, imageName, abort);
}

TArcSpanReadStream& TArcZipArchive::WrapInSpanStream() {
  auto parts = std::make_unique<TArcSpanReadStream>(FArchiveName, TakeOwnedStream(), FInfo->FDiskNumber);
  parts->OnRequestNthDisk = [this](void*, uint8_t diskNumber, bool& abort) { RequestNthDisk(diskNumber, abort); };
  parts->SetOnRequestImage([this](void* sender, int32_t imageNumber, std::string& imageName, bool& abort) {
    DoRequestImage(sender, imageNumber, imageName, abort);
  });
  TArcSpanReadStream& wrapped = *parts;
  SetOwnedStream(std::move(parts));
  return wrapped;
}

void TArcZipArchive::SeekItemLocalHeader(const TArcZipItem& item) {
  if (FStream == nullptr) throw EArcNoArchive();
  if (auto* parts = dynamic_cast<TArcSpanReadStream*>(FStream)) {
    parts->SeekImage(item.DiskNumberStart(), item.RelativeOffset());
  } else {
    FStream->Seek(item.RelativeOffset(), rtl::soBeginning);
  }
}

void TArcZipArchive::ReadArchive() {
  FItemList->Clear();
  FInfo = std::make_unique<TArcZipDirectoryFileFooter>();
  FIsExecutable = false;
  FSpanned = false;
  FStubSize = 0;
  if (FStream->Size() == 0) return;

  uint8_t lead[4] = {};
  const int64_t leadBytes = ReadLeadBytes(*FStream, lead);
  FIsExecutable = IsExecutableLead(lead, leadBytes);
  const bool firstDiskOfSet = leadBytes == 4 && rtl::GetLe32(lead) == kZipSpannedSetSignature;

  int64_t tail = FindEndOfCentralDirectory(*FStream);
  if (tail < 0 && firstDiskOfSet && FOwnsStream && IsRemovableDrive(FArchiveName)) {
    // The operator holds the first disk of a spanned set: ask for the last one.
    while (tail < 0) {
      ReleaseOwnedStream();
      bool abort = false;
      RequestLastDisk(abort);
      if (abort) {
        FStatus = asInvalid;
        throw EArcUserAbort();
      }
      SetOwnedStream(std::make_unique<platform::TFileStream>(FArchiveName, FMode));
      tail = FindEndOfCentralDirectory(*FStream);
    }
  }
  if (tail < 0) {
    FStatus = asInvalid;
    throw EArcZipInvalid();
  }

  const int64_t size = FStream->Size();
  FStream->Seek(tail, rtl::soBeginning);
  FInfo->LoadFromStream(*FStream);
  // Escape values may be real values: an archive of exactly 65,535 entries has a plain
  // end record whose count looks escaped, and no zip64 records at all.
  bool zip64 = FInfo->IsZip64();
  TArcZip64Locator locator;
  if (zip64) {
    try {
      FindZip64Locator(*FStream, tail, locator);
      // A locator that counts no disks at all describes a single-file archive.
      FInfo->FDiskNumber = locator.FTotalDisks > 0 ? locator.FTotalDisks - 1 : 0;
    } catch (const EArcZipInvalid&) {
      zip64 = false;
    }
  }
  FSpanned = FInfo->FDiskNumber > 0;
  if (FSpanned) {
    if (!FOwnsStream) throw EArcZipBadSpanStream();
    TArcSpanReadStream& parts = WrapInSpanStream();
    if (zip64) {
      parts.SeekImage(locator.FZip64RecordDisk, static_cast<int64_t>(locator.FZip64RecordOffset));
      FInfo->LoadZip64FromStream(*FStream);
    }
    if (FInfo->FDirectoryOffset > static_cast<uint64_t>(INT64_MAX)) throw EArcZipInvalid();
    parts.SeekImage(FInfo->FStartDiskNumber, static_cast<int64_t>(FInfo->FDirectoryOffset));
  } else {
    if (zip64) {
      SeekWithin(*FStream, locator.FZip64RecordOffset, size);
      FInfo->LoadZip64FromStream(*FStream);
    }
    SeekWithin(*FStream, FInfo->FDirectoryOffset, size);
  }
  ReadCentralDirectory(zip64);
  CheckItemsDoNotOverlap();
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
  FIsDirty = false;
}

void TArcZipArchive::ReadCentralDirectory(bool zip64) {
  // Read by the directory's size, not by its count, so that no record goes unseen; every
  // record is at least one 46-byte header read from the file.
  // A directory spread over parts is positioned part by part, so there it is read by its
  // count; a false count still ends at the first header that is not there.
  int64_t end = 0;
  if (!FSpanned) {
    const int64_t start = FStream->Position();
    const int64_t size = FStream->Size();
    end = start + static_cast<int64_t>(std::min<uint64_t>(FInfo->FDirectorySize, static_cast<uint64_t>(size - start)));
  }
  const auto more = [&] {
    return FSpanned ? static_cast<uint64_t>(Count()) < FInfo->FTotalEntries : FStream->Position() < end;
  };
  FStubSize = 0xFFFFFFFF;
  while (more()) {
    auto item = std::make_unique<TArcZipItem>();
    item->LoadFromStream(*FStream, FCodePages);
    item->SetAction(aaNone);
    TArcZipItem* added = item.get();
    FItemList->Add(std::move(item));
    if (FIsExecutable && added->DiskNumberStart() == 0 && added->RelativeOffset() < int64_t{FStubSize})
      FStubSize = static_cast<uint32_t>(added->RelativeOffset());
    bool abort = false;
    const uint64_t stated = FInfo->FTotalEntries;
    const uint64_t percent = stated > 0 ? static_cast<uint64_t>(Count()) * 100 / stated : 100;
    NotifyArchiveProgress(static_cast<uint8_t>(std::min<uint64_t>(percent, 100)), abort);
    if (abort) {
      FStatus = asInvalid;
      throw EArcUserAbort();
    }
  }
  const uint64_t read = static_cast<uint64_t>(Count());
  const uint64_t stated = FInfo->FTotalEntries;
  // Fewer records than counted: the record that should follow is not there.
  if (read < stated) throw EArcZipInvalid();
  // A plain end record holds 16 bits of the count; writers without zip64 let it wrap.
  const bool wrapped = !zip64 && read > 0xFFFF && (read & 0xFFFF) == stated;
  if (read > stated && !wrapped) {
    FStatus = asInvalid;
    throw EArcZipDirectoryMismatch();
  }
}

void TArcZipArchive::CheckItemsDoNotOverlap() {
  // Each item's local header and data, as the central directory sizes them: from its
  // offset over the fixed header, its name and its stored bytes. Two items sharing any
  // byte expand one block many times over.
  // Offsets count from the start of the item's own part, so only items of one part compare.
  struct TSpan {
    int64_t Disk, Begin, End;
  };
  std::vector<TSpan> spans;
  spans.reserve(static_cast<size_t>(Count()));
  for (int i = 0; i < Count(); ++i) {
    const TArcZipItem* item = Items(i);
    int64_t end = 0;
    if (__builtin_add_overflow(item->RelativeOffset(), kZipLocalFileHeaderSize + int64_t(item->RawFileName().size()),
                               &end) ||
        __builtin_add_overflow(end, std::max<int64_t>(item->CompressedSize(), 0), &end))
      end = INT64_MAX;
    spans.push_back({int64_t{item->DiskNumberStart()}, item->RelativeOffset(), end});
  }
  std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) { return a.Disk != b.Disk ? a.Disk < b.Disk : a.Begin < b.Begin; });
  for (size_t k = 1; k < spans.size(); ++k) {
    if (spans[k - 1].Disk == spans[k].Disk && spans[k - 1].End > spans[k].Begin) {
      FStatus = asInvalid;
      throw EArcZipOverlappingItems();
    }
  }
}

// --- Probes ------------------------------------------------------------------------------

int64_t FindEndOfCentralDirectory(rtl::TStream& stream) {
  const int64_t saved = stream.Position();
  const int64_t size = stream.Size();
  uint8_t record[kZipEndOfCentralDirSize];
  if (size >= kZipEndOfCentralDirSize) {
    stream.Seek(size - kZipEndOfCentralDirSize, rtl::soBeginning);
    if (ReadUpTo(stream, record, sizeof record) == kZipEndOfCentralDirSize &&
        rtl::GetLe32(record) == kZipEndOfCentralDirSignature && rtl::GetLe16(record + 20) == 0) {
      stream.Seek(size - kZipEndOfCentralDirSize, rtl::soBeginning);
      return size - kZipEndOfCentralDirSize;
    }
  }
  // Backwards in windows growing to 64 KiB that overlap by one record's fixed part, so
  // a record is found wherever it lies; every byte is read about once.
  int64_t windowSize = 512;
  int64_t windowOffset = -512;
  std::vector<uint8_t> window;
  while (true) {
    int64_t windowPos = size + windowOffset;
    bool last = false;
    if (windowPos <= 0) {
      windowPos = 0;
      last = true;
    }
    stream.Seek(windowPos, rtl::soBeginning);
    window.resize(static_cast<size_t>(windowSize));
    const int64_t got = ReadUpTo(stream, window.data(), windowSize);
    if (got < kZipEndOfCentralDirSize) break;
    for (int64_t c = got - kZipEndOfCentralDirSize; c >= 0; --c) {
      const uint8_t* p = &window[static_cast<size_t>(c)];
      if (rtl::GetLe32(p) != kZipEndOfCentralDirSignature) continue;
      // The candidate counts when its comment fits into what follows it in the file.
      const int64_t after = size - (windowPos + c + kZipEndOfCentralDirSize);
      if (rtl::GetLe16(p + 20) <= after) {
        stream.Seek(windowPos + c, rtl::soBeginning);
        return windowPos + c;
      }
    }
    if (last) break;
    windowSize = std::min<int64_t>(windowSize * 2, 65536);
    windowOffset -= windowSize - kZipEndOfCentralDirSize;
  }
  stream.Seek(saved, rtl::soBeginning);
  return -1;
}

TArcArchiveType ProbeZip(rtl::TStream& stream) {
  TPositionKeeper keep(stream);
  try {
    uint8_t lead[4] = {};
    if (ReadLeadBytes(stream, lead) == 4 && rtl::GetLe32(lead) == kZipSpannedSetSignature) return atSpannedZip;
    if (FindEndOfCentralDirectory(stream) < 0) return atUnknown;
    uint8_t record[kZipEndOfCentralDirSize];
    stream.ReadBuffer(record, sizeof record);
    if (rtl::GetLe32(record) != kZipEndOfCentralDirSignature) return atUnknown;
    return rtl::GetLe16(record + 4) == 0 ? atZip : atSpannedZip;
  } catch (const rtl::EStreamError&) {
    return atUnknown;
  }
}

TArcArchiveType ProbeSelfExtractingZip(rtl::TStream& stream) {
  TPositionKeeper keep(stream);
  try {
    uint8_t lead[4] = {};
    const int64_t got = ReadLeadBytes(stream, lead);
    if (IsExecutableLead(lead, got) && ProbeZip(stream) == atZip) return atSelfExtZip;
  } catch (const rtl::EStreamError&) {
  }
  return atUnknown;
}

bool IsRemovableDrive(const std::string& path) {
  std::string full = path;
  if (GetPathType(full) != ptAbsolute) full = platform::CurrentFolder() + full;
  if (rtl::UpperCaseAscii(full.substr(0, 8)) == "\\\\?\\UNC\\") {
    full = "\\\\" + full.substr(8);
  } else if (full.compare(0, 4, "\\\\?\\") == 0) {
    full.erase(0, 4);
  }
  const std::string drive = SplitPathParts(full).Drive;
  if (drive.empty()) return false;
  return platform::GetDriveType(WithTrailingBackslash(drive)) == platform::TDriveType::Removable;
}

}  // namespace qelvo::archive
