#pragma once
// Template part of tar_archive.h.
#include "archive/errors.h"
#include "archive/paths.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"

namespace qelvo::codecs {

template <class Copy>
void TArcTarArchive::ExtractToFile(archive::TArcArchiveItem& item, const std::string& useName, bool setTimes,
                                   Copy&& copy) {
  if (item.IsDirectory()) {
    archive::CreateDirectoryPath(useName);
  } else {
    auto file = std::make_unique<platform::TFileStream>(useName, platform::fmCreate | platform::fmShareDenyNone);
    try {
      copy(*file);
      file.reset();
    } catch (...) {
      file.reset();
      platform::DeleteFile(useName);
      try {
        throw;
      } catch (const archive::EArcUserAbort&) {
        SetStatus(archive::asInvalid);
      } catch (const archive::EArcAbortProgress&) {
        SetStatus(archive::asInvalid);
      } catch (...) {
      }
      throw;
    }
  }
  if (!setTimes) return;
  platform::FileSetDate(useName, item.LastModTimeAsDateTime());  // a failure leaves the current time
  uint32_t attributes = item.NativeFileAttributes();
  // A read-only folder would refuse the items that follow into it.
  if (item.IsDirectory()) attributes &= ~uint32_t{platform::faReadOnly};
  platform::FileSetAttr(useName, attributes);
}

}  // namespace qelvo::codecs
