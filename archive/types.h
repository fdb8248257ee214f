#pragma once
// Vocabulary of the archive model: statuses, options, actions, archive types and the
// event signatures through which an archive asks its owner and reports to it.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "archive/errors.h"
#include "rtl/text.h"

namespace qelvo::rtl {
class TStream;
}

namespace qelvo::archive {

class TArcArchive;
class TArcArchiveItem;

// A set of enumeration values held as bits (bit n for the value n).
template <class E>
class TArcSet {
 public:
  constexpr TArcSet() = default;
  constexpr TArcSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  constexpr bool Has(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr void Include(E v) { bits_ |= Bit(v); }
  constexpr void Exclude(E v) { bits_ &= ~Bit(v); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint32_t Bits() const { return bits_; }
  friend constexpr bool operator==(TArcSet a, TArcSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr uint32_t Bit(E v) { return uint32_t{1} << static_cast<unsigned>(v); }
  uint32_t bits_ = 0;
};

enum TArcArchiveStatus { asInvalid = 0, asIdle = 1, asBusy = 2 };

enum TArcExtractOption { eoCreateDirs = 0, eoRestorePath = 1 };
using TArcExtractOptions = TArcSet<TArcExtractOption>;

enum TArcStoreOption { soStripDrive = 0, soStripPath = 1, soRemoveDots = 2, soRecurse = 3, soFreshen = 4, soReplace = 5 };
using TArcStoreOptions = TArcSet<TArcStoreOption>;

// Pending action of an item.
enum TArcArchiveAction {
  aaFailed = 0,
  aaNone = 1,
  aaAdd = 2,
  aaDelete = 3,
  aaFreshen = 4,
  aaMove = 5,
  aaReplace = 6,
  aaStreamAdd = 7,
};

// What is being done to an item, as passed to the events.
enum TArcProcessType {
  ptAdd = 0,
  ptDelete = 1,
  ptExtract = 2,
  ptFreshen = 3,
  ptMove = 4,
  ptReplace = 5,
  ptFoundUnhandled = 6,
};

// Archive types told apart by name and content (order is significant).
enum TArcArchiveType {
  atUnknown = 0,
  atZip = 1,
  atSpannedZip = 2,
  atSelfExtZip = 3,
  atTar = 4,
  atGzip = 5,
  atGzippedTar = 6,
  atCab = 7,
  atBzip2 = 8,
  atBzippedTar = 9,
};

// Event signatures. Reference parameters are the values a handler may change.
using TArcArchiveEvent = std::function<void(TArcArchive* sender)>;
using TArcArchiveConfirmEvent = std::function<void(TArcArchive* sender, bool& confirm)>;
using TArcArchiveProgressEvent = std::function<void(TArcArchive* sender, uint8_t progress, bool& abort)>;
using TArcArchiveItemProgressEvent =
    std::function<void(TArcArchive* sender, TArcArchiveItem* item, uint8_t progress, bool& abort)>;
using TArcArchiveItemConfirmEvent =
    std::function<void(TArcArchive* sender, TArcArchiveItem* item, TArcProcessType processType, bool& confirm)>;
using TArcConfirmOverwriteEvent = std::function<void(std::string& name, bool& confirm)>;
using TArcArchiveItemFailureEvent = std::function<void(TArcArchive* sender, TArcArchiveItem* item,
                                                       TArcProcessType processType, TArcErrorClass errorClass,
                                                       int32_t errorCode)>;
using TArcArchiveItemExtractEvent =
    std::function<void(TArcArchive* sender, TArcArchiveItem* item, const std::string& newName)>;
using TArcArchiveItemExtractToStreamEvent =
    std::function<void(TArcArchive* sender, TArcArchiveItem* item, rtl::TStream* outStream)>;
using TArcArchiveItemTestEvent = std::function<void(TArcArchive* sender, TArcArchiveItem* item)>;
using TArcArchiveItemInsertEvent =
    std::function<void(TArcArchive* sender, TArcArchiveItem* item, rtl::TStream* outStream)>;
using TArcArchiveItemInsertFromStreamEvent = std::function<void(
    TArcArchive* sender, TArcArchiveItem* item, rtl::TStream* outStream, rtl::TStream* inStream)>;
using TArcProgressEvent = std::function<void(uint8_t progress, bool& abort)>;
// Disk and part requests come from an archive or from the spanned-set streams, so their
// sender is untyped.
using TArcRequestDiskEvent = std::function<void(void* sender, bool& abort)>;
using TArcRequestNthDiskEvent = std::function<void(void* sender, uint8_t diskNumber, bool& abort)>;
using TArcRequestImageEvent =
    std::function<void(void* sender, int32_t imageNumber, std::string& imageName, bool& abort)>;
using TArcNeedPasswordEvent = std::function<void(TArcArchive* sender, rtl::ByteString& newPassword)>;

}  // namespace qelvo::archive
