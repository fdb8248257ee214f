#pragma once
// TArcArchiveItem: one entry of an archive, format-independent. Formats derive from it
// and override the accessors that read their own header data.
#include <cstdint>
#include <string>
#include <string_view>

#include "archive/types.h"
#include "rtl/date_time.h"

namespace qelvo::archive {

class TArcArchiveItem {
 public:
  TArcArchiveItem() = default;
  virtual ~TArcArchiveItem() = default;
  TArcArchiveItem(const TArcArchiveItem&) = delete;
  TArcArchiveItem& operator=(const TArcArchiveItem&) = delete;

  // Next item in the same hash bucket of the owning list (not owned).
  TArcArchiveItem* NextItem = nullptr;

  virtual int64_t CompressedSize() const { return FCompressedSize; }
  virtual uint32_t CRC32() const { return FCRC32; }
  virtual uint32_t ExternalFileAttributes() const { return FExternalFileAttributes; }
  virtual std::string FileName() const { return FFileName; }
  virtual bool IsDirectory() const { return false; }
  virtual bool IsEncrypted() const { return FIsEncrypted; }
  virtual uint16_t LastModFileDate() const { return FLastModFileDate; }
  virtual uint16_t LastModFileTime() const { return FLastModFileTime; }
  // Windows attribute bits of the item.
  virtual uint32_t NativeFileAttributes() const;
  virtual int64_t UncompressedSize() const { return FUncompressedSize; }

  virtual void SetCompressedSize(int64_t v) { FCompressedSize = v; }
  virtual void SetCRC32(uint32_t v) { FCRC32 = v; }
  virtual void SetExternalFileAttributes(uint32_t v) { FExternalFileAttributes = v; }
  virtual void SetFileName(const std::string& v) { FFileName = v; }
  virtual void SetIsEncrypted(bool v) { FIsEncrypted = v; }
  virtual void SetLastModFileDate(uint16_t v) { FLastModFileDate = v; }
  virtual void SetLastModFileTime(uint16_t v) { FLastModFileTime = v; }
  virtual void SetUncompressedSize(int64_t v) { FUncompressedSize = v; }

  // The DOS stamp as a local date-time; an invalid stamp raises EConvertError.
  virtual rtl::TDateTime LastModTimeAsDateTime() const;
  virtual void SetLastModTimeAsDateTime(rtl::TDateTime value);

  TArcArchiveAction Action() const { return FAction; }
  void SetAction(TArcArchiveAction v) { FAction = v; }
  const std::string& DiskFileName() const { return FDiskFileName; }
  void SetDiskFileName(const std::string& v) { FDiskFileName = v; }
  bool Tagged() const { return FTagged; }
  void SetTagged(bool v) { FTagged = v; }
  // Folder part (through the last backslash) of DiskFileName.
  std::string DiskPath() const;
  std::string StoredPath() const;

  // Mask tests against the stored name ("/" and "\" alike; a folder item's trailing
  // delimiter ignored) and against the disk name.
  bool MatchesStoredName(std::string_view mask) const;
  // ";"-separated masks, each trimmed; an empty list matches nothing.
  bool MatchesStoredNameEx(std::string_view masks) const;
  bool MatchesDiskName(std::string_view mask) const;

 protected:
  TArcArchiveAction FAction = aaNone;
  int64_t FCompressedSize = 0;
  uint32_t FCRC32 = 0;
  std::string FDiskFileName;
  uint32_t FExternalFileAttributes = 0;
  std::string FFileName;
  bool FIsEncrypted = false;
  uint16_t FLastModFileTime = 0;
  uint16_t FLastModFileDate = 0;
  bool FTagged = false;
  int64_t FUncompressedSize = 0;
};

}  // namespace qelvo::archive
