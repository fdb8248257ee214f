#include "archive/archive.h"

#include <cstdio>
#include <utility>

#include "archive/paths.h"
#include "platform/clock.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "platform/path_walk.h"
#include "rtl/file_path.h"
#include "rtl/text.h"

namespace qelvo::archive {

namespace {

const char* ActionText(TArcProcessType type) {
  switch (type) {
    case ptAdd: return " added ";
    case ptDelete: return " deleted ";
    case ptExtract: return " extracted ";
    case ptFreshen: return " freshened ";
    case ptMove: return " moved ";
    case ptReplace: return " replaced ";
    case ptFoundUnhandled: return "Unhandled Entity";
  }
  return "";
}

// The user's short date-time, as the installer's locale writes it.
std::string ShortDateTime(rtl::TDateTime value) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  rtl::DecodeDate(value, y, mo, d);
  rtl::DecodeTime(value, h, mi, s, ms);
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", d, mo, y, h, mi, s);
  return text;
}

// A name Windows would refuse or turn into something else: reserved characters and
// control characters, a trailing dot or space (silently dropped there), a device name
// with or without an extension (spaces before the extension do not hide it).
bool IsBadWindowsComponent(std::string_view part) {
  for (char c : part)
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      return true;
  if (part.back() == '.' || part.back() == ' ') return true;
  std::string stem(part.substr(0, part.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  stem = rtl::UpperCaseAscii(stem);
  static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view d : kDevices)
    if (stem == d) return true;
  if (stem.size() < 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) return false;
  // A port's number: a digit, or the superscript one, two or three (U+00B9, U+00B2,
  // U+00B3), which Windows takes for the same ports.
  const std::string_view number = std::string_view(stem).substr(3);
  if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

// A stored name made safe to join below the base folder: empty and "." components
// dropped, ".." resolved. Raises EArcUnsafePath when the name is absolute, climbs above
// its start, names the base folder itself, or holds a NUL byte (which would cut the
// path short where the operating system sees it); EArcBadWindowsName when a component
// could not be created on Windows.
std::string ConfinedRelativeName(const std::string& name) {
  // A network path ("\\server\share") or one on a drive ("C:x"); a single leading
  // backslash, an empty component further in ("a\\b") and a colon further in are matters
  // for the name rules below.
  const bool absolute = name.compare(0, 2, "\\\\") == 0 || (name.size() > 1 && name[1] == ':');
  if (absolute || name.find('\0') != std::string::npos) throw EArcUnsafePath();
  std::vector<std::string_view> parts;
  std::string_view rest(name);
  bool badOnWindows = false;
  while (true) {
    const size_t sep = rest.find('\\');
    const std::string_view part = rest.substr(0, sep);
    if (part == "..") {
      if (parts.empty()) throw EArcUnsafePath();
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      badOnWindows = badOnWindows || IsBadWindowsComponent(part);
      parts.push_back(part);
    }
    if (sep == std::string_view::npos) break;
    rest.remove_prefix(sep + 1);
  }
  if (parts.empty()) throw EArcUnsafePath();
  if (badOnWindows) throw EArcBadWindowsName();
  std::string joined;
  for (std::string_view p : parts) {
    if (!joined.empty()) joined += '\\';
    joined += p;
  }
  return joined;
}

}  // namespace

// --- Construction ----------------------------------------------------------------------

TArcArchive::TArcArchive(const std::string& fileName, uint16_t mode) {
  FOwnsStream = true;
  FOwnedStream = std::make_unique<platform::TFileStream>(fileName, mode);
  FStream = FOwnedStream.get();
  Initialize();
  FArchiveName = fileName;
  FMode = mode;
}

TArcArchive::TArcArchive(rtl::TStream* stream, const std::string& archiveName) {
  Initialize();
  FArchiveName = archiveName;
  FStream = stream;
}

TArcArchive::~TArcArchive() {
  FItemList.reset();
  FLogStream.reset();
}

void TArcArchive::Initialize() {
  FItemList = std::make_unique<TArcArchiveList>(true);
  FIsDirty = false;
  FAutoSave = false;
  FExtractOptions = {};
  FStoreOptions = {};
  FStatus = asIdle;
  OnProgress = [this](uint8_t progress, bool& abort) { NotifyProgress(progress, abort); };
  SetBaseDirectory(platform::ExeFolder());
}

void TArcArchive::SetOwnedStream(std::unique_ptr<rtl::TStream> stream) {
  FOwnedStream = std::move(stream);
  FStream = FOwnedStream.get();
  FOwnsStream = true;
}

void TArcArchive::ReleaseOwnedStream() {
  FOwnedStream.reset();
  FStream = nullptr;
}

std::unique_ptr<rtl::TStream> TArcArchive::TakeOwnedStream() {
  FStream = nullptr;
  return std::move(FOwnedStream);
}

// --- Notifications ---------------------------------------------------------------------

void TArcArchive::NotifyItemFailure(TArcArchiveItem* item, TArcProcessType processType, TArcErrorClass errorClass,
                                    int32_t errorCode) {
  if (OnProcessItemFailure) OnProcessItemFailure(this, item, processType, errorClass, errorCode);
}

void TArcArchive::NotifySaveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (OnArchiveSaveProgress) OnArchiveSaveProgress(this, progress, abort);
}

void TArcArchive::NotifyArchiveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (OnArchiveProgress) OnArchiveProgress(this, progress, abort);
}

