// Opens arbitrary bytes as a ZIP archive, walks every item's properties, lists the size
// totals as qelvo-unzip does, then extracts every item to a bit bucket and tests it.
// Reading may fail only with the archive errors or the runtime's stream errors, an item
// only with the runtime's exception family; anything else (a crash, an out-of-bounds
// access, an overflow, an unexpected exception type) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/paths.h"
#include "archive/zip_archive.h"
#include "archive/zip_names.h"
#include "rtl/exceptions.h"
#include "rtl/stream.h"
#include "tools/qelvo-unzip/messages.h"
#include "unzip/bit_bucket_stream.h"
#include "unzip/item_extraction.h"

using namespace qelvo;
using namespace qelvo::archive;

namespace {

volatile uint64_t gSink;

void WalkItem(TArcZipItem& item) {
  uint64_t h = 0;
  const std::string name = item.FileName();
  h += name.size() + item.DiskFileName().size() + item.RawFileName().size() + item.FileComment().size();
  h += static_cast<uint64_t>(item.UncompressedSize()) ^ static_cast<uint64_t>(item.CompressedSize());
  h += item.CRC32() + item.ExternalFileAttributes() + item.NativeFileAttributes();
  h += item.IsDirectory() + item.IsEncrypted() + item.CompressionMethod() + item.HostSystem();
  h += static_cast<uint64_t>(item.DeflationOption()) + static_cast<uint64_t>(item.DictionarySize()) +
       item.ShannonFanoTreeCount();
  h += static_cast<uint64_t>(static_cast<int64_t>(item.CompressionRatio()));
  h += static_cast<uint64_t>(item.RelativeOffset()) + item.DiskNumberStart();
  h += item.DiskPath().size() + item.StoredPath().size();
  try {
    h += static_cast<uint64_t>(static_cast<int64_t>(item.LastModTimeAsDateTime()));
  } catch (const rtl::EConvertError&) {
  }
  TArcExtraField& extra = item.ExtraField();
  const int count = extra.Count();
  for (int i = 0; i < count; ++i) h += extra.GetID(i);
  h += GetPathType(name);
  const TArcPathParts parts = SplitPathParts(name);
  h += parts.Drive.size() + parts.Folder.size() + parts.FileName.size();
  h += NameMatchesMask(name, "*\\*.t?t") + item.MatchesStoredNameEx("*.*; sub\\*");
  h += DecodeRawName(item.RawFileName()).size() + DetectNameCharset(item.RawFileName());
  gSink = gSink + h;
}

// Every item's data through the decoders into nothing: to a stream, then as a test.
void ExtractEveryItem(TArcZipArchive& archive) {
  archive.ExtractToStreamHelper = unzip::UnzipItemToStream;
  archive.TestHelper = unzip::TestZipItem;
  archive.SetPassword("fuzz");
  archive.SetPasswordRetries(0);
  for (int i = 0; i < archive.Count(); ++i) {
    for (bool test : {false, true}) {
      try {
        unzip::TArcBitBucketStream bucket(32768);
        if (test) {
          archive.TestItemByIndex(i);
        } else {
          archive.ExtractItemByIndexToStream(i, &bucket);
        }
      } catch (const rtl::Exception&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rtl::TMemoryStream stream;
  if (size > 0) stream.WriteBuffer(data, static_cast<int64_t>(size));
  stream.SetPosition(0);
  gSink = gSink + ProbeZip(stream) + ProbeSelfExtractingZip(stream);
  TArcZipArchive archive(&stream, "fuzz.zip");
  try {
    archive.Load();
  } catch (const EArcException&) {
  } catch (const rtl::EStreamError&) {
  }
  // Items read before a failure stay listed; walk them too.
  tools::TSizeTotal total;
  for (int i = 0; i < archive.Count(); ++i) {
    WalkItem(*archive.Items(i));
    total.Add(archive.Items(i)->UncompressedSize());
  }
  gSink = gSink + archive.ZipfileComment().size() + archive.StubSize() + total.Text().size();
  if (archive.Status() != asInvalid) ExtractEveryItem(archive);
  return 0;
}
