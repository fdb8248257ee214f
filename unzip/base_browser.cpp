#include "unzip/base_browser.h"

#include "archive/errors.h"

namespace qelvo::unzip {

using archive::EArcNoArchive;

TArcBaseBrowser::TArcBaseBrowser(TArcBaseComponent* aOwner) : TArcBaseComponent(aOwner) {}

TArcBaseBrowser::~TArcBaseBrowser() = default;

void TArcBaseBrowser::CloseArchive() {
  if (!FFileName.empty()) SetFileName("");
}

TArcArchive& TArcBaseBrowser::OpenedArchive() const {
  if (!FArchive) throw EArcNoArchive();
  return *FArchive;
}

void TArcBaseBrowser::DropArchive() {
  if (!FArchive) return;
  try {
    FArchive->Save();
  } catch (const std::exception&) {
    // Replacing the archive goes on whatever saving the old one says.
  }
  FArchive.reset();
}

void TArcBaseBrowser::SetBaseDirectory(const std::string& value) {
  if (FArchive) {
    FArchive->SetBaseDirectory(value);
    FBaseDirectory = FArchive->BaseDirectory();
  } else {
    FBaseDirectory = value;
  }
}

void TArcBaseBrowser::SetTempDirectory(const std::string& value) {
  FTempDirectory = value;
  if (FArchive) FArchive->SetTempDirectory(value);
}

void TArcBaseBrowser::SetLogFile(const std::string& value) {
  FLogFile = value;
  if (FArchive) FArchive->SetLogFile(value);
  SetLogging(!value.empty());
}

void TArcBaseBrowser::SetLogging(bool value) {
  FLogging = value;
  if (FArchive) FArchive->SetLogging(value);
}

void TArcBaseBrowser::SetSpanningThreshold(int32_t value) {
  FSpanningThreshold = value;
  if (FArchive) FArchive->SetSpanningThreshold(value);
}

void TArcBaseBrowser::SetMeter(TMeterRef& ref, IArcProgressMeter* meter) {
  if (ref.Component != nullptr) RemoveFreeNotification(ref.Component);
  ref.Meter = meter;
  ref.Component = dynamic_cast<TArcBaseComponent*>(meter);
  if (ref.Component != nullptr) FreeNotification(ref.Component);
}

void TArcBaseBrowser::SetArchiveProgressMeter(IArcProgressMeter* meter) { SetMeter(FArchiveProgressMeter, meter); }
void TArcBaseBrowser::SetItemProgressMeter(IArcProgressMeter* meter) { SetMeter(FItemProgressMeter, meter); }

void TArcBaseBrowser::Notification(TArcBaseComponent* aComponent) {
  for (TMeterRef* ref : {&FArchiveProgressMeter, &FItemProgressMeter}) {
    if (ref->Component == aComponent) *ref = TMeterRef{};
  }
}

void TArcBaseBrowser::SetOnRequestImage(archive::TArcRequestImageEvent value) {
  FOnRequestImage = std::move(value);
  if (FArchive) FArchive->OnRequestImage = FOnRequestImage;
}

void TArcBaseBrowser::SetArchiveType(TArcArchiveType value) {
  if (FArchive && FArchive->Status() == archive::asInvalid) throw archive::EArcArchiveBusy();
  FArchiveType = value;
}

TArcArchiveItem* TArcBaseBrowser::Items(int index) const { return OpenedArchive().Items(index); }
void TArcBaseBrowser::TagItems(std::string_view fileMask) { OpenedArchive().TagItems(fileMask); }
void TArcBaseBrowser::UnTagItems(std::string_view fileMask) { OpenedArchive().UnTagItems(fileMask); }
void TArcBaseBrowser::ClearTags() { OpenedArchive().ClearTags(); }

void TArcBaseBrowser::ResetProgressMeters() {
  if (FArchiveProgressMeter.Meter) FArchiveProgressMeter.Meter->ResetProgress();
  if (FItemProgressMeter.Meter) FItemProgressMeter.Meter->ResetProgress();
}

void TArcBaseBrowser::NotifyItemProgress(TArcArchiveItem* item, uint8_t progress, bool& abort) {
  abort = false;
  if (FItemProgressMeter.Meter) FItemProgressMeter.Meter->ShowProgress(progress);
  if (OnArchiveItemProgress) OnArchiveItemProgress(this, item, progress, abort);
}

void TArcBaseBrowser::NotifyArchiveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (FArchiveProgressMeter.Meter) FArchiveProgressMeter.Meter->ShowProgress(progress);
  if (OnArchiveProgress) OnArchiveProgress(this, progress, abort);
}

void TArcBaseBrowser::NotifyChange() {
  if (OnChange) OnChange(this);
}

void TArcBaseBrowser::ConfirmProcessItem(TArcArchiveItem* item, TArcProcessType processType, bool& confirm) {
  confirm = true;
  if (FItemProgressMeter.Meter) FItemProgressMeter.Meter->ResetProgress();
  if (OnConfirmProcessItem) OnConfirmProcessItem(this, item, processType, confirm);
}

void TArcBaseBrowser::NotifyLoad() {
  if (OnLoad) OnLoad(this);
}

void TArcBaseBrowser::NotifyItemFailure(TArcArchiveItem* item, TArcProcessType processType,
                                        TArcErrorClass errorClass, int32_t errorCode) {
  if (OnProcessItemFailure) OnProcessItemFailure(this, item, processType, errorClass, errorCode);
}

void TArcBaseBrowser::BindArchive() {
  TArcArchive& a = *FArchive;
  ResetProgressMeters();
  a.SetSpanningThreshold(FSpanningThreshold);
  a.SetLogFile(FLogFile);
  a.SetLogging(FLogging);
  a.SetTempDirectory(FTempDirectory);
  SetBaseDirectory(FBaseDirectory);

  a.OnArchiveProgress = [this](TArcArchive*, uint8_t progress, bool& abort) { NotifyArchiveProgress(progress, abort); };
  a.OnArchiveItemProgress = [this](TArcArchive*, TArcArchiveItem* item, uint8_t progress, bool& abort) {
    NotifyItemProgress(item, progress, abort);
  };
  a.OnConfirmProcessItem = [this](TArcArchive*, TArcArchiveItem* item, TArcProcessType type, bool& confirm) {
    ConfirmProcessItem(item, type, confirm);
  };
  a.OnLoad = [this](TArcArchive*) { NotifyLoad(); };
  a.OnProcessItemFailure = [this](TArcArchive*, TArcArchiveItem* item, TArcProcessType type, TArcErrorClass cls,
                                  int32_t code) { NotifyItemFailure(item, type, cls, code); };
  a.OnRequestImage = FOnRequestImage;
}

}  // namespace qelvo::unzip
