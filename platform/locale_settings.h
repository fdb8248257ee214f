#pragma once
#include "rtl/number_format.h"

namespace qelvo::platform {

// Separators of the user's locale (LC_NUMERIC from the environment: LC_ALL, LC_NUMERIC, LANG).
rtl::TFormatSettings UserFormatSettings();
// Separators of a named locale such as "pt_BR.UTF-8"; falls back to "," and "." when the
// locale is not installed.
rtl::TFormatSettings FormatSettingsFor(const char* localeName);

}  // namespace qelvo::platform
