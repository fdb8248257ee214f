#include "rtl/number_format.h"

#include <cmath>
#include <cstdio>

namespace qelvo::rtl {
namespace {

bool IsPictureChar(char c) { return c == '0' || c == '#' || c == ',' || c == '.'; }

// Literal text with quotes removed.
std::string Literal(std::string_view s) {
  std::string out;
  char quote = 0;
  for (char c : s) {
    if (quote) {
      if (c == quote) quote = 0;
      else out += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string FormatFloat(std::string_view pattern, double value, const TFormatSettings& fs) {
  // Split into literal prefix, picture, literal suffix (quotes skipped when searching).
  size_t first = std::string_view::npos, last = 0;
  char quote = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    if (IsPictureChar(c) && (first == std::string_view::npos || i == last + 1)) {
      if (first == std::string_view::npos) first = i;
      last = i;
    }
  }
  if (first == std::string_view::npos) return Literal(pattern);
  const std::string_view picture = pattern.substr(first, last - first + 1);
  const auto dot = picture.find('.');
  const std::string_view intPart = picture.substr(0, dot);
  const std::string_view fracPart = dot == std::string_view::npos ? std::string_view() : picture.substr(dot + 1);

  int minInt = 0, maxFrac = 0, minFrac = 0;
  bool grouping = false;
  for (char c : intPart) {
    if (c == '0') ++minInt;
    if (c == ',') grouping = true;
  }
  for (char c : fracPart) {
    if (c == '0' || c == '#') ++maxFrac;
    if (c == '0') minFrac = maxFrac;
  }

  // Round half away from zero at maxFrac decimals, using a decimal rendering to avoid
  // binary artefacts (2.675 formats as 2.68 when written as such).
  const bool negative = std::signbit(value) && value != 0;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", maxFrac + 3, std::fabs(value));
  std::string digits(buf);
  const auto p = digits.find('.');
  std::string ip = digits.substr(0, p);
  std::string fp = p == std::string::npos ? std::string() : digits.substr(p + 1);
  std::string keep = ip + fp.substr(0, static_cast<size_t>(maxFrac));
  const bool roundUp = fp.size() > static_cast<size_t>(maxFrac) && fp[static_cast<size_t>(maxFrac)] >= '5';
  if (roundUp) {
    int i = static_cast<int>(keep.size()) - 1;
    while (i >= 0 && keep[static_cast<size_t>(i)] == '9') keep[static_cast<size_t>(i--)] = '0';
    if (i < 0) keep.insert(keep.begin(), '1');
    else ++keep[static_cast<size_t>(i)];
  }
  ip = keep.substr(0, keep.size() - static_cast<size_t>(maxFrac));
  fp = keep.substr(keep.size() - static_cast<size_t>(maxFrac));
  while (ip.size() > 1 && ip[0] == '0') ip.erase(0, 1);
  if (ip == "0" && minInt == 0) ip.clear();
  while (static_cast<int>(ip.size()) < minInt) ip.insert(ip.begin(), '0');
  while (static_cast<int>(fp.size()) > minFrac && !fp.empty() && fp.back() == '0') fp.pop_back();

  std::string grouped;
  if (grouping) {
    const size_t n = ip.size();
    for (size_t i = 0; i < n; ++i) {
      if (i > 0 && (n - i) % 3 == 0) grouped += fs.ThousandSeparator;
      grouped += ip[i];
    }
  } else {
    grouped = ip;
  }
  std::string number = grouped;
  if (!fp.empty()) number += fs.DecimalSeparator + fp;
  const bool allZero = number.find_first_not_of("0.,") == std::string::npos;
  if (negative && !allZero) number.insert(number.begin(), '-');
  return Literal(pattern.substr(0, first)) + number + Literal(pattern.substr(last + 1));
}

}  // namespace qelvo::rtl
