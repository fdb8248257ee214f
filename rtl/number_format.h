#pragma once
// Picture-pattern number formatting ("###,###,##0", "0.00 KB/s") with the separators of
// a locale given by the caller; platform/ reads the user's locale into TFormatSettings.
#include <string>
#include <string_view>

namespace qelvo::rtl {

struct TFormatSettings {
  std::string ThousandSeparator = ",";
  std::string DecimalSeparator = ".";
};

// Supports '0' (digit always shown), '#' (digit when significant), one '.', ',' anywhere
// in the integer part (grouping by three), and literal text before and after the digits
// (quoted with '"' or '\'' or plain). Rounds half away from zero.
std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& fs);

}  // namespace qelvo::rtl
