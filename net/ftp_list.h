#pragma once
// TFTPList: turns the lines of a directory listing into entries (name, directory flag,
// size, time, permissions), whatever the server's format.
//
// A line is tried first as EPLF ("+facts<TAB>name"), then against an ordered list of
// masks, one per server family (Unix ls, Windows/IIS, VMS, Novell, MVS, AS/400, DOS and
// others). A mask is a template: letters capture one character into a field (D day,
// M month, Y year, T three-letter month, U year-or-time, h hour, H AM/PM, m minute,
// s second, S size, n name, v VMS name, p permissions, d directory flag), and a few
// signs skip words ("!"), blanks ("$"), runs ("*") or continue on the next line ("\").
// The first mask whose captures pass CheckFields makes the entry (FillEntry). Lines no
// mask accepts land in UnparsedLines. Lines longer than cMaxLineLength are cut before
// matching, so a hostile listing costs time linear in its size.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rtl/date_time.h"
#include "rtl/string_list.h"

namespace qelvo::net {

class TFTPListRec {
 public:
  std::string FileName;
  bool Directory = false;
  bool Readable = false;
  int64_t FileSize = 0;
  rtl::TDateTime FileTime = 0;
  std::string OriginalLine;
  std::string Mask;
  std::string Permission;
  void Assign(const TFTPListRec& Value) { *this = Value; }
};

// The capture fields of one mask match.
struct TFTPListFields {
  std::string Months;  // twelve three-letter names a mask defined ("T=...")
  std::string BlockSize;
  std::string DirFlagValue;
  std::string FileName;
  std::string VMSFileName;
  std::string Day;
  std::string Month;
  std::string ThreeMonth;
  std::string YearTime;
  std::string Year;
  std::string Hours;
  std::string HoursModif;
  std::string Minutes;
  std::string Seconds;
  std::string Size;
  std::string Permissions;
  std::string DirFlag;
};

class TFTPList {
 public:
  static constexpr size_t cMaxLineLength = 4096;

  TFTPList();
  TFTPList(const TFTPList&) = delete;
  TFTPList& operator=(const TFTPList&) = delete;

  rtl::TStringList Lines;
  rtl::TStringList Masks;
  rtl::TStringList UnparsedLines;

  int Count() const { return static_cast<int>(FList.size()); }
  const TFTPListRec& operator[](int Index) const { return *FList.at(static_cast<size_t>(Index)); }
  const std::vector<std::unique_ptr<TFTPListRec>>& List() const { return FList; }
  void Clear();
  void Assign(const TFTPList& Value);
  void ParseLines();

  // 0 no match, 1 match, 2 match that used NextLine too.
  int MatchMask(const std::string& Line, const std::string& NextLine, const std::string& Mask);
  bool CheckFields() const;
  // An entry from the captures of the last match.
  std::unique_ptr<TFTPListRec> FillEntry(const std::string& Line, const std::string& Mask) const;
  // Adds the entry of an EPLF line; false when the line is not one.
  bool ParseEplfLine(const std::string& Line);
  const TFTPListFields& Fields() const { return F; }

 protected:
  std::vector<std::unique_ptr<TFTPListRec>> FList;
  TFTPListFields F;
};

// The listing masks, in the order they are tried.
const std::vector<std::string>& DefaultListMasks();

// Month 1..12 of a month name in any of the known languages (or in extra, twelve
// three-letter names one after another), without regard to case; 0 when unknown.
int MonthNumber(const std::string& Name, const std::string& Extra = "");
// The time of day of "hh:mm[:ss]" (text after the second character past the last ":"
// is ignored), -1 when the text is not a time.
rtl::TDateTime TimeOfDayFromText(const std::string& Text);

}  // namespace qelvo::net
