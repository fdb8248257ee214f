#pragma once
// Local file names for downloads: the part-file suffix, the name taken from a URL path,
// and the name a server offers in a "filename=" header parameter. Names that come from
// the network are reduced to a bare file name so that a download never writes outside
// its destination folder.
#include <string>

namespace qelvo::download {

inline constexpr const char* kPartSuffix = ".part";

// The last segment of a URL path ("/" separated), or "" when the path ends in "/".
std::string FileNameFromUrlPath(const std::string& path);
// The value of the first "filename=" parameter in a header line, or "" when the line has
// none. A quoted value ends at its closing quote (backslash escapes honoured); a bare one
// at the next ";". The result is a bare file name.
std::string FileNameFromHeaderLine(const std::string& line);
// Reduces a name from the network to its last path segment; "", "." and ".." and names
// with control characters yield "".
std::string SafeFileName(const std::string& name);
// name + ".part" unless it already ends with ".part".
std::string WithPartSuffix(const std::string& name);
bool HasPartSuffix(const std::string& name);
// Folder with blanks trimmed and a trailing "\" when not empty.
std::string NormalizeFolder(const std::string& folder);

}  // namespace qelvo::download