void TArcArchive::NotifyItemProgress(TArcArchiveItem* item, uint8_t progress, bool& abort) {
  abort = false;
  if (OnArchiveItemProgress) OnArchiveItemProgress(this, item, progress, abort);
}

void TArcArchive::ConfirmOverwrite(std::string& name, bool& confirm) {
  confirm = true;
  if (OnConfirmOverwrite) OnConfirmOverwrite(name, confirm);
}

void TArcArchive::ConfirmProcessItem(TArcArchiveItem* item, TArcProcessType processType, bool& confirm) {
  confirm = true;
  if (OnConfirmProcessItem) OnConfirmProcessItem(this, item, processType, confirm);
  if (confirm && FLogging) WriteLogEntry(item->FileName(), processType);
}

void TArcArchive::ConfirmSave(bool& confirm) {
  confirm = true;
  if (OnConfirmSave) OnConfirmSave(this, confirm);
}

void TArcArchive::NotifyLoad() {
  if (OnLoad) OnLoad(this);
}

void TArcArchive::NotifyProgress(uint8_t progress, bool& abort) {
  abort = false;
  NotifyItemProgress(FCurrentItem, progress, abort);
}

void TArcArchive::NotifySave() {
  if (OnSave) OnSave(this);
}

void TArcArchive::DoDeflateProgress(uint8_t percent) {
  bool abort = false;
  NotifyProgress(percent, abort);
  if (abort) throw EArcAbortProgress();
}

void TArcArchive::DoInflateProgress(uint8_t percent) {
  bool abort = false;
  NotifyProgress(percent, abort);
  if (abort) throw EArcAbortProgress();
}

void TArcArchive::DoSpanningMediaRequest(void*, int32_t) { throw EArcSpanningNotSupported(); }

// --- Reading and saving ----------------------------------------------------------------

void TArcArchive::EnsureValid() const {
  if (!FItemList || FStatus == asInvalid) throw EArcNoArchive();
}

void TArcArchive::Load() {
  try {
    ReadArchive();
    FStatus = asIdle;
  } catch (...) {
    NotifyLoad();
    throw;
  }
  NotifyLoad();
}

void TArcArchive::Save() {
  if (FStatus == asInvalid) return;
  if (!FIsDirty && Count() > 0) return;
  bool confirm = true;
  ConfirmSave(confirm);
  if (!confirm) return;
  WriteArchive();
  FIsDirty = false;
  NotifySave();
}

