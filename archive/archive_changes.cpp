#include "archive/archive.h"

#include <utility>

#include "archive/dos_time.h"
#include "archive/paths.h"
#include "platform/file_system.h"
#include "rtl/file_path.h"
#include "rtl/text.h"

namespace qelvo::archive {

// Adding, deleting, freshening and moving items (saved at once under auto-save).

std::string TArcArchive::ApplyDosMode(const std::string& path) const {
  if (!FDOSMode) return path;
  std::string name = path;
  if (!FBaseDirectory.empty() && !(name.size() > 1 && name[1] == ':') && !(!name.empty() && name[0] == '\\'))
    name = WithTrailingBackslash(FBaseDirectory) + name;
  const std::string folder = FolderWithoutDelimiter(name);
  if (!folder.empty() && !platform::DirectoryExists(folder)) throw EArcException("Path not found");
  if (!platform::FileExists(name) && !platform::DirectoryExists(name)) throw EArcFileNotFound();
  return name;
}

std::string TArcArchive::NormalizeStoredName(const std::string& path) {
  std::string name = ApplyDosMode(path);
  if (FStoreOptions.Has(soStripDrive)) RemoveDrive(name);
  if (!name.empty() && name[0] == '\\') name.erase(0, 1);
  if (FStoreOptions.Has(soStripPath)) name = rtl::ExtractFileName(name);
  if (FStoreOptions.Has(soRemoveDots)) RemoveLeadingParentRefs(name);
  return name;
}

void TArcArchive::Add(std::unique_ptr<TArcArchiveItem> item) {
  EnsureValid();
  const int existing = FItemList->Find(item->FileName());
  if (existing >= 0 && FItemList->IsActiveDupe(item->FileName())) {
    if (FStoreOptions.Has(soFreshen)) {
      Freshen(Items(existing));
    } else if (FStoreOptions.Has(soReplace)) {
      Replace(Items(existing));
    } else {
      NotifyItemFailure(item.get(), ptAdd, ecArchive, kArcDuplicateName);
    }
    return;
  }
  if (!Confirmed(item.get(), ptAdd)) return;
  item->SetAction(FInStream ? aaStreamAdd : aaAdd);
  FItemList->Add(std::move(item));
  MarkChanged();
}

void TArcArchive::AddFiles(const std::string& fileMask, uint32_t searchAttr) { AddFilesEx(fileMask, "", searchAttr); }

void TArcArchive::AddFilesEx(const std::string& fileMask, std::string_view exclusionMask, uint32_t searchAttr) {
  EnsureValid();
  if (!SupportsEmptyFolders()) searchAttr &= ~platform::faDirectory;
  std::string mask = fileMask;
  ToBackslashes(mask);
  std::string root = rtl::ExtractFilePath(mask);
  const std::string namePattern = rtl::ExtractFileName(mask);
  if (GetPathType(root) != ptAbsolute) root = WithTrailingBackslash(FBaseDirectory) + root;
  const bool recurse = FStoreOptions.Has(soRecurse);
  std::vector<std::string> folders{root};
  while (!folders.empty()) {
    const std::string folder = WithTrailingBackslash(folders.back());
    folders.pop_back();
    std::vector<platform::TDirEntry> entries;
    if (!platform::ListDirectory(folder, entries)) continue;
    for (const platform::TDirEntry& e : entries) {
      const std::string full = folder + e.Name;
      if (e.IsDirectory && recurse) folders.push_back(full);
      if (e.IsDirectory && !(searchAttr & platform::faDirectory)) continue;
      if (!NameMatchesMask(e.Name, namePattern)) continue;
      if (rtl::SameTextAscii(full, FArchiveName)) continue;
      std::unique_ptr<TArcArchiveItem> item = CreateItem(full);
      if (item->MatchesDiskName(exclusionMask) || item->MatchesStoredNameEx(exclusionMask)) continue;
      Add(std::move(item));
    }
  }
}

void TArcArchive::AddFromStream(const std::string& fileName, rtl::TStream* stream) {
  FInStream = stream;
  struct TReset {
    rtl::TStream*& s;
    ~TReset() { s = nullptr; }
  } reset{FInStream};
  Add(CreateItem(fileName));
  Save();
}

void TArcArchive::Delete(TArcArchiveItem* item) {
  if (!Confirmed(item, ptDelete)) return;
  item->SetAction(aaDelete);
  MarkChanged();
}

void TArcArchive::DeleteAt(int index) { Delete(Items(index)); }

void TArcArchive::DeleteFiles(std::string_view fileMask) { DeleteFilesEx(fileMask, ""); }

void TArcArchive::DeleteFilesEx(std::string_view fileMask, std::string_view exclusionMask) {
  EnsureValid();
  for (int i = Count() - 1; i >= 0; --i) {
    TArcArchiveItem* item = Items(i);
    if (item->MatchesStoredNameEx(fileMask) && !item->MatchesStoredNameEx(exclusionMask)) Delete(item);
  }
}

void TArcArchive::DeleteTaggedItems() {
  EnsureValid();
  for (int i = Count() - 1; i >= 0; --i)
    if (Items(i)->Tagged()) Delete(Items(i));
}

void TArcArchive::Freshen(TArcArchiveItem* item) {
  bool changed = false;
  try {
    const int64_t size = FileSizeOf(item->DiskFileName());
    rtl::TDateTime stamp = 0;
    if (size < 0 || !platform::FileGetDate(item->DiskFileName(), stamp)) throw EArcFileNotFound();
    const TArcDosStamp dos = DateTimeToDosStamp(stamp);
    changed = size != item->UncompressedSize() || dos.Date != item->LastModFileDate() ||
              dos.Time != item->LastModFileTime();
  } catch (const std::exception& e) {
    const TArcClassifiedError c = ClassifyException(e);
    NotifyItemFailure(item, ptFreshen, c.ErrorClass, c.ErrorCode);
    return;
  }
  if (!changed) return;
  if (!Confirmed(item, ptFreshen)) return;
  item->SetAction(aaFreshen);
  MarkChanged();
}

void TArcArchive::FreshenFiles(std::string_view fileMask) { FreshenFilesEx(fileMask, ""); }

void TArcArchive::FreshenFilesEx(std::string_view fileMask, std::string_view exclusionMask) {
  EnsureValid();
  for (int i = 0; i < Count(); ++i) {
    TArcArchiveItem* item = Items(i);
    if (item->MatchesStoredNameEx(fileMask) && !item->MatchesStoredNameEx(exclusionMask)) Freshen(item);
  }
}

void TArcArchive::FreshenTaggedItems() {
  EnsureValid();
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->Tagged()) Freshen(Items(i));
}

void TArcArchive::Move(TArcArchiveItem* item, const std::string& newStoredPath) {
  EnsureValid();
  const std::string name = NormalizeStoredName(newStoredPath);
  const int other = FItemList->Find(name);
  if (other >= 0 && Items(other) != item && FItemList->IsActiveDupe(name)) {
    NotifyItemFailure(item, ptMove, ecArchive, kArcDuplicateName);
    return;
  }
  if (!Confirmed(item, ptMove)) return;
  FItemList->Rename(item, name);
  item->SetAction(aaMove);
  MarkChanged();
}

void TArcArchive::Replace(TArcArchiveItem* item) {
  if (!Confirmed(item, ptReplace)) return;
  item->SetAction(aaReplace);
  MarkChanged();
}

}  // namespace qelvo::archive
