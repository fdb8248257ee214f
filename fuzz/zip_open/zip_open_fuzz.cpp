// Opens arbitrary bytes as a ZIP archive and walks every item's properties. Reading may
// fail only with the archive errors or the runtime's stream errors; anything else (a
// crash, an out-of-bounds access, an unexpected exception type) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/paths.h"
#include "archive/zip_archive.h"
#include "archive/zip_names.h"
#include "rtl/exceptions.h"
#include "rtl/stream.h"

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
  for (int i = 0; i < archive.Count(); ++i) WalkItem(*archive.Items(i));
  gSink = gSink + archive.ZipfileComment().size() + archive.StubSize();
  return 0;
}
