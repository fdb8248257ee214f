#include "archive/archive_item.h"

#include "archive/dos_time.h"
#include "archive/paths.h"
#include "platform/file_system.h"
#include "rtl/text.h"

namespace qelvo::archive {

namespace {

// The stored name with "/" as "\" and, for a folder item, without its trailing delimiter.
std::string ComparableStoredName(const TArcArchiveItem& item) {
  std::string name = item.FileName();
  ToBackslashes(name);
  if (item.IsDirectory() && !name.empty() && name.back() == '\\') name.pop_back();
  return name;
}

}  // namespace

uint32_t TArcArchiveItem::NativeFileAttributes() const { return IsDirectory() ? uint32_t{platform::faDirectory} : 0u; }

rtl::TDateTime TArcArchiveItem::LastModTimeAsDateTime() const {
  return DosStampToDateTime(LastModFileDate(), LastModFileTime());
}

void TArcArchiveItem::SetLastModTimeAsDateTime(rtl::TDateTime value) {
  const TArcDosStamp stamp = DateTimeToDosStamp(value);
  SetLastModFileTime(stamp.Time);
  SetLastModFileDate(stamp.Date);
}

std::string TArcArchiveItem::DiskPath() const {
  const size_t at = FDiskFileName.rfind('\\');
  return at == std::string::npos ? std::string() : FDiskFileName.substr(0, at + 1);
}

std::string TArcArchiveItem::StoredPath() const { return DiskPath(); }

bool TArcArchiveItem::MatchesStoredName(std::string_view mask) const {
  std::string m(mask);
  ToBackslashes(m);
  const TArcPathParts parts = SplitPathParts(m);
  return NameMatchesMask(ComparableStoredName(*this), parts.Folder + parts.FileName);
}

bool TArcArchiveItem::MatchesStoredNameEx(std::string_view masks) const {
  while (!masks.empty()) {
    const size_t sep = masks.find(';');
    const std::string part = rtl::Trim(masks.substr(0, sep));
    if (MatchesStoredName(part)) return true;
    if (sep == std::string_view::npos) break;
    masks.remove_prefix(sep + 1);
  }
  return false;
}

bool TArcArchiveItem::MatchesDiskName(std::string_view mask) const {
  std::string name = FDiskFileName, m(mask);
  ToBackslashes(name);
  ToBackslashes(m);
  return NameMatchesMask(name, m);
}

}  // namespace qelvo::archive
