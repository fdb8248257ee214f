#pragma once
// The ZIP format of the archive model: TArcZipItem (one central directory entry) and
// TArcZipArchive, which finds the end of the central directory anywhere in the file,
// follows the zip64 records and loads one item per central header. Item data is not
// moved here: the archive delegates extraction and testing to the item helpers its
// owner installs, and fails with EArcZipNoExtraction without them.
//
// Bad input costs time proportional to the file size: the end-record search and the
// zip64 locator search each pass over the file once, the item loop reads the central
// directory by its size (at least one 46-byte header per record) and stops at the first
// bad signature, and nothing is sized by a count taken from the file.
#include <cstdint>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/zip_names.h"
#include "archive/zip_records.h"

namespace qelvo::archive {

class TArcSpanReadStream;

class TArcZipItem : public TArcArchiveItem {
 public:
  TArcZipItem() = default;

  // Reads one central header at the stream's position and resolves its zip64 values.
  void LoadFromStream(rtl::TStream& stream, const TArcCodePages& pages = {});

  uint32_t CRC32() const override { return FItemInfo->FCRC32; }
  uint32_t ExternalFileAttributes() const override { return FItemInfo->FExternalFileAttributes; }
  bool IsDirectory() const override;
  bool IsEncrypted() const override { return FItemInfo->IsEncrypted(); }
  uint16_t LastModFileDate() const override { return FItemInfo->FLastModFileDate; }
  uint16_t LastModFileTime() const override { return FItemInfo->FLastModFileTime; }
  uint32_t NativeFileAttributes() const override;

  // The setters keep the central header ready for writing.
  void SetCompressedSize(int64_t v) override;
  void SetCRC32(uint32_t v) override { FItemInfo->FCRC32 = v; }
  void SetExternalFileAttributes(uint32_t v) override { FItemInfo->FExternalFileAttributes = v; }
  void SetFileName(const std::string& v) override;
  void SetLastModFileDate(uint16_t v) override { FItemInfo->FLastModFileDate = v; }
  void SetLastModFileTime(uint16_t v) override { FItemInfo->FLastModFileTime = v; }
  void SetUncompressedSize(int64_t v) override;
  void SetRelativeOffset(int64_t v);
  void SetDiskNumberStart(uint32_t v);

  uint16_t GeneralPurposeBitFlag() const { return FItemInfo->FGeneralPurposeBitFlag; }
  uint16_t VersionMadeBy() const { return FItemInfo->FVersionMadeBy; }
  uint16_t VersionNeededToExtract() const { return FItemInfo->FVersionNeededToExtract; }
  uint16_t InternalFileAttributes() const { return FItemInfo->FInternalFileAttributes; }
  const rtl::ByteString& FileComment() const { return FItemInfo->FFileComment; }
  TArcExtraField& ExtraField() { return FItemInfo->FExtraField; }
  const rtl::ByteString& RawFileName() const { return FItemInfo->FFileName; }
  uint32_t DiskNumberStart() const { return FDiskNumberStart; }
  int64_t RelativeOffset() const { return FRelativeOffset; }
  TArcExtraField& LFHExtraField() { return *FLFHExtraField; }
  TArcZipDeflationOption DeflationOption() const { return FItemInfo->DeflationOption(); }
  TArcZipDictionarySize DictionarySize() const { return FItemInfo->DictionarySize(); }
  int ShannonFanoTreeCount() const { return FItemInfo->ShannonFanoTreeCount(); }
  double CompressionRatio() const { return FItemInfo->CompressionRatio(); }
  // Low byte of the central method field (the decoders mask its top bit).
  uint8_t CompressionMethod() const { return static_cast<uint8_t>(FItemInfo->FCompressionMethod & 0xFF); }
  uint8_t HostSystem() const { return FItemInfo->HostSystem(); }
  TArcZipDirectoryFileHeader& ItemInfo() { return *FItemInfo; }
  const TArcZipDirectoryFileHeader& ItemInfo() const { return *FItemInfo; }

 private:
  std::unique_ptr<TArcZipDirectoryFileHeader> FItemInfo = std::make_unique<TArcZipDirectoryFileHeader>();
  uint32_t FDiskNumberStart = 0;
  std::unique_ptr<TArcExtraField> FLFHExtraField = std::make_unique<TArcExtraField>();
  int64_t FRelativeOffset = 0;
};

class TArcZipArchive : public TArcArchive {
 public:
  TArcZipArchive(const std::string& fileName, uint16_t mode);
  TArcZipArchive(rtl::TStream* stream, const std::string& archiveName);

