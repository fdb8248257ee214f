#include "codecs/tar_archive.h"

#include <algorithm>

#include "archive/errors.h"
#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace qelvo::codecs {

using namespace archive;

TArcTarArchive::TArcTarArchive(const std::string& fileName, uint16_t mode) : TArcArchive(fileName, mode) {}

TArcTarArchive::TArcTarArchive(rtl::TStream* stream, const std::string& archiveName)
    : TArcArchive(stream, archiveName) {}

std::unique_ptr<TArcArchiveItem> TArcTarArchive::CreateItem(const std::string& storedName) {
  auto item = std::make_unique<TArcTarItem>();
  item->SetFileName(storedName);
  return item;
}

TArcTarItem* TArcTarArchive::Items(int index) const {
  auto* item = dynamic_cast<TArcTarItem*>(TArcArchive::Items(index));
  if (item == nullptr) throw EArcTarBadOp();
  return item;
}

void TArcTarArchive::WriteArchive() { throw EArcTarBadOp(); }

void TArcTarArchive::ReadArchive() {
  rtl::TStream& stream = *FStream;
  const int64_t size = stream.Size();
  TArcTarStreamHelper helper(&stream);
  const bool found = size > 0 && helper.FindFirstItem();
  FArchFormat = found ? UNKNOWN_FORMAT : V7_FORMAT;
  FArchReadOnly = false;
  TArcTarPaxValues globals;
  bool more = found;
  while (more && stream.Position() < size) {
    try {
      auto item = std::make_unique<TArcTarItem>();
      item->FTarItem.StreamPosition = stream.Position();
      LoadTarItem(*item, stream, &globals);
      const TArcTarItemRec& rec = item->FTarItem;
      if (rec.ItemReadOnly) FArchReadOnly = true;
      int64_t dataSize = helper.FCurrItemSize;
      // "./", the folder the archive was made from, is the base folder itself.
      const bool baseFolder = rec.LinkFlag == '5' && (rec.Name == "." || rec.Name == "./");
      if (baseFolder) {
        helper.FCurrItemPreHdrs = rec.FileHeaderCount;
        dataSize = 0;
      } else if (rec.ItemType != UNKNOWN_ITEM) {
        FArchFormat = std::max(FArchFormat, rec.ArchiveFormat);
        helper.FCurrItemPreHdrs = rec.FileHeaderCount;
        dataSize = TarFlagCarriesData(rec.LinkFlag) ? rec.Size : 0;
        FItemList->Add(std::move(item));
      } else {
        bool confirm = true;
        ConfirmProcessItem(item.get(), ptFoundUnhandled, confirm);
      }
      bool abort = false;
      NotifyArchiveProgress(PercentOf(size, stream.Position()), abort);
      if (abort) {
        FStatus = asInvalid;
        throw EArcUserAbort();
      }
      more = helper.FindNextItem(dataSize);
    } catch (const rtl::Exception&) {
      // One cause for every failure while reading an item, the user's abort included.
      throw EArcTarBadOp();
    }
  }
  for (int i = 0; i < Count(); ++i) {
    Items(i)->FTarItem.ArchiveFormat = FArchFormat;
    Items(i)->FTarItem.ItemReadOnly = FArchReadOnly;
  }
  bool ignored = false;
  NotifyArchiveProgress(100, ignored);
  FIsDirty = false;
}

void TArcTarArchive::ExtractItemByIndexToStream(int index, rtl::TStream* stream) {
  TArcTarItem& item = *Items(index);  // EListError out of range
  const TArcTarItemRec& rec = item.FTarItem;
  if (rec.ItemType == UNKNOWN_ITEM) throw EArcTarBadOp();
  if (rec.ItemType == UNSUPPORTED_ITEM && (rec.Name.size() >= 100 || rec.LinkName.size() >= 100))
    throw EArcTarBadOp();
  if (stream == nullptr) throw EArcBadStream();
  FStream->Seek(rec.StreamPosition + kTarBlockSize * static_cast<int64_t>(rec.FileHeaderCount), rtl::soBeginning);
  if (TarFlagCarriesData(rec.LinkFlag) || rec.LinkFlag == '1' || rec.LinkFlag == '2')
    CopyTarData(*FStream, *stream, rec.Size);
}

void TArcTarArchive::ExtractItemByIndex(int index, const std::string& useName) {
  TArcTarItem& item = *Items(index);
  ExtractToFile(item, useName, true, [&](rtl::TStream& file) { ExtractItemByIndexToStream(index, &file); });
}

void TArcTarArchive::TestItemByIndex(int index) {
  const TArcTarItem& item = *Items(index);
  const int64_t saved = FStream->Position();
  FStream->Seek(item.FTarItem.StreamPosition, rtl::soBeginning);
  const TArcArchiveType answer = ProbeTar(*FStream);
  FStream->Seek(saved, rtl::soBeginning);
  if (answer != atTar) throw EArcTarInvalid();
}

TArcArchiveType ProbeTar(rtl::TStream& stream) {
  const int64_t saved = stream.Position();
  TArcArchiveType answer = atUnknown;
  try {
    TArcTarItem item;
    item.FTarItem.StreamPosition = saved;
    LoadTarItem(item, stream);
    if (item.FTarItem.ItemType != UNKNOWN_ITEM && item.FTarItem.ChkSumPass) answer = atTar;
    // An archive without items is only its end-of-archive zero blocks.
    const TArcTarHeaderRec& first = item.FTarHeaderList.front();
    if (std::all_of(std::begin(first.Bytes), std::end(first.Bytes), [](uint8_t b) { return b == 0; }))
      answer = atTar;
  } catch (const rtl::EReadError&) {
  } catch (const EArcTarInvalid&) {
  }
  stream.Seek(saved, rtl::soBeginning);
  return answer;
}

void CopyTarData(rtl::TStream& in, rtl::TStream& out, int64_t count) {
  constexpr int64_t kChunk = 64 * 1024;
  auto buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(std::min(std::max<int64_t>(count, 1), kChunk)));
  while (count > 0) {
    const int64_t n = std::min(count, kChunk);
    in.ReadBuffer(buffer.get(), n);
    out.WriteBuffer(buffer.get(), n);
    count -= n;
  }
}

}  // namespace qelvo::codecs
