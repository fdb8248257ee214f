#pragma once
// TArcCustomZipBrowser: opens the archive, by file name or over a caller's stream,
// after detecting its type, and adds what only ZIP archives have: the password and the
// disk requests of spanned sets.
#include <string>

#include "archive/zip_archive.h"
#include "rtl/text.h"
#include "unzip/base_browser.h"

namespace qelvo::unzip {

class TArcCustomZipBrowser : public TArcBaseBrowser {
 public:
  explicit TArcCustomZipBrowser(TArcBaseComponent* aOwner) : TArcBaseBrowser(aOwner) {}

  // Closes the open archive and opens the named one ("" only closes).
  void SetFileName(const std::string& value) override;
  // The open archive's stream, or none.
  rtl::TStream* Stream() const { return FArchive ? FArchive->Stream() : nullptr; }
  // Closes the open archive and opens one over aStream, which stays the caller's
  // (none only closes).
  void SetStream(rtl::TStream* aStream);
  // A gzipped or bzipped tar shows the tar's items (on) or the one compressed item (off);
  // changing it switches the open archive at once.
  bool TarAutoHandle() const { return FTarAutoHandle; }
  void SetTarAutoHandle(bool value);

  const rtl::ByteString& Password() const { return FPassword; }
  void SetPassword(const rtl::ByteString& value);
  const archive::TArcRequestDiskEvent& OnRequestLastDisk() const { return FOnRequestLastDisk; }
  void SetOnRequestLastDisk(archive::TArcRequestDiskEvent value);
  const archive::TArcRequestNthDiskEvent& OnRequestNthDisk() const { return FOnRequestNthDisk; }
  void SetOnRequestNthDisk(archive::TArcRequestNthDiskEvent value);
  // Kept for spanned-set writing; never copied to an archive.
  archive::TArcRequestDiskEvent OnRequestBlankDisk;

  // The open archive when it is a ZIP archive, else none.
  archive::TArcZipArchive* ZipArchive() const { return dynamic_cast<archive::TArcZipArchive*>(FArchive.get()); }
  // The item at index of an open ZIP archive (EArcNoArchive / EListError as Items).
  archive::TArcZipItem* GetItem(int index) const;
  // The raw archive comment; empty for other types.
  rtl::ByteString ZipfileComment() const;
  // Writing comments is not supported: does nothing.
  virtual void SetZipfileComment(const rtl::ByteString&) {}

 protected:
  void BindArchive() override;

 private:
  // Steps shared by both ways of opening: create the archive of type over the file or
  // stream, bind it and load it.
  void OpenAs(TArcArchiveType type, rtl::TStream* stream);
  template <class T>
  void OpenCompressed(rtl::TStream* stream, bool holdsTar);

  rtl::ByteString FPassword;
  archive::TArcRequestDiskEvent FOnRequestLastDisk;
  archive::TArcRequestNthDiskEvent FOnRequestNthDisk;
  bool FTarAutoHandle = false;
};

}  // namespace qelvo::unzip