  std::unique_ptr<TArcArchiveItem> CreateItem(const std::string& storedName) override;
  void ExtractItemByIndex(int index, const std::string& useName) override;
  void ExtractItemByIndexToStream(int index, rtl::TStream* stream) override;
  void ReadArchive() override;
  // Saving ZIP archives is not supported: fails with EArcZipNoInsertion.
  void WriteArchive() override;
  void TestItemByIndex(int index) override;
  std::string NormalizeStoredName(const std::string& path) override;
  bool SupportsEmptyFolders() const override { return true; }

  // Disk requests of spanned sets; Abort starts False.
  virtual void RequestLastDisk(bool& abort);
  virtual void RequestNthDisk(uint8_t diskNumber, bool& abort);
  virtual void RequestBlankDisk(bool& abort);
  void DoRequestImage(void* sender, int32_t imageNumber, std::string& imageName, bool& abort);

  TArcZipItem* Items(int index) const { return static_cast<TArcZipItem*>(TArcArchive::Items(index)); }
  TArcZipSupportedMethod CompressionMethodToUse() const { return FCompressionMethodToUse; }
  void SetCompressionMethodToUse(TArcZipSupportedMethod v) { FCompressionMethodToUse = v; }
  TArcZipDeflationOption DeflationOption() const { return FDeflationOption; }
  void SetDeflationOption(TArcZipDeflationOption v) { FDeflationOption = v; }
  const rtl::ByteString& Password() const { return FPassword; }
  void SetPassword(const rtl::ByteString& v) { FPassword = v; }
  uint8_t PasswordRetries() const { return FPasswordRetries; }
  void SetPasswordRetries(uint8_t v) { FPasswordRetries = v; }
  // Smallest local header offset of a self-extracting file; 0xFFFFFFFF otherwise.
  uint32_t StubSize() const { return FStubSize; }
  bool IsExecutable() const { return FIsExecutable; }
  const rtl::ByteString& ZipfileComment() const { return FInfo->FZipfileComment; }
  const TArcZipDirectoryFileFooter& Info() const { return *FInfo; }
  // Stands at the item's local header: in its part for a split or spanned set.
  void SeekItemLocalHeader(const TArcZipItem& item);
  // Code pages the name rules convert from (the system's by default).
  void SetNameCodePages(const TArcCodePages& pages) { FCodePages = pages; }

  // Item helpers, installed by the owner.
  TArcArchiveItemExtractEvent ExtractHelper;
  TArcArchiveItemExtractToStreamEvent ExtractToStreamHelper;
  TArcArchiveItemTestEvent TestHelper;
  TArcArchiveItemInsertEvent InsertHelper;
  TArcArchiveItemInsertFromStreamEvent InsertFromStreamHelper;

  TArcNeedPasswordEvent OnNeedPassword;
  TArcRequestDiskEvent OnRequestLastDisk;
  TArcRequestDiskEvent OnRequestBlankDisk;
  TArcRequestNthDiskEvent OnRequestNthDisk;

 private:
  void InitializeZip();
  // Puts the reading stream of split and spanned sets around the opened last part.
  TArcSpanReadStream& WrapInSpanStream();
  // Loads one item per central record from the stream's position to the end of the
  // directory; a record count other than the stated one fails the archive.
  void ReadCentralDirectory(bool zip64);
  // Refuses an archive whose items share local bytes.
  void CheckItemsDoNotOverlap();

  TArcZipSupportedMethod FCompressionMethodToUse = smBestMethod;
  TArcZipDeflationOption FDeflationOption = doNormal;
  std::unique_ptr<TArcZipDirectoryFileFooter> FInfo = std::make_unique<TArcZipDirectoryFileFooter>();
  bool FIsExecutable = false;
  rtl::ByteString FPassword;
  uint8_t FPasswordRetries = 3;
  uint32_t FStubSize = 0;
  TArcCodePages FCodePages;
};

// Position of the end-of-central-directory record (the stream left there), or -1.
int64_t FindEndOfCentralDirectory(rtl::TStream& stream);
// atZip, atSpannedZip or atUnknown; the stream position is restored.
TArcArchiveType ProbeZip(rtl::TStream& stream);
// atSelfExtZip for an "MZ" or ELF start with a ZIP inside; else atUnknown.
TArcArchiveType ProbeSelfExtractingZip(rtl::TStream& stream);
// Whether the drive holding path is removable media.
bool IsRemovableDrive(const std::string& path);

}  // namespace qelvo::archive
