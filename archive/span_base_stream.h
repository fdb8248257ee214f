#pragma once
// What the reading and writing streams of split and spanned sets share: the archive's
// name and the naming of its parts. Part N of "data.zip" is "data.z01" for N = 1
// ("data.z12" for 12): the extension keeps its first character and takes N with at least
// two digits; a name without an extension gets ".01", ".02"... appended. OnRequestImage
// may rename a part or abort the operation. The streams raise their events with
// themselves, as an rtl::TStream*, for the sender.
#include <cstdint>
#include <string>

#include "archive/types.h"
#include "rtl/stream.h"

namespace qelvo::archive {

// The name of part imageNumber of archiveName by the rule above, without any event.
std::string SpanPartName(const std::string& archiveName, int32_t imageNumber);

class TArcSpanBaseStream : public rtl::TStream {
 public:
  explicit TArcSpanBaseStream(std::string archiveName) : FArchiveName(std::move(archiveName)) {}

  // The part's name after OnRequestImage had its say; EArcUserAbort when it aborts.
  std::string ImageName(int32_t imageNumber);

  const std::string& ArchiveName() const { return FArchiveName; }
  const TArcRequestImageEvent& OnRequestImage() const { return FOnRequestImage; }
  virtual void SetOnRequestImage(TArcRequestImageEvent value) { FOnRequestImage = std::move(value); }

 protected:
  std::string FArchiveName;
  TArcRequestImageEvent FOnRequestImage;
};

}  // namespace qelvo::archive