void TArcArchive::SaveIfPending(TArcArchiveItem* item) {
  if (item->Action() != aaNone) Save();
}

bool TArcArchive::Confirmed(TArcArchiveItem* item, TArcProcessType processType) {
  bool confirm = true;
  ConfirmProcessItem(item, processType, confirm);
  return confirm;
}

void TArcArchive::MarkChanged() {
  FIsDirty = true;
  if (FAutoSave) Save();
}

// --- Extraction ------------------------------------------------------------------------

template <class Op>
void TArcArchive::GuardItem(TArcArchiveItem* item, TArcProcessType processType, Op&& op) {
  try {
    FCurrentItem = item;
    op();
  } catch (const std::exception& e) {
    const TArcClassifiedError c = ClassifyException(e);
    NotifyItemFailure(item, processType, c.ErrorClass, c.ErrorCode);
  }
}

void TArcArchive::ReportArchiveProgress(int index) {
  bool abort = false;
  NotifyArchiveProgress(PercentOf(Count(), index + 1), abort);
  if (abort) throw EArcUserAbort();
}

void TArcArchive::ExtractFiles(std::string_view fileMask) { ExtractFilesEx(fileMask, ""); }

void TArcArchive::ExtractFilesEx(std::string_view fileMask, std::string_view exclusionMask) {
  EnsureValid();
  if (Count() == 0) return;
  for (int i = 0; i < Count(); ++i) {
    TArcArchiveItem* item = Items(i);
    if (item->MatchesStoredNameEx(fileMask) && !item->MatchesStoredNameEx(exclusionMask) &&
        (FExtractOptions.Has(eoCreateDirs) || !item->IsDirectory()))
      ExtractAt(i, "");
    ReportArchiveProgress(i);
  }
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
}

void TArcArchive::ExtractAt(int index, const std::string& newName) {
  EnsureValid();
  TArcArchiveItem* item = Items(index);
  SaveIfPending(item);
  if (!Confirmed(item, ptExtract)) return;
  std::string useName;
  try {
    if (!ResolveExtractPath(item, newName, useName)) return;
  } catch (const EArcNoSuchDirectory&) {
    throw;  // without eoCreateDirs a missing folder ends the whole run
  } catch (const EArcUserAbort&) {
    throw;
  } catch (const std::exception& e) {
    // A refused name, or a folder that cannot be created (a file stands in its way): this
    // item fails, the others go on.
    const TArcClassifiedError c = ClassifyException(e);
    NotifyItemFailure(item, ptExtract, c.ErrorClass, c.ErrorCode);
    return;
  }
  GuardItem(item, ptExtract, [&] { ExtractItemByIndex(index, useName); });
}

void TArcArchive::Extract(TArcArchiveItem* item, const std::string& newName) {
  const int index = FindItem(item);
  if (index >= 0) ExtractAt(index, newName);
}

void TArcArchive::ExtractToStream(std::string_view fileName, rtl::TStream* stream) {
  EnsureValid();
  const int index = FindFile(fileName);
  if (index < 0) return;
  TArcArchiveItem* item = Items(index);
  SaveIfPending(item);
  if (!Confirmed(item, ptExtract)) return;
  GuardItem(item, ptExtract, [&] { ExtractItemByIndexToStream(index, stream); });
}

void TArcArchive::ExtractTaggedItems() {
  EnsureValid();
  for (int i = 0; i < Count(); ++i) {
    if (Items(i)->Tagged()) ExtractAt(i, "");
    ReportArchiveProgress(i);
  }
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
}

void TArcArchive::TestTaggedItems() {
  EnsureValid();
  for (int i = 0; i < Count(); ++i) {
    TArcArchiveItem* item = Items(i);
    if (item->Tagged()) TestAt(i);
    ReportArchiveProgress(i);
  }
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
}

void TArcArchive::TestAt(int index) {
  EnsureValid();
  FCurrentItem = Items(index);
  TestItemByIndex(index);
}

