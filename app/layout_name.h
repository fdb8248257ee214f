#pragma once
// The company name typed for the store layout becomes a file name in the temp folder
// and a segment of the URL path, so it is checked and escaped before either use.
#include <string>
#include <string_view>

namespace qelvo::app {

// False for a name that cannot be a file name: path separators, drive colons, wildcard
// and quoting characters (* ? " < > |), control characters, invalid UTF-8, "." and "..";
// and for a name whose file would be one of the installer's own packages in temp
// ("QelvoPDVFull", "schemas", in any letter case).
bool IsSafeLayoutName(std::string_view name);

// Percent-encodes every byte of the UTF-8 text except the unreserved URL characters
// (letters, digits, "-", ".", "_", "~").
std::string PercentEncodePathSegment(std::string_view text);

}  // namespace qelvo::app
