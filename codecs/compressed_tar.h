#pragma once
// The shared part of the gzip and bzip2 archive types: a single compressed item, or,
// for a compressed tar with TarAutoHandle on, the tar's items read from the decoded tar
// held in a paged memory stream (bounded memory; the rest spills to a swap file in
// TempDirectory). The state only chooses which stream and item list the archive model
// sees.
#include <memory>

#include "archive/archive_list.h"
#include "archive/virtual_memory_stream.h"
#include "codecs/tar_archive.h"

namespace qelvo::codecs {

class TArcCompressedTarArchive : public TArcTarArchive {
 public:
  enum TState { gsCompressed, gsTar };
  using TArcTarArchive::TArcTarArchive;

  bool TarAutoHandle() const { return FTarAutoHandle; }
  // Switches the state at once: on shows the tar (once it was read), off the file.
  void SetTarAutoHandle(bool value);
  bool IsCompressedTar() const { return FIsCompressedTar; }
  void SetIsCompressedTar(bool value) { FIsCompressedTar = value; }
  TState State() const { return FState; }
  bool HandlesTar() const { return FTarAutoHandle && FIsCompressedTar; }

 protected:
  void SetState(TState state);
  // Decodes the whole file into the tar stream (decode writes into the stream it is
  // given), then reads the tar's items.
  template <class Decode>
  void ReadTar(Decode&& decode) {
    FTarStream = std::make_unique<archive::TArcVirtualMemoryStream>();
    FTarStream->SetSwapFileDirectory(TempDirectory());
    FCompressedStream->Seek(0, rtl::soBeginning);
    decode(*FTarStream);
    SetState(gsTar);
    FItemList->Clear();
    TArcTarArchive::ReadArchive();
  }

  rtl::TStream* FCompressedStream = nullptr;  // the file; set by the first ReadArchive
  std::unique_ptr<archive::TArcVirtualMemoryStream> FTarStream;
  std::unique_ptr<archive::TArcArchiveList> FOtherList = std::make_unique<archive::TArcArchiveList>();
  bool FTarAutoHandle = false;
  bool FIsCompressedTar = false;
  TState FState = gsCompressed;
};

}  // namespace qelvo::codecs
