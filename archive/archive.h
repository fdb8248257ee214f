#pragma once
// TArcArchive: the format-independent core of archive extraction.
//
// An archive holds the items a format read from one file or stream, selects them by
// name masks and tags, decides where each one lands on disk (ResolveExtractPath, which
// keeps stored names inside BaseDirectory), asks its owner through events and hands each
// item to the format. A format meets the model through four operations: ReadArchive
// fills the list, and ExtractItemByIndex, ExtractItemByIndexToStream and TestItemByIndex
// move one item's data. Anything one item's extraction raises becomes an item-failure
// report and the loop goes on with the next item.
//
// The adding, deleting, moving and freshening operations only keep the bookkeeping
// (pending actions, dirty flag); a format's WriteArchive carries them out on Save.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "archive/archive_item.h"
#include "archive/archive_list.h"
#include "archive/types.h"
#include "rtl/stream.h"

namespace qelvo::archive {

class TArcArchive {
 public:
  // Opens fileName with the platform file stream in mode and owns that stream.
  TArcArchive(const std::string& fileName, uint16_t mode);
  // Works on a caller's stream, which stays the caller's.
  TArcArchive(rtl::TStream* stream, const std::string& archiveName);
  virtual ~TArcArchive();
  TArcArchive(const TArcArchive&) = delete;
  TArcArchive& operator=(const TArcArchive&) = delete;

  // --- Format operations -------------------------------------------------------------
  virtual std::unique_ptr<TArcArchiveItem> CreateItem(const std::string& storedName) = 0;
  virtual void ExtractItemByIndex(int index, const std::string& useName) = 0;
  virtual void ExtractItemByIndexToStream(int index, rtl::TStream* stream) = 0;
  virtual void ReadArchive() = 0;
  virtual void WriteArchive() = 0;
  virtual void TestItemByIndex(int index) = 0;

  // --- Notifications (each calls its event when assigned) -----------------------------
  virtual void NotifyItemFailure(TArcArchiveItem* item, TArcProcessType processType, TArcErrorClass errorClass,
                                 int32_t errorCode);
  virtual void NotifySaveProgress(uint8_t progress, bool& abort);
  virtual void NotifyArchiveProgress(uint8_t progress, bool& abort);
  virtual void NotifyItemProgress(TArcArchiveItem* item, uint8_t progress, bool& abort);
  virtual void ConfirmOverwrite(std::string& name, bool& confirm);
  virtual void ConfirmProcessItem(TArcArchiveItem* item, TArcProcessType processType, bool& confirm);
  virtual void ConfirmSave(bool& confirm);
  virtual void NotifyLoad();
  // Byte-level progress of the current item; the archive's own OnProgress.
  virtual void NotifyProgress(uint8_t progress, bool& abort);
  virtual void NotifySave();
  virtual std::string NormalizeStoredName(const std::string& path);
  virtual int64_t SpanningThreshold() const { return FSpanningThreshold; }
  virtual bool SupportsEmptyFolders() const { return false; }
  virtual void SetSpanningThreshold(int64_t value) { FSpanningThreshold = value; }

  virtual void Add(std::unique_ptr<TArcArchiveItem> item);
  // Reads the item list (ReadArchive); NotifyLoad runs afterwards also on failure.
  virtual void Load();
  virtual void Move(TArcArchiveItem* item, const std::string& newStoredPath);
  virtual void Save();
  // Progress hooks of the codecs: raise EArcAbortProgress when the owner aborts.
  virtual void DoDeflateProgress(uint8_t percent);
  virtual void DoInflateProgress(uint8_t percent);
  virtual void DoSpanningMediaRequest(void* sender, int32_t imageNumber);

  // --- Extraction and testing ---------------------------------------------------------
  void ExtractFiles(std::string_view fileMask);
  void ExtractFilesEx(std::string_view fileMask, std::string_view exclusionMask);
  void ExtractAt(int index, const std::string& newName);
  void Extract(TArcArchiveItem* item, const std::string& newName);
  void ExtractToStream(std::string_view fileName, rtl::TStream* stream);
  void ExtractTaggedItems();
  void TestTaggedItems();
  // Tests one item; its failure leaves as an exception.
  void TestAt(int index);
  // Tests every item matching fileMask in one pass; an item's failure is reported through
  // NotifyItemFailure (ptExtract) and the loop goes on with the next item.
  void TestFiles(std::string_view fileMask);
  // Where an item would be written: false when it is skipped (a folder item without
  // both folder options, or an overwrite the owner refused). A target taken from the
  // stored name must stay inside BaseDirectory: an absolute name, or one whose ".."
  // components climb out, raises EArcUnsafePath (ExtractAt reports it as an item
  // failure). A NewName given by the caller is used as given.
  bool ResolveExtractPath(TArcArchiveItem* item, const std::string& newName, std::string& useName);

  // --- Lookup and tagging -------------------------------------------------------------
  int FindFile(std::string_view name) const;
  int FindItem(const TArcArchiveItem* item) const;
  void TagItems(std::string_view fileMask);
  void UnTagItems(std::string_view fileMask);
  void ClearTags();

  // --- Archive changes (bookkeeping for the next Save) --------------------------------
  void AddFiles(const std::string& fileMask, uint32_t searchAttr);
  void AddFilesEx(const std::string& fileMask, std::string_view exclusionMask, uint32_t searchAttr);
  void AddFromStream(const std::string& fileName, rtl::TStream* stream);
  void Delete(TArcArchiveItem* item);
  void DeleteAt(int index);
  void DeleteFiles(std::string_view fileMask);
  void DeleteFilesEx(std::string_view fileMask, std::string_view exclusionMask);
  void DeleteTaggedItems();
  void Freshen(TArcArchiveItem* item);
  void FreshenFiles(std::string_view fileMask);
  void FreshenFilesEx(std::string_view fileMask, std::string_view exclusionMask);
  void FreshenTaggedItems();
  void Replace(TArcArchiveItem* item);

