#include "unzip/archive_type.h"

#include "archive/paths.h"
#include "archive/zip_archive.h"
#include "codecs/bzip2_archive.h"
#include "codecs/gzip_archive.h"
#include "codecs/tar_archive.h"
#include "platform/cabinet.h"
#include "platform/file_stream.h"
#include "platform/file_system.h"
#include "rtl/text.h"

namespace qelvo::unzip {

using namespace archive;

TArcArchiveType ArchiveTypeOfExtension(const std::string& fileName) {
  const size_t delim = fileName.find_last_of("\\:/");
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim)) return atUnknown;
  const std::string ext = rtl::UpperCaseAscii(std::string_view(fileName).substr(dot));
  struct TRow {
    const char* Ext;
    TArcArchiveType Type;
  };
  static constexpr TRow kRows[] = {
      {".ZIP", atZip},  {".JAR", atZip},          {".EXE", atSelfExtZip}, {".TAR", atTar},
      {".GZ", atGzip},  {".TGZ", atGzippedTar},   {".CAB", atCab},        {".BZ2", atBzip2},
      {".TBZ", atBzippedTar},
  };
  for (const TRow& row : kRows)
    if (ext == row.Ext) return row.Type;
  return atUnknown;
}

TArcArchiveType ProbeTar(rtl::TStream& stream) { return codecs::ProbeTar(stream); }
TArcArchiveType ProbeGzip(rtl::TStream& stream) { return codecs::ProbeGzip(stream); }
TArcArchiveType ProbeBzip2(rtl::TStream& stream) { return codecs::ProbeBzip2(stream); }
TArcArchiveType ProbeCabinet(rtl::TStream& stream) {
  switch (platform::ProbeCabinetStream(stream)) {
    case platform::TCabinetProbe::Cabinet: return atCab;
    case platform::TCabinetProbe::NoLibrary: throw EArcNoCabinetDll();
    default: return atUnknown;
  }
}

TArcArchiveType DetectArchiveType(rtl::TStream& stream) {
  using TProbe = TArcArchiveType (*)(rtl::TStream&);
  static constexpr TProbe kProbes[] = {ProbeSelfExtractingZip, ProbeZip, ProbeTar, ProbeGzip, ProbeBzip2, ProbeCabinet};
  for (TProbe probe : kProbes) {
    const TArcArchiveType t = probe(stream);
    if (t != atUnknown) return t;
  }
  return atUnknown;
}

TArcArchiveType DetermineArchiveType(const std::string& fileName) {
  const TArcArchiveType byName = ArchiveTypeOfExtension(fileName);
  if (!platform::FileExists(fileName) || FileSizeOf(fileName) <= 0) return byName;
  platform::TFileStream stream(fileName, platform::fmOpenRead | platform::fmShareDenyNone);
  switch (byName) {
    case atUnknown: return DetectArchiveType(stream);
    case atZip:
    case atSpannedZip: return ProbeZip(stream);
    case atSelfExtZip: return ProbeSelfExtractingZip(stream);
    case atTar: return ProbeTar(stream);
    case atGzip:
    case atGzippedTar: return ProbeGzip(stream);
    case atCab: return ProbeCabinet(stream);
    case atBzip2:
    case atBzippedTar: return ProbeBzip2(stream);
  }
  return atUnknown;
}

}  // namespace qelvo::unzip
