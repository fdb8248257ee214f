#include "net/ftp_list.h"
#include "net/text_util.h"

#include <algorithm>
#include <cstdlib>

namespace qelvo::net {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The field a capturing mask letter fills; nullptr for signs and skips.
std::string* FieldOf(TFTPListFields& f, char c) {
  switch (c) {
    case 'D': return &f.Day;
    case 'M': return &f.Month;
    case 'Y': return &f.Year;
    case 'T': return &f.ThreeMonth;
    case 'U': return &f.YearTime;
    case 'h': return &f.Hours;
    case 'H': return &f.HoursModif;
    case 'm': return &f.Minutes;
    case 's': return &f.Seconds;
    case 'S': return &f.Size;
    case 'n': return &f.FileName;
    case 'v': return &f.VMSFileName;
    case 'p': return &f.Permissions;
    case 'd': return &f.DirFlag;
    default: return nullptr;
  }
}

}  // namespace

const std::vector<std::string>& DefaultListMasks() {
  static const std::vector<std::string> masks = {
      "pppppppppp $!!!S*$TTT$DD$hh mm ss$YYYY$n*",
      "pppppppppp $!!!S*$DD$TTT$hh mm ss$YYYY$n*",
      "pppppppppp $!!!S*$TTT$DD$UUUUU$n*",
      "pppppppppp $!!!S*$DD$TTT$UUUUU$n*",
      "pppppppppp $!!S*$TTT$DD$UUUUU$n*",
      "pppppppppp $!S*$TTT$DD$UUUUU$n*",
      "d            $!S*$TTT$DD$UUUUU$n*",
      "MM DD YY  hh mmH !S* n*",
      "MM DD YY  hh mmH $ d!n*",
      "MM DD YYYY  hh mmH !S* n*",
      "MM DD YYYY  hh mmH $ d!n*",
      "DD MM YYYY  hh mmH !S* n*",
      "DD MM YYYY  hh mmH $ d!n*",
      "v*$  DD TTT YYYY hh mm",
      "v*$!DD TTT YYYY hh mm",
      "n*$                 YYYY MM DD hh mm$S*",
      "!S*$MM DD YY hh mm ss !n*",
      "!S*$DD MM YY hh mm ss !n*",
      "n*!S*$MM DD YY hh mm ss d",
      "n*!S*$DD MM YY hh mm ss d",
      "$S*    TTT DD YYYY  hh mm ss $n* $ d",
      "$S*    TTT DD YYYY  hh mm ss $n*",
      "d    $S*$TTT DD YYYY  hh mm$n*",
      "d    $S*$TTT DD$hh mm$n*",
      "nnnnnnnn.nnn  dSSSSSSSSSSS MM DD YY  hh mmH",
      "-   SSSSS            YY MM DD hh mm ss  n*",
      "- d=  SSSSS  YY MM DD hh mm ss  n*",
      "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn               SSSSSSSSS MM DD YYYY hh mm",
      "n*\\x                                               SSSSSSSSS MM DD YYYY hh mm",
      "-     SSSSSSSSSSSS           d   MM DD YYYY   hh mm  n*",
      "-         YY MM DD hhmm d                        SSSSSSSSS n*",
      "nnnnnnnn                   SSSSSSS DD TTT YY hh mm ss",
      "-             YYYY MM DD                     SSSSS   d=O n*",
      "             $S* MM DD YY hh mm ss  !n*",
      "d            $S* MM DD YY           !n*",
      "                                         TTT DD  YYYY n*",
      "  d                                                   n*",
  };
  return masks;
}

TFTPList::TFTPList() {
  for (const std::string& m : DefaultListMasks()) Masks.Add(m);
}

void TFTPList::Clear() {
  FList.clear();
  Lines.Clear();
  UnparsedLines.Clear();
}

void TFTPList::Assign(const TFTPList& Value) {
  Clear();
  for (const auto& rec : Value.FList) FList.push_back(std::make_unique<TFTPListRec>(*rec));
  Lines.Assign(Value.Lines);
  Masks.Assign(Value.Masks);
  UnparsedLines.Assign(Value.UnparsedLines);
}

void TFTPList::ParseLines() {
  FList.clear();
  UnparsedLines.Clear();
  const int count = Lines.Count();
  for (int i = 0; i < count; ++i) {
    std::string line = Lines[i];
    if (line.size() > cMaxLineLength) line.resize(cMaxLineLength);
    if (line.empty()) continue;
    if (ParseEplfLine(line)) continue;
    std::string next = i + 1 < count ? Lines[i + 1] : std::string();
    if (next.size() > cMaxLineLength) next.resize(cMaxLineLength);
    bool parsed = false;
    for (int m = 0; m < Masks.Count() && !parsed; ++m) {
      const int r = MatchMask(line, next, Masks[m]);
      if (r == 0 || !CheckFields()) continue;
      std::unique_ptr<TFTPListRec> rec = FillEntry(r == 2 ? line + "\n" + next : line, Masks[m]);
      if (!(rec->Directory && (rec->FileName == "." || rec->FileName == ".."))) FList.push_back(std::move(rec));
      parsed = true;
      if (r == 2) ++i;
    }
    if (!parsed) UnparsedLines.Add(line);
  }
}