void TArcArchive::TestFiles(std::string_view fileMask) {
  EnsureValid();
  for (int i = 0; i < Count(); ++i) {
    TArcArchiveItem* item = Items(i);
    if (item->MatchesStoredNameEx(fileMask)) GuardItem(item, ptExtract, [&] { TestItemByIndex(i); });
    ReportArchiveProgress(i);
  }
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
}

bool TArcArchive::ResolveExtractPath(TArcArchiveItem* item, const std::string& newName, std::string& useName) {
  useName.clear();
  const bool isFolder = item->IsDirectory();
  if (isFolder && !(FExtractOptions.Has(eoCreateDirs) && FExtractOptions.Has(eoRestorePath))) return false;
  if (!newName.empty()) {
    useName = newName;
  } else {
    std::string stored = item->FileName();
    ToBackslashes(stored);
    if (isFolder && !stored.empty() && stored.back() == '\\') stored.pop_back();
    if (!FExtractOptions.Has(eoRestorePath)) stored = rtl::ExtractFileName(stored);
    useName = ConfinedRelativeName(stored);
    // A link already inside the base folder, on the way or in the item's own place,
    // would carry the write elsewhere.
    if (platform::PathHasLinkBelow(FBaseDirectory, useName)) throw EArcUnsafePath();
  }
  if (GetPathType(useName) != ptAbsolute) useName = WithTrailingBackslash(FBaseDirectory) + useName;
  const std::string dir = FolderWithoutDelimiter(useName);
  if (!dir.empty() && !platform::DirectoryExists(dir)) {
    if (!FExtractOptions.Has(eoCreateDirs)) throw EArcNoSuchDirectory();
    CreateDirectoryPath(dir);
  }
  bool answer = true;
  if (!isFolder && platform::FileExists(useName)) ConfirmOverwrite(useName, answer);
  return answer;
}

// --- Lookup and tagging ----------------------------------------------------------------

int TArcArchive::FindFile(std::string_view name) const {
  for (int i = 0; i < Count(); ++i)
    if (rtl::SameTextAscii(Items(i)->FileName(), name)) return i;
  return -1;
}

int TArcArchive::FindItem(const TArcArchiveItem* item) const { return FindFile(item->FileName()); }

void TArcArchive::TagItems(std::string_view fileMask) {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->MatchesStoredNameEx(fileMask)) Items(i)->SetTagged(true);
}

void TArcArchive::UnTagItems(std::string_view fileMask) {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->MatchesStoredNameEx(fileMask)) Items(i)->SetTagged(false);
}

void TArcArchive::ClearTags() {
  for (int i = 0; i < Count(); ++i) Items(i)->SetTagged(false);
}

// --- Properties ------------------------------------------------------------------------

void TArcArchive::SetBaseDirectory(const std::string& value) {
  const std::string v = WithoutTrailingBackslash(value);
  if (!v.empty() && !platform::DirectoryExists(v)) throw EArcNoSuchDirectory();
  FBaseDirectory = v;
}

void TArcArchive::SetLogging(bool value) {
  FLogging = value;
  FLogStream.reset();
  if (!value || FLogFile.empty()) return;
  try {
    FLogStream = std::make_unique<platform::TFileStream>(FLogFile, platform::fmCreate | platform::fmShareDenyWrite);
    AppendLogLine(FArchiveName + " logging ");
  } catch (const std::exception&) {
    FLogStream.reset();
    throw EArcException("Error creating Log File");
  }
}

void TArcArchive::WriteLogEntry(const std::string& name, TArcProcessType processType) {
  AppendLogLine(name + ActionText(processType));
}

void TArcArchive::AppendLogLine(const std::string& text) {
  if (!FLogStream) return;
  const std::u16string line = rtl::Utf8ToUtf16(text + ShortDateTime(platform::Now()) + "\r\n");
  std::string bytes;
  bytes.reserve(line.size() * 2);
  for (char16_t c : line) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  FLogStream->WriteString(bytes);
}

}  // namespace qelvo::archive
