#pragma once
// The validator that lets a part file be resumed safely: the server's Last-Modified date,
// kept as the part file's own time stamp, goes back in If-Range, so a file that changed on
// the server comes back whole instead of being spliced onto the old bytes. A server that
// gives no date leaves kNoValidatorStamp, and such a part file is started over.
#include <string>

#include "rtl/date_time.h"

namespace qelvo::download {

// 1980-01-01 00:00:00: "the server gave no date for these bytes".
inline constexpr rtl::TDateTime kNoValidatorStamp = 29221.0;

// An IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"); false for anything else.
bool ParseHttpDate(const std::string& text, rtl::TDateTime& value);
std::string FormatHttpDate(rtl::TDateTime value);

}  // namespace qelvo::download