bool TFTPList::ParseEplfLine(const std::string& Line) {
  if (Line.empty() || Line[0] != '+') return false;
  const size_t tab = Line.find('\t');
  if (tab == std::string::npos) return false;  // no name: not an entry of this format
  auto rec = std::make_unique<TFTPListRec>();
  rec->FileName = Line.substr(tab + 1);
  rec->OriginalLine = Line;
  rec->Mask = "EPLF";
  size_t pos = 1;
  while (pos < tab) {
    size_t end = Line.find(',', pos);
    if (end == std::string::npos || end > tab) end = tab;
    const std::string fact = Line.substr(pos, end - pos);
    if (fact == "/") {
      rec->Directory = true;
    } else if (fact == "r") {
      rec->Readable = true;
    } else if (fact.size() > 1 && fact[0] == 's' && fact.size() <= 19 &&
               fact.find_first_not_of("0123456789", 1) == std::string::npos) {
      rec->FileSize = std::strtoll(fact.c_str() + 1, nullptr, 10);
    } else if (fact.size() > 1 && fact[0] == 'm' && fact.size() <= 16 &&
               fact.find_first_not_of("0123456789", 1) == std::string::npos) {
      rec->FileTime = 25569.0 + static_cast<double>(std::strtoll(fact.c_str() + 1, nullptr, 10)) / 86400.0;
    }
    pos = end + 1;
  }
  if (rec->FileName.empty() || (rec->Directory && (rec->FileName == "." || rec->FileName == ".."))) return true;
  FList.push_back(std::move(rec));
  return true;
}

int TFTPList::MatchMask(const std::string& Line, const std::string& NextLine, const std::string& Mask) {
  F = TFTPListFields();
  const std::string* s = &Line;
  int result = 1;
  size_t i = 0;
  char previous = 0;
  for (size_t j = 0; j < Mask.size(); ++j) {
    const char c = Mask[j];
    if (i >= s->size()) {
      if (c == '*') return result;  // a run may be empty at the end of the line
      if (c != '\\') return 0;    // a two-line entry's first line ends where its name does
    }
    if (std::string* field = FieldOf(F, c)) {
      *field += (*s)[i++];
      previous = c;
      continue;
    }
    switch (c) {
      case '!':  // the rest of this word and the blanks after it
        while (i < s->size() && (*s)[i] != ' ') ++i;
        while (i < s->size() && (*s)[i] == ' ') ++i;
        break;
      case '$':
        while (i < s->size() && IsBlank((*s)[i])) ++i;
        break;
      case '*': {
        std::string* field = FieldOf(F, previous);
        if (previous == 'n' || previous == 'v') {
          const size_t end = j + 1 == Mask.size() ? s->size() : s->find(' ', i);
          const size_t stop = end == std::string::npos ? s->size() : end;
          if (field != nullptr) *field += s->substr(i, stop - i);
          i = stop;
        } else {
          const size_t start = i;
          while (i < s->size() && IsAsciiDigit((*s)[i])) ++i;
          if (field != nullptr) *field += s->substr(start, i - start);
        }
        break;
      }
      case '.':
        if ((*s)[i] != ' ' && (*s)[i] != '.') return 0;
        F.FileName = TrimSpaces(F.FileName) + ".";
        ++i;
        break;
      case 'x':
        if ((*s)[i] != ' ') return 0;
        ++i;
        break;
      case '\\':
        if (result == 2 || NextLine.empty()) return 0;
        s = &NextLine;
        i = 0;
        result = 2;
        break;
      case '=':
        if (previous == 'd' && j + 1 < Mask.size()) {
          F.DirFlagValue = std::string(1, Mask[++j]);
        } else if (previous == 'S') {
          while (j + 1 < Mask.size() && IsAsciiDigit(Mask[j + 1])) F.BlockSize += Mask[++j];
        } else if (previous == 'T') {
          const size_t n = std::min<size_t>(36, Mask.size() - j - 1);
          F.Months = Mask.substr(j + 1, n);
          j += n;
        }
        break;
      default:
        ++i;
        break;
    }
    previous = c == '*' ? previous : c;
  }
  return result;
}

}  // namespace qelvo::net
