#include "unzip/unzipper.h"

#include "archive/errors.h"
#include "archive/paths.h"
#include "platform/file_system.h"
#include "unzip/item_extraction.h"

namespace qelvo::unzip {

using namespace archive;

TArcCustomUnZipper::TArcCustomUnZipper(TArcBaseComponent* aOwner) : TArcCustomZipBrowser(aOwner) {
  SetExtractOptions({eoCreateDirs});
  SetPasswordRetries(3);
}

void TArcCustomUnZipper::SetFileName(const std::string& value) {
  if (!value.empty()) {
    if (!platform::FileExists(value)) throw EArcFileNotFound();
    if (FileSizeOf(value) <= 0) throw EArcBadStream();
  }
  TArcCustomZipBrowser::SetFileName(value);
}

void TArcCustomUnZipper::SetExtractOptions(TArcExtractOptions value) {
  FExtractOptions = value;
  if (FArchive) FArchive->SetExtractOptions(value);
}

void TArcCustomUnZipper::SetPasswordRetries(uint8_t value) {
  FPasswordRetries = value;
  if (TArcZipArchive* zip = ZipArchive()) zip->SetPasswordRetries(value);
}

void TArcCustomUnZipper::ExtractFiles(std::string_view fileMask) { OpenedArchive().ExtractFiles(fileMask); }
void TArcCustomUnZipper::ExtractFilesEx(std::string_view fileMask, std::string_view exclusionMask) {
  OpenedArchive().ExtractFilesEx(fileMask, exclusionMask);
}
void TArcCustomUnZipper::ExtractAt(int index, const std::string& newName) { OpenedArchive().ExtractAt(index, newName); }
void TArcCustomUnZipper::ExtractToStream(std::string_view fileName, rtl::TStream* stream) {
  OpenedArchive().ExtractToStream(fileName, stream);
}
void TArcCustomUnZipper::ExtractTaggedItems() { OpenedArchive().ExtractTaggedItems(); }
void TArcCustomUnZipper::TestTaggedItems() { OpenedArchive().TestTaggedItems(); }
void TArcCustomUnZipper::TestAt(int index) { OpenedArchive().TestAt(index); }

void TArcCustomUnZipper::TestFiles(std::string_view fileMask) { OpenedArchive().TestFiles(fileMask); }

void TArcCustomUnZipper::BindArchive() {
  TArcCustomZipBrowser::BindArchive();
  FArchive->SetExtractOptions(FExtractOptions);
  FArchive->OnConfirmOverwrite = [this](std::string& name, bool& confirm) { ConfirmOverwrite(name, confirm); };
  if (TArcZipArchive* zip = ZipArchive()) {
    zip->SetPasswordRetries(FPasswordRetries);
    zip->OnNeedPassword = [this](TArcArchive*, rtl::ByteString& newPassword) { ForwardNeedPassword(newPassword); };
    zip->ExtractHelper = UnzipItemToFile;
    zip->ExtractToStreamHelper = UnzipItemToStream;
    zip->TestHelper = TestZipItem;
  }
}

void TArcCustomUnZipper::ConfirmOverwrite(std::string& name, bool& confirm) {
  confirm = true;
  if (OnConfirmOverwrite) OnConfirmOverwrite(name, confirm);
}

void TArcCustomUnZipper::ForwardNeedPassword(rtl::ByteString& newPassword) {
  if (!OnNeedPassword) return;
  OnNeedPassword(this, newPassword);
  SetPassword(newPassword);
}

}  // namespace qelvo::unzip
