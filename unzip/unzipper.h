#pragma once
// The unzip component: the one object the rest of the system uses to unpack an archive
// file. Typical use, as the installer does it:
//
//   TArcUnZipper unzipper(nullptr);
//   unzipper.SetExtractOptions({eoCreateDirs, eoRestorePath});
//   unzipper.SetFileName("C:\\temp\\package.zip");   // opens and reads the directory
//   unzipper.SetBaseDirectory("C:\\Product\\");
//   unzipper.ExtractFiles("*.*");                    // item failures go to OnProcessItemFailure
//
// Opening failures raise; a failure of one item is reported and the next item follows.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "unzip/zip_browser.h"

namespace qelvo::unzip {

using TArcBrowserNeedPasswordEvent = std::function<void(TArcBaseBrowser* sender, rtl::ByteString& newPassword)>;

class TArcCustomUnZipper : public TArcCustomZipBrowser {
 public:
  explicit TArcCustomUnZipper(TArcBaseComponent* aOwner);

  // Refuses a missing file (EArcFileNotFound) and an empty one (EArcBadStream) before
  // anything changes, then opens it.
  void SetFileName(const std::string& value) override;

  archive::TArcExtractOptions ExtractOptions() const { return FExtractOptions; }
  void SetExtractOptions(archive::TArcExtractOptions value);
  uint8_t PasswordRetries() const { return FPasswordRetries; }
  void SetPasswordRetries(uint8_t value);
  archive::TArcConfirmOverwriteEvent OnConfirmOverwrite;
  TArcBrowserNeedPasswordEvent OnNeedPassword;

  // Each fails with EArcNoArchive when no archive is open.
  void ExtractFiles(std::string_view fileMask);
  void ExtractFilesEx(std::string_view fileMask, std::string_view exclusionMask);
  void ExtractAt(int index, const std::string& newName);
  void ExtractToStream(std::string_view fileName, rtl::TStream* stream);
  void ExtractTaggedItems();
  void TestTaggedItems();
  void TestAt(int index);
  void TestFiles(std::string_view fileMask);

 protected:
  void BindArchive() override;
  virtual void ConfirmOverwrite(std::string& name, bool& confirm);
  virtual void ForwardNeedPassword(rtl::ByteString& newPassword);

 private:
  archive::TArcExtractOptions FExtractOptions;
  uint8_t FPasswordRetries = 3;
};

// The component as it is placed and configured; it adds nothing.
class TArcUnZipper final : public TArcCustomUnZipper {
 public:
  explicit TArcUnZipper(TArcBaseComponent* aOwner = nullptr) : TArcCustomUnZipper(aOwner) {}
};

}  // namespace qelvo::unzip
