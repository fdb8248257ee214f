#include "platform/locale_settings.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <string>

namespace qelvo::platform {

rtl::TFormatSettings FormatSettingsFor(const char* localeName) {
  rtl::TFormatSettings fs;
  locale_t loc = ::newlocale(LC_NUMERIC_MASK, localeName, static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return fs;
  const char* thousands = ::nl_langinfo_l(THOUSEP, loc);
  const char* decimal = ::nl_langinfo_l(RADIXCHAR, loc);
  if (decimal && *decimal) fs.DecimalSeparator = decimal;
  // The C locale has no grouping character; keep the conventional comma then.
  if (thousands && *thousands) fs.ThousandSeparator = thousands;
  ::freelocale(loc);
  return fs;
}

rtl::TFormatSettings UserFormatSettings() {
  for (const char* var : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return FormatSettingsFor(v);
  }
  return FormatSettingsFor("C");
}

}  // namespace qelvo::platform
