#pragma once
// Turning raw stored names into text. ZIP names may be UTF-8 (flag bit 11, or simply
// well-formed UTF-8 with high bytes), carry a Unicode copy in an extra field, or be in
// the writer's ANSI or OEM code page; the rules pick one in that order.
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/text.h"

namespace qelvo::archive {

class TArcZipDirectoryFileHeader;

enum TArcCharset { csASCII = 0, csANSI = 1, csUTF8 = 2 };

// UTF-8 only for names with at least one byte >= 0x80 that are well-formed throughout.
TArcCharset DetectNameCharset(std::string_view raw);
// True when every byte >= 0x80 is plausible OEM text for the code page and at least one
// is not plausible ANSI text; False for code pages without tables.
bool LooksLikeOemText(std::string_view raw, int oemCodePage);
bool LooksLikeOemText(std::string_view raw);  // the system's OEM code page

// The code pages the name rules convert from.
struct TArcCodePages {
  int Ansi = rtl::kAnsiCodePage;
  int Oem = rtl::kOemCodePage;
};

// The decoded text name of a central header.
std::string DecodeZipName(TArcZipDirectoryFileHeader& header, const TArcCodePages& pages = {});
// Names of the other archive types: by DetectNameCharset and LooksLikeOemText.
std::string DecodeRawName(std::string_view raw, const TArcCodePages& pages = {});

}  // namespace qelvo::archive
