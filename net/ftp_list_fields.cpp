// The checks a mask's captures must pass, and the entry they make.
#include <cctype>
#include <cstdlib>

#include "net/ftp_list.h"
#include "net/text_util.h"
#include "platform/clock.h"

namespace qelvo::net {
namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// A captured number within [lo, hi]; an absent field passes.
bool InRange(const std::string& field, int lo, int hi) {
  const std::string t = TrimSpaces(field);
  if (field.empty()) return true;
  if (!AllDigits(t) || t.size() > 6) return false;
  const int v = std::atoi(t.c_str());
  return v >= lo && v <= hi;
}

// The size in bytes: the size field times the mask's block size. False when either is no
// number of at most 18 digits or the product leaves 64 bits, so no entry reports a wrapped size.
bool SizeInBytes(const std::string& sizeField, const std::string& blockField, int64_t& bytes) {
  bytes = 0;
  if (sizeField.empty()) return true;
  const std::string size = TrimSpaces(sizeField);
  if (!AllDigits(size) || size.size() > 18) return false;
  if (!blockField.empty() && (!AllDigits(blockField) || blockField.size() > 18)) return false;
  const int64_t blockSize = blockField.empty() ? 1 : std::strtoll(blockField.c_str(), nullptr, 10);
  return !__builtin_mul_overflow(std::strtoll(size.c_str(), nullptr, 10), blockSize, &bytes);
}

int Number(const std::string& field) {
  const std::string t = TrimSpaces(field);
  return AllDigits(t) && t.size() <= 9 ? std::atoi(t.c_str()) : 0;
}


}  // namespace

bool TFTPList::CheckFields() const {
  if (!F.VMSFileName.empty()) {
    if (F.VMSFileName.find(';') == std::string::npos) return false;
  } else if (TrimSpaces(F.FileName).empty()) {
    return false;
  }
  if (!F.Permissions.empty()) {
    if (F.Permissions.size() != 10) return false;
    // ls shows a set-id or sticky bit without execute as a capital S or T.
    for (const char c : F.Permissions)
      if (std::string("-abcdhlprstwxy").find(static_cast<char>(std::tolower(static_cast<unsigned char>(c)))) ==
          std::string::npos)
        return false;
  }
  if (!InRange(F.Day, 1, 31) || !InRange(F.Month, 1, 12) || !InRange(F.Hours, 0, 24) ||
      !InRange(F.Minutes, 0, 59) || !InRange(F.Seconds, 0, 59))
    return false;
  if (!F.HoursModif.empty() && std::string("AaPp").find(F.HoursModif[0]) == std::string::npos) return false;
  if (int64_t bytes; !SizeInBytes(F.Size, F.BlockSize, bytes)) return false;
  if (!F.ThreeMonth.empty() && MonthNumber(F.ThreeMonth, F.Months) == 0) return false;
  if (!F.YearTime.empty()) {
    const std::string t = TrimSpaces(F.YearTime);
    if (t.find(':') == std::string::npos) {
      if (!InRange(t, 1900, 2100) || t.empty()) return false;
    } else if (TimeOfDayFromText(t) < 0) {
      return false;
    }
  }
  if (!F.Year.empty()) {
    const std::string y = TrimSpaces(F.Year);
    if (!AllDigits(y)) return false;
    const int v = std::atoi(y.c_str());
    if (y.size() == 4 && (v < 1901 || v > 2099)) return false;
    if (y.size() == 3 && (v < 100 || v > 110)) return false;
    if (y.size() != 2 && y.size() != 3 && y.size() != 4) return false;
  }
  return true;
}

std::unique_ptr<TFTPListRec> TFTPList::FillEntry(const std::string& Line, const std::string& Mask) const {
  auto rec = std::make_unique<TFTPListRec>();
  rec->OriginalLine = Line;
  rec->Mask = Mask;
  const std::string flagValue = F.DirFlagValue.empty() ? "D" : F.DirFlagValue;
  rec->Directory = !F.DirFlag.empty() && rtl::SameTextAscii(F.DirFlag, flagValue);
  if (!F.VMSFileName.empty()) {
    rec->FileName = F.VMSFileName;
    if (F.VMSFileName.find(".DIR;") != std::string::npos) rec->Directory = true;
  } else {
    rec->FileName = F.FileName;
    const size_t link = rec->FileName.find(" -> ");
    if (link != std::string::npos) rec->FileName.resize(link);
  }
  while (!rec->FileName.empty() && rec->FileName.back() == ' ') rec->FileName.pop_back();
  rec->Readable = !rec->Directory;

  if (!SizeInBytes(F.Size, F.BlockSize, rec->FileSize)) rec->FileSize = 0;

  const rtl::TDateTime now = platform::Now();
  int year, month, day;
  rtl::DecodeDate(now, year, month, day);
  if (!F.Day.empty()) day = Number(F.Day);
  if (!F.Month.empty()) month = Number(F.Month);
  if (!F.ThreeMonth.empty()) month = MonthNumber(F.ThreeMonth, F.Months);
  if (!F.Year.empty()) {
    const std::string y = TrimSpaces(F.Year);
    year = Number(y);
    if (y.size() == 2) year += year > 50 ? 1900 : 2000;
    else if (y.size() == 3) year += 1900;
  }
  int hours = 0, minutes = 0, seconds = 0;
  bool timeFromYearField = false;
  if (!F.YearTime.empty()) {
    const std::string t = TrimSpaces(F.YearTime);
    if (t.find(':') == std::string::npos) {
      year = Number(t);
    } else {
      const size_t colon = t.find(':');
      hours = Number(t.substr(0, colon));
      minutes = Number(t.substr(colon + 1, 2));
      timeFromYearField = true;
    }
  }
  if (!F.Minutes.empty()) minutes = Number(F.Minutes);
  if (!F.Seconds.empty()) seconds = Number(F.Seconds);
  if (!F.Hours.empty()) {
    hours = Number(F.Hours);
    if (!F.HoursModif.empty()) {
      const char marker = static_cast<char>(std::toupper(static_cast<unsigned char>(F.HoursModif[0])));
      if (marker == 'P' && hours != 12) hours += 12;
      if (marker == 'A' && hours == 12) hours = 0;  // 12:30AM is half past midnight
    }
  }
  if (hours >= 24) hours = 0;
  rtl::TDateTime date = 0, time = 0;
  if (day > rtl::DaysInMonth(year, month >= 1 && month <= 12 ? month : 1)) day = 1;
  if (rtl::TryEncodeDate(year, month, day, date) && rtl::TryEncodeTime(hours, minutes, seconds, 0, time)) {
    rec->FileTime = date + time;
    // "Mon DD hh:mm" names the last such moment, never one in the future.
    if (timeFromYearField && rec->FileTime > now && rtl::TryEncodeDate(year - 1, month, std::min(day, rtl::DaysInMonth(year - 1, month)), date))
      rec->FileTime = date + time;
  }

  if (!F.Permissions.empty()) {
    rec->Permission = F.Permissions;
    rec->Readable = std::tolower(static_cast<unsigned char>(F.Permissions[1])) == 'r';
    const char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(F.Permissions[0])));
    if (kind == 'd') {
      rec->Directory = true;
      rec->Readable = false;
    } else if (kind == 'l') {
      rec->Directory = true;
    }
  }
  return rec;
}

}  // namespace qelvo::net
