#pragma once
// Archive type detection: by the file name's extension, confirmed by that type's content
// probe, or, for a stream or an unknown extension, by trying every probe in turn.
#include <string>

#include "archive/types.h"
#include "rtl/stream.h"

namespace qelvo::unzip {

// The type named by the extension of fileName (from its last dot, compared upper-cased).
archive::TArcArchiveType ArchiveTypeOfExtension(const std::string& fileName);

// The extension's type confirmed by its own probe when the file exists and is not empty
// (the probe's answer stands, also atUnknown); an unknown extension is settled by
// DetectArchiveType. A missing or empty file gives the extension's type unprobed.
archive::TArcArchiveType DetermineArchiveType(const std::string& fileName);

// The first answer other than atUnknown of the probes, in this order: self-extracting
// ZIP, ZIP, tar, gzip, bzip2, cabinet. The stream's position is kept.
archive::TArcArchiveType DetectArchiveType(rtl::TStream& stream);

// The probes of the tar, gzip and bzip2 types (see codecs/).
archive::TArcArchiveType ProbeTar(rtl::TStream& stream);
archive::TArcArchiveType ProbeGzip(rtl::TStream& stream);
archive::TArcArchiveType ProbeBzip2(rtl::TStream& stream);
// Cabinets are never opened (there is no cabinet reader); the system's cabinet library
// recognises them (EArcNoCabinetDll when it cannot be loaded). Without one the probe
// answers atUnknown.
archive::TArcArchiveType ProbeCabinet(rtl::TStream& stream);

}  // namespace qelvo::unzip
