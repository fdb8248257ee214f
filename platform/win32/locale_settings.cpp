#include "platform/locale_settings.h"

#include <string>

#include "platform/win32/windows_api.h"

namespace qelvo::platform {
namespace {

// flags: LOCALE_NOUSEROVERRIDE for a named locale's own conventions, 0 for the user's
// settings as they stand.
rtl::TFormatSettings FromLocale(const wchar_t* name, LCTYPE flags) {
  rtl::TFormatSettings fs;
  wchar_t buf[16];
  int n = ::GetLocaleInfoEx(name, LOCALE_SDECIMAL | flags, buf, 16);
  if (n > 1) fs.DecimalSeparator = win32::Narrow(buf, static_cast<size_t>(n - 1));
  n = ::GetLocaleInfoEx(name, LOCALE_STHOUSAND | flags, buf, 16);
  if (n > 1) fs.ThousandSeparator = win32::Narrow(buf, static_cast<size_t>(n - 1));
  return fs;
}

}  // namespace

rtl::TFormatSettings FormatSettingsFor(const char* localeName) {
  // "pt_BR.UTF-8" names the locale the system calls "pt-BR"; "C" and "POSIX" keep the
  // conventional separators.
  std::string name = localeName ? localeName : "";
  name = name.substr(0, name.find_first_of(".@"));
  if (name.empty() || name == "C" || name == "POSIX") return rtl::TFormatSettings{};
  for (char& c : name)
    if (c == '_') c = '-';
  const std::wstring wide = win32::Wide(name);
  if (::IsValidLocaleName(wide.c_str()) == 0) return rtl::TFormatSettings{};
  return FromLocale(wide.c_str(), LOCALE_NOUSEROVERRIDE);
}

rtl::TFormatSettings UserFormatSettings() { return FromLocale(LOCALE_NAME_USER_DEFAULT, 0); }

}  // namespace qelvo::platform
