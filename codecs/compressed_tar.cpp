#include "codecs/compressed_tar.h"

namespace qelvo::codecs {

void TArcCompressedTarArchive::SetTarAutoHandle(bool value) {
  FTarAutoHandle = value;
  if (FCompressedStream == nullptr) return;  // not read yet
  if (value && FIsCompressedTar && !FTarStream)
    ReadArchive();
  else if (FTarStream)
    SetState(value ? gsTar : gsCompressed);
}

void TArcCompressedTarArchive::SetState(TState state) {
  if (FCompressedStream == nullptr) FCompressedStream = FStream;
  if (state == FState) return;
  std::swap(FItemList, FOtherList);
  FStream = state == gsTar ? FTarStream.get() : FCompressedStream;
  FState = state;
}

}  // namespace qelvo::codecs