  // --- Properties ---------------------------------------------------------------------
  const std::string& ArchiveName() const { return FArchiveName; }
  bool AutoSave() const { return FAutoSave; }
  void SetAutoSave(bool v) { FAutoSave = v; }
  const std::string& BaseDirectory() const { return FBaseDirectory; }
  // Drops a trailing backslash (not from "C:\"); a missing folder raises
  // EArcNoSuchDirectory and keeps the old value; "" is accepted.
  void SetBaseDirectory(const std::string& value);
  int Count() const { return FItemList ? FItemList->Count() : 0; }
  bool DOSMode() const { return FDOSMode; }
  void SetDOSMode(bool v) { FDOSMode = v; }
  TArcExtractOptions ExtractOptions() const { return FExtractOptions; }
  void SetExtractOptions(TArcExtractOptions v) { FExtractOptions = v; }
  bool IsDirty() const { return FIsDirty; }
  void SetIsDirty(bool v) { FIsDirty = v; }
  TArcArchiveList* ItemList() const { return FItemList.get(); }
  // Raises EListError for an index out of range.
  TArcArchiveItem* Items(int index) const { return FItemList->Get(index); }
  const std::string& LogFile() const { return FLogFile; }
  void SetLogFile(const std::string& v) { FLogFile = v; }
  bool Logging() const { return FLogging; }
  void SetLogging(bool value);
  uint16_t Mode() const { return FMode; }
  bool Spanned() const { return FSpanned; }
  TArcArchiveStatus Status() const { return FStatus; }
  void SetStatus(TArcArchiveStatus v) { FStatus = v; }
  TArcStoreOptions StoreOptions() const { return FStoreOptions; }
  void SetStoreOptions(TArcStoreOptions v) { FStoreOptions = v; }
  const std::string& TempDirectory() const { return FTempDir; }
  void SetTempDirectory(const std::string& v) { FTempDir = v; }
  rtl::TStream* Stream() const { return FStream; }
  TArcArchiveItem* CurrentItem() const { return FCurrentItem; }
  bool OwnsStream() const { return FOwnsStream; }

  // Appends "name + action text + date-time CR LF" (UTF-16LE) to the open log.
  void WriteLogEntry(const std::string& name, TArcProcessType processType);

  // --- Events -------------------------------------------------------------------------
  TArcArchiveItemFailureEvent OnProcessItemFailure;
  TArcArchiveProgressEvent OnArchiveProgress;
  TArcArchiveProgressEvent OnArchiveSaveProgress;
  TArcArchiveItemProgressEvent OnArchiveItemProgress;
  TArcArchiveItemConfirmEvent OnConfirmProcessItem;
  TArcConfirmOverwriteEvent OnConfirmOverwrite;
  TArcArchiveConfirmEvent OnConfirmSave;
  TArcArchiveEvent OnLoad;
  // Byte-level progress; set to NotifyProgress at construction.
  TArcProgressEvent OnProgress;
  TArcRequestImageEvent OnRequestImage;
  TArcArchiveEvent OnSave;

 protected:
  // Under DOSMode: the path joined to BaseDirectory, with its folders and file checked to
  // exist (the file systems here keep no separate short names).
  std::string ApplyDosMode(const std::string& path) const;
  // Fails with EArcNoArchive when there is no list or the status is asInvalid.
  void EnsureValid() const;
  void SaveIfPending(TArcArchiveItem* item);
  // Asks ConfirmProcessItem (and so OnConfirmProcessItem) about the item; true to go on.
  bool Confirmed(TArcArchiveItem* item, TArcProcessType processType);
  // The archive has changes to save; under AutoSave they are saved at once.
  void MarkChanged();
  // Replaces the archive's stream by one it owns (reopening a file).
  void SetOwnedStream(std::unique_ptr<rtl::TStream> stream);
  void ReleaseOwnedStream();
  // Hands the owned stream to the caller; the archive is left without a stream.
  std::unique_ptr<rtl::TStream> TakeOwnedStream();

  rtl::TStream* FStream = nullptr;
  TArcArchiveStatus FStatus = asIdle;
  std::string FArchiveName;
  bool FAutoSave = false;
  std::string FBaseDirectory;
  TArcArchiveItem* FCurrentItem = nullptr;
  bool FDOSMode = false;
  TArcExtractOptions FExtractOptions;
  uint16_t FImageNumber = 0;
  rtl::TStream* FInStream = nullptr;
  bool FIsDirty = false;
  int64_t FSpanningThreshold = 0;
  std::unique_ptr<TArcArchiveList> FItemList;
  std::string FLogFile;
  bool FLogging = false;
  std::unique_ptr<rtl::TStream> FLogStream;
  uint16_t FMode = 0;
  bool FOwnsStream = false;
  bool FSpanned = false;
  TArcStoreOptions FStoreOptions;
  std::string FTempDir;

 private:
  void Initialize();
  // Runs one item's format operation; anything it raises becomes an item failure.
  template <class Op>
  void GuardItem(TArcArchiveItem* item, TArcProcessType processType, Op&& op);
  void ReportArchiveProgress(int index);
  // Appends text, the current date-time and CR LF to the open log, as UTF-16LE.
  void AppendLogLine(const std::string& text);

  std::unique_ptr<rtl::TStream> FOwnedStream;
};

}  // namespace qelvo::archive
