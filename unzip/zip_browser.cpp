#include "unzip/zip_browser.h"

#include "archive/errors.h"
#include "codecs/bzip2_archive.h"
#include "codecs/gzip_archive.h"
#include "codecs/tar_archive.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "unzip/archive_type.h"

namespace qelvo::unzip {

using namespace archive;

void TArcCustomZipBrowser::SetFileName(const std::string& value) {
  FFileName = value;
  DropArchive();
  if (!value.empty() && platform::FileExists(value)) {
    const TArcArchiveType type = FForceType ? FArchiveType : DetermineArchiveType(value);
    OpenAs(type, nullptr);
  }
  NotifyChange();
}

void TArcCustomZipBrowser::SetStream(rtl::TStream* aStream) {
  FFileName.clear();
  DropArchive();
  if (aStream == nullptr) return;
  const TArcArchiveType type = FForceType ? FArchiveType : DetectArchiveType(*aStream);
  OpenAs(type, aStream);
  NotifyChange();
}

template <class T>
void TArcCustomZipBrowser::OpenCompressed(rtl::TStream* stream, bool holdsTar) {
  std::unique_ptr<T> archive =
      stream != nullptr ? std::make_unique<T>(stream, "")
                        : std::make_unique<T>(FFileName, platform::fmOpenRead | platform::fmShareDenyNone);
  archive->SetIsCompressedTar(holdsTar);
  archive->SetTarAutoHandle(FTarAutoHandle);
  FArchive = std::move(archive);
  BindArchive();
}

void TArcCustomZipBrowser::SetTarAutoHandle(bool value) {
  FTarAutoHandle = value;
  if (auto* compressed = dynamic_cast<codecs::TArcCompressedTarArchive*>(FArchive.get()))
    compressed->SetTarAutoHandle(value);
}

void TArcCustomZipBrowser::OpenAs(TArcArchiveType type, rtl::TStream* stream) {
  switch (type) {
    case atZip:
    case atSpannedZip:
    case atSelfExtZip:
      if (stream != nullptr)
        FArchive = std::make_unique<TArcZipArchive>(stream, "");
      else
        FArchive = std::make_unique<TArcZipArchive>(FFileName, platform::fmOpenRead | platform::fmShareDenyNone);
      BindArchive();
      break;
    case atTar:
      if (stream != nullptr)
        FArchive = std::make_unique<codecs::TArcTarArchive>(stream, "");
      else
        FArchive = std::make_unique<codecs::TArcTarArchive>(FFileName, platform::fmOpenRead | platform::fmShareDenyNone);
      BindArchive();
      break;
    case atGzip:
    case atGzippedTar:
      OpenCompressed<codecs::TArcGzipArchive>(stream, type == atGzippedTar);
      break;
    case atBzip2:
    case atBzippedTar:
      OpenCompressed<codecs::TArcBzip2Archive>(stream, type == atBzippedTar);
      break;
    default:
      // No reader for cabinets.
      throw EArcUnhandledType();
  }
  FArchive->Load();
  FArchiveType = type;
}

void TArcCustomZipBrowser::BindArchive() {
  TArcBaseBrowser::BindArchive();
  if (TArcZipArchive* zip = ZipArchive()) {
    zip->SetPassword(FPassword);
    zip->OnRequestLastDisk = FOnRequestLastDisk;
    zip->OnRequestNthDisk = FOnRequestNthDisk;
  }
}

void TArcCustomZipBrowser::SetPassword(const rtl::ByteString& value) {
  FPassword = value;
  if (TArcZipArchive* zip = ZipArchive()) zip->SetPassword(value);
}

void TArcCustomZipBrowser::SetOnRequestLastDisk(TArcRequestDiskEvent value) {
  FOnRequestLastDisk = std::move(value);
  if (TArcZipArchive* zip = ZipArchive()) zip->OnRequestLastDisk = FOnRequestLastDisk;
}

void TArcCustomZipBrowser::SetOnRequestNthDisk(TArcRequestNthDiskEvent value) {
  FOnRequestNthDisk = std::move(value);
  if (TArcZipArchive* zip = ZipArchive()) zip->OnRequestNthDisk = FOnRequestNthDisk;
}

TArcZipItem* TArcCustomZipBrowser::GetItem(int index) const { return dynamic_cast<TArcZipItem*>(Items(index)); }

rtl::ByteString TArcCustomZipBrowser::ZipfileComment() const {
  const TArcZipArchive* zip = ZipArchive();
  return zip ? zip->ZipfileComment() : rtl::ByteString();
}

}  // namespace qelvo::unzip
