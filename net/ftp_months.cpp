// Month names of listings in the languages servers use, and times of day in listings.
#include <cstdlib>
#include <string>

#include "net/ftp_list.h"
#include "net/text_util.h"

namespace qelvo::net {
namespace {

// Rows of twelve names. The last row is kept exactly as Czech servers' listings show it
// once read in the wrong code page; it has always been matched that way.
const char* const kMonthRows[][12] = {
    {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
    {"jan", "f\xC3\xA9v", "mar", "avr", "mai", "jun", "jul", "ao\xC3\xBB", "sep", "oct", "nov", "d\xC3\xA9" "c"},
    {"jan", "fev", "mar", "avr", "mai", "jun", "jul", "aou", "sep", "oct", "nov", "dec"},
    {"Jan", "Feb", "Mar", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
    {"Jan", "Feb", "M\xC3\xA4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
    {"Led", "\xC3\x9Ano", "B\xC3\xB8" "e", "Dub", "Kv\xC3\xAC", "\xC3\x88" "en", "\xC3\x88" "ec", "Srp",
     "Z\xC3\xA1\xC3\xB8", "\xC3\x98\xC3\xADj", "Lis", "Pro"},
};

// Listings arrive as single-byte text; the table is UTF-8. Bytes that are not valid
// UTF-8 are taken as Latin-1.
std::string ToUtf8(const std::string& bytes) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c & 0xE0) == 0xC0 && i + 1 < bytes.size() && (static_cast<unsigned char>(bytes[i + 1]) & 0xC0) == 0x80) {
      out += bytes.substr(i, 2);
      ++i;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

int MonthNumber(const std::string& Name, const std::string& Extra) {
  const std::string name = ToUtf8(Name);
  for (int m = 0; m < 12; ++m) {
    for (const auto& row : kMonthRows)
      if (rtl::SameTextAscii(name, row[m])) return m + 1;
    if (Extra.size() >= static_cast<size_t>(m * 3 + 3) && rtl::SameTextAscii(Name, Extra.substr(static_cast<size_t>(m) * 3, 3)))
      return m + 1;
  }
  return 0;
}

rtl::TDateTime TimeOfDayFromText(const std::string& Text) {
  const size_t colon = Text.rfind(':');
  if (colon == std::string::npos) return -1;
  const std::string t = Text.substr(0, colon + 3);
  int parts[3] = {0, 0, 0};
  int n = 0;
  size_t pos = 0;
  for (;;) {
    size_t end = t.find(':', pos);
    if (end == std::string::npos) end = t.size();
    const std::string piece = t.substr(pos, end - pos);
    const size_t first = piece.find_first_not_of(' ');
    const std::string digits = first == std::string::npos ? "" : piece.substr(first);
    if (n == 3 || digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos)
      return -1;
    parts[n++] = std::atoi(digits.c_str());
    if (end == t.size()) break;
    pos = end + 1;
  }
  if (n < 2) return -1;
  rtl::TDateTime out = 0;
  if (!rtl::TryEncodeTime(parts[0], parts[1], parts[2], 0, out)) return -1;
  return out;
}

}  // namespace qelvo::net
