#pragma once
// TArcBaseBrowser: the root of the unzip component. It owns at most one open archive
// object, keeps the settings that are copied onto every archive it opens (base and temp
// folder, logging, progress meters) and routes the archive's events through its own
// handlers to the component's events. Opening is left to the derived classes.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/archive.h"
#include "archive/types.h"
#include "unzip/component.h"

namespace qelvo::unzip {

using archive::TArcArchive;
using archive::TArcArchiveItem;
using archive::TArcArchiveStatus;
using archive::TArcArchiveType;
using archive::TArcErrorClass;
using archive::TArcProcessType;

class TArcBaseBrowser;

// A progress display the component drives: a percentage, and a reset between items.
class IArcProgressMeter {
 public:
  virtual ~IArcProgressMeter() = default;
  virtual void ShowProgress(uint8_t progress) = 0;
  virtual void ResetProgress() = 0;
};

// The component's events carry the component itself as sender.
using TArcBrowserEvent = std::function<void(TArcBaseBrowser* sender)>;
using TArcBrowserProgressEvent = std::function<void(TArcBaseBrowser* sender, uint8_t progress, bool& abort)>;
using TArcBrowserItemProgressEvent =
    std::function<void(TArcBaseBrowser* sender, TArcArchiveItem* item, uint8_t progress, bool& abort)>;
using TArcBrowserItemConfirmEvent =
    std::function<void(TArcBaseBrowser* sender, TArcArchiveItem* item, TArcProcessType processType, bool& confirm)>;
using TArcBrowserItemFailureEvent = std::function<void(TArcBaseBrowser* sender, TArcArchiveItem* item,
                                                       TArcProcessType processType, TArcErrorClass errorClass,
                                                       int32_t errorCode)>;

class TArcBaseBrowser : public TArcBaseComponent {
 public:
  explicit TArcBaseBrowser(TArcBaseComponent* aOwner);
  // Frees the open archive without saving it.
  ~TArcBaseBrowser() override;

  // Opening and closing.
  const std::string& FileName() const { return FFileName; }
  virtual void SetFileName(const std::string& value) = 0;
  void OpenArchive(const std::string& fileName) { SetFileName(fileName); }
  void CloseArchive();

  // Settings copied onto the archive.
  const std::string& BaseDirectory() const { return FBaseDirectory; }
  void SetBaseDirectory(const std::string& value);
  const std::string& TempDirectory() const { return FTempDirectory; }
  void SetTempDirectory(const std::string& value);
  const std::string& LogFile() const { return FLogFile; }
  void SetLogFile(const std::string& value);
  bool Logging() const { return FLogging; }
  void SetLogging(bool value);
  int32_t SpanningThreshold() const { return FSpanningThreshold; }
  void SetSpanningThreshold(int32_t value);
  IArcProgressMeter* ArchiveProgressMeter() const { return FArchiveProgressMeter.Meter; }
  void SetArchiveProgressMeter(IArcProgressMeter* meter);
  IArcProgressMeter* ItemProgressMeter() const { return FItemProgressMeter.Meter; }
  void SetItemProgressMeter(IArcProgressMeter* meter);
  const archive::TArcRequestImageEvent& OnRequestImage() const { return FOnRequestImage; }
  virtual void SetOnRequestImage(archive::TArcRequestImageEvent value);

  // Type used for the next opening when ForceType is set; see SetArchiveType.
  TArcArchiveType ArchiveType() const { return FArchiveType; }
  // Refused with EArcArchiveBusy while the open archive is invalid.
  void SetArchiveType(TArcArchiveType value);
  bool ForceType() const { return FForceType; }
  void SetForceType(bool value) { FForceType = value; }

  // The open archive.
  int Count() const { return FArchive ? FArchive->Count() : 0; }
  TArcArchiveStatus Status() const { return FArchive ? FArchive->Status() : archive::asInvalid; }
  TArcArchive* Archive() const { return FArchive.get(); }
  // EArcNoArchive without an open archive; EListError for an index out of range.
  TArcArchiveItem* Items(int index) const;
  int FindItem(const TArcArchiveItem* item) const { return FArchive ? FArchive->FindItem(item) : -1; }
  int FindFile(std::string_view fileName) const { return FArchive ? FArchive->FindFile(fileName) : -1; }
  void TagItems(std::string_view fileMask);
  void UnTagItems(std::string_view fileMask);
  void ClearTags();
  static const char* Version() { return "5.0"; }

  TArcBrowserProgressEvent OnArchiveProgress;
  TArcBrowserItemProgressEvent OnArchiveItemProgress;
  TArcBrowserEvent OnChange;
  TArcBrowserItemConfirmEvent OnConfirmProcessItem;
  TArcBrowserEvent OnLoad;
  TArcBrowserItemFailureEvent OnProcessItemFailure;

  void Loaded() override { NotifyChange(); }

 protected:
  // Handlers the archive's events are routed to.
  virtual void ResetProgressMeters();
  virtual void NotifyItemProgress(TArcArchiveItem* item, uint8_t progress, bool& abort);
  virtual void NotifyArchiveProgress(uint8_t progress, bool& abort);
  virtual void NotifyChange();
  virtual void ConfirmProcessItem(TArcArchiveItem* item, TArcProcessType processType, bool& confirm);
  virtual void NotifyLoad();
  virtual void NotifyItemFailure(TArcArchiveItem* item, TArcProcessType processType, TArcErrorClass errorClass,
                                 int32_t errorCode);
  // Copies the settings onto a newly created archive and routes its events; derived
  // classes add their own part after this one.
  virtual void BindArchive();
  void Notification(TArcBaseComponent* aComponent) override;

  // Fails with EArcNoArchive when no archive is open.
  TArcArchive& OpenedArchive() const;
  // Saves (ignoring failures) and frees the open archive.
  void DropArchive();

  std::unique_ptr<TArcArchive> FArchive;
  std::string FFileName;
  TArcArchiveType FArchiveType = archive::atUnknown;
  bool FForceType = false;

 private:
  struct TMeterRef {
    IArcProgressMeter* Meter = nullptr;
    TArcBaseComponent* Component = nullptr;  // the meter as a component, when it is one
  };
  void SetMeter(TMeterRef& ref, IArcProgressMeter* meter);

  int32_t FSpanningThreshold = 0;
  TMeterRef FItemProgressMeter;
  TMeterRef FArchiveProgressMeter;
  std::string FBaseDirectory;
  std::string FLogFile;
  bool FLogging = false;
  archive::TArcRequestImageEvent FOnRequestImage;
  std::string FTempDirectory;
};

}  // namespace qelvo::unzip
