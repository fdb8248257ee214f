#include "archive/span_base_stream.h"

#include <cstdio>

#include "archive/errors.h"
#include "rtl/file_path.h"

namespace qelvo::archive {

std::string SpanPartName(const std::string& archiveName, int32_t imageNumber) {
  const size_t nameStart = rtl::FileNameStart(archiveName);
  const size_t dot = archiveName.rfind('.');
  const std::string ext = dot != std::string::npos && dot >= nameStart ? archiveName.substr(dot) : std::string();
  char digits[16];
  std::snprintf(digits, sizeof digits, "%.2d", static_cast<int>(imageNumber));
  const std::string newExt = ext.size() > 1 ? ext.substr(0, 2) + digits : std::string(".") + digits;
  return rtl::ChangeFileExt(archiveName, newExt);
}

std::string TArcSpanBaseStream::ImageName(int32_t imageNumber) {
  std::string name = SpanPartName(FArchiveName, imageNumber);
  if (FOnRequestImage) {
    bool abort = false;
    FOnRequestImage(static_cast<rtl::TStream*>(this), imageNumber, name, abort);
    if (abort) throw EArcUserAbort();
  }
  return name;
}

}  // namespace qelvo::archive
